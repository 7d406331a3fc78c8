// Streams: the buffered file stream must read exactly what the bytes hold, however
// reads, single bytes and seeks interleave across its buffer; opening refuses
// anything that is not a regular file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Streams.h"
#include "TestSupport.h"
#ifdef _WIN32
#include "PosixOnWindows.h"
#endif

namespace {

std::string RandomBytes(size_t Count, unsigned Seed)
{
    std::mt19937 Generator(Seed);
    std::string Bytes(Count, '\0');
    for (char& C : Bytes) C = static_cast<char>(Generator() & 0xFF);
    return Bytes;
}

// One step of a read pattern: a Read of Count bytes (Count > 0), ReadByte
// (Count == 0), or a seek (Count < 0, Offset from Origin).
struct TStep {
    int64_t Count;
    int64_t Offset = 0;
    TSeekOrigin Origin = TSeekOrigin::soCurrent;
};

// Plays the steps on a stream and records what each one returned, so that two
// streams over the same bytes can be compared, and both against the bytes.
std::string Play(TStream& Stream, const std::vector<TStep>& Steps, const std::string& Bytes)
{
    std::string Log;
    for (const TStep& Step : Steps) {
        const int64_t Before = Stream.Position();
        if (Step.Count > 0) {
            std::string Buffer(static_cast<size_t>(Step.Count), '\0');
            const int64_t Got = Stream.Read(Buffer.data(), Step.Count);
            Log += "R" + std::to_string(Got) + ";";
            const int64_t Expected = std::clamp<int64_t>(static_cast<int64_t>(Bytes.size()) - Before, 0, Step.Count);
            EXPECT_EQ(Got, Expected) << "read at " << Before;
            if (Got > 0) {
                EXPECT_EQ(Buffer.substr(0, static_cast<size_t>(Got)),
                          Bytes.substr(static_cast<size_t>(Before), static_cast<size_t>(Got)))
                    << "read at " << Before;
            }
        } else if (Step.Count == 0) {
            const int Byte = Stream.ReadByte();
            Log += "B" + std::to_string(Byte) + ";";
            const int Expected = Before < static_cast<int64_t>(Bytes.size())
                                     ? static_cast<unsigned char>(Bytes[static_cast<size_t>(Before)])
                                     : -1;
            EXPECT_EQ(Byte, Expected) << "byte at " << Before;
        } else {
            Log += "S" + std::to_string(Stream.Seek(Step.Offset, Step.Origin)) + ";";
        }
        Log += "@" + std::to_string(Stream.Position()) + ";";
    }
    return Log;
}

constexpr int64_t KiB = 1024;

struct TPatternRow {
    const char* Name;
    size_t Size;
    std::vector<TStep> Steps;
};

void PrintTo(const TPatternRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class PatternTable : public testing::TestWithParam<TPatternRow> {};

TEST_P(PatternTable, FileAndMemoryStreamsReadTheSameBytes)
{
    const TPatternRow& Row = GetParam();
    const std::string Bytes = RandomBytes(Row.Size, 7);
    TTempDir Dir;
    TFileStream File(Dir.Write("data.bin", Bytes));
    TMemoryStream Memory(Bytes);
    EXPECT_EQ(File.Size(), static_cast<int64_t>(Row.Size));
    EXPECT_EQ(Play(File, Row.Steps, Bytes), Play(Memory, Row.Steps, Bytes));
}

const TPatternRow PatternRows[] = {
    {"empty_file", 0, {{0}, {5}, {-1, 0, TSeekOrigin::soEnd}, {0}}},
    {"bytes_across_the_buffer_edge",
     600 * KiB,
     {{-1, 256 * KiB - 2, TSeekOrigin::soBeginning}, {0}, {0}, {0}, {0}, {-1, -1}, {0}}},
    {"step_back_right_after_a_refill",
     300 * KiB,
     {{-1, 256 * KiB - 1, TSeekOrigin::soBeginning}, {0}, {0}, {-1, -1}, {0}, {-1, -2}, {0}}},
    {"small_reads_across_the_edge",
     300 * KiB,
     {{-1, 256 * KiB - 10, TSeekOrigin::soBeginning}, {25}, {0}, {3000}, {0}}},
    {"large_read_bypasses_then_bytes_follow",
     1024 * KiB,
     {{0}, {700 * KiB}, {0}, {0}, {-1, -3}, {0}, {100 * KiB}, {0}}},
    {"large_read_past_the_end", 100 * KiB, {{10}, {1024 * KiB}, {0}, {5}}},
    {"seek_before_the_start_fails_and_stays", 1000, {{10}, {-1, -11}, {0}, {-1, -1, TSeekOrigin::soBeginning}, {0}}},
    {"seek_past_the_end_then_back",
     1000,
     {{-1, 5000, TSeekOrigin::soBeginning}, {0}, {10}, {-1, -10, TSeekOrigin::soEnd}, {20}}},
    {"seek_from_end", 300 * KiB, {{-1, -1, TSeekOrigin::soEnd}, {0}, {0}, {-1, -(260 * KiB), TSeekOrigin::soEnd}, {8}}},
    {"seek_nowhere", 100, {{0}, {-1, 0}, {0}}},
};
INSTANTIATE_TEST_SUITE_P(Patterns, PatternTable, testing::ValuesIn(PatternRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(FileStream, EveryByteOfAFileBiggerThanTheBuffer)
{
    const std::string Bytes = RandomBytes(1100 * KiB + 3, 11);
    TTempDir Dir;
    TFileStream File(Dir.Write("data.bin", Bytes));
    std::string Read;
    for (int B; (B = File.ReadByte()) >= 0;) Read += static_cast<char>(B);
    EXPECT_EQ(Read, Bytes);
    EXPECT_EQ(File.Position(), File.Size());
    EXPECT_EQ(File.Remaining(), 0);
}

TEST(FileStream, CountsOfZeroOrLessReadNothing)
{
    TTempDir Dir;
    TFileStream File(Dir.Write("data.bin", "abc"));
    char Buffer[4] = {};
    EXPECT_EQ(File.Read(Buffer, 0), 0);
    EXPECT_EQ(File.Read(Buffer, -5), 0);
    EXPECT_EQ(File.Position(), 0);
    EXPECT_EQ(File.Remaining(), 3);
}

// Positions beyond 4 GiB: a sparse file costs no disk.
TEST(FileStream, PositionsAreSixtyFourBits)
{
    TTempDir Dir;
    const std::string Name = Dir.File("sparse.bin");
    const int64_t Far = (int64_t{1} << 32) + 5;
    {
        int Handle = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(Handle, 0);
        ASSERT_EQ(::pwrite(Handle, "xyz", 3, Far), 3);
        ::close(Handle);
    }
    TFileStream File(Name);
    EXPECT_EQ(File.Size(), Far + 3);
    EXPECT_EQ(File.Seek(Far, TSeekOrigin::soBeginning), Far);
    EXPECT_EQ(File.ReadByte(), 'x');
    EXPECT_EQ(File.Position(), Far + 1);
    char Two[2];
    EXPECT_EQ(File.Read(Two, 2), 2);
    EXPECT_EQ(std::string(Two, 2), "yz");
    EXPECT_EQ(File.ReadByte(), -1);
    EXPECT_EQ(File.Seek(-4, TSeekOrigin::soCurrent), Far - 1);
    EXPECT_EQ(File.ReadByte(), 0);
}

TEST(FileStream, KeepsItsName)
{
    TTempDir Dir;
    const std::string Name = Dir.Write("a.torrent", "de");
    TFileStream File(Name);
    EXPECT_EQ(File.FileName(), Name);
}

// Whatever happens to the file between opening and the question, right after it
// was written (the same clock tick), counts as a change; reading does not.
#ifdef _WIN32
// Windows refuses to replace or delete a file that a stream holds open, so the
// name goes on naming the bytes read.
constexpr bool NameCanChangeWhileOpen = false;
#else
constexpr bool NameCanChangeWhileOpen = true;
#endif
TEST(FileStream, NoticesAFileThatChanged)
{
    struct TRow {
        const char* What;
        void (*Change)(const std::string& Name);
        bool Changed;
    };
    const TRow Rows[] = {
        {"untouched", [](const std::string&) {}, false},
        {"read to the end", [](const std::string&) {}, false},
        {"rewritten in place, same size",
         [](const std::string& Name) {
             const int Handle = ::open(Name.c_str(), O_WRONLY);
             ASSERT_EQ(::pwrite(Handle, "XY", 2, 3), 2);
             ::close(Handle);
         },
         true},
        {"cut short", [](const std::string& Name) { ASSERT_EQ(::truncate(Name.c_str(), 2), 0); }, true},
        {"grown", [](const std::string& Name) { ASSERT_EQ(::truncate(Name.c_str(), 64), 0); }, true},
        {"replaced under its name",
         [](const std::string& Name) {
             const std::string Other = Name + ".new";
             const int Handle = ::open(Other.c_str(), O_WRONLY | O_CREAT, 0644);
             ASSERT_EQ(::write(Handle, "d1:ai1ee", 8), 8);
             ::close(Handle);
             ASSERT_EQ(::rename(Other.c_str(), Name.c_str()) == 0, NameCanChangeWhileOpen);
         },
         NameCanChangeWhileOpen},
        {"removed", [](const std::string& Name) { ASSERT_EQ(::unlink(Name.c_str()) == 0, NameCanChangeWhileOpen); },
         NameCanChangeWhileOpen},
    };
    for (const TRow& Row : Rows) {
        SCOPED_TRACE(Row.What);
        TTempDir Dir;
        const std::string Name = Dir.Write("a.torrent", "d1:ai1ee");
        TFileStream File(Name);
        if (std::string(Row.What) == "read to the end") {
            char Buffer[16];
            EXPECT_EQ(File.Read(Buffer, sizeof Buffer), 8);
        }
        Row.Change(Name);
        EXPECT_EQ(File.Changed(), Row.Changed);
    }
    // Bytes in memory never change.
    EXPECT_FALSE(TMemoryStream(std::string("de")).Changed());
}

// ---------------------------------------------------------------------------
// What cannot be opened

std::string OpenError(const std::string& Name)
{
    try {
        TFileStream File(Name);
    } catch (const EFOpenError& E) {
        return E.what();
    }
    return "opened";
}

#ifdef _WIN32
// Windows has no FIFOs in its file system; its devices and folders are refused,
// and the reasons are the system's own texts.
TEST(FileStreamOpen, RefusesWhatIsNotARegularFile)
{
    TTempDir Dir;
    const std::string Folder = Dir.File("x.torrent");
    ASSERT_EQ(::mkdir(Folder.c_str(), 0755), 0);
    const std::string Missing = Dir.File("missing.torrent");
    struct TRow {
        std::string Name;
        std::string Reason;
    };
    const TRow Rows[] = {
        {Folder, "Is a directory"},
        {"NUL", "Not a regular file"},
        {Missing, SystemErrorText(ERROR_FILE_NOT_FOUND)},
        {"bad\xff.torrent", SystemErrorText(ERROR_NO_UNICODE_TRANSLATION)},
    };
    for (const TRow& Row : Rows) EXPECT_EQ(OpenError(Row.Name), "Cannot open file \"" + Row.Name + "\". " + Row.Reason);
}
#else
TEST(FileStreamOpen, RefusesWhatIsNotARegularFile)
{
    TTempDir Dir;
    const std::string Folder = Dir.File("x.torrent");
    ASSERT_EQ(::mkdir(Folder.c_str(), 0755), 0);
    const std::string Fifo = Dir.File("pipe.torrent");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0644), 0);
    const std::string Missing = Dir.File("missing.torrent");

    struct TRow {
        std::string Name;
        std::string Reason;
    };
    const TRow Rows[] = {
        {Folder, "Is a directory"},          {Fifo, "Not a regular file"},  // must not wait for a writer either
        {"/dev/zero", "Not a regular file"}, {"/dev/urandom", "Not a regular file"},
        {Missing, std::strerror(ENOENT)},    {"", std::strerror(ENOENT)},
    };
    for (const TRow& Row : Rows) EXPECT_EQ(OpenError(Row.Name), "Cannot open file \"" + Row.Name + "\". " + Row.Reason);
}
#endif

TEST(FileStreamOpen, ErrorIsAnException)
{
    EXPECT_THROW(TFileStream("/nonexistent/velmora/x.torrent"), Exception);
}

// ---------------------------------------------------------------------------
// Memory streams

TEST(MemoryStream, ViewReadsTheCallersBytes)
{
    const std::string Bytes = "hello";
    TMemoryStream View = TMemoryStream::View(Bytes);
    EXPECT_EQ(View.Size(), 5);
    char Buffer[8] = {};
    EXPECT_EQ(View.Read(Buffer, 8), 5);
    EXPECT_EQ(std::string(Buffer, 5), "hello");
    EXPECT_EQ(View.Read(Buffer, 8), 0);
}

TEST(MemoryStream, MovedStreamKeepsItsBytesAndPosition)
{
    for (const std::string& Bytes : {std::string("short"), std::string(1000, 'q') + "end"}) {
        TMemoryStream Source(Bytes);
        Source.Seek(2, TSeekOrigin::soBeginning);
        TMemoryStream Moved(std::move(Source));
        EXPECT_EQ(Moved.Position(), 2);
        EXPECT_EQ(Moved.Size(), static_cast<int64_t>(Bytes.size()));
        std::string Rest;
        for (int B; (B = Moved.ReadByte()) >= 0;) Rest += static_cast<char>(B);
        EXPECT_EQ(Rest, Bytes.substr(2));
    }
}

TEST(MemoryStream, RemainingIsZeroPastTheEnd)
{
    TMemoryStream Stream(std::string("abc"));
    EXPECT_EQ(Stream.Remaining(), 3);
    EXPECT_EQ(Stream.Seek(10, TSeekOrigin::soBeginning), 10);
    EXPECT_EQ(Stream.Remaining(), 0);
    EXPECT_EQ(Stream.ReadByte(), -1);
    EXPECT_EQ(Stream.Position(), 10);
}

TEST(MemoryStream, SeekThatWouldOverflowFails)
{
    TMemoryStream Stream(std::string("abc"));
    Stream.Seek(1, TSeekOrigin::soBeginning);
    EXPECT_EQ(Stream.Seek(INT64_MAX, TSeekOrigin::soCurrent), -1);
    EXPECT_EQ(Stream.Position(), 1);
    EXPECT_EQ(Stream.Seek(INT64_MIN, TSeekOrigin::soEnd), -1);
    EXPECT_EQ(Stream.Position(), 1);
}

}  // namespace
