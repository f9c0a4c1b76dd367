#include "text/Sha256.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define KORVEL_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {
constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Block(std::uint32_t state[8], const unsigned char* p) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(p[4 * i]) << 24 | std::uint32_t(p[4 * i + 1]) << 16 |
               std::uint32_t(p[4 * i + 2]) << 8 | std::uint32_t(p[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                  g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                                 kRound[i] + w[i];
        const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
}
void PlainBlocks(std::uint32_t state[8], const unsigned char* data, std::size_t count) {
    for (; count > 0; --count, data += 64) Block(state, data);
}

#ifdef KORVEL_SHA_NI
// Four rounds per step with the SHA instructions; the message schedule runs three steps ahead.
// Its vectors spill to the stack, which on x86 only the main thread is sure to have 16-byte
// aligned: a thread Windows starts, or a window procedure, may enter it with 4-byte alignment, and
// the aligned loads would fault. It aligns its own frame.
#if defined(__i386__)
#define KORVEL_OWN_STACK_ALIGNMENT __attribute__((force_align_arg_pointer))
#else
#define KORVEL_OWN_STACK_ALIGNMENT
#endif
__attribute__((target("sha,sse4.1,ssse3"))) KORVEL_OWN_STACK_ALIGNMENT void ShaNiBlocks(std::uint32_t state[8], const unsigned char* data,
                                                             std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);  // CDAB
    __m128i state1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);  // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);     // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);         // CDGH
    for (; count > 0; --count, data += 64) {
        const __m128i abefBefore = state0, cdghBefore = state1;
        __m128i m[4];
        for (int i = 0; i < 4; ++i)
            m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            __m128i message = _mm_add_epi32(m[i & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * i)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, message);
            if (i >= 3 && i <= 14) {
                __m128i& next = m[(i + 1) & 3];
                next = _mm_sha256msg2_epu32(_mm_add_epi32(next, _mm_alignr_epi8(m[i & 3], m[(i - 1) & 3], 4)), m[i & 3]);
            }
            message = _mm_shuffle_epi32(message, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, message);
            if (i >= 1 && i <= 12) m[(i - 1) & 3] = _mm_sha256msg1_epu32(m[(i - 1) & 3], m[i & 3]);
        }
        state0 = _mm_add_epi32(state0, abefBefore);
        state1 = _mm_add_epi32(state1, cdghBefore);
    }
    tmp = _mm_shuffle_epi32(state0, 0x1B);         // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);      // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);   // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);      // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}
#endif
}  // namespace

bool Sha256::ProcessorHasSha() {
#ifdef KORVEL_SHA_NI
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1) || !(c & bit_SSSE3)) return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & (1u << 29));
#else
    return false;
#endif
}

Sha256::Sha256(bool processorInstructions)
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      blocks_(&PlainBlocks) {
#ifdef KORVEL_SHA_NI
    static const bool hasSha = ProcessorHasSha();
    if (processorInstructions && hasSha) blocks_ = &ShaNiBlocks;
#else
    (void)processorInstructions;
#endif
}

void Sha256::Update(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    total_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < 64) return;
        blocks_(state_, pending_, 1);
        pendingSize_ = 0;
    }
    blocks_(state_, p, size / 64);
    p += size / 64 * 64;
    size %= 64;
    std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

std::string Sha256::HexDigest() {
    unsigned char tail[128] = {};
    std::memcpy(tail, pending_, pendingSize_);
    tail[pendingSize_] = 0x80;
    const std::size_t tailSize = pendingSize_ < 56 ? 64 : 128;
    const std::uint64_t bits = total_ * 8;
    for (int i = 0; i < 8; ++i) tail[tailSize - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    blocks_(state_, tail, tailSize / 64);
    unsigned char digest[32];
    for (int i = 0; i < 8; ++i)
        for (int b = 0; b < 4; ++b) digest[4 * i + b] = static_cast<unsigned char>(state_[i] >> (24 - 8 * b));
    return DigestHex(digest);
}

std::string DigestHex(const unsigned char* digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string out(64, '0');
    for (int i = 0; i < 32; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 0xF];
    }
    return out;
}

std::string Sha256Hex(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.HexDigest();
}
