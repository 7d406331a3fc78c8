// The portable SHA-1 and SHA-256 compression functions, for every processor (GCC
// and Clang vector types: SSE2 on x86-64, NEON on ARM, plain words elsewhere).
//
// Both digests keep a rolling schedule of 16 words as four 4-word vectors and
// compute it four words at a time on the vector unit, while the steps run on the
// integer unit, written out in full so that the working variables rotate by
// renaming. The next four words, plus the step constants, go into a 16-word ring
// WK that the steps read. The empty asm statement after each store keeps that
// ring in memory: left alone, the compiler moves each word out of the vector
// register with a shuffle of its own, which costs more than the step's memory
// operand.

#include <bit>
#include <cstring>

#include "ShaCompression.h"

namespace {

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

#define SHA1_STEP(F, t, a, b, c, d, e)              \
    e += std::rotl(a, 5) + F(b, c, d) + WK[(t)&15]; \
    b = std::rotl(b, 30);

// Words t..t+3 of the schedule, when the block has them.
#define SHA1_SCHEDULE(t)                                 \
    if constexpr ((t) < 80) {                            \
        const TWords4 N = Sha1NextWords(W0, W1, W2, W3); \
        W0 = W1;                                         \
        W1 = W2;                                         \
        W2 = W3;                                         \
        W3 = N;                                          \
        StoreRing(WK + ((t)&15), N + Sha1K[(t) / 20]);   \
        VELMORA_RING_BARRIER();                          \
    }

// Twenty steps with one logical function: the names come back to where they
// started, and the schedule runs 16 words ahead of the steps.
// clang-format off
#define SHA1_TWENTY(F, t)                                                         \
    SHA1_STEP(F, (t) + 0, a, b, c, d, e)  SHA1_STEP(F, (t) + 1, e, a, b, c, d)    \
    SHA1_STEP(F, (t) + 2, d, e, a, b, c)  SHA1_STEP(F, (t) + 3, c, d, e, a, b)    \
    SHA1_SCHEDULE((t) + 16)                                                       \
    SHA1_STEP(F, (t) + 4, b, c, d, e, a)  SHA1_STEP(F, (t) + 5, a, b, c, d, e)    \
    SHA1_STEP(F, (t) + 6, e, a, b, c, d)  SHA1_STEP(F, (t) + 7, d, e, a, b, c)    \
    SHA1_SCHEDULE((t) + 20)                                                       \
    SHA1_STEP(F, (t) + 8, c, d, e, a, b)  SHA1_STEP(F, (t) + 9, b, c, d, e, a)    \
    SHA1_STEP(F, (t) + 10, a, b, c, d, e) SHA1_STEP(F, (t) + 11, e, a, b, c, d)   \
    SHA1_SCHEDULE((t) + 24)                                                       \
    SHA1_STEP(F, (t) + 12, d, e, a, b, c) SHA1_STEP(F, (t) + 13, c, d, e, a, b)   \
    SHA1_STEP(F, (t) + 14, b, c, d, e, a) SHA1_STEP(F, (t) + 15, a, b, c, d, e)   \
    SHA1_SCHEDULE((t) + 28)                                                       \
    SHA1_STEP(F, (t) + 16, e, a, b, c, d) SHA1_STEP(F, (t) + 17, d, e, a, b, c)   \
    SHA1_STEP(F, (t) + 18, c, d, e, a, b) SHA1_STEP(F, (t) + 19, b, c, d, e, a)   \
    SHA1_SCHEDULE((t) + 32)
// clang-format on

}  // namespace

// Kept out of line: the loop then has the registers to itself, a few per cent
// faster than inlined into TransformBlocks.
__attribute__((noinline)) void Sha1Portable(uint32_t* H, const uint8_t* P, int32_t Count)
{
    alignas(16) uint32_t WK[16];
    for (; Count > 0; --Count, P += 64) {
        TWords4 W0 = LoadBigEndianWords4(P), W1 = LoadBigEndianWords4(P + 16), W2 = LoadBigEndianWords4(P + 32),
                W3 = LoadBigEndianWords4(P + 48);
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

namespace {

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
    TWords4 X = A + Sha256SmallSigma0(VELMORA_SHUFFLE(A, B, 1, 2, 3, 4)) + VELMORA_SHUFFLE(C, D, 1, 2, 3, 4);
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
#define SHA256_STEP(t, a, b, c, d, e, f, g, h, AB, BC)                             \
    {                                                                              \
        const uint32_t T1 = h + SHA256_BSIG1(e) + SHA256_CH(e, f, g) + WK[(t)&15]; \
        AB = a ^ b;                                                                \
        d += T1;                                                                   \
        h = T1 + SHA256_BSIG0(a) + (b ^ (AB & BC));                                \
    }

#define SHA256_SCHEDULE(t)                                 \
    if constexpr ((t) < 64) {                              \
        const TWords4 N = Sha256NextWords(W0, W1, W2, W3); \
        W0 = W1;                                           \
        W1 = W2;                                           \
        W2 = W3;                                           \
        W3 = N;                                            \
        StoreRing(WK + ((t)&15), N + Sha256Constants4(t)); \
        VELMORA_RING_BARRIER();                            \
    }

#define SHA256_EIGHT(t)                                \
    SHA256_STEP((t), a, b, c, d, e, f, g, h, X, Y)     \
    SHA256_STEP((t) + 1, h, a, b, c, d, e, f, g, Y, X) \
    SHA256_STEP((t) + 2, g, h, a, b, c, d, e, f, X, Y) \
    SHA256_STEP((t) + 3, f, g, h, a, b, c, d, e, Y, X) \
    SHA256_SCHEDULE((t) + 16)                          \
    SHA256_STEP((t) + 4, e, f, g, h, a, b, c, d, X, Y) \
    SHA256_STEP((t) + 5, d, e, f, g, h, a, b, c, Y, X) \
    SHA256_STEP((t) + 6, c, d, e, f, g, h, a, b, X, Y) \
    SHA256_STEP((t) + 7, b, c, d, e, f, g, h, a, Y, X) \
    SHA256_SCHEDULE((t) + 20)

}  // namespace

// Out of line, as Sha1Portable.
__attribute__((noinline)) void Sha256Portable(uint32_t* H, const uint8_t* P, int32_t Count)
{
    alignas(16) uint32_t WK[16];
    for (; Count > 0; --Count, P += 64) {
        TWords4 W0 = LoadBigEndianWords4(P), W1 = LoadBigEndianWords4(P + 16), W2 = LoadBigEndianWords4(P + 32),
                W3 = LoadBigEndianWords4(P + 48);
        StoreRing(WK, W0 + Sha256Constants4(0));
        StoreRing(WK + 4, W1 + Sha256Constants4(4));
        StoreRing(WK + 8, W2 + Sha256Constants4(8));
        StoreRing(WK + 12, W3 + Sha256Constants4(12));
        VELMORA_RING_BARRIER();

        uint32_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4], f = H[5], g = H[6], h = H[7];
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
