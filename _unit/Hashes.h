// Hash table keyed by byte strings. THash holds the keys and, for each, a position
// in a value store; TObjectHash supplies the store as an array of owned objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "Exceptions.h"
#include "ObjectPool.h"

class EHashError : public Exception {
public:
    using Exception::Exception;
};
class EHashFindError : public EHashError {
public:
    using EHashError::EHashError;
};
class EHashInvalidKeyError : public EHashError {
public:
    using EHashError::EHashError;
};

struct THashRecord {
    uint32_t Hash = 0;
    int32_t ItemIndex = 0;
    std::string Key;
};

class THash : public TObject {
public:
    THash();
    ~THash() override;
    THash(const THash&) = delete;
    THash& operator=(const THash&) = delete;

    // Raises EHashInvalidKeyError for the empty key.
    bool Exists(std::string_view Key) const;
    // Removes every key and destroys every value.
    void Clear();
    // Number of keys stored.
    int32_t Count() const;
    // The keys in the order in which they were first stored.
    std::vector<std::string> Keys() const;

    // "Key cannot be an empty string" for the empty key.
    static uint32_t HashOf(std::string_view Key);

    // The buckets that FindKey reports: the low BucketBits bits of HashOf. Each
    // bucket keeps its keys in the order in which they were first stored.
    static constexpr int BucketBits = 7;
    static constexpr uint32_t BucketCount = 1u << BucketBits;
    static constexpr uint32_t BucketMask = BucketCount - 1;

    struct TFindResult {
        bool Found = false;
        uint32_t Bucket = 0;
        int32_t Position = -1;  // index of the record within its bucket
    };
    TFindResult FindKey(std::string_view Key) const;

protected:
    virtual void DeleteItem(int32_t Position) = 0;
    virtual void MoveItem(int32_t From, int32_t To) = 0;
    virtual void SetItemCount(int32_t Count) = 0;
    virtual void ClearItems() = 0;
    virtual int32_t ItemHigh() const = 0;

    // Index into the value store of a found key, -1 when absent.
    int32_t IndexOf(std::string_view Key) const;
    // Appends a record for a new key whose value sits at ItemIndex.
    void AddKey(std::string_view Key, uint32_t Hash, int32_t ItemIndex);
    // The same, computing HashOf(Key) only where the table keeps it.
    void AddKey(std::string_view Key, int32_t ItemIndex);

private:
    // A key in 16 bytes: up to 15 bytes in place (the last byte holds the length),
    // a longer one on the heap (the last byte then holds LongKey).
    struct TKeyText {
        union {
            char Short[16];
            struct {
                char* Data;
                uint32_t Length;
            } Long;
        };
    };
    // A record of the grown form (see Hashes.cpp).
    struct TRecord {
        TKeyText Key;
        uint32_t Hash;
        int32_t ItemIndex;
    };
    // Lookup index of a table past LinearLimit keys (see Hashes.cpp and KeyIndex.h).
    struct TIndex;

    // Up to this many keys a lookup scans the records; no index is allocated, so a
    // small dictionary costs its records and little more.
    static constexpr int32_t LinearLimit = 8;
    // Up to this many keys live inside the table object itself.
    static constexpr uint32_t InlineKeys = 2;

    bool Grown() const { return FCapacity > InlineKeys; }
    std::string_view KeyAt(uint32_t Record) const;
    uint32_t HashAt(uint32_t Record) const;
    int32_t ItemIndexAt(uint32_t Record) const;
    // Record number of Key (whose HashOf is Hash), -1 when absent.
    int32_t FindRecord(std::string_view Key, uint32_t Hash) const;
    // FindRecord, computing HashOf only where the lookup needs it; raises for the
    // empty key all the same.
    int32_t Locate(std::string_view Key) const;
    // Makes room for one more record in the grown form; leaves the table unchanged
    // if it throws.
    void Reserve(uint32_t Count);
    // Makes the index ready for Count records; leaves the table unchanged if it throws.
    void ReserveIndex(size_t Count);
    void FreeStorage() noexcept;

    // The small form keeps the keys in place, each value at the position of its
    // key (ItemIndex implicit). The grown form keeps full records in an array and,
    // past LinearLimit keys, an index.
    union {
        TKeyText FInline[InlineKeys];
        struct {
            TRecord* Records;
            TIndex* Index;  // null up to LinearLimit keys
        } FGrown;
    };
    uint32_t FCount = 0;              // records
    uint32_t FCapacity = InlineKeys;  // room for records; InlineKeys in the small form
};

class TObjectHash : public THash {
public:
    TObjectHash();
    ~TObjectHash() override;

    // Raises EHashFindError "Key "<key>" not found" when absent.
    TObject* Items(std::string_view Key) const;
    // The value under Key, or nullptr when absent (Key must not be empty).
    TObject* Find(std::string_view Key) const;
    // Stores Value under Key, destroying a value stored there before.
    void Put(std::string_view Key, std::unique_ptr<TObject> Value);

protected:
    void DeleteItem(int32_t Position) override;
    void MoveItem(int32_t From, int32_t To) override;
    void SetItemCount(int32_t Count) override;
    void ClearItems() override;
    int32_t ItemHigh() const override;

private:
    // Owned objects, nullptr for an empty slot. Up to InlineValues in place, else
    // an array of at least ValueCapacity(count) slots.
    static constexpr uint32_t InlineValues = 2;
    static size_t ValueCapacity(size_t Count);
    TObject** ValueData() { return FValueCount > InlineValues ? FValues : FInlineValues; }
    TObject* const* ValueData() const { return FValueCount > InlineValues ? FValues : FInlineValues; }
    TObject* ValueAt(int32_t Index) const;
    // Changes the number of slots, moving them between the two forms as the
    // count requires; new slots are empty, slots cut off must be empty already.
    // Allocates only to grow.
    void ResizeValues(size_t Count);

    union {
        TObject* FInlineValues[InlineValues];
        TObject** FValues;
    };
    uint32_t FValueCount = 0;
};
