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

#include "HandOffClient.h"
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

using namespace HandOffClient;

std::string LockError;
// Opened for overlapped use: every read and write is waited for within the
// patience, and a stream reads answers while it writes.
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

// An overlapped operation's record and its event; a pending one is cancelled
// and waited for before it goes.
struct TOverlapped {
    OVERLAPPED Op{};
    bool Pending = false;
    TOverlapped() { Op.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~TOverlapped()
    {
        Cancel();
        ::CloseHandle(Op.hEvent);
    }
    TOverlapped(const TOverlapped&) = delete;
    TOverlapped& operator=(const TOverlapped&) = delete;

    // Starts a read or a write on the pipe; false, with Error set, when it failed
    // at once.
    bool Start(bool Write, void* Data, std::size_t Size, DWORD& Error)
    {
        const DWORD Count = static_cast<DWORD>(std::min<std::size_t>(Size, 1 << 20));
        const BOOL Done = Write ? ::WriteFile(ClientPipe, Data, Count, nullptr, &Op)
                                : ::ReadFile(ClientPipe, Data, Count, nullptr, &Op);
        Error = Done ? ERROR_SUCCESS : ::GetLastError();
        Pending = Done || Error == ERROR_IO_PENDING;
        return Pending;
    }
    bool Ready() const { return Pending && ::WaitForSingleObject(Op.hEvent, 0) == WAIT_OBJECT_0; }
    // The bytes moved by the finished operation; false, with Error set, on a
    // failure.
    bool Finish(DWORD& Moved, DWORD& Error)
    {
        Pending = false;
        Moved = 0;
        Error = ::GetOverlappedResult(ClientPipe, &Op, &Moved, TRUE) ? ERROR_SUCCESS : ::GetLastError();
        return Error == ERROR_SUCCESS;
    }
    void Cancel()
    {
        if (!Pending) return;
        ::CancelIoEx(ClientPipe, &Op);
        DWORD Ignored = 0;
        ::GetOverlappedResult(ClientPipe, &Op, &Ignored, TRUE);
        Pending = false;
    }
};

// Waits until one of the operations has finished or the patience has passed;
// false (with the failure set) on the latter.
bool WaitFor(TOverlapped& First, TOverlapped* Second, const std::string& What)
{
    const HANDLE Events[2] = {First.Op.hEvent, Second != nullptr ? Second->Op.hEvent : nullptr};
    const DWORD Count = Second != nullptr ? 2 : 1;
    for (;;) {
        const auto Left = TimeLeft();
        if (Left.count() <= 0) break;
        const DWORD Wait = static_cast<DWORD>(std::min<long long>(Left.count() + 1, 60000));
        const DWORD Result = ::WaitForMultipleObjects(Count, Events, FALSE, Wait);
        if (Result < WAIT_OBJECT_0 + Count) return true;
        if (Result != WAIT_TIMEOUT) {
            Fail(THandOffFailure::Broken,
                 "cannot wait for the running copy of Velmora: " + SystemErrorText(::GetLastError()));
            return false;
        }
    }
    FailTimedOut(What);
    return false;
}

void FailToWrite(DWORD Error)
{
    Fail(THandOffFailure::Broken, "the running copy of Velmora stopped listening: " + SystemErrorText(Error));
}

void FailToRead(DWORD Error, const std::string& What)
{
    if (Error == ERROR_SUCCESS || Error == ERROR_BROKEN_PIPE || Error == ERROR_PIPE_NOT_CONNECTED)
        Fail(THandOffFailure::Broken, "the running copy of Velmora ended before it took " + What);
    else
        Fail(THandOffFailure::Broken,
             "no answer from the running copy of Velmora for " + What + ": " + SystemErrorText(Error));
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
    DisconnectFromFirstInstance();
    // No pipe yet: the running copy may still be starting. Every instance busy: it
    // is alive, and is waited for as long as the patience lasts.
    const std::chrono::milliseconds StartupFor = BeginConnect(StartupWait, Patience);
    const auto StartupEnd = TClock::now() + StartupFor;
    const std::string Name = HandOffPipeName();
    std::wstring Wide;
    Utf8ToWide(Name, Wide);
    bool Crowded = false;  // the last try found every instance of the pipe taken
    for (;;) {
        // The server may act for this copy only as far as to know who it is.
        const HANDLE Pipe =
            ::CreateFileW(Wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (Pipe != INVALID_HANDLE_VALUE) {
            std::string Why;
            if (!ServerIsThisUser(Pipe, Why)) {
                ::CloseHandle(Pipe);
                Fail(THandOffFailure::NoPlace, Why);
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
            Fail(THandOffFailure::NoPlace, "cannot connect to " + Name + ": " + SystemErrorText(Error));
            return THandOffConnect::Failed;
        }
        if (IsFirstInstance(MutexName)) return THandOffConnect::BecameFirst;
        Crowded = Error == ERROR_PIPE_BUSY;
        if (TClock::now() >= (Crowded ? PatienceEnd : StartupEnd)) break;
        if (Error != ERROR_PIPE_BUSY) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return FailConnect(Name, Crowded, "every instance of " + Name + " stayed taken", StartupFor);
}

// One message and its answer, within the patience. The running copy answers once
// its handler has returned, which may take as long as the user leaves an error box
// open.
bool HandOffClient::Exchange(THandOffKind Kind, std::string_view Text, const std::string& What)
{
    Failure = THandOffFailure::None;
    if (ClientPipe == INVALID_HANDLE_VALUE) {
        Fail(THandOffFailure::Broken, "not connected to the running copy of Velmora");
        return false;
    }
    const bool Answered = [&] {
        std::string Bytes = EncodeHandOff(Kind, Text);
        TOverlapped Io;
        DWORD Moved = 0, Error = 0;
        for (std::size_t At = 0; At < Bytes.size(); At += Moved) {
            if (!Io.Start(true, Bytes.data() + At, Bytes.size() - At, Error)) {
                FailToWrite(Error);
                return false;
            }
            if (!WaitFor(Io, nullptr, What)) return false;
            if (!Io.Finish(Moved, Error)) {
                FailToWrite(Error);
                return false;
            }
        }
        char Answer = 0;
        if (!Io.Start(false, &Answer, 1, Error)) {
            FailToRead(Error, What);
            return false;
        }
        if (!WaitFor(Io, nullptr, What)) return false;
        if (!Io.Finish(Moved, Error) || Moved != 1) {
            FailToRead(Error, What);
            return false;
        }
        return Acknowledged(Answer, What);
    }();
    if (!Answered) DisconnectFromFirstInstance();
    return Answered;
}

bool HandOffClient::SendStream(TStreamBatch& Batch)
{
    // A read of answers stays pending while the messages are written, so that
    // neither side waits on the other's full buffer.
    const std::string What = TStreamBatch::What;
    const bool Sent = [&] {
        TOverlapped Reading, Writing;
        char Answers[4096];
        DWORD Moved = 0, Error = 0;
        for (;;) {
            if (!Reading.Pending && !Reading.Start(false, Answers, sizeof Answers, Error)) {
                FailToRead(Error, What);
                return false;
            }
            if (!Writing.Pending) {
                const std::string_view Pending = Batch.ToSend();
                if (!Pending.empty() &&
                    !Writing.Start(true, const_cast<char*>(Pending.data()), Pending.size(), Error)) {
                    FailToWrite(Error);
                    return false;
                }
            }
            if (!WaitFor(Reading, Writing.Pending ? &Writing : nullptr, What)) return false;
            if (Writing.Ready()) {
                if (!Writing.Finish(Moved, Error)) {
                    FailToWrite(Error);
                    return false;
                }
                Batch.Sent(Moved);
            }
            if (Reading.Ready()) {
                if (!Reading.Finish(Moved, Error) || Moved == 0) {
                    FailToRead(Error, What);
                    return false;
                }
                if (!Batch.Answers(Answers, Moved)) return false;
                if (Batch.Done()) return true;
            }
        }
    }();
    if (!Sent) DisconnectFromFirstInstance();
    return Sent;
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
