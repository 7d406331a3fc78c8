// One running copy of the program per user.
//
// The first copy takes a per-user lock, the kernel's flock on a file in the user's
// runtime folder, and keeps it for the life of the process: the kernel drops it
// when the process ends, however it ends, so a killed copy never blocks the next
// start. It then listens on a local socket in the same folder. A later copy finds
// the lock taken, connects to that socket, hands over its command-line arguments as
// one stream of messages, each text answered as soon as it has arrived and the
// closing "?" once the running copy's window has taken the whole batch (not loaded
// it), and ends without starting the window system.
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
#include <vector>

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
// HandOffAck byte; a sender sends nothing more until then. A text is answered when
// it has arrived, the closing "?" and Forward when the window has taken what came
// before them. A receiver that will not take them (its window is closing) answers
// HandOffRefused and closes the connection; a sender that expects only HandOffAck
// takes that as a failure too.

enum class THandOffKind : std::uint8_t {
    Text = 'T',     // a command-line argument, or the closing "?"
    Forward = 'F',  // come forward; carries no text
    // The sender will send its texts and "?" without waiting for each answer, and
    // read the answers as they come; carries no text. A receiver that does not know
    // it closes the connection, and the sender then sends one message at a time.
    Stream = 'S',
};

inline constexpr std::size_t HandOffHeaderSize = 5;
inline constexpr std::size_t HandOffMaxText = 64 * 1024;
inline constexpr char HandOffAck = '\x06';
inline constexpr char HandOffRefused = '\x15';
// The text that closes a later copy's batch.
inline constexpr const char* HandOffEndMark = "?";

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

// Why the last call failed; HandOffError() has the details.
enum class THandOffFailure {
    None,
    NoPlace,     // no lock, no socket path, no socket
    NotHeard,    // the lock is held but no one listened within the start-up wait
    TimedOut,    // the running copy is alive but did not answer within the patience
    Refused,     // the running copy would not take the batch (its window is closing)
    Broken,      // the connection ended before the answer
    Unexpected,  // an answer that is no answer, or a text too long to send
};

// How long a later copy waits for a running copy that holds the lock but has no
// socket yet (it may still be starting).
inline constexpr std::chrono::milliseconds HandOffStartupWait = std::chrono::seconds(5);
// How long a later copy waits in all, from its first try to connect to its last
// answer, for a running copy that is alive but busy (a queue of later copies before
// it, a long load): the later copy then gives up with TimedOut.
inline constexpr std::chrono::milliseconds HandOffPatience = std::chrono::minutes(2);

// Connects to the running copy's socket. While no one listens yet (the first copy
// may still be starting) it tries again until StartupWait has passed; while the
// running copy's queue of waiting connections is full it tries again, backing off,
// as long as that copy holds the lock and Patience has not passed. Between tries it
// takes the lock itself if the running copy has ended meanwhile. Patience also
// bounds every answer that the later copy waits for on this connection.
THandOffConnect ConnectToFirstInstance(std::string_view MutexName,
                                       std::chrono::milliseconds StartupWait = HandOffStartupWait,
                                       std::chrono::milliseconds Patience = HandOffPatience);

// Hands one text to the running copy and waits until it has arrived (the closing
// "?": until the window has taken the batch). False on failure, with HandOffError()
// set; a text too long to send leaves the connection usable.
bool PassToFirstInstance(std::string_view Text);
// Hands every text and then "?" to the running copy as one stream, without waiting
// for each answer, and waits until the window has taken the batch. Texts longer than
// HandOffMaxText are left out; their indexes go to Skipped. False on failure, with
// HandOffFailure() Broken and HandOffStreamRefused() true when the running copy
// does not take streams: then hand over one text at a time on a new connection.
bool PassAllToFirstInstance(const std::vector<std::string>& Texts, std::vector<std::size_t>* Skipped);
bool HandOffStreamRefused();
// Asks the running copy to bring its window forward, and waits for its answer.
bool BringFirstInstanceForward();
bool ConnectedToFirstInstance();
void DisconnectFromFirstInstance();
const std::string& HandOffError();
THandOffFailure HandOffFailure();
// The time left of the patience given to the last ConnectToFirstInstance.
std::chrono::milliseconds HandOffTimeLeft();

// Arg made absolute against this process's working folder, without resolving links
// or "..": the running copy works in another folder. An empty argument stays empty.
std::string AbsoluteArgument(std::string_view Arg);
