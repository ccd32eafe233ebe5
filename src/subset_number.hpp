#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "invariant.hpp"

// Sixteen bytes of text that move as one: a vector register where GCC and
// clang have them (SSE2 on x86-64, NEON on arm64), two words elsewhere. No
// byte of it ever carries into the next, so either form gives the same text
// on any byte order. POWERFACTS_PORTABLE_CHUNK takes the two words with any
// compiler: the libc++ test build does, so that this form is tested too.
#if defined(__GNUC__) && !defined(POWERFACTS_PORTABLE_CHUNK)
using Chunk = char __attribute__((vector_size(16)));
#else
struct Chunk {
    std::uint64_t low;
    std::uint64_t high;
    friend Chunk operator|(Chunk a, Chunk b) { return {a.low | b.low, a.high | b.high}; }
    friend Chunk operator+(Chunk a, Chunk b) { return {a.low + b.low, a.high + b.high}; }
    friend Chunk operator-(Chunk a, Chunk b) { return {a.low - b.low, a.high - b.high}; }
};
#endif
inline constexpr std::size_t kChunkSize = 16;
static_assert(sizeof(Chunk) == kChunkSize);

// The chunks a carry adds and takes away: a 1 at each digit's place, 9s at
// a run of trailing places, and each power of ten, built at compile time so
// that a carry is loads from constant memory and additions in registers.
// Spelling the digits out in memory instead, bytes stored and then loaded as
// a chunk, stalls the load until the stores retire, since no CPU forwards
// several narrow stores to one wide load: every tenth number, at a cost the
// writer's profile showed.
struct CarryChunks {
    char one[16][16];        // 1 at place p
    char nines[11][11][16];  // in an s-digit number, 9 at its last t places
    char power[11][16];      // 10^s: '1' and s '0's
};
inline constexpr CarryChunks kCarryChunks = [] {
    CarryChunks chunks{};
    for (std::size_t p = 0; p < 16; ++p) {
        chunks.one[p][p] = 1;
    }
    for (std::size_t size = 0; size <= 10; ++size) {
        for (std::size_t t = 0; t <= size; ++t) {
            for (std::size_t p = size - t; p < size; ++p) {
                chunks.nines[size][t][p] = 9;
            }
        }
        chunks.power[size][0] = '1';
        for (std::size_t p = 1; p <= size && p < 16; ++p) {
            chunks.power[size][p] = '0';
        }
    }
    return chunks;
}();

// The decimal digits of `value`.
constexpr std::size_t decimalDigits(std::uint32_t value) {
    std::size_t digits = 1;
    for (; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

// A counter kept as decimal text, for writing a number that grows by one
// many times a second. Its digits live in a Chunk, so that nine increments
// in ten are one addition in a register and the text is there to OR into a
// line, with no memory round trip; a carry, the tenth, takes the trailing
// nines away and adds the one before them, the way seq counts, from
// constant chunks. Nothing but scalars and chunks, so that a compiler can
// keep the whole counter in registers.
class SubsetNumber {
public:
    explicit SubsetNumber(std::uint32_t start = 0) : value_(start) {
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
        last_ = static_cast<unsigned>(text[size_ - 1] - '0');
        digits_ = load(text);
        unit_ = load(kCarryChunks.one[size_ - 1]);
    }

    // The number of digits.
    std::size_t size() const { return size_; }

    // The digits, then zeros to the end of the chunk: room for the 10 digits
    // of any 32-bit number.
    Chunk digits() const { return digits_; }

    // Adds one; returns whether the number of digits changed. The number must
    // stay below 2^32.
    bool increment() {
        ++value_;
        if (last_ < 9) {
            ++last_;
            digits_ = digits_ + unit_;
            return false;
        }
        // Carry: the trailing nines become zeros, the digit before them
        // grows; as many nines as the new value has trailing zeros.
        std::size_t nines = 0;
        for (std::uint32_t rest = value_; rest % 10 == 0; rest /= 10) {
            ++nines;
        }
        last_ = 0;
        if (nines < size_) {
            digits_ = digits_ - load(kCarryChunks.nines[size_][nines]) +
                      load(kCarryChunks.one[size_ - 1 - nines]);
            return false;
        }
        digits_ = load(kCarryChunks.power[size_]);
        unit_ = load(kCarryChunks.one[size_]);
        ++size_;
        return true;
    }

    // Puts the digits of this number, a multiple of four, and of the three
    // after it in `digits`, then adds four; returns whether the number of
    // digits changed. Ending in 0, 2 or 4, the four are additions in the
    // register. Ending in 6 or 8, the addition of four carries, once, as an
    // addition of one does every tenth time; ending in 8, the last two of
    // the four come from the number after the carry, which ends in 2, less
    // two and one: no digit borrows, and they have its number of digits.
    bool takeFour(Chunk (&digits)[4]) {
        POWERFACTS_ASSERT(last_ % 2 == 0, "four numbers are taken from an even one");
        digits[0] = digits_;
        digits[1] = digits_ + unit_;
        digits[2] = digits[1] + unit_;
        digits[3] = digits[2] + unit_;
        if (last_ < 6) {
            value_ += 4;
            last_ += 4;
            digits_ = digits[3] + unit_;
            return false;
        }
        // On to the 9 before the carry, then over it.
        const bool fromEight = last_ == 8;
        value_ += 9 - last_;
        last_ = 9;
        digits_ = fromEight ? digits[1] : digits[3];
        const bool longer = increment();
        if (fromEight) {
            increment();
            increment();
            digits[2] = digits_ - unit_ - unit_;
            digits[3] = digits_ - unit_;
        }
        return longer;
    }

private:
    template <typename Text>
    static Chunk load(const Text& text) {
        static_assert(sizeof(Text) == kChunkSize);
        Chunk chunk;
        std::memcpy(&chunk, &text, kChunkSize);
        return chunk;
    }

    std::uint32_t value_;
    std::size_t size_ = 0;
    // value_ % 10, kept beside it so that the steps without a carry, nine in
    // ten, take no division.
    unsigned last_ = 0;
    Chunk digits_{};
    Chunk unit_{};
};
