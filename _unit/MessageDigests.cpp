#include "MessageDigests.h"

#include <algorithm>
#include <atomic>
#include <cstring>

// The compression functions themselves live one file per way of computing them
// (ShaPortable.cpp, ShaExtensions.cpp); this file is the engine around them and
// the choice between them.
#include "ShaCompression.h"

namespace {

constexpr const char* HexDigits = "0123456789abcdef";

inline void StoreWord(uint8_t* P, uint32_t V, bool BigEndian)
{
    for (int I = 0; I < 4; ++I) P[I] = uint8_t(V >> (BigEndian ? 24 - 8 * I : 8 * I));
}

std::atomic<int> ShaChoice{int(TShaImplementation::Auto)};

bool UseShaHardware()
{
    static const bool Available = DetectShaHardware();
    return Available && ShaChoice.load(std::memory_order_relaxed) != int(TShaImplementation::Portable);
}

// The five words H0..H4 of FIPS 180-4, section 5.3.1.
constexpr uint32_t Sha1InitialValues[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
// The eight words H0..H7 of FIPS 180-4, section 5.3.3.
constexpr uint32_t Sha256InitialValues[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// Checked before the engine's own checks, so a missing set of initial values is
// the first fault reported.
int32_t RequireInitialValues(const void* InitialChainingValues, int32_t BlockSize)
{
    VELMORA_ASSERT(InitialChainingValues != nullptr,
                   "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.", MessageDigestsSource);
    return BlockSize;
}

}  // namespace

void SetShaImplementation(TShaImplementation Which)
{
    ShaChoice.store(int(Which), std::memory_order_relaxed);
}

TShaImplementation ShaImplementationInUse()
{
    return UseShaHardware() ? TShaImplementation::Hardware : TShaImplementation::Portable;
}

bool ShaHardwareAvailable()
{
    static const bool Available = DetectShaHardware();
    return Available;
}

// ---------------------------------------------------------------------------
// TMessageDigest

TMessageDigest::TMessageDigest(int32_t BlockSize, int32_t DigestSize)
{
    VELMORA_ASSERT(BlockSize > 0, "TMessageDigest.CreateInternal: BlockSize <= 0.", MessageDigestsSource);
    VELMORA_ASSERT(DigestSize > 0, "TMessageDigest.CreateInternal: DigestSize <= 0.", MessageDigestsSource);
    FBlockSize = BlockSize;
    FDigestSize = DigestSize;
    // Only the engine's part exists yet; each derived constructor sets up its own
    // state before it returns.
    TMessageDigest::Initialize();
}

TMessageDigest::~TMessageDigest() = default;

void TMessageDigest::Transform(const void* M, int32_t NumBytes)
{
    if (FComplete) throw Exception("Message digest already complete.");
    VELMORA_ASSERT(M != nullptr, "Transform: M not assigned.", MessageDigestsSource);
    VELMORA_ASSERT(NumBytes >= 0, "Transform: NumBytes < 0.", MessageDigestsSource);
    auto P = static_cast<const uint8_t*>(M);
    uint8_t* Buffer = FBuffer.get();
    if (FBufferCount > 0) {
        const int32_t Room = FBlockSize - FBufferCount;
        if (NumBytes < Room) {
            std::memcpy(Buffer + FBufferCount, P, size_t(NumBytes));
            FBufferCount += NumBytes;
            return;
        }
        std::memcpy(Buffer + FBufferCount, P, size_t(Room));
        TransformBlocks(Buffer, 1);
        FBufferCount = 0;
        P += Room;
        NumBytes -= Room;
    }
    TransformBlocks(P, NumBytes / FBlockSize);
    FBufferCount = NumBytes % FBlockSize;
    std::memcpy(Buffer, P + (NumBytes - FBufferCount), size_t(FBufferCount));
}

void TMessageDigest::TransformString(const std::string& S)
{
    if (S.empty()) {
        Transform(nullptr, 0);
        return;
    }
    // A text longer than one call can take goes in slices of whole blocks.
    const size_t Slice = size_t(1) << 30;
    for (size_t Done = 0; Done < S.size();) {
        const size_t N = std::min(Slice, S.size() - Done);
        Transform(S.data() + Done, int32_t(N));
        Done += N;
    }
}

void TMessageDigest::TransformBlocks(const uint8_t* /*Blocks*/, int32_t Count)
{
    if (Count > 0) FBlockCount += Count;
}

void TMessageDigest::Complete()
{
    FComplete = true;
}

const uint8_t* TMessageDigest::Digest() const
{
    if (!FComplete) throw Exception("Message digest not complete.");
    return FDigest.get();
}

std::string TMessageDigest::DigestHex() const
{
    if (!FComplete) throw Exception("Message digest not complete.");
    std::string Text(size_t(FDigestSize) * 2, '\0');
    for (int32_t I = 0; I < FDigestSize; ++I) {
        Text[2 * I] = HexDigits[FDigest[I] >> 4];
        Text[2 * I + 1] = HexDigits[FDigest[I] & 0x0F];
    }
    return Text;
}

void TMessageDigest::Initialize()
{
    if (!FBuffer) FBuffer = std::make_unique<uint8_t[]>(size_t(FBlockSize));
    if (!FDigest) FDigest = std::make_unique<uint8_t[]>(size_t(FDigestSize));
    std::memset(FBuffer.get(), 0, size_t(FBlockSize));
    std::memset(FDigest.get(), 0, size_t(FDigestSize));
    FBufferCount = 0;
    FBlockCount = 0;
    FComplete = false;
}

// ---------------------------------------------------------------------------
// TMD4Family

TMD4Family::TMD4Family(int32_t BlockSize, int32_t DigestSize, const void* InitialChainingValues, bool BigEndian)
    : TMessageDigest(RequireInitialValues(InitialChainingValues, BlockSize), DigestSize)
{
    FInitialChainingValues = std::make_unique<uint32_t[]>((size_t(FDigestSize) + 3) / 4);
    std::memcpy(FInitialChainingValues.get(), InitialChainingValues, size_t(FDigestSize));
    InitializeChainingValues();
    FBigEndian = BigEndian;
}

TMD4Family::~TMD4Family() = default;

void TMD4Family::InitializeChainingValues()
{
    const size_t Words = (size_t(FDigestSize) + 3) / 4;
    if (!FChainingValues) FChainingValues = std::make_unique<uint32_t[]>(Words);
    std::memcpy(FChainingValues.get(), FInitialChainingValues.get(), Words * 4);
}

void TMD4Family::Initialize()
{
    TMessageDigest::Initialize();
    InitializeChainingValues();
}

void TMD4Family::Complete()
{
    if (FComplete) throw Exception("Message digest already complete.");
    const uint64_t Bits = (uint64_t(FBlockCount) * uint64_t(FBlockSize) + uint64_t(FBufferCount)) * 8u;
    uint8_t* Buffer = FBuffer.get();
    Buffer[FBufferCount++] = 0x80;
    if (FBlockSize - FBufferCount < 8) {
        std::memset(Buffer + FBufferCount, 0, size_t(FBlockSize - FBufferCount));
        TransformBlocks(Buffer, 1);
        FBufferCount = 0;
    }
    std::memset(Buffer + FBufferCount, 0, size_t(FBlockSize - 8 - FBufferCount));
    uint8_t* Length = Buffer + FBlockSize - 8;
    for (int I = 0; I < 8; ++I) Length[I] = uint8_t(Bits >> (FBigEndian ? 56 - 8 * I : 8 * I));
    TransformBlocks(Buffer, 1);
    FBufferCount = 0;

    const int32_t Words = FDigestSize / 4;
    for (int32_t I = 0; I < Words; ++I) StoreWord(FDigest.get() + 4 * I, FChainingValues[I], FBigEndian);
    std::memcpy(FDigest.get() + 4 * Words, reinterpret_cast<const uint8_t*>(FChainingValues.get()) + 4 * Words,
                size_t(FDigestSize - 4 * Words));
    TMessageDigest::Complete();
}

// ---------------------------------------------------------------------------
// TSHA1

TSHA1::TSHA1() : TMD4Family(64, 20, Sha1InitialValues, true) {}

std::unique_ptr<TMessageDigest> TSHA1::Create()
{
    return std::make_unique<TSHA1>();
}

void TSHA1::TransformBlocks(const uint8_t* Blocks, int32_t Count)
{
    VELMORA_ASSERT(Blocks != nullptr, "TSHA1.TransformBlocks: Addr(Blocks) = nil.", MessageDigestsSource);
#if VELMORA_SHA_X86
    if (UseShaHardware())
        Sha1Hardware(ChainingWords(), Blocks, Count);
    else
#endif
        Sha1Portable(ChainingWords(), Blocks, Count);
    TMD4Family::TransformBlocks(Blocks, Count);
}

// ---------------------------------------------------------------------------
// TSHA256

TSHA256::TSHA256() : TMD4Family(64, 32, Sha256InitialValues, true) {}

std::unique_ptr<TMessageDigest> TSHA256::Create()
{
    return std::make_unique<TSHA256>();
}

void TSHA256::TransformBlocks(const uint8_t* Blocks, int32_t Count)
{
    VELMORA_ASSERT(Blocks != nullptr, "TSHA256.TransformBlocks: Addr(Blocks) = nil.", MessageDigestsSource);
#if VELMORA_SHA_X86
    if (UseShaHardware())
        Sha256Hardware(ChainingWords(), Blocks, Count);
    else
#endif
        Sha256Portable(ChainingWords(), Blocks, Count);
    TMD4Family::TransformBlocks(Blocks, Count);
}
