// 'alis' records: the byte layout other readers depend on, levels between folders, and resolving.
#include "test_support.h"

#include "platform/mvkit/atoms/alias_record.h"

#include <gtest/gtest.h>

namespace {

uint16_t be16(const MVBytes& b, size_t at)
{
    return uint16_t(b.at(at) << 8 | b.at(at + 1));
}

TEST(AliasRecord, LayoutIsByteExact)
{
    MVBytes r = MVSerializeAliasRecord(MVMakeAliasRecord("/media/films/source.mov", "/media/films/ref.mov"));
    // Fixed part: record size at 4, version 2 at 6, kind 0 at 8.
    EXPECT_EQ(be16(r, 4), r.size());
    EXPECT_EQ(be16(r, 6), 2);
    EXPECT_EQ(be16(r, 8), 0);
    // Volume name: a length byte and 27 bytes at 10 (no volume: empty).
    EXPECT_EQ(r[10], 0);
    // File name: a length byte and 63 bytes at 50.
    EXPECT_EQ(r[50], 10);
    EXPECT_EQ(std::string(r.begin() + 51, r.begin() + 61), "source.mov");
    EXPECT_TRUE(std::all_of(r.begin() + 61, r.begin() + 114, [](uint8_t b) { return b == 0; }));
    // Levels at 130 and 132: same folder.
    EXPECT_EQ(be16(r, 130), 1);
    EXPECT_EQ(be16(r, 132), 1);
    // Tagged fields from 150: tag 0 folder name "films" (5, padded to 6), tag 2 the colon path, tag 18 the
    // POSIX path, then the end mark −1.
    size_t at = 150;
    struct Field {
        uint16_t tag;
        std::string text;
    };
    const Field expected[]
        = { { 0, "films" }, { 2, "media:films:source.mov" }, { 18, "/media/films/source.mov" } };
    for (const auto& f : expected) {
        EXPECT_EQ(be16(r, at), f.tag);
        ASSERT_EQ(be16(r, at + 2), f.text.size());
        EXPECT_EQ(std::string(r.begin() + long(at) + 4, r.begin() + long(at + 4 + f.text.size())), f.text);
        at += 4 + f.text.size() + f.text.size() % 2;
    }
    EXPECT_EQ(be16(r, at), 0xFFFF);
    EXPECT_EQ(be16(r, at + 2), 0);
    EXPECT_EQ(at + 4, r.size());
    // An 'alis' entry is larger than 150 bytes (12 bytes of entry header, then the record).
    EXPECT_GT(r.size() + 12, 150u);

    auto parsed = MVParseAliasRecord(r);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->posixPath(), "/media/films/source.mov");
    EXPECT_EQ(parsed->colonPath(), "media:films:source.mov");
    EXPECT_EQ(parsed->folderName(), "films");
    EXPECT_EQ(MVSerializeAliasRecord(*parsed), r);
}

TEST(AliasRecord, LevelsBetweenFolders)
{
    struct Case {
        const char* target;
        const char* alias;
        uint16_t from, to;
    };
    const Case cases[] = {
        { "/a/b/movie.mov", "/a/b/ref.mov", 1, 1 },
        { "/a/b/c/movie.mov", "/a/b/ref.mov", 1, 2 },
        { "/a/movie.mov", "/a/b/c/ref.mov", 3, 1 },
        { "/x/movie.mov", "/y/ref.mov", 2, 2 },
    };
    for (const auto& c : cases) {
        auto r = MVMakeAliasRecord(c.target, c.alias);
        EXPECT_EQ(r.levelsFrom, c.from) << c.target << " from " << c.alias;
        EXPECT_EQ(r.levelsTo, c.to) << c.target << " from " << c.alias;
    }
    // A name longer than its 63-byte field is cut at a character boundary; the paths keep it whole.
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "\xC3\xA9"; // é, two bytes
    auto r = MVMakeAliasRecord("/m/" + longName + ".mov", "/m/ref.mov");
    MVBytes bytes = MVSerializeAliasRecord(r);
    EXPECT_EQ(bytes[50], 62);
    EXPECT_EQ(MVParseAliasRecord(bytes)->posixPath(), "/m/" + longName + ".mov");
}

TEST(AliasRecord, ResolvingPrefersTheRelativeLevels)
{
    movara::test::TempDir dir;
    std::filesystem::create_directories(dir / "moved");
    movara::test::writeFile(dir / "moved" / "source.mov", "x");
    // Made when both lived in /old/place; the folder has moved since.
    auto entry = MVMakeFileDataReference("/old/place/source.mov", "/old/place/ref.mov");
    EXPECT_EQ(MVResolveDataReference(entry, (dir / "moved" / "ref.mov").string()),
        (dir / "moved" / "source.mov").string());
    // Where the relative file is missing, the absolute path as it stands.
    EXPECT_EQ(MVResolveDataReference(entry, (dir / "ref.mov").string()), "/old/place/source.mov");
    EXPECT_EQ(MVResolveDataReference(MVMakeSelfDataReference(), "/m/a.mov"), "/m/a.mov");
    EXPECT_EQ(MVResolveDataReference(MVMakeURLDataReference("file:///m/b.mov"), "/m/a.mov"), "/m/b.mov");
    EXPECT_FALSE(MVResolveDataReference(MVMakeURLDataReference("http://example.invalid/b.mov"), "/m/a.mov"));
    EXPECT_FALSE(MVParseAliasRecord(MVBytes(100, 0)));
}

} // namespace
