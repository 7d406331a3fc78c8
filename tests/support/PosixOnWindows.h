// The few POSIX file calls that the stream tests make, on Windows: pwrite, mkdir
// with a mode, and a rename that replaces its target as POSIX rename does (the C
// runtime's refuses an existing target). Test code only.
#pragma once

#ifdef _WIN32

#include <cstdint>
#include <cstdio>

#include <io.h>
#include <sys/types.h>
#include <windows.h>

#include "Win32Text.h"

inline ssize_t pwrite(int Handle, const void* Bytes, size_t Count, int64_t Offset)
{
    if (::_lseeki64(Handle, Offset, SEEK_SET) < 0) return -1;
    return ::_write(Handle, Bytes, static_cast<unsigned>(Count));
}

inline int mkdir(const char* Path, int)
{
    return ::_mkdir(Path);
}

inline int VelmoraReplacingRename(const char* From, const char* To)
{
    std::wstring WideFrom, WideTo;
    if (!Utf8ToWide(From, WideFrom) || !Utf8ToWide(To, WideTo)) return -1;
    return ::MoveFileExW(WideFrom.c_str(), WideTo.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}
#define rename VelmoraReplacingRename

#endif
