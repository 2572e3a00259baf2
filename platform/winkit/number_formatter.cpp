#include "platform/winkit/number_formatter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string HXNumberFormatter::stringForObjectValue(const HXPropertyList& value) const
{
    if (!value.isNumber())
        return {};
    double d = value.realValue();
    if (!std::isfinite(d))
        return {};
    int digits = _allowsFloats ? std::max(0, _maximumFractionDigits) : 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, d);
    std::string text = buffer;
    // Trailing zeros beyond the minimum go.
    if (auto dot = text.find('.'); dot != std::string::npos) {
        size_t keep = dot + 1 + size_t(std::max(0, _minimumFractionDigits));
        while (text.size() > keep && text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

bool HXNumberFormatter::getObjectValue(HXPropertyList& value, const std::string& string, std::string* errorDescription) const
{
    auto fail = [&](const char* why) {
        if (errorDescription)
            *errorDescription = why;
        return false;
    };
    size_t begin = string.find_first_not_of(" \t");
    size_t end = string.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return fail("Enter a number.");
    std::string text = string.substr(begin, end - begin + 1);
    char* stop = nullptr;
    double d = std::strtod(text.c_str(), &stop);
    if (stop != text.c_str() + text.size() || !std::isfinite(d) || text.find_first_of("xXpPnN") != std::string::npos)
        return fail("Enter a number.");
    if (!_allowsFloats && d != std::trunc(d))
        return fail("Enter a whole number.");
    if (_minimum && d < *_minimum)
        return fail("The number is too small.");
    if (_maximum && d > *_maximum)
        return fail("The number is too large.");
    if (_allowsFloats)
        value = HXPropertyList(d);
    else
        value = HXPropertyList(int64_t(d));
    return true;
}

bool HXNumberFormatter::isPartialStringValid(const std::string& partialString, std::string*, std::string* errorDescription) const
{
    bool negativeAllowed = !_minimum || *_minimum < 0;
    bool seenDot = false, seenDigit = false;
    for (size_t i = 0; i < partialString.size(); ++i) {
        char c = partialString[i];
        if (c >= '0' && c <= '9') {
            seenDigit = true;
            continue;
        }
        if (c == '-' && i == 0 && negativeAllowed)
            continue;
        if (c == '.' && _allowsFloats && !seenDot) {
            seenDot = true;
            continue;
        }
        if (errorDescription)
            *errorDescription = "Only digits can be typed here.";
        return false;
    }
    (void)seenDigit;
    return true;
}
