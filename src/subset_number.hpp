#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Sixteen bytes of text that move as one: a vector register where GCC and
// clang have them (SSE2 on x86-64, NEON on arm64), two words elsewhere. No
// byte of it ever carries into the next, so either form gives the same text
// on any byte order.
#if defined(__GNUC__)
using Chunk = char __attribute__((vector_size(16)));
#else
struct Chunk {
    std::uint64_t low;
    std::uint64_t high;
    friend Chunk operator|(Chunk a, Chunk b) { return {a.low | b.low, a.high | b.high}; }
    friend Chunk operator+(Chunk a, Chunk b) { return {a.low + b.low, a.high + b.high}; }
};
#endif
inline constexpr std::size_t kChunkSize = 16;
static_assert(sizeof(Chunk) == kChunkSize);

// A counter kept as decimal text, for writing a number that grows by one
// many times a second. Its digits also live in a Chunk, so that nine
// increments in ten are one addition in a register and the text is there to
// OR into a line, with no memory round trip; only a carry goes back to the
// text, the way seq counts.
class SubsetNumber {
public:
    explicit SubsetNumber(std::uint32_t start = 0) {
        char reversed[kChunkSize];
        std::size_t count = 0;
        do {
            reversed[count++] = static_cast<char>('0' + start % 10);
            start /= 10;
        } while (start != 0);
        for (size_ = 0; size_ < count; ++size_) {
            text_[size_] = reversed[count - 1 - size_];
        }
        reload();
    }

    // The number of digits.
    std::size_t size() const { return size_; }

    // The digits, then zeros to the end of the chunk: room for the 10 digits
    // of any 32-bit number.
    Chunk digits() const { return digits_; }

    // Adds one; returns whether the number of digits changed. The number must
    // stay below 2^32.
    bool increment() {
        if (last_ < 9) {
            ++last_;
            digits_ = digits_ + unit_;
            return false;
        }
        // Carry. The register ran ahead of the text, whose last digit is 9 by now.
        text_[size_ - 1] = '9';
        std::size_t position = size_;
        while (position > 0 && text_[position - 1] == '9') {
            text_[--position] = '0';
        }
        const bool longer = position == 0;
        if (longer) {
            text_[0] = '1';
            text_[size_++] = '0';
        } else {
            ++text_[position - 1];
        }
        reload();
        return longer;
    }

private:
    void reload() {
        last_ = static_cast<unsigned>(text_[size_ - 1] - '0');
        std::memcpy(&digits_, text_, kChunkSize);
        // Adding this adds one to the last digit.
        char unit[kChunkSize] = {};
        unit[size_ - 1] = 1;
        std::memcpy(&unit_, unit, kChunkSize);
    }

    char text_[kChunkSize] = {};
    std::size_t size_ = 0;
    unsigned last_ = 0;
    Chunk digits_{};
    Chunk unit_{};
};
