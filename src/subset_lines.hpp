#pragma once

// The lines of the fact text, prepared once and copied many times: each
// element's line "I,E).\npowerSet(" with the digits of the subset number I
// left blank, and the list of lines that a group of four subsets shares.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "power_set.hpp"
#include "subset_number.hpp"

inline constexpr std::string_view kFactHead = "powerSet(";

// An element's line with the digits of the subset number left blank (zero
// bytes, for the digits to be OR'ed in), and its length in bytes.
template <std::size_t kChunks>
struct Line {
    Chunk text[kChunks];
    std::size_t bytes;
};

// Stores `line` with `digits` OR'ed in at `out`; returns where the next line
// goes. The stores reach past the line's end, up to kChunks whole chunks:
// the next line overwrites those bytes.
template <std::size_t kChunks>
inline char* putLine(char* out, const Line<kChunks>& line, Chunk digits) {
    const Chunk head = digits | line.text[0];
    std::memcpy(out, &head, kChunkSize);
    for (std::size_t k = 1; k < kChunks; ++k) {
        std::memcpy(out + k * kChunkSize, &line.text[k], kChunkSize);
    }
    return out + line.bytes;
}

// The lines of subsets 4m to 4m + 3 but for the first two elements: the
// lines of the set bits of 4m from bit 2 up, in ascending order, which the
// four subsets share. From one group to the next, m + 1 clears the trailing
// ones of m and sets the bit above them, so the first few lines of the list
// drop out and one line comes in front: kept right-aligned in an array, the
// list changes by one line a group, whatever n is, and never has to be
// searched for its members (an increment changes two bits of a binary
// counter on average: the carries, and one set).
template <std::size_t kChunks>
class GroupLines {
public:
    // Where the list starts, and the bytes of its lines: small enough to
    // stay in registers.
    struct List {
        Line<kChunks>* begin;
        std::size_t bytes;
    };

    // Lays out each element's line for subset numbers of `digits` digits,
    // from each element's tail ",E).\npowerSet(" (zeros after it, to
    // kTailCopy bytes); returns the list for the group of `base`, a multiple
    // of four.
    template <std::size_t kTailCopy>
    List layOut(const char (&tails)[kMaxElementCount][kTailCopy],
                const std::size_t (&tailBytes)[kMaxElementCount], std::int32_t n,
                std::size_t digits, std::uint32_t base) {
        std::size_t bytesBelow = 0;  // the lines of elements 2 .. j - 1
        for (std::int32_t j = 0; j < n; ++j) {
            char text[kChunks * kChunkSize] = {};
            std::memcpy(text + digits, tails[j], kTailCopy);
            std::memcpy(&elements_[j].text[0], text, sizeof text);
            elements_[j].bytes = digits + tailBytes[j];
            if (j >= 2) {
                bytesChange_[j - 2] = elements_[j].bytes - bytesBelow;
                bytesBelow += elements_[j].bytes;
            }
        }
        digits_ = digits;
        firstTwoLinesBytes_ = n >= 2 ? 2 * (elements_[0].bytes + elements_[1].bytes) : 0;
        List list{list_ + kMaxElementCount, 0};
        for (std::int32_t j = n - 1; j >= 2; --j) {
            if ((base >> j) % 2 == 1) {
                *--list.begin = elements_[j];
                list.bytes += elements_[j].bytes;
            }
        }
        return list;
    }

    // The list for the group after that of `base`, from the list for it.
    // Past the last group, base + 4 = 2^n, it reads the blank line after the
    // elements' and gives a list no subset is written from: moving on past
    // the end needs no check.
    List next(List list, std::uint32_t base) {
        // Bits 2 .. t + 1 of `base` are set and drop out; bit t + 2 comes in.
        const auto t = static_cast<unsigned>(std::countr_one(base >> 2));
        list.begin += t;
        *--list.begin = elements_[t + 2];
        return {list.begin, list.bytes + bytesChange_[t]};
    }

    // The digits of the subset numbers the lines are laid out for.
    std::size_t digits() const { return digits_; }
    // The line of element j.
    const Line<kChunks>& element(std::size_t j) const { return elements_[j]; }
    // The list's end, the same for every list.
    const Line<kChunks>* end() const { return list_ + kMaxElementCount; }
    // The bytes a group of four written in one walk stores besides its four
    // copies of the list: the lines of the first two elements, each twice.
    std::size_t firstTwoLinesBytes() const { return firstTwoLinesBytes_; }

private:
    // The elements' lines, and a blank one after the last for next().
    Line<kChunks> elements_[kMaxElementCount + 1] = {};
    // How the list's byte count changes when the lines of elements
    // 2 .. t + 1 drop out and that of t + 2 comes in (modulo 2^64: it mostly
    // shrinks).
    std::size_t bytesChange_[kMaxElementCount] = {};
    std::size_t firstTwoLinesBytes_ = 0;
    std::size_t digits_ = 0;
    Line<kChunks> list_[kMaxElementCount];
};

// Stores subset 4m + `low` (`low` below 4) at `out`, with `digits` OR'ed
// in: the lines of the set bits of `low`, then `list`, the lines of 4m's
// from bit 2 up. Returns where the next line goes.
template <std::size_t kChunks>
inline char* putSubset(char* out, const GroupLines<kChunks>& lines,
                       typename GroupLines<kChunks>::List list, unsigned low, Chunk digits) {
    for (unsigned j = 0; j < 2; ++j) {
        if ((low >> j) % 2 == 1) {
            out = putLine(out, lines.element(j), digits);
        }
    }
    for (const Line<kChunks>* line = list.begin; line != lines.end(); ++line) {
        out = putLine(out, *line, digits);
    }
    return out;
}
