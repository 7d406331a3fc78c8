// Exception classes shared by the core units. Messages are 8-bit (UTF-8) text.
#pragma once

#include <stdexcept>
#include <string>

// The general exception that carries a message text.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
    std::string Message() const { return what(); }
};

// Raised by a failed assertion. Assertions stay on in every build; the message
// reads "<text> (<source path>, line <n>)".
class EAssertionFailed : public Exception {
public:
    EAssertionFailed(const std::string& Text, const char* SourcePath, int Line);
};

// Checks a condition and raises EAssertionFailed naming the given source path and
// the caller's line when it does not hold.
#define VELMORA_ASSERT(Condition, Text, SourcePath)                               \
    do {                                                                          \
        if (!(Condition)) throw EAssertionFailed((Text), (SourcePath), __LINE__); \
    } while (false)

// The reason for a file that is opened only as a regular file and is something
// else (a device, a FIFO, a socket); the system has no error text that says so.
inline constexpr const char* NotRegularFileText = "Not a regular file";

// A file that cannot be opened: "Cannot open file "<path>". <reason>". SystemError
// is the errno value behind Reason, 0 when no system call failed (a path that
// names no regular file).
class EFOpenError : public Exception {
public:
    EFOpenError(const std::string& FileName, const std::string& Reason, int SystemError = 0)
        : Exception("Cannot open file \"" + FileName + "\". " + Reason), FSystemError(SystemError)
    {
    }
    int SystemError() const { return FSystemError; }

private:
    int FSystemError = 0;
};

// A file that cannot be created: "Cannot create file "<path>". <reason>".
class EFCreateError : public Exception {
public:
    EFCreateError(const std::string& FileName, const std::string& Reason)
        : Exception("Cannot create file \"" + FileName + "\". " + Reason)
    {
    }
};
