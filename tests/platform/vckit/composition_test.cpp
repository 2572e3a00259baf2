// Compositions: reading the property list (and refusing broken ones), the animated values, the drawn
// pixels, and the view that plays a composition on the run loop's clock.
#include "platform/vckit/composition.h"
#include "platform/vckit/view.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cairo.h>

namespace {

// A red canvas with a blue square that slides right by 50 over one second.
const char* kComposition = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>name</key><string>Slide</string>
  <key>copyright</key><string>Movara</string>
  <key>size</key><array><integer>100</integer><integer>50</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>1</real><real>0</real><real>0</real></array></dict>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0</real><real>0</real><real>1</real></array>
      <key>frame</key><array><integer>0</integer><integer>0</integer><integer>20</integer><integer>20</integer></array>
      <key>animations</key><array><dict><key>property</key><string>x</string><key>from</key><integer>0</integer>
        <key>to</key><integer>50</integer><key>duration</key><integer>1</integer></dict></array></dict>
    <dict><key>type</key><string>gradient</string><key>colors</key><array>
      <array><real>0</real><real>0</real><real>0</real></array><array><real>1</real><real>1</real><real>1</real></array></array>
      <key>frame</key><array><integer>0</integer><integer>40</integer><integer>100</integer><integer>10</integer></array></dict>
    <dict><key>type</key><string>text</string><key>text</key><string>Hi</string><key>color</key>
      <array><real>1</real><real>1</real><real>1</real></array><key>fontSize</key><integer>8</integer></dict>
  </array>
</dict></plist>)";

std::string withLayers(const std::string& layers,
    const std::string& size = "<array><integer>10</integer><integer>10</integer></array>")
{
    return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>size</key>)" + size
        + "<key>layers</key><array>" + layers + "</array></dict></plist>";
}

uint32_t pixelAt(cairo_surface_t* s, int x, int y)
{
    cairo_surface_flush(s);
    auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<uint32_t*>(row)[x] & 0xFFFFFF;
}

TEST(Composition, ReadsLayersAndAttributes)
{
    HXError error;
    auto c = VCComposition::compositionWithData(kComposition, {}, &error);
    ASSERT_TRUE(c) << error.localizedDescription();
    EXPECT_EQ(c->canvasSize(), (HXSize { 100, 50 }));
    ASSERT_EQ(c->layers().size(), 4u);
    EXPECT_EQ(c->layers()[1].type, VCLayer::Type::Color);
    EXPECT_EQ(c->layers()[1].frame, HXMakeRect(0, 0, 20, 20));
    EXPECT_EQ(c->layers()[3].text, "Hi");
    EXPECT_EQ(c->attributes().at(VCCompositionAttributeNameKey).stringValue(), "Slide");
    EXPECT_EQ(c->attributes().at(VCCompositionAttributeCopyrightKey).stringValue(), "Movara");
    EXPECT_FALSE(c->attributes().count(VCCompositionAttributeDescriptionKey));
}

TEST(Composition, RefusesBrokenFiles)
{
    const std::string color = "<key>color</key><array><real>1</real><real>0</real><real>0</real></array>";
    struct Case {
        const char* what;
        std::string data;
    };
    const Case cases[] = {
        { "not a property list", "hello" },
        { "truncated", std::string(kComposition).substr(0, 300) },
        { "no size",
            R"(<?xml version="1.0"?><plist version="1.0"><dict><key>layers</key><array/></dict></plist>)" },
        { "zero width", withLayers("", "<array><integer>0</integer><integer>10</integer></array>") },
        { "huge canvas", withLayers("", "<array><integer>100000</integer><integer>10</integer></array>") },
        { "unknown layer type", withLayers("<dict><key>type</key><string>video</string></dict>") },
        { "colour out of range",
            withLayers("<dict><key>type</key><string>color</string><key>color</key><array><real>2</"
                       "real><real>0</real><real>0</real></array></dict>") },
        { "colour with two parts",
            withLayers("<dict><key>type</key><string>color</string><key>color</key><array><real>1</"
                       "real><real>0</real></array></dict>") },
        { "negative frame",
            withLayers("<dict><key>type</key><string>color</string>" + color
                + "<key>frame</key><array><integer>0</integer><integer>0</integer><integer>-1</"
                  "integer><integer>5</integer></array></dict>") },
        { "gradient with one colour",
            withLayers("<dict><key>type</key><string>gradient</string><key>colors</key><array>"
                + std::string("<array><real>1</real><real>0</real><real>0</real></array>")
                + "</array></dict>") },
        { "text without text", withLayers("<dict><key>type</key><string>text</string>" + color + "</dict>") },
        { "image without image", withLayers("<dict><key>type</key><string>image</string></dict>") },
        { "zero-length animation",
            withLayers("<dict><key>type</key><string>color</string>" + color
                + "<key>animations</key><array><dict><key>property</key><string>x</string><key>from</"
                  "key><integer>0</integer><key>to</key><integer>1</integer><key>duration</key><integer>0</"
                  "integer></dict></array></dict>") },
        { "unknown animated property",
            withLayers("<dict><key>type</key><string>color</string>" + color
                + "<key>animations</key><array><dict><key>property</key><string>hue</string><key>from</"
                  "key><integer>0</integer><key>to</key><integer>1</integer><key>duration</key><integer>1</"
                  "integer></dict></array></dict>") },
    };
    for (const auto& c : cases) {
        HXError error;
        EXPECT_FALSE(VCComposition::compositionWithData(c.data, {}, &error)) << c.what;
        EXPECT_EQ(error.domain(), VCCompositionErrorDomain) << c.what;
    }
    HXError error;
    EXPECT_FALSE(VCComposition::compositionWithFile("/nonexistent/x.vcomp", &error));
    EXPECT_EQ(error.code(), VCCompositionReadError);
}

TEST(Composition, AnimatedValues)
{
    struct Case {
        bool repeats, autoreverses;
        double time, expected;
    };
    // From 10 to 20 over 2 seconds, starting at 1 second.
    const Case cases[] = {
        { false, false, 0, 10 },
        { false, false, 1, 10 },
        { false, false, 2, 15 },
        { false, false, 3, 20 },
        { false, false, 9, 20 },
        { true, false, 4, 15 },
        { false, true, 4, 15 },
        { false, true, 5, 10 },
        { false, true, 9, 10 },
        { true, true, 6, 15 },
        { true, true, 8, 15 },
    };
    for (const auto& c : cases) {
        VCAnimation a { VCAnimation::Property::X, 10, 20, 1, 2, c.repeats, c.autoreverses };
        EXPECT_DOUBLE_EQ(a.valueAtTime(c.time), c.expected)
            << "repeats " << c.repeats << " autoreverses " << c.autoreverses << " at " << c.time;
    }
}

TEST(Composition, DrawsItsLayersAtTheGivenTime)
{
    auto c = VCComposition::compositionWithData(kComposition);
    ASSERT_TRUE(c);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 100); // twice the canvas
    for (double time : { 0.0, 1.0 }) {
        cairo_t* cr = cairo_create(s);
        c->renderAtTime(cr, HXMakeRect(0, 0, 200, 100), time);
        cairo_destroy(cr);
        int squareX = time == 0 ? 30 : 130; // the middle of the blue square, in pixels
        EXPECT_EQ(pixelAt(s, squareX, 30), 0x0000FFu) << "the square at " << time;
        EXPECT_EQ(pixelAt(s, time == 0 ? 130 : 30, 30), 0xFF0000u) << "the canvas at " << time;
    }
    // The gradient runs from black on the left to white on the right.
    EXPECT_LT(pixelAt(s, 2, 95) & 0xFF, 0x20u);
    EXPECT_GT(pixelAt(s, 197, 95) & 0xFF, 0xE0u);
    cairo_surface_destroy(s);
}

TEST(Composition, ImageLayersReadTheirFileOutsideSafeMode)
{
    movara::test::TempDir dir;
    cairo_surface_t* green = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4);
    cairo_t* g = cairo_create(green);
    cairo_set_source_rgb(g, 0, 1, 0);
    cairo_paint(g);
    cairo_destroy(g);
    ASSERT_EQ(cairo_surface_write_to_png(green, (dir.path() / "green.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(green);
    movara::test::writeFile(dir.path() / "c.vcomp",
        withLayers(
            "<dict><key>type</key><string>image</string><key>image</key><string>green.png</string></dict>"));

    for (bool safe : { false, true }) {
        auto c = VCComposition::compositionWithFile((dir.path() / "c.vcomp").string());
        ASSERT_TRUE(c);
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 10, 10);
        cairo_t* cr = cairo_create(s);
        c->renderAtTime(cr, HXMakeRect(0, 0, 10, 10), 0, safe);
        cairo_destroy(cr);
        EXPECT_EQ(pixelAt(s, 5, 5), safe ? 0u : 0x00FF00u)
            << (safe ? "safe mode reads no file" : "the image shows");
        cairo_surface_destroy(s);
    }
}

class CompositionViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        HXHeadlessWindowServer::install();
    }
    void TearDown() override
    {
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }
    std::shared_ptr<HXManualClock> clock;
};

TEST_F(CompositionViewTest, RendersOnTheClockAndPauses)
{
    auto window = std::make_shared<HXWindow>(HXMakeRect(0, 0, 100, 50), HXBorderlessWindowMask);
    auto view = std::make_shared<VCView>(HXMakeRect(0, 0, 100, 50));
    window->contentView()->addSubview(view);
    window->orderFront();
    EXPECT_FALSE(view->startRendering()) << "nothing to render yet";
    ASSERT_TRUE(view->loadComposition(VCComposition::compositionWithData(kComposition)));

    int started = 0, stopped = 0;
    auto& center = HXNotificationCenter::defaultCenter();
    auto a = center.addObserver(
        this, VCViewDidStartRenderingNotification, view.get(), [&](const HXNotification&) { ++started; });
    auto b = center.addObserver(
        this, VCViewDidStopRenderingNotification, view.get(), [&](const HXNotification&) { ++stopped; });
    ASSERT_TRUE(view->startRendering());
    EXPECT_EQ(started, 1);
    clock->advance(1.0);
    EXPECT_NEAR(view->renderTime(), 1.0, 1e-6);
    EXPECT_NEAR(view->averageFrameRate(), 30, 0.5);
    EXPECT_GE(view->averageLoad(), 0);
    // The square has slid to the right end of its path.
    EXPECT_EQ(window->renderedPixelRGBA(65, 10) >> 8, 0x0000FFu);

    view->pauseRendering();
    clock->advance(1.0);
    EXPECT_NEAR(view->renderTime(), 1.0, 1e-6) << "paused: the time stands";
    EXPECT_TRUE(view->isRendering());
    view->resumeRendering();
    clock->advance(0.5);
    EXPECT_NEAR(view->renderTime(), 1.5, 0.05);

    view->setRenderTime(0);
    view->stopRendering();
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(view->averageFrameRate(), 0);
    clock->advance(1.0);
    EXPECT_EQ(view->renderTime(), 0);
    center.removeObserver(a);
    center.removeObserver(b);
}

TEST_F(CompositionViewTest, SafeModeOptionAndFullScreen)
{
    auto window = std::make_shared<HXWindow>(HXMakeRect(10, 10, 100, 50), HXTitledWindowMask);
    auto view = std::make_shared<VCView>(HXMakeRect(0, 0, 100, 50));
    window->contentView()->addSubview(view);
    bool ok = false;
    ASSERT_TRUE(view->loadComposition(VCComposition::compositionWithData(kComposition),
        { { VCViewEnableSafeModeOption, HXPropertyList(true) } }, &ok));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(view->isSafeMode());
    EXPECT_FALSE(view->loadComposition(nullptr, {}, &ok));
    EXPECT_FALSE(ok);

    ASSERT_TRUE(view->enterFullScreenMode(std::nullopt));
    EXPECT_TRUE(view->isInFullScreenMode());
    EXPECT_NE(view->window(), window);
    EXPECT_EQ(view->frame().size, HXScreen::mainScreen()->frame().size);
    view->exitFullScreenModeWithOptions();
    EXPECT_FALSE(view->isInFullScreenMode());
    EXPECT_EQ(view->window(), window);
    EXPECT_EQ(view->frame(), HXMakeRect(0, 0, 100, 50));
}

} // namespace
