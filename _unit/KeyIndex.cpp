#include "KeyIndex.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <random>

namespace {

struct TSipKey {
    uint64_t K0;
    uint64_t K1;
};

const TSipKey& IndexKey()
{
    static const TSipKey Key = [] {
        TSipKey K{0x9E3779B97F4A7C15ull, 0xD1B54A32D192ED03ull};
        K.K0 ^= static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        K.K1 ^= reinterpret_cast<uintptr_t>(&K);
        try {
            std::random_device Device;
            K.K0 ^= (static_cast<uint64_t>(Device()) << 32) ^ Device();
            K.K1 ^= (static_cast<uint64_t>(Device()) << 32) ^ Device();
        } catch (...) {
            // Without a random source the clock and address above must do.
        }
        return K;
    }();
    return Key;
}

inline uint64_t Rotl(uint64_t X, int B)
{
    return (X << B) | (X >> (64 - B));
}

inline uint64_t LoadLittle64(const uint8_t* P)
{
    uint64_t V;
    std::memcpy(&V, P, 8);
    if constexpr (std::endian::native == std::endian::big) V = __builtin_bswap64(V);
    return V;
}

uint64_t SipHash13(const TSipKey& Key, std::string_view Data)
{
    uint64_t V0 = 0x736f6d6570736575ull ^ Key.K0;
    uint64_t V1 = 0x646f72616e646f6dull ^ Key.K1;
    uint64_t V2 = 0x6c7967656e657261ull ^ Key.K0;
    uint64_t V3 = 0x7465646279746573ull ^ Key.K1;
    auto Round = [&] {
        V0 += V1;
        V1 = Rotl(V1, 13);
        V1 ^= V0;
        V0 = Rotl(V0, 32);
        V2 += V3;
        V3 = Rotl(V3, 16);
        V3 ^= V2;
        V0 += V3;
        V3 = Rotl(V3, 21);
        V3 ^= V0;
        V2 += V1;
        V1 = Rotl(V1, 17);
        V1 ^= V2;
        V2 = Rotl(V2, 32);
    };
    const uint8_t* In = reinterpret_cast<const uint8_t*>(Data.data());
    const size_t Length = Data.size();
    const size_t WholeEnd = Length - Length % 8;
    for (size_t I = 0; I < WholeEnd; I += 8) {
        uint64_t M = LoadLittle64(In + I);
        V3 ^= M;
        Round();
        V0 ^= M;
    }
    uint64_t Last = static_cast<uint64_t>(Length) << 56;
    for (size_t J = 0; J < Length % 8; ++J) Last |= static_cast<uint64_t>(In[WholeEnd + J]) << (8 * J);
    V3 ^= Last;
    Round();
    V0 ^= Last;
    V2 ^= 0xFF;
    Round();
    Round();
    Round();
    return V0 ^ V1 ^ V2 ^ V3;
}

}  // namespace

uint32_t TKeyIndex::HashOf(std::string_view Key)
{
    return static_cast<uint32_t>(SipHash13(IndexKey(), Key) >> 32);
}

void TKeyIndex::Reserve(size_t Count)
{
    const size_t Wanted = std::bit_ceil(std::max<size_t>(2 * Count, 32));
    if (FSlots.size() >= Wanted) return;
    std::vector<uint64_t> Slots(Wanted, 0);
    for (uint64_t Entry : FSlots)
        if (Entry != 0) Place(Slots, Entry);
    FSlots = std::move(Slots);
}
