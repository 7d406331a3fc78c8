// TFileStream on Windows: the file opened by its wide name, read at explicit
// offsets, and known again by its volume and file index.

#ifdef _WIN32

#include <algorithm>
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

// The identity of an open file: volume and file index, size and the last write
// (in 100 ns ticks), in one call, which under Wine is one trip to its server.
// False when the system cannot say.
template <class TIdentity> bool ReadIdentity(HANDLE File, TIdentity& Identity)
{
    BY_HANDLE_FILE_INFORMATION Info{};
    if (!::GetFileInformationByHandle(File, &Info)) return false;
    Identity.Device = Info.dwVolumeSerialNumber;
    Identity.Inode = (static_cast<uint64_t>(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow;
    Identity.Size = static_cast<int64_t>((static_cast<uint64_t>(Info.nFileSizeHigh) << 32) | Info.nFileSizeLow);
    Identity.Modified = Ticks(Info.ftLastWriteTime);
    return true;
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
        if (!ReadIdentity(File, FOpened)) {
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

bool TFileStream::Changed() const
{
    // The name cannot have been given to another file meanwhile: the file is open
    // without FILE_SHARE_DELETE, so no one can rename or delete it.
    TIdentity Open;
    return !ReadIdentity(static_cast<HANDLE>(FHandle), Open) || Open != FOpened;
}

TFileStream::~TFileStream()
{
    if (FHandle != nullptr) ::CloseHandle(static_cast<HANDLE>(FHandle));
}

void TFileStream::Fill(int64_t Pos)
{
    if (Pos < 0 || Pos >= FSize) {
        Detach(Pos);
        return;
    }
    if (!FBuffer) {
        FBufferSize = std::clamp<int64_t>(FSize, 1, BufferSize);
        FBuffer.reset(new uint8_t[static_cast<size_t>(FBufferSize)]);
    }
    const int64_t Got = ReadAt(Pos, FBuffer.get(), FBufferSize);
    if (Got <= 0) {
        Detach(Pos);
        return;
    }
    FBegin = FBuffer.get();
    FCur = FBegin;
    FEnd = FBegin + Got;
    FWindowPos = Pos;
}

int64_t TFileStream::ReadAt(int64_t Pos, void* Buffer, int64_t Count)
{
    // Never past the size seen at opening: a file that grows while it is read must
    // not keep the reader going, and Remaining() stays true to what Read delivers.
    if (Pos < 0 || Pos >= FSize || Count <= 0) return 0;
    Count = std::min(Count, FSize - Pos);
    uint8_t* Out = static_cast<uint8_t*>(Buffer);
    int64_t Done = 0;
    while (Done < Count) {
        const DWORD Chunk = static_cast<DWORD>(std::min<int64_t>(Count - Done, 1 << 30));
        const uint64_t At = static_cast<uint64_t>(Pos + Done);
        // The offset travels with each read, so no shared file position matters.
        OVERLAPPED Where{};
        Where.Offset = static_cast<DWORD>(At & 0xFFFFFFFFu);
        Where.OffsetHigh = static_cast<DWORD>(At >> 32);
        DWORD Got = 0;
        if (!::ReadFile(static_cast<HANDLE>(FHandle), Out + Done, Chunk, &Got, &Where) || Got == 0) break;
        Done += Got;
    }
    return Done;
}

#endif  // _WIN32
