#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include "Win32Text.h"
#else
#include <sys/wait.h>
#endif

std::unique_ptr<TObject> DecodeBytes(std::string_view Bytes, int64_t* EndPosition)
{
    TMemoryStream Stream = TMemoryStream::View(Bytes);
    std::unique_ptr<TObject> Value = ReadValue(Stream);
    if (EndPosition) *EndPosition = Stream.Position();
    return Value;
}

namespace {
void AppendQuoted(std::string& Out, std::string_view Bytes)
{
    Out += '"';
    for (unsigned char C : Bytes) {
        if (C >= 0x20 && C < 0x7F && C != '"' && C != '\\') {
            Out += static_cast<char>(C);
        } else {
            char Escape[8];
            std::snprintf(Escape, sizeof Escape, "\\x%02X", C);
            Out += Escape;
        }
    }
    Out += '"';
}

void Describe(std::string& Out, const TObject* Value)
{
    if (Value == nullptr) {
        Out += "none";
    } else if (auto* Scalar = dynamic_cast<const TIntString*>(Value)) {
        if (Scalar->IsInteger)
            Out += std::to_string(Scalar->IntegerValue);
        else
            AppendQuoted(Out, Scalar->StringValue);
    } else if (auto* List = dynamic_cast<const TObjectList*>(Value)) {
        Out += '[';
        for (size_t I = 0; I < List->Count(); ++I) {
            if (I > 0) Out += ',';
            Describe(Out, (*List)[I]);
        }
        Out += ']';
    } else if (auto* Dictionary = dynamic_cast<const TObjectHash*>(Value)) {
        Out += '{';
        bool First = true;
        for (const std::string& Key : Dictionary->Keys()) {
            if (!First) Out += ',';
            First = false;
            AppendQuoted(Out, Key);
            Out += ':';
            Describe(Out, Dictionary->Items(Key));
        }
        Out += '}';
    } else {
        Out += "?";
    }
}
}  // namespace

std::string DescribeValue(const TObject* Value)
{
    std::string Out;
    Describe(Out, Value);
    return Out;
}

std::string Repeat(std::string_view Piece, size_t Count)
{
    std::string Out;
    Out.reserve(Piece.size() * Count);
    for (size_t I = 0; I < Count; ++I) Out += Piece;
    return Out;
}

TTempDir::TTempDir()
{
#ifdef _WIN32
    // No mkdtemp: a random name, taken when create_directory makes it.
    std::random_device Random;
    for (int Tries = 0; Tries < 100 && FPath.empty(); ++Tries) {
        const std::filesystem::path Path =
            std::filesystem::temp_directory_path() / ("velmora-test-" + std::to_string(Random()));
        if (std::filesystem::create_directory(Path)) FPath = Path.string();
    }
    if (FPath.empty()) throw std::runtime_error("cannot make a temporary folder");
#else
    std::string Template = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (::mkdtemp(Template.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = Template;
#endif
}

TTempDir::~TTempDir()
{
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
}

std::string TTempDir::File(std::string_view Name) const
{
    return FPath + "/" + std::string(Name);
}

std::string TTempDir::Write(std::string_view Name, std::string_view Bytes) const
{
    std::string FileName = File(Name);
    std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    if (!Out) throw std::runtime_error("cannot write " + FileName);
    return FileName;
}

namespace {
std::string ReadWhole(const std::filesystem::path& Path)
{
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

#ifdef _WIN32
std::wstring Wide(const std::string& Text)
{
    std::wstring Result;
    if (!Utf8ToWide(Text, Result)) throw std::runtime_error("not UTF-8, so no Windows name: " + Text);
    return Result;
}

// One argument as CommandLineToArgvW and the C runtime split it: always in quotes,
// so that velmora-cli expands no "*" or "?" in it; backslashes are doubled only
// before a quote, which is written \".
void AppendArgument(std::wstring& Line, const std::wstring& Argument)
{
    Line += L'"';
    size_t Backslashes = 0;
    for (const wchar_t C : Argument) {
        if (C == L'\\') {
            ++Backslashes;
            continue;
        }
        Line.append(C == L'"' ? 2 * Backslashes + 1 : Backslashes, L'\\');
        Backslashes = 0;
        Line += C;
    }
    Line.append(2 * Backslashes, L'\\');
    Line += L'"';
}

HANDLE OpenInherited(const std::filesystem::path& Path, DWORD Access, DWORD Disposition)
{
    SECURITY_ATTRIBUTES Inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE Handle = ::CreateFileW(Path.c_str(), Access, FILE_SHARE_READ | FILE_SHARE_WRITE, &Inherit, Disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + Path.string());
    return Handle;
}
#endif
}  // namespace

#ifndef _WIN32
std::string ShellQuote(const std::string& Arg)
{
    std::string Out = "'";
    for (const char c : Arg) {
        if (c == '\'') {
            Out += "'\\''";
        } else {
            Out += c;
        }
    }
    return Out + "'";
}
#endif

#ifdef _WIN32
TProgramRun RunProgram(const std::string& Program, const std::vector<std::string>& Args, const std::string& Scratch,
                       const std::string* Input, const std::string& Prefix)
{
    if (!Prefix.empty()) throw std::runtime_error("no shell on Windows to read " + Prefix);
    const std::filesystem::path Folder = std::filesystem::u8path(Scratch);
    const std::filesystem::path InName = Folder / "stdin", OutName = Folder / "stdout", ErrName = Folder / "stderr";
    std::wstring Line;
    AppendArgument(Line, Wide(Program));
    for (const std::string& Arg : Args) {
        Line += L' ';
        AppendArgument(Line, Wide(Arg));
    }
    if (Input) std::ofstream(InName, std::ios::binary) << *Input;
    STARTUPINFOW Startup{};
    Startup.cb = sizeof Startup;
    Startup.dwFlags = STARTF_USESTDHANDLES;
    Startup.hStdInput =
        Input ? OpenInherited(InName, GENERIC_READ, OPEN_EXISTING) : OpenInherited(L"NUL", GENERIC_READ, OPEN_EXISTING);
    Startup.hStdOutput = OpenInherited(OutName, GENERIC_WRITE, CREATE_ALWAYS);
    Startup.hStdError = OpenInherited(ErrName, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION Process{};
    TProgramRun Result;
    const bool Started = ::CreateProcessW(Wide(Program).c_str(), Line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &Startup, &Process);
    const DWORD Error = ::GetLastError();
    ::CloseHandle(Startup.hStdInput);
    ::CloseHandle(Startup.hStdOutput);
    ::CloseHandle(Startup.hStdError);
    if (!Started) throw std::runtime_error("cannot start " + Program + ": " + SystemErrorText(Error));
    DWORD Status = 0;
    ::WaitForSingleObject(Process.hProcess, INFINITE);
    ::GetExitCodeProcess(Process.hProcess, &Status);
    ::CloseHandle(Process.hProcess);
    ::CloseHandle(Process.hThread);
    Result.Status = static_cast<int>(Status);
    Result.Out = ReadWhole(OutName);
    Result.Err = ReadWhole(ErrName);
    return Result;
}

std::string VelmoraCli()
{
    std::wstring Path(32768, L'\0');
    Path.resize(::GetModuleFileNameW(nullptr, Path.data(), static_cast<DWORD>(Path.size())));
    return WideToUtf8((std::filesystem::path(Path).parent_path() / VELMORA_CLI_FROM_TESTS).wstring());
}
#else
TProgramRun RunProgram(const std::string& Program, const std::vector<std::string>& Args, const std::string& Scratch,
                       const std::string* Input, const std::string& Prefix)
{
    const std::filesystem::path Folder = Scratch;
    std::string Command = Prefix + ShellQuote(Program);
    for (const auto& Arg : Args) {
        Command += ' ';
        Command += ShellQuote(Arg);
    }
    if (Input) {
        std::ofstream(Folder / "stdin", std::ios::binary) << *Input;
        Command += " <";
        Command += ShellQuote((Folder / "stdin").string());
    }
    Command += " >";
    Command += ShellQuote((Folder / "stdout").string());
    Command += " 2>";
    Command += ShellQuote((Folder / "stderr").string());
    TProgramRun Result;
    const int Raw = std::system(Command.c_str());
    Result.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
    Result.Out = ReadWhole(Folder / "stdout");
    Result.Err = ReadWhole(Folder / "stderr");
    return Result;
}

std::string VelmoraCli()
{
    return VELMORA_CLI;
}
#endif
