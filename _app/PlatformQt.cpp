#include "PlatformQt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>

#include "DataLocation.h"
#include "ProfileFile.h"

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

void TQtPlatform::OpenLink(QWidget*, const QString& Link)
{
    // Only an absolute address goes to the desktop: a bare word would be taken for a
    // file in the current folder.
    const QUrl Url(Link, QUrl::StrictMode);
    if (!Url.isValid() || Url.scheme().isEmpty()) return;
    QDesktopServices::openUrl(Url);
}

QString TQtPlatform::ReadSetting(const QString& FileName, const QString& Section,
                                 const QString& Key, const QString& Default)
{
    return ProfileReadString(FileName, Section, Key, Default);
}

void TQtPlatform::WriteSetting(const QString& FileName, const QString& Section,
                               const QString& Key, const QString& Value)
{
    ProfileWriteString(FileName, Section, Key, Value);
}

void TQtPlatform::CopyFieldText(QLineEdit* Field)
{
    Field->selectAll();
    Field->copy();
}

QStringList TQtPlatform::ChooseOpenFiles(QWidget* Owner, const QString& Filter)
{
    return QFileDialog::getOpenFileNames(Owner, QString(), QString(), QtDialogFilter(Filter));
}

QString TQtPlatform::ChooseSaveFile(QWidget* Owner, const QString& Filter,
                                    const QString& DefaultExtension)
{
    QFileDialog Dialog(Owner, QString(), QString(), QtDialogFilter(Filter));
    Dialog.setAcceptMode(QFileDialog::AcceptSave);
    Dialog.setFileMode(QFileDialog::AnyFile);
    Dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString Suffix = DefaultExtension;
    if (Suffix.startsWith(u'.')) Suffix.remove(0, 1);
    Dialog.setDefaultSuffix(Suffix);
    if (Dialog.exec() != QDialog::Accepted) return QString();
    const QStringList Files = Dialog.selectedFiles();
    return Files.isEmpty() ? QString() : Files.front();
}

void TQtPlatform::ShowError(QWidget* Owner, const QString& Message)
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
