// The visual track pane: each key of a video track set with undo and redo, refused values, the size in
// either unit with and without the aspect kept, rotations and flips, the graphics modes offered and the
// mask image.
#include "picture_pane.h"

#include "pane_test_support.h"

#include "platform/basekit/undo_manager.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/track_geometry.h"
#include "platform/winkit/text_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace movara::test;

namespace {

struct PicturePaneTest : ::testing::Test {
    void SetUp() override
    {
        m = std::make_unique<UndoableMovie>(videoAndSoundMovie());
        if (!*m)
            GTEST_SKIP() << "ffmpeg could not make the movie";
        track = m->movie->tracksOfMediaType(MVFourCC("vide")).at(0);
        pane = std::make_shared<MVPPicturePane>(track, paneBundle("PicturePane"));
        pane->view();
        pane->startInspection();
    }
    void TearDown() override
    {
        pane.reset();
    }
    HXUndoManager& undo() { return *m->undo; }

    std::unique_ptr<UndoableMovie> m;
    std::shared_ptr<MVTrack> track;
    std::shared_ptr<MVPPicturePane> pane;
};

std::string writePNG(const TempDir& dir, const std::string& name, HXRGBAPixel pixel)
{
    auto rep = HXBitmapImageRep::initWithSize(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            rep->setPixel(x == 0 ? HXRGBAPixel { 0, 0, 0, 255 } : pixel, x, y);
    std::string path = (dir / name).string();
    EXPECT_TRUE(rep->writeToFile(path));
    return path;
}

} // namespace

TEST_F(PicturePaneTest, KeysSetTheTrackWithUndoAndRedo)
{
    struct Case {
        const char* key;
        HXPropertyList value;
    } cases[] = {
        { "trackLayer", int64_t(-32768) },
        { "trackLayer", int64_t(32767) },
        { "transferMode", int64_t(32) },
        { "transparency", 0.25 },
        { "operationColor", HXPropertyList::Array { int64_t(65535), int64_t(0), int64_t(32768) } },
        { "deinterlace", true },
        { "singleField", true },
        { "highQuality", true },
        { "horizontalOffset", 10.0 },
        { "verticalOffset", 20.0 },
        { "currentWidth", 128.0 },
    };
    for (const auto& c : cases) {
        undo().removeAllActions();
        HXPropertyList before = pane->valueForKey(c.key);
        ASSERT_TRUE(pane->setValueForKey(c.value, c.key)) << c.key;
        EXPECT_EQ(pane->valueForKey(c.key), c.value) << c.key;
        undo().undo();
        EXPECT_EQ(pane->valueForKey(c.key), before) << c.key;
        undo().redo();
        EXPECT_EQ(pane->valueForKey(c.key), c.value) << c.key;
    }
    EXPECT_EQ(track->layer(), 32767);
    EXPECT_TRUE(track->attributeForKey(MVTrackHighQualityVideoAttribute).boolValue());
    EXPECT_EQ(pane->valueForKey("transparencySliderVisible"), HXPropertyList(true)) << "blend uses the transparency";
    // With the aspect kept, the height followed the width; the offset stayed.
    EXPECT_DOUBLE_EQ(pane->valueForKey("currentHeight").realValue(), 96.0);
    EXPECT_DOUBLE_EQ(pane->valueForKey("horizontalOffset").realValue(), 10.0);
}

TEST_F(PicturePaneTest, TransparencyIsTheOperationColoursWeight)
{
    using Color = HXPropertyList::Array;
    std::vector<std::string> announced;
    pane->onValueChanged = [&](const std::string& key) { announced.push_back(key); };
    ASSERT_TRUE(pane->setValueForKey(0.5, "transparency"));
    EXPECT_EQ(pane->valueForKey("operationColor"), HXPropertyList(Color { 32768, 32768, 32768 }));
    EXPECT_NE(std::find(announced.begin(), announced.end(), "operationColor"), announced.end())
        << "the colour well follows";
    ASSERT_TRUE(pane->setValueForKey(0.0, "transparency"));
    EXPECT_EQ(pane->valueForKey("operationColor"), HXPropertyList(Color { 65535, 65535, 65535 }));

    // A colour gives the transparency of its mean weight; undoing a transparency brings back the very
    // colour it replaced.
    ASSERT_TRUE(pane->setValueForKey(HXPropertyList(Color { 65535, 0, 0 }), "operationColor"));
    EXPECT_DOUBLE_EQ(pane->valueForKey("transparency").realValue(), 0.667);
    undo().removeAllActions();
    ASSERT_TRUE(pane->setValueForKey(0.25, "transparency"));
    EXPECT_EQ(pane->valueForKey("operationColor"), HXPropertyList(Color { 49151, 49151, 49151 }));
    undo().undo();
    EXPECT_EQ(pane->valueForKey("operationColor"), HXPropertyList(Color { 65535, 0, 0 }));
    undo().redo();
    EXPECT_DOUBLE_EQ(pane->valueForKey("transparency").realValue(), 0.25);
}

TEST_F(PicturePaneTest, RefusesBadValues)
{
    struct Case {
        const char* key;
        HXPropertyList value;
    } cases[] = {
        { "trackLayer", int64_t(32768) },
        { "transferMode", int64_t(999) },
        { "transparency", 1.5 },
        { "operationColor", HXPropertyList::Array { int64_t(1), int64_t(2) } },
        { "operationColor", HXPropertyList::Array { int64_t(1), int64_t(2), int64_t(70000) } },
        { "currentWidth", 0.0 },
        { "currentHeight", -5.0 },
        { "unitIndex", int64_t(7) },
        { "naturalWidth", 10.0 },
        { "transparencySliderVisible", true },
        { "trackLayer", "high" },
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(pane->setValueForKey(c.value, c.key)) << c.key;
        EXPECT_FALSE(undo().canUndo()) << c.key;
    }
    // A field that delivers nothing sets 0 only where 0 is a value.
    pane->setValueForKey(int64_t(3), "trackLayer");
    pane->setNilValueForKey("trackLayer");
    EXPECT_EQ(track->layer(), 0);
    double width = pane->valueForKey("currentWidth").realValue();
    pane->setNilValueForKey("currentWidth");
    EXPECT_DOUBLE_EQ(pane->valueForKey("currentWidth").realValue(), width);
}

TEST_F(PicturePaneTest, SizeInPixelsOrPercent)
{
    EXPECT_DOUBLE_EQ(pane->valueForKey("naturalWidth").realValue(), 64);
    ASSERT_TRUE(pane->setValueForKey(false, "preserveAspectRatio"));
    ASSERT_TRUE(pane->setValueForKey(32.0, "currentWidth"));
    EXPECT_DOUBLE_EQ(pane->valueForKey("displayedWidth").realValue(), 32);
    EXPECT_DOUBLE_EQ(pane->valueForKey("displayedHeight").realValue(), 48) << "aspect not kept";
    MVBytes matrix = MVTrackCurrentMatrixAsData(*track);
    std::vector<std::string> changed;
    pane->onValueChanged = [&](const std::string& key) { changed.push_back(key); };
    ASSERT_TRUE(pane->setValueForKey(int64_t(MVPSizeUnitPercent), "unitIndex"));
    EXPECT_EQ(MVTrackCurrentMatrixAsData(*track), matrix) << "the unit does not touch the track";
    EXPECT_NE(std::find(changed.begin(), changed.end(), "currentWidth"), changed.end());
    EXPECT_NE(std::find(changed.begin(), changed.end(), "currentHeight"), changed.end());
    EXPECT_DOUBLE_EQ(pane->valueForKey("currentWidth").realValue(), 50);
    EXPECT_DOUBLE_EQ(pane->valueForKey("currentHeight").realValue(), 100);
    ASSERT_TRUE(pane->setValueForKey(200.0, "currentHeight"));
    EXPECT_DOUBLE_EQ(pane->valueForKey("displayedHeight").realValue(), 96);
    // A number typed into a field.
    auto field = std::make_shared<HXTextField>();
    pane->bindControl(field, "trackLayer");
    field->setStringValue("-7");
    field->sendAction();
    EXPECT_EQ(track->layer(), -7);
    field->setStringValue("7 layers");
    field->sendAction();
    EXPECT_EQ(track->layer(), -7);
}

TEST_F(PicturePaneTest, RotationsFlipsAndReset)
{
    MVBytes identity = MVTrackCurrentMatrixAsData(*track);
    pane->resetMatrix();
    EXPECT_FALSE(undo().canUndo()) << "already the default matrix";

    pane->rotateCW90();
    EXPECT_DOUBLE_EQ(pane->valueForKey("displayedWidth").realValue(), 48);
    EXPECT_DOUBLE_EQ(pane->valueForKey("displayedHeight").realValue(), 64);
    undo().undo();
    EXPECT_EQ(MVTrackCurrentMatrixAsData(*track), identity);
    pane->rotateCCW90();
    pane->rotateCW90();
    EXPECT_EQ(MVTrackCurrentMatrixAsData(*track), identity);

    pane->flipX();
    EXPECT_NE(MVTrackCurrentMatrixAsData(*track), identity);
    EXPECT_DOUBLE_EQ(pane->valueForKey("horizontalOffset").realValue(), 0) << "flipped within its box";
    pane->flipX();
    EXPECT_EQ(MVTrackCurrentMatrixAsData(*track), identity);
    pane->flipY();
    undo().undo();
    EXPECT_EQ(MVTrackCurrentMatrixAsData(*track), identity);

    pane->rotate(0.3);
    pane->resetMatrix();
    EXPECT_EQ(MVTrackCurrentMatrixAsData(*track), identity);
    undo().undo();
    EXPECT_NE(MVTrackCurrentMatrixAsData(*track), identity);
}

TEST_F(PicturePaneTest, DeprecatedModesOnlyWhileInUse)
{
    auto titles = [&] {
        std::vector<long> tags;
        for (const auto& item : pane->modePopup->itemArray())
            tags.push_back(item->tag());
        return tags;
    };
    auto modes = MVPPicturePane::getGraphicsModeDictionaries(paneBundle("PicturePane"));
    ASSERT_FALSE(modes.empty());
    auto deprecated = std::find_if(modes.begin(), modes.end(), [](const auto& m) { return m.deprecated; });
    ASSERT_NE(deprecated, modes.end());
    auto tags = titles();
    EXPECT_EQ(std::count(tags.begin(), tags.end(), deprecated->mode), 0);
    track->setAttributeForKey(deprecated->mode, MVTrackTransferModeAttribute);
    pane->stopInspection();
    pane->startInspection();
    tags = titles();
    EXPECT_EQ(std::count(tags.begin(), tags.end(), deprecated->mode), 1);
    EXPECT_EQ(pane->modePopup->selectedTag(), deprecated->mode);
}

TEST_F(PicturePaneTest, MaskChangesUndoToTheMaskBefore)
{
    TempDir dir;
    std::string grey = writePNG(dir, "grey.png", { 100, 100, 100, 255 });
    std::string white = writePNG(dir, "white.png", { 255, 255, 255, 255 });
    std::string notImage = (dir / "note.txt").string();
    std::ofstream(notImage) << "not an image";

    EXPECT_FALSE(pane->setMaskWithDataRef(MVDataReference::dataReferenceWithReferenceToFile(notImage)));
    EXPECT_FALSE(MVTrackHasMask(*track));
    EXPECT_FALSE(undo().canUndo());

    ASSERT_TRUE(pane->setMaskWithDataRef(MVDataReference::dataReferenceWithReferenceToFile(grey)));
    ASSERT_TRUE(pane->maskImage());
    HXPropertyList greyMask = pane->valueForKey("maskImage");
    // A second mask chosen before the first was ever shown: undo brings back the first.
    pane = std::make_shared<MVPPicturePane>(track, paneBundle("PicturePane"));
    ASSERT_TRUE(pane->setMaskWithDataRef(MVDataReference::dataReferenceWithReferenceToFile(white)));
    undo().undo();
    EXPECT_EQ(pane->valueForKey("maskImage"), greyMask);

    pane->invertMask();
    auto inverted = HXBitmapImageRep::imageRepWithData(pane->valueForKey("maskImage").dataValue());
    ASSERT_TRUE(inverted);
    EXPECT_EQ(inverted->pixelAt(1, 0), (HXRGBAPixel { 155, 155, 155, 255 }));
    EXPECT_EQ(inverted->pixelAt(0, 0), (HXRGBAPixel { 255, 255, 255, 255 }));
    undo().undo();
    EXPECT_EQ(pane->valueForKey("maskImage"), greyMask);

    // The open panel: a cancelled one changes nothing, a chosen file becomes the mask.
    pane->openPanelDidEnd(0, { white });
    EXPECT_EQ(pane->valueForKey("maskImage"), greyMask);
    pane->openPanelDidEnd(1, { white, grey });
    EXPECT_NE(pane->valueForKey("maskImage"), greyMask);
    undo().undo();

    pane->clearMask();
    EXPECT_FALSE(MVTrackHasMask(*track));
    EXPECT_FALSE(pane->maskImage());
    undo().undo();
    EXPECT_EQ(pane->valueForKey("maskImage"), greyMask);
}

TEST(PicturePane, OfferedForVisualTracksOnly)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    MVPPicturePaneFactory factory;
    EXPECT_TRUE(factory.canInspectObject(MVPInspectedObject(m.movie->tracksOfMediaType(MVFourCC("vide")).at(0))));
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(m.movie->tracksOfMediaType(MVFourCC("soun")).at(0))));
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(m.movie)));
}
