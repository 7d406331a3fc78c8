// Hostile files: what fuzzing found and what the bounds must keep, each input made
// here. The memory figures come from counting the heap itself (operator new and
// delete are replaced in this test program), so they are exact and untimed;
// bench/bounds.py measures the same shapes, with time, on the real velmora-cli.

#include <gtest/gtest.h>

// GCC 12 at -O3 warns of overlapping copies inside "literal" + std::string
// (its bug 105329); there are none.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "BDecode.h"
#include "Bencode.h"
#include "Streams.h"
#include "TestSupport.h"
#include "TorrentFile.h"

// ---------------------------------------------------------------------------
// Heap accounting: live bytes and their high-water mark.

namespace {

std::atomic<int64_t> LiveBytes{0};
std::atomic<int64_t> PeakBytes{0};

// What the heap gave for P, as the C library counts it.
size_t HeapSize(void* P)
{
#ifdef _WIN32
    return ::_msize(P);
#else
    return malloc_usable_size(P);
#endif
}

void* Allocate(size_t Size)
{
    void* P = std::malloc(Size ? Size : 1);
    if (!P) throw std::bad_alloc();
    const int64_t Live = LiveBytes += static_cast<int64_t>(HeapSize(P));
    int64_t Peak = PeakBytes.load();
    while (Live > Peak && !PeakBytes.compare_exchange_weak(Peak, Live)) {
    }
    return P;
}

void Release(void* P) noexcept
{
    if (!P) return;
    LiveBytes -= static_cast<int64_t>(HeapSize(P));
    std::free(P);
}

// The most the heap grew above its level at construction.
class THeapWatch {
public:
    THeapWatch() : FBase(LiveBytes.load()) { PeakBytes = FBase; }
    int64_t Growth() const { return PeakBytes.load() - FBase; }

private:
    int64_t FBase;
};

}  // namespace

void* operator new(size_t Size)
{
    return Allocate(Size);
}
void* operator new[](size_t Size)
{
    return Allocate(Size);
}
void operator delete(void* P) noexcept
{
    Release(P);
}
void operator delete[](void* P) noexcept
{
    Release(P);
}
void operator delete(void* P, size_t) noexcept
{
    Release(P);
}
void operator delete[](void* P, size_t) noexcept
{
    Release(P);
}

namespace {

std::string S(std::string_view Text)
{
    return Bencode::String(Text);
}

std::string SingleInfo(int64_t PieceCount = 3)
{
    return "d6:lengthi12345e4:name10:bounds.bin12:piece lengthi262144e6:pieces" +
           S(Repeat(std::string(20, '\x5a'), static_cast<size_t>(PieceCount))) + "e";
}

std::string Torrent(const std::string& Info, const std::string& Before = "", const std::string& After = "")
{
    return "d8:announce" + S("http://tracker.example/announce") + Before + "4:info" + Info + After + "e";
}

struct TLoad {
    bool Loaded = false;
    std::string InfoHash;
    int64_t HeapGrowth = 0;
};

// Loads the file from disk, through the buffered file stream, as the program does.
TLoad LoadFile(const std::string& Path)
{
    TLoad Result;
    THeapWatch Watch;
    {
        TFileStream Stream(Path);
        TTorrentFile Torrent;
        Result.Loaded = Torrent.LoadFromStream(Stream);
        Result.InfoHash = Torrent.InfoHash;
    }
    Result.HeapGrowth = Watch.Growth();
    return Result;
}

// ---------------------------------------------------------------------------
// Small files that declare huge sizes: the heap grows by little more than the file.

struct TSmallRow {
    const char* Name;
    std::string Bytes;
};

const std::vector<TSmallRow>& SmallRows()
{
    static const std::vector<TSmallRow> Rows = [] {
        std::vector<TSmallRow> R;
        for (const char* Declared : {"2147483647", "2147483648", "4294967295", "4294967296", "99999999999",
                                     "21474836470", "999999999999999999999999"}) {
            const std::string D = Declared;
            R.push_back({"announce", "d8:announce" + D + ":abce"});
            R.push_back({"pieces", Torrent("d4:name1:x6:pieces" + D + ":" + std::string(40, 'p'))});
            R.push_back({"key", "d" + D + ":announce3:abce"});
            R.push_back({"list element", "l" + D + ":a"});
            R.push_back({"name", Torrent("d6:lengthi1e4:name" + D + ":x")});
        }
        const std::string Digits(20000, '9');
        R.push_back(
            {"huge integers", Torrent("d6:lengthi" + Digits + "e4:name1:x12:piece lengthi-" + Digits + "e6:pieces0:e",
                                      "13:creation datei" + Digits + "e")});
        for (const char* Forged :
             {"i2147483647e", "i4294967295e", "i99999999999e", "i-1e", "i-2147483648e", "i9223372036854775807e"}) {
            R.push_back({"forged _info_length", Torrent(SingleInfo(), "", "12:_info_length" + std::string(Forged))});
            R.push_back(
                {"forged _info_start",
                 Torrent(SingleInfo(), "", "11:_info_start" + std::string(Forged) + "12:_info_lengthi2147483647e")});
        }
        return R;
    }();
    return Rows;
}

class SmallHostileFile : public testing::TestWithParam<size_t> {};

TEST_P(SmallHostileFile, AllocatesNoMoreThanItsSize)
{
    const TSmallRow& Row = SmallRows()[GetParam()];
    TTempDir Dir;
    const TLoad Load = LoadFile(Dir.Write("hostile.torrent", Row.Bytes));
    // The decoded tree, the file's buffer and a hash buffer, each bounded by the
    // file's size, plus the model's small fixed parts.
    const int64_t Allowed = 64 * 1024 + 8 * static_cast<int64_t>(Row.Bytes.size());
    EXPECT_LT(Load.HeapGrowth, Allowed) << Row.Name << ": " << Row.Bytes.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Declared, SmallHostileFile, testing::Range<size_t>(0, SmallRows().size()),
                         [](const testing::TestParamInfo<size_t>& Info) {
                             std::string Name = std::to_string(Info.param) + "_" + SmallRows()[Info.param].Name;
                             for (char& C : Name)
                                 if (!isalnum(static_cast<unsigned char>(C))) C = '_';
                             return Name;
                         });

TEST(ForgedExtent, HashesTheRealInfoBytesWithNoBufferOfTheForgedSize)
{
    const std::string Info = SingleInfo();
    TTempDir Dir;
    const TLoad Plain = LoadFile(Dir.Write("plain.torrent", Torrent(Info)));
    ASSERT_TRUE(Plain.Loaded);
    ASSERT_EQ(Plain.InfoHash.size(), 40u);
    for (const char* Forged :
         {"11:_info_starti0e12:_info_lengthi99999999999e", "11:_info_starti2147483647e12:_info_lengthi2147483647e",
          "11:_info_starti-5e12:_info_lengthi10e"}) {
        const TLoad Load = LoadFile(Dir.Write("forged.torrent", Torrent(Info, "", Forged)));
        EXPECT_TRUE(Load.Loaded) << Forged;
        EXPECT_EQ(Load.InfoHash, Plain.InfoHash) << Forged;
    }
}

// ---------------------------------------------------------------------------
// Peak memory over file size for files of many tiny values.

std::string DistinctKeys(size_t Count)
{
    std::string Bytes = "d";
    char Key[16];
    for (size_t I = 0; I < Count; ++I) {
        std::snprintf(Key, sizeof Key, "7:k%06zu0:", I);
        Bytes += Key;
    }
    return Bytes + "e";
}

struct TRatioRow {
    const char* Name;
    std::string Bytes;
};

TEST(ManyTinyValues, PeakMemoryStaysUnderFiftyTimesTheFileSize)
{
    const size_t N = 1000000;
    const TRatioRow Rows[] = {
        {"1,000,000 empty strings", "l" + Repeat("0:", N) + "e"},
        {"1,000,000 zero integers", "l" + Repeat("i0e", N) + "e"},
        {"1,000,000 empty lists", "l" + Repeat("le", N) + "e"},
        {"1,000,000 distinct keys", DistinctKeys(N)},
        {"a million-piece torrent", Torrent(SingleInfo(1000000))},
    };
    TTempDir Dir;
    for (const TRatioRow& Row : Rows) {
        const TLoad Load = LoadFile(Dir.Write("many.torrent", Row.Bytes));
        const double Ratio = static_cast<double>(Load.HeapGrowth) / static_cast<double>(Row.Bytes.size());
        EXPECT_LT(Ratio, 50.0) << Row.Name;
    }
}

// ---------------------------------------------------------------------------
// The full link of huge sources is written once, into a buffer of its own size:
// making it costs about the link's own bytes (no copy of the sources, no string
// grown by doubling), so its time and memory grow with its length alone. Each row's
// link is at least 24 MB; its making may grow the heap by twice that at most.

TEST(FullLink, CostsNoMoreMemoryThanItsOwnLength)
{
    const std::string Cyrillic = Repeat("\xD1\x8F", 4 << 20);  // 8 MB of "я"
    const TRatioRow Rows[] = {
        {"8 MB non-ASCII announce", "d8:announce" + S("http://t/" + Cyrillic) + "4:info" + SingleInfo() + "e"},
        {"8 MB non-ASCII tracker in a tier",
         Torrent(SingleInfo(), "13:announce-listll" + S("udp://t/" + Cyrillic) + "ee")},
        {"100,000 trackers",
         Torrent(SingleInfo(), "13:announce-listl" +
                                   Repeat("l" + S("udp://трекер.example/" + std::string(200, 'a')) + "e", 100000) +
                                   "e")},
        {"8 MB non-ASCII web seed", Torrent(SingleInfo(), "", "8:url-list" + S("http://w/" + Cyrillic))},
    };
    TTempDir Dir;
    for (const TRatioRow& Row : Rows) {
        TFileStream Stream(Dir.Write("full.torrent", Row.Bytes));
        TTorrentFile Torrent;
        ASSERT_TRUE(Torrent.LoadFromStream(Stream)) << Row.Name;
        size_t Length = 0;
        int64_t Growth = 0;
        {
            THeapWatch Watch;
            const std::string Link = Torrent.FullMagnetLink();
            EXPECT_TRUE(Torrent.HasLinkTracker()) << Row.Name;
            Length = Link.size();
            Growth = Watch.Growth();
        }
        EXPECT_GT(Length, size_t(24) << 20) << Row.Name;
        EXPECT_LT(static_cast<double>(Growth), 2.0 * static_cast<double>(Length)) << Row.Name;
    }
}

// ---------------------------------------------------------------------------
// Only regular files are read: velmora-cli names the file and the reason, at once,
// and goes on with the next file.

#ifndef _WIN32
struct TCliRun {
    int Status = -1;
    std::vector<std::string> Out;
    std::vector<std::string> Err;
};

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> Result;
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);) Result.push_back(Line);
    return Result;
}

// The run is bounded by timeout(1): a reader that waited for a FIFO's writer or read
// a device forever would fail the test instead of hanging the suite.
TCliRun RunCli(const TTempDir& Dir, const std::vector<std::string>& Args)
{
    static const std::string Nothing;
    const TProgramRun Ran = RunProgram(VelmoraCli(), Args, Dir.Path(), &Nothing, "timeout -s KILL 120 ");
    TCliRun Run;
    Run.Status = Ran.Status;
    Run.Out = Lines(Ran.Out);
    Run.Err = Lines(Ran.Err);
    return Run;
}
#endif

TEST(NonRegularFiles, CliRefusesThemWithTheReasonAndGoesOn)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs a FIFO, a symbolic link and /dev/zero, which Windows does not have";
#else
    TTempDir Dir;
    const std::string Good = Dir.Write("good.torrent", Torrent(SingleInfo()));
    const std::string Fifo = Dir.File("pipe.torrent");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0644), 0);
    const std::string Folder = Dir.File("x.torrent");
    ASSERT_EQ(::mkdir(Folder.c_str(), 0755), 0);
    const std::string Link = Dir.File("zero.torrent");
    ASSERT_EQ(::symlink("/dev/zero", Link.c_str()), 0);

    const TCliRun Reference = RunCli(Dir, {Good});
    ASSERT_EQ(Reference.Status, 0);
    ASSERT_EQ(Reference.Out.size(), 1u);

    for (const std::string& Bad : {Fifo, std::string("/dev/zero"), std::string("/dev/urandom"), Folder, Link}) {
        const TCliRun Run = RunCli(Dir, {Good, Bad, Good});
        EXPECT_EQ(Run.Status, 1) << Bad;
        EXPECT_EQ(Run.Out, std::vector<std::string>(2, Reference.Out[0])) << Bad;
        ASSERT_EQ(Run.Err.size(), 1u) << Bad;
        const std::string Expected = "Cannot open file \"" + Bad + "\". ";
        const size_t At = Run.Err[0].find(Expected);
        ASSERT_NE(At, std::string::npos) << Run.Err[0];
        EXPECT_GT(Run.Err[0].size(), At + Expected.size()) << "no reason given: " << Run.Err[0];
    }
#endif
}

}  // namespace
