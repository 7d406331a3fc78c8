// One running copy: the lock, the hand-off messages, the receiver against hostile
// and crowded clients, and the built program started as first and later copies.
//
// The program's copies run in a sandbox each: a copy of the built program with its
// own fls/sets.ini ("AutoStart" = "1"), a fresh runtime folder and a stand-in
// xdg-open first on PATH. With auto-run on, every loaded entry hands its magnet
// link to the desktop. The offscreen platform has no desktop services and names
// each refused link on standard error, in the order of the calls; a platform with
// them runs xdg-open, whose stand-in records "<pid> <link>", read in the order of
// the process ids. Either way the test sees the links in the order of loading
// without automating the window.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Bencode.h"
#include "HandOffServer.h"
#include "LocalPath.h"
#include "OnlyOne.h"
#include "ManualPage.h"

extern char** environ;

namespace {

// ---------------------------------------------------------------------------------
// Torrents.

QByteArray BStr(const QByteArray& S)
{
    return QByteArray::fromStdString(Bencode::String(S.toStdString()));
}
QByteArray BInt(qint64 V)
{
    return QByteArray::fromStdString(Bencode::Int(V));
}

// A small single-file torrent named after Name, and its magnet link.
std::pair<QByteArray, QString> MakeTorrent(const QString& Name)
{
    const QByteArray NameBytes = Name.toUtf8();
    const QByteArray Info = "d" + BStr("length") + BInt(1000 + NameBytes.size()) + BStr("name") + BStr(NameBytes) +
                            BStr("piece length") + BInt(16384) + BStr("pieces") +
                            BStr(QCryptographicHash::hash(NameBytes, QCryptographicHash::Sha1)) + "e";
    const QByteArray Torrent =
        "d" + BStr("announce") + BStr("http://tracker.example/announce") + BStr("info") + Info + "e";
    return {Torrent, QStringLiteral("magnet:?xt=urn:btih:") +
                         QString::fromLatin1(QCryptographicHash::hash(Info, QCryptographicHash::Sha1).toHex())};
}

// Writes a small single-file torrent named after Name and returns its magnet link.
QString WriteTorrent(const QString& Path, const QString& Name)
{
    const auto [Torrent, Link] = MakeTorrent(Name);
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly) || File.write(Torrent) != Torrent.size()) return {};
    return Link;
}

// The same at a path of any bytes, in an existing folder.
QString WriteTorrentAt(const QByteArray& Path, const QString& Name)
{
    const auto [Torrent, Link] = MakeTorrent(Name);
    const int Fd = ::open(Path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool Ok = Fd >= 0 && ::write(Fd, Torrent.constData(), size_t(Torrent.size())) == Torrent.size();
    if (Fd >= 0) ::close(Fd);
    return Ok ? Link : QString();
}

// Bytes as an argument for a copy started with TSandbox::OctalArguments: every
// byte past ASCII as "\ooo", which that copy's shell turns back into the byte.
QString OctalArgument(const QByteArray& Bytes)
{
    QString Text;
    for (const char C : Bytes) {
        const auto B = static_cast<unsigned char>(C);
        if (B < 0x80 && B != '\\' && B != '%')
            Text += QLatin1Char(C);
        else
            Text += QStringLiteral("\\%1").arg(B, 3, 8, QLatin1Char('0'));
    }
    return Text;
}

// ---------------------------------------------------------------------------------
// The process's environment for the in-process tests of the lock.

class TEnvGuard {
public:
    explicit TEnvGuard(std::initializer_list<const char*> Names)
    {
        for (const char* Name : Names) FSaved.push_back({Name, qgetenv(Name), qEnvironmentVariableIsSet(Name)});
    }
    ~TEnvGuard()
    {
        for (const auto& S : FSaved) {
            if (S.Set)
                qputenv(S.Name, S.Value);
            else
                qunsetenv(S.Name);
        }
    }

private:
    struct TSaved {
        const char* Name;
        QByteArray Value;
        bool Set;
    };
    std::vector<TSaved> FSaved;
};

// Lets go of the lock that this test process took.
void ReleaseLock()
{
    if (MutexHandle >= 0) ::close(MutexHandle);
    MutexHandle = -1;
}

QString LockPath(const QString& Folder)
{
    return Folder + "/" + QString::fromStdString(MutexSafeName(VelmoraMutexName)) + ".lock";
}

// Whether some process holds an flock on the file, as the kernel lists it; asking
// by taking the lock would itself race with a copy that is starting.
bool LockIsHeld(const QString& Path)
{
    struct stat St {};
    if (::stat(QFile::encodeName(Path).constData(), &St) != 0) return false;
    QFile Locks("/proc/locks");
    if (!Locks.open(QIODevice::ReadOnly)) return false;
    const QByteArray Needle = ':' + QByteArray::number(quint64(St.st_ino)) + ' ';
    for (const QByteArray& Line : Locks.readAll().split('\n'))
        if (Line.contains("FLOCK") && Line.contains(Needle)) return true;
    return false;
}

// ---------------------------------------------------------------------------------
// A client of the receiver with blocking calls, for use from a thread of its own.

class TRawClient {
public:
    ~TRawClient() { Close(); }
    bool Connect(const QString& Path)
    {
        const QByteArray P = QFile::encodeName(Path);
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        if (size_t(P.size()) >= sizeof(Address.sun_path)) return false;
        std::memcpy(Address.sun_path, P.constData(), size_t(P.size()) + 1);
        FFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return FFd >= 0 && ::connect(FFd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) == 0;
    }
    bool Send(std::string_view Bytes)
    {
        while (!Bytes.empty()) {
            const ssize_t N = ::send(FFd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
            if (N <= 0) return false;
            Bytes.remove_prefix(size_t(N));
        }
        return true;
    }
    bool SendText(std::string_view Text) { return Send(EncodeHandOff(THandOffKind::Text, Text)); }
    enum TAnswer { Ack, Closed, Silence, Other, Refused };
    TAnswer Answer(int TimeoutMs)
    {
        pollfd P{FFd, POLLIN, 0};
        if (::poll(&P, 1, TimeoutMs) <= 0) return Silence;
        char C = 0;
        const ssize_t N = ::recv(FFd, &C, 1, 0);
        if (N == 0 || (N < 0 && errno == ECONNRESET)) return Closed;
        if (N == 1 && C == HandOffRefused) return Refused;
        return N == 1 && C == HandOffAck ? Ack : Other;
    }
    // Each text and its answer, then the closing "?"; the answer to "?", or the
    // first answer that was no Ack.
    TAnswer SendBatch(const QStringList& Texts, int TimeoutMs = 20000)
    {
        for (const QString& Text : Texts) {
            if (!SendText(Text.toStdString())) return Closed;
            if (const TAnswer A = Answer(TimeoutMs); A != Ack) return A;
        }
        if (!SendText(HandOffEndMark)) return Closed;
        return Answer(TimeoutMs);
    }
    void Close()
    {
        if (FFd >= 0) ::close(FFd);
        FFd = -1;
    }
    int Fd() const { return FFd; }

private:
    int FFd = -1;
};

// What a receiver delivered, with a check that no delivery ran inside another.
struct TRecorder {
    QStringList Texts;  // the texts of every batch, in the order of delivery
    QList<QStringList> Batches;
    int Forwards = 0;
    int Depth = 0;
    int MaxDepth = 0;
    int NestedLoopMs = 0;                           // each batch handler spins an event loop this long
    QString Refused = QStringLiteral("<refused>");  // a batch with this text is not taken...
    int RefuseTimes = 1 << 30;                      // ...this many times
    // Runs once, inside the first delivery that comes (before the handler's loop).
    std::function<void()> During;

    void Attach(THandOffServer& Server)
    {
        Server.SetHandlers(
            [this](const QStringList& Batch) {
                ++Depth;
                MaxDepth = std::max(MaxDepth, Depth);
                Texts << Batch;
                Batches << Batch;
                RunDuring();
                if (NestedLoopMs > 0) {
                    QEventLoop Loop;
                    QTimer::singleShot(NestedLoopMs, &Loop, &QEventLoop::quit);
                    Loop.exec();
                }
                --Depth;
                if (!Batch.contains(Refused) || RefuseTimes <= 0) return true;
                --RefuseTimes;
                return false;
            },
            [this] {
                ++Forwards;
                RunDuring();
            });
    }
    void RunDuring()
    {
        if (!During) return;
        const std::function<void()> Once = std::move(During);
        During = nullptr;
        Once();
    }
};

// ---------------------------------------------------------------------------------
// The built program in a sandbox of its own.

const QString StandInXdgOpen = QStringLiteral("#!/bin/sh\necho \"$$ $1\" >> '%1'\n");

class TSandbox {
public:
    TSandbox()
    {
        FOk = Root.isValid();
        AppFolder = Root.filePath("app");
        Program = AppFolder + "/velmora";
        Runtime = Root.filePath("run");
        Data = Root.filePath("data");
        BinFolder = Root.filePath("bin");
        XdgLog = Root.filePath("xdg-open.log");
        FOk = FOk && QDir().mkpath(AppFolder + "/fls") && QDir().mkpath(Data) && QDir().mkpath(BinFolder) &&
              QDir().mkdir(Runtime) && ::chmod(QFile::encodeName(Runtime).constData(), 0700) == 0 &&
              QFile::copy(QStringLiteral(VELMORA_BIN), Program);
        const QString BuiltFls = QFileInfo(QStringLiteral(VELMORA_BIN)).absolutePath() + "/fls/";
        for (const char* Template : {"template.tpl", "mid.tpl"})
            QFile::copy(BuiltFls + Template, AppFolder + "/fls/" + Template);
        QFile Ini(AppFolder + "/fls/sets.ini");
        FOk = FOk && Ini.open(QIODevice::WriteOnly) && Ini.write("[USER]\r\nAutoStart=1\r\n") > 0;
        Ini.close();
        QFile Script(BinFolder + "/xdg-open");
        FOk = FOk && Script.open(QIODevice::WriteOnly) && Script.write(StandInXdgOpen.arg(XdgLog).toUtf8()) > 0;
        Script.close();
        FOk = FOk && Script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~TSandbox()
    {
        for (auto& P : FFirstCopies) {
            P->kill();
            P->waitForFinished(5000);
        }
    }
    bool Ok() const { return FOk; }

    QString SocketPath() const { return Runtime + "/" + HandOffSocketName; }

    // A first copy sees the offscreen platform; a later copy gets a platform that
    // does not exist, so that one that started the window system would fail loudly.
    QProcessEnvironment Environment(bool First) const
    {
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("XDG_RUNTIME_DIR", Runtime);
        Env.insert("PATH", BinFolder + ":" + Env.value("PATH"));
        Env.insert("QT_QPA_PLATFORM", First ? "offscreen" : "no-window-system-in-a-later-copy");
        Env.remove("DISPLAY");
        Env.remove("WAYLAND_DISPLAY");
        // The refused links are warnings: nothing may silence them or end the copy.
        Env.remove("QT_LOGGING_RULES");
        Env.remove("QT_MESSAGE_PATTERN");
        Env.remove("QT_FATAL_WARNINGS");
        Env.insert("XDG_CONFIG_HOME", Root.filePath("config"));
        return Env;
    }

    // QProcess passes arguments as text; with this set, the copies are started
    // through a shell that turns each "\ooo" of them into that byte, so that they
    // may be paths that are no UTF-8 (see OctalArgument).
    bool OctalArguments = false;
    void SetCommand(QProcess& P, const QStringList& Arguments) const
    {
        if (!OctalArguments) {
            P.setProgram(Program);
            P.setArguments(Arguments);
            return;
        }
        P.setProgram(QStringLiteral("/bin/sh"));
        P.setArguments(QStringList{QStringLiteral("-c"),
                                   QStringLiteral("p=$0; for a; do shift; set -- \"$@\" \"$(printf \"$a\")\"; done; "
                                                  "exec \"$p\" \"$@\""),
                                   Program} +
                       Arguments);
    }

    QProcess* StartFirst(const QStringList& Arguments, const QString& WorkingFolder = {})
    {
        auto P = std::make_unique<QProcess>();
        P->setProcessEnvironment(Environment(true));
        P->setWorkingDirectory(WorkingFolder.isEmpty() ? Data : WorkingFolder);
        SetCommand(*P, Arguments);
        P->start();
        P->waitForStarted(10000);
        FFirstCopies.push_back(std::move(P));
        FErrors.emplace_back();
        // Which copy is the first is settled once it holds the lock.
        QDeadlineTimer Deadline(20000);
        while (!LockIsHeld(LockPath(Runtime)) && !Deadline.hasExpired()) QThread::usleep(500);
        return FFirstCopies.back().get();
    }

    struct TRun {
        int ExitCode = -1;
        bool Normal = false;
        QString Errors;
        qint64 Ms = 0;
    };

    QProcess* StartLater(const QStringList& Arguments, const QString& WorkingFolder = {})
    {
        auto* P = new QProcess;
        P->setProcessEnvironment(Environment(false));
        P->setWorkingDirectory(WorkingFolder.isEmpty() ? Data : WorkingFolder);
        SetCommand(*P, Arguments);
        P->start();
        return P;
    }

    // Serves this process's event loop meanwhile: the receiver may be in here.
    static TRun Finish(QProcess* P)
    {
        TRun Run;
        QDeadlineTimer Deadline(60000);
        while (P->state() != QProcess::NotRunning && !Deadline.hasExpired()) QTest::qWait(2);
        if (P->state() != QProcess::NotRunning) P->kill();
        P->waitForFinished(5000);
        Run.Normal = P->exitStatus() == QProcess::NormalExit;
        Run.ExitCode = P->exitCode();
        Run.Errors = QString::fromUtf8(P->readAllStandardError());
        return Run;
    }

    TRun RunLater(const QStringList& Arguments, const QString& WorkingFolder = {})
    {
        QElapsedTimer Timer;
        Timer.start();
        std::unique_ptr<QProcess> P(StartLater(Arguments, WorkingFolder));
        TRun Run = Finish(P.get());
        Run.Ms = Timer.elapsed();
        return Run;
    }

    // The links that the first copies handed to the desktop, in the order of loading.
    QStringList Links()
    {
        static const QRegularExpression Link(QStringLiteral("magnet:\\?xt=urn:btih:[0-9a-f]{40}"));
        QStringList Result;
        for (size_t I = 0; I < FFirstCopies.size(); ++I) {
            FErrors[I] += FFirstCopies[I]->readAllStandardError();
            const QString Text = QString::fromUtf8(FErrors[I]);
            for (auto M = Link.globalMatch(Text); M.hasNext();) Result << M.next().captured();
        }
        QFile Log(XdgLog);
        if (Log.open(QIODevice::ReadOnly)) {
            std::vector<std::pair<long long, QString>> Lines;
            for (const QByteArray& Line : Log.readAll().split('\n')) {
                const qsizetype Space = Line.indexOf(' ');
                if (Space > 0) Lines.push_back({Line.left(Space).toLongLong(), QString::fromUtf8(Line.mid(Space + 1))});
            }
            // Process ids grow in the order of the calls, unless they wrapped round.
            if (!Lines.empty()) {
                const auto [Lo, Hi] = std::minmax_element(Lines.begin(), Lines.end());
                if (Hi->first - Lo->first > 1 << 14)
                    for (auto& L : Lines)
                        if (L.first < 1 << 14) L.first += 1LL << 32;
            }
            std::stable_sort(Lines.begin(), Lines.end(),
                             [](const auto& A, const auto& B) { return A.first < B.first; });
            for (const auto& L : Lines) Result << L.second;
        }
        return Result;
    }

    // Waits until Count links have been handed over, or a first copy ended.
    QStringList WaitForLinks(int Count, int TimeoutMs = 30000)
    {
        QDeadlineTimer Deadline(TimeoutMs);
        QStringList L = Links();
        while (L.size() < Count && !Deadline.hasExpired()) {
            QTest::qWait(20);
            L = Links();
        }
        return L;
    }

    // The links once Count have come and nothing more has followed for a while.
    QStringList SettledLinks(int Count)
    {
        WaitForLinks(Count);
        QTest::qWait(150);
        return Links();
    }

    // A first copy is listening once its socket exists; until then later copies wait.
    bool WaitForListening(int TimeoutMs = 30000) const
    {
        QDeadlineTimer Deadline(TimeoutMs);
        while (!QFileInfo(SocketPath()).exists()) {
            if (Deadline.hasExpired()) return false;
            QTest::qWait(10);
        }
        return true;
    }

    QTemporaryDir Root;
    QString AppFolder, Program, Runtime, Data, BinFolder, XdgLog;

private:
    bool FOk = false;
    std::vector<std::unique_ptr<QProcess>> FFirstCopies;
    std::vector<QByteArray> FErrors;
};

bool ProgramBuilt()
{
    return QFileInfo(QStringLiteral(VELMORA_BIN)).isExecutable();
}

}  // namespace

class TestOnlyOne : public QObject {
    Q_OBJECT

private slots:
    // The lock's name and folder.
    void mutexSafeName_data();
    void mutexSafeName();
    void runtimeFolderPrefersPrivateXdgFolder();
    void runtimeFolderFallback_data();
    void runtimeFolderFallback();

    // The lock.
    void secondHolderIsRefusedUntilFirstLetsGo();
    void lockDoesNotPassToStartedPrograms();
    void lockFileThatIsALinkCountsAsHeld();
    void absoluteArgument_data();
    void absoluteArgument();
    void localPathKeepsEveryByte_data();
    void localPathKeepsEveryByte();

    // Messages.
    void encodedLayout();
    void decoder_data();
    void decoder();
    void decoderTakesOneMessageAtATime();

    // The receiver.
    void receiverDropsHostileClients_data();
    void receiverDropsHostileClients();
    void receiverDropsSilentClients();
    void messagesWaitForTheHandlers();
    void textsAreAnsweredWhileTheWindowIsBusy();
    void completeMessageOfAClosedConnectionIsDelivered();
    void clientGoneBeforeItsAnswer_data();
    void clientGoneBeforeItsAnswer();
    void nestedEventLoopsDoNotNestDeliveries();
    void crowdOfClientsKeepsEachOrder();
    void senderTalksToReceiver();
    void senderGivesUpWhenNoOneListens();
    void senderTakesOverWhenFirstCopyEnded();
    void senderWaitsOutAFullQueue();
    void senderGivesUpOnASilentCopy();

    // The built program: what a later copy sends.
    void laterCopySendsAbsolutePathsThenQuestionMark();
    void laterCopyWithoutArgumentsOnlyAsksToComeForward();
    void laterCopyWaitsForFirstCopyToListen();
    void laterCopyGivesUpWhenNoOneListens();
    void laterCopyTriesAgainWhenRefused();
    void laterCopyTalksToAnEarlierVersion();
    void laterCopyDoesNotWaitForABox_data();
    void laterCopyDoesNotWaitForABox();

    // The built program: first copy and later copies.
    void twoPathsBecomeTwoEntriesInOrder();
    void noArgumentsLoadsNothing();
    void longCyrillicPathArrivesWhole();
    void pathsThatAreNoUtf8Load();
    void relativePathLoadsLaterCopysFile();
    void twentyLaterCopiesAtOnce();
    void killedFirstCopyDoesNotBlockNextStart();
    void laterCopyDuringStartUpLosesNothing();
};

// ---------------------------------------------------------------------------------

void TestOnlyOne::mutexSafeName_data()
{
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QString>("Expected");
    QTest::newRow("the program's name") << "MyProgramKTZMutex180671"
                                        << "MyProgramKTZMutex180671";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("one backslash") << "Global\\Velmora"
                                   << "Global_Velmora";
    QTest::newRow("backslashes only") << "\\\\\\"
                                      << "___";
    QTest::newRow("slash and colon stay") << "a/b:c"
                                          << "a/b:c";
    QTest::newRow("underscore stays") << "a_b"
                                      << "a_b";
    QTest::newRow("letters beyond ASCII stay") << "Мьютекс\\ä"
                                               << "Мьютекс_ä";
}

void TestOnlyOne::mutexSafeName()
{
    QFETCH(QString, Name);
    QFETCH(QString, Expected);
    QCOMPARE(QString::fromStdString(MutexSafeName(Name.toStdString())), Expected);
}

namespace {

QString HostName()
{
    char Host[256] = {};
    ::gethostname(Host, sizeof Host - 1);
    return QString::fromLocal8Bit(Host);
}

// Puts what another user might have put at Path: a symbolic link to a private
// folder, a folder open to all, a file, or (as root) a folder of someone else's.
bool Spoil(const QString& Kind, const QString& Path)
{
    const QByteArray P = QFile::encodeName(Path);
    if (Kind == "link") {
        const QByteArray Target = P + ".elsewhere";
        return ::mkdir(Target.constData(), 0700) == 0 && ::symlink(Target.constData(), P.constData()) == 0;
    }
    if (Kind == "open") return ::mkdir(P.constData(), 0700) == 0 && ::chmod(P.constData(), 0777) == 0;
    if (Kind == "file") {
        QFile F(Path);
        return F.open(QIODevice::WriteOnly);
    }
    if (Kind == "foreign") return ::mkdir(P.constData(), 0700) == 0 && ::chown(P.constData(), 65534, 65534) == 0;
    return Kind.isEmpty();
}

}  // namespace

void TestOnlyOne::runtimeFolderPrefersPrivateXdgFolder()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "TMPDIR"});
    QTemporaryDir Xdg;  // made with mode 0700
    QVERIFY(Xdg.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()) + "/");
    QCOMPARE(QString::fromStdString(RuntimeFolder()), Xdg.path());

    // A runtime folder that others may enter is not used.
    QVERIFY(::chmod(QFile::encodeName(Xdg.path()).constData(), 0755) == 0);
    QTemporaryDir Cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(Cache.path()));
    QCOMPARE(QString::fromStdString(RuntimeFolder()), Cache.path() + "/velmora-" + HostName());

    // Nor one whose socket path would not fit a socket address.
    QVERIFY(::chmod(QFile::encodeName(Xdg.path()).constData(), 0700) == 0);
    const QString Deep = Xdg.path() + "/" + QString(100, 'd');
    QVERIFY(::mkdir(QFile::encodeName(Deep).constData(), 0700) == 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Deep));
    QCOMPARE(QString::fromStdString(RuntimeFolder()), Cache.path() + "/velmora-" + HostName());

    // The window's manual page names the same places, in the same order.
    const QString Manual = ManualPageText(QStringLiteral("desktop/velmora.1"));
    if (!Manual.isEmpty()) {
        QVERIFY2(Manual.contains(QStringLiteral("Otherwise they are kept in the folder velmora-<host> (the machine's "
                                                "name) in XDG_CACHE_HOME, and where that cannot be used either, in "
                                                "the folder velmora-<uid> (the user's number) in TMPDIR.")),
                 qPrintable(Manual));
    }
}

void TestOnlyOne::runtimeFolderFallback_data()
{
    QTest::addColumn<QString>("InCache");   // what another user put in the cache's place
    QTest::addColumn<QString>("InTemp");    // and in the temporary folder's place
    QTest::addColumn<QString>("Expected");  // "cache", "temp" or "" (no place at all)
    QTest::addColumn<QString>("Reason");
    QTest::newRow("own cache folder") << ""
                                      << ""
                                      << "cache"
                                      << "";
    QTest::newRow("a link in /tmp does not matter") << ""
                                                    << "link"
                                                    << "cache"
                                                    << "";
    QTest::newRow("a file in /tmp does not matter") << ""
                                                    << "file"
                                                    << "cache"
                                                    << "";
    QTest::newRow("cache place is a link") << "link"
                                           << ""
                                           << "temp"
                                           << "";
    QTest::newRow("cache place is open to others") << "open"
                                                   << ""
                                                   << "temp"
                                                   << "";
    QTest::newRow("cache folder open to others") << "parent open"
                                                 << ""
                                                 << "temp"
                                                 << "";
    QTest::newRow("cache path too long for a socket") << "too long"
                                                      << ""
                                                      << "temp"
                                                      << "";
    QTest::newRow("both links") << "link"
                                << "link"
                                << ""
                                << "symbolic link";
    QTest::newRow("both open to others") << "open"
                                         << "open"
                                         << ""
                                         << "open to other users";
    QTest::newRow("files in both places") << "file"
                                          << "file"
                                          << ""
                                          << "not a folder";
    if (::geteuid() == 0) {
        QTest::newRow("another user's folder in /tmp does not matter") << ""
                                                                       << "foreign"
                                                                       << "cache"
                                                                       << "";
        QTest::newRow("another user's folders in both") << "foreign"
                                                        << "foreign"
                                                        << ""
                                                        << "another user";
    }
}

// With no runtime folder, the cache folder serves, then the temporary one; what
// another user puts in their place only passes them over.
void TestOnlyOne::runtimeFolderFallback()
{
    QFETCH(QString, InCache);
    QFETCH(QString, InTemp);
    QFETCH(QString, Expected);
    QFETCH(QString, Reason);
    TEnvGuard Env({"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "TMPDIR"});
    QTemporaryDir Temp, CacheRoot;
    QVERIFY(Temp.isValid() && CacheRoot.isValid());
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(Temp.path()));
    QString Cache = CacheRoot.path() + "/cache";
    if (InCache == "too long") Cache += "/" + QString(100, 'c');
    QVERIFY(QDir().mkpath(Cache));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(Cache));
    const QString CachePlace = Cache + "/velmora-" + HostName();
    const QString TempPlace = Temp.path() + "/velmora-" + QString::number(::geteuid());
    if (InCache == "parent open")
        QVERIFY(::chmod(QFile::encodeName(Cache).constData(), 0777) == 0);
    else if (InCache != "too long")
        QVERIFY(Spoil(InCache, CachePlace));
    QVERIFY(Spoil(InTemp, TempPlace));

    std::string Error;
    const QString Folder = QString::fromStdString(RuntimeFolder(&Error));
    if (Expected.isEmpty()) {
        QCOMPARE(Folder, QString());
        QVERIFY2(QString::fromStdString(Error).contains(Reason), Error.c_str());
        // No lock can be had: the copy knows that it is no later copy, and why.
        QVERIFY(!IsFirstInstance(VelmoraMutexName));
        QVERIFY(QString::fromStdString(InstanceLockError()).contains(Reason));
        QCOMPARE(ConnectToFirstInstance(VelmoraMutexName, std::chrono::milliseconds(0)), THandOffConnect::Failed);
        QVERIFY(QString::fromStdString(HandOffError()).contains(Reason));
        return;
    }
    QCOMPARE(Folder, Expected == "cache" ? CachePlace : TempPlace);
    struct stat St {};
    QVERIFY(::lstat(QFile::encodeName(Folder).constData(), &St) == 0);
    QVERIFY(S_ISDIR(St.st_mode));
    QCOMPARE(St.st_mode & 07777, mode_t(0700));
    // Found again as it is, and the lock is had there.
    QCOMPARE(QString::fromStdString(RuntimeFolder(&Error)), Folder);
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    QVERIFY(QFileInfo::exists(LockPath(Folder)));
    ReleaseLock();
}

void TestOnlyOne::secondHolderIsRefusedUntilFirstLetsGo()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QCOMPARE(MutexHandle, -1);
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    const int Held = MutexHandle;
    QVERIFY(Held >= 0);
    struct stat St {};
    QVERIFY(::stat(QFile::encodeName(LockPath(Xdg.path())).constData(), &St) == 0);
    QCOMPARE(St.st_mode & 0777, mode_t(0600));

    // Another claim, even from this process, finds the lock held and keeps the first
    // descriptor.
    QVERIFY(!IsFirstInstance(VelmoraMutexName));
    QVERIFY(InstanceLockError().empty());
    QCOMPARE(MutexHandle, Held);

    // Another name is another lock.
    QVERIFY(IsFirstInstance("Other\\Name"));
    QVERIFY(QFileInfo::exists(Xdg.path() + "/Other_Name.lock"));
    ::close(MutexHandle);
    MutexHandle = Held;

    ReleaseLock();
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    ReleaseLock();
}

void TestOnlyOne::lockDoesNotPassToStartedPrograms()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QVERIFY(IsFirstInstance(VelmoraMutexName));

    // A program started by the first copy (the magnet handler, say) outlives it.
    pid_t Child = -1;
    char Sleep[] = "sleep";
    char Seconds[] = "30";
    char* Argv[] = {Sleep, Seconds, nullptr};
    QCOMPARE(::posix_spawnp(&Child, "sleep", nullptr, nullptr, Argv, environ), 0);
    ReleaseLock();
    // The child closes its inherited descriptors only a moment after its parent
    // has been let go on; a lock that passed to it would stay for its whole life.
    bool Free = false;
    for (QDeadlineTimer Deadline(2000); !Free && !Deadline.hasExpired(); QThread::msleep(1))
        Free = IsFirstInstance(VelmoraMutexName);
    ::kill(Child, SIGKILL);
    ::waitpid(Child, nullptr, 0);
    ReleaseLock();
    QVERIFY(Free);
}

void TestOnlyOne::lockFileThatIsALinkCountsAsHeld()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    const QByteArray Target = QFile::encodeName(Xdg.path()) + "/target";
    QVERIFY(::symlink(Target.constData(), QFile::encodeName(LockPath(Xdg.path())).constData()) == 0);
    QVERIFY(!IsFirstInstance(VelmoraMutexName));
    QVERIFY(!InstanceLockError().empty());
    QCOMPARE(MutexHandle, -1);
    QVERIFY(!QFileInfo::exists(QFile::decodeName(Target)));
}

void TestOnlyOne::absoluteArgument_data()
{
    QTest::addColumn<QString>("Argument");
    QTest::addColumn<QString>("Expected");  // "<cwd>" stands for the working folder
    QTest::newRow("plain name") << "a.torrent"
                                << "<cwd>/a.torrent";
    QTest::newRow("dots kept, not resolved") << "sub/../a.torrent"
                                             << "<cwd>/sub/../a.torrent";
    QTest::newRow("absolute stays") << "/x/y.torrent"
                                    << "/x/y.torrent";
    QTest::newRow("empty stays empty") << ""
                                       << "";
    QTest::newRow("question mark") << "?"
                                   << "<cwd>/?";
    QTest::newRow("backslash is a letter") << "a\\b.torrent"
                                           << "<cwd>/a\\b.torrent";
}

void TestOnlyOne::absoluteArgument()
{
    QFETCH(QString, Argument);
    QFETCH(QString, Expected);
    QTemporaryDir Folder;
    const QString Before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Folder.path()));
    const QString Result = QString::fromStdString(AbsoluteArgument(Argument.toStdString()));
    QDir::setCurrent(Before);
    QCOMPARE(Result, QString(Expected).replace("<cwd>", Folder.path()));
}

void TestOnlyOne::localPathKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("Bytes");
    QTest::addColumn<QString>("Shown");
    const QString R(QChar::ReplacementCharacter);
    QTest::newRow("ASCII") << QByteArray("/a/b c.torrent") << "/a/b c.torrent";
    QTest::newRow("Cyrillic") << QByteArray("/дом/файл.torrent") << QString::fromUtf8("/дом/файл.torrent");
    QTest::newRow("four-byte character") << QByteArray("/\xf0\x9f\x98\x80.torrent")
                                         << QString::fromUtf8("/\xf0\x9f\x98\x80.torrent");
    QTest::newRow("Latin-1 byte") << QByteArray("/caf\xe9.torrent") << "/caf" + R + ".torrent";
    QTest::newRow("two bad bytes") << QByteArray("bad\xff\xfeutf8") << "bad" + R + R + "utf8";
    QTest::newRow("sequence cut short") << QByteArray("a\xe2\x82") << "a" + R + R;
    QTest::newRow("cut short before a letter") << QByteArray("\xc3\x28") << R + "(";
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << R + R;
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << R + R + R;
    QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << R + R + R + R;
    QTest::newRow("continuation bytes alone") << QByteArray("\x80\xbf") << R + R;
    QTest::newRow("bad byte after a four-byte character")
        << QByteArray("\xf0\x9f\x98\x80\xdc") << QString::fromUtf8("\xf0\x9f\x98\x80") + R;
    QTest::newRow("empty") << QByteArray() << "";
}

// Bytes -> text -> bytes gives every byte back; only the shown form loses them.
void TestOnlyOne::localPathKeepsEveryByte()
{
    QFETCH(QByteArray, Bytes);
    QFETCH(QString, Shown);
    const QString Path = PathFromLocal(Bytes);
    QCOMPARE(PathToLocal(Path), Bytes);
    QCOMPARE(PathForDisplay(Path), Shown);
    if (QString::fromUtf8(Bytes).toUtf8() == Bytes) QCOMPARE(Path, QString::fromUtf8(Bytes));
    // Text that came from anywhere else goes out as UTF-8.
    QCOMPARE(PathToLocal(Shown), Shown.toUtf8());
}

// ---------------------------------------------------------------------------------

void TestOnlyOne::encodedLayout()
{
    QCOMPARE(EncodeHandOff(THandOffKind::Text, "ab"), std::string("T\0\0\0\x02"
                                                                  "ab",
                                                                  7));
    QCOMPARE(EncodeHandOff(THandOffKind::Forward, {}), std::string("F\0\0\0\0", 5));
    const std::string Long(0x012345, 'x');
    QCOMPARE(EncodeHandOff(THandOffKind::Text, Long).substr(0, 5), std::string("T\0\x01\x23\x45", 5));
}

void TestOnlyOne::decoder_data()
{
    QTest::addColumn<QByteArray>("Bytes");
    QTest::addColumn<int>("State");  // after all bytes
    QTest::addColumn<int>("Kind");
    QTest::addColumn<QByteArray>("Text");
    const auto Enc = [](THandOffKind K, const std::string& T) {
        const std::string E = EncodeHandOff(K, T);
        return QByteArray(E.data(), qsizetype(E.size()));
    };
    const int Ready = int(THandOffDecoder::TState::Ready);
    const int Bad = int(THandOffDecoder::TState::Bad);
    const int More = int(THandOffDecoder::TState::NeedMore);
    const int Text = int(THandOffKind::Text);
    const int Fwd = int(THandOffKind::Forward);
    const std::string Cyrillic = QStringLiteral("/дом/папка/файл.torrent").toStdString();
    QTest::newRow("text") << Enc(THandOffKind::Text, "/a/b.torrent") << Ready << Text << QByteArray("/a/b.torrent");
    QTest::newRow("empty text") << Enc(THandOffKind::Text, "") << Ready << Text << QByteArray();
    QTest::newRow("zero bytes in the text")
        << Enc(THandOffKind::Text, std::string("a\0b", 3)) << Ready << Text << QByteArray("a\0b", 3);
    QTest::newRow("UTF-8") << Enc(THandOffKind::Text, Cyrillic) << Ready << Text << QByteArray::fromStdString(Cyrillic);
    QTest::newRow("largest text") << Enc(THandOffKind::Text, std::string(HandOffMaxText, 'q')) << Ready << Text
                                  << QByteArray(qsizetype(HandOffMaxText), 'q');
    QTest::newRow("forward") << Enc(THandOffKind::Forward, "") << Ready << Fwd << QByteArray();
    QTest::newRow("header only") << QByteArray("T\0\0\0\x03", 5) << More << 0 << QByteArray();
    QTest::newRow("text cut short") << QByteArray(
                                           "T\0\0\0\x03"
                                           "ab",
                                           7)
                                    << More << 0 << QByteArray();
    QTest::newRow("nothing") << QByteArray() << More << 0 << QByteArray();
    QTest::newRow("one byte over the limit")
        << (QByteArray("T\0\x01\0\x01", 5) + QByteArray(4, 'x')) << Bad << 0 << QByteArray();
    QTest::newRow("4 GiB announced") << QByteArray("T\xff\xff\xff\xff", 5) << Bad << 0 << QByteArray();
    QTest::newRow("forward with a text") << QByteArray(
                                                "F\0\0\0\x01"
                                                "a",
                                                6)
                                         << Bad << 0 << QByteArray();
    QTest::newRow("unknown kind") << QByteArray("X\0\0\0\0", 5) << Bad << 0 << QByteArray();
    QTest::newRow("lower-case kind") << QByteArray("t\0\0\0\0", 5) << Bad << 0 << QByteArray();
    QTest::newRow("HTTP request") << QByteArray("GET / HTTP/1.0\r\n\r\n") << Bad << 0 << QByteArray();
}

// Every message decodes the same whether it comes whole or byte by byte.
void TestOnlyOne::decoder()
{
    QFETCH(QByteArray, Bytes);
    QFETCH(int, State);
    QFETCH(int, Kind);
    QFETCH(QByteArray, Text);
    for (const size_t Piece : {size_t(1), size_t(3), size_t(Bytes.size() + 1)}) {
        THandOffDecoder D;
        size_t Offset = 0;
        while (Offset < size_t(Bytes.size()) && D.State() == THandOffDecoder::TState::NeedMore) {
            QVERIFY(D.Wanted() > 0);
            const std::string_view Part(Bytes.constData() + Offset, std::min(Piece, size_t(Bytes.size()) - Offset));
            const size_t Taken = D.Feed(Part);
            QVERIFY(Taken > 0 || D.State() != THandOffDecoder::TState::NeedMore);
            Offset += Taken;
        }
        QCOMPARE(int(D.State()), State);
        if (D.State() == THandOffDecoder::TState::Ready) {
            QCOMPARE(D.Wanted(), size_t(0));
            const THandOffMessage M = D.Take();
            QCOMPARE(int(M.Kind), Kind);
            QCOMPARE(QByteArray::fromStdString(M.Text), Text);
            QCOMPARE(Offset, size_t(Bytes.size()));
            QVERIFY(D.AtMessageStart());
        }
        if (D.State() == THandOffDecoder::TState::Bad) {
            // Nothing more is taken, whatever follows.
            QCOMPARE(D.Feed("T\0\0\0\0"), size_t(0));
            QCOMPARE(D.Wanted(), size_t(0));
        }
    }
}

void TestOnlyOne::decoderTakesOneMessageAtATime()
{
    const std::string Two = EncodeHandOff(THandOffKind::Text, "first") + EncodeHandOff(THandOffKind::Text, "second");
    THandOffDecoder D;
    QCOMPARE(D.Wanted(), HandOffHeaderSize);
    const size_t Taken = D.Feed(Two);
    QCOMPARE(Taken, HandOffHeaderSize + 5);
    QCOMPARE(D.Take().Text, std::string("first"));
    QCOMPARE(D.Feed(std::string_view(Two).substr(Taken)), HandOffHeaderSize + 6);
    QCOMPARE(int(D.State()), int(THandOffDecoder::TState::Ready));
    QCOMPARE(D.Take().Text, std::string("second"));
}

// ---------------------------------------------------------------------------------

void TestOnlyOne::receiverDropsHostileClients_data()
{
    QTest::addColumn<QByteArray>("Bytes");
    QTest::addColumn<bool>("ThenClose");  // the client closes instead of waiting
    const std::string Two = EncodeHandOff(THandOffKind::Text, "a") + EncodeHandOff(THandOffKind::Text, "b");
    QTest::newRow("unknown kind") << QByteArray(
                                         "Z\0\0\0\x01"
                                         "x",
                                         6)
                                  << false;
    QTest::newRow("oversized text announced") << QByteArray("T\0\x10\0\0", 5) << false;
    QTest::newRow("second message before the answer") << QByteArray::fromStdString(Two) << false;
    QTest::newRow("forward with a text") << QByteArray(
                                                "F\0\0\0\x02"
                                                "ab",
                                                7)
                                         << false;
    QTest::newRow("closes in the middle of a header") << QByteArray("T\0\0", 3) << true;
    QTest::newRow("closes in the middle of a text") << QByteArray(
                                                           "T\0\0\0\x09"
                                                           "abc",
                                                           8)
                                                    << true;
}

void TestOnlyOne::receiverDropsHostileClients()
{
    QFETCH(QByteArray, Bytes);
    QFETCH(bool, ThenClose);
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY2(Server.Listen(Folder.path()), qPrintable(Server.ErrorString()));
    TRecorder Recorder;
    Recorder.Attach(Server);

    std::atomic<int> HostileAnswer{-1};
    std::atomic<int> GoodAnswer{-1};
    std::thread Clients([&] {
        TRawClient Hostile;
        if (!Hostile.Connect(Server.SocketPath())) return;
        Hostile.Send(std::string_view(Bytes.constData(), size_t(Bytes.size())));
        if (ThenClose)
            Hostile.Close();
        else
            HostileAnswer = Hostile.Answer(10000);
        // The receiver goes on serving others.
        TRawClient Good;
        if (!Good.Connect(Server.SocketPath())) return;
        GoodAnswer = Good.SendBatch({"/good.torrent"}, 10000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(GoodAnswer != -1, 20000);
    Clients.join();
    if (!ThenClose) QCOMPARE(HostileAnswer.load(), int(TRawClient::Closed));
    QCOMPARE(GoodAnswer.load(), int(TRawClient::Ack));
    QCOMPARE(Recorder.Texts, QStringList{"/good.torrent"});
    QTRY_COMPARE(Server.ConnectionCount(), 0);
}

void TestOnlyOne::receiverDropsSilentClients()
{
    QTemporaryDir Folder;
    THandOffServer Server;
    Server.SetFrameTimeout(200);
    QVERIFY(Server.Listen(Folder.path()));
    TRecorder Recorder;
    Recorder.Attach(Server);
    std::atomic<int> Silent{-1}, HalfHeader{-1}, HalfText{-1}, Trickle{-1};
    std::thread Trickler([&] {
        // A byte every 50 ms: each one comes well within the timeout, the whole
        // message does not.
        TRawClient D;
        if (!D.Connect(Server.SocketPath())) return;
        const std::string Message = EncodeHandOff(THandOffKind::Text, "/trickled/slowly.torrent");
        for (const char Byte : Message) {
            if (!D.Send(std::string_view(&Byte, 1))) break;
            QThread::msleep(50);
        }
        Trickle = D.Answer(10000);
    });
    std::thread Clients([&] {
        TRawClient A, B, C;
        if (!A.Connect(Server.SocketPath()) || !B.Connect(Server.SocketPath()) || !C.Connect(Server.SocketPath()))
            return;
        B.Send(std::string_view("T\0", 2));
        C.Send(
            std::string_view("T\0\0\0\x05"
                             "ab",
                             7));
        Silent = A.Answer(10000);
        HalfHeader = B.Answer(10000);
        HalfText = C.Answer(10000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(HalfText != -1 && Trickle != -1, 20000);
    Clients.join();
    Trickler.join();
    QCOMPARE(Trickle.load(), int(TRawClient::Closed));
    QCOMPARE(Silent.load(), int(TRawClient::Closed));
    QCOMPARE(HalfHeader.load(), int(TRawClient::Closed));
    QCOMPARE(HalfText.load(), int(TRawClient::Closed));
    QVERIFY(Recorder.Texts.isEmpty());
    QCOMPARE(Server.ConnectionCount(), 0);
}

// Each text is answered as it arrives, before the window is there to take it; the
// closing "?" waits until the handlers take the batch.
void TestOnlyOne::messagesWaitForTheHandlers()
{
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY(Server.Listen(Folder.path()));
    std::atomic<int> Text{-1}, Early{-1}, Late{-1};
    std::atomic<bool> Go{false};
    std::thread Client([&] {
        TRawClient C;
        if (!C.Connect(Server.SocketPath()) || !C.SendText("/early.torrent")) return;
        Text = C.Answer(10000);
        if (!C.SendText(HandOffEndMark)) return;
        Early = C.Answer(300);
        Go = true;
        Late = C.Answer(10000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(Go, 10000);
    QCOMPARE(Text.load(), int(TRawClient::Ack));
    QCOMPARE(Early.load(), int(TRawClient::Silence));
    TRecorder Recorder;
    Recorder.Attach(Server);
    QVERIFY(Recorder.Texts.isEmpty());  // delivered from the event loop, not from SetHandlers
    QTRY_VERIFY_WITH_TIMEOUT(Late != -1, 10000);
    Client.join();
    QCOMPARE(Late.load(), int(TRawClient::Ack));
    QCOMPARE(Recorder.Batches, QList<QStringList>{QStringList{"/early.torrent"}});
    QCOMPARE(Recorder.Forwards, 1);
}

// A later copy never waits for the window: while a handler is busy (a box is up,
// a long load), texts are still answered as they arrive.
void TestOnlyOne::textsAreAnsweredWhileTheWindowIsBusy()
{
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY(Server.Listen(Folder.path()));
    TRecorder Recorder;
    std::atomic<int> Answered{0}, FirstAnswer{-1};
    std::atomic<bool> Done{false}, BoxUp{false};
    int AnsweredDuringBox = -1;
    Recorder.During = [&] {
        // A modal box of the window: a nested event loop that lasts until the other
        // later copy has had its texts answered.
        BoxUp = true;
        QEventLoop Box;
        QTimer Poll;
        QObject::connect(&Poll, &QTimer::timeout, &Box, [&] {
            if (Answered >= 50 || Done) Box.quit();
        });
        Poll.start(5);
        QTimer::singleShot(20000, &Box, &QEventLoop::quit);
        Box.exec();
        AnsweredDuringBox = Answered;
    };
    Recorder.Attach(Server);
    std::thread First([&] {
        TRawClient C;
        if (C.Connect(Server.SocketPath())) FirstAnswer = C.SendBatch({"/first.torrent"});
    });
    std::thread Second([&] {
        for (QDeadlineTimer Deadline(20000); !BoxUp && !Deadline.hasExpired();) QThread::msleep(1);
        TRawClient C;
        if (C.Connect(Server.SocketPath()))
            for (int I = 0; I < 50; ++I) {
                if (!C.SendText(QStringLiteral("/second/%1.torrent").arg(I).toStdString()) ||
                    C.Answer(20000) != TRawClient::Ack)
                    break;
                ++Answered;
            }
        Done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(Done && FirstAnswer != -1, 30000);
    First.join();
    Second.join();
    QCOMPARE(FirstAnswer.load(), int(TRawClient::Ack));
    QVERIFY(BoxUp);
    QCOMPARE(AnsweredDuringBox, 50);
}

void TestOnlyOne::completeMessageOfAClosedConnectionIsDelivered()
{
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY(Server.Listen(Folder.path()));
    std::atomic<bool> Done{false};
    std::thread Client([&] {
        TRawClient C;
        if (C.Connect(Server.SocketPath())) C.SendText("/sent-then-gone.torrent");
        C.Close();
        Done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(Done, 10000);
    Client.join();
    QTest::qWait(50);
    TRecorder Recorder;
    Recorder.Attach(Server);
    QTRY_COMPARE(Recorder.Texts, QStringList{"/sent-then-gone.torrent"});
}

// The sender goes away, or the receiver closes, while its batch or request is being
// handled; the receiver then writes its answer into a dead connection. It must
// live on and serve the next sender.
void TestOnlyOne::clientGoneBeforeItsAnswer_data()
{
    QTest::addColumn<QByteArray>("Before");  // a text answered before Message is sent
    QTest::addColumn<QByteArray>("Message");
    QTest::addColumn<QString>("How");
    QTest::addColumn<int>("NestedLoopMs");  // the handler's own event loop
    QTest::addColumn<bool>("Answered");     // the sender still gets its answer
    const auto Enc = [](THandOffKind K, const std::string& T) {
        return QByteArray::fromStdString(EncodeHandOff(K, T));
    };
    const QByteArray Forward = Enc(THandOffKind::Forward, "");
    const QByteArray Question = Enc(THandOffKind::Text, "?");
    const QByteArray Empty = Enc(THandOffKind::Text, "");
    const QByteArray NoExtension = Enc(THandOffKind::Text, "/x/no-extension");
    const QByteArray None;
    QTest::newRow("come forward, sender closes") << None << Forward << "close" << 0 << false;
    QTest::newRow("question mark, sender closes") << None << Question << "close" << 0 << false;
    QTest::newRow("empty text, sender closes") << Empty << Question << "close" << 0 << false;
    QTest::newRow("path without extension, sender closes") << NoExtension << Question << "close" << 0 << false;
    QTest::newRow("sender shuts both ways") << NoExtension << Question << "shutdown" << 0 << false;
    QTest::newRow("sender closes, handler spins a loop") << NoExtension << Question << "close" << 30 << false;
    QTest::newRow("sender half-closes") << NoExtension << Question << "half-close" << 0 << true;
    QTest::newRow("come forward, sender half-closes") << None << Forward << "half-close" << 0 << true;
    QTest::newRow("receiver closes and listens again") << None << Question << "receiver closes" << 0 << false;
    QTest::newRow("receiver closes in the handler's loop")
        << NoExtension << Question << "receiver closes" << 30 << false;
}

void TestOnlyOne::clientGoneBeforeItsAnswer()
{
    QFETCH(QByteArray, Before);
    QFETCH(QByteArray, Message);
    QFETCH(QString, How);
    QFETCH(int, NestedLoopMs);
    QFETCH(bool, Answered);
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY(Server.Listen(Folder.path()));
    TRecorder Recorder;
    Recorder.NestedLoopMs = NestedLoopMs;
    TRawClient Gone;
    QVERIFY(Gone.Connect(Server.SocketPath()));
    bool Ran = false;
    Recorder.During = [&] {
        Ran = true;
        if (How == "close")
            Gone.Close();
        else if (How == "shutdown")
            ::shutdown(Gone.Fd(), SHUT_RDWR);
        else if (How == "half-close")
            ::shutdown(Gone.Fd(), SHUT_WR);
        else {
            Server.Close();
            Server.Listen(Folder.path());
        }
    };
    Recorder.Attach(Server);
    // The answer while this thread serves the receiver.
    const auto AnswerOf = [](TRawClient& Client) {
        for (QDeadlineTimer Deadline(10000);; QTest::qWait(5)) {
            const int Answer = Client.Answer(0);
            if (Answer != TRawClient::Silence || Deadline.hasExpired()) return Answer;
        }
    };
    if (!Before.isEmpty()) {
        QVERIFY(Gone.Send(std::string_view(Before.constData(), size_t(Before.size()))));
        QCOMPARE(AnswerOf(Gone), int(TRawClient::Ack));
    }
    QVERIFY(Gone.Send(std::string_view(Message.constData(), size_t(Message.size()))));
    QTRY_VERIFY_WITH_TIMEOUT(Ran, 10000);
    if (How != "close") QCOMPARE(AnswerOf(Gone), int(Answered ? TRawClient::Ack : TRawClient::Closed));

    TRawClient Next;
    QVERIFY(Next.Connect(Server.SocketPath()));
    QVERIFY(Next.SendText("/next.torrent"));
    QCOMPARE(AnswerOf(Next), int(TRawClient::Ack));
    QVERIFY(Next.SendText(HandOffEndMark));
    QCOMPARE(AnswerOf(Next), int(TRawClient::Ack));
    QCOMPARE(Recorder.Texts.last(), QStringLiteral("/next.torrent"));
    Gone.Close();
    Next.Close();
    QTRY_COMPARE(Server.ConnectionCount(), 0);
}

void TestOnlyOne::nestedEventLoopsDoNotNestDeliveries()
{
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY(Server.Listen(Folder.path()));
    TRecorder Recorder;
    Recorder.NestedLoopMs = 100;
    Recorder.Attach(Server);
    std::atomic<int> Finished{0};
    std::vector<std::thread> Clients;
    for (int I = 0; I < 3; ++I)
        Clients.emplace_back([&, I] {
            TRawClient C;
            if (!C.Connect(Server.SocketPath())) return;
            if (C.SendBatch({QStringLiteral("/c%1-0").arg(I), QStringLiteral("/c%1-1").arg(I)}) == TRawClient::Ack)
                ++Finished;
        });
    QTRY_VERIFY_WITH_TIMEOUT(Finished == 3, 30000);
    for (auto& T : Clients) T.join();
    QCOMPARE(Recorder.Texts.size(), 6);
    QCOMPARE(Recorder.MaxDepth, 1);
    for (int I = 0; I < 3; ++I)
        QVERIFY(Recorder.Texts.indexOf(QStringLiteral("/c%1-0").arg(I)) <
                Recorder.Texts.indexOf(QStringLiteral("/c%1-1").arg(I)));
}

void TestOnlyOne::crowdOfClientsKeepsEachOrder()
{
    QTemporaryDir Folder;
    THandOffServer Server;
    QVERIFY(Server.Listen(Folder.path()));
    TRecorder Recorder;
    Recorder.Attach(Server);
    // More clients than are served at once: the rest wait to be accepted.
    const int Count = THandOffServer::MaxConnections + 16;
    const int PerClient = 5;
    std::atomic<int> Finished{0}, Failed{0};
    std::vector<std::thread> Clients;
    for (int I = 0; I < Count; ++I)
        Clients.emplace_back([&, I] {
            TRawClient C;
            QStringList Texts;
            for (int J = 0; J < PerClient; ++J) Texts << QStringLiteral("/c%1/%2").arg(I).arg(J);
            const bool Ok = C.Connect(Server.SocketPath()) && C.SendBatch(Texts, 60000) == TRawClient::Ack;
            ++(Ok ? Finished : Failed);
        });
    QTRY_VERIFY_WITH_TIMEOUT(Finished + Failed == Count, 60000);
    for (auto& T : Clients) T.join();
    QCOMPARE(Failed.load(), 0);
    QCOMPARE(Recorder.Texts.size(), Count * PerClient);
    for (int I = 0; I < Count; ++I) {
        int Last = -1;
        for (int J = 0; J < PerClient; ++J) {
            const int At = int(Recorder.Texts.indexOf(QStringLiteral("/c%1/%2").arg(I).arg(J)));
            QVERIFY(At > Last);
            Last = At;
        }
    }
}

void TestOnlyOne::senderTalksToReceiver()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    THandOffServer Server;
    QVERIFY(Server.Listen(Xdg.path()));
    TRecorder Recorder;
    Recorder.NestedLoopMs = 20;
    Recorder.Attach(Server);

    struct TResult {
        THandOffConnect Connect = THandOffConnect::Failed;
        bool A = false, Empty = false, TooLong = true, StillConnected = false, Question = false, Forward = false;
    };
    TResult R;
    std::atomic<bool> Done{false};
    // A copy hands over from its main thread; here a thread of its own stands in
    // for the later copy, so that this one's event loop can serve it.
    std::thread Later([&] {
        R.Connect = ConnectToFirstInstance(VelmoraMutexName, std::chrono::seconds(5));
        R.A = PassToFirstInstance("/a.torrent");
        R.Empty = PassToFirstInstance("");
        R.TooLong = PassToFirstInstance(std::string(HandOffMaxText + 1, 'x'));
        R.StillConnected = ConnectedToFirstInstance();
        R.Question = PassToFirstInstance("?");
        R.Forward = BringFirstInstanceForward();
        DisconnectFromFirstInstance();
        Done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(Done, 20000);
    Later.join();
    ReleaseLock();
    QCOMPARE(R.Connect, THandOffConnect::Connected);
    QVERIFY(R.A && R.Empty && R.Question && R.Forward);
    QVERIFY(!R.TooLong);
    QVERIFY(R.StillConnected);
    // One batch without the closing "?", then the request to come forward.
    QCOMPARE(Recorder.Batches, QList<QStringList>{(QStringList{"/a.torrent", ""})});
    QCOMPARE(Recorder.Forwards, 2);
}

void TestOnlyOne::senderGivesUpWhenNoOneListens()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    // A socket left by a copy that ended: nobody accepts there.
    {
        const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        const QByteArray Path = QFile::encodeName(Xdg.path()) + "/" + HandOffSocketName;
        std::memcpy(Address.sun_path, Path.constData(), size_t(Path.size()) + 1);
        QVERIFY(::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) == 0);
        ::close(Fd);
    }
    QElapsedTimer Timer;
    Timer.start();
    const THandOffConnect Result = ConnectToFirstInstance(VelmoraMutexName, std::chrono::milliseconds(300));
    const qint64 Ms = Timer.elapsed();
    ReleaseLock();
    QCOMPARE(Result, THandOffConnect::Failed);
    QVERIFY2(Ms >= 300, qPrintable(QString::number(Ms)));
    QVERIFY2(QString::fromStdString(HandOffError()).contains("no one has answered"), HandOffError().c_str());
    QVERIFY(!PassToFirstInstance("/a.torrent"));
}

void TestOnlyOne::senderTakesOverWhenFirstCopyEnded()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QCOMPARE(MutexHandle, -1);
    QCOMPARE(ConnectToFirstInstance(VelmoraMutexName, std::chrono::seconds(5)), THandOffConnect::BecameFirst);
    QVERIFY(MutexHandle >= 0);
    ReleaseLock();
}

namespace {

// A socket that listens at Path with the shortest queue and accepts only when told
// (without blocking).
int DeafListener(const QString& Path)
{
    const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    const QByteArray P = QFile::encodeName(Path);
    std::memcpy(Address.sun_path, P.constData(), size_t(P.size()) + 1);
    if (Fd < 0 || ::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0 || ::listen(Fd, 0) != 0)
        return -1;
    return Fd;
}

// Connections to Path until its queue is full; their descriptors.
std::vector<int> FillQueue(const QString& Path)
{
    std::vector<int> Waiting;
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    const QByteArray P = QFile::encodeName(Path);
    std::memcpy(Address.sun_path, P.constData(), size_t(P.size()) + 1);
    for (int I = 0; I < 1000; ++I) {
        const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (::connect(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0) {
            ::close(Fd);
            break;
        }
        Waiting.push_back(Fd);
    }
    return Waiting;
}

}  // namespace

// A running copy whose queue of waiting connections is full is alive (it holds the
// lock): the sender waits, backing off, well past the start-up wait, and is served
// once there is room; with no room before its patience ends it says so.
void TestOnlyOne::senderWaitsOutAFullQueue()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    const QString Path = Xdg.path() + "/" + HandOffSocketName;
    const int Listener = DeafListener(Path);
    QVERIFY(Listener >= 0);
    std::vector<int> Waiting = FillQueue(Path);
    QVERIFY(!Waiting.empty());

    std::atomic<int> Result{-1};
    std::thread Later([&] {
        Result =
            int(ConnectToFirstInstance(VelmoraMutexName, std::chrono::milliseconds(200), std::chrono::seconds(30)));
        DisconnectFromFirstInstance();
    });
    QTest::qWait(1000);
    QCOMPARE(Result.load(), -1);
    // Room again: the running copy takes the connections that waited.
    for (const int Fd : Waiting) {
        const int Accepted = ::accept(Listener, nullptr, nullptr);
        if (Accepted >= 0) ::close(Accepted);
        ::close(Fd);
    }
    QTRY_VERIFY_WITH_TIMEOUT(Result != -1, 20000);
    Later.join();
    QCOMPARE(Result.load(), int(THandOffConnect::Connected));

    // No room at all: the sender gives up when its patience ends, and says why.
    for (int Accepted; (Accepted = ::accept(Listener, nullptr, nullptr)) >= 0;) ::close(Accepted);
    QTest::qWait(50);
    Waiting = FillQueue(Path);
    QCOMPARE(ConnectToFirstInstance(VelmoraMutexName, std::chrono::milliseconds(100), std::chrono::milliseconds(600)),
             THandOffConnect::Failed);
    QCOMPARE(HandOffFailure(), THandOffFailure::TimedOut);
    QVERIFY2(QString::fromStdString(HandOffError()).contains("stayed full"), HandOffError().c_str());
    for (const int Fd : Waiting) ::close(Fd);
    ::close(Listener);
    ReleaseLock();
}

// A running copy that lets the sender in but never answers (its event loop is
// stuck): the sender's wait is bounded by its patience.
void TestOnlyOne::senderGivesUpOnASilentCopy()
{
    TEnvGuard Env({"XDG_RUNTIME_DIR"});
    QTemporaryDir Xdg;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Xdg.path()));
    QVERIFY(IsFirstInstance(VelmoraMutexName));
    const int Listener = DeafListener(Xdg.path() + "/" + HandOffSocketName);
    QVERIFY(Listener >= 0);
    std::atomic<bool> Done{false};
    bool Passed = true;
    THandOffFailure Why = THandOffFailure::None;
    std::string Error;
    std::thread Later([&] {
        if (ConnectToFirstInstance(VelmoraMutexName, std::chrono::milliseconds(100), std::chrono::milliseconds(500)) ==
            THandOffConnect::Connected) {
            Passed = PassToFirstInstance("/a.torrent");
            Why = HandOffFailure();
            Error = HandOffError();
        }
        Done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(Done, 10000);
    // Ends a sender that waits for good all the same, so that the test ends.
    ::close(Listener);
    Later.join();
    ReleaseLock();
    QVERIFY(!Passed);
    QCOMPARE(Why, THandOffFailure::TimedOut);
    QVERIFY2(QString::fromStdString(Error).contains("within 1 s"), Error.c_str());
}

// ---------------------------------------------------------------------------------
// A later copy of the built program against a receiver in this process, which
// holds the lock as a first copy would.

namespace {

struct TFakeFirstCopy {
    TEnvGuard Env{"XDG_RUNTIME_DIR"};
    TSandbox Box;
    TRecorder Recorder;
    THandOffServer Server;
    bool Start(bool Listening = true)
    {
        if (!Box.Ok()) return false;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Box.Runtime));
        if (!IsFirstInstance(VelmoraMutexName)) return false;
        Recorder.Attach(Server);
        return !Listening || Server.Listen(Box.Runtime);
    }
    ~TFakeFirstCopy() { ReleaseLock(); }
};

}  // namespace

void TestOnlyOne::laterCopySendsAbsolutePathsThenQuestionMark()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TFakeFirstCopy First;
    QVERIFY(First.Start());
    const QString Long = QString(150, QChar(0x0416)) + "/" + QString(150, QChar(0x044F)) + ".torrent";
    const QString Here = First.Box.Data + "/here";
    QVERIFY(QDir().mkpath(Here));
    const auto Run = First.Box.RunLater({"a.torrent", "sub/../b.torrent", "/abs/c.torrent", "", Long}, Here);
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(First.Recorder.Texts,
             (QStringList{Here + "/a.torrent", Here + "/sub/../b.torrent", "/abs/c.torrent", "", Here + "/" + Long}));
    QCOMPARE(First.Recorder.Batches.size(), 1);
}

void TestOnlyOne::laterCopyWithoutArgumentsOnlyAsksToComeForward()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TFakeFirstCopy First;
    QVERIFY(First.Start());
    const auto Run = First.Box.RunLater({});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QVERIFY(First.Recorder.Texts.isEmpty());
    QCOMPARE(First.Recorder.Forwards, 1);
}

void TestOnlyOne::laterCopyWaitsForFirstCopyToListen()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TFakeFirstCopy First;
    QVERIFY(First.Start(false));
    std::unique_ptr<QProcess> Later(First.Box.StartLater({"/x/1.torrent", "/x/2.torrent"}));
    QTest::qWait(500);
    QCOMPARE(Later->state(), QProcess::Running);
    QVERIFY(First.Server.Listen(First.Box.Runtime));
    const auto Run = TSandbox::Finish(Later.get());
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(First.Recorder.Texts, (QStringList{"/x/1.torrent", "/x/2.torrent"}));
}

void TestOnlyOne::laterCopyGivesUpWhenNoOneListens()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TFakeFirstCopy First;
    QVERIFY(First.Start(false));
    const auto Run = First.Box.RunLater({"/x/1.torrent"});
    QVERIFY(Run.Normal);
    QVERIFY(Run.ExitCode != 0);
    QVERIFY2(Run.Errors.contains("no one has answered"), qPrintable(Run.Errors));
    QVERIFY2(Run.Ms >= 4500, qPrintable(QString::number(Run.Ms)));
}

// A running copy whose window is closing takes no batch; the later copy is told so
// and tries again, and its files arrive whole once the batch is taken.
void TestOnlyOne::laterCopyTriesAgainWhenRefused()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TFakeFirstCopy First;
    First.Recorder.Refused = "/x/refused.torrent";
    First.Recorder.RefuseTimes = 2;
    QVERIFY(First.Start());
    const QStringList Batch{"/x/1.torrent", "/x/refused.torrent", "/x/3.torrent"};
    const auto Run = First.Box.RunLater(Batch);
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(First.Recorder.Batches, (QList<QStringList>{Batch, Batch, Batch}));
}

namespace {

// Reads exactly Size bytes, waiting at most TimeoutMs for each piece.
bool ReadExactly(int Fd, char* Into, size_t Size, int TimeoutMs)
{
    while (Size > 0) {
        pollfd P{Fd, POLLIN, 0};
        if (::poll(&P, 1, TimeoutMs) <= 0) return false;
        const ssize_t N = ::recv(Fd, Into, Size, 0);
        if (N <= 0) return false;
        Into += N;
        Size -= size_t(N);
    }
    return true;
}

}  // namespace

// A running copy of an earlier version knows only texts and the request to come
// forward, answers each after handling it, and drops a connection that sends
// anything else: the later copy hands its files over one at a time then.
void TestOnlyOne::laterCopyTalksToAnEarlierVersion()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TFakeFirstCopy First;
    QVERIFY(First.Start(false));
    const int Listener = DeafListener(First.Box.SocketPath());
    QVERIFY(Listener >= 0);
    QStringList Texts;
    std::atomic<int> Connections{0};
    std::atomic<bool> Stop{false};
    std::thread Earlier([&] {
        while (!Stop) {
            pollfd L{Listener, POLLIN, 0};
            if (::poll(&L, 1, 50) <= 0) continue;
            const int Fd = ::accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (Fd < 0) continue;
            ++Connections;
            for (;;) {
                char Header[HandOffHeaderSize];
                if (!ReadExactly(Fd, Header, sizeof Header, 5000)) break;
                const uint32_t Length = (uint32_t(uint8_t(Header[3])) << 8) | uint8_t(Header[4]);
                if ((Header[0] != 'T' && Header[0] != 'F') || Header[1] || Header[2]) break;
                std::string Text(Length, '\0');
                if (!ReadExactly(Fd, Text.data(), Length, 5000)) break;
                Texts << QString::fromStdString(Text);
                if (::send(Fd, &HandOffAck, 1, MSG_NOSIGNAL) != 1) break;
            }
            ::close(Fd);
        }
    });
    const auto Run = First.Box.RunLater({"/x/1.torrent", "/x/2.torrent"});
    Stop = true;
    Earlier.join();
    ::close(Listener);
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(Texts, (QStringList{"/x/1.torrent", "/x/2.torrent", "?"}));
    QCOMPARE(Connections.load(), 2);
}

// ---------------------------------------------------------------------------------
// First and later copies of the built program.

void TestOnlyOne::twoPathsBecomeTwoEntriesInOrder()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    const QString A = WriteTorrent(Box.Data + "/a.torrent", "a");
    const QString B = WriteTorrent(Box.Data + "/b.torrent", "b");
    Box.StartFirst({});
    QVERIFY(Box.WaitForListening());
    const auto Run = Box.RunLater({Box.Data + "/a.torrent", Box.Data + "/b.torrent"});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(Box.SettledLinks(2), (QStringList{A, B}));
}

void TestOnlyOne::noArgumentsLoadsNothing()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    const QString Own = WriteTorrent(Box.Data + "/own.torrent", "own");
    const QString Next = WriteTorrent(Box.Data + "/next.torrent", "next");
    Box.StartFirst({Box.Data + "/own.torrent"});
    QCOMPARE(Box.WaitForLinks(1), QStringList{Own});
    const auto Run = Box.RunLater({});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QVERIFY(Run.Errors.isEmpty());
    const auto Then = Box.RunLater({"next.torrent"});
    QVERIFY2(Then.Normal && Then.ExitCode == 0, qPrintable(Then.Errors));
    QCOMPARE(Box.SettledLinks(2), (QStringList{Own, Next}));
}

void TestOnlyOne::longCyrillicPathArrivesWhole()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    const QString Folder = Box.Data + "/" + QString::fromUtf8("Торренты за прошлый год — фильмы, музыка и книги ") +
                           QString(60, QChar(0x0436)) + "/" + QString(90, QChar(0x044E)) + "/" +
                           QString::fromUtf8("ещё одна папка с длинным русским именем ") + QString(40, QChar(0x0449));
    const QString Path = Folder + "/" + QString::fromUtf8("Фильм с очень длинным названием.torrent");
    QVERIFY(Path.size() >= 300);
    QVERIFY(Path.toUtf8().size() > 500);
    const QString Link = WriteTorrent(Path, "long");
    QVERIFY(!Link.isEmpty());
    Box.StartFirst({});
    const auto Run = Box.RunLater({Path});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(Box.SettledLinks(1), QStringList{Link});
}

// A name that is no UTF-8 (a file from an old archive, say) loads from the first
// copy's command line and from a later copy's, as velmora-cli loads it.
void TestOnlyOne::pathsThatAreNoUtf8Load()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    Box.OctalArguments = true;
    const QByteArray Folder = QFile::encodeName(Box.Data);
    const QByteArray Own = Folder + "/own bad\xff\xfeutf8.torrent";
    const QByteArray Later = "later \xc3\x28 \xe2\x82 \xd0\x9a\xd0\xbe\xd1.torrent";
    const QString OwnLink = WriteTorrentAt(Own, "own");
    const QString LaterLink = WriteTorrentAt(Folder + "/" + Later, "later");
    QVERIFY(!OwnLink.isEmpty() && !LaterLink.isEmpty());
    Box.StartFirst({OctalArgument(Own)});
    QCOMPARE(Box.WaitForLinks(1), QStringList{OwnLink});
    const auto Run = Box.RunLater({OctalArgument(Later)});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(Box.SettledLinks(2), (QStringList{OwnLink, LaterLink}));
}

void TestOnlyOne::relativePathLoadsLaterCopysFile()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    const QString FirstFolder = Box.Data + "/first";
    const QString LaterFolder = Box.Data + "/later";
    // The same names in the first copy's folder hold other torrents.
    WriteTorrent(FirstFolder + "/same.torrent", "decoy");
    WriteTorrent(FirstFolder + "/sub/deeper.torrent", "decoy 2");
    const QString Same = WriteTorrent(LaterFolder + "/same.torrent", "wanted");
    const QString Deeper = WriteTorrent(LaterFolder + "/sub/deeper.torrent", "wanted 2");
    Box.StartFirst({}, FirstFolder);
    const auto Run = Box.RunLater({"same.torrent", "sub/../sub/deeper.torrent"}, LaterFolder);
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(Box.SettledLinks(2), (QStringList{Same, Deeper}));
}

// A box in the running window, about a file of a later copy or of its own command
// line (shown while the window is made), does not hold up the next later copies:
// their files are received at once, and loaded in their turn.
void TestOnlyOne::laterCopyDoesNotWaitForABox_data()
{
    QTest::addColumn<bool>("OwnFile");  // the box is about the first copy's own file
    QTest::newRow("box about a later copy's file") << false;
    QTest::newRow("box while the window is made") << true;
}

void TestOnlyOne::laterCopyDoesNotWaitForABox()
{
    QFETCH(bool, OwnFile);
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    QFile Bad(Box.Data + "/bad.torrent");
    QVERIFY(Bad.open(QIODevice::WriteOnly) && Bad.write("no torrent at all") > 0);
    Bad.close();
    WriteTorrent(Box.Data + "/a.torrent", "a");
    WriteTorrent(Box.Data + "/b.torrent", "b");
    QProcess* First = Box.StartFirst(OwnFile ? QStringList{"bad.torrent"} : QStringList());
    QVERIFY(Box.WaitForListening());
    if (!OwnFile) {
        const auto Run = Box.RunLater({"bad.torrent"});
        QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
        QTest::qWait(300);  // the box is up now, offscreen, with no one to close it
    }
    for (const char* Name : {"a.torrent", "b.torrent"}) {
        const auto Run = Box.RunLater({Name});
        QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    }
    QCOMPARE(First->state(), QProcess::Running);
}

void TestOnlyOne::twentyLaterCopiesAtOnce()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    const int Copies = 20;
    QStringList First, Second;
    for (int I = 0; I < Copies; ++I) {
        First << WriteTorrent(Box.Data + QStringLiteral("/%1-1.torrent").arg(I), QStringLiteral("copy %1, 1").arg(I));
        Second << WriteTorrent(Box.Data + QStringLiteral("/%1-2.torrent").arg(I), QStringLiteral("copy %1, 2").arg(I));
    }
    Box.StartFirst({});
    QVERIFY(Box.WaitForListening());
    std::vector<std::unique_ptr<QProcess>> Later;
    for (int I = 0; I < Copies; ++I)
        Later.emplace_back(
            Box.StartLater({QStringLiteral("%1-1.torrent").arg(I), QStringLiteral("%1-2.torrent").arg(I)}));
    for (auto& P : Later) {
        const auto Run = TSandbox::Finish(P.get());
        QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    }
    const QStringList Links = Box.SettledLinks(2 * Copies);
    QCOMPARE(Links.size(), 2 * Copies);
    for (int I = 0; I < Copies; ++I) {
        QCOMPARE(Links.count(First[I]), 1);
        QCOMPARE(Links.count(Second[I]), 1);
        QVERIFY2(Links.indexOf(First[I]) < Links.indexOf(Second[I]), qPrintable(QString::number(I)));
    }
}

void TestOnlyOne::killedFirstCopyDoesNotBlockNextStart()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    const QString A = WriteTorrent(Box.Data + "/a.torrent", "a");
    const QString B = WriteTorrent(Box.Data + "/b.torrent", "b");
    const QString C = WriteTorrent(Box.Data + "/c.torrent", "c");
    QProcess* Killed = Box.StartFirst({"a.torrent"});
    QCOMPARE(Box.WaitForLinks(1), QStringList{A});
    ::kill(pid_t(Killed->processId()), SIGKILL);
    QVERIFY(Killed->waitForFinished(10000));
    // What it left behind: the lock file and its socket.
    QVERIFY(QFileInfo::exists(LockPath(Box.Runtime)));
    QVERIFY(QFileInfo::exists(Box.SocketPath()));

    QProcess* Next = Box.StartFirst({"b.torrent"});
    QCOMPARE(Box.WaitForLinks(2), (QStringList{A, B}));
    QCOMPARE(Next->state(), QProcess::Running);
    const auto Run = Box.RunLater({"c.torrent"});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(Box.SettledLinks(3), (QStringList{A, B, C}));
}

void TestOnlyOne::laterCopyDuringStartUpLosesNothing()
{
    QVERIFY2(ProgramBuilt(), VELMORA_BIN " is not built");
    TSandbox Box;
    QVERIFY(Box.Ok());
    QStringList Own, OwnLinks;
    // As many as load before the window shows; more would ask before auto-running.
    for (int I = 0; I < 20; ++I) {
        Own << Box.Data + QStringLiteral("/own-%1.torrent").arg(I);
        OwnLinks << WriteTorrent(Own.last(), QStringLiteral("own %1").arg(I));
    }
    const QString X = WriteTorrent(Box.Data + "/x.torrent", "x");
    const QString Y = WriteTorrent(Box.Data + "/y.torrent", "y");
    // Started as soon as the first copy holds the lock, long before its window is up.
    QProcess* First = Box.StartFirst(Own);
    QVERIFY(LockIsHeld(LockPath(Box.Runtime)));
    const auto Run = Box.RunLater({"x.torrent", "y.torrent"});
    QVERIFY2(Run.Normal && Run.ExitCode == 0, qPrintable(Run.Errors));
    QCOMPARE(First->state(), QProcess::Running);
    // The first copy's own files come first: they load while its window is made.
    QCOMPARE(Box.SettledLinks(22), (OwnLinks + QStringList{X, Y}));
}

QTEST_GUILESS_MAIN(TestOnlyOne)
#include "tst_OnlyOne.moc"
