// ReadView: the bytes a stream holds, seen in place. A reader that walks a stream
// by views (the info hash does) must see exactly the bytes that Read would give,
// across buffer refills, seeks and the end of the stream.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Streams.h"
#include "TestSupport.h"

namespace {

constexpr int64_t KiB = 1024;

std::string RandomBytes(size_t Count, unsigned Seed)
{
    std::mt19937 Generator(Seed);
    std::string Bytes(Count, '\0');
    for (char& C : Bytes) C = static_cast<char>(Generator() & 0xFF);
    return Bytes;
}

// Walks the stream from Start by views of at most Step bytes; returns what they
// held, checking the position after each.
std::string WalkByViews(TStream& Stream, int64_t Start, int64_t Step)
{
    EXPECT_EQ(Stream.Seek(Start, TSeekOrigin::soBeginning), Start);
    std::string Seen;
    for (;;) {
        const int64_t Before = Stream.Position();
        const std::string_view View = Stream.ReadView(Step);
        EXPECT_LE(static_cast<int64_t>(View.size()), Step);
        EXPECT_EQ(Stream.Position(), Before + static_cast<int64_t>(View.size()));
        if (View.empty()) break;
        Seen += View;
    }
    return Seen;
}

struct TWalkRow {
    const char* Name;
    size_t Size;
    int64_t Start;
    int64_t Step;
};

void PrintTo(const TWalkRow& Row, std::ostream* Out)
{
    *Out << Row.Name;
}

class ViewWalk : public testing::TestWithParam<TWalkRow> {};

TEST_P(ViewWalk, ViewsHoldTheBytesFromTheStartToTheEnd)
{
    const TWalkRow& Row = GetParam();
    const std::string Bytes = RandomBytes(Row.Size, 5);
    const std::string Expected = Bytes.substr(static_cast<size_t>(std::min<int64_t>(Row.Start, Row.Size)));
    TTempDir Dir;
    TFileStream File(Dir.Write("data.bin", Bytes));
    TMemoryStream Memory(Bytes);
    EXPECT_EQ(WalkByViews(File, Row.Start, Row.Step), Expected);
    EXPECT_EQ(WalkByViews(Memory, Row.Start, Row.Step), Expected);
}

const TWalkRow WalkRows[] = {
    {"empty", 0, 0, 100},
    {"small_file_in_one_view", 3000, 0, 1 << 30},
    {"small_file_in_odd_steps", 3000, 17, 7},
    {"many_buffers_in_one_step_each", 1100 * KiB + 5, 3, 1 << 30},
    {"steps_that_straddle_the_buffer_edge", 600 * KiB, 100, 100 * KiB + 1},
    {"start_past_the_end", 1000, 5000, 10},
};
INSTANTIATE_TEST_SUITE_P(Walks, ViewWalk, testing::ValuesIn(WalkRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ReadView, MixesWithBytesReadsAndSeeks)
{
    const std::string Bytes = RandomBytes(300 * KiB, 9);
    TTempDir Dir;
    TFileStream Stream(Dir.Write("data.bin", Bytes));
    EXPECT_EQ(Stream.ReadByte(), static_cast<unsigned char>(Bytes[0]));
    std::string_view View = Stream.ReadView(10);
    EXPECT_EQ(View, std::string_view(Bytes).substr(1, 10));
    EXPECT_EQ(Stream.Seek(-5, TSeekOrigin::soCurrent), 6);
    View = Stream.ReadView(4);
    EXPECT_EQ(View, std::string_view(Bytes).substr(6, 4));
    char Buffer[8];
    EXPECT_EQ(Stream.Read(Buffer, 8), 8);
    EXPECT_EQ(std::string(Buffer, 8), Bytes.substr(10, 8));
    EXPECT_EQ(Stream.Seek(-3, TSeekOrigin::soEnd), static_cast<int64_t>(Bytes.size()) - 3);
    View = Stream.ReadView(100);
    EXPECT_EQ(View, std::string_view(Bytes).substr(Bytes.size() - 3));
    EXPECT_TRUE(Stream.ReadView(100).empty());
    EXPECT_EQ(Stream.ReadByte(), -1);
}

TEST(ReadView, CountsOfZeroOrLessSeeNothing)
{
    TMemoryStream Stream(std::string("abc"));
    EXPECT_TRUE(Stream.ReadView(0).empty());
    EXPECT_TRUE(Stream.ReadView(-4).empty());
    EXPECT_EQ(Stream.Position(), 0);
}

// The hint leaves the buffer as it was, whatever its size and alignment.
TEST(PopulateBuffer, LeavesTheBytesAlone)
{
    for (size_t Size : {size_t{0}, size_t{1}, size_t{4095}, size_t{5 << 20}}) {
        std::string Bytes(Size + 3, 'v');
        PopulateBuffer(Bytes.data() + 3, Size);
        EXPECT_EQ(Bytes, std::string(Size + 3, 'v'));
    }
    PopulateBuffer(nullptr, 100);
}

}  // namespace
