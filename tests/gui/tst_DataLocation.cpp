// Where the data files are: the settings file beside the program or in the user's
// config folder, the folder made private, the first value taken over, and the
// export templates looked up in the user's data folder first.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "DataLocation.h"
#include "Exceptions.h"
#include "ProfileFile.h"

namespace {

void WriteAll(const QString& Path, const QByteArray& Bytes)
{
    QDir().mkpath(QFileInfo(Path).path());
    QFile File(Path);
    QVERIFY(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Bytes);
}

// What Read gives while the environment variable Name is Value (unset when null).
QString WithVariable(const char* Name, const QByteArray& Value, QString (*Read)())
{
    const bool Was = qEnvironmentVariableIsSet(Name);
    const QByteArray Old = qgetenv(Name);
    if (Value.isNull())
        qunsetenv(Name);
    else
        qputenv(Name, Value);
    const QString Result = Read();
    if (Was)
        qputenv(Name, Old);
    else
        qunsetenv(Name);
    return Result;
}

}  // namespace

class TestDataLocation : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    QString FProgram;  // the program folder, ending in '/'
    QString FConfig;   // the user's config folder

private slots:
    void init()
    {
        QDir(FDir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(FDir.path()));
        FProgram = FDir.path() + QStringLiteral("/program/");
        FConfig = FDir.path() + QStringLiteral("/home/.config");
    }

    void rule_data()
    {
        QTest::addColumn<bool>("WithDataFolder");
        QTest::addColumn<QString>("ReadOnly");  // "", "fls", "program" or "both"
        QTest::addColumn<bool>("Beside");
        // The portable and per-user installs, as always.
        QTest::newRow("writable fls") << true << "" << true;
        QTest::newRow("writable fls in a read-only program folder") << true << "program" << true;
        // A missing fls/ in a folder of the user's is reported on writing, as always.
        QTest::newRow("no fls in a writable folder") << false << "" << true;
        // A system-wide install.
        QTest::newRow("read-only fls") << true << "fls" << false;
        QTest::newRow("read-only fls and program folder") << true << "both" << false;
        QTest::newRow("no fls in a read-only folder") << false << "program" << false;
    }

    void rule()
    {
        QFETCH(bool, WithDataFolder);
        QFETCH(QString, ReadOnly);
        QFETCH(bool, Beside);
        if (WithDataFolder)
            QVERIFY(QDir().mkpath(FProgram + "fls"));
        else
            QVERIFY(QDir().mkpath(FProgram));
        const QString Fls = FProgram + "fls", Program = FDir.path() + "/program";
        QStringList Asked;
        const auto CanWrite = [&](const QString& Folder) {
            Asked << Folder;
            if (Folder == Fls) return ReadOnly != "fls" && ReadOnly != "both";
            if (Folder == Program) return ReadOnly != "program" && ReadOnly != "both";
            return false;
        };
        const TSettingsLocation L = SettingsLocationFor(FProgram, FConfig, CanWrite);
        QCOMPARE(Asked, QStringList{WithDataFolder ? Fls : Program});
        if (Beside) {
            QCOMPARE(L.FileName, FProgram + "fls/sets.ini");
            QCOMPARE(L.TakeOverFrom, QString());
            QCOMPARE(L.Folder, QString());
        } else {
            QCOMPARE(L.FileName, FConfig + "/velmora/sets.ini");
            QCOMPARE(L.TakeOverFrom, FProgram + "fls/sets.ini");
            QCOMPARE(L.Folder, FConfig + "/velmora");
        }
        // Beside the program nothing is ever created.
        L.PrepareWrite();
        QCOMPARE(QFileInfo::exists(FConfig), !Beside);
    }

    // The first run in the config folder starts from the program folder's value;
    // from then on the user's own file holds it.
    void valueTakenOverOnce()
    {
        WriteAll(FProgram + "fls/sets.ini", "[USER]\r\nAutoStart=1\r\n");
        const TSettingsLocation L = SettingsLocationFor(FProgram, FConfig, [](const QString&) { return false; });
        QCOMPARE(L.ReadFileName(), FProgram + "fls/sets.ini");
        QCOMPARE(ProfileReadString(L.ReadFileName(), "USER", "AutoStart", ""), QStringLiteral("1"));

        L.PrepareWrite();
        ProfileWriteString(L.FileName, "USER", "AutoStart", "0");
        QCOMPARE(L.ReadFileName(), L.FileName);
        QCOMPARE(ProfileReadString(L.ReadFileName(), "USER", "AutoStart", ""), QStringLiteral("0"));
    }

    // Every folder made on the way to the settings file is the user's alone; one that
    // was there already keeps its mode.
    void foldersCreatedPrivate()
    {
        const QString Config = FDir.path() + "/home/a/b/.config";
        QVERIFY(QDir().mkpath(FDir.path() + "/home"));
        QFile::setPermissions(FDir.path() + "/home", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                         QFile::ReadGroup | QFile::ExeGroup);
        const TSettingsLocation L = SettingsLocationFor(FProgram, Config, [](const QString&) { return false; });
        L.PrepareWrite();
        L.PrepareWrite();  // again, over folders that are there
        const QFile::Permissions Private = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                                           QFile::WriteUser | QFile::ExeUser;
        for (const QString& Made : {FDir.path() + "/home/a", FDir.path() + "/home/a/b", Config, Config + "/velmora"})
            QCOMPARE(QFileInfo(Made).permissions(), Private);
        QVERIFY(QFileInfo(FDir.path() + "/home").permissions() & QFile::ReadGroup);
        ProfileWriteString(L.FileName, "USER", "AutoStart", "1");
        QCOMPARE(ProfileReadString(L.FileName, "USER", "AutoStart", ""), QStringLiteral("1"));
    }

    // A config folder that cannot be made leaves the write to fail, naming the file.
    void unwritableConfigFolderNamesTheFile()
    {
        WriteAll(FDir.path() + "/home/file", "not a folder");
        const QString Config = FDir.path() + "/home/file/.config";
        const TSettingsLocation L = SettingsLocationFor(FProgram, Config, [](const QString&) { return false; });
        L.PrepareWrite();
        try {
            ProfileWriteString(L.FileName, "USER", "AutoStart", "1");
            QFAIL("no exception");
        } catch (const Exception& E) {
            QCOMPARE(QString::fromUtf8(E.what()), "Unable to write to " + Config + "/velmora/sets.ini");
        }
    }

    void userFolders_data()
    {
        QTest::addColumn<QByteArray>("Value");
        QTest::addColumn<QString>("Config");
        QTest::addColumn<QString>("Data");
        const QString Home = QDir::homePath();
        QTest::newRow("set") << QByteArray("/x/y/") << "/x/y"
                             << "/x/y";
        QTest::newRow("unset") << QByteArray() << Home + "/.config" << Home + "/.local/share";
        QTest::newRow("relative is ignored") << QByteArray("x/y") << Home + "/.config" << Home + "/.local/share";
    }

    void userFolders()
    {
        QFETCH(QByteArray, Value);
        QFETCH(QString, Config);
        QFETCH(QString, Data);
        const QString GotConfig = WithVariable("XDG_CONFIG_HOME", Value, UserConfigHome);
        const QString GotData = WithVariable("XDG_DATA_HOME", Value, UserDataHome);
        QCOMPARE(GotConfig, Config);
        QCOMPARE(GotData, Data);
    }

    void folderIsWritable()
    {
        QVERIFY(FolderIsWritable(FDir.path()));
        QVERIFY(!FolderIsWritable(FDir.path() + "/missing"));
        WriteAll(FDir.path() + "/file", "x");
        QVERIFY(!FolderIsWritable(FDir.path() + "/file"));
        // Permissions do not stop root; the end-to-end run of the package as an
        // ordinary user (tools/package-test.sh) covers that case.
        if (::geteuid() != 0) {
            QVERIFY(QDir().mkpath(FDir.path() + "/ro"));
            QFile::setPermissions(FDir.path() + "/ro", QFile::ReadOwner | QFile::ExeOwner);
            QVERIFY(!FolderIsWritable(FDir.path() + "/ro"));
        }
    }

    void templates_data()
    {
        QTest::addColumn<QStringList>("Own");  // the templates in the user's data folder
        QTest::newRow("none") << QStringList();
        QTest::newRow("both") << QStringList{"template.tpl", "mid.tpl"};
        QTest::newRow("the page only") << QStringList{"template.tpl"};
        QTest::newRow("the entry only") << QStringList{"mid.tpl"};
    }

    void templates()
    {
        QFETCH(QStringList, Own);
        const QString Data = FDir.path() + "/home/.local/share";
        for (const QString& Name : Own) WriteAll(Data + "/velmora/fls/" + Name, "{CONTENT}");
        for (const QString Name : {"template.tpl", "mid.tpl"}) {
            const QString Expected = Own.contains(Name) ? Data + "/velmora/fls/" + Name : FProgram + "fls/" + Name;
            QCOMPARE(TemplateFileName(FProgram, Data, Name), Expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestDataLocation)
#include "tst_DataLocation.moc"
