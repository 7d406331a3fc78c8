#include "MessageDigests.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VELMORA_SHA_X86 1
#else
#define VELMORA_SHA_X86 0
#endif

namespace {

constexpr const char* HexDigits = "0123456789abcdef";

inline void StoreWord(uint8_t* P, uint32_t V, bool BigEndian)
{
    for (int I = 0; I < 4; ++I) P[I] = uint8_t(V >> (BigEndian ? 24 - 8 * I : 8 * I));
}

// ---------------------------------------------------------------------------
// The portable compression code, for every processor (GCC and Clang vector
// types: SSE2 on x86-64, NEON on ARM, plain words elsewhere).
//
// Both digests keep a rolling schedule of 16 words as four 4-word vectors and
// compute it four words at a time on the vector unit, while the steps run on the
// integer unit, written out in full so that the working variables rotate by
// renaming. The next four words, plus the step constants, go into a 16-word ring
// WK that the steps read. The empty asm statement after each store keeps that
// ring in memory: left alone, the compiler moves each word out of the vector
// register with a shuffle of its own, which costs more than the step's memory
// operand.

typedef uint32_t TWords4 __attribute__((vector_size(16)));

#define VELMORA_SHUFFLE(A, B, I0, I1, I2, I3) __builtin_shufflevector(A, B, I0, I1, I2, I3)
#define VELMORA_RING_BARRIER() __asm__ volatile("" ::: "memory")

inline TWords4 LoadBigEndianWords4(const uint8_t* P)
{
    TWords4 V;
    std::memcpy(&V, P, 16);
    if constexpr (std::endian::native == std::endian::little)
        V = (V << 24) | ((V & 0xff00) << 8) | ((V >> 8) & 0xff00) | (V >> 24);
    return V;
}

inline void StoreRing(uint32_t* Ring, TWords4 V)
{
    std::memcpy(Ring, &V, 16);
}

inline TWords4 RotateLeft(TWords4 X, int N)
{
    return (X << N) | (X >> (32 - N));
}

// SHA-1 schedule words t..t+3 from A = W[t-16..t-13], B, C, D = W[t-4..t-1]:
// Wt = rotl1(Wt-3 ^ Wt-8 ^ Wt-14 ^ Wt-16). Word t+3 needs word t of this same
// group, so it is first computed with 0 in its place and then corrected by
// rotl1(Wt), rotation distributing over XOR.
inline TWords4 Sha1NextWords(TWords4 A, TWords4 B, TWords4 C, TWords4 D)
{
    const TWords4 Zero = {0, 0, 0, 0};
    const TWords4 X = A ^ VELMORA_SHUFFLE(A, B, 2, 3, 4, 5) ^ C ^ VELMORA_SHUFFLE(D, Zero, 1, 2, 3, 4);
    const TWords4 R = RotateLeft(X, 1);
    return R ^ RotateLeft(VELMORA_SHUFFLE(Zero, R, 0, 1, 2, 4), 1);
}

constexpr uint32_t Sha1K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

#define SHA1_F1(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define SHA1_F2(b, c, d) ((b) ^ (c) ^ (d))
// Majority as a sum of two disjoint terms, so the adds can start early.
#define SHA1_F3(b, c, d) (((b) & (c)) + ((d) & ((b) ^ (c))))

#define SHA1_STEP(F, t, a, b, c, d, e)                   \
    e += std::rotl(a, 5) + F(b, c, d) + WK[(t)&15];      \
    b = std::rotl(b, 30);

// Words t..t+3 of the schedule, when the block has them.
#define SHA1_SCHEDULE(t)                                                    \
    if constexpr ((t) < 80) {                                               \
        const TWords4 N = Sha1NextWords(W0, W1, W2, W3);                    \
        W0 = W1;                                                            \
        W1 = W2;                                                            \
        W2 = W3;                                                            \
        W3 = N;                                                             \
        StoreRing(WK + ((t)&15), N + Sha1K[(t) / 20]);                      \
        VELMORA_RING_BARRIER();                                             \
    }

// Twenty steps with one logical function: the names come back to where they
// started, and the schedule runs 16 words ahead of the steps.
#define SHA1_TWENTY(F, t)                                                                      \
    SHA1_STEP(F, (t) + 0, a, b, c, d, e) SHA1_STEP(F, (t) + 1, e, a, b, c, d)                \
    SHA1_STEP(F, (t) + 2, d, e, a, b, c) SHA1_STEP(F, (t) + 3, c, d, e, a, b)                \
    SHA1_SCHEDULE((t) + 16)                                                                  \
    SHA1_STEP(F, (t) + 4, b, c, d, e, a) SHA1_STEP(F, (t) + 5, a, b, c, d, e)                \
    SHA1_STEP(F, (t) + 6, e, a, b, c, d) SHA1_STEP(F, (t) + 7, d, e, a, b, c)                \
    SHA1_SCHEDULE((t) + 20)                                                                  \
    SHA1_STEP(F, (t) + 8, c, d, e, a, b) SHA1_STEP(F, (t) + 9, b, c, d, e, a)                \
    SHA1_STEP(F, (t) + 10, a, b, c, d, e) SHA1_STEP(F, (t) + 11, e, a, b, c, d)              \
    SHA1_SCHEDULE((t) + 24)                                                                  \
    SHA1_STEP(F, (t) + 12, d, e, a, b, c) SHA1_STEP(F, (t) + 13, c, d, e, a, b)              \
    SHA1_STEP(F, (t) + 14, b, c, d, e, a) SHA1_STEP(F, (t) + 15, a, b, c, d, e)              \
    SHA1_SCHEDULE((t) + 28)                                                                  \
    SHA1_STEP(F, (t) + 16, e, a, b, c, d) SHA1_STEP(F, (t) + 17, d, e, a, b, c)              \
    SHA1_STEP(F, (t) + 18, c, d, e, a, b) SHA1_STEP(F, (t) + 19, b, c, d, e, a)              \
    SHA1_SCHEDULE((t) + 32)

// Kept out of line: the loop then has the registers to itself, a few per cent
// faster than inlined into TransformBlocks.
__attribute__((noinline)) void Sha1Portable(uint32_t* H, const uint8_t* P, int32_t Count)
{
    alignas(16) uint32_t WK[16];
    for (; Count > 0; --Count, P += 64) {
        TWords4 W0 = LoadBigEndianWords4(P), W1 = LoadBigEndianWords4(P + 16),
                W2 = LoadBigEndianWords4(P + 32), W3 = LoadBigEndianWords4(P + 48);
        StoreRing(WK, W0 + Sha1K[0]);
        StoreRing(WK + 4, W1 + Sha1K[0]);
        StoreRing(WK + 8, W2 + Sha1K[0]);
        StoreRing(WK + 12, W3 + Sha1K[0]);
        VELMORA_RING_BARRIER();

        uint32_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4];
        SHA1_TWENTY(SHA1_F1, 0)
        SHA1_TWENTY(SHA1_F2, 20)
        SHA1_TWENTY(SHA1_F3, 40)
        SHA1_TWENTY(SHA1_F2, 60)
        H[0] += a;
        H[1] += b;
        H[2] += c;
        H[3] += d;
        H[4] += e;
    }
}

#undef SHA1_F1
#undef SHA1_F2
#undef SHA1_F3
#undef SHA1_STEP
#undef SHA1_SCHEDULE
#undef SHA1_TWENTY

constexpr uint32_t Sha256K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2,
};

inline TWords4 Sha256SmallSigma0(TWords4 X)
{
    return RotateLeft(X, 25) ^ RotateLeft(X, 14) ^ (X >> 3);
}

inline TWords4 Sha256SmallSigma1(TWords4 X)
{
    return RotateLeft(X, 15) ^ RotateLeft(X, 13) ^ (X >> 10);
}

// SHA-256 schedule words t..t+3 from A = W[t-16..t-13] .. D = W[t-4..t-1]:
// Wt = s1(Wt-2) + Wt-7 + s0(Wt-15) + Wt-16. Words t+2 and t+3 need words t and
// t+1 of this group, so s1 goes in two halves; s1(0) = 0 fills the other lanes.
inline TWords4 Sha256NextWords(TWords4 A, TWords4 B, TWords4 C, TWords4 D)
{
    const TWords4 Zero = {0, 0, 0, 0};
    TWords4 X = A + Sha256SmallSigma0(VELMORA_SHUFFLE(A, B, 1, 2, 3, 4)) +
                VELMORA_SHUFFLE(C, D, 1, 2, 3, 4);
    X += Sha256SmallSigma1(VELMORA_SHUFFLE(D, Zero, 2, 3, 4, 4));
    X += Sha256SmallSigma1(VELMORA_SHUFFLE(Zero, X, 0, 0, 4, 5));
    return X;
}

inline TWords4 Sha256Constants4(int T)
{
    TWords4 K;
    std::memcpy(&K, Sha256K + T, 16);
    return K;
}

#define SHA256_BSIG0(x) (std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22))
#define SHA256_BSIG1(x) (std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25))
#define SHA256_CH(e, f, g) ((g) ^ ((e) & ((f) ^ (g))))

// Majority as b ^ ((a ^ b) & (b ^ c)): this step's b ^ c is the previous step's
// a ^ b, so AB and BC trade places from one step to the next.
#define SHA256_STEP(t, a, b, c, d, e, f, g, h, AB, BC)                         \
    {                                                                         \
        const uint32_t T1 = h + SHA256_BSIG1(e) + SHA256_CH(e, f, g) + WK[(t)&15]; \
        AB = a ^ b;                                                           \
        d += T1;                                                              \
        h = T1 + SHA256_BSIG0(a) + (b ^ (AB & BC));                           \
    }

#define SHA256_SCHEDULE(t)                                                  \
    if constexpr ((t) < 64) {                                               \
        const TWords4 N = Sha256NextWords(W0, W1, W2, W3);                  \
        W0 = W1;                                                            \
        W1 = W2;                                                            \
        W2 = W3;                                                            \
        W3 = N;                                                             \
        StoreRing(WK + ((t)&15), N + Sha256Constants4(t));                  \
        VELMORA_RING_BARRIER();                                             \
    }

#define SHA256_EIGHT(t)                                                     \
    SHA256_STEP((t), a, b, c, d, e, f, g, h, X, Y)                          \
    SHA256_STEP((t) + 1, h, a, b, c, d, e, f, g, Y, X)                      \
    SHA256_STEP((t) + 2, g, h, a, b, c, d, e, f, X, Y)                      \
    SHA256_STEP((t) + 3, f, g, h, a, b, c, d, e, Y, X)                      \
    SHA256_SCHEDULE((t) + 16)                                               \
    SHA256_STEP((t) + 4, e, f, g, h, a, b, c, d, X, Y)                      \
    SHA256_STEP((t) + 5, d, e, f, g, h, a, b, c, Y, X)                      \
    SHA256_STEP((t) + 6, c, d, e, f, g, h, a, b, X, Y)                      \
    SHA256_STEP((t) + 7, b, c, d, e, f, g, h, a, Y, X)                      \
    SHA256_SCHEDULE((t) + 20)

// Out of line, as Sha1Portable.
__attribute__((noinline)) void Sha256Portable(uint32_t* H, const uint8_t* P, int32_t Count)
{
    alignas(16) uint32_t WK[16];
    for (; Count > 0; --Count, P += 64) {
        TWords4 W0 = LoadBigEndianWords4(P), W1 = LoadBigEndianWords4(P + 16),
                W2 = LoadBigEndianWords4(P + 32), W3 = LoadBigEndianWords4(P + 48);
        StoreRing(WK, W0 + Sha256Constants4(0));
        StoreRing(WK + 4, W1 + Sha256Constants4(4));
        StoreRing(WK + 8, W2 + Sha256Constants4(8));
        StoreRing(WK + 12, W3 + Sha256Constants4(12));
        VELMORA_RING_BARRIER();

        uint32_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4], f = H[5], g = H[6],
                 h = H[7];
        uint32_t X, Y = b ^ c;
        SHA256_EIGHT(0)
        SHA256_EIGHT(8)
        SHA256_EIGHT(16)
        SHA256_EIGHT(24)
        SHA256_EIGHT(32)
        SHA256_EIGHT(40)
        SHA256_EIGHT(48)
        SHA256_EIGHT(56)
        H[0] += a;
        H[1] += b;
        H[2] += c;
        H[3] += d;
        H[4] += e;
        H[5] += f;
        H[6] += g;
        H[7] += h;
    }
}

#undef SHA256_BSIG0
#undef SHA256_BSIG1
#undef SHA256_CH
#undef SHA256_STEP
#undef SHA256_SCHEDULE
#undef SHA256_EIGHT

// ---------------------------------------------------------------------------
// The processor's SHA extensions. Only these functions are built for them; the
// rest of the program stays baseline x86-64, and the functions run only after
// the processor said it has the extensions.

#if VELMORA_SHA_X86

#define VELMORA_SHA_TARGET __attribute__((target("sha,sse4.1")))
#define VELMORA_SHA_INLINE __attribute__((target("sha,sse4.1"), always_inline)) inline

// One group of four SHA-1 steps. E[G % 2] carries e into the group, M[G % 4]
// holds the group's message words; the other three message registers are being
// advanced towards the groups that need them.
template <int G>
VELMORA_SHA_INLINE void Sha1Group(__m128i& Abcd, __m128i* E, __m128i* M, const uint8_t* P,
                                  __m128i ByteSwap)
{
    if constexpr (G < 4)
        M[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * G)),
                                ByteSwap);
    if constexpr (G == 0)
        E[0] = _mm_add_epi32(E[0], M[0]);
    else
        E[G % 2] = _mm_sha1nexte_epu32(E[G % 2], M[G % 4]);
    E[(G + 1) % 2] = Abcd;
    if constexpr (G >= 3 && G <= 18) M[(G + 1) % 4] = _mm_sha1msg2_epu32(M[(G + 1) % 4], M[G % 4]);
    Abcd = _mm_sha1rnds4_epu32(Abcd, E[G % 2], G / 5);
    if constexpr (G >= 1 && G <= 16) M[(G + 3) % 4] = _mm_sha1msg1_epu32(M[(G + 3) % 4], M[G % 4]);
    if constexpr (G >= 2 && G <= 17) M[(G + 2) % 4] = _mm_xor_si128(M[(G + 2) % 4], M[G % 4]);
}

VELMORA_SHA_TARGET void Sha1Hardware(uint32_t* H, const uint8_t* P, int32_t Count)
{
    const __m128i ByteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i Abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(H)), 0x1B);
    __m128i E0 = _mm_set_epi32(int(H[4]), 0, 0, 0);
    for (; Count > 0; --Count, P += 64) {
        const __m128i AbcdSave = Abcd;
        const __m128i ESave = E0;
        __m128i E[2] = {E0, _mm_setzero_si128()};
        __m128i M[4];
        Sha1Group<0>(Abcd, E, M, P, ByteSwap);
        Sha1Group<1>(Abcd, E, M, P, ByteSwap);
        Sha1Group<2>(Abcd, E, M, P, ByteSwap);
        Sha1Group<3>(Abcd, E, M, P, ByteSwap);
        Sha1Group<4>(Abcd, E, M, P, ByteSwap);
        Sha1Group<5>(Abcd, E, M, P, ByteSwap);
        Sha1Group<6>(Abcd, E, M, P, ByteSwap);
        Sha1Group<7>(Abcd, E, M, P, ByteSwap);
        Sha1Group<8>(Abcd, E, M, P, ByteSwap);
        Sha1Group<9>(Abcd, E, M, P, ByteSwap);
        Sha1Group<10>(Abcd, E, M, P, ByteSwap);
        Sha1Group<11>(Abcd, E, M, P, ByteSwap);
        Sha1Group<12>(Abcd, E, M, P, ByteSwap);
        Sha1Group<13>(Abcd, E, M, P, ByteSwap);
        Sha1Group<14>(Abcd, E, M, P, ByteSwap);
        Sha1Group<15>(Abcd, E, M, P, ByteSwap);
        Sha1Group<16>(Abcd, E, M, P, ByteSwap);
        Sha1Group<17>(Abcd, E, M, P, ByteSwap);
        Sha1Group<18>(Abcd, E, M, P, ByteSwap);
        Sha1Group<19>(Abcd, E, M, P, ByteSwap);
        E0 = _mm_sha1nexte_epu32(E[0], ESave);
        Abcd = _mm_add_epi32(Abcd, AbcdSave);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(H), _mm_shuffle_epi32(Abcd, 0x1B));
    H[4] = uint32_t(_mm_extract_epi32(E0, 3));
}

// One group of four SHA-256 steps over M[G % 4], finishing the schedule word
// M[(G + 1) % 4] and starting M[(G + 3) % 4] on the way.
template <int G>
VELMORA_SHA_INLINE void Sha256Group(__m128i& Abef, __m128i& Cdgh, __m128i* M, const uint8_t* P,
                                    __m128i ByteSwap)
{
    if constexpr (G < 4)
        M[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * G)),
                                ByteSwap);
    __m128i Msg = _mm_add_epi32(
        M[G % 4], _mm_loadu_si128(reinterpret_cast<const __m128i*>(Sha256K + 4 * G)));
    Cdgh = _mm_sha256rnds2_epu32(Cdgh, Abef, Msg);
    if constexpr (G >= 3 && G <= 14) {
        const __m128i Tmp = _mm_alignr_epi8(M[G % 4], M[(G + 3) % 4], 4);
        M[(G + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(M[(G + 1) % 4], Tmp), M[G % 4]);
    }
    Msg = _mm_shuffle_epi32(Msg, 0x0E);
    Abef = _mm_sha256rnds2_epu32(Abef, Cdgh, Msg);
    if constexpr (G >= 1 && G <= 12) M[(G + 3) % 4] = _mm_sha256msg1_epu32(M[(G + 3) % 4], M[G % 4]);
}

VELMORA_SHA_TARGET void Sha256Hardware(uint32_t* H, const uint8_t* P, int32_t Count)
{
    const __m128i ByteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The rounds instruction wants the state as ABEF and CDGH.
    __m128i Tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(H)), 0xB1);
    __m128i Cdgh =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(H + 4)), 0x1B);
    __m128i Abef = _mm_alignr_epi8(Tmp, Cdgh, 8);
    Cdgh = _mm_blend_epi16(Cdgh, Tmp, 0xF0);
    for (; Count > 0; --Count, P += 64) {
        const __m128i AbefSave = Abef;
        const __m128i CdghSave = Cdgh;
        __m128i M[4];
        Sha256Group<0>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<1>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<2>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<3>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<4>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<5>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<6>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<7>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<8>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<9>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<10>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<11>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<12>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<13>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<14>(Abef, Cdgh, M, P, ByteSwap);
        Sha256Group<15>(Abef, Cdgh, M, P, ByteSwap);
        Abef = _mm_add_epi32(Abef, AbefSave);
        Cdgh = _mm_add_epi32(Cdgh, CdghSave);
    }
    Tmp = _mm_shuffle_epi32(Abef, 0x1B);   // FEBA
    Cdgh = _mm_shuffle_epi32(Cdgh, 0xB1);  // DCHG
    _mm_storeu_si128(reinterpret_cast<__m128i*>(H), _mm_blend_epi16(Tmp, Cdgh, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(H + 4), _mm_alignr_epi8(Cdgh, Tmp, 8));
}

bool DetectShaHardware()
{
    unsigned A = 0, B = 0, C = 0, D = 0;
    if (!__get_cpuid(1, &A, &B, &C, &D)) return false;
    const bool Ssse3 = (C & (1u << 9)) != 0;
    const bool Sse41 = (C & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &A, &B, &C, &D)) return false;
    const bool Sha = (B & (1u << 29)) != 0;
    return Ssse3 && Sse41 && Sha;
}

#else

bool DetectShaHardware() { return false; }

#endif

std::atomic<int> ShaChoice{int(TShaImplementation::Auto)};

bool UseShaHardware()
{
    static const bool Available = DetectShaHardware();
    return Available &&
           ShaChoice.load(std::memory_order_relaxed) != int(TShaImplementation::Portable);
}

// The five words H0..H4 of FIPS 180-4, section 5.3.1.
constexpr uint32_t Sha1InitialValues[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                           0xC3D2E1F0};
// The eight words H0..H7 of FIPS 180-4, section 5.3.3.
constexpr uint32_t Sha256InitialValues[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// Checked before the engine's own checks, so a missing set of initial values is
// the first fault reported.
int32_t RequireInitialValues(const void* InitialChainingValues, int32_t BlockSize)
{
    VELMORA_ASSERT(InitialChainingValues != nullptr,
                   "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.",
                   MessageDigestsSource);
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
    VELMORA_ASSERT(BlockSize > 0, "TMessageDigest.CreateInternal: BlockSize <= 0.",
                   MessageDigestsSource);
    VELMORA_ASSERT(DigestSize > 0, "TMessageDigest.CreateInternal: DigestSize <= 0.",
                   MessageDigestsSource);
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

TMD4Family::TMD4Family(int32_t BlockSize, int32_t DigestSize, const void* InitialChainingValues,
                       bool BigEndian)
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
    const uint64_t Bits =
        (uint64_t(FBlockCount) * uint64_t(FBlockSize) + uint64_t(FBufferCount)) * 8u;
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
    VELMORA_ASSERT(Blocks != nullptr, "TSHA1.TransformBlocks: Addr(Blocks) = nil.",
                   MessageDigestsSource);
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
    VELMORA_ASSERT(Blocks != nullptr, "TSHA256.TransformBlocks: Addr(Blocks) = nil.",
                   MessageDigestsSource);
#if VELMORA_SHA_X86
    if (UseShaHardware())
        Sha256Hardware(ChainingWords(), Blocks, Count);
    else
#endif
        Sha256Portable(ChainingWords(), Blocks, Count);
    TMD4Family::TransformBlocks(Blocks, Count);
}
