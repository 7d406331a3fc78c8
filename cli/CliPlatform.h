// What velmora-cli needs from the system, where Windows differs: the arguments and
// every path in UTF-8 inside the program, wide at the Windows calls.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32

#include <sys/types.h>

// The arguments after the program's name, in UTF-8, from the wide command line.
// An argument with "*" or "?" outside quotes stands for the names it matches in its
// folder, in byte order, and for itself when none does, as Windows programs
// expand wildcards; Argv is not used.
std::vector<std::string> ProgramArguments(int Argc, char** Argv);

// Standard input, output and error in binary mode: the links and the JSON lines
// go out as UTF-8 with a bare line feed, and a list read from standard input comes
// in with its bytes as they are.
void SetUpStandardStreams();

// The file of a UTF-8 name opened with the wide call; errno says why on failure.
std::FILE* OpenForReading(const std::string& Name);

// The C library's getdelim, which the Windows one lacks: the next piece of In up to
// and with Delimiter, in *Line (grown with realloc); its length, or -1 at the end
// or on an error.
ssize_t getdelim(char** Line, size_t* Capacity, int Delimiter, std::FILE* In);

inline std::filesystem::path FsPath(const std::string& Name)
{
    return std::filesystem::path(std::u8string(Name.begin(), Name.end()));
}

inline std::string FsName(const std::filesystem::path& Path)
{
    const std::u8string Name = Path.u8string();
    return std::string(Name.begin(), Name.end());
}

// Where -r joins a folder and an entry's name.
inline constexpr char PathSeparator = '\\';
inline bool EndsWithSeparator(const std::string& Path)
{
    return !Path.empty() && (Path.back() == '/' || Path.back() == '\\' || Path.back() == ':');
}

#else

#include <csignal>

inline std::vector<std::string> ProgramArguments(int Argc, char** Argv)
{
    return std::vector<std::string>(Argv + (Argc > 0 ? 1 : 0), Argv + Argc);
}

// A reader that goes away makes the next write fail with EPIPE, which is then
// reported and ends the run with status 1, instead of the signal ending it.
inline void SetUpStandardStreams()
{
    std::signal(SIGPIPE, SIG_IGN);
}

inline std::FILE* OpenForReading(const std::string& Name)
{
    return std::fopen(Name.c_str(), "rb");
}

// Paths are bytes, as the system takes them.
inline std::filesystem::path FsPath(const std::string& Name)
{
    return std::filesystem::path(Name);
}

inline std::string FsName(const std::filesystem::path& Path)
{
    return Path.string();
}

inline constexpr char PathSeparator = '/';
inline bool EndsWithSeparator(const std::string& Path)
{
    return !Path.empty() && Path.back() == '/';
}

#endif
