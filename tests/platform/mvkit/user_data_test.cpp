// User data items by type and index, text items and the annotation map.
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/user_data.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t nsav = MVFourCC("nsav");
constexpr uint32_t plug = MVFourCC("plug");
constexpr uint32_t copyright = 0xA9637079; // ©cpy
constexpr uint32_t fullName = 0xA96E616D; // ©nam

TEST(UserData, ItemsByTypeAndIndex)
{
    MVUserData u;
    MVUserDataAddItem(u, nsav, { 1 });
    MVUserDataAddItem(u, plug, { 2 });
    MVUserDataAddItem(u, nsav, { 3 }); // goes after the other 'nsav', before 'plug'
    EXPECT_EQ(MVUserDataCountItems(u, nsav), 2);
    EXPECT_EQ(MVUserDataTypes(u), (std::vector<uint32_t> { nsav, plug }));
    EXPECT_EQ(u.items[1].data, MVBytes { 3 });
    struct Case {
        uint32_t type;
        int index;
        std::optional<MVBytes> data;
    };
    const Case cases[] = { { nsav, 1, MVBytes { 1 } }, { nsav, 2, MVBytes { 3 } }, { nsav, 3, std::nullopt },
        { nsav, 0, std::nullopt }, { nsav, -1, std::nullopt }, { MVFourCC("none"), 1, std::nullopt } };
    for (const auto& c : cases)
        EXPECT_EQ(MVUserDataGetItem(u, c.type, c.index), c.data) << c.index;

    EXPECT_TRUE(MVUserDataSetItem(u, nsav, 2, { 9 }));
    EXPECT_TRUE(MVUserDataSetItem(u, nsav, 3, { 10 })); // count + 1 appends
    EXPECT_FALSE(MVUserDataSetItem(u, nsav, 9, { 11 }));
    EXPECT_TRUE(MVUserDataRemoveItem(u, nsav, 1));
    EXPECT_FALSE(MVUserDataRemoveItem(u, nsav, 5));
    EXPECT_EQ(MVUserDataGetItem(u, nsav, 1), MVBytes { 9 });
    EXPECT_EQ(MVUserDataCountItems(u, nsav), 2);
}

TEST(UserData, TextItemsKeepOtherLanguages)
{
    MVUserData u;
    MVUserDataSetText(u, copyright, "2026 Movara", 0);
    MVUserDataSetText(u, copyright, "2026 Movara (fr)", MVLanguageForLocale("fr_CA"));
    EXPECT_EQ(MVUserDataGetText(u, copyright), "2026 Movara (fr)"); // the last set comes first
    auto texts = MVParseInternationalText(*MVUserDataGetItem(u, copyright, 1));
    ASSERT_TRUE(texts);
    EXPECT_EQ(texts->size(), 2u);
    MVUserDataSetText(u, copyright, "", 1);
    EXPECT_EQ(MVUserDataGetText(u, copyright), "2026 Movara");
    MVUserDataSetText(u, copyright, "", 0);
    EXPECT_EQ(MVUserDataCountItems(u, copyright), 0);
    // A damaged text item reads as no text rather than garbage.
    MVUserDataAddItem(u, fullName, { 0x40, 0, 0, 0, 'x' });
    EXPECT_EQ(MVUserDataGetText(u, fullName), std::nullopt);
}

TEST(UserData, AnnotationsAreTheTextItemsByCode)
{
    MVUserData u;
    MVUserDataSetText(u, fullName, "A Movie");
    MVUserDataSetText(u, copyright, "Someone");
    MVUserDataAddItem(u, nsav, { 1 });
    auto annotations = MVUserDataAnnotations(u);
    EXPECT_EQ(
        annotations, (std::map<std::string, std::string> { { "©cpy", "Someone" }, { "©nam", "A Movie" } }));
}

// 3GPP files keep their texts in boxes of their own (a language, then the text up to a zero byte; an
// album box may add a track number): they read as the classic codes and change in place.
TEST(UserData, ThreeGPPTextBoxesAreAnnotations)
{
    const uint32_t titl = MVFourCC("titl"), albm = MVFourCC("albm");
    MVUserData u;
    MVUserDataAddItem(u, titl, { 0, 0, 0, 0, 0x15, 0xC7, 'H', 'i', 0 });
    MVUserDataAddItem(u, albm, { 0, 0, 0, 0, 0x15, 0xC7, 'L', 'P', 0, 7 });
    MVUserDataAddItem(u, MVFourCC("auth"), { 0, 0, 0, 0, 0x15 }); // cut short: no text
    EXPECT_EQ(MVUserDataGetText(u, fullName), "Hi");
    EXPECT_EQ(MVUserDataAnnotations(u),
        (std::map<std::string, std::string> { { "©alb", "LP" }, { "©nam", "Hi" } }));

    MVUserDataSetText(u, 0xA9616C62, "Album"); // ©alb: the track number stays
    EXPECT_EQ(
        MVUserDataGetItem(u, albm, 1), (MVBytes { 0, 0, 0, 0, 0x15, 0xC7, 'A', 'l', 'b', 'u', 'm', 0, 7 }));
    EXPECT_EQ(MVUserDataCountItems(u, 0xA9616C62), 0);
    MVUserDataSetText(u, fullName, "");
    EXPECT_EQ(MVUserDataCountItems(u, titl), 0);
    EXPECT_EQ(MVUserDataGetText(u, fullName), std::nullopt);
}

TEST(UserData, LanguageForLocale)
{
    struct Case {
        const char* locale;
        uint16_t language;
    };
    const Case cases[] = { { "", 0 }, { "en", 0 }, { "en_US", 0 }, { "fr", 1 }, { "de-CH", 2 }, { "ja", 11 },
        { "fin", *MVPackedLanguage("fin") }, { "xx", 0 } };
    for (const auto& c : cases)
        EXPECT_EQ(MVLanguageForLocale(c.locale), c.language) << c.locale;
}

} // namespace
