#include "PlatformQt.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
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

void TQtPlatform::ShowSummary(QWidget* Owner, const QString& Message, const QString& Details)
{
    QMessageBox Box(QMessageBox::Warning, QStringLiteral("Velmora"), Message, QMessageBox::Ok, Owner);
    Box.setTextFormat(Qt::PlainText);
    if (!Details.isEmpty()) Box.setDetailedText(Details);
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
