#include "Decimal.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the digits that start at POS.
size_t skipDigits(std::string_view text, size_t pos)
{
    while (pos < text.size() && isDigit(text[pos]))
        ++pos;
    return pos;
}

} // namespace

// The text is checked here; the conversion, with its rounding, is the C
// runtime's. Its decimal point is the "C" locale's, which this program never
// changes. (std::from_chars for double would add 33 KB of the C++ library.)
bool parseDecimal(std::string_view text, bool exponent, double& value)
{
    size_t pos = !text.empty() && text.front() == '-' ? 1 : 0;
    const size_t integerEnd = skipDigits(text, pos);
    size_t digits = integerEnd - pos;
    pos = integerEnd;
    if (pos < text.size() && text[pos] == '.') {
        const size_t fractionEnd = skipDigits(text, pos + 1);
        digits += fractionEnd - pos - 1;
        pos = fractionEnd;
    }
    if (digits == 0)
        return false;
    if (exponent && pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        size_t start = pos + 1;
        if (start < text.size() && (text[start] == '+' || text[start] == '-'))
            ++start;
        const size_t end = skipDigits(text, start);
        if (end == start)
            return false;
        pos = end;
    }
    if (pos != text.size())
        return false;
    const std::string checked(text);
    errno = 0;
    const double parsed = std::strtod(checked.c_str(), nullptr);
    if (errno == ERANGE || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}
