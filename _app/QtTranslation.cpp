#include "QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString QtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool InstallQtTranslation(QCoreApplication& Application, const QString& Folder)
{
    auto* Translator = new QTranslator(&Application);
    if (!Translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          Folder) ||
        !QCoreApplication::installTranslator(Translator)) {
        delete Translator;
        return false;
    }
    return true;
}

bool WantsEnglish(const QLocale& System)
{
    const QStringList Languages = System.uiLanguages();
    return !Languages.isEmpty() && QLocale(Languages.front()).language() == QLocale::English;
}

bool InstallEnglishTranslation(QCoreApplication& Application)
{
    auto* Translator = new QTranslator(&Application);
    if (!Translator->load(QStringLiteral(":/i18n/velmora_en.qm")) || !QCoreApplication::installTranslator(Translator)) {
        delete Translator;
        return false;
    }
    return true;
}

void InstallTranslations(QCoreApplication& Application, const QLocale& System, const QString& Folder)
{
    if (WantsEnglish(System) && InstallEnglishTranslation(Application)) return;
    InstallQtTranslation(Application, Folder);
}
