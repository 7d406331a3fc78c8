// velmora-cli on Windows: the wide command line split and its wildcards expanded,
// binary standard streams, wide file names.

#ifdef _WIN32

#include "CliPlatform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "Win32Text.h"

namespace {

struct TArgument {
    std::wstring Text;
    bool Wild = false;  // a "*" or "?" outside quotes
};

bool IsBlank(wchar_t C)
{
    return C == L' ' || C == L'\t';
}

// Splits a command line as the C runtime does: the program's name up to the first
// blank (or within quotes, taken as it is); then blanks separate the arguments,
// quotes group, 2n backslashes before a quote give n and the quote groups, 2n+1
// give n and a literal quote, and "" within quotes is a literal quote.
std::vector<TArgument> SplitCommandLine(const wchar_t* Line)
{
    std::vector<TArgument> Arguments;
    const wchar_t* P = Line;
    if (*P == L'"') {
        ++P;
        while (*P != L'\0' && *P != L'"') ++P;
        if (*P == L'"') ++P;
    } else {
        while (*P != L'\0' && !IsBlank(*P)) ++P;
    }
    for (;;) {
        while (IsBlank(*P)) ++P;
        if (*P == L'\0') break;
        TArgument Argument;
        bool InQuotes = false;
        while (*P != L'\0' && (InQuotes || !IsBlank(*P))) {
            if (*P == L'\\') {
                size_t Backslashes = 0;
                while (*P == L'\\') {
                    ++Backslashes;
                    ++P;
                }
                if (*P == L'"') {
                    Argument.Text.append(Backslashes / 2, L'\\');
                    if (Backslashes % 2 == 1) {
                        Argument.Text += L'"';
                        ++P;
                    }
                } else {
                    Argument.Text.append(Backslashes, L'\\');
                }
            } else if (*P == L'"') {
                if (InQuotes && P[1] == L'"') {
                    Argument.Text += L'"';
                    P += 2;
                } else {
                    InQuotes = !InQuotes;
                    ++P;
                }
            } else {
                if (!InQuotes && (*P == L'*' || *P == L'?')) Argument.Wild = true;
                Argument.Text += *P++;
            }
        }
        Arguments.push_back(std::move(Argument));
    }
    return Arguments;
}

// The names that Pattern's last part matches in its folder, with that folder's
// part of Pattern before each; empty when none does. "." and ".." are left out.
std::vector<std::string> Expand(const std::wstring& Pattern)
{
    std::vector<std::string> Names;
    const size_t Cut = Pattern.find_last_of(L"\\/:");
    const std::string Folder = WideToUtf8(Cut == std::wstring::npos ? std::wstring() : Pattern.substr(0, Cut + 1));
    WIN32_FIND_DATAW Found{};
    const HANDLE Search =
        ::FindFirstFileExW(Pattern.c_str(), FindExInfoBasic, &Found, FindExSearchNameMatch, nullptr, 0);
    if (Search == INVALID_HANDLE_VALUE) return Names;
    do {
        const std::wstring_view Name = Found.cFileName;
        if (Name != L"." && Name != L"..") Names.push_back(Folder + WideToUtf8(Name));
    } while (::FindNextFileW(Search, &Found));
    ::FindClose(Search);
    std::sort(Names.begin(), Names.end());
    return Names;
}

}  // namespace

std::vector<std::string> ProgramArguments(int, char**)
{
    std::vector<std::string> Result;
    for (const TArgument& Argument : SplitCommandLine(::GetCommandLineW())) {
        if (Argument.Wild) {
            std::vector<std::string> Names = Expand(Argument.Text);
            if (!Names.empty()) {
                Result.insert(Result.end(), std::make_move_iterator(Names.begin()),
                              std::make_move_iterator(Names.end()));
                continue;
            }
        }
        Result.push_back(WideToUtf8(Argument.Text));
    }
    return Result;
}

void SetUpStandardStreams()
{
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

int OpenForReading(const std::string& Name)
{
    std::wstring Wide;
    if (!WidePath(Name, Wide)) {
        errno = EILSEQ;
        return -1;
    }
    const int Fd = ::_wopen(Wide.c_str(), _O_RDONLY | _O_BINARY);
    if (Fd < 0 && errno == EACCES) {
        // The C runtime cannot open a folder and calls it a file it may not read.
        const DWORD Attributes = ::GetFileAttributesW(Wide.c_str());
        if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY)) errno = EISDIR;
    }
    return Fd;
}

#endif  // _WIN32
