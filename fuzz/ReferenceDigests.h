// Small, deliberately plain SHA-1 and SHA-256 for the fuzz targets: an oracle that
// shares no code with the program's digest engine, so a fault there cannot hide
// itself by agreeing with its own result.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace reference {

inline uint32_t Rotl(uint32_t X, int N)
{
    return (X << N) | (X >> (32 - N));
}
inline uint32_t Rotr(uint32_t X, int N)
{
    return (X >> N) | (X << (32 - N));
}

// Pads the message the MD4 way (0x80, zeros, 64-bit big-endian bit count) and
// hands each 64-byte block to Block.
template <typename BlockFn> void ForEachPaddedBlock(std::string_view Message, BlockFn Block)
{
    const uint64_t BitCount = uint64_t(Message.size()) * 8;
    size_t Whole = Message.size() / 64;
    for (size_t I = 0; I < Whole; ++I) Block(reinterpret_cast<const uint8_t*>(Message.data()) + 64 * I);
    uint8_t Tail[128] = {};
    size_t Rest = Message.size() - 64 * Whole;
    if (Rest) std::memcpy(Tail, Message.data() + 64 * Whole, Rest);
    Tail[Rest] = 0x80;
    size_t TailLength = Rest + 1 + 8 <= 64 ? 64 : 128;
    for (int I = 0; I < 8; ++I) Tail[TailLength - 1 - I] = uint8_t(BitCount >> (8 * I));
    Block(Tail);
    if (TailLength == 128) Block(Tail + 64);
}

inline uint32_t BigEndian32(const uint8_t* P)
{
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}

inline std::string Hex(const uint32_t* Words, int Count)
{
    static const char Digits[] = "0123456789abcdef";
    std::string Text;
    for (int I = 0; I < Count; ++I)
        for (int Shift = 28; Shift >= 0; Shift -= 4) Text += Digits[(Words[I] >> Shift) & 15];
    return Text;
}

inline std::string Sha1Hex(std::string_view Message)
{
    uint32_t H[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    ForEachPaddedBlock(Message, [&](const uint8_t* B) {
        uint32_t W[80];
        for (int T = 0; T < 16; ++T) W[T] = BigEndian32(B + 4 * T);
        for (int T = 16; T < 80; ++T) W[T] = Rotl(W[T - 3] ^ W[T - 8] ^ W[T - 14] ^ W[T - 16], 1);
        uint32_t A = H[0], Bv = H[1], C = H[2], D = H[3], E = H[4];
        for (int T = 0; T < 80; ++T) {
            uint32_t F, K;
            if (T < 20) {
                F = (Bv & C) | (~Bv & D);
                K = 0x5A827999;
            } else if (T < 40) {
                F = Bv ^ C ^ D;
                K = 0x6ED9EBA1;
            } else if (T < 60) {
                F = (Bv & C) | (Bv & D) | (C & D);
                K = 0x8F1BBCDC;
            } else {
                F = Bv ^ C ^ D;
                K = 0xCA62C1D6;
            }
            uint32_t Temp = Rotl(A, 5) + F + E + K + W[T];
            E = D;
            D = C;
            C = Rotl(Bv, 30);
            Bv = A;
            A = Temp;
        }
        H[0] += A;
        H[1] += Bv;
        H[2] += C;
        H[3] += D;
        H[4] += E;
    });
    return Hex(H, 5);
}

inline std::string Sha256Hex(std::string_view Message)
{
    static const uint32_t K[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t H[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    ForEachPaddedBlock(Message, [&](const uint8_t* B) {
        uint32_t W[64];
        for (int T = 0; T < 16; ++T) W[T] = BigEndian32(B + 4 * T);
        for (int T = 16; T < 64; ++T) {
            uint32_t S0 = Rotr(W[T - 15], 7) ^ Rotr(W[T - 15], 18) ^ (W[T - 15] >> 3);
            uint32_t S1 = Rotr(W[T - 2], 17) ^ Rotr(W[T - 2], 19) ^ (W[T - 2] >> 10);
            W[T] = W[T - 16] + S0 + W[T - 7] + S1;
        }
        uint32_t V[8];
        std::memcpy(V, H, sizeof V);
        for (int T = 0; T < 64; ++T) {
            uint32_t S1 = Rotr(V[4], 6) ^ Rotr(V[4], 11) ^ Rotr(V[4], 25);
            uint32_t Ch = (V[4] & V[5]) ^ (~V[4] & V[6]);
            uint32_t T1 = V[7] + S1 + Ch + K[T] + W[T];
            uint32_t S0 = Rotr(V[0], 2) ^ Rotr(V[0], 13) ^ Rotr(V[0], 22);
            uint32_t Maj = (V[0] & V[1]) ^ (V[0] & V[2]) ^ (V[1] & V[2]);
            uint32_t T2 = S0 + Maj;
            std::memmove(V + 1, V, 7 * sizeof(uint32_t));
            V[4] += T1;
            V[0] = T1 + T2;
        }
        for (int I = 0; I < 8; ++I) H[I] += V[I];
    });
    return Hex(H, 8);
}

}  // namespace reference
