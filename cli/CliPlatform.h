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

// The file of a UTF-8 name opened for reading with the wide call, as a file
// descriptor; -1 with errno on failure.
int OpenForReading(const std::string& Name);

// The Windows C library has no sockets among its file kinds.
#ifndef S_ISSOCK
#define S_ISSOCK(Mode) 0
#endif

#else

#include <csignal>

#include <fcntl.h>

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

inline int OpenForReading(const std::string& Name)
{
    return ::open(Name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

// Paths are bytes, as the system takes them.

#endif
