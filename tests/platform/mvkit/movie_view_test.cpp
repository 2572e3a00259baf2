// The movie view on the headless window server: geometry, drawing, the image hook, keys and edits.
#include "fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <functional>

#include <cstdlib>

using namespace movara::test;

namespace {

class MovieViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MOVARA_SILENT_AUDIO", "1", 1);
        HXRunLoop::main().setClock(clock);
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
    }
    void TearDown() override
    {
        view.reset();
        window.reset();
        MVMoviePasteboard::generalPasteboard().clear();
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }

    // A window whose content view is a movie view showing the fixture.
    void show(MovieFixture fixture, HXRect content = HXMakeRect(0, 0, 400, 200))
    {
        auto path = fixturePath(fixture);
        ASSERT_FALSE(path.empty());
        HXError error;
        movie = MVMovie::movieWithFile(path, &error);
        ASSERT_TRUE(movie) << error.localizedDescription();
        window = std::make_shared<HXWindow>(content, HXTitledWindowMask);
        view = std::make_shared<MVMovieView>(HXMakeRect(0, 0, content.size.width, content.size.height));
        window->setContentView(view);
        view->setUndoManager(&undo);
        view->setMovie(movie);
    }

    static HXEvent key(char32_t character, uint32_t modifiers = 0)
    {
        std::string text;
        if (character < 0x80) {
            text = std::string(1, char(character));
        } else { // the function keys' private-use code points
            text += char(0xE0 | (character >> 12));
            text += char(0x80 | ((character >> 6) & 0x3F));
            text += char(0x80 | (character & 0x3F));
        }
        return HXEvent::keyEvent(
            HXKeyDown, HXZeroPoint, modifiers, 0, 0, text, text, false, HXKeyCodeUnknown);
    }

    double seconds() const { return double(view->playback()->player().currentTime()) / movie->timeScale(); }

    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    HXUndoManager undo;
    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<MVMovieView> view;
};

} // namespace

TEST_F(MovieViewTest, MovieBoundsFitTheMovieAboveTheController)
{
    show(MovieFixture::H264AacMov); // 160×120 in a 400×200 view
    struct Case {
        bool preserve;
        bool controller;
        HXRect expected;
    };
    const Case cases[] = {
        { true, false, HXMakeRect(400.0 / 2 - 200.0 * 4 / 3 / 2, 0, 200.0 * 4 / 3, 200) },
        { false, false, HXMakeRect(0, 0, 400, 200) },
        { false, true, HXMakeRect(0, 16, 400, 184) },
        { true, true, HXMakeRect(200 - 184.0 * 4 / 3 / 2, 16, 184.0 * 4 / 3, 184) },
    };
    for (const auto& c : cases) {
        view->setPreservesAspectRatio(c.preserve);
        view->setControllerVisible(c.controller);
        HXRect r = view->movieBounds();
        EXPECT_NEAR(r.origin.x, c.expected.origin.x, 1e-9);
        EXPECT_NEAR(r.origin.y, c.expected.origin.y, 1e-9);
        EXPECT_NEAR(r.size.width, c.expected.size.width, 1e-9);
        EXPECT_NEAR(r.size.height, c.expected.size.height, 1e-9);
    }
}

TEST_F(MovieViewTest, DrawsThePictureInsideTheFillAndTheHookCanReplaceIt)
{
    show(MovieFixture::H264AacMov);
    view->setFillColor(HXColor::colorWithDeviceRed(1, 0, 0));
    window->display();
    EXPECT_EQ(window->renderedPixelRGBA(5, 100), 0xFF0000FFu); // letterbox: the fill colour
    EXPECT_NE(window->renderedPixelRGBA(200, 100), 0xFF0000FFu); // the picture
    EXPECT_EQ(window->renderedPixelRGBA(200, 100) & 0xFF, 0xFFu); // opaque

    // A picture adjustment shows at once on the picture that stands still, in the window's video layer
    // converted at the size shown as well.
    struct Adjustment {
        std::function<void(MVMovie&, float)> set;
        float value, neutral;
    };
    const Adjustment adjustments[] = {
        { &MVMovie::setVisualBrightness, 0.5f, 0 },
        { &MVMovie::setVisualContrast, 0.3f, 1 },
        { &MVMovie::setVisualSaturation, 0, 1 },
        { &MVMovie::setVisualHue, 180, 0 },
    };
    const HXVideoLayerSupport converted { false, false };
    auto layerPixels = [&] {
        auto layer = view->videoLayer(converted);
        if (!layer || !layer->picture.isValid())
            return std::string();
        const auto& p = layer->picture;
        return std::string(
            reinterpret_cast<const char*>(p.planes[0]), size_t(p.strides[0]) * size_t(p.height));
    };
    const std::string plain = layerPixels();
    ASSERT_FALSE(plain.empty());
    for (const auto& a : adjustments) {
        a.set(*movie, a.value);
        EXPECT_NE(layerPixels(), plain) << a.value;
        a.set(*movie, a.neutral);
        EXPECT_EQ(layerPixels(), plain) << a.value;
    }

    int calls = 0;
    view->willDisplayImage = [&](MVMovieView&, const std::shared_ptr<HXImage>& image) {
        ++calls;
        auto green = HXImage::initWithSize(image->size());
        green->drawInto([&] {
            HXColor::colorWithDeviceRed(0, 1, 0).setFill();
            HXRectFill(HXMakeRect(0, 0, image->size().width, image->size().height));
        });
        return green;
    };
    view->setNeedsDisplay(true);
    window->display();
    EXPECT_GE(calls, 1);
    EXPECT_EQ(window->renderedPixelRGBA(200, 100), 0x00FF00FFu);
    EXPECT_EQ(window->renderedPixelRGBA(5, 100), 0xFF0000FFu);

    // Frame images at the movie's size.
    auto poster = view->frameImageAtTime(MVMakeTime(1, 1));
    ASSERT_TRUE(poster);
    EXPECT_EQ(poster->size().width, 160);
    EXPECT_EQ(poster->size().height, 120);
}

TEST_F(MovieViewTest, UsualKeysAndKeysLeftToOthers)
{
    show(MovieFixture::H264AacMov); // 25 pictures a second
    struct Case {
        const char* name;
        HXEvent event;
        bool handled;
        double seconds; // afterwards; −1: not checked
    };
    const Case cases[] = {
        { "right steps", key(HXRightArrowFunctionKey), true, 0.04 },
        { "right again", key(HXRightArrowFunctionKey), true, 0.08 },
        { "left steps back", key(HXLeftArrowFunctionKey), true, 0.04 },
        { "option right: end", key(HXRightArrowFunctionKey, HXAlternateKeyMask), true, 3.0 },
        { "home", key(HXHomeFunctionKey), true, 0 },
        { "end", key(HXEndFunctionKey), true, 3.0 },
        { "option left: beginning", key(HXLeftArrowFunctionKey, HXAlternateKeyMask), true, 0 },
        { "i", key('i'), false, 0 },
        { "o", key('o'), false, 0 },
        { "j", key('j'), false, 0 },
        { "k", key('k'), false, 0 },
        { "l", key('l'), false, 0 },
        { "delete", key(0x7F), false, 0 },
        { "command space", key(' ', HXCommandKeyMask), false, 0 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(view->handleKeyDown(c.event), c.handled) << c.name;
        EXPECT_NEAR(seconds(), c.seconds, 0.002) << c.name;
    }
    movie->setVolume(0.5f);
    EXPECT_TRUE(view->handleKeyDown(key(HXUpArrowFunctionKey)));
    EXPECT_FLOAT_EQ(movie->volume(), 0.6f);
    EXPECT_TRUE(view->handleKeyDown(key(HXDownArrowFunctionKey)));
    EXPECT_TRUE(view->handleKeyDown(key(HXDownArrowFunctionKey)));
    EXPECT_FLOAT_EQ(movie->volume(), 0.4f);

    EXPECT_TRUE(view->handleKeyDown(key(' ')));
    EXPECT_TRUE(view->playback()->isPlaying());
    clock->advance(0.5);
    EXPECT_NEAR(seconds(), 0.5, 0.03);
    EXPECT_TRUE(view->handleKeyDown(key(' ')));
    EXPECT_FALSE(view->playback()->isPlaying());
}

TEST_F(MovieViewTest, EditActionsAreUndoable)
{
    show(MovieFixture::H264AacMov);
    const int64_t whole = movie->durationValue();
    const int32_t scale = movie->timeScale();
    HXMenuItem cutItem("Cut", "cut:", "x"), pasteItem("Paste", "paste:", "v");
    EXPECT_FALSE(view->validateUserInterfaceItem(cutItem)); // nothing selected
    EXPECT_FALSE(view->validateUserInterfaceItem(pasteItem)); // nothing to paste

    movie->setSelection({ MVMakeTime(0, scale), MVMakeTime(scale, scale) });
    EXPECT_TRUE(view->validateUserInterfaceItem(cutItem));
    EXPECT_TRUE(view->performAction("cut:", nullptr));
    EXPECT_EQ(movie->durationValue(), whole - scale);
    EXPECT_TRUE(view->validateUserInterfaceItem(pasteItem));
    movie->setSelection({ MVMakeTime(movie->durationValue(), scale), MVMakeTime(0, scale) });
    view->paste();
    EXPECT_EQ(movie->durationValue(), whole);
    // The pasted second shows at the end now: the picture at 2.5 s is what was at 0.5 s.
    EXPECT_TRUE(view->frameImageAtTime(MVMakeTime(5, 2)));

    undo.undo(); // the paste
    EXPECT_EQ(movie->durationValue(), whole - scale);
    undo.undo(); // the cut
    EXPECT_EQ(movie->durationValue(), whole);

    // Restoring an edit state is undoable too.
    auto before = movie->newEditState();
    view->selectAll();
    EXPECT_TRUE(MVTimeEqual(movie->selection().duration, movie->duration()));
    movie->setSelection({ MVMakeTime(scale, scale), MVMakeTime(scale, scale) });
    view->trim();
    EXPECT_EQ(movie->durationValue(), scale);
    view->restoreMovieEditState(before);
    EXPECT_EQ(movie->durationValue(), whole);
    undo.undo();
    EXPECT_EQ(movie->durationValue(), scale);

    view->setEditable(false);
    view->selectAll();
    view->delete_();
    EXPECT_EQ(movie->durationValue(), scale);
}

TEST_F(MovieViewTest, SubtitlesAreDrawnOverThePicture)
{
    show(MovieFixture::SubtitleMov); // "Hello" from 0.5 s to 1.5 s
    const int32_t scale = movie->timeScale();
    movie->setCurrentTime(MVMakeTime(scale * 6 / 10, scale));
    ASSERT_EQ(view->playback()->player().presentedTexts().at(0).text, "Hello");
    window->display();
    // The band behind the text is near the bottom of the picture; sample a few points across it.
    auto sample = [&] {
        std::vector<uint32_t> pixels;
        for (int x = 180; x <= 220; x += 10)
            pixels.push_back(window->renderedPixelRGBA(x, 184));
        return pixels;
    };
    auto with = sample();
    // The same picture without the text track.
    for (const auto& track : movie->tracks())
        if (track->mediaType() == MVFourCC("sbtl") || track->mediaType() == MVFourCC("text"))
            track->setEnabled(false);
    view->playback()->reloadTracks();
    EXPECT_TRUE(view->playback()->player().presentedTexts().empty());
    view->setNeedsDisplay(true);
    window->display();
    EXPECT_NE(sample(), with);
}
