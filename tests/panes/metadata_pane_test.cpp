// The annotations pane: the fields read from a movie ffmpeg wrote, the menus with and without the Option
// key, writing to the user-data and metadata storages, and undo of every edit.
#include "metadata_pane.h"

#include "pane_test_support.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/user_data.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

std::shared_ptr<MVPMetadataPane> makePane(const MVPInspectedObject& object)
{
    auto pane = std::make_shared<MVPMetadataPane>(object, paneBundle("MetadataPane"));
    pane->view();
    return pane;
}

std::vector<std::string> titles(const HXMenu& menu, bool enabledOnly = false)
{
    std::vector<std::string> out;
    for (const auto& item : menu.itemArray())
        if (!enabledOnly || item->isEnabled())
            out.push_back(item->title());
    return out;
}

std::optional<std::string> stored(const MVMovie& movie, const std::string& field, uint32_t storage)
{
    uint32_t code = GetAnnotationTypeForKey(field);
    if (storage != MVMetadataStorageMetadata) {
        if (auto text = MVUserDataGetText(movie.userData(), MVPUserDataCodeForField(code)))
            return text;
        if (storage == MVMetadataStorageUserData)
            return std::nullopt;
    }
    return MVAnnotationValue(movie.userData(), movie.metadata(), MVMetadataStorageMetadata,
        MVPAnnotationKeyFormat(code), MVMetadataKeyBytes(code));
}

} // namespace

TEST(MetadataPane, ReadsTheAnnotationsFfmpegWrote)
{
    auto path = paneFixture("tagged.mov",
        { "-f", "lavfi", "-i", "sine=duration=0.2:sample_rate=8000", "-metadata", "title=Night Train", "-metadata",
            "artist=The Band", "-c:a", "pcm_s16le" });
    UndoableMovie m(path);
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto pane = makePane(MVPInspectedObject(m.movie));
    EXPECT_EQ(pane->objectForKey("Title"), "Night Train");
    EXPECT_EQ(pane->objectForKey("Artist"), "The Band");
    // Rows follow the fields' menu order.
    EXPECT_EQ(pane->keyList(), (std::vector<std::string> { "Artist", "Title", "Software" }));
    auto table = pane->table();
    EXPECT_EQ(pane->objectValueForTableColumn(*table, table->tableColumnWithIdentifier("values").get(), 1).stringValue(),
        "Night Train");
    // The keys column shows the position of the row's field in the pop-up menu.
    long index = pane->objectValueForTableColumn(*table, table->tableColumnWithIdentifier("keys").get(), 0).integerValue();
    EXPECT_EQ(std::any_cast<std::string>(pane->popUpMenu()->itemAtIndex(index)->representedObject()), "Artist");
}

TEST(MetadataPane, MenusOfferDefaultFieldsOrAllWithOption)
{
    UndoableMovie m(MVMovie::movie());
    auto pane = makePane(MVPInspectedObject(m.movie));
    EXPECT_TRUE(pane->keyList().empty());
    EXPECT_EQ(pane->numberOfRowsInTableView(*pane->table()), 0);

    struct Case {
        uint32_t flags;
        size_t fields;
    } cases[] = { { 0, 14 }, { 0x80000, 28 } };
    pane->addKey("Track Number"); // present, not a default field
    for (const auto& c : cases) {
        pane->updatePullDownMenu(c.flags);
        pane->updatePopUpMenu(c.flags);
        auto pull = titles(*pane->pullDownMenu());
        ASSERT_FALSE(pull.empty());
        EXPECT_EQ(pull.front(), "Add Field") << "the title item stays";
        size_t expected = c.fields + (c.flags ? 0 : 1); // the present field is listed too
        EXPECT_EQ(pull.size(), expected + 1) << c.flags;
        EXPECT_EQ(titles(*pane->popUpMenu()).size(), expected) << c.flags;
        // The present field is listed but disabled.
        auto enabled = titles(*pane->popUpMenu(), true);
        EXPECT_EQ(enabled.size(), expected - 1);
        EXPECT_EQ(std::count(enabled.begin(), enabled.end(), "Track Number"), 0);
    }
    auto pull = titles(*pane->pullDownMenu());
    EXPECT_NE(std::find(pull.begin(), pull.end(), "Creation Date"), pull.end());
}

TEST(MetadataPane, WritesCommonFieldsToBothStoragesAndOthersToUserDataOnly)
{
    UndoableMovie m(MVMovie::movie());
    auto pane = makePane(MVPInspectedObject(m.movie));
    struct Case {
        const char* field;
        std::string value;
        bool inMetadata;
    } cases[] = {
        { "Title", "Ünïcödé — ☃ title", true },
        { "Track Number", "3/12", false },
        { "Copyright", "© 2026 Somebody", true },
    };
    for (const auto& c : cases) {
        pane->addKey(c.field);
        pane->setObjectForKey(c.value, c.field);
        EXPECT_EQ(stored(*m.movie, c.field, MVMetadataStorageUserData), c.value) << c.field << ": kept whole";
        EXPECT_EQ(stored(*m.movie, c.field, MVMetadataStorageMetadata).has_value(), c.inMetadata) << c.field;
        if (c.inMetadata) {
            EXPECT_EQ(stored(*m.movie, c.field, MVMetadataStorageMetadata), c.value) << c.field;
        }
        EXPECT_TRUE(m.movie->hasChanged());

        // The empty value removes the annotation from both storages and keeps the row.
        pane->setObjectForKey(std::string(), c.field);
        EXPECT_FALSE(stored(*m.movie, c.field, MVMetadataStorageAny).has_value()) << c.field;
        EXPECT_NE(std::find(pane->keyList().begin(), pane->keyList().end(), c.field), pane->keyList().end());
    }
}

TEST(MetadataPane, EveryEditUndoesAndRedoes)
{
    UndoableMovie m(MVMovie::movie());
    m.undo->setGroupsByEvent(true);
    auto& um = *m.undo;
    MVUserDataSetText(m.movie->userData(), MVPUserDataCodeForField(GetAnnotationTypeForKey("Album")), "First");
    auto pane = makePane(MVPInspectedObject(m.movie));
    ASSERT_EQ(pane->keyList(), std::vector<std::string> { "Album" });
    auto album = [&] { return stored(*m.movie, "Album", MVMetadataStorageAny); };

    // Change the value.
    pane->setObjectForKey(std::string("Second"), "Album");
    um.endEventGroup();
    EXPECT_EQ(album(), "Second");
    um.undo();
    EXPECT_EQ(album(), "First");
    EXPECT_EQ(pane->objectForKey("Album"), "First");
    um.redo();
    EXPECT_EQ(album(), "Second");

    // Change the field of the row.
    pane->replaceKey("Album", "Comment");
    um.endEventGroup();
    EXPECT_FALSE(album());
    EXPECT_EQ(stored(*m.movie, "Comment", MVMetadataStorageAny), "Second");
    EXPECT_EQ(pane->keyList(), std::vector<std::string> { "Comment" });
    um.undo();
    EXPECT_EQ(album(), "Second");
    EXPECT_FALSE(stored(*m.movie, "Comment", MVMetadataStorageAny));
    EXPECT_EQ(pane->keyList(), std::vector<std::string> { "Album" });

    // Remove a row: undo brings it back at the end of the list with its value.
    pane->addKey("Year");
    um.endEventGroup();
    pane->setObjectForKey(std::string("1999"), "Year");
    um.endEventGroup();
    pane->table()->reloadData();
    pane->table()->selectRow(0);
    pane->tableViewSelectionDidChange(*pane->table());
    EXPECT_TRUE(pane->removeButton()->isEnabled());
    pane->performAction("removeSelection:", nullptr);
    um.endEventGroup();
    EXPECT_EQ(pane->keyList(), std::vector<std::string> { "Year" });
    EXPECT_FALSE(album());
    um.undo();
    EXPECT_EQ(pane->keyList(), (std::vector<std::string> { "Year", "Album" }));
    EXPECT_EQ(album(), "Second");
    um.redo();
    EXPECT_EQ(pane->keyList(), std::vector<std::string> { "Year" });
    EXPECT_FALSE(album());
}

TEST(MetadataPane, AddFieldFromThePullDownAndEditInTheTable)
{
    UndoableMovie m(MVMovie::movie());
    auto pane = makePane(MVPInspectedObject(m.movie));
    std::shared_ptr<HXMenuItem> director;
    for (const auto& item : pane->pullDownMenu()->itemArray())
        if (item->title() == "Director")
            director = item;
    ASSERT_TRUE(director);
    EXPECT_EQ(director->action(), HXSelector("addField:"));
    pane->performAction("addField:", director.get());
    ASSERT_EQ(pane->keyList(), std::vector<std::string> { "Director" });
    EXPECT_EQ(pane->table()->selectedRow(), 0);

    auto table = pane->table();
    pane->setObjectValue(*table, HXPropertyList("Someone"), table->tableColumnWithIdentifier("values").get(), 0);
    EXPECT_EQ(stored(*m.movie, "Director", MVMetadataStorageAny), "Someone");
    // Choosing another field in the row's pop-up moves the value there.
    pane->updatePopUpMenu();
    long year = -1;
    for (long i = 0; i < pane->popUpMenu()->numberOfItems(); ++i)
        if (pane->popUpMenu()->itemAtIndex(i)->title() == "Year")
            year = i;
    ASSERT_GE(year, 0);
    pane->setObjectValue(*table, HXPropertyList(int64_t(year)), table->tableColumnWithIdentifier("keys").get(), 0);
    EXPECT_EQ(pane->keyList(), std::vector<std::string> { "Year" });
    EXPECT_EQ(stored(*m.movie, "Year", MVMetadataStorageAny), "Someone");
}

TEST(MetadataPane, WorksOnATrack)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto track = m.movie->tracks().at(0);
    auto pane = makePane(MVPInspectedObject(track));
    pane->addKey("Comment");
    pane->setObjectForKey(std::string("track note"), "Comment");
    EXPECT_EQ(MVUserDataGetText(track->userData(), MVPUserDataCodeForField(GetAnnotationTypeForKey("Comment"))),
        "track note");
    EXPECT_FALSE(stored(*m.movie, "Comment", MVMetadataStorageAny));
}
