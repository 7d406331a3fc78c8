// The Windows pieces: the named mutex as a second process sees it, the hand-off
// client's messages as a named-pipe server receives them, and velmora-cli.exe
// started with a real Windows command line (quotes, wildcards, wide names).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "OnlyOne.h"
#include "TestSupport.h"
#include "Win32Text.h"

namespace {

namespace fs = std::filesystem;

std::wstring Wide(const std::string& Text)
{
    std::wstring Result;
    EXPECT_TRUE(Utf8ToWide(Text, Result)) << Text;
    return Result;
}

std::wstring ThisProgram()
{
    std::wstring Path(32768, L'\0');
    Path.resize(::GetModuleFileNameW(nullptr, Path.data(), static_cast<DWORD>(Path.size())));
    return Path;
}

struct TRun {
    DWORD Status = 0xFFFFFFFF;
    std::string Out;
    std::string Err;
};

std::string ReadAll(const fs::path& Path)
{
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

// Runs CommandLine (the program's name first, as a shell writes it) in Folder, with
// standard output and error caught in files.
TRun Start(const std::wstring& Program, const std::wstring& CommandLine, const fs::path& Folder)
{
    SECURITY_ATTRIBUTES Inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const fs::path OutName = Folder / "stdout.bin", ErrName = Folder / "stderr.bin";
    const HANDLE Out = ::CreateFileW(OutName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &Inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE Err = ::CreateFileW(ErrName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &Inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    Startup.dwFlags = STARTF_USESTDHANDLES;
    Startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    Startup.hStdOutput = Out;
    Startup.hStdError = Err;
    PROCESS_INFORMATION Process{};
    std::wstring Line = CommandLine;
    TRun Run;
    if (::CreateProcessW(Program.c_str(), Line.data(), nullptr, nullptr, TRUE, 0, nullptr, Folder.c_str(), &Startup,
                         &Process)) {
        ::WaitForSingleObject(Process.hProcess, INFINITE);
        ::GetExitCodeProcess(Process.hProcess, &Run.Status);
        ::CloseHandle(Process.hProcess);
        ::CloseHandle(Process.hThread);
    } else {
        ADD_FAILURE() << "cannot start the program: " << SystemErrorText(::GetLastError());
    }
    ::CloseHandle(Out);
    ::CloseHandle(Err);
    Run.Out = ReadAll(OutName);
    Run.Err = ReadAll(ErrName);
    return Run;
}

// ---------------------------------------------------------------------------------
// The named mutex

// Only run as the child of the next test, which names the mutex and what the child
// must find in the environment.
TEST(Win32Mutex, ChildSeesIt)
{
    const char* Name = std::getenv("VELMORA_TEST_MUTEX");
    const char* Expect = std::getenv("VELMORA_TEST_MUTEX_EXPECT");
    if (Name == nullptr || Expect == nullptr)
        GTEST_SKIP() << "runs only as the second process of IsSeenByASecondProcess";
    EXPECT_EQ(IsFirstInstance(Name), std::string(Expect) == "first") << InstanceLockError();
    EXPECT_EQ(InstanceLockError(), "");
}

TEST(Win32Mutex, IsSeenByASecondProcess)
{
    const std::string Name = "VelmoraTest\\Mutex-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(IsFirstInstance(Name)) << InstanceLockError();
    ASSERT_NE(MutexHandle, nullptr);
    // A second claim, even from this process, finds it taken.
    EXPECT_FALSE(IsFirstInstance(Name));
    EXPECT_EQ(InstanceLockError(), "");

    TTempDir Dir;
    const auto Child = [&](const char* Expect) {
        ::SetEnvironmentVariableW(L"VELMORA_TEST_MUTEX", Wide(Name).c_str());
        ::SetEnvironmentVariableW(L"VELMORA_TEST_MUTEX_EXPECT", Wide(Expect).c_str());
        const TRun Run = Start(ThisProgram(), L"test --gtest_filter=Win32Mutex.ChildSeesIt", Dir.Path());
        ::SetEnvironmentVariableW(L"VELMORA_TEST_MUTEX", nullptr);
        ::SetEnvironmentVariableW(L"VELMORA_TEST_MUTEX_EXPECT", nullptr);
        return Run;
    };
    TRun Run = Child("taken");
    EXPECT_EQ(Run.Status, 0u) << Run.Out;
    // Once the holder lets go, the mutex is gone and the next copy is the first.
    ::CloseHandle(static_cast<HANDLE>(MutexHandle));
    MutexHandle = nullptr;
    Run = Child("first");
    EXPECT_EQ(Run.Status, 0u) << Run.Out;
}

// ---------------------------------------------------------------------------------
// The hand-off over the named pipe

// A running copy's end as small as it can be: one connection, each message
// decoded and answered, until the client goes. Answers stop after AnswerCount.
struct TPipeServer {
    std::vector<THandOffMessage> Received;
    bool Bad = false;
    std::thread Thread;
    HANDLE Pipe = INVALID_HANDLE_VALUE;

    explicit TPipeServer(size_t AnswerCount = SIZE_MAX)
    {
        Pipe = ::CreateNamedPipeW(Wide(HandOffPipeName()).c_str(), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        EXPECT_NE(Pipe, INVALID_HANDLE_VALUE) << SystemErrorText(::GetLastError());
        Thread = std::thread([this, AnswerCount] {
            if (!::ConnectNamedPipe(Pipe, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
            THandOffDecoder Decoder;
            char Buffer[256];
            DWORD Got = 0;
            while (Received.size() < AnswerCount && ::ReadFile(Pipe, Buffer, sizeof Buffer, &Got, nullptr) && Got > 0) {
                std::string_view Bytes(Buffer, Got);
                while (!Bytes.empty()) {
                    Bytes.remove_prefix(Decoder.Feed(Bytes));
                    if (Decoder.State() == THandOffDecoder::TState::Bad) {
                        Bad = true;
                        return;
                    }
                    if (Decoder.State() == THandOffDecoder::TState::Ready) {
                        Received.push_back(Decoder.Take());
                        if (Received.size() > AnswerCount) break;
                        DWORD Wrote = 0;
                        ::WriteFile(Pipe, &HandOffAck, 1, &Wrote, nullptr);
                    }
                }
            }
        });
    }
    ~TPipeServer()
    {
        if (Thread.joinable()) Thread.join();
        if (Pipe != INVALID_HANDLE_VALUE) ::CloseHandle(Pipe);
    }
    void Stop()
    {
        if (Thread.joinable()) Thread.join();
        ::DisconnectNamedPipe(Pipe);
    }
};

TEST(Win32HandOff, TheServerReceivesEachMessageInOrder)
{
    const std::string Mutex = "VelmoraTestHandOff-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(IsFirstInstance(Mutex));  // the running copy is this process
    EXPECT_NE(HandOffPipeName().find("\\\\.\\pipe\\TfrmKTZ-Velmora-S-"), std::string::npos) << HandOffPipeName();
    TPipeServer Server;
    ASSERT_EQ(ConnectToFirstInstance(Mutex, std::chrono::seconds(10)), THandOffConnect::Connected) << HandOffError();
    const std::string Path = "C:\\Фильмы\\новый ☃.torrent";
    EXPECT_TRUE(PassToFirstInstance(Path)) << HandOffError();
    EXPECT_TRUE(PassToFirstInstance("")) << HandOffError();
    EXPECT_TRUE(PassToFirstInstance("?")) << HandOffError();
    EXPECT_TRUE(BringFirstInstanceForward()) << HandOffError();
    DisconnectFromFirstInstance();
    Server.Stop();
    EXPECT_FALSE(Server.Bad);
    ASSERT_EQ(Server.Received.size(), 4u);
    EXPECT_EQ(Server.Received[0].Kind, THandOffKind::Text);
    EXPECT_EQ(Server.Received[0].Text, Path);
    EXPECT_EQ(Server.Received[1].Text, "");
    EXPECT_EQ(Server.Received[2].Text, "?");
    EXPECT_EQ(Server.Received[3].Kind, THandOffKind::Forward);
    ::CloseHandle(static_cast<HANDLE>(MutexHandle));
    MutexHandle = nullptr;
}

TEST(Win32HandOff, ARunningCopyThatEndsIsReported)
{
    const std::string Mutex = "VelmoraTestHandOffEnd-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(IsFirstInstance(Mutex));
    {
        TPipeServer Server(1);  // takes one message, then hangs up on the second
        ASSERT_EQ(ConnectToFirstInstance(Mutex, std::chrono::seconds(10)), THandOffConnect::Connected)
            << HandOffError();
        EXPECT_TRUE(PassToFirstInstance("a.torrent")) << HandOffError();
        Server.Stop();
        EXPECT_FALSE(PassToFirstInstance("b.torrent"));
        EXPECT_NE(HandOffError().find("the running copy of Velmora"), std::string::npos) << HandOffError();
        EXPECT_FALSE(ConnectedToFirstInstance());
    }
    ::CloseHandle(static_cast<HANDLE>(MutexHandle));
    MutexHandle = nullptr;
    // No one listens and the mutex is free: the later copy becomes the first.
    EXPECT_EQ(ConnectToFirstInstance(Mutex, std::chrono::milliseconds(200)), THandOffConnect::BecameFirst);
    ::CloseHandle(static_cast<HANDLE>(MutexHandle));
    MutexHandle = nullptr;
}

// A batch handed over as one stream: every text in order and then "?", those too
// long to send left out and named; far more answers than the pipe's buffer holds,
// read while the texts are still being written; and a running copy that hangs up
// on the stream taken for one that does not know streams.
TEST(Win32HandOff, AStreamArrivesInOrderOrIsRefused)
{
    const std::string Mutex = "VelmoraTestHandOffStream-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(IsFirstInstance(Mutex));
    std::vector<std::string> Many;
    for (int I = 0; I < 10000; ++I) Many.push_back("C:\\torrents\\" + std::to_string(I) + ".torrent");
    const struct {
        const char* Title;
        std::vector<std::string> Texts;
        std::vector<size_t> Skipped;
    } Rows[] = {
        {"names, one of them too long",
         {"a.torrent", "C:\\Фильмы\\новый ☃.torrent", std::string(HandOffMaxText + 1, 'x'), ""},
         {2}},
        {"10,000 names", Many, {}},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Title);
        TPipeServer Server;
        ASSERT_EQ(ConnectToFirstInstance(Mutex, std::chrono::seconds(10)), THandOffConnect::Connected)
            << HandOffError();
        std::vector<size_t> Skipped;
        EXPECT_TRUE(PassAllToFirstInstance(Row.Texts, &Skipped)) << HandOffError();
        EXPECT_EQ(HandOffFailure(), THandOffFailure::None);
        EXPECT_FALSE(HandOffStreamRefused());
        EXPECT_GT(HandOffTimeLeft().count(), 0);
        DisconnectFromFirstInstance();
        Server.Stop();
        EXPECT_FALSE(Server.Bad);
        EXPECT_EQ(Skipped, Row.Skipped);
        std::vector<std::string> Expected, Got;
        for (size_t I = 0; I < Row.Texts.size(); ++I)
            if (std::find(Row.Skipped.begin(), Row.Skipped.end(), I) == Row.Skipped.end())
                Expected.push_back(Row.Texts[I]);
        Expected.push_back(HandOffEndMark);
        ASSERT_FALSE(Server.Received.empty());
        EXPECT_EQ(Server.Received[0].Kind, THandOffKind::Stream);
        for (size_t I = 1; I < Server.Received.size(); ++I) Got.push_back(Server.Received[I].Text);
        EXPECT_EQ(Got, Expected);
    }
    {
        TPipeServer Server(0);  // hangs up without a word
        ASSERT_EQ(ConnectToFirstInstance(Mutex, std::chrono::seconds(10)), THandOffConnect::Connected)
            << HandOffError();
        Server.Stop();
        EXPECT_FALSE(PassAllToFirstInstance({"a.torrent"}, nullptr));
        EXPECT_EQ(HandOffFailure(), THandOffFailure::Broken) << HandOffError();
        EXPECT_TRUE(HandOffStreamRefused());
        EXPECT_FALSE(ConnectedToFirstInstance());
    }
    ::CloseHandle(static_cast<HANDLE>(MutexHandle));
    MutexHandle = nullptr;
}

// ---------------------------------------------------------------------------------
// velmora-cli.exe and the Windows command line

std::string Torrent(const std::string& Name)
{
    const std::string Info = "d6:lengthi700e4:name" + std::to_string(Name.size()) + ":" + Name +
                             "12:piece lengthi16384e6:pieces20:" + std::string(20, '\x01') + "e";
    return "d8:announce18:http://t.example/a4:info" + Info + "e";
}

class Win32Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        Write("a.torrent", Torrent("a"));
        Write("Фильм ☃.torrent", Torrent("Фильм"));
        Write("notes.txt", "not a torrent");
        fs::create_directories(fs::u8path(Dir.File("sub/deeper")));
        Write("sub/x.torrent", Torrent("x"));
        Write("sub/deeper/y.torrent", Torrent("y"));
    }
    // By the UTF-8 name, which a narrow file name would take in the ANSI code page.
    void Write(const std::string& Name, const std::string& Bytes)
    {
        std::ofstream(fs::u8path(Dir.File(Name)), std::ios::binary) << Bytes;
    }
    TRun Cli(const std::string& Arguments)
    {
        const fs::path Program = fs::path(ThisProgram()).parent_path() / VELMORA_CLI_FROM_TESTS;
        return Start(Program.wstring(), L"velmora-cli.exe " + Wide(Arguments), fs::u8path(Dir.Path()));
    }
    std::string Link(const std::string& Name)
    {
        TRun Run = Cli("\"" + Name + "\"");
        EXPECT_EQ(Run.Status, 0u) << Run.Err;
        return Run.Out;
    }
    TTempDir Dir;
};

TEST_F(Win32Cli, WildcardsOutsideQuotesAreExpanded)
{
    const TRun Run = Cli("*.torrent");
    EXPECT_EQ(Run.Status, 0u) << Run.Err;
    // Byte order of the UTF-8 names: "a" before the Cyrillic name.
    EXPECT_EQ(Run.Out, Link("a.torrent") + Link("Фильм ☃.torrent"));
    EXPECT_EQ(Run.Out.find('\r'), std::string::npos);
}

TEST_F(Win32Cli, QuotedWildcardsAndWildcardsWithoutMatchStayAsTheyAre)
{
    for (const std::string Arguments : {"\"*.torrent\"", "none*.torrent", "\"a*\".torrent"}) {
        SCOPED_TRACE(Arguments);
        const TRun Run = Cli(Arguments);
        EXPECT_EQ(Run.Status, 1u);
        EXPECT_EQ(Run.Out, "");
        EXPECT_NE(Run.Err.find("Cannot open file \""), std::string::npos) << Run.Err;
    }
    // The quoted part does not stop the unquoted star.
    EXPECT_EQ(Cli("\"a\"*.torrent").Out, Link("a.torrent"));
}

TEST_F(Win32Cli, WideNamesInArgumentsListsAndFolders)
{
    TRun Run = Cli("--json \"Фильм ☃.torrent\"");
    EXPECT_EQ(Run.Status, 0u) << Run.Err;
    EXPECT_EQ(Run.Out.rfind("{\"file\":\"Фильм ☃.torrent\",\"loaded\":true,", 0), 0u) << Run.Out;
    EXPECT_EQ(Run.Out.back(), '\n');
    EXPECT_EQ(Run.Out.find('\r'), std::string::npos);

    Write("список.txt", "Фильм ☃.torrent\r\nsub\\x.torrent\r\n");
    Run = Cli("--files-from список.txt");
    EXPECT_EQ(Run.Status, 0u) << Run.Err;
    EXPECT_EQ(Run.Out, Link("Фильм ☃.torrent") + Link("sub\\x.torrent"));

    Run = Cli("--json -r sub");
    EXPECT_EQ(Run.Status, 0u) << Run.Err;
    EXPECT_NE(Run.Out.find("{\"file\":\"sub\\\\deeper\\\\y.torrent\""), std::string::npos) << Run.Out;
    EXPECT_NE(Run.Out.find("{\"file\":\"sub\\\\x.torrent\""), std::string::npos) << Run.Out;
}

TEST_F(Win32Cli, WhatTheSystemCannotOpenIsNamedWithItsReason)
{
    const TRun Run = Cli("missing.torrent sub a.torrent");
    EXPECT_EQ(Run.Status, 1u);
    EXPECT_EQ(Run.Out, Link("a.torrent"));
    EXPECT_EQ(Run.Err, "velmora-cli: Cannot open file \"missing.torrent\". " + SystemErrorText(ERROR_FILE_NOT_FOUND) +
                           "\nvelmora-cli: Cannot open file \"sub\". Is a directory\n");
}

}  // namespace
