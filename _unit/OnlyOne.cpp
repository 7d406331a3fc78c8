#include "OnlyOne.h"

#include "HandOffClient.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>

// The Windows lock and client are in OnlyOne_win32.cpp; the wire format is shared.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

int MutexHandle = -1;

namespace {

// Closes the lock as the program ends; the kernel would do it as well, but the
// descriptor's life is then plain to see.
struct TMutexHandleCloser {
    ~TMutexHandleCloser()
    {
        if (MutexHandle >= 0) {
            ::close(MutexHandle);
            MutexHandle = -1;
        }
    }
} MutexHandleCloser;

std::string LockError;
int ClientSocket = -1;

std::string ErrnoText(int Error)
{
    return std::strerror(Error);
}

// A folder that only this user can enter: a real folder (no symbolic link), owned
// by the effective user, with no rights for group or others.
bool IsPrivateFolder(const std::string& Path, std::string* Why)
{
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0) {
        *Why = Path + ": " + ErrnoText(errno);
        return false;
    }
    if (S_ISLNK(St.st_mode)) {
        *Why = Path + " is a symbolic link";
        return false;
    }
    if (!S_ISDIR(St.st_mode)) {
        *Why = Path + " is not a folder";
        return false;
    }
    if (St.st_uid != ::geteuid()) {
        *Why = Path + " belongs to another user";
        return false;
    }
    if ((St.st_mode & 077) != 0) {
        *Why = Path + " is open to other users";
        return false;
    }
    if ((St.st_mode & 0700) != 0700) {
        *Why = Path + " is not usable by its owner";
        return false;
    }
    return true;
}

// A folder in which no one else can create, remove or rename entries: owned by
// this user or root, and writable by no one else unless its sticky bit keeps
// others to their own entries.
bool IsSafeParent(const std::string& Path, std::string* Why)
{
    struct stat St {};
    if (::stat(Path.c_str(), &St) != 0) {
        *Why = Path + ": " + ErrnoText(errno);
        return false;
    }
    if (!S_ISDIR(St.st_mode)) {
        *Why = Path + " is not a folder";
        return false;
    }
    if (St.st_uid != ::geteuid() && St.st_uid != 0) {
        *Why = Path + " belongs to another user";
        return false;
    }
    if ((St.st_mode & 022) != 0 && (St.st_mode & S_ISVTX) == 0) {
        *Why = Path + " is open to other users";
        return false;
    }
    return true;
}

// Folder, made with mode 0700 if it is missing, when it is private (see
// IsPrivateFolder) and the hand-off socket's path in it fits a socket address.
bool UsableFolder(const std::string& Folder, std::string* Why)
{
    if (Folder.size() + 1 + std::strlen(HandOffSocketName) >= sizeof(sockaddr_un::sun_path)) {
        *Why = "the socket path in " + Folder + " would be too long";
        return false;
    }
    // mkdir never follows a symbolic link, and an existing entry of that name is
    // examined before anything is put into it.
    if (::mkdir(Folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *Why = "cannot create " + Folder + ": " + ErrnoText(errno);
        return false;
    }
    return IsPrivateFolder(Folder, Why);
}

std::string WithoutTrailingSlashes(std::string Path)
{
    while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
    return Path;
}

// An absolute path from the environment, else empty.
std::string AbsoluteVariable(const char* Name)
{
    const char* Value = std::getenv(Name);
    return Value && Value[0] == '/' ? WithoutTrailingSlashes(Value) : std::string();
}

std::string HomeFolder()
{
    if (std::string Home = AbsoluteVariable("HOME"); !Home.empty()) return Home;
    long Size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string Buffer(Size > 0 ? static_cast<size_t>(Size) : 16384, '\0');
    passwd Entry{};
    passwd* Found = nullptr;
    if (::getpwuid_r(::geteuid(), &Entry, Buffer.data(), Buffer.size(), &Found) != 0 || !Found || !Found->pw_dir ||
        Found->pw_dir[0] != '/')
        return {};
    return WithoutTrailingSlashes(Found->pw_dir);
}

// The user's cache folder can be shared by several machines (a home on a file
// server), whose copies must not take one another's lock: the folder is named
// after the machine.
std::string CacheFolder(std::string* Why)
{
    std::string Cache = AbsoluteVariable("XDG_CACHE_HOME");
    if (Cache.empty()) {
        const std::string Home = HomeFolder();
        if (Home.empty()) {
            *Why = "no home folder";
            return {};
        }
        Cache = (Home == "/" ? std::string() : Home) + "/.cache";
        // A home without a cache folder gets one, as other programs would make it.
        if (::mkdir(Cache.c_str(), 0700) != 0 && errno != EEXIST) {
            *Why = "cannot create " + Cache + ": " + ErrnoText(errno);
            return {};
        }
    }
    if (!IsSafeParent(Cache, Why)) return {};
    char Host[256] = {};
    if (::gethostname(Host, sizeof Host - 1) != 0 || Host[0] == '\0') std::strcpy(Host, "localhost");
    for (char* C = Host; *C; ++C)
        if (*C == '/') *C = '_';
    const std::string Folder = (Cache == "/" ? std::string() : Cache) + "/velmora-" + Host;
    return UsableFolder(Folder, Why) ? Folder : std::string();
}

}  // namespace
#endif  // !_WIN32

std::string MutexSafeName(std::string_view Name)
{
    std::string Result(Name);
    for (char& C : Result)
        if (C == '\\') C = '_';
    return Result;
}

#ifndef _WIN32
std::string RuntimeFolder(std::string* Error)
{
    std::string Why;
    std::string Reasons;
    const auto Refused = [&] {
        if (!Reasons.empty()) Reasons += "; ";
        Reasons += Why;
    };
    if (const std::string Xdg = AbsoluteVariable("XDG_RUNTIME_DIR"); !Xdg.empty()) {
        if (IsPrivateFolder(Xdg, &Why) && UsableFolder(Xdg, &Why)) return Xdg;
        Refused();
    }
    if (std::string Cache = CacheFolder(&Why); !Cache.empty()) return Cache;
    Refused();
    // The temporary folder is open to everyone: another user may have taken the
    // name first, which only makes this place unusable.
    std::string Temp = AbsoluteVariable("TMPDIR");
    if (Temp.empty()) Temp = "/tmp";
    const std::string Folder = (Temp == "/" ? std::string() : Temp) + "/velmora-" + std::to_string(::geteuid());
    if (UsableFolder(Folder, &Why)) return Folder;
    Refused();
    if (Error) *Error = "no private folder for the lock: " + Reasons;
    return {};
}

bool IsFirstInstance(std::string_view Name)
{
    LockError.clear();
    const std::string FileName = MutexSafeName(Name);
    if (FileName.empty() || FileName == "." || FileName == ".." || FileName.find('/') != std::string::npos ||
        FileName.find('\0') != std::string::npos) {
        LockError = "unusable lock name";
        return false;
    }
    std::string Why;
    const std::string Folder = RuntimeFolder(&Why);
    if (Folder.empty()) {
        LockError = Why;
        return false;
    }
    const std::string Path = Folder + "/" + FileName + ".lock";
    // Not inherited by the programs that the window starts (the magnet handler may
    // run for hours): the lock must end with this process.
    const int Fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (Fd < 0) {
        LockError = "cannot open " + Path + ": " + ErrnoText(errno);
        return false;
    }
    int Result;
    do Result = ::flock(Fd, LOCK_EX | LOCK_NB);
    while (Result != 0 && errno == EINTR);
    if (Result != 0) {
        if (errno != EWOULDBLOCK) LockError = "cannot lock " + Path + ": " + ErrnoText(errno);
        ::close(Fd);
        return false;
    }
    if (MutexHandle >= 0) ::close(MutexHandle);
    MutexHandle = Fd;
    return true;
}

const std::string& InstanceLockError()
{
    return LockError;
}
#endif  // !_WIN32

// ---------------------------------------------------------------------------------
// Messages.

std::string EncodeHandOff(THandOffKind Kind, std::string_view Text)
{
    const auto Length = static_cast<std::uint32_t>(Text.size());
    std::string Bytes;
    Bytes.reserve(HandOffHeaderSize + Text.size());
    Bytes.push_back(static_cast<char>(Kind));
    Bytes.push_back(static_cast<char>((Length >> 24) & 0xFF));
    Bytes.push_back(static_cast<char>((Length >> 16) & 0xFF));
    Bytes.push_back(static_cast<char>((Length >> 8) & 0xFF));
    Bytes.push_back(static_cast<char>(Length & 0xFF));
    Bytes.append(Text);
    return Bytes;
}

std::size_t THandOffDecoder::Wanted() const
{
    if (FState != TState::NeedMore) return 0;
    if (FHave < HandOffHeaderSize) return HandOffHeaderSize - FHave;
    return HandOffHeaderSize + FLength - FHave;
}

std::size_t THandOffDecoder::Feed(std::string_view Bytes)
{
    std::size_t Taken = 0;
    while (FState == TState::NeedMore && Taken < Bytes.size()) {
        if (FHave < HandOffHeaderSize) {
            FHeader[FHave++] = static_cast<unsigned char>(Bytes[Taken++]);
            if (FHave < HandOffHeaderSize) continue;
            const unsigned char Kind = FHeader[0];
            FLength = (std::uint32_t(FHeader[1]) << 24) | (std::uint32_t(FHeader[2]) << 16) |
                      (std::uint32_t(FHeader[3]) << 8) | std::uint32_t(FHeader[4]);
            if (Kind == static_cast<unsigned char>(THandOffKind::Text) && FLength <= HandOffMaxText) {
                FMessage.Kind = THandOffKind::Text;
            } else if (Kind == static_cast<unsigned char>(THandOffKind::Forward) && FLength == 0) {
                FMessage.Kind = THandOffKind::Forward;
            } else if (Kind == static_cast<unsigned char>(THandOffKind::Stream) && FLength == 0) {
                FMessage.Kind = THandOffKind::Stream;
            } else {
                FState = TState::Bad;
                break;
            }
            FMessage.Text.clear();
            FMessage.Text.reserve(FLength);
        } else {
            const std::size_t Need = HandOffHeaderSize + FLength - FHave;
            const std::size_t Part = std::min(Need, Bytes.size() - Taken);
            FMessage.Text.append(Bytes.substr(Taken, Part));
            Taken += Part;
            FHave += Part;
        }
        if (FHave == HandOffHeaderSize + FLength) FState = TState::Ready;
    }
    return Taken;
}

THandOffMessage THandOffDecoder::Take()
{
    THandOffMessage Message = std::move(FMessage);
    FMessage = {};
    FState = TState::NeedMore;
    FHave = 0;
    FLength = 0;
    return Message;
}

// ---------------------------------------------------------------------------------
// The later copy's side, as every system has it.

namespace HandOffClient {

std::string SendError;
THandOffFailure Failure = THandOffFailure::None;
bool StreamRefused = false;
std::chrono::milliseconds PatienceGiven = HandOffPatience;
TClock::time_point PatienceEnd = TClock::time_point::max();

void Fail(THandOffFailure Why, std::string Text)
{
    Failure = Why;
    SendError = std::move(Text);
}

std::string Seconds(std::chrono::milliseconds Span)
{
    return std::to_string((Span.count() + 999) / 1000) + " s";
}

std::chrono::milliseconds TimeLeft()
{
    const auto Now = TClock::now();
    if (PatienceEnd <= Now) return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(PatienceEnd - Now);
}

bool Acknowledged(char Answer, const std::string& What)
{
    if (Answer == HandOffAck) return true;
    if (Answer == HandOffRefused)
        Fail(THandOffFailure::Refused, "the running copy of Velmora is closing and did not take " + What);
    else
        Fail(THandOffFailure::Unexpected, "unexpected answer from the running copy of Velmora for " + What);
    return false;
}

void FailTimedOut(const std::string& What)
{
    Fail(THandOffFailure::TimedOut,
         "the running copy of Velmora did not take " + What + " within " + Seconds(PatienceGiven));
}

std::chrono::milliseconds BeginConnect(std::chrono::milliseconds StartupWait, std::chrono::milliseconds Patience)
{
    SendError.clear();
    Failure = THandOffFailure::None;
    PatienceGiven = Patience;
    PatienceEnd = TClock::now() + Patience;
    return std::min(StartupWait, Patience);
}

THandOffConnect FailConnect(const std::string& Where, bool Crowded, const std::string& Busy,
                            std::chrono::milliseconds StartupFor)
{
    const std::string& Lock = InstanceLockError();
    if (!Lock.empty())
        Fail(THandOffFailure::NoPlace, Lock);
    else if (Crowded)
        Fail(THandOffFailure::TimedOut,
             "another copy of Velmora holds the lock, but " + Busy + " for " + Seconds(PatienceGiven));
    else
        Fail(THandOffFailure::NotHeard, "another copy of Velmora holds the lock, but no one has answered at " + Where +
                                            " for " + std::to_string(StartupFor.count()) + " ms");
    return THandOffConnect::Failed;
}

TStreamBatch::TStreamBatch(const std::vector<std::string>& Texts, std::vector<std::size_t>* Skipped)
    : FTexts(Texts), FSkipped(Skipped)
{
}

std::string_view TStreamBatch::ToSend()
{
    // Messages go out in pieces of up to 64 KiB, not one system call each.
    if (FPendingAt == FPending.size()) {
        FPending.clear();
        FPendingAt = 0;
        while (!FEndSent && FPending.size() < 64 * 1024) {
            if (FNext < FTexts.size()) {
                if (FTexts[FNext].size() > HandOffMaxText) {
                    if (FSkipped) FSkipped->push_back(FNext);
                    ++FNext;
                    continue;
                }
                FPending += EncodeHandOff(THandOffKind::Text, FTexts[FNext++]);
            } else {
                FPending += EncodeHandOff(THandOffKind::Text, HandOffEndMark);
                FEndSent = true;
            }
            ++FSent;
        }
    }
    return std::string_view(FPending).substr(FPendingAt);
}

bool TStreamBatch::Answers(const char* Data, std::size_t Size)
{
    for (std::size_t I = 0; I < Size; ++I) {
        if (Data[I] == HandOffAck && FAnswered < FSent) {
            ++FAnswered;
            continue;
        }
        if (Data[I] == HandOffRefused)
            Fail(THandOffFailure::Refused,
                 std::string("the running copy of Velmora is closing and did not take ") + What);
        else
            Fail(THandOffFailure::Unexpected, "unexpected answer from the running copy of Velmora");
        return false;
    }
    return true;
}

}  // namespace HandOffClient

using namespace HandOffClient;

bool PassToFirstInstance(std::string_view Text)
{
    if (Text.size() > HandOffMaxText) {
        Fail(THandOffFailure::Unexpected,
             "an argument of " + std::to_string(Text.size()) + " bytes is too long to hand over");
        return false;
    }
    std::string What;
    What.reserve(Text.size() + 2);
    What.push_back('"');
    What.append(Text);
    What.push_back('"');
    return Exchange(THandOffKind::Text, Text, What);
}

bool PassAllToFirstInstance(const std::vector<std::string>& Texts, std::vector<std::size_t>* Skipped)
{
    StreamRefused = false;
    if (!Exchange(THandOffKind::Stream, {}, "the stream of files")) {
        // A running copy of an earlier version closes the connection at once.
        StreamRefused = Failure == THandOffFailure::Broken;
        return false;
    }
    TStreamBatch Batch(Texts, Skipped);
    return SendStream(Batch);
}

bool HandOffStreamRefused()
{
    return StreamRefused;
}

const std::string& HandOffError()
{
    return SendError;
}

THandOffFailure HandOffFailure()
{
    return Failure;
}

std::chrono::milliseconds HandOffTimeLeft()
{
    return TimeLeft();
}

// ---------------------------------------------------------------------------------
// The later copy's side on POSIX systems: a local socket, not blocking, waited on
// with poll.

#ifndef _WIN32
namespace {

// Waits until the client socket is ready for Events or the patience has passed;
// false (with the failure set) on the latter.
bool WaitFor(short Events, const std::string& What)
{
    for (;;) {
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(PatienceEnd - TClock::now());
        if (Left.count() <= 0) break;
        pollfd P{ClientSocket, Events, 0};
        const int Result = ::poll(&P, 1, static_cast<int>(std::min<long long>(Left.count() + 1, 60000)));
        if (Result > 0) return true;
        if (Result < 0 && errno != EINTR) {
            Fail(THandOffFailure::Broken, "cannot wait for the running copy of Velmora: " + ErrnoText(errno));
            return false;
        }
    }
    FailTimedOut(What);
    return false;
}

bool SendAll(std::string_view Bytes, const std::string& What)
{
    while (!Bytes.empty()) {
        const ssize_t N = ::send(ClientSocket, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
        if (N < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitFor(POLLOUT, What)) return false;
                continue;
            }
            Fail(THandOffFailure::Broken, "the running copy of Velmora stopped listening: " + ErrnoText(errno));
            return false;
        }
        Bytes.remove_prefix(static_cast<std::size_t>(N));
    }
    return true;
}

}  // namespace

bool HandOffClient::Exchange(THandOffKind Kind, std::string_view Text, const std::string& What)
{
    Failure = THandOffFailure::None;
    if (ClientSocket < 0) {
        Fail(THandOffFailure::Broken, "not connected to the running copy of Velmora");
        return false;
    }
    if (!SendAll(EncodeHandOff(Kind, Text), What)) {
        DisconnectFromFirstInstance();
        return false;
    }
    char Answer = 0;
    ssize_t N;
    for (;;) {
        N = ::recv(ClientSocket, &Answer, 1, 0);
        if (N >= 0 || errno == EINTR) {
            if (N >= 0) break;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) break;
        if (!WaitFor(POLLIN, What)) {
            DisconnectFromFirstInstance();
            return false;
        }
    }
    if (N == 1 && Acknowledged(Answer, What)) return true;
    if (N == 0)
        Fail(THandOffFailure::Broken, "the running copy of Velmora ended before it took " + What);
    else if (N < 0)
        Fail(THandOffFailure::Broken,
             "no answer from the running copy of Velmora for " + What + ": " + ErrnoText(errno));
    DisconnectFromFirstInstance();
    return false;
}

THandOffConnect ConnectToFirstInstance(std::string_view MutexName, std::chrono::milliseconds StartupWait,
                                       std::chrono::milliseconds Patience)
{
    DisconnectFromFirstInstance();
    const std::chrono::milliseconds StartupFor = BeginConnect(StartupWait, Patience);
    const auto StartupEnd = TClock::now() + StartupFor;
    // A busy copy is asked again soon, then less and less often: many later copies
    // that wait together must not keep it busier.
    auto Pause = std::chrono::milliseconds(2);
    bool Crowded = false;  // the last try found the queue of waiting connections full
    std::string Path;
    for (;;) {
        std::string Why;
        const std::string Folder = RuntimeFolder(&Why);
        if (Folder.empty()) {
            Fail(THandOffFailure::NoPlace, Why);
            return THandOffConnect::Failed;
        }
        Path = Folder + "/" + HandOffSocketName;
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        if (Path.size() >= sizeof(Address.sun_path)) {
            Fail(THandOffFailure::NoPlace, "the socket path " + Path + " is too long");
            return THandOffConnect::Failed;
        }
        std::memcpy(Address.sun_path, Path.c_str(), Path.size() + 1);

        // Not blocking: a full queue of waiting connections answers EAGAIN, which is
        // one more reason to try again, and every later wait is bounded.
        const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (Fd < 0) {
            Fail(THandOffFailure::NoPlace, "cannot create a socket: " + ErrnoText(errno));
            return THandOffConnect::Failed;
        }
        int Result;
        do Result = ::connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address));
        while (Result != 0 && errno == EINTR);
        if (Result == 0) {
            ClientSocket = Fd;
            return THandOffConnect::Connected;
        }
        const int Error = errno;
        ::close(Fd);
        if (Error != ENOENT && Error != ECONNREFUSED && Error != EAGAIN) {
            Fail(THandOffFailure::NoPlace, "cannot connect to " + Path + ": " + ErrnoText(Error));
            return THandOffConnect::Failed;
        }
        Crowded = Error == EAGAIN;
        if (IsFirstInstance(MutexName)) return THandOffConnect::BecameFirst;
        if (!InstanceLockError().empty()) break;
        // The lock is held: the running copy is alive. One that is crowded is waited
        // for as long as the patience lasts; one that does not listen only as long as
        // a copy takes to start.
        const auto Until = Crowded ? PatienceEnd : StartupEnd;
        const auto Now = TClock::now();
        if (Now >= Until) break;
        std::this_thread::sleep_for(std::min<TClock::duration>(Pause, Until - Now));
        Pause = std::min(Pause * 2, std::chrono::milliseconds(Crowded ? 500 : 50));
    }
    return FailConnect(Path, Crowded, "its queue at " + Path + " stayed full", StartupFor);
}

bool HandOffClient::SendStream(TStreamBatch& Batch)
{
    // Sends while the socket takes bytes and reads the answers as they come, so
    // that neither side waits on the other's full buffer.
    const std::string What = TStreamBatch::What;
    for (;;) {
        const std::string_view Pending = Batch.ToSend();
        const bool Writing = !Pending.empty();
        pollfd P{ClientSocket, short(POLLIN | (Writing ? POLLOUT : 0)), 0};
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(PatienceEnd - TClock::now());
        if (Left.count() <= 0) {
            FailTimedOut(What);
            DisconnectFromFirstInstance();
            return false;
        }
        const int Ready = ::poll(&P, 1, static_cast<int>(std::min<long long>(Left.count() + 1, 60000)));
        if (Ready < 0 && errno != EINTR) {
            Fail(THandOffFailure::Broken, "cannot wait for the running copy of Velmora: " + ErrnoText(errno));
            DisconnectFromFirstInstance();
            return false;
        }
        if (Ready <= 0) continue;
        if (P.revents & (POLLIN | POLLHUP | POLLERR)) {
            char Answers[4096];
            const ssize_t N = ::recv(ClientSocket, Answers, sizeof Answers, 0);
            if (N < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (N <= 0) {
                Fail(THandOffFailure::Broken, "the running copy of Velmora ended before it took " + What);
                DisconnectFromFirstInstance();
                return false;
            }
            if (!Batch.Answers(Answers, static_cast<std::size_t>(N))) {
                DisconnectFromFirstInstance();
                return false;
            }
            if (Batch.Done()) return true;
        }
        if (Writing && (P.revents & POLLOUT)) {
            const ssize_t N = ::send(ClientSocket, Pending.data(), Pending.size(), MSG_NOSIGNAL);
            if (N < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                Fail(THandOffFailure::Broken, "the running copy of Velmora stopped listening: " + ErrnoText(errno));
                DisconnectFromFirstInstance();
                return false;
            }
            if (N > 0) Batch.Sent(static_cast<std::size_t>(N));
        }
    }
}

bool BringFirstInstanceForward()
{
    return Exchange(THandOffKind::Forward, {}, "the request to come forward");
}

bool ConnectedToFirstInstance()
{
    return ClientSocket >= 0;
}

void DisconnectFromFirstInstance()
{
    if (ClientSocket >= 0) {
        ::close(ClientSocket);
        ClientSocket = -1;
    }
}

std::string AbsoluteArgument(std::string_view Arg)
{
    if (Arg.empty()) return {};
    std::error_code Error;
    const std::filesystem::path Absolute = std::filesystem::absolute(std::filesystem::path(Arg), Error);
    if (Error) return std::string(Arg);
    return Absolute.string();
}
#endif  // !_WIN32
