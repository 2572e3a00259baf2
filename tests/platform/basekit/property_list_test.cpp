#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <sys/stat.h>

using movara::test::TempDir;
using PL = HXPropertyList;

namespace {

PL sampleTree()
{
    PL::Dictionary inner {
        { "empty array", PL(PL::Array {}) },
        { "empty dict", PL(PL::Dictionary {}) },
        { "data", PL(HXData(std::string("\x00\x01\xfe\xff", 4))) },
    };
    return PL(PL::Dictionary {
        { "name", PL("Grüße, 日本 😀") },
        { "count", PL(int64_t(-42)) },
        { "ratio", PL(0.1) },
        { "on", PL(true) },
        { "when", PL(HXDate { 1234567.0 }) },
        { "list", PL(PL::Array { PL(1), PL("two"), PL(3.5), PL(false), PL(inner) }) },
    });
}

// A binary property list from raw objects (offsets and references one byte wide).
std::string binaryPlist(const std::vector<std::string>& objects, uint8_t top = 0)
{
    std::string out = "bplist00";
    std::vector<uint8_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(uint8_t(out.size()));
        out += o;
    }
    size_t table = out.size();
    for (uint8_t o : offsets)
        out += char(o);
    std::string trailer(32, '\0');
    trailer[6] = 1; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = char(objects.size());
    trailer[23] = char(top);
    trailer[31] = char(table);
    return out + trailer;
}

std::string dateObject(double secondsSinceReferenceDate)
{
    uint64_t bits;
    std::memcpy(&bits, &secondsSinceReferenceDate, 8);
    std::string o = "\x33";
    for (int i = 7; i >= 0; --i)
        o += char(bits >> (i * 8));
    return o;
}

} // namespace

TEST(PropertyListRoundTrip, EveryKindOfValueComesBackExactly)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        PL value;
    };
    const Case cases[] = {
        { "zero", PL(int64_t(0)) },
        { "negative", PL(int64_t(-5)) },
        { "int64 max", PL(std::numeric_limits<int64_t>::max()) },
        { "int64 min", PL(std::numeric_limits<int64_t>::min()) },
        { "beyond 32 bits", PL(int64_t(1) << 40) },
        { "tenth", PL(0.1) },
        { "third", PL(1.0 / 3) },
        { "huge", PL(1e300) },
        { "smallest subnormal", PL(5e-324) },
        { "integral real", PL(1.0) },
        { "negative real", PL(-2.5e-7) },
        { "nan", PL(nan) },
        { "infinity", PL(inf) },
        { "minus infinity", PL(-inf) },
        { "true", PL(true) },
        { "false", PL(false) },
        { "reference date", PL(HXDate { 0 }) },
        { "date before 1933", PL(HXDate::fromUnixTime(-2208988800.0)) }, // 1900-01-01
        { "date after 2069", PL(HXDate::fromUnixTime(4102444800.0)) }, // 2100-01-01
        { "date in year 1", PL(HXDate::fromUnixTime(-62135596800.0)) },
        { "empty string", PL("") },
        { "non-ASCII", PL("Grüße, 日本, 😀") },
        { "markup characters", PL("a<b>&c ]]> \"q\" 'a'") },
        { "line ends", PL("cr\r lf\n crlf\r\n tab\t") },
        { "control character", PL("bell\x07") },
        { "empty data", PL(HXData()) },
        { "all bytes", PL(HXData([] {
             std::vector<uint8_t> b(256);
             for (int i = 0; i < 256; ++i)
                 b[size_t(i)] = uint8_t(i);
             return b;
         }())) },
        { "empty array", PL(PL::Array {}) },
        { "empty dictionary", PL(PL::Dictionary {}) },
        { "keys that need escaping", PL(PL::Dictionary { { "<&>\r", PL(1) }, { "ключ", PL(2) } }) },
        { "nested", sampleTree() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string xml = c.value.toXML();
        HXError error;
        auto back = PL::fromXML(xml, &error);
        ASSERT_TRUE(back) << error.localizedDescription() << "\n" << xml;
        EXPECT_EQ(*back, c.value) << xml;
    }
}

TEST(PropertyListRoundTrip, NegativeZeroKeepsItsSign)
{
    auto back = PL::fromXML(PL(-0.0).toXML());
    ASSERT_TRUE(back);
    EXPECT_TRUE(std::signbit(back->realValue()));
}

TEST(PropertyListWriting, XMLHeaderThenPlistElementWithoutDoctype)
{
    std::string xml = PL(PL::Dictionary { { "a", PL(1) } }).toXML();
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n", 0), 0u)
        << xml;
    EXPECT_EQ(xml.find("DOCTYPE"), std::string::npos);
    EXPECT_EQ(xml.substr(xml.size() - 9), "</plist>\n");
}

TEST(PropertyListWriting, NullElementsAreLeftOut)
{
    PL value(PL::Dictionary { { "gone", PL() }, { "kept", PL(PL::Array { PL(), PL(1) }) } });
    auto back = PL::fromXML(value.toXML());
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->contains("gone"));
    EXPECT_EQ((*back)["kept"], PL(PL::Array { PL(1) }));
}

TEST(PropertyListWriting, XMLDataRefusesWhatCannotBeWrittenExactly)
{
    HXError error;
    EXPECT_FALSE(PL(std::string("a\0b", 3)).xmlData(&error));
    EXPECT_EQ(error.code(), HXPropertyListWriteInvalidError);
    EXPECT_FALSE(PL(PL::Dictionary { { std::string("k\0", 2), PL(1) } }).xmlData());
    EXPECT_FALSE(PL().xmlData());
    EXPECT_TRUE(PL("fine").xmlData());
}

TEST(PropertyListReading, MalformedInputIsAnError)
{
    std::string deep = "<plist>";
    for (int i = 0; i < PL::maximumNestingDepth + 10; ++i)
        deep += "<array>";
    for (int i = 0; i < PL::maximumNestingDepth + 10; ++i)
        deep += "</array>";
    deep += "</plist>";

    // A chain of arrays, each holding the next one twice: 2^40 values once expanded.
    std::vector<std::string> bomb;
    for (int i = 0; i < 40; ++i)
        bomb.push_back(std::string("\xA2") + char(i + 1) + char(i + 1));
    bomb.push_back("\x09");

    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        { "empty", "" },
        { "text", "hello" },
        { "unclosed plist", "<plist><dict>" },
        { "value without key", "<plist><dict><string>a</string></dict></plist>" },
        { "unknown entity", "<plist><string>&bogus;</string></plist>" },
        { "bad date", "<plist><date>yesterday</date></plist>" },
        { "empty date element", "<plist><date/></plist>" },
        { "too deep", deep },
        { "too deep after many scalars",
            [&] {
                std::string s = "<plist><array>";
                for (int i = 0; i < 2 * PL::maximumNestingDepth; ++i)
                    s += "<integer>1</integer><date>2001-01-01T00:00:00Z</date>";
                return s + deep.substr(7) + "</array>";
            }() },
        { "binary header only", "bplist00" },
        { "binary self reference", binaryPlist({ std::string("\xA1\x00", 2) }) },
        { "binary reference out of range", binaryPlist({ std::string("\xA1\x05", 2) }) },
        { "binary expansion bomb", binaryPlist(bomb) },
        { "binary unknown object", binaryPlist({ "\xF0" }) },
        { "binary key with NUL",
            binaryPlist({ "\xD1\x01\x02",
                std::string("\x53"
                            "a\0b",
                    4),
                "\x10\x01" }) },
        { "binary key that is no text", binaryPlist({ "\xD1\x01\x02", "\x10\x05", "\x10\x01" }) },
        { "binary key whose characters hold a date",
            [] {
                // {"x" + date: date}, the date lying inside the key; a date is read by its ordinal,
                // which puts NUL characters into the key.
                std::string date = dateObject(123456789.123);
                std::string bytes = binaryPlist({ "\xD1\x01\x02", "\x5Ax" + date, "\x10\x01" });
                EXPECT_EQ(date.find('\0'), std::string::npos);
                bytes[bytes.size() - 32 - 1] = char(8 + 3 + 2);
                return bytes;
            }() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HXError error;
        EXPECT_FALSE(PL::fromXML(c.bytes, &error));
        EXPECT_EQ(error.domain(), HXBaseKitErrorDomain);
        EXPECT_EQ(error.code(), HXPropertyListReadCorruptError);
        // Deep nesting must be caught before the parser sees it (its recursion can exhaust the stack).
        if (std::string(c.what).rfind("too deep", 0) == 0) {
            EXPECT_NE(error.localizedFailureReason().find("nested too deeply"), std::string::npos);
        }
    }
}

TEST(PropertyListReading, BinaryValuesIncludingDatesOutsideThirtyTwoBitSeconds)
{
    // [1900-01-01, 2100-01-01, "hi", 7, the first date again]
    double early = HXDate::fromUnixTime(-2208988800.0).secondsSinceReferenceDate;
    double late = HXDate::fromUnixTime(4102444800.0).secondsSinceReferenceDate;
    std::string bytes = binaryPlist({ std::string("\xA5\x01\x02\x03\x04\x01", 6), dateObject(early),
        dateObject(late), "\x52hi", "\x10\x07" });
    HXError error;
    auto value = PL::fromXML(bytes, &error);
    ASSERT_TRUE(value) << error.localizedDescription();
    EXPECT_EQ(*value,
        PL(PL::Array { PL(HXDate { early }), PL(HXDate { late }), PL("hi"), PL(7), PL(HXDate { early }) }));
}

TEST(PropertyListReading, TolerantOfWhatOtherWritersProduce)
{
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//X//DTD PLIST 1.0//EN" "http://example.invalid/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment with <dict> inside -->
<dict>
	<key>when</key><date>2100-06-30T12:34:56Z</date>
	<key>text</key><string><![CDATA[x<y]]></string>
	<key>data</key><data>
	AAEC
	/w==
	</data>
</dict>
</plist>
)";
    HXError error;
    auto value = PL::fromXML(xml, &error);
    ASSERT_TRUE(value) << error.localizedDescription();
    EXPECT_DOUBLE_EQ((*value)["when"].dateValue().unixTime(), 4118042096.0);
    EXPECT_EQ((*value)["text"].stringValue(), "x<y");
    EXPECT_EQ((*value)["data"].dataValue(), HXData(std::string("\x00\x01\x02\xff", 4)));

    auto big
        = PL::fromXML("<plist><array><integer>18446744073709551615</integer><integer> -99999999999999999999 "
                      "</integer><integer>-9223372036854775808</integer></array></plist>");
    ASSERT_TRUE(big);
    EXPECT_EQ(*big,
        PL(PL::Array { PL(std::numeric_limits<int64_t>::max()), PL(std::numeric_limits<int64_t>::min()),
            PL(std::numeric_limits<int64_t>::min()) }));

    // Raw line ends in text read as LF, as in every XML reader; a CR written as a reference stays.
    auto lines
        = PL::fromXML("<plist><array><string>a\r\nb\rc</string><string>d&#13;e</string></array></plist>");
    ASSERT_TRUE(lines);
    EXPECT_EQ((*lines)[0].stringValue(), "a\nb\nc");
    EXPECT_EQ((*lines)[1].stringValue(), "d\re");
}

// Every prefix of a sample and thousands of random byte changes give a value or an error; the
// sanitizers catch any bad memory access on the way.
TEST(PropertyListReading, TruncatedAndDamagedInputNeverCrashes)
{
    std::string xml = sampleTree().toXML();
    std::vector<std::string> objects = { std::string("\xA4\x01\x02\x03\x04", 5), dateObject(-1e9),
        "\x53"
        "abc",
        std::string("\x42\x00\x01", 3), std::string("\xD1\x02\x03", 3) };
    std::string binary = binaryPlist(objects);
    ASSERT_TRUE(PL::fromXML(binary));

    std::mt19937 random(20240611);
    for (const std::string& sample : { xml, binary }) {
        size_t values = 0, errors = 0;
        auto attempt = [&](const std::string& bytes) {
            HXError error;
            auto value = PL::fromXML(bytes, &error);
            if (value) {
                ++values;
                (void)value->toXML();
            } else {
                ++errors;
                EXPECT_EQ(error.code(), HXPropertyListReadCorruptError);
            }
        };
        for (size_t n = 0; n < sample.size(); ++n)
            attempt(sample.substr(0, n));
        for (int i = 0; i < 3000; ++i) {
            std::string damaged = sample;
            int changes = 1 + int(random() % 4);
            for (int k = 0; k < changes; ++k)
                damaged[random() % damaged.size()] = char(random());
            attempt(damaged);
        }
        EXPECT_GT(errors, 0u);
    }
}

TEST(PropertyListValues, TypedReadsConvertLeniently)
{
    struct Case {
        PL value;
        std::string string;
        int64_t integer;
        double real;
        bool boolean;
    };
    const Case cases[] = {
        { PL("42"), "42", 42, 42, true },
        { PL("  -7.5xyz"), "  -7.5xyz", -7, -7.5, true },
        { PL("YES"), "YES", 0, 0, true },
        { PL("no"), "no", 0, 0, false },
        { PL(2.9), "", 2, 2.9, true },
        { PL(-2.9), "", -2, -2.9, true },
        { PL(1e30), "", std::numeric_limits<int64_t>::max(), 1e30, true },
        { PL(true), "", 1, 1, true },
        { PL(int64_t(0)), "", 0, 0, false },
        { PL(), "", 0, 0, false },
        { PL(PL::Array { PL(1) }), "", 0, 0, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toXML());
        EXPECT_EQ(c.value.stringValue(), c.string);
        EXPECT_EQ(c.value.integerValue(), c.integer);
        EXPECT_DOUBLE_EQ(c.value.realValue(), c.real);
        EXPECT_EQ(c.value.boolValue(), c.boolean);
    }
    EXPECT_TRUE(PL(1).arrayValue().empty());
    EXPECT_TRUE(PL("x")["key"].isNull());
    EXPECT_TRUE(PL(PL::Array { PL(1) })[5].isNull());
    EXPECT_NE(PL(1), PL(1.0));
    EXPECT_NE(PL(1), PL(true));
}

TEST(PropertyListValues, MutableContainersStartFromNull)
{
    PL value;
    value.mutableDictionary()["a"].mutableArray().push_back(PL(1));
    EXPECT_EQ(value, PL(PL::Dictionary { { "a", PL(PL::Array { PL(1) }) } }));
    PL text("keep me");
    text.mutableArray().push_back(PL(2));
    EXPECT_EQ(text, PL("keep me"));
}

TEST(PropertyListFiles, WriteThenReadAndErrors)
{
    TempDir dir;
    std::string path = (dir / "values.plist").string();
    HXError error;
    ASSERT_TRUE(sampleTree().writeToFile(path, &error)) << error.localizedDescription();
    auto back = PL::readFromFile(path, &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    EXPECT_EQ(*back, sampleTree());

    EXPECT_FALSE(PL::readFromFile((dir / "missing.plist").string(), &error));
    EXPECT_EQ(error.code(), HXFileNoSuchFileError);
    EXPECT_TRUE(error.hasUnderlyingError());
    EXPECT_EQ(error.underlyingError().code(), ENOENT);

    movara::test::writeFile(dir / "bad.plist", "<plist><dict><key>x");
    EXPECT_FALSE(PL::readFromFile((dir / "bad.plist").string(), &error));
    EXPECT_EQ(error.code(), HXPropertyListReadCorruptError);
    EXPECT_EQ(error.userInfo().at(HXFilePathErrorKey).stringValue(), (dir / "bad.plist").string());

    EXPECT_FALSE(PL::readFromFile(dir.path().string(), &error));
    EXPECT_EQ(error.code(), HXFileReadUnknownError);

    EXPECT_FALSE(PL(1).writeToFile((dir / "no such folder" / "x.plist").string(), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

TEST(PropertyListFiles, FailedWriteLeavesTheOldFileAndNoLeftovers)
{
    TempDir dir;
    std::string path = (dir / "keep.plist").string();
    ASSERT_TRUE(PL("old").writeToFile(path));
    chmod(path.c_str(), 0640);
    std::string before = movara::test::readFile(path);

    EXPECT_FALSE(PL(std::string("bad\0", 4)).writeToFile(path));
    EXPECT_EQ(movara::test::readFile(path), before);

    ASSERT_TRUE(PL("new").writeToFile(path));
    EXPECT_EQ(PL::readFromFile(path)->stringValue(), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
