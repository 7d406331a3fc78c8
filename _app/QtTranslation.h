// Qt's own texts in Russian: the file dialogs, the buttons of message boxes, the
// context menu of an edit field. The program's windows speak Russian whatever the
// desktop's language, so Qt's parts of them do too.
#pragma once

#include <QString>

class QCoreApplication;

// Where Qt keeps its translations (QLibraryInfo::TranslationsPath).
QString QtTranslationsFolder();

// Loads qtbase_ru.qm from Folder and installs it in Application, which owns it from
// then on. False, and nothing installed, when the file is missing or no translation
// file: Qt's texts then stay in English and the program goes on.
bool InstallQtTranslation(QCoreApplication& Application, const QString& Folder);
