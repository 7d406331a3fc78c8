// The digest engine, its MD4-family padding, and SHA-1 / SHA-256 on both
// compression paths (portable code and the processor's SHA extensions).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "MessageDigests.h"

namespace {

// Opens the protected state of a concrete digest to the tests.
template <class TDigest> class TProbe : public TDigest {
public:
    using TDigest::TransformBlocks;
    int32_t BufferCount() const { return this->FBufferCount; }
    int64_t BlockCount() const { return this->FBlockCount; }
    std::vector<uint32_t> Chaining() const
    {
        const uint32_t* W = this->FChainingValues.get();
        return std::vector<uint32_t>(W, W + this->FDigestSize / 4);
    }
};

struct TAlgorithm {
    const char* Name;
    std::function<std::unique_ptr<TMessageDigest>()> Make;
    int32_t DigestSize;
};

const TAlgorithm Sha1Algorithm{"SHA-1", [] { return TSHA1::Create(); }, 20};
const TAlgorithm Sha256Algorithm{"SHA-256", [] { return TSHA256::Create(); }, 32};

std::string Hash(const TAlgorithm& Algorithm, const std::string& Message)
{
    auto D = Algorithm.Make();
    if (!Message.empty()) D->TransformString(Message);
    D->Complete();
    return D->DigestHex();
}

// Feeds Message in pieces of Piece bytes (the last one shorter).
std::string HashInPieces(const TAlgorithm& Algorithm, const std::string& Message, size_t Piece)
{
    auto D = Algorithm.Make();
    for (size_t At = 0; At < Message.size(); At += Piece)
        D->Transform(Message.data() + At, int32_t(std::min(Piece, Message.size() - At)));
    D->Complete();
    return D->DigestHex();
}

std::string Patterned(size_t N)
{
    std::string S(N, '\0');
    for (size_t I = 0; I < N; ++I) S[I] = char((I * 7 + 1) & 0xFF);
    return S;
}

std::string ExceptionMessage(const std::function<void()>& Call)
{
    try {
        Call();
    } catch (const std::exception& E) {
        return E.what();
    }
    return "(no exception)";
}

// An assertion's message: the text, then the unit's source path and a line.
::testing::AssertionResult IsAssertion(const std::function<void()>& Call, const std::string& Text)
{
    try {
        Call();
    } catch (const EAssertionFailed& E) {
        const std::string What = E.what();
        const std::string Tail = " (_unit/MessageDigests, line ";
        if (What.rfind(Text + Tail, 0) != 0) return ::testing::AssertionFailure() << "message was \"" << What << "\"";
        const std::string Line = What.substr(Text.size() + Tail.size());
        const bool Numbered = Line.size() >= 2 && Line.back() == ')' && Line[0] != '0' &&
                              Line.find_first_not_of("0123456789") == Line.size() - 1;
        if (!Numbered) return ::testing::AssertionFailure() << "message was \"" << What << "\"";
        return ::testing::AssertionSuccess();
    } catch (const std::exception& E) {
        return ::testing::AssertionFailure() << "other exception: " << E.what();
    }
    return ::testing::AssertionFailure() << "no exception";
}

const std::string FipsTwoBlock = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string MillionA(1000000, 'a');

struct TVector {
    const TAlgorithm* Algorithm;
    const std::string* Message;
    const char* Label;
    const char* Expected;
};

const std::string Empty;
const std::string Abc = "abc";

const std::vector<TVector> FipsVectors = {
    {&Sha1Algorithm, &Empty, "empty", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {&Sha1Algorithm, &Abc, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {&Sha1Algorithm, &FipsTwoBlock, "448 bits", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {&Sha1Algorithm, &MillionA, "a million a", "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {&Sha256Algorithm, &Empty, "empty", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {&Sha256Algorithm, &Abc, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {&Sha256Algorithm, &FipsTwoBlock, "448 bits", "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {&Sha256Algorithm, &MillionA, "a million a", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

// Messages of Patterned(n) bytes around the padding boundaries, with the number
// of blocks that Complete leaves counted.
struct TBoundary {
    size_t Length;
    int64_t BlocksAfterComplete;
    const char* Sha1;
    const char* Sha256;
};

const std::vector<TBoundary> Boundaries = {
    {55, 1, "04bb34aef4880b625e6b1564a014abd25fc02bfe",
     "16fa57a0a3423a715d594516339f36189d6b5f93754a9714fef202616a9fabfe"},
    {56, 2, "83b9fcb6d3e3b20f376ab989a1b6353bcc6c0f44",
     "c37b44e5f1b18554b36966f4f8e08bfbf3164c4b6c10374d12d89850892073c5"},
    {63, 2, "ab15090e8dbe512f3733350f9623ab11f9b5165b",
     "bbba992d2c85af960fb2987a1fd05e0aa82a3db3c740dd8982a9e273b75e36a3"},
    {64, 2, "54305ee7e4c7bc5a96afc6d1994fc52d9bcb665f",
     "66bd4633ed6f71c4ecfa4763bf7ba1c8ec7612de9aa6c0578a7b675207c71e0b"},
    {65, 2, "5985422a25357371ebd2a7f6ecd7eebed43db42c",
     "9f7dc47107b750a1f3d35db5d9547f24ef40da5b731b9540d4f43710a154f6c9"},
    {119, 2, "6839d6c27f22ed884ac43ae6bd3bfcee9e04b938",
     "a3ed307b730fa77c07531300c6e4a282330011d4d4caf6bb7b63ae05950f4b66"},
    {120, 3, "8c40517a14ab8b78fd4b8958f4e31254a34c3fb0",
     "8e3b15d9fea7472655aa069620b7f8c2e55ee1499f763200a7515fe826e99d20"},
    {128, 3, "22485dc0d1e1d6e9e93e4a2a4667b8e979456379",
     "e462c130fef8c97e34f7dc3ff3ad2f8b3533ab849af21c10531552a2852387a4"},
};

const char* PathName(TShaImplementation Which)
{
    return Which == TShaImplementation::Hardware ? "Hardware" : "Portable";
}

}  // namespace

// Names the path in failure messages.
void PrintTo(TShaImplementation Which, std::ostream* Out)
{
    *Out << PathName(Which);
}

// ---------------------------------------------------------------------------
// Everything that must hold on either compression path.

class DigestPath : public ::testing::TestWithParam<TShaImplementation> {
protected:
    void SetUp() override
    {
        if (GetParam() == TShaImplementation::Hardware && !ShaHardwareAvailable())
            GTEST_SKIP() << "this processor has no SHA extensions";
        SetShaImplementation(GetParam());
        ASSERT_EQ(ShaImplementationInUse(), GetParam());
    }
    void TearDown() override { SetShaImplementation(TShaImplementation::Auto); }
};

TEST_P(DigestPath, FipsVectorsInOnePiece)
{
    for (const auto& V : FipsVectors)
        EXPECT_EQ(Hash(*V.Algorithm, *V.Message), V.Expected) << V.Algorithm->Name << " " << V.Label;
}

TEST_P(DigestPath, FipsVectorsInPiecesAtBlockBoundaries)
{
    for (const auto& V : FipsVectors)
        for (size_t Piece : {1, 63, 64, 65, 1000})
            EXPECT_EQ(HashInPieces(*V.Algorithm, *V.Message, Piece), V.Expected)
                << V.Algorithm->Name << " " << V.Label << " in pieces of " << Piece;
}

TEST_P(DigestPath, EmptyMessageWithOrWithoutZeroByteCalls)
{
    const char Byte = 'x';
    for (const auto* A : {&Sha1Algorithm, &Sha256Algorithm}) {
        auto D = A->Make();
        D->Transform(&Byte, 0);
        D->Transform(&Byte, 0);
        D->Complete();
        EXPECT_EQ(D->DigestHex(), Hash(*A, "")) << A->Name;
    }
}

TEST_P(DigestPath, PaddingBoundaries)
{
    for (const auto& B : Boundaries) {
        const std::string M = Patterned(B.Length);
        TProbe<TSHA1> Sha1;
        Sha1.TransformString(M);
        Sha1.Complete();
        EXPECT_EQ(Sha1.DigestHex(), B.Sha1) << B.Length;
        EXPECT_EQ(Sha1.BlockCount(), B.BlocksAfterComplete) << B.Length;

        TProbe<TSHA256> Sha256;
        Sha256.TransformString(M);
        Sha256.Complete();
        EXPECT_EQ(Sha256.DigestHex(), B.Sha256) << B.Length;
        EXPECT_EQ(Sha256.BlockCount(), B.BlocksAfterComplete) << B.Length;
    }
}

TEST_P(DigestPath, EveryDigestOfAMessageAgreesHoweverItIsCut)
{
    const std::string M = Patterned(300);
    std::mt19937 Random(20240601);
    for (const auto* A : {&Sha1Algorithm, &Sha256Algorithm}) {
        const std::string Whole = Hash(*A, M);
        for (int Round = 0; Round < 200; ++Round) {
            auto D = A->Make();
            size_t At = 0;
            while (At < M.size()) {
                const size_t N = std::min<size_t>(Random() % 130, M.size() - At);
                D->Transform(M.data() + At, int32_t(N));
                At += N;
            }
            D->Complete();
            ASSERT_EQ(D->DigestHex(), Whole) << A->Name << " round " << Round;
        }
    }
}

TEST_P(DigestPath, ExactFillOfThePartialBlockTransformsItAtOnce)
{
    const std::string M = Patterned(200);
    TProbe<TSHA1> D;
    D.Transform(M.data(), 10);
    EXPECT_EQ(D.BufferCount(), 10);
    EXPECT_EQ(D.BlockCount(), 0);
    D.Transform(M.data() + 10, 54);
    EXPECT_EQ(D.BufferCount(), 0);
    EXPECT_EQ(D.BlockCount(), 1);
    D.Transform(M.data() + 64, 63);
    EXPECT_EQ(D.BufferCount(), 63);
    D.Transform(M.data() + 127, 1);
    EXPECT_EQ(D.BufferCount(), 0);
    EXPECT_EQ(D.BlockCount(), 2);
    D.Transform(M.data() + 128, 72);
    EXPECT_EQ(D.BufferCount(), 8);
    EXPECT_EQ(D.BlockCount(), 3);
    D.Complete();
    EXPECT_EQ(D.DigestHex(), Hash(Sha1Algorithm, M));
}

TEST_P(DigestPath, TransformBlocksOfNoBlocksChangesNothing)
{
    const std::string M = Patterned(100);
    TProbe<TSHA1> Sha1;
    Sha1.TransformString(M);
    TProbe<TSHA256> Sha256;
    Sha256.TransformString(M);
    const auto Sha1Before = Sha1.Chaining();
    const auto Sha256Before = Sha256.Chaining();
    const auto* P = reinterpret_cast<const uint8_t*>(M.data());
    Sha1.TransformBlocks(P, 0);
    Sha256.TransformBlocks(P, 0);
    EXPECT_EQ(Sha1.Chaining(), Sha1Before);
    EXPECT_EQ(Sha256.Chaining(), Sha256Before);
    EXPECT_EQ(Sha1.BlockCount(), 1);
    EXPECT_EQ(Sha256.BlockCount(), 1);
    EXPECT_EQ(Sha1.BufferCount(), 36);
    Sha1.Complete();
    Sha256.Complete();
    EXPECT_EQ(Sha1.DigestHex(), Hash(Sha1Algorithm, M));
    EXPECT_EQ(Sha256.DigestHex(), Hash(Sha256Algorithm, M));
}

INSTANTIATE_TEST_SUITE_P(Paths, DigestPath,
                         ::testing::Values(TShaImplementation::Portable, TShaImplementation::Hardware),
                         [](const auto& Info) { return std::string(PathName(Info.param)); });

// ---------------------------------------------------------------------------
// The two paths against each other.

class DigestPathsAgree : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ShaHardwareAvailable()) GTEST_SKIP() << "this processor has no SHA extensions";
    }
    void TearDown() override { SetShaImplementation(TShaImplementation::Auto); }

    static std::string HashOn(TShaImplementation Which, const TAlgorithm& A, const std::string& M,
                              const std::vector<size_t>& Cuts)
    {
        SetShaImplementation(Which);
        auto D = A.Make();
        size_t At = 0;
        for (size_t Cut : Cuts) {
            D->Transform(M.data() + At, int32_t(Cut - At));
            At = Cut;
        }
        D->Transform(M.data() + At, int32_t(M.size() - At));
        D->Complete();
        return D->DigestHex();
    }
};

TEST_F(DigestPathsAgree, OnRandomMessagesOfEveryLengthUpTo300)
{
    std::mt19937 Random(9);
    for (const auto* A : {&Sha1Algorithm, &Sha256Algorithm}) {
        for (size_t Length = 0; Length <= 300; ++Length) {
            std::string M(Length, '\0');
            for (auto& C : M) C = char(Random());
            // Up to three cut points anywhere in the message, sorted.
            std::vector<size_t> Cuts;
            for (unsigned I = Random() % 4; I > 0; --I) Cuts.push_back(Random() % (Length + 1));
            std::sort(Cuts.begin(), Cuts.end());
            const std::string Portable = HashOn(TShaImplementation::Portable, *A, M, Cuts);
            const std::string Hardware = HashOn(TShaImplementation::Hardware, *A, M, Cuts);
            ASSERT_EQ(Portable, Hardware) << A->Name << ", " << Length << " bytes";
            ASSERT_EQ(Portable, HashOn(TShaImplementation::Portable, *A, M, {}))
                << A->Name << ", " << Length << " bytes";
        }
    }
}

TEST_F(DigestPathsAgree, OnALongRandomMessageInOneCall)
{
    std::mt19937 Random(77);
    std::string M(1 << 20, '\0');
    for (auto& C : M) C = char(Random());
    for (const auto* A : {&Sha1Algorithm, &Sha256Algorithm})
        EXPECT_EQ(HashOn(TShaImplementation::Portable, *A, M, {}), HashOn(TShaImplementation::Hardware, *A, M, {}))
            << A->Name;
}

// ---------------------------------------------------------------------------
// The engine's states, failures and output, on the path the program picks.

TEST(MessageDigest, NamesAndSizes)
{
    struct {
        TMessageDigestClass Class;
        const char* Name;
        int32_t DigestSize;
    } const Cases[] = {{&TSHA1::Create, "SHA-1", 20}, {&TSHA256::Create, "SHA-256", 32}};
    for (const auto& C : Cases) {
        auto D = C.Class();
        EXPECT_EQ(D->AlgorithmName(), C.Name);
        EXPECT_EQ(D->BlockSize(), 64);
        EXPECT_EQ(D->DigestSize(), C.DigestSize);
        D->TransformString("abc");
        D->Complete();
        const std::string Hex = D->DigestHex();
        EXPECT_EQ(Hex.size(), size_t(2 * C.DigestSize));
        EXPECT_EQ(Hex.find_first_not_of("0123456789abcdef"), std::string::npos) << Hex;
    }
}

TEST(MessageDigest, DigestBytesAreTheHexTextReadTwoDigitsAByte)
{
    for (const auto* A : {&Sha1Algorithm, &Sha256Algorithm}) {
        auto D = A->Make();
        D->TransformString("abc");
        D->Complete();
        const std::string Hex = D->DigestHex();
        const uint8_t* Bytes = D->Digest();
        for (int32_t I = 0; I < A->DigestSize; ++I)
            EXPECT_EQ(Bytes[I], std::stoi(Hex.substr(2 * I, 2), nullptr, 16)) << A->Name << " " << I;
    }
    // SHA-1 of "abc" begins a9 99 3e 36 47 06 and ends 9d: H0's high byte first,
    // a byte below 0x10 keeps its leading zero.
    TSHA1 D;
    D.TransformString("abc");
    D.Complete();
    EXPECT_EQ(D.Digest()[0], 0xa9);
    EXPECT_EQ(D.Digest()[5], 0x06);
    EXPECT_EQ(D.Digest()[19], 0x9d);
    EXPECT_EQ(D.DigestHex().substr(10, 2), "06");
}

TEST(MessageDigest, CompleteStateRefusesMoreInput)
{
    TProbe<TSHA1> D;
    D.TransformString("abc");
    D.Complete();
    const std::string Done = D.DigestHex();
    const char Byte = 'x';
    const std::string Already = "Message digest already complete.";
    EXPECT_EQ(ExceptionMessage([&] { D.Complete(); }), Already);
    EXPECT_EQ(ExceptionMessage([&] { D.Transform(&Byte, 1); }), Already);
    EXPECT_EQ(ExceptionMessage([&] { D.TransformString("more"); }), Already);
    // The state check comes first, before the address is looked at.
    EXPECT_EQ(ExceptionMessage([&] { D.TransformString(""); }), Already);
    EXPECT_EQ(ExceptionMessage([&] { D.Transform(nullptr, 1); }), Already);
    // None of the refused calls touched the result.
    EXPECT_EQ(D.DigestHex(), Done);
    EXPECT_EQ(D.DigestHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(MessageDigest, AcceptingStateHasNoDigest)
{
    const std::string NotComplete = "Message digest not complete.";
    TSHA1 D;
    EXPECT_EQ(ExceptionMessage([&] { D.DigestHex(); }), NotComplete);
    EXPECT_EQ(ExceptionMessage([&] { D.Digest(); }), NotComplete);
    D.TransformString("abc");
    EXPECT_EQ(ExceptionMessage([&] { D.DigestHex(); }), NotComplete);
    EXPECT_EQ(ExceptionMessage([&] { D.Digest(); }), NotComplete);
}

TEST(MessageDigest, MissingInputIsAnAssertionThatChangesNothing)
{
    TProbe<TSHA1> D;
    D.TransformString("ab");
    EXPECT_TRUE(IsAssertion([&] { D.TransformString(""); }, "Transform: M not assigned."));
    EXPECT_TRUE(IsAssertion([&] { D.Transform(nullptr, 0); }, "Transform: M not assigned."));
    EXPECT_TRUE(IsAssertion([&] { D.Transform(nullptr, 5); }, "Transform: M not assigned."));
    EXPECT_TRUE(IsAssertion([&] { D.Transform("abc", -1); }, "Transform: NumBytes < 0."));
    EXPECT_EQ(D.BufferCount(), 2);
    D.TransformString("c");
    D.Complete();
    EXPECT_EQ(D.DigestHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(MessageDigest, TransformBlocksWithoutAnAddressIsAnAssertion)
{
    TProbe<TSHA1> Sha1;
    TProbe<TSHA256> Sha256;
    for (int32_t Count : {0, 1}) {
        EXPECT_TRUE(
            IsAssertion([&] { Sha1.TransformBlocks(nullptr, Count); }, "TSHA1.TransformBlocks: Addr(Blocks) = nil."));
        EXPECT_TRUE(IsAssertion([&] { Sha256.TransformBlocks(nullptr, Count); },
                                "TSHA256.TransformBlocks: Addr(Blocks) = nil."));
    }
    EXPECT_EQ(Sha1.BlockCount(), 0);
    EXPECT_EQ(Sha256.BlockCount(), 0);
    Sha1.Complete();
    EXPECT_EQ(Sha1.DigestHex(), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(MessageDigest, InitializeStartsANewMessageInTheSameAreas)
{
    for (const auto* A : {&Sha1Algorithm, &Sha256Algorithm}) {
        auto D = A->Make();
        D->TransformString("first message, long enough to span more than one block of input");
        D->Complete();
        const uint8_t* Area = D->Digest();

        D->Initialize();
        EXPECT_EQ(ExceptionMessage([&] { D->DigestHex(); }), "Message digest not complete.");
        D->TransformString("abc");
        D->Complete();
        EXPECT_EQ(D->DigestHex(), Hash(*A, "abc")) << A->Name;
        EXPECT_EQ(D->Digest(), Area) << A->Name;

        // Initialize in the middle of a message drops what was fed so far.
        D->Initialize();
        D->TransformString(Patterned(100));
        D->Initialize();
        D->TransformString(FipsTwoBlock);
        D->Complete();
        EXPECT_EQ(D->DigestHex(), Hash(*A, FipsTwoBlock)) << A->Name;
    }
}

// ---------------------------------------------------------------------------
// TMD4Family's padding and output, seen through a digest that only records the
// blocks it is given. Its chaining values never change, so the digest is the
// initial values written in the family's byte order.

namespace {

const uint32_t RecorderInitial[2] = {0x01020304, 0xA0B0C0D0};

class TRecorder : public TMD4Family {
public:
    TRecorder(bool BigEndian) : TMD4Family(64, 8, RecorderInitial, BigEndian) {}
    std::string AlgorithmName() const override { return "recorder"; }
    void TransformBlocks(const uint8_t* Blocks, int32_t Count) override
    {
        for (int32_t I = 0; I < Count; ++I) Seen.emplace_back(reinterpret_cast<const char*>(Blocks) + 64 * I, 64);
        TMD4Family::TransformBlocks(Blocks, Count);
    }
    void PretendBlocks(int64_t Count) { FBlockCount = Count; }
    std::vector<std::string> Seen;
};

class TSized : public TMD4Family {
public:
    TSized(int32_t BlockSize, int32_t DigestSize, const void* Initial)
        : TMD4Family(BlockSize, DigestSize, Initial, true)
    {
    }
    std::string AlgorithmName() const override { return "sized"; }
};

std::string Bytes(std::initializer_list<int> List)
{
    std::string S;
    for (int B : List) S.push_back(char(B));
    return S;
}

}  // namespace

TEST(MD4Family, LengthFieldAndDigestInEitherByteOrder)
{
    struct {
        bool BigEndian;
        std::string Length;  // 3 bytes = 24 bits
        std::string Digest;
    } const Cases[] = {
        {true, Bytes({0, 0, 0, 0, 0, 0, 0, 24}), Bytes({1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0})},
        {false, Bytes({24, 0, 0, 0, 0, 0, 0, 0}), Bytes({4, 3, 2, 1, 0xD0, 0xC0, 0xB0, 0xA0})},
    };
    for (const auto& C : Cases) {
        TRecorder D(C.BigEndian);
        D.TransformString("abc");
        D.Complete();
        ASSERT_EQ(D.Seen.size(), 1u);
        const std::string& Last = D.Seen[0];
        EXPECT_EQ(Last.substr(0, 4), "abc\x80");
        EXPECT_EQ(Last.substr(4, 52), std::string(52, '\0'));
        EXPECT_EQ(Last.substr(56), C.Length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(D.Digest()), 8), C.Digest);
        EXPECT_EQ(D.DigestHex(), C.BigEndian ? "01020304a0b0c0d0" : "04030201d0c0b0a0");
    }
}

TEST(MD4Family, LengthFieldPastTwoToThe32Blocks)
{
    // 2^32 + 5 whole blocks and 3 bytes: more than a 32-bit block count holds.
    TRecorder D(true);
    D.TransformString("abc");
    D.PretendBlocks((int64_t(1) << 32) + 5);
    D.Complete();
    const uint64_t Bits = (((uint64_t(1) << 32) + 5) * 64 + 3) * 8;
    std::string Expected;
    for (int I = 7; I >= 0; --I) Expected.push_back(char(Bits >> (8 * I)));
    ASSERT_EQ(D.Seen.size(), 1u);
    EXPECT_EQ(D.Seen[0].substr(56), Expected);
}

TEST(MD4Family, LengthThatDoesNotFitGoesIntoASecondBlock)
{
    TRecorder D(true);
    const std::string M = Patterned(56);
    D.TransformString(M);
    D.Complete();
    ASSERT_EQ(D.Seen.size(), 2u);
    EXPECT_EQ(D.Seen[0], M + "\x80" + std::string(7, '\0'));
    EXPECT_EQ(D.Seen[1].substr(0, 56), std::string(56, '\0'));
    EXPECT_EQ(D.Seen[1].substr(56), Bytes({0, 0, 0, 0, 0, 0, 0x01, 0xC0}));
}

TEST(MD4Family, WholeBlocksComeStraightFromTheCallersMemory)
{
    TRecorder D(true);
    const std::string M = Patterned(64 * 3 + 10);
    D.Transform(M.data(), 5);
    D.Transform(M.data() + 5, int32_t(M.size() - 5));
    ASSERT_EQ(D.Seen.size(), 3u);
    for (size_t I = 0; I < 3; ++I) EXPECT_EQ(D.Seen[I], M.substr(64 * I, 64)) << I;
}

TEST(MD4Family, ConstructionChecksInOrder)
{
    const uint32_t Initial[8] = {};
    const std::string Nil = "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.";
    EXPECT_TRUE(IsAssertion([&] { TSized(64, 20, nullptr); }, Nil));
    EXPECT_TRUE(IsAssertion([&] { TSized(0, 0, nullptr); }, Nil));
    EXPECT_TRUE(IsAssertion([&] { TSized(0, 20, Initial); }, "TMessageDigest.CreateInternal: BlockSize <= 0."));
    EXPECT_TRUE(IsAssertion([&] { TSized(-64, -1, Initial); }, "TMessageDigest.CreateInternal: BlockSize <= 0."));
    EXPECT_TRUE(IsAssertion([&] { TSized(64, 0, Initial); }, "TMessageDigest.CreateInternal: DigestSize <= 0."));
    EXPECT_NO_THROW(TSized(64, 32, Initial));
}
