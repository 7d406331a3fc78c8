#include "OnlyOne.h"

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
std::string SendError;
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
// The later copy's side.

#ifndef _WIN32
namespace {

bool SendAll(int Fd, std::string_view Bytes)
{
    while (!Bytes.empty()) {
        const ssize_t N = ::send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
        if (N < 0) {
            if (errno == EINTR) continue;
            SendError = "the running copy of Velmora stopped listening: " + ErrnoText(errno);
            return false;
        }
        Bytes.remove_prefix(static_cast<std::size_t>(N));
    }
    return true;
}

// One message and its answer. The running copy answers once its handler has
// returned, which may take as long as the user leaves an error box open.
bool Exchange(THandOffKind Kind, std::string_view Text, const std::string& What)
{
    if (ClientSocket < 0) {
        SendError = "not connected to the running copy of Velmora";
        return false;
    }
    if (!SendAll(ClientSocket, EncodeHandOff(Kind, Text))) {
        DisconnectFromFirstInstance();
        return false;
    }
    char Answer = 0;
    ssize_t N;
    do N = ::recv(ClientSocket, &Answer, 1, 0);
    while (N < 0 && errno == EINTR);
    if (N == 1 && Answer == HandOffAck) return true;
    if (N == 0)
        SendError = "the running copy of Velmora ended before it took " + What;
    else if (N < 0)
        SendError = "no answer from the running copy of Velmora for " + What + ": " + ErrnoText(errno);
    else
        SendError = "unexpected answer from the running copy of Velmora for " + What;
    DisconnectFromFirstInstance();
    return false;
}

}  // namespace

THandOffConnect ConnectToFirstInstance(std::string_view MutexName, std::chrono::milliseconds RetryFor)
{
    using Clock = std::chrono::steady_clock;
    SendError.clear();
    DisconnectFromFirstInstance();
    const auto Deadline = Clock::now() + RetryFor;
    std::string Path;
    for (;;) {
        std::string Why;
        const std::string Folder = RuntimeFolder(&Why);
        if (Folder.empty()) {
            SendError = Why;
            return THandOffConnect::Failed;
        }
        Path = Folder + "/" + HandOffSocketName;
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        if (Path.size() >= sizeof(Address.sun_path)) {
            SendError = "the socket path " + Path + " is too long";
            return THandOffConnect::Failed;
        }
        std::memcpy(Address.sun_path, Path.c_str(), Path.size() + 1);

        // Not blocking while connecting: a full queue of waiting connections answers
        // EAGAIN, which is one more reason to try again.
        const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (Fd < 0) {
            SendError = "cannot create a socket: " + ErrnoText(errno);
            return THandOffConnect::Failed;
        }
        int Result;
        do Result = ::connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address));
        while (Result != 0 && errno == EINTR);
        if (Result == 0) {
            const int Flags = ::fcntl(Fd, F_GETFL);
            ::fcntl(Fd, F_SETFL, Flags & ~O_NONBLOCK);
            ClientSocket = Fd;
            return THandOffConnect::Connected;
        }
        const int Error = errno;
        ::close(Fd);
        if (Error != ENOENT && Error != ECONNREFUSED && Error != EAGAIN) {
            SendError = "cannot connect to " + Path + ": " + ErrnoText(Error);
            return THandOffConnect::Failed;
        }
        if (IsFirstInstance(MutexName)) return THandOffConnect::BecameFirst;
        if (Clock::now() >= Deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string& Lock = InstanceLockError();
    SendError = Lock.empty() ? "another copy of Velmora holds the lock, but no one has answered at " + Path + " for " +
                                   std::to_string(RetryFor.count()) + " ms"
                             : Lock;
    return THandOffConnect::Failed;
}

bool PassToFirstInstance(std::string_view Text)
{
    if (Text.size() > HandOffMaxText) {
        SendError = "an argument of " + std::to_string(Text.size()) + " bytes is too long to hand over";
        return false;
    }
    std::string What;
    What.reserve(Text.size() + 2);
    What.push_back('"');
    What.append(Text);
    What.push_back('"');
    return Exchange(THandOffKind::Text, Text, What);
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

const std::string& HandOffError()
{
    return SendError;
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
