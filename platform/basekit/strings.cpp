#include "platform/basekit/strings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <limits>

#include <locale.h>
#include <pwd.h>
#include <unistd.h>
#include <wctype.h>

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The code point at `pos` (advancing past it), or kInvalid for a byte that starts no valid sequence
// (advancing one byte).
char32_t decode(std::string_view s, size_t& pos)
{
    auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    uint8_t b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    size_t n;
    char32_t cp, min;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return kInvalid;
    }
    if (s.size() - pos < n) {
        ++pos;
        return kInvalid;
    }
    for (size_t i = 1; i < n; ++i) {
        uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return kInvalid;
        }
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return kInvalid;
    }
    pos += n;
    return cp;
}

void append(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Case mapping through the C library's Unicode tables (the C.UTF-8 locale), ASCII when that
// locale is missing.
locale_t unicodeLocale()
{
    static locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", locale_t(0));
    }();
    return locale;
}

char32_t toLower(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    locale_t l = unicodeLocale();
    return l ? char32_t(towlower_l(wint_t(cp), l)) : cp;
}

char32_t toUpper(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
    locale_t l = unicodeLocale();
    return l ? char32_t(towupper_l(wint_t(cp), l)) : cp;
}

// Base letters of the accented Latin letters (U+00C0-U+017F); '.' keeps the letter.
constexpr std::string_view kLatin1Bases = "AAAAAA.CEEEEIIII.NOOOOO..UUUUY..aaaaaa.ceeeeiiii.nooooo..uuuuy.y";
constexpr std::string_view kLatinABases = "AaAaAaCcCcCcCcDd..EeEeEeEeEeGgGg"
                                          "GgGgHh..IiIiIiIiI...JjKk.LlLlLl."
                                          "...NnNnNn...OoOoOo..RrRrRrSsSsSs"
                                          "SsTtTt..UuUuUuUuUuUuWwYyYZzZzZz.";

// 0 for a combining mark that a diacritic-insensitive comparison drops.
char32_t stripDiacritic(char32_t cp)
{
    if (cp >= 0x0300 && cp <= 0x036F)
        return 0;
    char base = '.';
    if (cp >= 0xC0 && cp <= 0xFF)
        base = kLatin1Bases[cp - 0xC0];
    else if (cp >= 0x100 && cp <= 0x17F)
        base = kLatinABases[cp - 0x100];
    return base == '.' ? cp : char32_t(base);
}

struct Folded {
    char32_t cp;
    size_t offset; // byte offset in the original
    size_t length; // bytes of the original it stands for
};

std::vector<Folded> fold(std::string_view s, unsigned options)
{
    std::vector<Folded> out;
    out.reserve(s.size());
    size_t pos = 0;
    while (pos < s.size()) {
        size_t start = pos;
        char32_t cp = decode(s, pos);
        if (cp == kInvalid) {
            // Invalid bytes compare as themselves, above every code point.
            out.push_back({ 0x110000u + static_cast<uint8_t>(s[start]), start, 1 });
            continue;
        }
        if (options & HXString::DiacriticInsensitive) {
            cp = stripDiacritic(cp);
            if (cp == 0) {
                if (!out.empty())
                    out.back().length = pos - out.back().offset;
                continue;
            }
        }
        if (options & HXString::CaseInsensitive)
            cp = toLower(toUpper(cp));
        out.push_back({ cp, start, pos - start });
    }
    return out;
}

bool isUnicodeSpace(char32_t cp)
{
    return cp == ' ' || (cp >= 0x09 && cp <= 0x0D) || cp == 0x85 || cp == 0xA0 || cp == 0x1680
        || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F
        || cp == 0x3000;
}

template<typename Keep> std::string trimWith(std::string_view s, Keep isTrimmed)
{
    size_t begin = 0, end = s.size();
    while (begin < end) {
        size_t pos = begin;
        char32_t cp = decode(s, pos);
        if (!isTrimmed(cp))
            break;
        begin = pos;
    }
    while (end > begin) {
        size_t start = end - 1;
        while (start > begin && (static_cast<uint8_t>(s[start]) & 0xC0) == 0x80 && end - start < 4)
            --start;
        size_t pos = start;
        char32_t cp = decode(s, pos);
        if (pos != end) {
            start = end - 1; // not one whole character: an invalid byte
            cp = kInvalid;
        }
        if (!isTrimmed(cp))
            break;
        end = start;
    }
    return std::string(s.substr(begin, end - begin));
}

std::string homeFor(std::string_view user)
{
    if (user.empty()) {
        if (const char* home = getenv("HOME"); home && *home)
            return home;
    }
    std::vector<char> buffer(16384);
    struct passwd pw;
    struct passwd* result = nullptr;
    if (user.empty())
        getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result);
    else
        getpwnam_r(std::string(user).c_str(), &pw, buffer.data(), buffer.size(), &result);
    return result && result->pw_dir ? result->pw_dir : "";
}

std::string stripTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

} // namespace

namespace HXString {

// ---- Comparison and search ----------------------------------------------------------------------

int compare(std::string_view a, std::string_view b, unsigned options)
{
    if (!(options & (CaseInsensitive | DiacriticInsensitive))) {
        int c = a.compare(b); // byte order equals code point order in UTF-8
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    auto fa = fold(a, options), fb = fold(b, options);
    size_t n = std::min(fa.size(), fb.size());
    for (size_t i = 0; i < n; ++i)
        if (fa[i].cp != fb[i].cp)
            return fa[i].cp < fb[i].cp ? -1 : 1;
    return fa.size() < fb.size() ? -1 : fa.size() > fb.size() ? 1 : 0;
}

int caseInsensitiveCompare(std::string_view a, std::string_view b)
{
    return compare(a, b, CaseInsensitive);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return caseInsensitiveCompare(a, b) == 0;
}

bool hasPrefix(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

HXRange rangeOfString(std::string_view haystack, std::string_view needle, unsigned options)
{
    if (needle.empty())
        return {};
    auto h = fold(haystack, options & (CaseInsensitive | DiacriticInsensitive));
    auto n = fold(needle, options & (CaseInsensitive | DiacriticInsensitive));
    if (n.empty() || n.size() > h.size())
        return {};
    auto matchesAt = [&](size_t i) {
        for (size_t k = 0; k < n.size(); ++k)
            if (h[i + k].cp != n[k].cp)
                return false;
        return true;
    };
    auto rangeAt = [&](size_t i) {
        const Folded& last = h[i + n.size() - 1];
        return HXRange { h[i].offset, last.offset + last.length - h[i].offset };
    };
    size_t last = h.size() - n.size();
    if (options & Backwards) {
        for (size_t i = last + 1; i-- > 0;) {
            if (matchesAt(i))
                return rangeAt(i);
            if (options & Anchored)
                break;
        }
    } else {
        for (size_t i = 0; i <= last; ++i) {
            if (matchesAt(i))
                return rangeAt(i);
            if (options & Anchored)
                break;
        }
    }
    return {};
}

bool containsString(std::string_view haystack, std::string_view needle, unsigned options)
{
    return rangeOfString(haystack, needle, options).found();
}

std::string lowercaseString(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();) {
        size_t start = pos;
        char32_t cp = decode(s, pos);
        if (cp == kInvalid)
            out += s[start];
        else
            append(out, toLower(cp));
    }
    return out;
}

std::string uppercaseString(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();) {
        size_t start = pos;
        char32_t cp = decode(s, pos);
        if (cp == kInvalid)
            out += s[start];
        else
            append(out, toUpper(cp));
    }
    return out;
}

std::string stringByReplacingOccurrencesOfString(
    std::string_view s, std::string_view target, std::string_view replacement, unsigned options)
{
    if (target.empty())
        return std::string(s);
    std::string out;
    size_t pos = 0;
    while (pos <= s.size()) {
        HXRange r = rangeOfString(s.substr(pos), target, options & (CaseInsensitive | DiacriticInsensitive));
        if (!r.found())
            break;
        out.append(s.substr(pos, r.location));
        out.append(replacement);
        pos += r.location + std::max<size_t>(r.length, 1);
    }
    if (pos < s.size())
        out.append(s.substr(pos));
    return out;
}

// ---- Path components ----------------------------------------------------------------------------

std::vector<std::string> pathComponents(std::string_view path)
{
    std::vector<std::string> parts;
    if (path.empty())
        return parts;
    if (path.front() == '/')
        parts.push_back("/");
    size_t pos = 0;
    while (pos < path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash > pos)
            parts.emplace_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    if (path.size() > 1 && path.back() == '/')
        parts.push_back("/");
    return parts;
}

std::string pathWithComponents(const std::vector<std::string>& components)
{
    std::string path;
    for (const auto& c : components)
        path = path.empty() ? c : stringByAppendingPathComponent(path, c);
    return path;
}

std::string lastPathComponent(std::string_view path)
{
    std::string p = stripTrailingSlashes(path);
    if (p == "/")
        return p;
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string pathExtension(std::string_view path)
{
    std::string last = lastPathComponent(path);
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || last == "/")
        return {};
    return last.substr(dot + 1);
}

std::string stringByDeletingPathExtension(std::string_view path)
{
    std::string p = stripTrailingSlashes(path);
    size_t slash = p.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = p.rfind('.');
    if (dot == std::string::npos || dot <= start)
        return p;
    return p.substr(0, dot);
}

std::string stringByDeletingLastPathComponent(std::string_view path)
{
    std::string p = stripTrailingSlashes(path);
    if (p == "/")
        return p;
    size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return {};
    std::string dir = stripTrailingSlashes(p.substr(0, slash));
    return dir.empty() ? "/" : dir;
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component)
{
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    std::string p(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (component.empty())
        return p;
    if (p.empty())
        return stripTrailingSlashes(component);
    if (p.back() != '/')
        p += '/';
    p += component;
    return stripTrailingSlashes(p);
}

std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension)
{
    std::string p = stripTrailingSlashes(path);
    if (extension.empty())
        return p;
    return p + "." + std::string(extension);
}

bool isAbsolutePath(std::string_view path)
{
    return !path.empty() && (path.front() == '/' || path.front() == '~');
}

std::string stringByExpandingTildeInPath(std::string_view path)
{
    if (path.empty() || path.front() != '~')
        return std::string(path);
    size_t slash = path.find('/');
    std::string_view user
        = path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
    std::string home = homeFor(user);
    if (home.empty())
        return std::string(path);
    std::string rest = slash == std::string_view::npos ? std::string() : std::string(path.substr(slash));
    return stripTrailingSlashes(stripTrailingSlashes(home) + rest);
}

std::string stringByAbbreviatingWithTildeInPath(std::string_view path)
{
    std::string home = stripTrailingSlashes(homeFor({}));
    if (home.empty() || home == "/")
        return std::string(path);
    if (path == home)
        return "~";
    if (hasPrefix(path, home) && path.size() > home.size() && path[home.size()] == '/')
        return "~" + std::string(path.substr(home.size()));
    return std::string(path);
}

std::string stringByStandardizingPath(std::string_view path)
{
    std::string expanded = stringByExpandingTildeInPath(path);
    bool absolute = !expanded.empty() && expanded.front() == '/';
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= expanded.size()) {
        size_t slash = expanded.find('/', pos);
        if (slash == std::string::npos)
            slash = expanded.size();
        std::string part = expanded.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && absolute) {
            if (!out.empty())
                out.pop_back();
            continue;
        }
        out.push_back(part);
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < out.size(); ++i) {
        if (i)
            result += '/';
        result += out[i];
    }
    if (result.empty() && !expanded.empty() && !absolute)
        result = ".";
    return result;
}

// ---- Formatting ---------------------------------------------------------------------------------

namespace {

std::string shortestReal(double d)
{
    if (std::isnan(d))
        return "nan";
    if (std::isinf(d))
        return d > 0 ? "inf" : "-inf";
    char text[64];
    auto r = std::to_chars(text, text + sizeof text, d);
    return std::string(text, r.ptr);
}

bool needsQuotes(const std::string& s)
{
    if (s.empty())
        return true;
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' || c == '-'
                || u >= 0x80))
            return true;
    }
    return false;
}

std::string quoted(const std::string& s)
{
    if (!needsQuotes(s))
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

void describe(const HXPropertyList& value, std::string& out, int indent, bool nested)
{
    using Type = HXPropertyList::Type;
    std::string pad(size_t(indent) * 4, ' ');
    switch (value.type()) {
    case Type::Null:
        out += "(null)";
        return;
    case Type::String:
        out += nested ? quoted(value.stringValue()) : value.stringValue();
        return;
    case Type::Integer:
        out += std::to_string(value.integerValue());
        return;
    case Type::Real:
        out += shortestReal(value.realValue());
        return;
    case Type::Boolean:
        out += value.boolValue() ? "1" : "0";
        return;
    case Type::Date: {
        double unixSeconds = std::floor(value.dateValue().unixTime());
        time_t t = time_t(std::clamp(unixSeconds, -6.7e10, 2.5e11));
        struct tm tm;
        gmtime_r(&t, &tm);
        char text[64];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &tm);
        out += text;
        return;
    }
    case Type::Data: {
        static const char hex[] = "0123456789abcdef";
        out += '<';
        const HXData data = value.dataValue();
        auto bytes = data.view();
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i && i % 4 == 0)
                out += ' ';
            out += hex[static_cast<uint8_t>(bytes[i]) >> 4];
            out += hex[static_cast<uint8_t>(bytes[i]) & 15];
        }
        out += '>';
        return;
    }
    case Type::Array: {
        out += "(\n";
        const auto& a = value.arrayValue();
        for (size_t i = 0; i < a.size(); ++i) {
            out += pad + "    ";
            describe(a[i], out, indent + 1, true);
            out += i + 1 < a.size() ? ",\n" : "\n";
        }
        out += pad + ")";
        return;
    }
    case Type::Dictionary: {
        out += "{\n";
        for (const auto& [key, element] : value.dictionaryValue()) {
            out += pad + "    " + quoted(key) + " = ";
            describe(element, out, indent + 1, true);
            out += ";\n";
        }
        out += pad + "}";
        return;
    }
    }
}

struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    char conversion = 0;
};

std::string pad(std::string text, const Directive& directive)
{
    if (directive.width < 0)
        return text;
    size_t chars = HXString::length(text);
    if (chars >= size_t(directive.width))
        return text;
    std::string fill(size_t(directive.width) - chars, ' ');
    return directive.flags.find('-') != std::string::npos ? text + fill : fill + text;
}

std::string truncated(const std::string& text, int precision)
{
    if (precision < 0)
        return text;
    size_t pos = 0;
    for (int i = 0; i < precision && pos < text.size(); ++i)
        decode(text, pos);
    return text.substr(0, pos);
}

std::string printfNumber(const Directive& directive, const char* length, const HXPropertyList& arg)
{
    std::string f = "%" + directive.flags;
    if (directive.width >= 0)
        f += std::to_string(std::min(directive.width, 4096));
    if (directive.precision >= 0)
        f += "." + std::to_string(std::min(directive.precision, 4096));
    f += length;
    f += directive.conversion;
    char small[128];
    int n;
    std::string big;
    auto run = [&](auto value) {
        n = std::snprintf(small, sizeof small, f.c_str(), value);
        if (n < 0)
            return std::string();
        if (size_t(n) < sizeof small)
            return std::string(small, size_t(n));
        big.resize(size_t(n) + 1);
        std::snprintf(big.data(), big.size(), f.c_str(), value);
        big.resize(size_t(n));
        return big;
    };
    switch (directive.conversion) {
    case 'd':
    case 'i':
        return run(static_cast<long long>(arg.integerValue()));
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        return run(static_cast<unsigned long long>(arg.integerValue()));
    default:
        return run(arg.realValue());
    }
}

} // namespace

std::string description(const HXPropertyList& value)
{
    std::string out;
    describe(value, out, 0, false);
    return out;
}

std::string format(std::string_view fmt, const std::vector<HXPropertyList>& arguments)
{
    std::string out;
    size_t next = 0; // the next sequential argument
    size_t pos = 0;
    auto takeArgument = [&](size_t index) -> const HXPropertyList* {
        return index < arguments.size() ? &arguments[index] : nullptr;
    };
    auto readNumber = [&](size_t& p) {
        int value = 0;
        while (p < fmt.size() && fmt[p] >= '0' && fmt[p] <= '9') {
            value = value > 100000 ? value : value * 10 + (fmt[p] - '0');
            ++p;
        }
        return value;
    };
    while (pos < fmt.size()) {
        size_t percent = fmt.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(fmt.substr(pos));
            break;
        }
        out.append(fmt.substr(pos, percent - pos));
        size_t p = percent + 1;
        if (p >= fmt.size()) {
            out += '%';
            break;
        }
        if (fmt[p] == '%') {
            out += '%';
            pos = p + 1;
            continue;
        }
        // Positional argument "n$".
        std::optional<size_t> position;
        {
            size_t q = p;
            int n = readNumber(q);
            if (q > p && q < fmt.size() && fmt[q] == '$' && n > 0) {
                position = size_t(n - 1);
                p = q + 1;
            }
        }
        Directive directive;
        while (p < fmt.size() && std::strchr("-+ #0'", fmt[p])) {
            if (fmt[p] != '\'')
                directive.flags += fmt[p];
            ++p;
        }
        if (p < fmt.size() && fmt[p] == '*') {
            ++p;
            const HXPropertyList* w = takeArgument(next++);
            directive.width = w ? int(std::clamp<int64_t>(w->integerValue(), -4096, 4096)) : -1;
            if (directive.width < 0 && w) {
                directive.flags += '-';
                directive.width = -directive.width;
            }
        } else if (p < fmt.size() && fmt[p] >= '0' && fmt[p] <= '9') {
            directive.width = readNumber(p);
        }
        if (p < fmt.size() && fmt[p] == '.') {
            ++p;
            if (p < fmt.size() && fmt[p] == '*') {
                ++p;
                const HXPropertyList* pr = takeArgument(next++);
                directive.precision = pr ? int(std::clamp<int64_t>(pr->integerValue(), -1, 4096)) : -1;
            } else {
                directive.precision = readNumber(p);
            }
        }
        while (p < fmt.size() && std::strchr("hlqLzjt", fmt[p]))
            ++p;
        if (p >= fmt.size()) {
            out.append(fmt.substr(percent)); // an unfinished conversion stays as written
            break;
        }
        directive.conversion = fmt[p];
        pos = p + 1;
        if (!std::strchr("@sdiuxXocCfFeEgGaA", directive.conversion)) {
            out.append(fmt.substr(percent, pos - percent)); // unknown (and %n): written as is
            continue;
        }
        const HXPropertyList* arg = takeArgument(position ? *position : next++);
        if (!arg)
            continue;
        switch (directive.conversion) {
        case '@':
        case 's':
            out += pad(truncated(description(*arg), directive.precision), directive);
            break;
        case 'c':
        case 'C': {
            char32_t cp;
            if (arg->isString()) {
                std::string s = arg->stringValue();
                size_t q = 0;
                cp = s.empty() ? 0 : decode(s, q);
            } else {
                int64_t v = arg->integerValue();
                cp = directive.conversion == 'c' ? char32_t(uint8_t(v)) : char32_t(v);
            }
            std::string ch;
            if (cp != 0 && cp != kInvalid && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF))
                append(ch, cp);
            out += pad(ch, directive);
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            out += printfNumber(directive, "ll", *arg);
            break;
        default:
            out += printfNumber(directive, "", *arg);
            break;
        }
    }
    return out;
}

std::string format(std::string_view fmt, const std::vector<std::string>& arguments)
{
    std::vector<HXPropertyList> values(arguments.begin(), arguments.end());
    return format(fmt, values);
}

// ---- Trimming and splitting ---------------------------------------------------------------------

std::string stringByTrimmingCharactersInSet(std::string_view s, std::string_view set)
{
    return trimWith(
        s, [set](char32_t cp) { return cp < 0x80 && set.find(char(cp)) != std::string_view::npos; });
}

std::string trimWhitespace(std::string_view s)
{
    return trimWith(s, isUnicodeSpace);
}

std::string trimNewlines(std::string_view s)
{
    return trimWith(s, [](char32_t cp) { return cp == '\r' || cp == '\n'; });
}

std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator)
{
    std::vector<std::string> parts;
    if (separator.empty()) {
        parts.emplace_back(s);
        return parts;
    }
    size_t pos = 0;
    while (true) {
        size_t found = s.find(separator, pos);
        if (found == std::string_view::npos) {
            parts.emplace_back(s.substr(pos));
            return parts;
        }
        parts.emplace_back(s.substr(pos, found - pos));
        pos = found + separator.size();
    }
}

std::vector<std::string> componentsSeparatedByCharactersInSet(std::string_view s, std::string_view separators)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        size_t found = separators.empty() ? std::string_view::npos : s.find_first_of(separators, pos);
        if (found == std::string_view::npos) {
            parts.emplace_back(s.substr(pos));
            return parts;
        }
        parts.emplace_back(s.substr(pos, found - pos));
        pos = found + 1;
    }
}

std::string componentsJoinedByString(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out.append(separator);
        out += parts[i];
    }
    return out;
}

// ---- Number parsing -----------------------------------------------------------------------------

namespace {

std::string_view skipBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || (s.front() >= '\t' && s.front() <= '\r')))
        s.remove_prefix(1);
    return s;
}

} // namespace

int64_t longLongValue(std::string_view s)
{
    s = skipBlanks(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    bool overflow = false;
    for (char c : s) {
        if (c < '0' || c > '9')
            break;
        if (magnitude > (uint64_t(1) << 63) / 10 + 1)
            overflow = true;
        else
            magnitude = magnitude * 10 + uint64_t(c - '0');
        if (magnitude > (uint64_t(1) << 63))
            overflow = true;
    }
    if (negative)
        return overflow ? std::numeric_limits<int64_t>::min() : int64_t(0 - magnitude);
    if (overflow || magnitude > uint64_t(std::numeric_limits<int64_t>::max()))
        return std::numeric_limits<int64_t>::max();
    return int64_t(magnitude);
}

int32_t intValue(std::string_view s)
{
    return int32_t(std::clamp<int64_t>(
        longLongValue(s), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int16_t shortValue(std::string_view s)
{
    return int16_t(std::clamp<int64_t>(
        longLongValue(s), std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

double doubleValue(std::string_view s)
{
    s = skipBlanks(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
        if (!s.empty() && (s.front() == '+' || s.front() == '-'))
            return 0;
    }
    double value = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow; tell them apart by the exponent.
        std::string text(s.substr(0, size_t(r.ptr - s.data())));
        value = std::strtod(text.c_str(), nullptr);
    } else if (r.ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

float floatValue(std::string_view s)
{
    return float(doubleValue(s));
}

bool boolValue(std::string_view s)
{
    s = skipBlanks(s);
    if (s.empty())
        return false;
    if (std::strchr("YyTt", s.front()))
        return true;
    if (s.front() == '+' || s.front() == '-')
        s.remove_prefix(1);
    while (!s.empty() && s.front() == '0')
        s.remove_prefix(1);
    return !s.empty() && s.front() >= '1' && s.front() <= '9';
}

// ---- Unicode and encodings ----------------------------------------------------------------------

bool isValidUTF8(std::string_view bytes)
{
    for (size_t pos = 0; pos < bytes.size();)
        if (decode(bytes, pos) == kInvalid)
            return false;
    return true;
}

size_t length(std::string_view s)
{
    size_t n = 0;
    for (size_t pos = 0; pos < s.size(); ++n)
        decode(s, pos);
    return n;
}

std::optional<std::u16string> utf16FromUTF8(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t cp = decode(utf8, pos);
        if (cp == kInvalid)
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::optional<std::string> utf8FromUTF16(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF)
                return std::nullopt;
            u = 0x10000 + ((u - 0xD800) << 10) + (char32_t(utf16[i + 1]) - 0xDC00);
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
        append(out, u);
    }
    return out;
}

std::string utf8ByReplacingInvalidSequences(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t pos = 0; pos < bytes.size();) {
        char32_t cp = decode(bytes, pos);
        append(out, cp == kInvalid ? char32_t(0xFFFD) : cp);
    }
    return out;
}

namespace {

// Halvern Roman, bytes 0x80-0xFF (the lower half is ASCII).
constexpr char16_t kHalvernRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, // 0x80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, // 0x88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, // 0x90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, // 0x98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, // 0xA0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, // 0xA8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, // 0xB0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, // 0xB8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, // 0xC0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, // 0xC8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, // 0xD0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, // 0xD8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, // 0xE0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, // 0xE8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, // 0xF0 (0xF0: a private-use character)
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, // 0xF8
};

// One character of `cp` in `encoding`, appended to `out`; false when it has no form there.
bool encodeOne(char32_t cp, HXStringEncoding encoding, std::string& out)
{
    switch (encoding) {
    case HXStringEncoding::ASCII:
        if (cp >= 0x80)
            return false;
        out += char(cp);
        return true;
    case HXStringEncoding::ISOLatin1:
        if (cp >= 0x100)
            return false;
        out += char(cp);
        return true;
    case HXStringEncoding::HalvernRoman: {
        auto b = halvernRomanByte(cp);
        if (!b)
            return false;
        out += char(*b);
        return true;
    }
    case HXStringEncoding::UTF8:
        append(out, cp);
        return true;
    case HXStringEncoding::UTF16: {
        auto put = [&](char16_t u) {
            char bytes[2];
            std::memcpy(bytes, &u, 2);
            out.append(bytes, 2);
        };
        if (cp >= 0x10000) {
            put(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
            put(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            put(char16_t(cp));
        }
        return true;
    }
    }
    return false;
}

} // namespace

char32_t halvernRomanCodePoint(uint8_t byte)
{
    return byte < 0x80 ? byte : kHalvernRomanHigh[byte - 0x80];
}

std::optional<uint8_t> halvernRomanByte(char32_t codePoint)
{
    if (codePoint < 0x80)
        return uint8_t(codePoint);
    for (int i = 0; i < 128; ++i)
        if (kHalvernRomanHigh[i] == codePoint)
            return uint8_t(0x80 + i);
    return std::nullopt;
}

bool canBeConvertedToEncoding(std::string_view s, HXStringEncoding encoding)
{
    return dataUsingEncoding(s, encoding).has_value();
}

std::optional<std::string> dataUsingEncoding(std::string_view s, HXStringEncoding encoding)
{
    std::string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();) {
        char32_t cp = decode(s, pos);
        if (cp == kInvalid || !encodeOne(cp, encoding, out))
            return std::nullopt;
    }
    return out;
}

std::string dataUsingEncodingUpToFirstFailure(
    std::string_view s, HXStringEncoding encoding, size_t* charactersConverted)
{
    std::string out;
    size_t count = 0;
    for (size_t pos = 0; pos < s.size(); ++count) {
        char32_t cp = decode(s, pos);
        if (cp == kInvalid || !encodeOne(cp, encoding, out))
            break;
    }
    if (charactersConverted)
        *charactersConverted = count;
    return out;
}

std::optional<std::string> stringWithBytes(std::string_view bytes, HXStringEncoding encoding)
{
    std::string out;
    switch (encoding) {
    case HXStringEncoding::ASCII:
        for (char c : bytes)
            if (static_cast<uint8_t>(c) >= 0x80)
                return std::nullopt;
        return std::string(bytes);
    case HXStringEncoding::ISOLatin1:
        for (char c : bytes)
            append(out, static_cast<uint8_t>(c));
        return out;
    case HXStringEncoding::HalvernRoman:
        for (char c : bytes)
            append(out, halvernRomanCodePoint(static_cast<uint8_t>(c)));
        return out;
    case HXStringEncoding::UTF8:
        if (!isValidUTF8(bytes))
            return std::nullopt;
        return std::string(bytes);
    case HXStringEncoding::UTF16: {
        if (bytes.size() % 2)
            return std::nullopt;
        std::u16string units(bytes.size() / 2, u'\0');
        std::memcpy(units.data(), bytes.data(), bytes.size());
        return utf8FromUTF16(units);
    }
    }
    return std::nullopt;
}

size_t maximumLengthOfBytesForEncoding(size_t characters, HXStringEncoding encoding)
{
    switch (encoding) {
    case HXStringEncoding::UTF8:
        return characters * 3;
    case HXStringEncoding::UTF16:
        return characters * 2;
    default:
        return characters;
    }
}

} // namespace HXString
