#pragma once
// SHA-256, portable (with the x86 SHA instructions where the processor has them): how the undo record recognises a file it placed, so that a file changed
// since is never deleted or replaced. The Windows file seam hashes with the system's own engine
// and falls back to this one; the doubles and the native build use it directly. It is built with
// optimisation even in size-optimised builds: every byte installed passes through it there.
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    // The processor's SHA instructions are used where it has them (x86 since 2016-2017), unless
    // told otherwise; the plain code everywhere else.
    explicit Sha256(bool processorInstructions = true);
    // Whether this processor has the SHA instructions.
    static bool ProcessorHasSha();
    void Update(const void* data, std::size_t size);
    // Ends the hash: 64 lower-case hex digits. The object is spent afterwards.
    std::string HexDigest();

private:
    std::uint32_t state_[8];
    unsigned char pending_[64];
    std::size_t pendingSize_ = 0;
    std::uint64_t total_ = 0;
    void (*blocks_)(std::uint32_t state[8], const unsigned char* data, std::size_t count);
};

std::string Sha256Hex(const std::string& bytes);

// 32 digest bytes as 64 lower-case hex digits.
std::string DigestHex(const unsigned char* digest);
