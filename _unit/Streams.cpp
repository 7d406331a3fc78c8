#include "Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

// ---------------------------------------------------------------------------
// TStream

void TStream::StartTap(TByteSink& Sink)
{
    FTap = &Sink;
    FTapNext = Position();
    FTapBroken = false;
}

bool TStream::StopTap()
{
    FlushTap();
    const bool Whole = FTap != nullptr && !FTapBroken;
    FTap = nullptr;
    return Whole;
}

void TStream::FlushTap()
{
    if (FTap == nullptr || FTapBroken) return;
    const int64_t Pos = Position();
    if (Pos == FTapNext) return;
    // The bytes must still stand in the window, and the position must not have gone
    // back past what was passed on already.
    if (FBegin == nullptr || FTapNext < FWindowPos || FTapNext > Pos) {
        FTapBroken = true;
        return;
    }
    FTap->Consume(FBegin + (FTapNext - FWindowPos), static_cast<size_t>(Pos - FTapNext));
    FTapNext = Pos;
}

int64_t TStream::ReadSlow(void* Buffer, int64_t Count)
{
    if (Count <= 0 || Buffer == nullptr) return 0;
    FlushTap();
    uint8_t* Out = static_cast<uint8_t*>(Buffer);
    int64_t Done = 0;
    while (Done < Count) {
        int64_t InWindow = FEnd - FCur;
        if (InWindow > 0) {
            int64_t Take = std::min(InWindow, Count - Done);
            std::memcpy(Out + Done, FCur, static_cast<size_t>(Take));
            FCur += Take;
            Done += Take;
            continue;
        }
        int64_t Pos = Position();
        if (Pos >= Size()) break;
        int64_t Want = Count - Done;
        if (Want >= 64 * 1024) {
            // Big string bodies go straight into the caller's buffer: copying them
            // through the window would only double the memory traffic.
            FlushTap();
            int64_t Got = ReadAt(Pos, Out + Done, Want);
            if (Got <= 0) break;
            if (FTap != nullptr && !FTapBroken && FTapNext == Pos) {
                FTap->Consume(Out + Done, static_cast<size_t>(Got));
                FTapNext = Pos + Got;
            }
            Done += Got;
            Detach(Pos + Got);
            if (Got < Want) break;
            continue;
        }
        FlushTap();
        Fill(Pos);
        if (FCur == FEnd) break;
    }
    FlushTap();
    return Done;
}

std::string_view TStream::ReadView(int64_t Count)
{
    if (Count <= 0) return {};
    if (FCur == FEnd) {
        const int64_t Pos = Position();
        if (Pos >= Size()) return {};
        FlushTap();
        Fill(Pos);
    }
    const int64_t Take = std::min<int64_t>(Count, FEnd - FCur);
    const std::string_view View(reinterpret_cast<const char*>(FCur), static_cast<size_t>(Take));
    FCur += Take;
    return View;
}

int TStream::ReadByteSlow()
{
    int64_t Pos = Position();
    if (Pos >= Size()) return -1;
    FlushTap();
    Fill(Pos);
    if (FCur == FEnd) return -1;
    return *FCur++;
}

int64_t TStream::Seek(int64_t Offset, TSeekOrigin Origin)
{
    int64_t Base = 0;
    switch (Origin) {
    case TSeekOrigin::soBeginning: Base = 0; break;
    case TSeekOrigin::soCurrent: Base = Position(); break;
    case TSeekOrigin::soEnd: Base = Size(); break;
    }
    int64_t Target = 0;
    if (__builtin_add_overflow(Base, Offset, &Target) || Target < 0) return -1;
    if (FTap != nullptr && Target != Position()) {
        // What the tap was given would no longer be the bytes read in a row.
        FlushTap();
        FTapBroken = true;
    }
    if (FBegin != nullptr && Target >= FWindowPos && Target - FWindowPos <= FEnd - FBegin)
        FCur = FBegin + (Target - FWindowPos);
    else
        Detach(Target);
    return Target;
}

int64_t TStream::Remaining() const
{
    int64_t Left = Size() - Position();
    return Left > 0 ? Left : 0;
}

void PopulateBuffer(void* Data, size_t Size)
{
#ifdef MADV_POPULATE_WRITE
    constexpr uintptr_t Page = 4096;
    constexpr uintptr_t HugePage = uintptr_t{2} << 20;
    if (Data == nullptr) return;
    const uintptr_t First = reinterpret_cast<uintptr_t>(Data);
    const uintptr_t Last = First + Size;
    // Where the machine is virtual, the first write to each small page costs a
    // trip to the host as well (about 3 ms per MB in our test VMs, 30 times the
    // copy itself); backing the middle of the buffer with 2 MiB pages takes that
    // away. Where huge pages are off this asks nothing, and the small pages are
    // still backed in one call below.
    const uintptr_t HugeBegin = (First + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t HugeEnd = Last & ~(HugePage - 1);
    if (HugeEnd > HugeBegin) (void)::madvise(reinterpret_cast<void*>(HugeBegin), HugeEnd - HugeBegin, MADV_HUGEPAGE);
    const uintptr_t Begin = (First + Page - 1) & ~(Page - 1);
    const uintptr_t End = Last & ~(Page - 1);
    // Failure (an older system) changes nothing but the speed.
    if (End > Begin) (void)::madvise(reinterpret_cast<void*>(Begin), End - Begin, MADV_POPULATE_WRITE);
#else
    (void)Data;
    (void)Size;
#endif
}

// ---------------------------------------------------------------------------
// TMemoryStream
//
// The whole block is the window, so ReadByte never leaves its inline path until
// the end of the bytes.

TMemoryStream::TMemoryStream(std::string Bytes) : FOwned(std::move(Bytes))
{
    FData = reinterpret_cast<const uint8_t*>(FOwned.data());
    FSize = static_cast<int64_t>(FOwned.size());
    Fill(0);
}

TMemoryStream::TMemoryStream(ViewTag, std::string_view Bytes)
{
    FData = reinterpret_cast<const uint8_t*>(Bytes.data());
    FSize = static_cast<int64_t>(Bytes.size());
    Fill(0);
}

TMemoryStream TMemoryStream::View(std::string_view Bytes)
{
    return TMemoryStream(ViewTag{}, Bytes);
}

TMemoryStream::TMemoryStream(TMemoryStream&& Other) noexcept
{
    const int64_t Pos = Other.Position();
    const bool Owned = Other.FData != nullptr && Other.FData == reinterpret_cast<const uint8_t*>(Other.FOwned.data());
    FOwned = std::move(Other.FOwned);
    FData = Owned ? reinterpret_cast<const uint8_t*>(FOwned.data()) : Other.FData;
    FSize = Other.FSize;
    Fill(Pos);
    Other.FData = nullptr;
    Other.FSize = 0;
    Other.Detach(0);
}

void TMemoryStream::Fill(int64_t Pos)
{
    if (FData == nullptr || Pos < 0 || Pos > FSize) {
        Detach(Pos);
        return;
    }
    FBegin = FData;
    FEnd = FData + FSize;
    FCur = FData + Pos;
    FWindowPos = 0;
}

int64_t TMemoryStream::ReadAt(int64_t Pos, void* Buffer, int64_t Count)
{
    if (Pos < 0 || Pos >= FSize || Count <= 0) return 0;
    int64_t Take = std::min(Count, FSize - Pos);
    std::memcpy(Buffer, FData + Pos, static_cast<size_t>(Take));
    return Take;
}

// ---------------------------------------------------------------------------
// TFileStream (the Windows part of it is in Streams_win32.cpp)

#ifndef _WIN32

namespace {

int64_t Nanoseconds(const timespec& Time)
{
    return static_cast<int64_t>(Time.tv_sec) * 1000000000 + Time.tv_nsec;
}

template <class TIdentity> TIdentity IdentityOf(const struct stat& Info)
{
    return TIdentity{static_cast<uint64_t>(Info.st_dev), static_cast<uint64_t>(Info.st_ino),
                     static_cast<int64_t>(Info.st_size), Nanoseconds(Info.st_mtim), Nanoseconds(Info.st_ctim)};
}

}  // namespace

TFileStream::TFileStream(const std::string& FileName) : FFileName(FileName)
{
    // O_NONBLOCK so that opening a FIFO with no writer returns at once; the type
    // check below then turns it away. Regular files ignore the flag.
    FHandle = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (FHandle < 0) {
        const int Error = errno;
        throw EFOpenError(FileName, std::strerror(Error), Error);
    }
    struct stat Info {};
    // The file's times come from the kernel's coarse clock. A write stamped in the
    // same tick as the change seen here would not show, so the clock is read before
    // the file is examined, until it has moved past the file's last change: every
    // later write then gets a later time. Only a file changed a moment ago waits.
    for (int Tries = 0;; ++Tries) {
        timespec Now{};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &Now);
        if (::fstat(FHandle, &Info) != 0) {
            int Error = errno;
            ::close(FHandle);
            throw EFOpenError(FileName, std::strerror(Error), Error);
        }
        // A clock behind the file (set back, or a file server ahead of it) would
        // keep this waiting; after 20 ms the times are taken as they are.
        if (Nanoseconds(Now) > Nanoseconds(Info.st_ctim) || Tries >= 20 || !S_ISREG(Info.st_mode)) break;
        ::usleep(1000);
    }
    if (!S_ISREG(Info.st_mode)) {
        ::close(FHandle);
        if (S_ISDIR(Info.st_mode)) throw EFOpenError(FileName, std::strerror(EISDIR), EISDIR);
        throw EFOpenError(FileName, NotRegularFileText);
    }
    FSize = static_cast<int64_t>(Info.st_size);
    FOpened = IdentityOf<TIdentity>(Info);
}

bool TFileStream::IdentifyOpen(TIdentity& Identity) const
{
    struct stat Info {};
    if (::fstat(FHandle, &Info) != 0) return false;
    Identity = IdentityOf<TIdentity>(Info);
    return true;
}

bool TFileStream::StillNamed() const
{
    struct stat Named {};
    return ::stat(FFileName.c_str(), &Named) == 0 && IdentityOf<TIdentity>(Named) == FOpened;
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::ReadSome(int64_t Pos, uint8_t* Out, int64_t Count)
{
    for (;;) {
        const ssize_t Got = ::pread(FHandle, Out, static_cast<size_t>(Count), static_cast<off_t>(Pos));
        if (Got < 0 && errno == EINTR) continue;
        return Got;
    }
}

#endif  // !_WIN32

bool TFileStream::Changed() const
{
    TIdentity Open;
    if (!IdentifyOpen(Open) || Open != FOpened) return true;
    // The path must still name the file that was read: the bytes are given out
    // under its name.
    return !StillNamed();
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
    int64_t Got = ReadAt(Pos, FBuffer.get(), FBufferSize);
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
        const int64_t Got = ReadSome(Pos + Done, Out + Done, std::min<int64_t>(Count - Done, 1 << 30));
        if (Got <= 0) break;
        Done += Got;
    }
    return Done;
}
