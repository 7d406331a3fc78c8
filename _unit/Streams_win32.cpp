// TFileStream on Windows: the file opened by its wide name, read at explicit
// offsets, and known again by its volume and file index.

#ifdef _WIN32

#include <cerrno>
#include <cstring>

#include <windows.h>

#include "Streams.h"
#include "Win32Text.h"

namespace {

int64_t Ticks(const FILETIME& Time)
{
    return static_cast<int64_t>((static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime);
}

// Others may go on reading and writing the file while it is open, but not rename
// or delete it: its name then names the bytes that were read, as Windows programs
// expect of a file another one holds open.
constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

TFileStream::TFileStream(const std::string& FileName) : FFileName(FileName)
{
    std::wstring Wide;
    if (!WidePath(FileName, Wide)) throw EFOpenError(FileName, SystemErrorText(ERROR_NO_UNICODE_TRANSLATION));
    const HANDLE File = ::CreateFileW(Wide.c_str(), GENERIC_READ, ShareReadWrite, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
        const DWORD Error = ::GetLastError();
        // A folder refuses to open as a file with "Access is denied", which would
        // send the user looking at the permissions.
        const DWORD Attributes = ::GetFileAttributesW(Wide.c_str());
        if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            throw EFOpenError(FileName, std::strerror(EISDIR));
        throw EFOpenError(FileName, SystemErrorText(Error));
    }
    FHandle = File;
    // Consoles, pipes and devices could be read forever.
    if (::GetFileType(File) != FILE_TYPE_DISK) {
        ::CloseHandle(File);
        FHandle = nullptr;
        throw EFOpenError(FileName, "Not a regular file");
    }
    // The file's times come from the system's coarse clock: a write in the tick of
    // the last change seen here would leave them as they are, so a file changed
    // in the current tick is examined again once the clock has moved on.
    for (int Tries = 0;; ++Tries) {
        FILETIME Now{};
        ::GetSystemTimeAsFileTime(&Now);
        if (!IdentifyOpen(FOpened)) {
            const DWORD Error = ::GetLastError();
            ::CloseHandle(File);
            FHandle = nullptr;
            throw EFOpenError(FileName, SystemErrorText(Error));
        }
        if (Ticks(Now) > FOpened.Modified || Tries >= 20) break;
        ::Sleep(1);
    }
    FSize = FOpened.Size;
}

// The identity of the open file: volume and file index, size and the last write
// (in 100 ns ticks), in one call, which under Wine is one trip to its server.
bool TFileStream::IdentifyOpen(TIdentity& Identity) const
{
    BY_HANDLE_FILE_INFORMATION Info{};
    if (!::GetFileInformationByHandle(static_cast<HANDLE>(FHandle), &Info)) return false;
    Identity.Device = Info.dwVolumeSerialNumber;
    Identity.Inode = (static_cast<uint64_t>(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow;
    Identity.Size = static_cast<int64_t>((static_cast<uint64_t>(Info.nFileSizeHigh) << 32) | Info.nFileSizeLow);
    Identity.Modified = Ticks(Info.ftLastWriteTime);
    return true;
}

bool TFileStream::StillNamed() const
{
    // The name cannot have been given to another file meanwhile: the file is open
    // without FILE_SHARE_DELETE, so no one can rename or delete it.
    return true;
}

TFileStream::~TFileStream()
{
    if (FHandle != nullptr) ::CloseHandle(static_cast<HANDLE>(FHandle));
}

int64_t TFileStream::ReadSome(int64_t Pos, uint8_t* Out, int64_t Count)
{
    // The offset travels with each read, so no shared file position matters.
    const uint64_t At = static_cast<uint64_t>(Pos);
    OVERLAPPED Where{};
    Where.Offset = static_cast<DWORD>(At & 0xFFFFFFFFu);
    Where.OffsetHigh = static_cast<DWORD>(At >> 32);
    DWORD Got = 0;
    if (!::ReadFile(static_cast<HANDLE>(FHandle), Out, static_cast<DWORD>(Count), &Got, &Where)) return -1;
    return Got;
}

#endif  // _WIN32
