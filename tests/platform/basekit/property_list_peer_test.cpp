// python3's plistlib as the peer: it must read what we write, and we must read what it writes.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using movara::test::runCommand;
using movara::test::TempDir;
using PL = HXPropertyList;

namespace {

// One canonical text for a value, produced the same way here and by the Python side: strings and
// data in hex, reals as their 64-bit pattern, dates as whole seconds since 2001-01-01.
const char* kCanonical = R"PY(
import datetime, plistlib, struct, sys
REF = datetime.datetime(2001, 1, 1)
def canon(v):
    if isinstance(v, bool): return "T" if v else "F"
    if isinstance(v, int): return "i%d" % v
    if isinstance(v, float): return "r" + struct.pack(">d", v).hex()
    if isinstance(v, str): return "s" + v.encode("utf-8").hex()
    if isinstance(v, bytes): return "x" + v.hex()
    if isinstance(v, datetime.datetime): return "d%d" % ((v - REF) // datetime.timedelta(seconds=1))
    if isinstance(v, list): return "[" + ",".join(canon(e) for e in v) + "]"
    if isinstance(v, dict):
        return "{" + ",".join(k.encode("utf-8").hex() + ":" + canon(v[k]) for k in sorted(v, key=lambda k: k.encode("utf-8"))) + "}"
    raise TypeError(type(v))
)PY";

std::string hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        out += digits[static_cast<uint8_t>(c) >> 4];
        out += digits[static_cast<uint8_t>(c) & 15];
    }
    return out;
}

std::string canon(const PL& v)
{
    switch (v.type()) {
    case PL::Type::Boolean:
        return v.boolValue() ? "T" : "F";
    case PL::Type::Integer:
        return "i" + std::to_string(v.integerValue());
    case PL::Type::Real: {
        double d = v.realValue();
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        std::string be;
        for (int i = 7; i >= 0; --i)
            be += char(bits >> (8 * i));
        return "r" + hex(be);
    }
    case PL::Type::String:
        return "s" + hex(v.stringValue());
    case PL::Type::Data:
        return "x" + hex(v.dataValue().view());
    case PL::Type::Date:
        return "d" + std::to_string(int64_t(std::floor(v.dateValue().secondsSinceReferenceDate)));
    case PL::Type::Array: {
        std::string s = "[";
        for (size_t i = 0; i < v.count(); ++i)
            s += (i ? "," : "") + canon(v[i]);
        return s + "]";
    }
    case PL::Type::Dictionary: {
        std::string s = "{";
        bool first = true;
        for (const auto& [key, value] : v.dictionaryValue()) {
            s += (first ? "" : ",") + hex(key) + ":" + canon(value);
            first = false;
        }
        return s + "}";
    }
    default:
        return "?";
    }
}

PL everyKind()
{
    return PL(PL::Dictionary {
        { "text", PL("plain") },
        { "non-ASCII", PL("Grüße – 日本語 – 😀") },
        { "markup", PL("<a href=\"x\">&amp;</a> ]]>") },
        { "line ends", PL("one\rtwo\nthree\r\n") },
        { "ключ", PL("key in Cyrillic") },
        { "int64 max", PL(std::numeric_limits<int64_t>::max()) },
        { "int64 min", PL(std::numeric_limits<int64_t>::min()) },
        { "negative", PL(int64_t(-1)) },
        { "reals",
            PL(PL::Array { PL(0.1), PL(-0.0), PL(1.0), PL(1e300), PL(5e-324), PL(-123456.789),
                PL(std::numeric_limits<double>::infinity()) }) },
        { "booleans", PL(PL::Array { PL(true), PL(false) }) },
        { "dates",
            PL(PL::Array { PL(HXDate { 0 }), PL(HXDate { 740000000 }),
                PL(HXDate::fromUnixTime(-2208988800.0)), PL(HXDate::fromUnixTime(4102444800.0)) }) },
        { "data", PL(HXData(std::string("\x00\x01\x02\xfe\xff binary", 12))) },
        { "empty data", PL(HXData()) },
        { "empty string", PL("") },
        { "empty array", PL(PL::Array {}) },
        { "empty dict", PL(PL::Dictionary {}) },
        { "nested",
            PL(PL::Array { PL(PL::Dictionary { { "deep", PL(PL::Array { PL(PL::Array { PL(7) }) }) } }) }) },
    });
}

class PlistPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!movara::test::haveProgram("python3"))
            GTEST_SKIP() << "python3 is not installed";
    }
};

} // namespace

TEST_F(PlistPeer, PythonReadsWhatWeWrite)
{
    TempDir dir;
    std::string path = (dir / "ours.plist").string();
    PL value = everyKind();
    HXError error;
    ASSERT_TRUE(value.writeToFile(path, &error)) << error.localizedDescription();

    std::string script = std::string(kCanonical) + R"PY(
with open(sys.argv[1], "rb") as f:
    print(canon(plistlib.load(f)), end="")
)PY";
    auto result = runCommand({ "python3", "-c", script, path });
    ASSERT_EQ(result.status, 0) << movara::test::readFile(path);
    EXPECT_EQ(result.output, canon(value));
}

TEST_F(PlistPeer, WeReadWhatPythonWritesInXMLAndBinary)
{
    TempDir dir;
    std::string script = std::string(kCanonical) + R"PY(
value = {
    "text": "Grüße – 日本語 – 😀", "markup": "<&> ]]>", "line ends": "a\nb\tc",
    "ints": [0, -1, 2**31, -2**63, 2**63 - 1],
    "reals": [0.1, -0.0, 1.5e300, float("inf"), float("-inf")],
    "dates": [datetime.datetime(2001, 1, 1), datetime.datetime(1900, 1, 1), datetime.datetime(2100, 12, 31, 23, 59, 59)],
    "data": bytes(range(256)), "flags": [True, False],
    "shared": ["same", "same", {"k": "same"}],
    "empty": [[], {}, "", b""],
}
with open(sys.argv[1], "wb") as f:
    plistlib.dump(value, f, fmt=plistlib.FMT_XML, sort_keys=False)
with open(sys.argv[3], "wb") as f:
    plistlib.dump([2**64 - 1, 2**63], f, fmt=plistlib.FMT_XML)
with open(sys.argv[4], "wb") as f:
    plistlib.dump([2**64 - 1, 2**63], f, fmt=plistlib.FMT_BINARY)
with open(sys.argv[2], "wb") as f:
    plistlib.dump(value, f, fmt=plistlib.FMT_BINARY)
print(canon(value), end="")
)PY";
    std::string xml = (dir / "python.xml.plist").string(), binary = (dir / "python.bin.plist").string();
    std::string bigXML = (dir / "big.xml.plist").string(), bigBinary = (dir / "big.bin.plist").string();
    auto result = runCommand({ "python3", "-c", script, xml, binary, bigXML, bigBinary });
    ASSERT_EQ(result.status, 0);
    // Unsigned values beyond our 64-bit signed integers saturate rather than wrap to negatives.
    for (const std::string& path : { bigXML, bigBinary }) {
        auto big = PL::readFromFile(path);
        ASSERT_TRUE(big) << path;
        EXPECT_EQ(*big,
            PL(PL::Array {
                PL(std::numeric_limits<int64_t>::max()), PL(std::numeric_limits<int64_t>::max()) }))
            << path;
    }
    for (const std::string& path : { xml, binary }) {
        SCOPED_TRACE(path);
        HXError error;
        auto value = PL::readFromFile(path, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(canon(*value), result.output);
    }
}
