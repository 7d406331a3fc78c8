// Hash table keyed by byte strings. THash holds the keys and, for each, a position
// in a value store; TObjectHash supplies the store as an array of owned objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Exceptions.h"

// The root object class: every value of a decoded tree derives from it.
class TObject {
public:
    virtual ~TObject() = default;
};

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

private:
    // Lookup index of a table past LinearLimit keys (see Hashes.cpp).
    struct TIndex;
    // Up to this many keys a lookup scans the records; no index is allocated, so a
    // small dictionary costs its records and little more.
    static constexpr int32_t LinearLimit = 8;

    // Record number of Key (whose HashOf is Hash) in FRecords, -1 when absent.
    int32_t FindRecord(std::string_view Key, uint32_t Hash) const;
    // Makes the index ready for Count records; leaves the table unchanged if it throws.
    void ReserveIndex(size_t Count);

    std::vector<THashRecord> FRecords;  // every key, in first-insertion order
    std::unique_ptr<TIndex> FIndex;     // null while the table is small
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

    // Where the value stored under "info" lies in the stream this dictionary was
    // decoded from, as the decoder saw it; only the root dictionary of a document
    // gets it. Unlike the "_info_start"/"_info_length" entries, a document cannot
    // overwrite these. InfoStart is -1 when no "info" value was stored.
    // InfoComplete: the value is a dictionary closed by its own 'e' inside the
    // stream, so [InfoStart, InfoStart + InfoLength) holds all of its bytes.
    int64_t InfoStart = -1;
    int64_t InfoLength = -1;
    bool InfoComplete = false;

protected:
    void DeleteItem(int32_t Position) override;
    void MoveItem(int32_t From, int32_t To) override;
    void SetItemCount(int32_t Count) override;
    void ClearItems() override;
    int32_t ItemHigh() const override;

private:
    std::vector<std::unique_ptr<TObject>> Values;
};
