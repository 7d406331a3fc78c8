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
