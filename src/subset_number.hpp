#pragma once

#include <cassert>
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
// many times a second. Its digits live in a Chunk, so that nine increments
// in ten are one addition in a register and the text is there to OR into a
// line, with no memory round trip; only a carry spells the digits out, the
// way seq counts. Nothing but scalars and chunks, so that a compiler can
// keep the whole counter in registers.
class SubsetNumber {
public:
    explicit SubsetNumber(std::uint32_t start = 0) {
        char reversed[kChunkSize];
        std::size_t count = 0;
        do {
            reversed[count++] = static_cast<char>('0' + start % 10);
            start /= 10;
        } while (start != 0);
        char text[kChunkSize] = {};
        for (size_ = 0; size_ < count; ++size_) {
            text[size_] = reversed[count - 1 - size_];
        }
        reload(text);
    }

    // The number of digits.
    std::size_t size() const { return size_; }

    // The digits, then zeros to the end of the chunk: room for the 10 digits
    // of any 32-bit number.
    Chunk digits() const { return digits_; }

    // The digits of the number after this one, while the last digit is below
    // 9, so that no carry is needed: in the same register, at once.
    Chunk nextDigits() const {
        assert(last_ < 9);
        return digits_ + unit_;
    }

    // Adds one; returns whether the number of digits changed. The number must
    // stay below 2^32.
    bool increment() {
        if (last_ < 9) {
            ++last_;
            digits_ = digits_ + unit_;
            return false;
        }
        // Carry: the trailing nines become zeros, the digit before them grows.
        char text[kChunkSize];
        const Chunk digits = digits_;
        std::memcpy(text, &digits, kChunkSize);
        std::size_t position = size_;
        while (position > 0 && text[position - 1] == '9') {
            text[--position] = '0';
        }
        const bool longer = position == 0;
        if (longer) {
            text[0] = '1';
            text[size_++] = '0';
        } else {
            ++text[position - 1];
        }
        reload(text);
        return longer;
    }

    // Adds two to an even number; returns whether the number of digits
    // changed. Four times in five a single step in the register.
    bool addTwo() {
        assert(last_ % 2 == 0);
        if (last_ < 8) {
            last_ += 2;
            digits_ = digits_ + unit_ + unit_;
            return false;
        }
        increment();
        return increment();
    }

private:
    // Through locals, not the members' addresses, which would keep the
    // members in memory.
    void reload(const char (&text)[kChunkSize]) {
        last_ = static_cast<unsigned>(text[size_ - 1] - '0');
        digits_ = load(text);
        // Adding this adds one to the last digit.
        char unit[kChunkSize] = {};
        unit[size_ - 1] = 1;
        unit_ = load(unit);
    }

    static Chunk load(const char (&text)[kChunkSize]) {
        Chunk chunk;
        std::memcpy(&chunk, text, kChunkSize);
        return chunk;
    }

    std::size_t size_ = 0;
    unsigned last_ = 0;
    Chunk digits_{};
    Chunk unit_{};
};
