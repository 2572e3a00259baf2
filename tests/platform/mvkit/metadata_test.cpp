// Metadata items by key, type and locale, and the annotation calls over both storages.
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/user_data.h"

#include <gtest/gtest.h>

namespace {

MVBytes bytes(const std::string& s)
{
    return { s.begin(), s.end() };
}

TEST(Metadata, ItemsByKeyTypeAndLocale)
{
    MVMetadata m;
    auto rating = MVMakeMetadataKey("com.example.rating");
    auto title = MVMakeMetadataKey("com.example.title");
    MVMetadataAddItem(m, rating, MVMakeMetadataFloat32(4.5f));
    EXPECT_EQ(m.handler.componentSubtype, MVFourCC("mdta")); // a new container gets its handler
    auto english = MVMakeMetadataUTF8("Hello");
    english.locale = MVMetadataLocaleForIdentifier("en");
    auto french = MVMakeMetadataUTF8("Bonjour");
    french.locale = MVMetadataLocaleForIdentifier("fr");
    MVMetadataAddItem(m, title, english);
    MVMetadataAddItem(m, title, french);
    EXPECT_EQ(MVMetadataCountItems(m, title), 2);

    auto value = MVMetadataFirstValue(m, rating, MVMetadataDataTypeFloat32BE);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->bytes, (MVBytes { 0x40, 0x90, 0, 0 })); // 4.5 as a big-endian float
    EXPECT_EQ(MVMetadataFirstValue(m, rating, MVMetadataDataTypeUTF8), std::nullopt);
    EXPECT_EQ(MVMetadataString(*MVMetadataFirstValue(m, title, std::nullopt, french.locale)), "Bonjour");

    auto replaced = MVMakeMetadataUTF8("Salut");
    replaced.locale = french.locale;
    MVMetadataSetItem(m, title, replaced);
    EXPECT_EQ(MVMetadataCountItems(m, title), 2);
    EXPECT_EQ(MVMetadataString(*MVMetadataFirstValue(m, title, std::nullopt, french.locale)), "Salut");
    EXPECT_EQ(MVMetadataRemoveItems(m, title, english.locale), 1);
    EXPECT_EQ(MVMetadataRemoveItems(m, title), 1);
    EXPECT_EQ(MVMetadataCountItems(m, title), 0);
    MVMetadataRemoveAll(m);
    EXPECT_TRUE(m.items.empty());
}

TEST(Metadata, AnnotationsInEachStorage)
{
    const MVBytes author = MVMetadataKeyBytes(0xA9617574); // ©aut
    struct Case {
        const char* name;
        uint32_t storage;
        bool inUserData;
        bool inMetadata;
    };
    const Case cases[] = {
        { "user data", MVMetadataStorageUserData, true, false },
        { "metadata", MVMetadataStorageMetadata, false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MVUserData u;
        MVMetadata m;
        MVSetAnnotation(u, m, c.storage, MVMetadataKeyFormatUserData, author, "en", "Ann Author");
        EXPECT_EQ(MVUserDataCountItems(u, 0xA9617574), c.inUserData ? 1 : 0);
        EXPECT_EQ(MVMetadataCountItems(m, MVMakeMetadataKey(0xA9617574)), c.inMetadata ? 1 : 0);
        EXPECT_EQ(
            MVAnnotationValue(u, m, MVMetadataStorageAny, MVMetadataKeyFormatUserData, author), "Ann Author");
        EXPECT_EQ(MVAnnotationValue(u, m, c.storage, MVMetadataKeyFormatUserData, author), "Ann Author");
        // Setting the empty text removes it.
        MVSetAnnotation(u, m, c.storage, MVMetadataKeyFormatUserData, author, "en", "");
        EXPECT_EQ(
            MVAnnotationValue(u, m, MVMetadataStorageAny, MVMetadataKeyFormatUserData, author), std::nullopt);
    }
    // Reverse-DNS keys live only in the metadata.
    MVUserData u;
    MVMetadata m;
    MVSetAnnotation(u, m, MVMetadataStorageMetadata, MVMetadataKeyFormatReverseDNS, bytes("com.example.note"),
        "", "a note");
    EXPECT_EQ(MVAnnotationValue(
                  u, m, MVMetadataStorageAny, MVMetadataKeyFormatReverseDNS, bytes("com.example.note")),
        "a note");
    MVRemoveAnnotation(
        u, m, MVMetadataStorageAny, MVMetadataKeyFormatReverseDNS, bytes("com.example.note"), "");
    EXPECT_TRUE(m.items.empty());
}

} // namespace
