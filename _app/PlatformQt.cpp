#include "PlatformQt.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QUrl>

#include "DataLocation.h"
#include "ProfileFile.h"

#include <algorithm>

QString QtDialogFilter(const QString& Filter)
{
    const QStringList Parts = Filter.split(u'|');
    QStringList Result;
    for (qsizetype i = 0; i + 1 < Parts.size(); i += 2) {
        QStringList Patterns = Parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& Pattern : Patterns) Pattern = Pattern.trimmed();
        Result << Parts[i] + QStringLiteral(" (") + Patterns.join(u' ') + u')';
    }
    // A description without its patterns still names a filter.
    if (Parts.size() % 2 == 1 && !Parts.back().isEmpty()) Result << Parts.back();
    return Result.join(QStringLiteral(";;"));
}

QString FilterSuffix(const QString& QtNameFilter, const QString& Fallback)
{
    QString Suffix = Fallback.startsWith(u'.') ? Fallback.mid(1) : Fallback;
    const QString Filter = QtNameFilter.trimmed();
    const qsizetype Open = Filter.lastIndexOf(u'(');
    if (Open < 0 || !Filter.endsWith(u')')) return Suffix;
    const QStringList Patterns = Filter.mid(Open + 1, Filter.size() - Open - 2).split(u' ', Qt::SkipEmptyParts);
    if (Patterns.isEmpty() || !Patterns.front().startsWith(QStringLiteral("*."))) return Suffix;
    const QString Named = Patterns.front().mid(2);
    static const QString Wildcards = QStringLiteral("*?[]");
    if (Named.isEmpty() || std::any_of(Named.begin(), Named.end(), [](QChar c) { return Wildcards.contains(c); }))
        return Suffix;
    return Named;
}

void PrepareSaveDialog(QFileDialog& Dialog, const QString& Filter, const QString& DefaultExtension)
{
    const QStringList Filters = QtDialogFilter(Filter).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    Dialog.setAcceptMode(QFileDialog::AcceptSave);
    Dialog.setFileMode(QFileDialog::AnyFile);
    Dialog.setOption(QFileDialog::DontConfirmOverwrite);
    Dialog.setOption(QFileDialog::HideNameFilterDetails);
    Dialog.setNameFilters(Filters);
    Dialog.setDefaultSuffix(FilterSuffix(Filters.value(0), DefaultExtension));
    // The dialog names the chosen filter as its list shows it, without the patterns
    // when they are hidden: find the filter that the name begins.
    QObject::connect(&Dialog, &QFileDialog::filterSelected, &Dialog,
                     [&Dialog, Filters, DefaultExtension](const QString& Chosen) {
                         QString Full;
                         for (const QString& Candidate : Filters) {
                             if (Candidate == Chosen) {
                                 Full = Candidate;
                                 break;
                             }
                             if (Full.isEmpty() && Candidate.startsWith(Chosen + QStringLiteral(" (")))
                                 Full = Candidate;
                         }
                         Dialog.setDefaultSuffix(FilterSuffix(Full, DefaultExtension));
                     });
}

TQtPlatform::TQtPlatform()
    : FOpeners(LinkOpener, [this](const QString& Link, TOpenerQueue::TFailure Why) {
          LinkFailed(Link, Why == TOpenerQueue::TFailure::TooLong ? TLinkFailure::TooLong : TLinkFailure::NoProgram);
      })
{
}

TQtPlatform::~TQtPlatform() = default;

void TQtPlatform::OpenLink(QWidget*, const QString& Link)
{
    // Percent-decoding shrinks a link at most threefold: one longer than three times
    // the longest argument can never be handed over, and megabytes are not parsed for
    // nothing. The queue refuses it as too long.
    if (Link.size() / 3 > TOpenerQueue::LongestArgument()) {
        FOpeners.Open(Link);
        return;
    }
    // Only an absolute address goes to the desktop: a bare word would be taken for a
    // file in the current folder.
    const QUrl Url(Link, QUrl::StrictMode);
    if (!Url.isValid() || Url.scheme().isEmpty()) return;
    // Not QDesktopServices: it cannot tell whether a program took the link. The
    // failure names the link as it was handed over.
    FOpeners.Open(QString::fromUtf8(Url.toEncoded()), Link);
}

QString TQtPlatform::ReadSetting(const QString& FileName, const QString& Section, const QString& Key,
                                 const QString& Default)
{
    return ProfileReadString(FileName, Section, Key, Default);
}

void TQtPlatform::WriteSetting(const QString& FileName, const QString& Section, const QString& Key,
                               const QString& Value)
{
    ProfileWriteString(FileName, Section, Key, Value);
}

void TQtPlatform::CopyFieldText(QLineEdit* Field, const QString& Text)
{
    Field->selectAll();
    QGuiApplication::clipboard()->setText(Text);
}

QStringList TQtPlatform::ChooseOpenFiles(QWidget* Owner, const QString& Filter)
{
    // "Torrent File (.torrent)" names its pattern already.
    return QFileDialog::getOpenFileNames(Owner, QString(), QString(), QtDialogFilter(Filter), nullptr,
                                         QFileDialog::HideNameFilterDetails);
}

QString TQtPlatform::ChooseSaveFile(QWidget* Owner, const QString& Filter, const QString& DefaultExtension)
{
    QFileDialog Dialog(Owner);
    PrepareSaveDialog(Dialog, Filter, DefaultExtension);
    if (Dialog.exec() != QDialog::Accepted) return QString();
    const QStringList Files = Dialog.selectedFiles();
    return Files.isEmpty() ? QString() : Files.front();
}

void TQtPlatform::CopyText(const QString& Text)
{
    QGuiApplication::clipboard()->setText(Text);
}

bool TQtPlatform::Ask(QWidget* Owner, const QString& Question)
{
    QMessageBox Box(QMessageBox::Question, QStringLiteral("Velmora"), Question, QMessageBox::Yes | QMessageBox::No,
                    Owner);
    Box.setTextFormat(Qt::PlainText);
    // A flood of programs is the worse mistake: Enter answers no.
    Box.setDefaultButton(QMessageBox::No);
    return Box.exec() == QMessageBox::Yes;
}

namespace {

// A summary line "path — reason" cut to Room: the folders in the middle go first, so
// that the file's name and the reason stay; else its start.
QString CutSummaryLine(const QString& Line, const QFontMetrics& Metrics, int Room)
{
    const qsizetype Dash = Line.indexOf(QStringLiteral(" — "));
    const qsizetype Slash = Dash > 0 ? Line.lastIndexOf(u'/', Dash - 1) : Line.lastIndexOf(u'/');
    if (Slash > 0) {
        const QString Name = Line.mid(Slash);
        const int Left = Room - Metrics.horizontalAdvance(Name);
        if (Left > Metrics.horizontalAdvance(QStringLiteral("/…/")))
            return Metrics.elidedText(Line.left(Slash), Qt::ElideMiddle, Left) + Name;
    }
    return Metrics.elidedText(Line, Qt::ElideLeft, Room);
}

// Makes the summary box wide enough to show each line of Message on one line of its
// own, as far as the box may grow on its screen; a line wider still is cut
// (CutSummaryLine), and the whole of Message then goes to Details when they are empty.
void FitSummaryLines(QMessageBox& Box, const QString& Message, QString& Details)
{
    auto* Text = Box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QScreen* Screen = Box.parentWidget() ? Box.parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!Text || !Screen) return;
    // QMessageBox grows no wider than this, and breaks the text anywhere beyond it:
    // the screen on a small one, else 480 narrower than the screen and at most 1000.
    const int Available = Screen->availableGeometry().width();
    const int Widest = std::min(Available <= 1024 ? Available : std::min(Available - 480, 1000), Available * 9 / 10);
    // What the box needs beside its text: margins, icon, indent.
    constexpr int Probe = 100000;
    Text->setMinimumWidth(Probe);
    const int Beside = Box.layout() ? Box.layout()->totalMinimumSize().width() - Probe : 0;
    constexpr int Spare = 24;  // the label's own indent and margins, and rounding
    const int Room = std::max(Widest - Beside - Spare, 100);

    const QFontMetrics Metrics(Text->font());
    QStringList Lines = Message.split(u'\n');
    int Longest = 0;
    bool Cut = false;
    for (QString& Line : Lines) {
        if (Metrics.horizontalAdvance(Line) > Room) {
            Line = CutSummaryLine(Line, Metrics, Room);
            Cut = true;
        }
        Longest = std::max(Longest, Metrics.horizontalAdvance(Line));
    }
    Text->setMinimumWidth(Longest + Spare);
    if (Cut) {
        Box.setText(Lines.join(u'\n'));
        if (Details.isEmpty()) Details = Message;
    }
}

}  // namespace

void TQtPlatform::ShowSummary(QWidget* Owner, const QString& Message, const QString& Details)
{
    QMessageBox Box(QMessageBox::Warning, QStringLiteral("Velmora"), Message, QMessageBox::Ok, Owner);
    Box.setTextFormat(Qt::PlainText);
    QString Whole = Details;
    FitSummaryLines(Box, Message, Whole);
    if (!Whole.isEmpty()) Box.setDetailedText(Whole);
    Box.exec();
}

void TQtPlatform::ShowErrorBox(QWidget* Owner, const QString& Message)
{
    QMessageBox Box(QMessageBox::Critical, QStringLiteral("Velmora"), Message, QMessageBox::Ok, Owner);
    // Messages name files, and a file name may hold markup.
    Box.setTextFormat(Qt::PlainText);
    Box.exec();
}

QString TQtPlatform::ProgramFolder()
{
    QString Folder = QCoreApplication::applicationDirPath();
    if (!Folder.endsWith(u'/')) Folder += u'/';
    return Folder;
}

bool TQtPlatform::CanWriteFolder(const QString& Folder)
{
    return FolderIsWritable(Folder);
}
