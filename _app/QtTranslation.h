// The languages of the windows. The program's texts are written in Russian, and
// Russian is what the windows speak, with Qt's own texts (the file dialogs, the
// buttons of message boxes, the context menu of an edit field) in Russian too.
// Where the desktop speaks English, the program's English translation, compiled
// into the program, takes their place, and Qt's texts stay in its own English.
#pragma once

#include <QString>

class QCoreApplication;
class QLocale;

// Where Qt keeps its translations (QLibraryInfo::TranslationsPath).
QString QtTranslationsFolder();

// Loads qtbase_ru.qm from Folder and installs it in Application, which owns it from
// then on. False, and nothing installed, when the file is missing or no translation
// file: Qt's texts then stay in English and the program goes on.
bool InstallQtTranslation(QCoreApplication& Application, const QString& Folder);

// Whether the desktop's language for messages is English (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG, as Qt reads them into QLocale::system()). C and POSIX are not:
// they are the settings of no language, and the program then speaks its own.
bool WantsEnglish(const QLocale& System);

// Installs the program's English translation in Application, which owns it from
// then on. False, and nothing installed, when it cannot be loaded.
bool InstallEnglishTranslation(QCoreApplication& Application);

// What the program does at start, before any window: the English translation for an
// English desktop, else Qt's Russian texts from Folder (QtTranslationsFolder()).
void InstallTranslations(QCoreApplication& Application, const QLocale& System, const QString& Folder);
