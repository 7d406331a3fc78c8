// Byte streams for the decoder and the loader: read up to n bytes, a 64-bit
// position, seeks relative and absolute.
//
// The decoder reads its structure one byte per call, so ReadByte is an inline fast
// path over a window of buffered bytes; only when the window is used up does a
// virtual refill run. Read() of a large count bypasses the window.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "Exceptions.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Receives bytes in runs, in order (see TStream::StartTap).
class TByteSink {
public:
    virtual void Consume(const uint8_t* Data, size_t Size) = 0;

protected:
    ~TByteSink() = default;
};

class TStream {
public:
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to Count bytes into Buffer; returns the number read, 0 at the end of
    // the stream or on a read error (never negative counts for a non-negative Count).
    int64_t Read(void* Buffer, int64_t Count)
    {
        // Most string bodies are a few bytes that the buffer holds already.
        if (Count > 0 && Buffer != nullptr && Count <= FEnd - FCur) {
            std::memcpy(Buffer, FCur, static_cast<size_t>(Count));
            FCur += Count;
            return Count;
        }
        return ReadSlow(Buffer, Count);
    }

    // One byte (0..255), or -1 at the end of the stream or on a read error.
    int ReadByte()
    {
        if (FCur != FEnd) return *FCur++;
        return ReadByteSlow();
    }

    // Up to Count bytes from the position, in place: a view of the bytes the stream
    // holds already (its buffer, or the memory of a memory stream), refilled once
    // when it holds none. Valid until the next call on the stream; the position
    // moves past them. Empty at the end of the stream or on a read error. Spares
    // the copy that Read makes, for a reader that only looks at the bytes.
    std::string_view ReadView(int64_t Count);

    // Current position as a byte offset from the start.
    int64_t Position() const { return FWindowPos + (FCur - FBegin); }

    // Moves the position; returns the new position, or -1 when the target lies
    // before the start (the position is then unchanged). Seeking past the end is
    // allowed; reads there return 0.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin);

    // Total size in bytes, as known when the stream was opened.
    virtual int64_t Size() const = 0;

    // Bytes between the position and the end; 0 when the position is past the end.
    int64_t Remaining() const;

    // Passes every byte that the stream gives out from its position on to Sink, in
    // order, until StopTap: a reader that must hash what it reads (the info bytes)
    // then needs no second read. Runs are passed on before the buffer they lie in
    // is refilled, and the rest at StopTap. A seek in between breaks the run.
    void StartTap(TByteSink& Sink);
    // Ends the tap; true when Sink got every byte from the start to the position.
    bool StopTap();

    // True when the source may have changed since the stream was opened, so that
    // what was read need not be the bytes of any one version of it. Bytes in
    // memory never change.
    virtual bool Changed() const { return false; }

protected:
    TStream() = default;

    // Makes the window hold bytes starting at absolute position Pos (Pos <= Size()).
    // Implementations set FBegin/FCur/FEnd and FWindowPos; an empty window means the
    // end of the stream or a read error.
    virtual void Fill(int64_t Pos) = 0;
    // Reads Count bytes at absolute position Pos straight into Buffer, bypassing the
    // window; returns the number read.
    virtual int64_t ReadAt(int64_t Pos, void* Buffer, int64_t Count) = 0;

    const uint8_t* FBegin = nullptr;
    const uint8_t* FCur = nullptr;
    const uint8_t* FEnd = nullptr;
    int64_t FWindowPos = 0;  // absolute position of FBegin

    // Empties the window and puts the position at Pos; the next read refills there.
    void Detach(int64_t Pos)
    {
        FBegin = FCur = FEnd = nullptr;
        FWindowPos = Pos;
    }

private:
    int ReadByteSlow();
    int64_t ReadSlow(void* Buffer, int64_t Count);
    // Passes the bytes between the tap's mark and the position on, while the
    // window still holds them.
    void FlushTap();

    TByteSink* FTap = nullptr;
    int64_t FTapNext = 0;  // absolute position of the next byte for the tap
    bool FTapBroken = false;
};

// Asks the system to back a buffer that is about to be filled with memory at
// once, in one call, rather than in one page fault per 4 KiB as each page is
// first written: a 64 MB string body then costs no 16,384 faults, and its middle
// is backed in 2 MiB pages where the system allows. Worth it for buffers of a few
// hundred KiB and more. Only a hint, given before the first write; does nothing
// where the system cannot do it.
void PopulateBuffer(void* Data, size_t Size);

// A stream over bytes held in memory. The bytes are copied in unless the view
// constructor is used, in which case the caller keeps them alive.
class TMemoryStream : public TStream {
public:
    explicit TMemoryStream(std::string Bytes);
    static TMemoryStream View(std::string_view Bytes);
    TMemoryStream(TMemoryStream&& Other) noexcept;
    int64_t Size() const override { return FSize; }

protected:
    void Fill(int64_t Pos) override;
    int64_t ReadAt(int64_t Pos, void* Buffer, int64_t Count) override;

private:
    struct ViewTag {};
    TMemoryStream(ViewTag, std::string_view Bytes);
    std::string FOwned;  // the bytes, unless the stream is a view
    const uint8_t* FData = nullptr;
    int64_t FSize = 0;
};

// A read-only, buffered stream on a regular file. Opening anything else (a folder,
// a FIFO, a device) fails: such a source could be read forever.
class TFileStream : public TStream {
public:
    // Raises EFOpenError (an Exception) when the file cannot be opened.
    explicit TFileStream(const std::string& FileName);
    ~TFileStream() override;
    int64_t Size() const override { return FSize; }
    const std::string& FileName() const { return FFileName; }

    // True when the open file was written to, cut or grown, or its path names
    // another file or none, since opening: its size, modification and change times
    // or identity differ. A write in the same clock tick as the file's last change
    // would leave the times as they were, so opening a file changed in the current
    // tick waits (a few milliseconds at most) until the tick has passed.
    bool Changed() const override;

protected:
    void Fill(int64_t Pos) override;
    int64_t ReadAt(int64_t Pos, void* Buffer, int64_t Count) override;

private:
    // A read of at least this many bytes skips the window; the window itself never
    // holds more, and a small file gets a buffer of its own size only.
    static constexpr int64_t BufferSize = 256 * 1024;

    std::string FFileName;
#ifdef _WIN32
    void* FHandle = nullptr;  // the file's HANDLE
#else
    int FHandle = -1;
#endif
    int64_t FSize = 0;
    std::unique_ptr<uint8_t[]> FBuffer;  // allocated on the first refill
    int64_t FBufferSize = 0;

    // What the file was when it was opened.
    struct TIdentity {
        uint64_t Device = 0, Inode = 0;
        int64_t Size = 0;
        int64_t Modified = 0, StatusChanged = 0;  // nanoseconds since the epoch
        bool operator==(const TIdentity&) const = default;
    };
    TIdentity FOpened;

    // The system's part (Streams.cpp, Streams_win32.cpp); the window, the reads
    // and the change check over them are the same everywhere. One read at an
    // offset, of at most 1 GiB: the bytes read, 0 at the end, negative on an error.
    int64_t ReadSome(int64_t Pos, uint8_t* Out, int64_t Count);
    // The identity of the open file; false when the system cannot say.
    bool IdentifyOpen(TIdentity& Identity) const;
    // Whether the name still names the open file.
    bool StillNamed() const;
};
