// The desktop services on Linux with Qt: xdg-open through QDesktopServices, the
// profile file through ProfileFile, the Qt file dialogs, the clipboard, message
// boxes, the program's folder and whether a folder may be written.
#pragma once

#include "Platform.h"

// Converts a dialog filter of the "Description|*.ext" form (pairs separated by '|',
// patterns within a pair by ';') to Qt's "Description (*.ext)" form, pairs joined by
// ";;". The description is kept as it stands.
QString QtDialogFilter(const QString& Filter);

class TQtPlatform : public TPlatform {
public:
    void OpenLink(QWidget* Owner, const QString& Link) override;
    QString ReadSetting(const QString& FileName, const QString& Section,
                        const QString& Key, const QString& Default) override;
    void WriteSetting(const QString& FileName, const QString& Section,
                      const QString& Key, const QString& Value) override;
    void CopyFieldText(QLineEdit* Field) override;
    QStringList ChooseOpenFiles(QWidget* Owner, const QString& Filter) override;
    QString ChooseSaveFile(QWidget* Owner, const QString& Filter,
                           const QString& DefaultExtension) override;
    void ShowError(QWidget* Owner, const QString& Message) override;
    QString ProgramFolder() override;
    bool CanWriteFolder(const QString& Folder) override;
};
