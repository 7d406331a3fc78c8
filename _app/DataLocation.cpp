#include "DataLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString DataFolderName = QStringLiteral("fls");
const QString SettingsName = QStringLiteral("sets.ini");
const QString UserFolderName = QStringLiteral("velmora");

QString XdgHome(const char* Variable, const QString& Fallback)
{
    const QString Value = QFile::decodeName(qgetenv(Variable));
    // The XDG rules ignore a relative path.
    if (!Value.isEmpty() && QDir::isAbsolutePath(Value)) return QDir::cleanPath(Value);
    return QDir::cleanPath(QDir::homePath() + u'/' + Fallback);
}

}  // namespace

QString TSettingsLocation::ReadFileName() const
{
    if (TakeOverFrom.isEmpty() || QFileInfo::exists(FileName)) return FileName;
    return TakeOverFrom;
}

void TSettingsLocation::PrepareWrite() const
{
    if (Folder.isEmpty()) return;
    const QString Path = QDir::cleanPath(Folder);
    // Each missing folder from the top down, so that every one made is private.
    qsizetype From = 1;
    while (From <= Path.size()) {
        qsizetype End = Path.indexOf(u'/', From);
        if (End < 0) End = Path.size();
        const QByteArray Part = QFile::encodeName(Path.left(End));
        if (::mkdir(Part.constData(), 0700) != 0 && errno != EEXIST) return;
        From = End + 1;
    }
}

TSettingsLocation SettingsLocationFor(const QString& ProgramFolder, const QString& ConfigHome,
                                      const std::function<bool(const QString&)>& CanWrite)
{
    const QString DataFolder = ProgramFolder + DataFolderName;
    const QString Beside = DataFolder + u'/' + SettingsName;
    const bool Own = QFileInfo(DataFolder).isDir() ? CanWrite(DataFolder) : CanWrite(QDir::cleanPath(ProgramFolder));
    if (Own) return {Beside, QString(), QString()};
    const QString Folder = QDir::cleanPath(ConfigHome + u'/' + UserFolderName);
    return {Folder + u'/' + SettingsName, Beside, Folder};
}

QString UserConfigHome()
{
    return XdgHome("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString UserDataHome()
{
    return XdgHome("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

bool FolderIsWritable(const QString& Folder)
{
    const QByteArray Path = QFile::encodeName(Folder);
    struct stat Info {};
    return ::stat(Path.constData(), &Info) == 0 && S_ISDIR(Info.st_mode) &&
           ::access(Path.constData(), W_OK | X_OK) == 0;
}

QString TemplateFileName(const QString& ProgramFolder, const QString& DataHome, const QString& Name)
{
    const QString Own = DataHome + u'/' + UserFolderName + u'/' + DataFolderName + u'/' + Name;
    if (QFileInfo::exists(Own)) return Own;
    return ProgramFolder + DataFolderName + u'/' + Name;
}

QString TemplateFileName(const QString& ProgramFolder, const QString& Name)
{
    return TemplateFileName(ProgramFolder, UserDataHome(), Name);
}
