// The main window's side of loading: every way in (the command line, the open
// dialog, a drop, a later copy's hand-off) queues a batch on the loader, which
// hands each file to AddVST from the event loop; the progress in the status bar,
// stopping, the question before many links go to the desktop, and one report at
// the end of a batch.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>

#include <utility>

#include "Application.h"
#include "DisplayText.h"
#include "Exceptions.h"
#include "FolderWalk.h"
#include "LoadProgress.h"
#include "LocalPath.h"
#include "OnlyOne.h"
#include "Platform.h"
#include "frm_Main.h"
#include "frm_MainPrivate.h"

namespace {

// The command line that loads before the window first shows: a few files, no
// folder. More waits until the window stands, so that the user sees it at once.
bool LoadsBeforeShowing(const QStringList& Paths)
{
    constexpr qsizetype FewFiles = 20;
    if (Paths.size() > FewFiles) return false;
    for (const QString& Path : Paths)
        if (!Path.isEmpty() && IsFolder(PathToLocal(Path).toStdString())) return false;
    return true;
}

// The lines of a batch's summary that the box shows; the rest are in its details.
constexpr qsizetype SummaryLines = 10;

}  // namespace

void TfrmKTZ::CreateLoadControls()
{
    TLoadQueue::THandlers Handlers;
    Handlers.LoadFile = [this](const QString& Path, TLoadFailure& Failure) { return LoadBatchFile(Path, Failure); };
    Handlers.Loading = [this](bool Loading) { BatchLoading(Loading); };
    Handlers.BatchReady = [this](qsizetype Files) { Guarded([&] { BatchReady(Files); }); };
    Handlers.Progress = [this](qsizetype Done, qsizetype Total) { BatchProgress(Done, Total); };
    Handlers.BatchDone = [this](const TBatchReport& Report) { Guarded([&] { BatchDone(Report); }); };
    FLoader = new TLoadQueue(std::move(Handlers), this);

    pnProgress = new TLoadProgress(StatusBar);
    pnProgress->hide();
    StatusBar->insertWidget(1, pnProgress);
    connect(pnProgress->btnStop, &QToolButton::clicked, this, [this] { btnStopClick(); });
    auto* StopKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(StopKey, &QShortcut::activated, this, [this] { btnStopClick(); });

    pnCount = new QLabel(StatusBar);
    pnCount->setObjectName(QStringLiteral("pnCount"));
    pnCount->setTextFormat(Qt::PlainText);
    StatusBar->addPermanentWidget(pnCount);
    for (auto Signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(VSTModel, Signal, this, [this] { ShowCount(); });
    connect(VSTModel, &QAbstractItemModel::modelReset, this, [this] { ShowCount(); });
    ShowCount();

    mmDelete = new QAction(QCoreApplication::translate("TfrmKTZ", "Удалить из списка"), this);
    mmDelete->setObjectName(QStringLiteral("mmDelete"));
    mmDelete->setShortcut(QKeySequence::Delete);
    mmDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    VST->addAction(mmDelete);
    connect(mmDelete, &QAction::triggered, this, [this] { Guarded([this] { mmDeleteClick(); }); });
}

void TfrmKTZ::ShowCount()
{
    pnCount->setText(QCoreApplication::translate("TfrmKTZ", "Записей: %1").arg(CountText(VSTModel->rowCount())));
}

bool TfrmKTZ::Loading() const
{
    return FLoader && FLoader->IsLoading();
}

void TfrmKTZ::AddFiles(const QStringList& FileNames, TLoadQueue::TSource Source)
{
    if (FileNames.isEmpty() || FClosed) return;
    FLoader->Add(FileNames, Source);
    if (Source == TLoadQueue::TSource::CommandLine && LoadsBeforeShowing(FileNames)) FLoader->RunToEnd();
}

void TfrmKTZ::WMCopyData(const QString& Text)
{
    if (Text == QLatin1String(HandOffEndMark)) return;
    OpenHandedOver({Text});
}

void TfrmKTZ::OpenHandedOver(const QStringList& Paths)
{
    AddFiles(Paths, TLoadQueue::TSource::HandOff);
}

void TfrmKTZ::btnStopClick()
{
    if (Loading()) FLoader->Cancel();
}

TLoadResult TfrmKTZ::LoadBatchFile(const QString& Path, TLoadFailure& Failure)
{
    if (FClosed) return TLoadResult::Ignored;
    TBatchFile File;
    File.Failure = &Failure;
    TBatchFile* const Outer = std::exchange(FBatchFile, &File);
    QPointer<TfrmKTZ> Self(this);
    try {
        AddVST(Path);
    } catch (const EFOpenError& Error) {
        File.Result = TLoadResult::Failed;
        Failure.Kind = TLoadFailure::TKind::CannotOpen;
        Failure.Path = QFileInfo(Path).absoluteFilePath();
        Failure.Reason = OpenFailureReason(Error.SystemError());
        Failure.Error = std::current_exception();
    } catch (...) {
        File.Result = TLoadResult::Failed;
        Failure.Kind = TLoadFailure::TKind::CannotOpen;
        Failure.Path = QFileInfo(Path).absoluteFilePath();
        Failure.Error = std::current_exception();
        Failure.Reason = QCoreApplication::translate("TfrmKTZ", "не загружен: %1").arg(ExceptionMessage(Failure.Error));
    }
    if (Self) FBatchFile = Outer;
    return File.Result;
}

void TfrmKTZ::BatchLoading(bool Loading)
{
    if (Loading) {
        if (!FLoadingBusy) FLoadingBusy = std::make_unique<TBusy>(this);
        return;
    }
    pnProgress->hide();
    FLoadingBusy.reset();
}

void TfrmKTZ::BatchReady(qsizetype Files)
{
    FBatchRunsLinks = true;
    FBatchDuplicateLink.clear();
    FBatchDuplicateName.clear();
    if (!chkAuto->isChecked() || Files <= LinksWithoutQuestion) return;
    QPointer<TfrmKTZ> Self(this);
    const bool Yes = FPlatform.Ask(
        this, QCoreApplication::translate(
                  "TfrmKTZ", "Файлов в загрузке: %1. Передать все их ссылки программе для магнитных ссылок?")
                  .arg(CountText(Files)));
    if (Self) FBatchRunsLinks = Yes;
}

void TfrmKTZ::BatchProgress(qsizetype Done, qsizetype Total)
{
    pnProgress->SetProgress(Done, Total);
    pnProgress->show();
}

void TfrmKTZ::ShowDuplicate(const QString& Link, const QString& FileName, qsizetype Count)
{
    const qsizetype Row = VSTModel->RowOfLink(Link);
    if (Row >= 0) {
        VSTModel->Publish();
        const QModelIndex Index = VSTModel->index(int(Row), 0);
        VST->selectionModel()->setCurrentIndex(Index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        VST->scrollTo(Index);
    }
    ShowStatusNote(Count == 1 ? QCoreApplication::translate("TfrmKTZ", "Уже в списке: %1").arg(DisplayText(FileName))
                              : QCoreApplication::translate("TfrmKTZ", "Уже были в списке файлов: %1, последний — %2")
                                    .arg(CountText(Count), DisplayText(FileName)));
}

void TfrmKTZ::BatchDone(const TBatchReport& Report)
{
    FBatchRunsLinks = true;
    QPointer<TfrmKTZ> Self(this);
    if (Report.Duplicates > 0 && !FBatchDuplicateLink.isEmpty())
        ShowDuplicate(std::exchange(FBatchDuplicateLink, QString()), std::exchange(FBatchDuplicateName, QString()),
                      Report.Duplicates);
    if (Report.Cancelled)
        ShowStatusNote(QCoreApplication::translate("TfrmKTZ", "Загрузка остановлена: добавлено %1 из %2")
                           .arg(CountText(Report.Added), CountText(Report.Files)));

    const QList<TLoadFailure>& Failures = Report.Failures;
    if (Failures.isEmpty() || FClosed) return;
    // One file that failed is told as it always was.
    if (Failures.size() == 1 && Failures[0].Kind != TLoadFailure::TKind::FolderUnreadable) {
        if (Failures[0].Kind == TLoadFailure::TKind::CannotOpen) {
            ShowException(Failures[0].Error);
        } else {
            ReportRefused(PathForDisplay(Failures[0].Path), Failures[0].Messages);
        }
        return;
    }

    qsizetype Files = 0, Folders = 0;
    QStringList Lines;
    for (const TLoadFailure& Failure : Failures) {
        (Failure.Kind == TLoadFailure::TKind::FolderUnreadable ? Folders : Files) += 1;
        Lines << DisplayText(PathForDisplay(Failure.Path)) + QStringLiteral(" — ") + Failure.Reason;
    }
    QString Message;
    if (Files > 0)
        Message += QCoreApplication::translate("TfrmKTZ", "Не добавлено файлов: %1 из %2.")
                       .arg(CountText(Files), CountText(Report.Files));
    if (Folders > 0) {
        if (!Message.isEmpty()) Message += u'\n';
        Message += QCoreApplication::translate("TfrmKTZ", "Не прочитано папок: %1.").arg(CountText(Folders));
    }
    Message += QStringLiteral("\n\n") + Lines.mid(0, SummaryLines).join(u'\n');
    QString Details;
    if (Lines.size() > SummaryLines) {
        Message += u'\n' + QCoreApplication::translate("TfrmKTZ", "…и ещё %1 (весь список — в подробностях).")
                               .arg(CountText(Lines.size() - SummaryLines));
        Details = Lines.join(u'\n');
    }
    FPlatform.ShowSummary(this, Message, Details);
}
