#include "player/controls/button_image_set.h"

#include "platform/basekit/bundle.h"
#include "platform/drawing/image.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using movara::test::TempDir;
using movara::test::writeFile;

// A bundle folder whose Resources/ holds empty files of the given names (the set reads files lazily, so
// their contents do not matter here).
struct ResourceFolder {
    TempDir dir;
    explicit ResourceFolder(std::initializer_list<const char*> names)
    {
        std::filesystem::create_directories(dir / "Resources");
        for (const char* name : names)
            add(name);
    }
    void add(const std::string& name) { writeFile(dir.path() / "Resources" / name, ""); }
    std::string resources() const { return (dir.path() / "Resources").string(); }
};

TEST(ButtonImageSet, FileNamesDecodeToStates)
{
    using S = MVPButtonImageFileState;
    const struct {
        const char* file;
        const char* base;
        std::optional<S> expected;
    } cases[] = {
        { "Play.png", "Play", S { 0, 0, true, false, false } },
        { "PlayPressed.png", "Play", S { 0, 1, true, false, false } },
        { "PlayInactive.png", "Play", S { 0, 0, false, false, false } },
        { "PlayOnDisabled.png", "Play", S { 1, -1, true, false, false } },
        { "PlayMixedRollover.png", "Play", S { -1, 0, true, true, false } },
        { "PlayOffInactiveDisabled.png", "Play", S { 0, -1, false, false, false } },
        // Base names and suffix words ignore case.
        { "PlayPRESSED.PNG", "play", S { 0, 1, true, false, false } },
        // Not exactly one word of a group: the group keeps its default.
        { "PlayOnOff.png", "Play", S { 0, 0, true, false, false } },
        { "PlayOnPressedDisabled.png", "Play", S { 1, 0, true, false, false } },
        { "PlayKestrelPressed.png", "Play", S { 0, 1, true, false, true } },
        // The base name is a prefix: any longer name that begins with it joins, decoded by its remainder.
        { "PlayheadOn.png", "Play", S { 1, 0, true, false, false } },
        { "Pla.png", "Play", std::nullopt },
        { "DisplayPressed.png", "Play", std::nullopt },
        { "PlayPressed.tif", "Play", std::nullopt },
        { "PlayPressed", "Play", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPButtonImageFileStateForName(c.file, c.base), c.expected) << c.file << " as " << c.base;
}

TEST(ButtonImageSet, ExactLookupInSortedEntries)
{
    MVPButtonImageSet set;
    EXPECT_TRUE(set.isEmpty());
    auto a = HXImage::initWithSize({ 1, 1 }), b = HXImage::initWithSize({ 2, 2 }),
         c = HXImage::initWithSize({ 3, 3 });
    // Inserted out of key order, with −1 values and states that pack into the top bits.
    set.setImage(a, -1, -1, true, true);
    set.setImage(b, 0, 0, true, false);
    set.setImage(c, 1, 1, false, false);
    set.setImage(a, 0, -1, false, false);
    EXPECT_EQ(set.count(), 4u);
    EXPECT_EQ(set.imageForValue(-1, -1, true, true), a);
    EXPECT_EQ(set.imageForValue(0, 0, true, false), b);
    EXPECT_EQ(set.imageForValue(1, 1, false, false), c);
    EXPECT_EQ(set.imageForValue(0, -1, false, false), a);
    // No fallback to a neighbouring state.
    EXPECT_EQ(set.imageForValue(1, 1, true, false), nullptr);
    EXPECT_EQ(set.imageForValue(0, 0, false, false), nullptr);

    // Replacing keeps one entry; a null image for an absent state adds nothing.
    set.setImage(c, 0, 0, true, false);
    EXPECT_EQ(set.imageForValue(0, 0, true, false), c);
    set.setImage(nullptr, 1, -1, true, false);
    EXPECT_EQ(set.count(), 4u);

    auto images = set.imageEnumerator();
    EXPECT_EQ(std::set<std::shared_ptr<HXImage>>(images.begin(), images.end()),
        (std::set<std::shared_ptr<HXImage>> { a, c }));
}

TEST(ButtonImageSet, BuiltFromTheResourceFolder)
{
    ResourceFolder folder { "Play.png", "PlayPressed.png", "PlayInactive.png", "PlayOnDisabled.png",
        "Playlist.txt", "Pause.png" };
    auto set = MVPButtonImageSet::imageSetFromResourceFolder("Play", folder.resources(), 1000.0);
    EXPECT_EQ(set->count(), 4u);
    ASSERT_NE(set->imageForValue(1, -1, true, false), nullptr);
    EXPECT_NE(set->imageForValue(0, 0, false, false), nullptr);
    EXPECT_NE(set->imageForValue(0, 1, true, false), nullptr);
    ASSERT_NE(set->imageForValue(0, 0, true, false), nullptr);
    // Created by reference: the file is read when the image is first used.
    EXPECT_FALSE(set->imageForValue(0, 0, true, false)->isValid());

    EXPECT_TRUE(MVPButtonImageSet::imageSetFromResourceFolder("Stop", folder.resources(), 1000.0)->isEmpty());
    EXPECT_TRUE(
        MVPButtonImageSet::imageSetFromResourceFolder("Play", "/nonexistent/folder", 1000.0)->isEmpty());
}

TEST(ButtonImageSet, NewerArtworkReplacesTheWholeSetOnNewerToolkits)
{
    ResourceFolder folder { "Play.png", "PlayPressed.png", "PlayDisabled.png", "PlayKestrel.png" };
    const struct {
        double version;
        size_t count;
    } cases[] = { { 905.0, 3 }, { 905.5, 1 }, { 1000.0, 1 } };
    for (const auto& c : cases) {
        auto set = MVPButtonImageSet::imageSetFromResourceFolder("Play", folder.resources(), c.version);
        EXPECT_EQ(set->count(), c.count) << c.version;
    }
    auto set = MVPButtonImageSet::imageSetFromResourceFolder("Play", folder.resources(), 1000.0);
    EXPECT_EQ(set->imageForValue(0, 1, true, false), nullptr);
    EXPECT_NE(set->imageForValue(0, 0, true, false), nullptr);
}

TEST(ButtonImageSet, SharedWhileAliveAndScannedAgainAfterwards)
{
    ResourceFolder folder {};
    auto bundle = HXBundle::bundleWithPath(folder.dir.path().string());
    ASSERT_NE(bundle, nullptr);

    auto first = MVPButtonImageSet::imageSetWithBaseImageName("Play", bundle);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isEmpty()); // an empty set is shared like any other

    folder.add("Play.png");
    auto second = MVPButtonImageSet::imageSetWithBaseImageName("Play", bundle);
    EXPECT_EQ(second, first);
    // Another base name, or the same name spelt otherwise, is a set of its own.
    EXPECT_NE(MVPButtonImageSet::imageSetWithBaseImageName("play", bundle), first);

    first.reset();
    second.reset();
    auto third = MVPButtonImageSet::imageSetWithBaseImageName("Play", bundle);
    EXPECT_EQ(third->count(), 1u);
}

TEST(ButtonImageSet, SetsOfOtherBundlesAreApart)
{
    ResourceFolder one { "Play.png" };
    ResourceFolder two { "Play.png", "PlayPressed.png" };
    auto a = MVPButtonImageSet::imageSetWithBaseImageName("Play", HXBundle::bundleWithPath(one.dir.path()));
    auto b = MVPButtonImageSet::imageSetWithBaseImageName("Play", HXBundle::bundleWithPath(two.dir.path()));
    EXPECT_NE(a, b);
    EXPECT_EQ(a->count(), 1u);
    EXPECT_EQ(b->count(), 2u);
}

} // namespace
