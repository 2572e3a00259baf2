#include "platform/basekit/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <set>

using PL = HXPropertyList;
namespace S = HXString;

TEST(Strings, CompareWithOptions)
{
    struct Case {
        const char* a;
        const char* b;
        unsigned options;
        int expected;
    };
    const Case cases[] = {
        { "abc", "abc", 0, 0 },
        { "abc", "ABC", 0, 1 },
        { "abc", "ABC", S::CaseInsensitive, 0 },
        { "Straße", "STRASSE", S::CaseInsensitive, 1 }, // no expansion of ß
        { "ÄRGER", "ärger", S::CaseInsensitive, 0 },
        { "Ωμέγα", "ΩΜΈΓΑ", S::CaseInsensitive, 0 },
        { "résumé", "resume", 0, 1 },
        { "résumé", "resume", S::DiacriticInsensitive, 0 },
        { "RÉSUMÉ", "resume", S::DiacriticInsensitive | S::CaseInsensitive, 0 },
        { "re\xcc\x81sume\xcc\x81", "resume", S::DiacriticInsensitive, 0 }, // combining accents
        { "a", "ab", S::CaseInsensitive, -1 },
        { "", "", S::CaseInsensitive, 0 },
        { "b", "A", S::CaseInsensitive, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(S::compare(c.a, c.b, c.options), c.expected);
    }
    EXPECT_TRUE(S::equalsIgnoringCase("MOV", "mov"));
}

TEST(Strings, SearchGivesByteRanges)
{
    struct Case {
        const char* haystack;
        const char* needle;
        unsigned options;
        HXRange expected;
    };
    const Case cases[] = {
        { "Hello world", "world", 0, { 6, 5 } },
        { "Hello world", "WORLD", 0, {} },
        { "Hello world", "WORLD", S::CaseInsensitive, { 6, 5 } },
        { "Grüße ÜBER", "über", S::CaseInsensitive, { 8, 5 } },
        { "abcabc", "abc", S::Backwards, { 3, 3 } },
        { "abcabc", "bc", S::Anchored, {} },
        { "abcabc", "ab", S::Anchored, { 0, 2 } },
        { "abcabc", "bc", S::Anchored | S::Backwards, { 4, 2 } },
        { "Café au lait", "cafe", S::CaseInsensitive | S::DiacriticInsensitive, { 0, 5 } },
        { "short", "longer needle", 0, {} },
        { "anything", "", 0, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.haystack) + " / " + c.needle);
        EXPECT_EQ(S::rangeOfString(c.haystack, c.needle, c.options), c.expected);
    }
    EXPECT_EQ(S::stringByReplacingOccurrencesOfString("a-b-c", "-", "--"), "a--b--c");
    EXPECT_EQ(
        S::stringByReplacingOccurrencesOfString("One one ONE", "one", "1", S::CaseInsensitive), "1 1 1");
    EXPECT_EQ(S::lowercaseString("ÀBÇ Ω"), "àbç ω");
    EXPECT_EQ(S::uppercaseString("àbç ω"), "ÀBÇ Ω");
}

TEST(Strings, PathComponents)
{
    struct Case {
        const char* path;
        const char* last;
        const char* extension;
        const char* withoutExtension;
        const char* parent;
    };
    const Case cases[] = {
        { "/Movies/clip.mov", "clip.mov", "mov", "/Movies/clip", "/Movies" },
        { "/Movies/clip.tar.gz", "clip.tar.gz", "gz", "/Movies/clip.tar", "/Movies" },
        { "/Movies/", "Movies", "", "/Movies", "/" },
        { "/a.b/c", "c", "", "/a.b/c", "/a.b" },
        { "/", "/", "", "/", "/" },
        { "clip.mov", "clip.mov", "mov", "clip", "" },
        { ".profile", ".profile", "", ".profile", "" },
        { "dir/.hidden", ".hidden", "", "dir/.hidden", "dir" },
        { "", "", "", "", "" },
        { "//double//slash.mp4", "slash.mp4", "mp4", "//double//slash", "//double" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(S::lastPathComponent(c.path), c.last);
        EXPECT_EQ(S::pathExtension(c.path), c.extension);
        EXPECT_EQ(S::stringByDeletingPathExtension(c.path), c.withoutExtension);
        EXPECT_EQ(S::stringByDeletingLastPathComponent(c.path), c.parent);
    }
    EXPECT_EQ(S::pathComponents("/a/b/"), (std::vector<std::string> { "/", "a", "b", "/" }));
    EXPECT_EQ(S::pathComponents("a//b"), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(S::pathWithComponents({ "/", "a", "b" }), "/a/b");
}

TEST(Strings, AppendingAndStandardizingPaths)
{
    struct Append {
        const char* path;
        const char* component;
        const char* expected;
    };
    const Append appends[] = {
        { "/a", "b", "/a/b" },
        { "/a/", "b", "/a/b" },
        { "/a", "/b/", "/a/b" },
        { "/", "b", "/b" },
        { "", "b", "b" },
        { "/a", "", "/a" },
    };
    for (const auto& c : appends)
        EXPECT_EQ(S::stringByAppendingPathComponent(c.path, c.component), c.expected)
            << c.path << " + " << c.component;
    EXPECT_EQ(S::stringByAppendingPathExtension("/a/movie/", "mov"), "/a/movie.mov");

    struct HomeGuard {
        std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
        ~HomeGuard() { setenv("HOME", saved.c_str(), 1); }
    } guard;
    setenv("HOME", "/home/tester", 1);
    struct Standard {
        const char* path;
        const char* expected;
    };
    const Standard standards[] = {
        { "~", "/home/tester" },
        { "~/Movies/", "/home/tester/Movies" },
        { "/a//b/./c/", "/a/b/c" },
        { "/a/b/../c", "/a/c" },
        { "/../a", "/a" },
        { "a/../b", "a/../b" }, // relative paths keep ".."
        { "./a", "a" },
        { "~/Desktop/", "/home/tester/Desktop" },
    };
    for (const auto& c : standards)
        EXPECT_EQ(S::stringByStandardizingPath(c.path), c.expected) << c.path;
    EXPECT_EQ(S::stringByExpandingTildeInPath("~root/x").rfind("/", 0), 0u);
    EXPECT_EQ(S::stringByExpandingTildeInPath("~no-such-user-here/x"), "~no-such-user-here/x");
    EXPECT_EQ(S::stringByExpandingTildeInPath("/a/~"), "/a/~");
    EXPECT_EQ(S::stringByAbbreviatingWithTildeInPath("/home/tester/Movies"), "~/Movies");
    EXPECT_EQ(S::stringByAbbreviatingWithTildeInPath("/home/testerX"), "/home/testerX");
}

TEST(Strings, FormatWithValueArguments)
{
    struct Case {
        const char* format;
        std::vector<PL> arguments;
        const char* expected;
    };
    const Case cases[] = {
        { "%@ %d", { PL("Movie"), PL(2) }, "Movie 2" },
        { "%2$@ before %1$@", { PL("one"), PL("two") }, "two before one" },
        { "%1$@ and %1$@", { PL("x") }, "x and x" },
        { "%ld|%lld|%i|%u", { PL(int64_t(-1) << 40), PL(std::numeric_limits<int64_t>::min()), PL(7), PL(5) },
            "-1099511627776|-9223372036854775808|7|5" },
        { "%f %.2f %0.0f F", { PL(1.5), PL(3.14159), PL(29.97) }, "1.500000 3.14 30 F" },
        { "%02i:%02i", { PL(5), PL(7) }, "05:07" },
        { "[%5d][%-5d][%05.1f]", { PL(42), PL(42), PL(2.25) }, "[   42][42   ][002.2]" },
        { "%x %X %o", { PL(255), PL(255), PL(8) }, "ff FF 10" },
        { "%c%C", { PL(65), PL(0x263A) }, "A\u263A" },
        { "100%%", {}, "100%" },
        { "%@", { PL("%@ %d %n") }, "%@ %d %n" }, // inserted text is not scanned again
        { "%@ %@ %@", { PL("only") }, "only  " }, // missing arguments give nothing
        { "%3$@", { PL("a") }, "" },
        { "%d", { PL("12abc") }, "12" },
        { "%@", { PL(2.5) }, "2.5" },
        { "%@", { PL(true) }, "1" },
        { "%@", { PL() }, "(null)" },
        { "%s|%.2s|%6s", { PL("text"), PL("Grüße"), PL("ab") }, "text|Gr|    ab" },
        { "%n%k", { PL(1) }, "%n%k" }, // never writes through %n; unknown conversions stay
        { "trailing %", {}, "trailing %" },
        { "%*d|%.*f", { PL(4), PL(7), PL(1), PL(2.25) }, "   7|2.2" },
        { "%99999999999d", { PL(1) }, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        std::string result = S::format(c.format, c.arguments);
        if (c.expected) {
            EXPECT_EQ(result, c.expected);
        }
    }
    EXPECT_EQ(S::format("%@ %@", std::vector<std::string> { "a", "b" }), "a b");
}

TEST(Strings, DescriptionOfValues)
{
    EXPECT_EQ(S::description(PL(HXData(std::string("\x01\x02\x03\x04\x05", 5)))), "<01020304 05>");
    EXPECT_EQ(S::description(PL(HXDate { 0 })), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(S::description(PL(PL::Array { PL(1), PL("a b") })), "(\n    1,\n    \"a b\"\n)");
    EXPECT_EQ(S::description(PL(PL::Dictionary { { "k", PL("v") } })), "{\n    k = v;\n}");
}

TEST(Strings, TrimAndSplit)
{
    struct Trim {
        const char* input;
        const char* whitespace;
        const char* newlines;
    };
    const Trim trims[] = {
        { "  text \t", "text", "  text \t" },
        { "\r\nline\r\n", "line", "line" },
        { "\u00a0\u3000wide\u2028", "wide", "\u00a0\u3000wide\u2028" },
        { "   ", "", "   " },
        { "", "", "" },
        { "in side", "in side", "in side" },
        { " \xff ", "\xff", " \xff " },
    };
    for (const auto& c : trims) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(S::trimWhitespace(c.input), c.whitespace);
        EXPECT_EQ(S::trimNewlines(c.input), c.newlines);
    }
    EXPECT_EQ(S::stringByTrimmingCharactersInSet("--a-b--", "-"), "a-b");

    struct Split {
        const char* input;
        const char* separators;
        std::vector<std::string> expected;
    };
    const Split splits[] = {
        { "00:01;02 03", ":; ", { "00", "01", "02", "03" } },
        { "a,,b", ",", { "a", "", "b" } },
        { "", ",", { "" } },
        { "abc", "", { "abc" } },
        { ",", ",", { "", "" } },
    };
    for (const auto& c : splits)
        EXPECT_EQ(S::componentsSeparatedByCharactersInSet(c.input, c.separators), c.expected) << c.input;
    EXPECT_EQ(S::componentsSeparatedByString("1.2.3", "."), (std::vector<std::string> { "1", "2", "3" }));
    EXPECT_EQ(S::componentsSeparatedByString("a::b", "::"), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(S::componentsJoinedByString({ "a", "b", "c" }, ", "), "a, b, c");
}

TEST(Strings, NumberParsing)
{
    struct Case {
        const char* text;
        int16_t shortValue;
        int32_t intValue;
        int64_t longLongValue;
        double doubleValue;
        bool boolValue;
    };
    const Case cases[] = {
        { "42", 42, 42, 42, 42, true },
        { "  -17 apples", -17, -17, -17, -17, true },
        { "+3.75e2", 3, 3, 3, 375, true },
        { "40000", 32767, 40000, 40000, 40000, true },
        { "-40000", -32768, -40000, -40000, -40000, true },
        { "99999999999", 32767, 2147483647, 99999999999, 99999999999, true },
        { "99999999999999999999999", 32767, 2147483647, 9223372036854775807, 1e23, true },
        { "-9223372036854775808", -32768, -2147483648, std::numeric_limits<int64_t>::min(),
            -9223372036854775808.0, true },
        { "abc", 0, 0, 0, 0, false },
        { "", 0, 0, 0, 0, false },
        { "YES", 0, 0, 0, 0, true },
        { "true", 0, 0, 0, 0, true },
        { "0", 0, 0, 0, 0, false },
        { "007", 7, 7, 7, 7, true },
        { ".5", 0, 0, 0, 0.5, false },
        { "1e400", 1, 1, 1, std::numeric_limits<double>::infinity(), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(S::shortValue(c.text), c.shortValue);
        EXPECT_EQ(S::intValue(c.text), c.intValue);
        EXPECT_EQ(S::longLongValue(c.text), c.longLongValue);
        EXPECT_DOUBLE_EQ(S::doubleValue(c.text), c.doubleValue);
        EXPECT_EQ(S::boolValue(c.text), c.boolValue);
    }
}

TEST(Strings, UTF8ValidityAndUTF16)
{
    struct Case {
        const char* what;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        { "ascii", "abc", true },
        { "two to four bytes", "é€😀", true },
        { "overlong slash", "\xc0\xaf", false },
        { "surrogate", "\xed\xa0\x80", false },
        { "beyond U+10FFFF", "\xf4\x90\x80\x80", false },
        { "truncated", "\xe2\x82", false },
        { "stray continuation", "\x80", false },
        { "NUL inside", std::string("a\0b", 3), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(S::isValidUTF8(c.bytes), c.valid);
        EXPECT_EQ(S::utf16FromUTF8(c.bytes).has_value(), c.valid);
        EXPECT_TRUE(S::isValidUTF8(S::utf8ByReplacingInvalidSequences(c.bytes)));
    }
    auto units = S::utf16FromUTF8("aé😀");
    ASSERT_TRUE(units);
    EXPECT_EQ(*units, (std::u16string { u'a', u'é', 0xD83D, 0xDE00 }));
    EXPECT_EQ(S::utf8FromUTF16(*units), "aé😀");
    EXPECT_FALSE(S::utf8FromUTF16(std::u16string { 0xD83D }));
    EXPECT_FALSE(S::utf8FromUTF16(std::u16string { 0xDE00, u'a' }));
    EXPECT_EQ(S::length("aé😀"), 3u);
    EXPECT_EQ(S::utf8ByReplacingInvalidSequences("a\xff"), "a\uFFFD");
}

TEST(Strings, HalvernRomanTableIsOneToOne)
{
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        char32_t cp = S::halvernRomanCodePoint(uint8_t(b));
        EXPECT_TRUE(seen.insert(cp).second) << "byte " << b << " repeats a character";
        auto back = S::halvernRomanByte(cp);
        ASSERT_TRUE(back) << b;
        EXPECT_EQ(*back, b);
    }
    struct Known {
        uint8_t byte;
        char32_t codePoint;
    };
    const Known known[] = { { 0x41, U'A' }, { 0x80, U'Ä' }, { 0x8E, U'é' }, { 0xA5, U'•' }, { 0xA9, U'©' },
        { 0xAA, U'™' }, { 0xCA, 0xA0 }, { 0xD2, U'“' }, { 0xDB, U'€' }, { 0xDE, 0xFB01 }, { 0xF0, 0xF8FF },
        { 0xFF, U'ˇ' } };
    for (const auto& k : known)
        EXPECT_EQ(S::halvernRomanCodePoint(k.byte), k.codePoint) << int(k.byte);
    EXPECT_FALSE(S::halvernRomanByte(U'日'));
}

TEST(Strings, EncodingConversionsNeverLoseCharacters)
{
    using E = HXStringEncoding;
    struct Case {
        const char* text;
        E encoding;
        bool lossless;
        size_t convertedCharacters;
    };
    const Case cases[] = {
        { "Café ©", E::HalvernRoman, true, 6 },
        { "naïve – “quoted”", E::HalvernRoman, true, 16 },
        { "日本", E::HalvernRoman, false, 0 },
        { "ab日c", E::HalvernRoman, false, 2 },
        { "Café", E::ASCII, false, 3 },
        { "Café", E::ISOLatin1, true, 4 },
        { "€", E::ISOLatin1, false, 0 },
        { "日本😀", E::UTF8, true, 3 },
        { "日本😀", E::UTF16, true, 3 },
        { "bad \xff", E::UTF8, false, 4 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(S::canBeConvertedToEncoding(c.text, c.encoding), c.lossless);
        size_t converted = 99;
        std::string bytes = S::dataUsingEncodingUpToFirstFailure(c.text, c.encoding, &converted);
        EXPECT_EQ(converted, c.convertedCharacters);
        auto whole = S::dataUsingEncoding(c.text, c.encoding);
        ASSERT_EQ(whole.has_value(), c.lossless);
        if (whole) {
            EXPECT_EQ(*whole, bytes);
            EXPECT_EQ(S::stringWithBytes(*whole, c.encoding), c.text);
        }
    }
    EXPECT_EQ(S::dataUsingEncoding("©é", E::HalvernRoman), "\xA9\x8E");
    EXPECT_EQ(S::stringWithBytes("\xA9\x64\x61\x79", E::HalvernRoman), "©day");
    EXPECT_FALSE(S::stringWithBytes("\x80", E::ASCII));
    EXPECT_FALSE(S::stringWithBytes("abc", E::UTF16)) << "odd length";
    EXPECT_FALSE(S::stringWithBytes("\xc3", E::UTF8));
    EXPECT_EQ(S::maximumLengthOfBytesForEncoding(10, E::UTF8), 30u);
    EXPECT_EQ(S::maximumLengthOfBytesForEncoding(10, E::HalvernRoman), 10u);
}
