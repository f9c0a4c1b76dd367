#pragma once
// SHA-256 by the fastest engine at hand. On a processor with the SHA instructions that is the
// program's own code over those instructions, which CNG uses there too (though not every CNG:
// Wine's hashes in plain C). Elsewhere Windows' own engines: CNG (bcrypt.dll), else CryptoAPI's
// AES provider, else the plain portable code (seam_bench sha compares them). bcrypt.dll is no
// import: it is loaded from the system folder by its full path when first needed.
#include <cstddef>
#include <string>

enum class Sha256Engine { Cng, CryptoApi, Portable };

// Portable where the processor has the SHA instructions, else CNG.
Sha256Engine FastestSha256Engine();

class Win32Sha256 {
public:
    // Starts with the engine asked for, or the next one down that this Windows has.
    explicit Win32Sha256(Sha256Engine preferred = FastestSha256Engine());
    ~Win32Sha256();
    Win32Sha256(const Win32Sha256&) = delete;
    Win32Sha256& operator=(const Win32Sha256&) = delete;

    Sha256Engine engine() const { return engine_; }
    void Update(const void* data, std::size_t size);
    // 64 lower-case hex digits; empty when the engine failed on the way.
    std::string HexDigest();

private:
    struct State;
    State* state_;
    Sha256Engine engine_;
};
