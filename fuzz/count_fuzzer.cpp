// Checks the count reading against a model of its rules written from them
// directly, the slow way: white space as the C locale's isspace, one optional
// sign, the longest run of decimal digits, and a value that counts only when
// it lies in 0..31, however many digits it is written with.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "element_count.hpp"

namespace {

std::optional<std::int32_t> model(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])) != 0) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    std::string digits;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0) {
        digits += text[at++];
    }
    // The value as a whole: drop leading zeros, then only up to two digits
    // can be in range.
    digits.erase(0, digits.find_first_not_of('0'));
    if (digits.size() > 2) {
        return std::nullopt;
    }
    const int value = digits.empty() ? 0 : std::stoi(digits);
    if (value > 31 || (negative && value != 0)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A command-line argument ends at its first NUL byte.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));

    const std::optional<std::int32_t> got = readElementCount(text.c_str());
    const std::optional<std::int32_t> want = model(text);
    if (got != want) {
        std::abort();
    }
    // Where atoi is defined (a value within int) and the count is accepted,
    // the two agree: the reading is atoi's apart from the range.
    if (got && std::atoi(text.c_str()) != *got) {
        std::abort();
    }
    return 0;
}
