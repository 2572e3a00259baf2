#include "player/window/movie_window_controller_resizing.h"

#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <vector>

inline std::ostream& operator<<(std::ostream& os, const HXRect& r)
{
    return os << HXStringFromRect(r);
}
inline std::ostream& operator<<(std::ostream& os, const HXSize& s)
{
    return os << HXStringFromSize(s);
}

namespace {

// A player window on a 1440 × 900 screen whose visible frame leaves out a 24-point panel at the top. The
// window has a 22-point title bar; the movie has a 1-point bevel above it and, below it, a 5-point bevel
// edge and a 42-point controls strip.
class FakeWindowController : public MVPMovieWindowControllerResizing {
public:
    HXRect frame = HXMakeRect(100, 200, 700, 600);
    HXRect visible = HXMakeRect(0, 0, 1440, 876);
    HXSize natural = HXMakeSize(640, 480);
    HXSize user = HXMakeSize(640, 480);
    uint32_t modifiers = 0;
    bool detached = false;
    bool visualContext = false;
    std::optional<bool> preservesAspect;
    int frameChanges = 0;
    bool lastAnimate = false;
    int bevelLayouts = 0;

    bool isMovieViewDetached() const override { return detached; }
    MVPMovieWindowMargins margins() const override { return { 0, 1, 0, 47 }; }
    HXSize minimumWindowContentSize() const override { return { 350, 42 }; }
    HXSize movieSize() const override
    {
        HXRect content = windowContentRectForFrameRect(frame);
        return { content.size.width, content.size.height - 48 };
    }

protected:
    HXRect windowFrame() const override { return frame; }
    void setWindowFrame(const HXRect& f, bool display, bool animate) override
    {
        EXPECT_TRUE(display);
        frame = f;
        lastAnimate = animate;
        ++frameChanges;
    }
    HXRect windowFrameRectForContentRect(const HXRect& r) const override
    {
        return HXMakeRect(r.origin.x, r.origin.y, r.size.width, r.size.height + 22);
    }
    HXRect windowContentRectForFrameRect(const HXRect& r) const override
    {
        return HXMakeRect(r.origin.x, r.origin.y, r.size.width, r.size.height - 22);
    }
    HXRect visibleScreenFrame() const override { return visible; }
    uint32_t currentModifierFlags() const override { return modifiers; }
    HXSize naturalSize() const override { return natural; }
    HXSize userSize() const override { return user; }
    void setUserSize(const HXSize& size) override { user = size; }
    void setPreservesAspectRatio(bool preserves) override { preservesAspect = preserves; }
    bool usesVisualContext() const override { return visualContext; }
    void layoutBevelAboveControlsStrip() override { ++bevelLayouts; }
};

void expectRectNear(const HXRect& actual, const HXRect& expected, const char* what)
{
    const double eps = 0.01;
    EXPECT_NEAR(actual.origin.x, expected.origin.x, eps) << what << ": " << actual;
    EXPECT_NEAR(actual.origin.y, expected.origin.y, eps) << what << ": " << actual;
    EXPECT_NEAR(actual.size.width, expected.size.width, eps) << what << ": " << actual;
    EXPECT_NEAR(actual.size.height, expected.size.height, eps) << what << ": " << actual;
}

TEST(MovieWindowResizing, MovieRectangleToWindowFrame)
{
    FakeWindowController c;
    const struct {
        const char* what;
        HXRect movie;
        HXRect frame;
    } cases[] = {
        { "wide movie", HXMakeRect(100, 200, 640, 480), HXMakeRect(100, 153, 640, 550) },
        // Narrower than 350: a 350-wide content area with the movie centred in it.
        { "narrow movie", HXMakeRect(100, 200, 200, 150), HXMakeRect(25, 153, 350, 220) },
        { "exactly the narrowest", HXMakeRect(0, 0, 350, 100), HXMakeRect(0, -47, 350, 170) },
    };
    for (const auto& t : cases)
        EXPECT_EQ(c.windowFrameForMovieViewScreenFrame(t.movie), t.frame) << t.what;
}

TEST(MovieWindowResizing, SetMovieSizePlacesAndClampsTheWindow)
{
    // The current window is (100, 200, 700, 600): its top edge at 800.
    const struct {
        const char* what;
        HXSize size;
        int mode;
        HXRect frame;
    } cases[] = {
        { "mode 0 keeps the top-left corner", { 320, 240 }, 0, HXMakeRect(100, 490, 350, 310) },
        { "mode 1 keeps the top edge and the centre", { 320, 240 }, 1, HXMakeRect(275, 490, 350, 310) },
        { "other modes start from the origin", { 320, 240 }, 2, HXMakeRect(0, 0, 350, 310) },
        { "an odd width is centred to the half point", { 641, 480 }, 1, HXMakeRect(129.5, 250, 641, 550) },
        // Larger than the screen: the left edge and the top edge stay on it.
        { "wider and taller than the screen", { 2000, 1000 }, 0, HXMakeRect(0, -194, 2000, 1070) },
        { "taller than the screen", { 640, 1000 }, 0, HXMakeRect(100, -194, 640, 1070) },
        { "pushed back from the right edge", { 1400, 400 }, 0, HXMakeRect(40, 330, 1400, 470) },
    };
    for (const auto& t : cases) {
        FakeWindowController c;
        c.setMovieSize(t.size, t.mode, false);
        EXPECT_EQ(c.frame, t.frame) << t.what;
        EXPECT_EQ(c.frameChanges, 1) << t.what;
    }
}

TEST(MovieWindowResizing, AspectLockFollowsTheProportionsWithinTwoPoints)
{
    const struct {
        HXSize natural;
        HXSize size;
        bool locked;
    } cases[] = {
        { { 640, 480 }, { 320, 240 }, true },
        { { 640, 480 }, { 321, 240 }, true }, // 1 point off in width, 0.75 in height
        { { 640, 480 }, { 322, 240 }, false }, // exactly 2 points off: stretched
        { { 640, 480 }, { 640, 240 }, false },
        { { 0, 0 }, { 640, 480 }, false },
        { { 640, 0 }, { 640, 480 }, false },
    };
    for (const auto& t : cases) {
        FakeWindowController c;
        c.natural = t.natural;
        c.setMovieSize(t.size, 0, false);
        ASSERT_TRUE(c.preservesAspect.has_value());
        EXPECT_EQ(*c.preservesAspect, t.locked)
            << HXStringFromSize(t.natural) << " at " << HXStringFromSize(t.size);
    }
}

TEST(MovieWindowResizing, SetMovieSizeThatChangesNothingStillRecordsTheUserSize)
{
    FakeWindowController c;
    c.frame = HXMakeRect(100, 250, 640, 550); // already the frame for 640 × 480, top at 800
    c.user = HXMakeSize(320, 240);
    c.setMovieSize({ 640, 480 }, 0, false);
    EXPECT_EQ(c.frameChanges, 0);
    EXPECT_EQ(c.user, HXMakeSize(640, 480));
}

TEST(MovieWindowResizing, SoundOnlyMoviesKeepTheLowestWindow)
{
    FakeWindowController c;
    c.natural = HXMakeSize(0, 0);
    c.setMovieSize({ 640, 480 }, 0, false);
    // The current window is wider than the narrowest one: its width stays, the height is the minimum.
    EXPECT_EQ(c.frame, HXMakeRect(100, 736, 700, 64));

    FakeWindowController narrow;
    narrow.natural = HXMakeSize(0, 0);
    narrow.frame = HXMakeRect(100, 200, 350, 64);
    narrow.setMovieSize({ 640, 480 }, 2, false);
    // Not wider than the minimum: the minimum frame, where mode 2 leaves it (at the origin).
    EXPECT_EQ(narrow.frame, HXMakeRect(0, 0, 350, 64));
    EXPECT_EQ(narrow.preservesAspect, false);
}

TEST(MovieWindowResizing, DetachedMovieViewLeavesTheWindowAlone)
{
    FakeWindowController c;
    c.detached = true;
    c.setMovieSize({ 320, 240 }, 0, true);
    c.windowDidResize();
    EXPECT_EQ(c.frameChanges, 0);
    EXPECT_EQ(c.bevelLayouts, 0);
    EXPECT_EQ(c.windowWillResize({ 123, 456 }), HXMakeSize(123, 456));
}

TEST(MovieWindowResizing, OptionSnapsToTheScaleTable)
{
    const struct {
        float scale;
        float snapped;
    } cases[] = {
        { 0.9f, 1 },
        { 0.87f, 0.75f },
        { 7.0f, 8 },
        { 20, 8 },
        { 0.1f, 0.125f },
        { 0, 0.125f },
        // Exactly at a midpoint: the larger entry.
        { 0.875f, 1 },
        { 0.1875f, 0.25f },
        { 5, 6 },
        { 1.25f, 1.5f },
        { 1.2499f, 1 },
        { 2.49f, 2 },
        { 2.5f, 3 },
    };
    for (const auto& t : cases)
        EXPECT_EQ(MVPSnappedMagicScale(t.scale), t.snapped) << t.scale;
}

TEST(MovieWindowResizing, LiveResize)
{
    const struct {
        const char* what;
        HXSize natural;
        uint32_t modifiers;
        HXSize proposed;
        HXSize answer;
        std::optional<bool> locked;
    } cases[] = {
        // Content 700 × 578, movie room 700 × 530: the width decides (scale 1.09375).
        { "aspect locked", { 640, 480 }, 0, { 700, 600 }, { 700, 595 }, true },
        { "shift frees the proportions", { 640, 480 }, HXShiftKeyMask, { 700, 600 }, { 700, 600 }, false },
        // Scale 0.9 snaps to 1: the natural size.
        { "option snaps", { 640, 480 }, HXAlternateKeyMask, { 576, 2000 }, { 640, 550 }, true },
        { "option snaps down", { 640, 480 }, HXAlternateKeyMask, { 550, 2000 }, { 480, 430 }, true },
        // Scale 0.875, the midpoint between 0.75 and 1: the larger.
        { "option at a midpoint", { 640, 480 }, HXAlternateKeyMask, { 560, 2000 }, { 640, 550 }, true },
        { "shift and option: free", { 640, 480 }, HXShiftKeyMask | HXAlternateKeyMask, { 576, 2000 },
            { 576, 2000 }, false },
        // A tiny drag: at least 16 points of movie each way, the window never narrower than 350.
        { "tiny", { 640, 480 }, 0, { 10, 10 }, { 350, 82 }, true },
        { "tiny and free", { 640, 480 }, HXShiftKeyMask, { 10, 10 }, { 350, 86 }, false },
        // Without picture only the width follows, never below the minimum.
        { "sound only, narrow", { 0, 0 }, 0, { 200, 500 }, { 350, 64 }, std::nullopt },
        { "sound only, wide", { 0, 0 }, HXShiftKeyMask, { 800, 500 }, { 800, 64 }, std::nullopt },
    };
    for (const auto& t : cases) {
        FakeWindowController c;
        c.natural = t.natural;
        c.modifiers = t.modifiers;
        HXSize answer = c.windowWillResize(t.proposed);
        EXPECT_NEAR(answer.width, t.answer.width, 0.01) << t.what << ": " << answer;
        EXPECT_NEAR(answer.height, t.answer.height, 0.01) << t.what << ": " << answer;
        EXPECT_EQ(c.preservesAspect, t.locked) << t.what;
    }
}

TEST(MovieWindowResizing, AfterResizeTheMovieSizeBecomesTheUserSize)
{
    FakeWindowController c;
    c.frame = HXMakeRect(0, 0, 800, 670);
    c.windowDidResize();
    EXPECT_EQ(c.bevelLayouts, 1);
    EXPECT_EQ(c.user, HXMakeSize(800, 600));
    EXPECT_EQ(MVPBevelFrameAboveControlsStrip(HXMakeRect(0, 0, 800, 42), HXMakeRect(0, 0, 800, 648)),
        HXMakeRect(0, 42, 800, 606));
}

TEST(MovieWindowResizing, ZoomTogglesBetweenNaturalSizeAndTheUserFrame)
{
    FakeWindowController c;
    c.frame = HXMakeRect(100, 50, 900, 800);
    c.zoom(); // not at natural size: remembers the frame and goes to the natural size, top-left kept
    EXPECT_EQ(c.frame, HXMakeRect(100, 300, 640, 550));
    EXPECT_EQ(c.userFrame(), HXMakeRect(100, 50, 900, 800));
    c.zoom(); // at natural size with a stored frame: back to it
    EXPECT_EQ(c.frame, HXMakeRect(100, 50, 900, 800));
    EXPECT_EQ(c.userFrame(), HXZeroRect);
    c.zoom();
    EXPECT_EQ(c.frame, HXMakeRect(100, 300, 640, 550));

    // Within 5 points of the natural size counts as natural size; 5 or more does not.
    FakeWindowController near;
    near.frame = HXMakeRect(100, 50, 900, 800);
    near.zoom();
    near.frame = HXMakeRect(100, 300, 644, 554);
    near.zoom();
    EXPECT_EQ(near.frame, HXMakeRect(100, 50, 900, 800));

    FakeWindowController far;
    far.frame = HXMakeRect(100, 50, 900, 800);
    far.zoom();
    far.frame = HXMakeRect(100, 300, 645, 550); // resized by hand since: the stored frame is forgotten
    far.zoom();
    EXPECT_EQ(far.frame, HXMakeRect(100, 300, 640, 550));
    EXPECT_EQ(far.userFrame(), HXMakeRect(100, 300, 645, 550));
}

TEST(MovieWindowResizing, ZoomAnimatesOnlyWithAVisualContext)
{
    for (bool visual : { false, true }) {
        FakeWindowController c;
        c.visualContext = visual;
        c.zoom();
        EXPECT_EQ(c.lastAnimate, visual);
        c.zoomWindow(false);
        EXPECT_EQ(c.lastAnimate, visual);
    }
}

TEST(MovieWindowResizing, ZoomOfASoundOnlyMovieKeepsTheOrigin)
{
    FakeWindowController c;
    c.natural = HXMakeSize(0, 0);
    c.frame = HXMakeRect(30, 40, 900, 64);
    c.zoom();
    EXPECT_EQ(c.frame, HXMakeRect(30, 40, 350, 64));
    c.zoom();
    EXPECT_EQ(c.frame, HXMakeRect(30, 40, 900, 64));
}

TEST(MovieWindowResizing, FitToScreen)
{
    // The visible frame's content area is 1440 × 854.
    const struct {
        const char* what;
        HXSize natural;
        uint32_t modifiers;
        HXRect fitted;
    } cases[] = {
        // 4:3 on a wide screen: the height decides.
        { "height decides", { 640, 480 }, 0, HXMakeRect(182.6667, 0, 1074.6667, 876) },
        // 2.4:1: the width decides, centred vertically.
        { "width decides", { 1920, 800 }, 0, HXMakeRect(0, 103, 1440, 670) },
        // Caps Lock: only the top margin counts, the controls strip may go below the screen.
        { "caps lock", { 640, 480 }, HXAlphaShiftKeyMask, HXMakeRect(151.3333, -47, 1137.3333, 923) },
        // Tiny pictures still get the narrowest window.
        { "very tall", { 10, 1000 }, 0, HXMakeRect(545, 0, 350, 876) },
    };
    for (const auto& t : cases) {
        FakeWindowController c;
        c.natural = t.natural;
        c.modifiers = t.modifiers;
        c.zoomWindow(false);
        expectRectNear(c.frame, t.fitted, t.what);
    }

    // Without picture: the full width, the lowest height, the top edge kept.
    FakeWindowController sound;
    sound.natural = HXMakeSize(0, 0);
    sound.frame = HXMakeRect(300, 500, 400, 64);
    sound.zoomWindow(false);
    EXPECT_EQ(sound.frame, HXMakeRect(0, 500, 1440, 64));
    sound.frame = HXMakeRect(300, 860, 400, 64); // reaching above the screen: the top comes down to it
    sound.zoomWindow(false);
    EXPECT_EQ(sound.frame, HXMakeRect(0, 812, 1440, 64));
}

TEST(MovieWindowResizing, FitToScreenTogglesBack)
{
    FakeWindowController c;
    c.natural = HXMakeSize(1920, 800);
    HXRect first = c.frame;
    c.zoomWindow(true);
    HXRect fitted = c.frame;
    EXPECT_EQ(fitted, HXMakeRect(0, 103, 1440, 670));
    c.zoomWindow(true);
    EXPECT_EQ(c.frame, first);

    // Moved by less than 35 points since the fit: still counts as fitted.
    c.zoomWindow(true);
    c.frame = HXOffsetRect(fitted, 34, -34);
    c.zoomWindow(true);
    EXPECT_EQ(c.frame, first);

    // Moved by 35: it fits again, and the moved frame becomes the one to return to.
    c.zoomWindow(true);
    HXRect moved = HXOffsetRect(fitted, 35, 0);
    c.frame = moved;
    c.zoomWindow(true);
    EXPECT_EQ(c.frame, fitted);
    c.zoomWindow(true);
    EXPECT_EQ(c.frame, moved);
}

TEST(MovieWindowResizing, BestRectWithAspectRatio)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        HXRect bounds;
        HXSize aspect;
        HXRect result;
    } cases[] = {
        { HXMakeRect(0, 0, 400, 400), { 16, 9 }, HXMakeRect(0, 87.5, 400, 225) },
        { HXMakeRect(0, 0, 400, 400), { 9, 16 }, HXMakeRect(87.5, 0, 225, 400) },
        { HXMakeRect(10, 20, 300, 200), { 3, 2 }, HXMakeRect(10, 20, 300, 200) },
        { HXMakeRect(10, 20, 300, 100), { 1, 1 }, HXMakeRect(110, 20, 100, 100) },
        // No proportions: the bounds, never a rectangle of NaN.
        { HXMakeRect(10, 20, 300, 100), { 0, 9 }, HXMakeRect(10, 20, 300, 100) },
        { HXMakeRect(10, 20, 300, 100), { 16, 0 }, HXMakeRect(10, 20, 300, 100) },
        { HXMakeRect(10, 20, 300, 100), { nan, 9 }, HXMakeRect(10, 20, 300, 100) },
        { HXMakeRect(10, 20, 300, 100), { -16, 9 }, HXMakeRect(10, 20, 300, 100) },
    };
    for (const auto& t : cases)
        EXPECT_EQ(MVPBestRectWithAspectRatio(t.bounds, t.aspect), t.result)
            << HXStringFromRect(t.bounds) << " " << HXStringFromSize(t.aspect);
}

TEST(MovieWindowResizing, EqualRectsWithinDeltaIsStrict)
{
    const HXRect a = HXMakeRect(0, 0, 100, 100);
    const struct {
        HXRect b;
        bool equal;
    } cases[] = {
        { HXMakeRect(4.9, 0, 100, 100), true },
        { HXMakeRect(5, 0, 100, 100), false },
        { HXMakeRect(0, 0, 104, 100), true },
        { HXMakeRect(0, 0, 100, 95), false }, // the top edge is 5 away
        { HXMakeRect(-4, -4, 108, 108), true },
    };
    for (const auto& t : cases)
        EXPECT_EQ(MVPEqualRectsWithinDelta(a, t.b, 5), t.equal) << t.b;
}

// The same rules on a real (headless) window: its own frame and content mapping, its screen, and the
// modifier keys held.
class WindowBackedController : public MVPMovieWindowControllerResizing {
public:
    std::shared_ptr<HXWindow> window;
    HXSize natural = HXMakeSize(640, 480);
    HXSize user;
    std::optional<bool> preservesAspect;

    bool isMovieViewDetached() const override { return false; }
    MVPMovieWindowMargins margins() const override { return { 0, 1, 0, 47 }; }
    HXSize minimumWindowContentSize() const override { return { 350, 42 }; }
    HXSize movieSize() const override { return {}; }

protected:
    std::shared_ptr<HXWindow> resizedWindow() const override { return window; }
    HXSize naturalSize() const override { return natural; }
    HXSize userSize() const override { return user; }
    void setUserSize(const HXSize& size) override { user = size; }
    void setPreservesAspectRatio(bool preserves) override { preservesAspect = preserves; }
    bool usesVisualContext() const override { return false; }
    void layoutBevelAboveControlsStrip() override { }
};

TEST(MovieWindowResizing, SizesARealWindowOnItsScreen)
{
    // One 1440 × 900 screen whose visible frame leaves out a panel at the top.
    auto server = HXHeadlessWindowServer::install();
    HXRect visible = HXScreen::screens().at(0).visibleFrame();
    WindowBackedController c;
    c.window = std::make_shared<HXWindow>(
        HXMakeRect(100, 200, 700, 548), HXTitledWindowMask | HXResizableWindowMask);
    HXRect before = c.window->frame();

    c.setMovieSize({ 320, 240 }, 0, false);
    HXSize expected = c.window->frameRectForContentRect(HXMakeRect(0, 0, 350, 288)).size;
    EXPECT_EQ(c.window->frame(),
        HXMakeRect(before.origin.x, HXMaxY(before) - expected.height, expected.width, expected.height));
    EXPECT_EQ(c.window->contentRectForFrameRect(c.window->frame()).size, HXMakeSize(350, 288));

    // Larger than the screen: the left and top edges stay on it.
    c.setMovieSize({ 2000, 1000 }, 0, false);
    EXPECT_EQ(HXMinX(c.window->frame()), HXMinX(visible));
    EXPECT_EQ(HXMaxY(c.window->frame()), HXMaxY(visible));

    // Shift held (no event being handled: the keys held now) frees the proportions.
    server->setModifierFlags(HXShiftKeyMask);
    c.windowWillResize({ 700, 600 });
    EXPECT_EQ(c.preservesAspect, false);
    server->setModifierFlags(0);
    c.windowWillResize({ 700, 600 });
    EXPECT_EQ(c.preservesAspect, true);

    c.window.reset();
    HXApplication::setSharedApplication(nullptr);
}

} // namespace
