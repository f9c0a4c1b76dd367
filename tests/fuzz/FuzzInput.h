#pragma once
// Reads a fuzzer's bytes as a sequence of small choices; past the end every choice is 0, so a
// short input still makes a whole (small) case.
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // A number in [0, limit).
    std::size_t Below(std::size_t limit) {
        if (limit <= 1) return 0;
        const std::size_t value = limit > 256 ? (Byte() << 8 | Byte()) : Byte();
        return value % limit;
    }
    // Up to `limit` raw bytes, their count chosen first.
    std::string Bytes(std::size_t limit) {
        const std::size_t count = Below(limit + 1);
        std::string text;
        while (text.size() < count && !Empty()) text += static_cast<char>(Byte());
        return text;
    }
    template <typename T, std::size_t N>
    const T& Pick(const T (&choices)[N]) {
        return choices[Below(N)];
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
