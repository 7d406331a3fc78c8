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
    // "Transform: M not assigned." for a null M.
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
    // Starts a new message.
    virtual void Initialize();
    virtual std::string AlgorithmName() const = 0;

    int32_t BlockSize() const { return FBlockSize; }
    int32_t DigestSize() const { return FDigestSize; }

    // Processes Count whole blocks at Blocks; called by Transform and Complete only.
    virtual void TransformBlocks(const uint8_t* Blocks, int32_t Count);

protected:
    // CreateInternal: checks and stores the sizes, then initializes.
    TMessageDigest(int32_t BlockSize, int32_t DigestSize);

    std::unique_ptr<uint8_t[]> FDigest;
    std::unique_ptr<uint8_t[]> FBuffer;
    int32_t FBufferCount = 0;
    int32_t FBlockSize = 0;
    int32_t FDigestSize = 0;
    int32_t FBlockCount = 0;
    bool FComplete = false;
};

class TMD4Family : public TMessageDigest {
public:
    ~TMD4Family() override;
    void Complete() override;
    void Initialize() override;

protected:
    TMD4Family(int32_t BlockSize, int32_t DigestSize, const void* InitialChainingValues,
               bool BigEndian);

    std::unique_ptr<uint8_t[]> FInitialChainingValues;
    std::unique_ptr<uint8_t[]> FChainingValues;  // FDigestSize / 4 native uint32 words
    bool FBigEndian = false;
    uint32_t* ChainingWords() { return reinterpret_cast<uint32_t*>(FChainingValues.get()); }
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

// Which compression code the digests run; the hardware path is chosen at run time
// when the processor has the SHA extensions. Tests force each path in turn.
enum class TShaImplementation { Auto, Portable, Hardware };
void SetShaImplementation(TShaImplementation Which);
bool ShaHardwareAvailable();
