// One running copy of the program per user.
//
// The first copy takes a per-user lock, the kernel's flock on a file in the user's
// runtime folder, and keeps it for the life of the process: the kernel drops it
// when the process ends, however it ends, so a killed copy never blocks the next
// start. It then listens on a local socket in the same folder. A later copy finds
// the lock taken, connects to that socket, hands over its command-line arguments one
// message at a time, waiting after each until the running copy has handled it, and
// ends without starting the window system.
//
// The lock, the wire format and the sender use only POSIX and the standard library,
// so that a later copy costs no more than the program's start; the receiver,
// THandOffServer, lives on the application side (_app/HandOffServer).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------------
// The lock.

// The name of the lock that marks a running copy.
inline constexpr const char* VelmoraMutexName = "MyProgramKTZMutex180671";

#ifdef _WIN32
// The handle of the named mutex while this copy holds it, else null. Closed when
// the program ends.
extern void* MutexHandle;
#else
// The descriptor of the lock file while this copy holds the lock, else -1. Closed
// when the program ends.
extern int MutexHandle;
#endif

// Name with every backslash replaced by an underscore; nothing else changes.
std::string MutexSafeName(std::string_view Name);

// The folder of the lock and the hand-off socket, the first of these that is a
// folder of this user's that no one else may enter (a symbolic link, another
// user's folder or one open to others is passed over) and short enough for the
// socket's path:
//   $XDG_RUNTIME_DIR;
//   "velmora-<host name>" in the user's cache folder ($XDG_CACHE_HOME, else
//   ~/.cache), when no one else can put entries into that folder;
//   "velmora-<uid>" in the temporary folder ($TMPDIR or /tmp).
// The last two are made with mode 0700 if missing. Another user can take the
// temporary folder's name first, but not the others. Empty when none will do, with
// Error saying why for each.
std::string RuntimeFolder(std::string* Error = nullptr);

// True when this copy is the first one: it now holds the lock named after Name
// (through MutexSafeName) and keeps it in MutexHandle. False with
// InstanceLockError() empty when another copy holds the lock; false with it set
// when there is no lock to be had (no safe folder, say), and so no way to meet the
// other copies.
bool IsFirstInstance(std::string_view Name);
const std::string& InstanceLockError();

// ---------------------------------------------------------------------------------
// The hand-off messages.
//
// A message is a kind byte, the text's length as four bytes (most significant
// first) and the text in UTF-8. The receiver answers each message with one
// HandOffAck byte once it has handled it; a sender sends nothing more until then.

enum class THandOffKind : std::uint8_t {
    Text = 'T',     // a command-line argument, or the closing "?"
    Forward = 'F',  // come forward; carries no text
};

inline constexpr std::size_t HandOffHeaderSize = 5;
inline constexpr std::size_t HandOffMaxText = 64 * 1024;
inline constexpr char HandOffAck = '\x06';

// The socket's file name in the runtime folder, from the main window's class name
// and caption.
inline constexpr const char* HandOffSocketName = "TfrmKTZ-Velmora";

#ifdef _WIN32
// On Windows the running copy listens on a named pipe, "\\.\pipe\" followed by
// HandOffSocketName, the user's security identifier and the logon session's
// number: one per user and session, like the mutex. A QLocalServer listens on it
// when given this full name.
std::string HandOffPipeName();
#endif

struct THandOffMessage {
    THandOffKind Kind = THandOffKind::Text;
    std::string Text;
};

// The bytes of one message. Text must be at most HandOffMaxText bytes.
std::string EncodeHandOff(THandOffKind Kind, std::string_view Text);

// Takes a connection's bytes as they come, in pieces of any size, and yields one
// message at a time. An unknown kind, a text longer than HandOffMaxText or a
// Forward with a text makes it Bad for good.
class THandOffDecoder {
public:
    enum class TState { NeedMore, Ready, Bad };

    TState State() const { return FState; }
    // Bytes still missing from the current part of the message (its header, then
    // its text); 0 when Ready or Bad. Reading this many never reads past a message.
    std::size_t Wanted() const;
    // Takes bytes from the front of Bytes up to the end of the current message at
    // most; returns how many it took.
    std::size_t Feed(std::string_view Bytes);
    // The message when Ready; the decoder then waits for the next one.
    THandOffMessage Take();
    // True when nothing of a message has arrived yet.
    bool AtMessageStart() const { return FState == TState::NeedMore && FHave == 0; }

private:
    TState FState = TState::NeedMore;
    unsigned char FHeader[HandOffHeaderSize] = {};
    std::size_t FHave = 0;  // header bytes, then header plus text bytes
    std::uint32_t FLength = 0;
    THandOffMessage FMessage;
};

// ---------------------------------------------------------------------------------
// The later copy's side.

enum class THandOffConnect {
    Connected,    // the running copy listens; hand over now
    BecameFirst,  // the running copy ended meanwhile and this copy holds the lock
    Failed,       // HandOffError() says why
};

// Connects to the running copy's socket. While no one listens yet (the first copy
// may still be starting) it tries again until RetryFor has passed; between tries it
// takes the lock itself if the running copy has ended meanwhile.
THandOffConnect ConnectToFirstInstance(std::string_view MutexName,
                                       std::chrono::milliseconds RetryFor = std::chrono::seconds(5));

// Hands one text to the running copy and waits until it has handled it. False on
// failure, with HandOffError() set; a text too long to send leaves the connection
// usable.
bool PassToFirstInstance(std::string_view Text);
// Asks the running copy to bring its window forward, and waits for its answer.
bool BringFirstInstanceForward();
bool ConnectedToFirstInstance();
void DisconnectFromFirstInstance();
const std::string& HandOffError();

// Arg made absolute against this process's working folder, without resolving links
// or "..": the running copy works in another folder. An empty argument stays empty.
std::string AbsoluteArgument(std::string_view Arg);
