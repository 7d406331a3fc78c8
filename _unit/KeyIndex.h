// The lookup index of a big keyed table (used by Hashes.cpp only): open addressing
// over record numbers, hashed with SipHash-1-3 under a key drawn once per process,
// so that a document cannot pick keys that collide in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class TKeyIndex {
public:
    // The index hash of a key: where its probe run starts, and a filter that spares
    // most probes a look at the record.
    static uint32_t HashOf(std::string_view Key);

    size_t SlotCount() const { return FSlots.size(); }

    // Makes room for Count records with at most half the slots in use, which keeps
    // the probe runs short; the slots double as the table fills. Leaves the index
    // unchanged if it throws.
    void Reserve(size_t Count);

    // Enters Record, whose key has the index hash Tag; Reserve made room for it.
    void Insert(int32_t Record, uint32_t Tag) { Place(FSlots, MakeSlot(Record, Tag)); }

    // The record with index hash Tag for which IsKey(record) holds, -1 when none.
    template <class TIsKey> int32_t Find(uint32_t Tag, TIsKey&& IsKey) const
    {
        const size_t Mask = FSlots.size() - 1;
        for (size_t At = Tag & Mask;; At = (At + 1) & Mask) {
            const uint64_t Entry = FSlots[At];
            if (Entry == 0) return -1;
            if (SlotTag(Entry) != Tag) continue;
            const int32_t Record = SlotRecord(Entry);
            if (IsKey(Record)) return Record;
        }
    }

private:
    // A slot holds the record number + 1 in its low half (0: free) and the key's
    // index hash in its high half, so that growing never rehashes a key.
    static uint64_t MakeSlot(int32_t Record, uint32_t Tag)
    {
        return (static_cast<uint64_t>(Tag) << 32) | (static_cast<uint32_t>(Record) + 1u);
    }
    static uint32_t SlotTag(uint64_t Slot) { return static_cast<uint32_t>(Slot >> 32); }
    static int32_t SlotRecord(uint64_t Slot) { return static_cast<int32_t>(static_cast<uint32_t>(Slot) - 1u); }
    static void Place(std::vector<uint64_t>& Slots, uint64_t Entry)
    {
        const size_t Mask = Slots.size() - 1;
        size_t At = SlotTag(Entry) & Mask;
        while (Slots[At] != 0) At = (At + 1) & Mask;
        Slots[At] = Entry;
    }

    std::vector<uint64_t> FSlots;  // see MakeSlot; a power of two long, or empty
};
