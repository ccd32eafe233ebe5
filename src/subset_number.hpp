#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// A counter kept as decimal text, for writing a number that grows by one
// many times a second. Its digits also live in two machine words, so that
// nine increments in ten are one addition in registers and storing the text
// is two word stores, with no memory round trip; only a carry goes back to
// the text, the way seq counts.
class SubsetNumber {
public:
    // The bytes store() writes: room for the 10 digits of any 32-bit number.
    static constexpr std::size_t kStoreSize = 16;

    explicit SubsetNumber(std::uint32_t start = 0) {
        char reversed[kStoreSize];
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

    // Stores the digits at `out`, then kStoreSize - size() bytes of garbage.
    void store(char* out) const {
        std::memcpy(out, &low_, sizeof low_);
        std::memcpy(out + sizeof low_, &high_, sizeof high_);
    }

    // Adds one; returns whether the number of digits changed. The number must
    // stay below 2^32.
    bool increment() {
        if (last_ < 9) {
            ++last_;
            low_ += lowUnit_;
            high_ += highUnit_;
            return false;
        }
        // Carry. The registers ran ahead of the text, whose last digit is 9 by now.
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
        std::memcpy(&low_, text_, sizeof low_);
        std::memcpy(&high_, text_ + sizeof low_, sizeof high_);
        // Adding these adds one to the last digit, whatever the byte order.
        char unit[kStoreSize] = {};
        unit[size_ - 1] = 1;
        std::memcpy(&lowUnit_, unit, sizeof lowUnit_);
        std::memcpy(&highUnit_, unit + sizeof lowUnit_, sizeof highUnit_);
    }

    char text_[kStoreSize] = {};
    std::size_t size_ = 0;
    unsigned last_ = 0;
    std::uint64_t low_ = 0;
    std::uint64_t high_ = 0;
    std::uint64_t lowUnit_ = 0;
    std::uint64_t highUnit_ = 0;
};
