// The artwork the build draws into the bundle: every image the controls ask for by name is there and
// readable, and every button's image set holds the states its button shows and nothing of another button.
#include "player/controls/button_image_set.h"

#include "platform/basekit/bundle.h"
#include "platform/drawing/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::shared_ptr<HXBundle> shippedBundle()
{
    return HXBundle::bundleWithPath(MOVARA_BUNDLE_DIR);
}

std::shared_ptr<HXImage> shippedImage(const std::string& name)
{
    auto bundle = shippedBundle();
    std::string path = bundle ? bundle->pathForResource(name, "png") : std::string();
    return path.empty() ? nullptr : HXImage::initWithContentsOfFile(path);
}

TEST(ShippedImages, EveryNamedImageIsThere)
{
    const char* names[] = {
        // Volume control.
        "VolumeBackground",
        "VolumeBackgroundMute",
        "VolumeThumbOff",
        "VolumeThumbOn",
        "VolumeThumbMute",
        "VolumeMeterMute",
        "VolumeMeter1",
        "VolumeMeter2",
        "VolumeMeter3",
        "FSVolumeBackground",
        "FSVolumeThumbOff",
        "FSVolumeThumbOn",
        // Time display, chapter pop-up, time-code field, level bars.
        "LCDBackgroundLeft",
        "LCDBackgroundCenter",
        "LCDBackgroundRight",
        "LCDChapterPopUpLeft",
        "LCDChapterPopUpCenter",
        "LCDChapterPopUpRight",
        "FSLCDChapterPopUp",
        "LCDTimeCodePopUpLeft",
        "LCDTimeCodePopUpCenter",
        "LCDTimeCodePopUpRight",
        "FSLCDTimeBackground",
        "LCDEqualizerOn",
        "LCDEqualizerOff",
        // Timeline.
        "LCDSliderLeft",
        "LCDSliderCenter",
        "LCDSliderRight",
        "FSLCDSliderLeft",
        "FSLCDSliderCenter",
        "FSLCDSliderRight",
        "LCDSliderProgressiveDownloadCenter",
        "LCDSliderProgressiveDownloadRight",
        "FSLCDSliderProgressiveDownloadCenter",
        "FSLCDSliderProgressiveDownloadRight",
        "LCDSliderSelectionFill",
        "LCDSliderSelectionTicks",
        "LCDSliderDragIndicator",
        "LCDSliderSelectionStartMarkerOn",
        "LCDSliderSelectionStartMarkerOff",
        "LCDSliderSelectionStartMarkerNoLineOn",
        "LCDSliderSelectionStartMarkerNoLineOff",
        "LCDSliderSelectionEndMarkerOn",
        "LCDSliderSelectionEndMarkerOff",
        "LCDSliderSelectionEndMarkerNoLineOn",
        "LCDSliderSelectionEndMarkerNoLineOff",
        "FSLCDSliderPlayHead",
        "LCDSliderPlayHeadOn",
        "LCDSliderPlayHeadOff",
        // Window and full-screen panel.
        "ResizeWindowThumb",
        "FSBase",
        // The display picker's mark on the chosen display.
        "smallMLogo",
        // Heads-up kit.
        "hud_buttonLeft-N",
        "hud_buttonRight-N",
        "hud_buttonFill-N",
        "hud_buttonLeft-P",
        "hud_buttonRight-P",
        "hud_buttonFill-P",
        "hud_slider-track",
        "hud_slider-knob",
        "hud_slider-knob-disabled",
        "hud_slider-track-disabled",
        "hud_slider-track_long",
        "hud_slider-track_long-disabled",
        "hud_titlebar-close",
        "hud_inspectortitlebar-close",
    };
    for (const char* name : names) {
        auto image = shippedImage(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_GT(image->size().width, 0) << name;
        EXPECT_GT(image->size().height, 0) << name;
    }
    // Pieces drawn side by side share their height.
    for (const char* bar :
        { "LCDBackground", "LCDChapterPopUp", "LCDTimeCodePopUp", "LCDSlider", "FSLCDSlider" }) {
        std::string b = bar;
        double h = shippedImage(b + "Left")->size().height;
        EXPECT_EQ(shippedImage(b + "Center")->size().height, h) << bar;
        EXPECT_EQ(shippedImage(b + "Right")->size().height, h) << bar;
    }
}

TEST(ShippedImages, FullScreenReadoutsFitTheirFieldsAndCarryDarkText)
{
    // Drawn at their own size into fields of a fixed size, under dark text: the time (white 0 at 0.8)
    // and the chapter title (the plain text colour) of the full-screen panel's time display.
    struct Case {
        const char* name;
        HXSize size;
    };
    const Case cases[] = {
        { "FSLCDChapterPopUp", { 78, 13 } },
        { "FSLCDTimeBackground", { 49, 13 } },
    };
    for (const auto& c : cases) {
        auto image = shippedImage(c.name);
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->size(), c.size) << c.name;
        auto rep = image->bitmapImageRep();
        ASSERT_NE(rep, nullptr) << c.name;
        auto middle = rep->colorAtX(int(rep->pixelsWide() / 3), int(rep->pixelsHigh() / 2));
        ASSERT_TRUE(middle) << c.name;
        double light = (middle->redComponent() + middle->greenComponent() + middle->blueComponent()) / 3;
        EXPECT_GT(light * middle->alphaComponent(), 0.5) << c.name << ": a light ground under the text";
    }
}

TEST(ShippedImages, ButtonSetsHoldTheirStatesOnly)
{
    auto bundle = shippedBundle();
    ASSERT_NE(bundle, nullptr);
    struct Set {
        const char* base;
        bool toggles;
    };
    const Set sets[] = {
        { "Beginning", false },
        { "Backward", false },
        { "Play", false },
        { "Pause", false },
        { "Forward", false },
        { "End", false },
        { "VRPrevious", false },
        { "VRZoomOut", false },
        { "VRZoomIn", false },
        { "VRHotspots", true },
        { "FSBeginning", false },
        { "FSBackward", false },
        { "FSPlay", false },
        { "FSPause", false },
        { "FSForward", false },
        { "FSEnd", false },
        { "FSVRPrevious", false },
        { "FSVRZoomOut", false },
        { "FSVRZoomIn", false },
        { "FSVRHotspots", true },
        { "FSExit", false },
        { "FSLetterboxIn", false },
        { "FSLetterboxOut", false },
        { "FSPillarboxIn", false },
        { "FSPillarboxOut", false },
        { "Record", false },
        { "Stop", false },
    };
    for (const auto& s : sets) {
        auto set = MVPButtonImageSet::imageSetFromResourceFolder(
            s.base, bundle->resourcePath(), MVPToolkitVersionNumber);
        // Enabled, pressed, disabled; inactive enabled and disabled; rollover.
        size_t perValue = 6;
        EXPECT_EQ(set->count(), s.toggles ? perValue * 2 + 3 : perValue) << s.base;
        for (int value : s.toggles ? std::vector<int> { 0, 1 } : std::vector<int> { 0 }) {
            EXPECT_NE(set->imageForValue(value, 0, true, false), nullptr) << s.base << " " << value;
            EXPECT_NE(set->imageForValue(value, 1, true, false), nullptr) << s.base << " " << value;
            EXPECT_NE(set->imageForValue(value, -1, true, false), nullptr) << s.base << " " << value;
            EXPECT_NE(set->imageForValue(value, 0, false, false), nullptr) << s.base << " " << value;
            EXPECT_NE(set->imageForValue(value, -1, false, false), nullptr) << s.base << " " << value;
            EXPECT_NE(set->imageForValue(value, 0, true, true), nullptr) << s.base << " " << value;
        }
        if (s.toggles) {
            EXPECT_NE(set->imageForValue(-1, 0, true, false), nullptr) << s.base;
        }
    }
}

TEST(ShippedImages, TheFiveTransportButtonsFitTheirBar)
{
    auto bundle = shippedBundle();
    ASSERT_NE(bundle, nullptr);
    const std::vector<std::vector<const char*>> rows = {
        { "Beginning", "Backward", "Play", "Forward", "End" },
        { "VRPrevious", "VRZoomOut", "Pause", "VRZoomIn", "VRHotspots" },
        { "FSBeginning", "FSBackward", "FSPause", "FSForward", "FSEnd" },
        { "FSVRPrevious", "FSVRZoomOut", "FSPlay", "FSVRZoomIn", "FSVRHotspots" },
    };
    for (const auto& row : rows) {
        double width = 0;
        for (const char* base : row) {
            // The button's size is the largest of its set's images.
            HXSize size;
            auto set = MVPButtonImageSet::imageSetFromResourceFolder(
                base, bundle->resourcePath(), MVPToolkitVersionNumber);
            for (const auto& image : set->imageEnumerator()) {
                size.width = std::max(size.width, image->size().width);
                size.height = std::max(size.height, image->size().height);
            }
            EXPECT_LE(size.height, 41) << base;
            width += size.width;
        }
        EXPECT_LE(width, 218) << row[0];
    }
}

} // namespace
