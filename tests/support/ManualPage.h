// A manual page of the source tree as man shows it, so that a test can hold the
// page to the texts the program really shows.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The page's text with its blanks run together (one line so wide that nothing is
// hyphenated), or an empty text where man is not installed.
inline QString ManualPageText(const QString& RelativePath)
{
    QProcess Man;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("1000"));
    Env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    Env.remove(QStringLiteral("MANPAGER"));
    Env.remove(QStringLiteral("PAGER"));
    Man.setProcessEnvironment(Env);
    Man.start(QStringLiteral("man"), {QStringLiteral("-l"), QStringLiteral(VELMORA_SOURCE_DIR "/") + RelativePath});
    if (!Man.waitForFinished(60000) || Man.exitStatus() != QProcess::NormalExit || Man.exitCode() != 0) return {};
    return QString::fromUtf8(Man.readAllStandardOutput()).simplified();
}
