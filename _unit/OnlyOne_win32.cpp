// The single running copy on Windows: the named mutex marks it, and a later copy
// hands its arguments over a named pipe of this user and logon session, in the
// same messages as on other systems.

#ifdef _WIN32

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include <windows.h>

#include <sddl.h>

#include "OnlyOne.h"
#include "Win32Text.h"

void* MutexHandle = nullptr;

namespace {

// Closes the mutex as the program ends; the system would do it as well, but the
// handle's life is then plain to see.
struct TMutexHandleCloser {
    ~TMutexHandleCloser()
    {
        if (MutexHandle != nullptr) {
            ::CloseHandle(static_cast<HANDLE>(MutexHandle));
            MutexHandle = nullptr;
        }
    }
} MutexHandleCloser;

std::string LockError;
std::string SendError;
HANDLE ClientPipe = INVALID_HANDLE_VALUE;

// The user of a process's token; empty when it cannot be read.
std::string UserOfToken(HANDLE Process)
{
    HANDLE Token = nullptr;
    if (!::OpenProcessToken(Process, TOKEN_QUERY, &Token)) return {};
    DWORD Size = 0;
    ::GetTokenInformation(Token, ::TokenUser, nullptr, 0, &Size);
    std::string Buffer(Size, '\0');
    std::string Sid;
    if (Size > 0 && ::GetTokenInformation(Token, ::TokenUser, Buffer.data(), Size, &Size)) {
        wchar_t* Text = nullptr;
        if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(Buffer.data())->User.Sid, &Text)) {
            Sid = WideToUtf8(Text);
            ::LocalFree(Text);
        }
    }
    ::CloseHandle(Token);
    return Sid;
}

// True when the process at the other end of the pipe runs as this user: another
// user could have made a pipe of that name first, to read the paths sent to it.
bool ServerIsThisUser(HANDLE Pipe, std::string& Why)
{
    ULONG Pid = 0;
    if (!::GetNamedPipeServerProcessId(Pipe, &Pid)) {
        Why = "cannot tell who listens on " + HandOffPipeName() + ": " + SystemErrorText(::GetLastError());
        return false;
    }
    const HANDLE Process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Pid);
    const std::string Server = Process != nullptr ? UserOfToken(Process) : std::string();
    if (Process != nullptr) ::CloseHandle(Process);
    if (!Server.empty() && Server == UserOfToken(::GetCurrentProcess())) return true;
    Why = HandOffPipeName() + " belongs to another user";
    return false;
}

bool WriteAll(HANDLE Pipe, std::string_view Bytes)
{
    while (!Bytes.empty()) {
        DWORD Wrote = 0;
        const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Bytes.size(), 1 << 20));
        if (!::WriteFile(Pipe, Bytes.data(), Chunk, &Wrote, nullptr)) {
            SendError = "the running copy of Velmora stopped listening: " + SystemErrorText(::GetLastError());
            return false;
        }
        Bytes.remove_prefix(Wrote);
    }
    return true;
}

// One message and its answer. The running copy answers once its handler has
// returned, which may take as long as the user leaves an error box open.
bool Exchange(THandOffKind Kind, std::string_view Text, const std::string& What)
{
    if (ClientPipe == INVALID_HANDLE_VALUE) {
        SendError = "not connected to the running copy of Velmora";
        return false;
    }
    if (!WriteAll(ClientPipe, EncodeHandOff(Kind, Text))) {
        DisconnectFromFirstInstance();
        return false;
    }
    char Answer = 0;
    DWORD Got = 0;
    const bool Read = ::ReadFile(ClientPipe, &Answer, 1, &Got, nullptr);
    const DWORD Error = Read ? ERROR_SUCCESS : ::GetLastError();
    if (Read && Got == 1 && Answer == HandOffAck) return true;
    if (Error == ERROR_BROKEN_PIPE || (Read && Got == 0))
        SendError = "the running copy of Velmora ended before it took " + What;
    else if (!Read)
        SendError = "no answer from the running copy of Velmora for " + What + ": " + SystemErrorText(Error);
    else
        SendError = "unexpected answer from the running copy of Velmora for " + What;
    DisconnectFromFirstInstance();
    return false;
}

}  // namespace

bool IsFirstInstance(std::string_view Name)
{
    LockError.clear();
    std::wstring Wide;
    if (!Utf8ToWide(MutexSafeName(Name), Wide) || Wide.empty()) {
        LockError = "unusable lock name";
        return false;
    }
    // No namespace prefix: the mutex lives in the logon session's own namespace.
    const HANDLE Mutex = ::CreateMutexW(nullptr, FALSE, Wide.c_str());
    const DWORD Error = ::GetLastError();
    if (Mutex == nullptr) {
        // A mutex of that name that this user may not open is another copy's.
        if (Error != ERROR_ACCESS_DENIED)
            LockError = "cannot create the mutex " + std::string(Name) + ": " + SystemErrorText(Error);
        return false;
    }
    if (Error == ERROR_ALREADY_EXISTS) {
        // Not kept: the mutex must go when the running copy ends, so that the next
        // start (or this copy, while it waits to connect) can take it.
        ::CloseHandle(Mutex);
        return false;
    }
    if (MutexHandle != nullptr) ::CloseHandle(static_cast<HANDLE>(MutexHandle));
    MutexHandle = Mutex;
    return true;
}

const std::string& InstanceLockError()
{
    return LockError;
}

std::string HandOffPipeName()
{
    static const std::string Name = [] {
        DWORD Session = 0;
        ::ProcessIdToSessionId(::GetCurrentProcessId(), &Session);
        std::string Pipe = "\\\\.\\pipe\\";
        Pipe.append(HandOffSocketName);
        Pipe.push_back('-');
        Pipe.append(UserOfToken(::GetCurrentProcess()));
        Pipe.push_back('-');
        Pipe.append(std::to_string(Session));
        return Pipe;
    }();
    return Name;
}

THandOffConnect ConnectToFirstInstance(std::string_view MutexName, std::chrono::milliseconds StartupWait,
                                       std::chrono::milliseconds Patience)
{
    using Clock = std::chrono::steady_clock;
    SendError.clear();
    DisconnectFromFirstInstance();
    const auto Start = Clock::now();
    // No pipe yet: the running copy may still be starting. Every instance busy: it
    // is alive, and is waited for as long as the patience lasts.
    const auto StartupEnd = Start + std::min(StartupWait, Patience);
    const auto PatienceEnd = Start + Patience;
    const std::chrono::milliseconds RetryFor = StartupWait;
    const std::string Name = HandOffPipeName();
    std::wstring Wide;
    Utf8ToWide(Name, Wide);
    for (;;) {
        // The server may act for this copy only as far as to know who it is.
        const HANDLE Pipe = ::CreateFileW(Wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (Pipe != INVALID_HANDLE_VALUE) {
            std::string Why;
            if (!ServerIsThisUser(Pipe, Why)) {
                ::CloseHandle(Pipe);
                SendError = Why;
                return THandOffConnect::Failed;
            }
            ClientPipe = Pipe;
            return THandOffConnect::Connected;
        }
        const DWORD Error = ::GetLastError();
        if (Error == ERROR_PIPE_BUSY) {
            // Every instance of the pipe is taken: wait for one to come free.
            ::WaitNamedPipeW(Wide.c_str(), 50);
        } else if (Error != ERROR_FILE_NOT_FOUND) {
            SendError = "cannot connect to " + Name + ": " + SystemErrorText(Error);
            return THandOffConnect::Failed;
        }
        if (IsFirstInstance(MutexName)) return THandOffConnect::BecameFirst;
        if (Clock::now() >= (Error == ERROR_PIPE_BUSY ? PatienceEnd : StartupEnd)) break;
        if (Error != ERROR_PIPE_BUSY) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string& Lock = InstanceLockError();
    SendError = Lock.empty() ? "another copy of Velmora holds the lock, but no one has answered at " + Name + " for " +
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
    return ClientPipe != INVALID_HANDLE_VALUE;
}

void DisconnectFromFirstInstance()
{
    if (ClientPipe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(ClientPipe);
        ClientPipe = INVALID_HANDLE_VALUE;
    }
}

const std::string& HandOffError()
{
    return SendError;
}

std::string AbsoluteArgument(std::string_view Arg)
{
    if (Arg.empty()) return {};
    std::wstring Wide;
    if (!Utf8ToWide(Arg, Wide)) return std::string(Arg);
    const DWORD Need = ::GetFullPathNameW(Wide.c_str(), 0, nullptr, nullptr);
    if (Need == 0) return std::string(Arg);
    std::wstring Full(Need, L'\0');
    const DWORD Got = ::GetFullPathNameW(Wide.c_str(), Need, Full.data(), nullptr);
    if (Got == 0 || Got >= Need) return std::string(Arg);
    Full.resize(Got);
    return WideToUtf8(Full);
}

#endif  // _WIN32
