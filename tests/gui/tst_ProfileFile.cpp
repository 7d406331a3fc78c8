// The profile file: reading and writing with the Windows profile functions'
// semantics, and the reading of a flag.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "Exceptions.h"
#include "FileSizeLimit.h"
#include "ProfileFile.h"

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;

    QString Write(const QString& Name, const QByteArray& Bytes)
    {
        const QString Path = FDir.filePath(Name);
        QFile File(Path);
        if (File.open(QIODevice::WriteOnly | QIODevice::Truncate)) File.write(Bytes);
        return Path;
    }
    static QByteArray Read(const QString& Path)
    {
        QFile File(Path);
        return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
    }

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("File");
        QTest::addColumn<QString>("Section");
        QTest::addColumn<QString>("Key");
        QTest::addColumn<QString>("Value");
        const QByteArray Plain = "[USER]\r\nAutoStart=1\r\n";
        QTest::newRow("plain") << Plain << "USER"
                               << "AutoStart"
                               << "1";
        QTest::newRow("names in other case") << Plain << "user"
                                             << "AUTOSTART"
                                             << "1";
        QTest::newRow("missing key") << Plain << "USER"
                                     << "Other"
                                     << "default";
        QTest::newRow("missing section") << Plain << "MAIN"
                                         << "AutoStart"
                                         << "default";
        QTest::newRow("blanks around") << QByteArray("  [ USER ]  \n  AutoStart  =  0x1  \n") << "USER"
                                       << "AutoStart"
                                       << "0x1";
        QTest::newRow("quoted") << QByteArray("[USER]\nAutoStart=\"two words\"\n") << "USER"
                                << "AutoStart"
                                << "two words";
        QTest::newRow("empty value") << QByteArray("[USER]\nAutoStart=\n") << "USER"
                                     << "AutoStart"
                                     << "";
        QTest::newRow("first section wins") << QByteArray("[USER]\nA=1\n[USER]\nA=2\n") << "USER"
                                            << "A"
                                            << "1";
        QTest::newRow("key in a later section of the same name") << QByteArray("[USER]\nB=1\n[USER]\nA=2\n") << "USER"
                                                                 << "A"
                                                                 << "default";
        QTest::newRow("first key wins") << QByteArray("[USER]\nA=1\na=2\n") << "USER"
                                        << "A"
                                        << "1";
        QTest::newRow("key outside any section") << QByteArray("A=1\n[USER]\n") << "USER"
                                                 << "A"
                                                 << "default";
        QTest::newRow("comment is no key") << QByteArray("[USER]\n;A=1\n") << "USER"
                                           << "A"
                                           << "default";
        QTest::newRow("lone CR line ends") << QByteArray("[X]\rA=1\r[USER]\rA=2\r") << "USER"
                                           << "A"
                                           << "2";
        QTest::newRow("no final line end") << QByteArray("[USER]\nA=last") << "USER"
                                           << "A"
                                           << "last";
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF[USER]\nИмя=Значение\n") << "USER"
                                         << "имя"
                                         << "Значение";
        QTest::newRow("UTF-16 LE") << QByteArray(
                                          "\xFF\xFE[\0U\0]\0\n\0A\0=\0"
                                          "7\0\n\0",
                                          18)
                                   << "U"
                                   << "A"
                                   << "7";
        QTest::newRow("empty file") << QByteArray() << "USER"
                                    << "A"
                                    << "default";
    }

    void read()
    {
        QFETCH(QByteArray, File);
        QFETCH(QString, Section);
        QFETCH(QString, Key);
        QFETCH(QString, Value);
        const QString Path = Write(QStringLiteral("read.ini"), File);
        QCOMPARE(ProfileReadString(Path, Section, Key, QStringLiteral("default")), Value);
    }

    void readMissingFile()
    {
        QCOMPARE(ProfileReadString(FDir.filePath(QStringLiteral("none.ini")), QStringLiteral("USER"),
                                   QStringLiteral("AutoStart"), QStringLiteral("d")),
                 QStringLiteral("d"));
    }

    void writeText_data()
    {
        QTest::addColumn<QByteArray>("Before");
        QTest::addColumn<QByteArray>("After");
        QTest::newRow("new file") << QByteArray() << QByteArray("[USER]\r\nAutoStart=1\r\n");
        QTest::newRow("value replaced, names matched in any case")
            << QByteArray("[user]\r\nautostart=0\r\n") << QByteArray("[user]\r\nautostart=1\r\n");
        QTest::newRow("everything else kept")
            << QByteArray("; comment\r\n[A]\r\nX = 1 ; note\r\n\r\n[USER]\r\nB=2\r\nAutoStart = 0\r\nC=3\r\n")
            << QByteArray("; comment\r\n[A]\r\nX = 1 ; note\r\n\r\n[USER]\r\nB=2\r\nAutoStart=1\r\nC=3\r\n");
        QTest::newRow("key added at the end of its section, before blank lines")
            << QByteArray("[USER]\r\nB=2\r\n\r\n[Z]\r\nY=1\r\n")
            << QByteArray("[USER]\r\nB=2\r\nAutoStart=1\r\n\r\n[Z]\r\nY=1\r\n");
        QTest::newRow("section added at the end")
            << QByteArray("[A]\r\nX=1\r\n") << QByteArray("[A]\r\nX=1\r\n[USER]\r\nAutoStart=1\r\n");
        QTest::newRow("LF file stays LF") << QByteArray("[A]\nX=1\n") << QByteArray("[A]\nX=1\n[USER]\nAutoStart=1\n");
        QTest::newRow("no final line end") << QByteArray("[USER]\nB=2") << QByteArray("[USER]\nB=2\nAutoStart=1\n");
        QTest::newRow("first of two sections") << QByteArray("[USER]\nAutoStart=0\n[USER]\nAutoStart=0\n")
                                               << QByteArray("[USER]\nAutoStart=1\n[USER]\nAutoStart=0\n");
        QTest::newRow("byte-order mark kept")
            << QByteArray("\xEF\xBB\xBF[USER]\nAutoStart=0\n") << QByteArray("\xEF\xBB\xBF[USER]\nAutoStart=1\n");
        QTest::newRow("UTF-16 kept") << QByteArray("\xFF\xFE[\0U\0S\0E\0R\0]\0\n\0", 16)
                                     << QByteArray(
                                            "\xFF\xFE[\0U\0S\0E\0R\0]\0\n\0A\0u\0t\0o\0S\0t\0a\0r\0t\0=\0"
                                            "1\0\n\0",
                                            40);
        // Bytes that are no UTF-8 (a cp1252 comment, a name, a value) are not the
        // program's to mend: only the changed line is new.
        QTest::newRow("bytes that are no UTF-8 kept")
            << QByteArray(
                   "; Caf\xE9 cr\xE8me \x93quoted\x94\r\n[\xC0\xC1]\r\nX=\xFF\r\n[USER]\r\nAutoStart=0\r\nY=\xE9\r\n")
            << QByteArray(
                   "; Caf\xE9 cr\xE8me \x93quoted\x94\r\n[\xC0\xC1]\r\nX=\xFF\r\n[USER]\r\nAutoStart=1\r\nY=\xE9\r\n");
        QTest::newRow("key added beside bytes that are no UTF-8")
            << QByteArray("[USER]\nName=\xE9t\xE9") << QByteArray("[USER]\nName=\xE9t\xE9\nAutoStart=1\n");
        QTest::newRow("a lone surrogate in UTF-16 kept")
            << QByteArray(
                   "\xFF\xFE[\0U\0S\0E\0R\0]\0\n\0\x00\xD8\n\0A\0u\0t\0o\0S\0t\0a\0r\0t\0=\0"
                   "0\0\n\0",
                   44)
            << QByteArray(
                   "\xFF\xFE[\0U\0S\0E\0R\0]\0\n\0\x00\xD8\n\0A\0u\0t\0o\0S\0t\0a\0r\0t\0=\0"
                   "1\0\n\0",
                   44);
        QTest::newRow("an odd last byte of UTF-16 reads as U+FFFD before a new line")
            << QByteArray("\xFF\xFE[\0U\0S\0E\0R\0]\0\n\0x", 17)
            << QByteArray(
                   "\xFF\xFE[\0U\0S\0E\0R\0]\0\n\0\xFD\xFF\n\0A\0u\0t\0o\0S\0t\0a\0r\0t\0=\0"
                   "1\0\n\0",
                   44);
        QTest::newRow("value already there: the line stays as written")
            << QByteArray("[USER]\r\n  AutoStart = 1\n\xE9") << QByteArray("[USER]\r\n  AutoStart = 1\n\xE9");
    }

    void writeText()
    {
        QFETCH(QByteArray, Before);
        QFETCH(QByteArray, After);
        QCOMPARE(ProfileWriteText(Before, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1")),
                 After);
    }

    void writeCreatesTheFileNotItsFolder()
    {
        const QString Path = FDir.filePath(QStringLiteral("new.ini"));
        ProfileWriteString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("0"));
        QCOMPARE(Read(Path), QByteArray("[USER]\r\nAutoStart=0\r\n"));
        ProfileWriteString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
        QCOMPARE(ProfileReadString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QString()),
                 QStringLiteral("1"));

        const QString Deep = FDir.filePath(QStringLiteral("missing/fls/sets.ini"));
        try {
            ProfileWriteString(Deep, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
            QFAIL("no error");
        } catch (const Exception& E) {
            QCOMPARE(QString::fromUtf8(E.what()), QStringLiteral("Unable to write to ") + Deep);
        }
        QVERIFY(!QFile::exists(FDir.filePath(QStringLiteral("missing"))));
    }

    void writeRefusesReadOnlyFile()
    {
        const QString Path = Write(QStringLiteral("ro.ini"), "[USER]\nAutoStart=0\n");
        QFile::setPermissions(Path, QFile::ReadOwner | QFile::ReadUser);
        if (QFileInfo(Path).isWritable()) QSKIP("running with rights that write read-only files");
        QVERIFY_THROWS_EXCEPTION(Exception, ProfileWriteString(Path, QStringLiteral("USER"),
                                                               QStringLiteral("AutoStart"), QStringLiteral("1")));
        QCOMPARE(Read(Path), QByteArray("[USER]\nAutoStart=0\n"));
    }

    void writeKeepsTheRestByteForByte()
    {
        // A settings file with a long cp1252 comment, as an editor on another system
        // saves it.
        QByteArray Before = "; R\xE9glages \x96 ";
        while (Before.size() < 1055) Before += "caf\xE9 cr\xE8me ";
        Before.truncate(1055);
        Before += "\r\n[USER]\r\nAutoStart=0\r\n";
        QCOMPARE(Before.size(), 1078);
        const QString Path = Write(QStringLiteral("cp1252.ini"), Before);
        ProfileWriteString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
        QByteArray Expected = Before;
        Expected[Expected.size() - 3] = '1';
        QCOMPARE(Read(Path).size(), Before.size());
        QCOMPARE(Read(Path), Expected);

        // The value that already stands there is not written again: the file is the
        // same file, not a copy.
        const QFileInfo Old(Path);
        ProfileWriteString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
        QFileInfo New(Path);
        QCOMPARE(New.fileTime(QFile::FileModificationTime), Old.fileTime(QFile::FileModificationTime));
        QCOMPARE(New.metadataChangeTime(), Old.metadataChangeTime());
        QCOMPARE(Read(Path), Expected);
    }

    void failedWriteLeavesTheOldFileWhole_data()
    {
        // A file-size limit makes the write fail, as a full disk would: half-way, or
        // (for a settings file small enough for a write buffer) only as it is flushed.
        QTest::addColumn<int>("Size");
        QTest::addColumn<int>("Limit");
        QTest::newRow("70 KB, room for 4 KB") << 70000 << 4096;
        QTest::newRow("78 bytes, room for 20") << 78 << 20;
        QTest::newRow("78 bytes, no room") << 78 << 0;
    }

    void failedWriteLeavesTheOldFileWhole()
    {
        QFETCH(int, Size);
        QFETCH(int, Limit);
        QByteArray Before = "[USER]\r\nAutoStart=0\r\n";
        for (int I = 0; Before.size() < Size; ++I)
            Before += "[Other" + QByteArray::number(I) + "]\r\nKey=some value\r\n";
        Before.truncate(Size);
        const QString Path = Write(QStringLiteral("big.ini"), Before);

        QString Message = QStringLiteral("<nothing raised>");
        {
            const TFileSizeLimit FullDisk(Limit);
            QVERIFY(FullDisk.Set());
            try {
                ProfileWriteString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
            } catch (const Exception& E) {
                Message = QString::fromUtf8(E.what());
            }
        }

        QCOMPARE(Message, QStringLiteral("Unable to write to ") + Path);
        QCOMPARE(Read(Path), Before);
        QCOMPARE(QDir(FDir.path()).entryList({QStringLiteral("big.ini*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("big.ini")});
    }

    void writeGoesThroughASymbolicLink()
    {
        const QString Target = Write(QStringLiteral("target.ini"), "; kept\n[USER]\nAutoStart=0\n");
        const QString Link = FDir.filePath(QStringLiteral("link.ini"));
        QVERIFY(QFile::link(Target, Link));
        ProfileWriteString(Link, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
        QCOMPARE(QFileInfo(Link).symLinkTarget(), Target);
        QCOMPARE(Read(Target), QByteArray("; kept\n[USER]\nAutoStart=1\n"));
    }

    // What is not a regular file of a sane size is no setting, and writing it fails
    // at once instead of waiting on a FIFO or reading a device without end.
    void fileThatIsNoRegularFile_data()
    {
        QTest::addColumn<QString>("Kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("symbolic link to /dev/zero") << "zero";
        QTest::newRow("folder") << "folder";
        QTest::newRow("larger than any settings file") << "huge";
    }

    void fileThatIsNoRegularFile()
    {
        QFETCH(QString, Kind);
        const QString Path = FDir.filePath(QStringLiteral("odd-") + Kind + QStringLiteral(".ini"));
        if (Kind == u"fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(Path).constData(), 0600), 0);
        } else if (Kind == u"zero") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), Path));
        } else if (Kind == u"folder") {
            QVERIFY(QDir(FDir.path()).mkpath(Path));
        } else {
            QFile File(Write(QStringLiteral("odd-huge.ini"), "[USER]\nAutoStart=1\n"));
            QVERIFY(File.resize(qint64(1) << 30));  // sparse: costs no disk
        }
        // Should anything block, the alarm ends the test instead of hanging it.
        alarm(20);
        QCOMPARE(ProfileReadString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QString Message = QStringLiteral("<nothing raised>");
        try {
            ProfileWriteString(Path, QStringLiteral("USER"), QStringLiteral("AutoStart"), QStringLiteral("1"));
        } catch (const Exception& E) {
            Message = QString::fromUtf8(E.what());
        }
        alarm(0);
        QCOMPARE(Message, QStringLiteral("Unable to write to ") + Path);
        if (Kind == u"huge") QCOMPARE(QFileInfo(Path).size(), qint64(1) << 30);
        if (Kind == u"zero") QCOMPARE(QFileInfo(Path).symLinkTarget(), QStringLiteral("/dev/zero"));
    }

    void writeRefusesFolder()
    {
        QVERIFY(QDir(FDir.path()).mkpath(QStringLiteral("dir.ini")));
        QVERIFY_THROWS_EXCEPTION(Exception,
                                 ProfileWriteString(FDir.filePath(QStringLiteral("dir.ini")), QStringLiteral("USER"),
                                                    QStringLiteral("A"), QStringLiteral("1")));
    }

    void flag_data()
    {
        QTest::addColumn<QString>("Text");
        QTest::addColumn<bool>("True");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("2") << "2" << true;
        QTest::newRow("-1") << "-1" << true;
        QTest::newRow("+0") << "+0" << false;
        QTest::newRow("000") << "000" << false;
        QTest::newRow("0x1") << "0x1" << true;
        QTest::newRow("0X1") << "0X1" << true;
        QTest::newRow("0xff") << "0xff" << true;
        QTest::newRow("0x0") << "0x0" << false;
        QTest::newRow("0x alone") << "0x" << false;
        QTest::newRow("hex without prefix") << "ff" << false;
        QTest::newRow("yes") << "yes" << false;
        QTest::newRow("true") << "true" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("1.5") << "1.5" << false;
        QTest::newRow("1 with blanks") << " 1 " << true;
        QTest::newRow("digits then text") << "1x" << false;
        QTest::newRow("beyond 64 bits") << "99999999999999999999999" << true;
        QTest::newRow("sign alone") << "-" << false;
    }

    void flag()
    {
        QFETCH(QString, Text);
        QFETCH(bool, True);
        QCOMPARE(ProfileTextIsTrue(Text), True);
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_ProfileFile.moc"
