#include "element_count.hpp"

namespace {

// The C locale's isspace, spelled out so that no locale can change it.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::int32_t> readElementCount(const char* text) {
    while (isSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // Once past the limit the value can only grow, so stop accumulating there
    // and nothing can overflow however long the digit run is.
    std::int32_t value = 0;
    for (; isDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > kMaxElementCount) {
            return std::nullopt;
        }
    }
    if (negative && value != 0) {
        return std::nullopt;
    }
    return value;
}
