#include "platform/win32/Win32Sha256.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <vector>

#include "platform/win32/SystemLibrary.h"
#include "text/Sha256.h"

namespace {
using OpenProviderFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using GetPropertyFn = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashDataFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

// The SHA-256 provider of CNG, opened once for the process and never closed.
struct Cng {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    ULONG objectSize = 0;
    CreateHashFn create = nullptr;
    HashDataFn data = nullptr;
    FinishHashFn finish = nullptr;
    DestroyHashFn destroy = nullptr;

    static const Cng& Get() {
        static const Cng cng = Open();
        return cng;
    }

private:
    static Cng Open() {
        Cng cng;
        const HMODULE module = LoadSystemLibrary(L"bcrypt.dll");
        if (module == nullptr) return cng;
        const auto open = ProcedureOf<OpenProviderFn>(module, "BCryptOpenAlgorithmProvider");
        const auto property = ProcedureOf<GetPropertyFn>(module, "BCryptGetProperty");
        cng.create = ProcedureOf<CreateHashFn>(module, "BCryptCreateHash");
        cng.data = ProcedureOf<HashDataFn>(module, "BCryptHashData");
        cng.finish = ProcedureOf<FinishHashFn>(module, "BCryptFinishHash");
        cng.destroy = ProcedureOf<DestroyHashFn>(module, "BCryptDestroyHash");
        if (!open || !property || !cng.create || !cng.data || !cng.finish || !cng.destroy) return Cng();
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        if (open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return Cng();
        ULONG got = 0;
        if (property(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&cng.objectSize),
                     sizeof cng.objectSize, &got, 0) < 0)
            return Cng();
        cng.algorithm = algorithm;
        return cng;
    }
};

// CryptoAPI's AES provider (the first with SHA-256), acquired once for the process.
HCRYPTPROV CryptoProvider() {
    static const HCRYPTPROV provider = [] {
        HCRYPTPROV acquired = 0;
        if (!::CryptAcquireContextW(&acquired, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            acquired = 0;
        return acquired;
    }();
    return provider;
}

// The engines take at most a DWORD's worth of bytes a call.
constexpr std::size_t kMostPerCall = 1u << 30;
}  // namespace

Sha256Engine FastestSha256Engine() {
    static const Sha256Engine fastest = Sha256::ProcessorHasSha() ? Sha256Engine::Portable : Sha256Engine::Cng;
    return fastest;
}

struct Win32Sha256::State {
    std::vector<unsigned char> object;  // CNG's hash object
    BCRYPT_HASH_HANDLE cngHash = nullptr;
    HCRYPTHASH cryptoHash = 0;
    Sha256 portable;
    bool failed = false;
};

Win32Sha256::Win32Sha256(Sha256Engine preferred) : state_(new State), engine_(Sha256Engine::Portable) {
    if (preferred == Sha256Engine::Cng) {
        const Cng& cng = Cng::Get();
        if (cng.algorithm != nullptr) {
            state_->object.resize(cng.objectSize ? cng.objectSize : 1);
            if (cng.create(cng.algorithm, &state_->cngHash, state_->object.data(), cng.objectSize, nullptr, 0, 0) >= 0) {
                engine_ = Sha256Engine::Cng;
                return;
            }
            state_->cngHash = nullptr;
        }
    }
    if (preferred != Sha256Engine::Portable) {
        const HCRYPTPROV provider = CryptoProvider();
        if (provider != 0 && ::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &state_->cryptoHash)) {
            engine_ = Sha256Engine::CryptoApi;
            return;
        }
        state_->cryptoHash = 0;
    }
}

Win32Sha256::~Win32Sha256() {
    if (state_->cngHash != nullptr) Cng::Get().destroy(state_->cngHash);
    if (state_->cryptoHash != 0) ::CryptDestroyHash(state_->cryptoHash);
    delete state_;
}

void Win32Sha256::Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0 && !state_->failed) {
        const ULONG part = static_cast<ULONG>(size < kMostPerCall ? size : kMostPerCall);
        switch (engine_) {
            case Sha256Engine::Cng:
                state_->failed = Cng::Get().data(state_->cngHash, const_cast<PUCHAR>(bytes), part, 0) < 0;
                break;
            case Sha256Engine::CryptoApi:
                state_->failed = !::CryptHashData(state_->cryptoHash, bytes, part, 0);
                break;
            case Sha256Engine::Portable: state_->portable.Update(bytes, part); break;
        }
        bytes += part;
        size -= part;
    }
}

std::string Win32Sha256::HexDigest() {
    if (engine_ == Sha256Engine::Portable) return state_->portable.HexDigest();
    unsigned char digest[32];
    DWORD size = sizeof digest;
    if (state_->failed) return std::string();
    const bool done = engine_ == Sha256Engine::Cng
                          ? Cng::Get().finish(state_->cngHash, digest, sizeof digest, 0) >= 0
                          : ::CryptGetHashParam(state_->cryptoHash, HP_HASHVAL, digest, &size, 0) && size == 32;
    return done ? DigestHex(digest) : std::string();
}
