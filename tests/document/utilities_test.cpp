#include "core/array_additions.h"
#include "core/matrix_array_additions.h"
#include "core/object_additions.h"
#include "core/string_additions.h"
#include "core/string_format_additions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<HXPropertyList>;

TEST(StringWithOrderedFormat, Placeholders)
{
    struct Case {
        const char* format;
        Args arguments;
        const char* expected;
    };
    const Case cases[] = {
        { "{%1} of {%0}", { "a", "b" }, "b of a" },
        { "{%0} and {%1}", { "a", "b" }, "a and b" },
        { "no zero {%1}", { "a", "b" }, "no zero {%1}" },
        { "twice {%0} {%0}", { "a" }, "twice a {%0}" },
        { "gap {%0} {%2}", { "a", "b", "c" }, "gap a {%2}" },
        { "{%0}", { 42 }, "42" },
        { "plain", {}, "plain" },
        { "{%0} {%1}", {}, "{%0} {%1}" },
        // more placeholders than arguments: the rest stay as they are
        { "{%0} {%1} {%2}", { "x" }, "x {%1} {%2}" },
        // inserted text is never searched again
        { "{%0} then {%1}", { "file {%1}.mov", "b" }, "file {%1}.mov then b" },
        { "{%1}{%0}", { "{%", "1}" }, "1}{%" },
        { "{%0}", { "{%0}" }, "{%0}" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(HXString_MVFormatAdditions::stringWithOrderedFormat(c.format, c.arguments), c.expected)
            << c.format;
}

TEST(StringForDataSize, UnitsAndDecimal)
{
    const std::pair<int64_t, const char*> cases[] = {
        { 0, "0 bytes" },
        { 1000, "1000 bytes" },
        { 1024, "1024 bytes" },
        { -5, "-5 bytes" },
        { 1025, "1.0 KB" },
        { 1536, "1.5 KB" },
        { 1048576, "1024.0 KB" },
        { 1048577, "1.0 MB" }, // shifted to exactly 1024 kilobytes
        { 1049599, "1.0 MB" },
        { 5242880, "5.0 MB" },
        { 6186598, "5.8 MB" },
        { int64_t(3) << 30, "3.0 GB" },
        { int64_t(7) << 40, "7.0 TB" },
        { int64_t(2) << 50, "2.0 PB" },
        { int64_t(3) << 60, "3.0 EB" },
        { INT64_MAX, "7.9 EB" },
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(HXString_MVAdditions::stringForDataSize(bytes), expected) << bytes;
}

TEST(StringAdditions, ShortValueKeepsTheLow16Bits)
{
    EXPECT_EQ(HXString_MVAdditions::shortValue("123"), 123);
    EXPECT_EQ(HXString_MVAdditions::shortValue("  -7x"), -7);
    EXPECT_EQ(HXString_MVAdditions::shortValue("70000"), int16_t(70000 - 65536));
    EXPECT_EQ(HXString_MVAdditions::shortValue("abc"), 0);
}

TEST(StringAdditions, BackslashEscaping)
{
    struct Case {
        const char* text;
        const char* set;
        const char* expected;
    };
    const Case cases[] = {
        { "a\\b\\\\c", "\\", "a\\\\b\\\\\\\\c" },
        { "say \"hi\"", "\"\\", "say \\\"hi\\\"" },
        { "\\\"", "\"\\", "\\\\\\\"" },
        { "nothing", "\"", "nothing" },
        { "", "\"", "" },
        { "caf\xc3\xa9 \xc3\xa9", "\xc3\xa9", "caf\\\xc3\xa9 \\\xc3\xa9" },
        { "e\xcc\x81", "\xc3\xa9", "e\xcc\x81" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(HXString_MVAdditions::stringByBackslashEscapingCharactersInSet(c.text, c.set), c.expected)
            << c.text;
}

TEST(ArrayAdditions, OrderKeepingSetOperations)
{
    using MVPArrayAdditions::arrayByRemovingObjectsInArray;
    using MVPArrayAdditions::objectsCommonWithArray;
    using V = std::vector<std::string>;
    struct Case {
        V receiver;
        std::optional<V> other;
        V common;
        V removing;
    };
    const Case cases[] = {
        { { "a", "b", "a" }, V { "a" }, { "a", "a" }, { "b" } },
        { { "c", "b", "a" }, V { "a", "b" }, { "b", "a" }, { "c" } },
        { { "a", "b" }, V {}, {}, { "a", "b" } },
        { {}, V { "a" }, {}, {} },
        { { "a", "b" }, std::nullopt, {}, {} },
    };
    for (const Case& c : cases) {
        const V* other = c.other ? &*c.other : nullptr;
        EXPECT_EQ(objectsCommonWithArray(c.receiver, other), c.common);
        EXPECT_EQ(arrayByRemovingObjectsInArray(c.receiver, other), c.removing);
        V mutableCopy = c.receiver;
        MVPArrayAdditions::removeObjectsNotCommonWithArray(mutableCopy, other);
        EXPECT_EQ(mutableCopy, c.common);
    }
}

TEST(ArrayAdditions, IndexesOfObjectsTakesFirstMatches)
{
    std::vector<int> receiver { 5, 6, 5, 7 };
    EXPECT_EQ(MVPArrayAdditions::indexesOfObjects(receiver, std::vector<int> { 5, 7, 9, 5 }),
        (std::set<size_t> { 0, 3 }));
    EXPECT_TRUE(MVPArrayAdditions::indexesOfObjects(receiver, std::vector<int> {}).empty());
    std::vector<int> large(300);
    for (int i = 0; i < 300; ++i)
        large[size_t(i)] = i;
    EXPECT_EQ(MVPArrayAdditions::indexesOfObjects(large, std::vector<int> { 299, 128, 0 }),
        (std::set<size_t> { 0, 128, 299 }));
}

TEST(ArrayAdditions, MatrixRecordAsNestedNumbers)
{
    MVMatrixRecord matrix;
    matrix.values
        = { 0x20000, -0x8000, 0x40000000, 0, 0x10000, -0x20000000, 0x1000000, 0x180000, 0x40000000 };
    HXPropertyList::Array rows = HXArray_Additions::arrayForMatrixRecord(matrix);
    const double expected[3][3] = { { 2.0, -0.5, 1.0 }, { 0.0, 1.0, -0.5 }, { 256.0, 24.0, 1.0 } };
    ASSERT_EQ(rows.size(), 3u);
    for (size_t r = 0; r < 3; ++r) {
        ASSERT_EQ(rows[r].count(), 3u);
        for (size_t c = 0; c < 3; ++c)
            EXPECT_DOUBLE_EQ(rows[r][c].realValue(), expected[r][c]) << r << "," << c;
    }
}

struct Collector {
    std::vector<std::string> seen;
    void add(const std::string& s) { seen.push_back(s); }
};

TEST(ObjectAdditions, PerformSelectorOncePerObjectInOrder)
{
    Collector collector;
    std::vector<std::string> list { "a", "b", "a" };
    MVPObjectAdditions::performSelector(collector, &Collector::add, list);
    EXPECT_EQ(collector.seen, list);

    collector.seen.clear();
    MVPObjectAdditions::performSelector(
        collector, &Collector::add, static_cast<const std::vector<std::string>*>(nullptr));
    EXPECT_TRUE(collector.seen.empty());

    const std::string cArray[] = { "x", "y", "z" };
    MVPObjectAdditions::performSelector(collector, &Collector::add, cArray, 2);
    EXPECT_EQ(collector.seen, (std::vector<std::string> { "x", "y" }));

    collector.seen.clear();
    MVPObjectAdditions::performSelector(collector, &Collector::add, { std::string("p"), std::string("q") });
    EXPECT_EQ(collector.seen, (std::vector<std::string> { "p", "q" }));
}

} // namespace
