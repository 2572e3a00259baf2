#include "core/string_additions.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/strings.h"

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>

namespace HXString_MVAdditions {

namespace {

const std::array<std::string, 7>& unitLabels()
{
    static const std::array<std::string, 7> labels = [] {
        std::array<std::string, 7> l;
        const char* keys[] = { "mvpMovieDataSizeUnitsBytes", "mvpMovieDataSizeUnitsKiloBytes",
            "mvpMovieDataSizeUnitsMegaBytes", "mvpMovieDataSizeUnitsGigaBytes",
            "mvpMovieDataSizeUnitsTeraBytes", "mvpMovieDataSizeUnitsPetaBytes",
            "mvpMovieDataSizeUnitsExaBytes" };
        for (size_t i = 0; i < l.size(); ++i)
            l[i] = HXLocalizedString(keys[i]);
        return l;
    }();
    return labels;
}

std::string decimalSeparator()
{
    const std::lconv* conv = std::localeconv();
    if (conv && conv->decimal_point && *conv->decimal_point)
        return conv->decimal_point;
    return ".";
}

// Length in bytes of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead < 0xF8)
        return 4;
    if (lead >= 0xE0)
        return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// The characters of `text`, each as its UTF-8 bytes.
template<class F> void forEachCharacter(std::string_view text, F f)
{
    for (size_t i = 0; i < text.size();) {
        size_t n = std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        f(text.substr(i, n));
        i += n;
    }
}

} // namespace

std::string stringForDataSize(int64_t bytes)
{
    const auto& labels = unitLabels();
    if (bytes <= 1024)
        return std::to_string(bytes) + " " + labels[0];
    int64_t n = bytes;
    size_t i = 0;
    while (n > 1048576 && i < 5) {
        n >>= 10;
        ++i;
    }
    // A count just above a power of 1024 shifts down to exactly 1024 of the smaller unit; that is one
    // of the next unit, not "1.0" of the smaller one.
    if (n >= 1024)
        ++i;
    int64_t whole = n / 1024;
    int64_t tenth = (n % 1024) * 5 / 512;
    return std::to_string(whole) + decimalSeparator() + std::to_string(tenth) + " " + labels[i];
}

int16_t shortValue(std::string_view text)
{
    return static_cast<int16_t>(HXString::intValue(text));
}

std::string stringByBackslashEscapingCharactersInSet(std::string_view text, std::string_view characters)
{
    std::vector<std::string_view> set;
    forEachCharacter(characters, [&](std::string_view c) { set.push_back(c); });
    std::string result;
    result.reserve(text.size());
    forEachCharacter(text, [&](std::string_view c) {
        for (std::string_view s : set) {
            if (s == c) {
                result += '\\';
                break;
            }
        }
        result += c;
    });
    return result;
}

} // namespace HXString_MVAdditions
