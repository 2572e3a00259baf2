// Reference movie atoms: the bytes of the tree, each descriptor's atoms, and the escaping of file names
// put into them as relative URLs.
#include "export/reference_movie_atoms.h"

#include "platform/mvkit/atoms/four_char_code.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes be32(uint32_t v)
{
    return { uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v) };
}
Bytes text(std::string_view s)
{
    return { s.begin(), s.end() };
}
Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes serialise(const HXPropertyList& node)
{
    auto data = MVPMovieAtomDataCreateFromDictionary(node);
    EXPECT_TRUE(data);
    return data ? data->bytes : Bytes {};
}

TEST(ReferenceMovieAtoms, EmptyTreeIsMoovHoldingAnEmptyRecordList)
{
    auto tree = MVPRefMovieDictionaryCreateEmpty();
    EXPECT_EQ(serialise(*tree), cat({ be32(16), text("moov"), be32(8), text("rmra") }));
    EXPECT_EQ((*tree)[MVPAtomTypeKey].integerValue(), 0x6D6F6F76);
}

TEST(ReferenceMovieAtoms, DescriptorAtomsByAttributes)
{
    const Bytes rdrf
        = cat({ be32(26), text("rdrf"), be32(0), text("url "), be32(6), text("a.mov"), Bytes { 0 } });
    const Bytes rmdr = cat({ be32(16), text("rmdr"), be32(0), be32(0x7FFFFFFF) });
    const Bytes rmvc
        = cat({ be32(26), text("rmvc"), be32(0), text("mobi"), be32(1), be32(1), Bytes { 0, 1 } });
    struct Case {
        const char* name;
        HXPropertyList::Dictionary attributes;
        Bytes children;
    } cases[] = {
        { "url only", { { "URL", "a.mov" } }, rdrf },
        { "data rate", { { "URL", "a.mov" }, { "dataRate", 2147483647 } }, cat({ rdrf, rmdr }) },
        { "phone check", { { "URL", "a.mov" }, { "version", "Celluma" } }, cat({ rdrf, rmvc }) },
        { "all three", { { "URL", "a.mov" }, { "version", "Celluma" }, { "dataRate", 2147483647.0 } },
            cat({ rdrf, rmdr, rmvc }) },
        { "other version", { { "URL", "a.mov" }, { "version", "Desktop" } }, rdrf },
        { "rate out of range", { { "URL", "a.mov" }, { "dataRate", int64_t(1) << 40 } }, rdrf },
        { "rate not a number", { { "URL", "a.mov" }, { "dataRate", "fast" } }, rdrf },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto rmda = MVPRefMovieDescriptorDictionaryCreateWithAttributes(c.attributes);
        ASSERT_TRUE(rmda);
        EXPECT_EQ(serialise(*rmda), cat({ be32(uint32_t(8 + c.children.size())), text("rmda"), c.children }));
    }
}

TEST(ReferenceMovieAtoms, DescriptorWithoutUsableLocationFails)
{
    struct Case {
        const char* name;
        HXPropertyList::Dictionary attributes;
    } cases[] = {
        { "missing", { { "dataRate", 100 } } },
        { "number", { { "URL", 5 } } },
        { "data", { { "URL", HXData(std::string_view("a.mov")) } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(MVPRefMovieDescriptorDictionaryCreateWithAttributes(c.attributes));
    }
}

TEST(ReferenceMovieAtoms, NonAsciiCharactersBecomeQuestionMarks)
{
    auto rmda
        = MVPRefMovieDescriptorDictionaryCreateWithAttributes({ { "URL", "caf\xC3\xA9\xE2\x82\xAC.mov" } });
    ASSERT_TRUE(rmda);
    auto bytes = serialise(*rmda);
    // rmda header, rdrf header, flags, type, n
    ASSERT_EQ(bytes.size(), 8u + 8 + 12 + 10);
    EXPECT_EQ(Bytes(bytes.begin() + 24, bytes.begin() + 28), be32(10));
    EXPECT_EQ(Bytes(bytes.begin() + 28, bytes.end()), cat({ text("caf??.mov"), Bytes { 0 } }));
}

TEST(ReferenceMovieAtoms, FileURLObjectIsStoredAsTheMediaLayersReference)
{
    auto rmda = MVPRefMovieDescriptorDictionaryCreateWithAttributes(
        { { "dataRate", 1000 } }, HXURL::fileURLWithPath("/tmp/movies/a.mov"));
    ASSERT_TRUE(rmda);
    auto bytes = serialise(*rmda);
    ASSERT_GT(bytes.size(), 28u);
    EXPECT_EQ(Bytes(bytes.begin() + 20, bytes.begin() + 24), text("alis"));
}

TEST(ReferenceMovieAtoms, TreeWithDescriptorsAndABadChild)
{
    HXPropertyList::Array* records = nullptr;
    auto tree = MVPRefMovieDictionaryCreateEmpty(&records);
    ASSERT_TRUE(records);
    records->push_back(*MVPRefMovieDescriptorDictionaryCreateWithAttributes({ { "URL", "a.mov" } }));
    records->push_back(HXPropertyList::Dictionary { { MVPAtomTypeKey, "rmda" } }); // no node: left out
    records->push_back(*MVPRefMovieDescriptorDictionaryCreateWithAttributes({ { "URL", "b.mov" } }));
    auto bytes = serialise(*tree);
    ASSERT_EQ(bytes.size(), 16u + 2 * 34);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), be32(16 + 68));
    EXPECT_EQ(Bytes(bytes.begin() + 8, bytes.begin() + 12), be32(8 + 68));
    EXPECT_EQ(Bytes(bytes.begin() + 16 + 34 + 28, bytes.begin() + 16 + 34 + 33), text("b.mov"));
}

TEST(ReferenceMovieAtoms, RootThatIsNoNodeFails)
{
    EXPECT_FALSE(MVPMovieAtomDataCreateFromDictionary(HXPropertyList("moov")));
    EXPECT_FALSE(MVPMovieAtomDataCreateFromDictionary(
        HXPropertyList::Dictionary { { MVPAtomTypeKey, 0x6D6F6F76 }, { MVPAtomContentsKey, 3 } }));
    EXPECT_FALSE(MVPMovieAtomDataCreateFromDictionary(HXPropertyList::Dictionary { { MVPAtomTypeKey, 1 } }));
}

TEST(ReferenceMovieAtoms, FullEscaping)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        { "My Movie (1).mov", "My%20Movie%20%281%29.mov" },
        { "a/b:c.mov", "a%2Fb%3Ac.mov" },
        { "!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D" },
        { "caf\xC3\xA9-_.~", "caf%C3%A9-_.~" },
        { "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPRefMovieCreateFullyEscapedURLString(c.in), c.out) << c.in;
}

} // namespace
