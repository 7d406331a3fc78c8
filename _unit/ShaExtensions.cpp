// The SHA-1 and SHA-256 compression functions on the processor's SHA extensions
// (x86), and the check whether the processor has them. Only these functions are
// built for the extensions; the rest of the program stays baseline x86-64, and
// the functions run only after the processor said it has them.
#include "ShaCompression.h"

#if VELMORA_SHA_X86

#include <cpuid.h>
#include <immintrin.h>

#define VELMORA_SHA_TARGET __attribute__((target("sha,sse4.1")))
#define VELMORA_SHA_INLINE __attribute__((target("sha,sse4.1"), always_inline)) inline

namespace {

// One group of four SHA-1 steps. E[G % 2] carries e into the group, M[G % 4]
// holds the group's message words; the other three message registers are being
// advanced towards the groups that need them.
template <int G>
VELMORA_SHA_INLINE void Sha1Group(__m128i& Abcd, __m128i* E, __m128i* M, const uint8_t* P, __m128i ByteSwap)
{
    if constexpr (G < 4)
        M[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * G)), ByteSwap);
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

}  // namespace

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

namespace {

// One group of four SHA-256 steps over M[G % 4], finishing the schedule word
// M[(G + 1) % 4] and starting M[(G + 3) % 4] on the way.
template <int G>
VELMORA_SHA_INLINE void Sha256Group(__m128i& Abef, __m128i& Cdgh, __m128i* M, const uint8_t* P, __m128i ByteSwap)
{
    if constexpr (G < 4)
        M[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * G)), ByteSwap);
    __m128i Msg = _mm_add_epi32(M[G % 4], _mm_loadu_si128(reinterpret_cast<const __m128i*>(Sha256K + 4 * G)));
    Cdgh = _mm_sha256rnds2_epu32(Cdgh, Abef, Msg);
    if constexpr (G >= 3 && G <= 14) {
        const __m128i Tmp = _mm_alignr_epi8(M[G % 4], M[(G + 3) % 4], 4);
        M[(G + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(M[(G + 1) % 4], Tmp), M[G % 4]);
    }
    Msg = _mm_shuffle_epi32(Msg, 0x0E);
    Abef = _mm_sha256rnds2_epu32(Abef, Cdgh, Msg);
    if constexpr (G >= 1 && G <= 12) M[(G + 3) % 4] = _mm_sha256msg1_epu32(M[(G + 3) % 4], M[G % 4]);
}

}  // namespace

VELMORA_SHA_TARGET void Sha256Hardware(uint32_t* H, const uint8_t* P, int32_t Count)
{
    const __m128i ByteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The rounds instruction wants the state as ABEF and CDGH.
    __m128i Tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(H)), 0xB1);
    __m128i Cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(H + 4)), 0x1B);
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

bool DetectShaHardware()
{
    return false;
}

#endif
