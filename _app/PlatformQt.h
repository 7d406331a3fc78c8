// The desktop services on Linux with Qt: xdg-open for links, the profile file
// through ProfileFile, the Qt file dialogs, the clipboard, message boxes, the
// program's folder and whether a folder may be written.
#pragma once

#include <QObject>

#include "OpenerQueue.h"
#include "Platform.h"

class QFileDialog;

// Converts a dialog filter of the "Description|*.ext" form (pairs separated by '|',
// patterns within a pair by ';') to Qt's "Description (*.ext)" form, pairs joined by
// ";;". The description is kept as it stands.
QString QtDialogFilter(const QString& Filter);

// The extension, without its point, that a Qt name filter's first pattern names:
// "html" for "HTML файл (.html) (*.html)"; Fallback (its point dropped) for a pattern
// with wildcards in the extension, such as "*" or "*.*", or for no pattern.
QString FilterSuffix(const QString& QtNameFilter, const QString& Fallback);

// Sets up Dialog as the save dialog of ChooseSaveFile: Filter in the
// "Description|*.ext" form, the patterns not repeated in the filter names, no prompt
// before replacing a file, and a default suffix that follows the chosen filter
// (FilterSuffix with DefaultExtension as the fallback).
void PrepareSaveDialog(QFileDialog& Dialog, const QString& Filter, const QString& DefaultExtension);

// The program that hands links to the desktop's handlers.
inline const QString LinkOpener = QStringLiteral("xdg-open");

class TQtPlatform : public TPlatform {
public:
    TQtPlatform();
    // Openers still running are left to run: killing one could take its handler along.
    ~TQtPlatform() override;
    TQtPlatform(const TQtPlatform&) = delete;
    TQtPlatform& operator=(const TQtPlatform&) = delete;

    // Queues xdg-open for an absolute address and returns; a few openers run at a time,
    // in order (OpenerQueue.h). An opener that cannot start or ends with an exit code
    // other than 0 is reported through LinkFailed, and so is a link longer than the
    // system hands to a program, which is not tried. Anything without a scheme is not
    // handed over (a bare word would be taken for a file).
    void OpenLink(QWidget* Owner, const QString& Link) override;
    QString ReadSetting(const QString& FileName, const QString& Section, const QString& Key,
                        const QString& Default) override;
    void WriteSetting(const QString& FileName, const QString& Section, const QString& Key,
                      const QString& Value) override;
    void CopyFieldText(QLineEdit* Field, const QString& Text) override;
    QStringList ChooseOpenFiles(QWidget* Owner, const QString& Filter) override;
    QString ChooseSaveFile(QWidget* Owner, const QString& Filter, const QString& DefaultExtension) override;
    void CopyText(const QString& Text) override;
    bool Ask(QWidget* Owner, const QString& Question) override;
    void ShowSummary(QWidget* Owner, const QString& Message, const QString& Details) override;
    QString ProgramFolder() override;
    bool CanWriteFolder(const QString& Folder) override;

protected:
    void ShowErrorBox(QWidget* Owner, const QString& Message) override;

private:
    TOpenerQueue FOpeners;
};
