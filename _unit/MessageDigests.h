// Block-oriented message digests: the engine TMessageDigest, the MD4-family
// padding in TMD4Family, and the concrete digests TSHA1 and TSHA256.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Exceptions.h"

inline constexpr const char* MessageDigestsSource = "_unit/MessageDigests";

class TMessageDigest {
public:
    virtual ~TMessageDigest();
    TMessageDigest(const TMessageDigest&) = delete;
    TMessageDigest& operator=(const TMessageDigest&) = delete;

    // Adds NumBytes bytes at M to the message. Fails with
    // "Message digest already complete." once complete, and with the assertion
    // "Transform: M not assigned." for a null M. Whole blocks are hashed straight
    // from M; only a partial head and tail pass through FBuffer.
    void Transform(const void* M, int32_t NumBytes);
    // Transform over the bytes of S; an empty S fails like a null M.
    void TransformString(const std::string& S);
    // Finishes the message.
    virtual void Complete();
    // The FDigestSize digest bytes, owned by the object; "Message digest not complete."
    // before Complete.
    const uint8_t* Digest() const;
    // The digest as 2 x FDigestSize lowercase hex digits.
    std::string DigestHex() const;
    // Starts a new message; the byte areas are reused.
    virtual void Initialize();
    virtual std::string AlgorithmName() const = 0;

    int32_t BlockSize() const { return FBlockSize; }
    int32_t DigestSize() const { return FDigestSize; }

    // Processes Count whole blocks at Blocks; Transform and Complete call it. The
    // engine's part is counting them (a Count of 0 or less counts nothing).
    virtual void TransformBlocks(const uint8_t* Blocks, int32_t Count);

protected:
    // CreateInternal: checks and stores the sizes, then initializes the engine's
    // areas. A derived class completes its own state in its constructor.
    TMessageDigest(int32_t BlockSize, int32_t DigestSize);

    std::unique_ptr<uint8_t[]> FDigest;
    std::unique_ptr<uint8_t[]> FBuffer;
    int32_t FBufferCount = 0;
    int32_t FBlockSize = 0;
    int32_t FDigestSize = 0;
    // Whole blocks so far. 64 bits wide so that the length field stays right for
    // messages of 2^31 blocks and more, which many Transform calls can reach.
    int64_t FBlockCount = 0;
    bool FComplete = false;
};

class TMD4Family : public TMessageDigest {
public:
    ~TMD4Family() override;
    void Complete() override;
    void Initialize() override;

protected:
    // InitialChainingValues: DigestSize bytes, copied; the object does not keep
    // the caller's address.
    TMD4Family(int32_t BlockSize, int32_t DigestSize, const void* InitialChainingValues, bool BigEndian);

    // Both hold FDigestSize bytes as native 32-bit words.
    std::unique_ptr<uint32_t[]> FInitialChainingValues;
    std::unique_ptr<uint32_t[]> FChainingValues;
    bool FBigEndian = false;
    uint32_t* ChainingWords() { return FChainingValues.get(); }

private:
    void InitializeChainingValues();
};

// The parameterless virtual constructor: a concrete digest created through its class.
using TMessageDigestClass = std::unique_ptr<TMessageDigest> (*)();

class TSHA1 : public TMD4Family {
public:
    TSHA1();
    static std::unique_ptr<TMessageDigest> Create();
    std::string AlgorithmName() const override { return "SHA-1"; }
    void TransformBlocks(const uint8_t* Blocks, int32_t Count) override;
};

class TSHA256 : public TMD4Family {
public:
    TSHA256();
    static std::unique_ptr<TMessageDigest> Create();
    std::string AlgorithmName() const override { return "SHA-256"; }
    void TransformBlocks(const uint8_t* Blocks, int32_t Count) override;
};

// Which compression code the digests run. Auto takes the processor's SHA
// extensions when it has them and the portable code otherwise; Hardware on a
// processor without them runs the portable code. Tests and benchmarks force each
// path in turn; the choice is process-wide.
enum class TShaImplementation { Auto, Portable, Hardware };
void SetShaImplementation(TShaImplementation Which);
// The path that the digests run now: Portable or Hardware.
TShaImplementation ShaImplementationInUse();
bool ShaHardwareAvailable();
