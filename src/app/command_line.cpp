#include "app/command_line.h"

#include <algorithm>
#include <climits>

namespace zorvil {

namespace {

// The text up to the next space, from `rest`; the rest continues after that space. Without a
// further space the field is empty and `rest` stays whole.
std::string_view TakeField(std::string_view& rest) {
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos) return {};
    const std::string_view field = rest.substr(0, space);
    rest.remove_prefix(space + 1);
    return field;
}

std::string WithoutQuotes(std::string_view text) {
    std::string out(text);
    out.erase(std::remove(out.begin(), out.end(), '"'), out.end());
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int ReadDecimal(std::string_view text) noexcept {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

CommandLine ParseCommandLine(std::string_view line) {
    CommandLine result;
    if (line.empty()) return result;
    result.renderMode = true;
    std::string_view rest = line;
    TakeField(rest); // a whole number, skipped
    TakeField(rest); // a whole number, skipped
    result.waveFile = WithoutQuotes(TakeField(rest));
    result.projectFile = WithoutQuotes(TakeField(rest));
    result.tempo = ReadDecimal(rest);
    return result;
}

std::string JoinArguments(int count, const char* const* arguments) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        if (i > 0) line += ' ';
        line += arguments[i];
    }
    return line;
}

} // namespace zorvil
