// Every control in one panel on a real X display: the screen shows what the toolkit drew, a screenshot
// is kept as controls_panel.png in the tests' build folder, and a click and typed keys made through the
// X server change a text field and a slider.
#include "platform/basekit/run_loop.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/box.h"
#include "platform/winkit/button.h"
#include "platform/winkit/image_view.h"
#include "platform/winkit/key_view_loop.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/outline_view.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/tab_view.h"
#include "platform/winkit/table_view.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Last: it brings Xlib, whose macros clash with names in the headers above.
#include "display_capture.h"
#include <X11/keysym.h>

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::runFor;
#endif

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND

// The X server's test extension, loaded at run time (only its shared library is needed). It stays
// loaded: it registered hooks with the display that run when the display closes.
struct FakeInput {
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    using Button = int (*)(Display*, unsigned, int, unsigned long);
    using Key = int (*)(Display*, unsigned, int, unsigned long);
    Motion motion = nullptr;
    Button button = nullptr;
    Key key = nullptr;
    bool load()
    {
        void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!xtst)
            return false;
        motion = reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent"));
        button = reinterpret_cast<Button>(dlsym(xtst, "XTestFakeButtonEvent"));
        key = reinterpret_cast<Key>(dlsym(xtst, "XTestFakeKeyEvent"));
        return motion && button && key;
    }
    void click(Display* d, int x, int y)
    {
        motion(d, -1, x, y, 0);
        XFlush(d);
        button(d, 1, 1, 10);
        button(d, 1, 0, 60);
        XSync(d, 0);
    }
    void type(Display* d, KeySym sym)
    {
        unsigned code = XKeysymToKeycode(d, sym);
        key(d, code, 1, 10);
        key(d, code, 0, 10);
        XSync(d, 0);
    }
};

// A small picture for the image view: a blue disc on white.
std::shared_ptr<HXImage> sampleImage()
{
    auto image = HXImage::initWithSize({ 40, 40 });
    image->drawInto([] {
        HXColor::whiteColor().setFill();
        HXBezierPath::fillRect({ { 0, 0 }, { 40, 40 } });
        HXColor::colorWithCalibratedRed(0.2, 0.45, 0.9).setFill();
        HXBezierPath::bezierPathWithOvalInRect({ { 6, 6 }, { 28, 28 } }).fill();
    });
    return image;
}

class Rows : public HXTableViewDataSource {
public:
    long numberOfRowsInTableView(HXTableView&) override { return 6; }
    HXPropertyList objectValueForTableColumn(HXTableView&, HXTableColumn* column, long row) override
    {
        static const char* names[] = { "Video Track", "Sound Track", "Text Track", "Chapter Track", "Timecode Track", "Hint Track" };
        return column->identifier() == "name" ? HXPropertyList(names[row]) : HXPropertyList(int64_t(25 * (row + 1)));
    }
};

#endif

}  // namespace

TEST(ControlsDisplay, EveryControlInOnePanel)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

    auto panel = std::make_shared<HXPanel>(HXMakeRect(80, 120, 640, 470), HXTitledWindowMask | HXClosableWindowMask);
    panel->setTitle("Controls");
    auto content = panel->contentView();
    auto add = [&](std::shared_ptr<HXView> v) {
        content->addSubview(v);
        return v;
    };

    // Left column: fields, buttons, sliders, pop-ups, progress.
    add(HXTextField::labelWithString("Title:", HXMakeRect(20, 430, 60, 20)));
    auto field = std::make_shared<HXTextField>(HXMakeRect(84, 428, 200, 24));
    field->setPlaceholderString("Untitled");
    add(field);
    add(HXTextField::labelWithString("Volume:", HXMakeRect(20, 396, 60, 20)));
    auto slider = std::make_shared<HXSlider>(HXMakeRect(84, 394, 200, 24));
    slider->setMaxValue(100);
    slider->setDoubleValue(30);
    add(slider);
    auto ticks = std::make_shared<HXSlider>(HXMakeRect(84, 360, 200, 30));
    ticks->setNumberOfTickMarks(5);
    ticks->setAllowsTickMarkValuesOnly(true);
    ticks->setDoubleValue(0.5);
    add(ticks);
    auto push = std::make_shared<HXButton>(HXMakeRect(20, 320, 100, 28), "Cancel");
    auto defaultButton = std::make_shared<HXButton>(HXMakeRect(128, 320, 100, 28), "Export");
    defaultButton->setKeyEquivalent("\r");
    auto toggle = std::make_shared<HXButton>(HXMakeRect(236, 320, 60, 28), "Loop");
    toggle->setButtonType(HXPushOnPushOffButton);
    toggle->setState(HXOnState);
    add(push), add(defaultButton), add(toggle);
    auto check = std::make_shared<HXButton>(HXMakeRect(20, 290, 140, 22), "Play all frames");
    check->setButtonType(HXSwitchButton);
    check->setState(HXOnState);
    auto mixed = std::make_shared<HXButton>(HXMakeRect(160, 290, 140, 22), "Some tracks");
    mixed->setButtonType(HXSwitchButton);
    mixed->setAllowsMixedState(true);
    mixed->setState(HXMixedState);
    add(check), add(mixed);
    auto matrix = std::make_shared<HXMatrix>(HXMakeRect(20, 230, 280, 52), HXRadioModeMatrix, nullptr, 2, 2);
    matrix->setCellSize({ 130, 22 });
    const char* modes[] = { "Normal", "Loop", "Back and forth", "Selection" };
    for (long i = 0; i < 4; ++i)
        matrix->cellAtRowColumn(i / 2, i % 2)->setTitle(modes[i]);
    matrix->selectCellAtRowColumn(0, 1);
    add(matrix);
    auto popUp = std::make_shared<HXPopUpButton>(HXMakeRect(20, 192, 140, 26));
    popUp->addItemsWithTitles({ "Actual Size", "Half Size", "Double Size", "Fit to Screen" });
    auto pullDown = std::make_shared<HXPopUpButton>(HXMakeRect(168, 192, 130, 26), true);
    pullDown->addItemsWithTitles({ "Share", "Mail", "Podcast" });
    add(popUp), add(pullDown);
    auto progress = std::make_shared<HXProgressIndicator>(HXMakeRect(20, 164, 240, 16));
    progress->setIndeterminate(false);
    progress->setDoubleValue(60);
    auto spinner = std::make_shared<HXProgressIndicator>(HXMakeRect(272, 162, 20, 20));
    spinner->setStyle(HXProgressIndicatorSpinningStyle);
    add(progress), add(spinner);
    auto box = std::make_shared<HXBox>(HXMakeRect(20, 20, 280, 130));
    box->setTitle("Picture");
    add(box);
    auto imageView = std::make_shared<HXImageView>(HXMakeRect(10, 10, 60, 60));
    imageView->setImage(sampleImage());
    imageView->setImageFrameStyle(HXImageFramePhoto);
    box->contentView()->addSubview(imageView);
    auto vertical = std::make_shared<HXSlider>(HXMakeRect(90, 0, 24, 90));
    vertical->setDoubleValue(0.7);
    box->contentView()->addSubview(vertical);
    auto separator = std::make_shared<HXBox>(HXMakeRect(130, 40, 120, 5));
    separator->setBoxType(HXBoxSeparator);
    box->contentView()->addSubview(separator);

    // Right column: a tab view holding a table, and an outline below.
    auto tabs = std::make_shared<HXTabView>(HXMakeRect(320, 200, 300, 260));
    auto tracksItem = std::make_shared<HXTabViewItem>("Tracks");
    auto tabContent = std::make_shared<HXView>();
    tracksItem->setView(tabContent);
    tabs->addTabViewItem(tracksItem);
    auto infoItem = std::make_shared<HXTabViewItem>("Info");
    infoItem->setView(std::make_shared<HXView>());
    tabs->addTabViewItem(infoItem);
    add(tabs);
    auto scroll = std::make_shared<HXScrollView>(tabs->contentRect());
    scroll->setFrameOrigin({ 0, 0 });
    tabContent->addSubview(scroll);
    auto table = std::make_shared<HXTableView>(HXMakeRect(0, 0, 260, 100));
    for (auto [id, title, width] : { std::tuple { "name", "Name", 170.0 }, std::tuple { "size", "Frames", 80.0 } }) {
        auto column = std::make_shared<HXTableColumn>(id);
        column->setTitle(title);
        column->setWidth(width);
        table->addTableColumn(column);
    }
    auto rows = std::make_shared<Rows>();
    scroll->setDocumentView(table);
    table->setDataSource(rows);
    table->selectRow(1);
    auto comment = std::make_shared<HXTextField>(HXMakeRect(320, 20, 300, 160));
    comment->setStringValue("Every control of the toolkit, drawn in one flat style.");
    comment->setEditable(false);
    add(comment);

    HXRecalculateKeyViewLoop(*panel);
    panel->makeKeyAndOrderFront();
    runFor(*app, 1.0);

    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    HXRect frame = panel->contentRectForFrameRect(panel->frame());
    int width = int(frame.size.width), height = int(frame.size.height);
    int left = int(frame.origin.x), top = int(screenHeight - (frame.origin.y + frame.size.height));

    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    int mismatches = 0, accent = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long screen = XGetPixel(image, x, y) & 0xFFFFFF;
            if (screen != (panel->renderedPixelRGBA(x, y) >> 8))
                ++mismatches;
            unsigned r = (screen >> 16) & 0xFF, b = screen & 0xFF;
            accent += b > 200 && r < 90;
        }
    EXPECT_LT(mismatches, width * height / 100) << "the screen shows what the toolkit drew";
    EXPECT_GT(accent, 500) << "the accent colour of the default button, the selection and the sliders shows";

    std::string shot = std::string(MOVARA_TEST_BINARY_DIR) + "/controls_panel.png";
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y));
            std::memcpy(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
        }
    cairo_surface_mark_dirty(s);
    EXPECT_EQ(cairo_surface_write_to_png(s, shot.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    XDestroyImage(image);

    // A real click into the text field, typed keys, and a click on the slider three quarters along.
    FakeInput input;
    ASSERT_TRUE(input.load()) << "libXtst is not available";
    auto toScreen = [&](HXView& view, HXPoint p) {
        HXPoint base = view.convertPointToView(p, nullptr);
        return std::pair<int, int> { left + int(base.x), top + height - int(base.y) };
    };
    auto [fx, fy] = toScreen(*field, { 100, 12 });
    input.click(display, fx, fy);
    runFor(*app, 0.5);
    EXPECT_EQ(panel->firstResponder(), field);
    for (KeySym k : { XK_c, XK_l, XK_i, XK_p })
        input.type(display, k);
    runFor(*app, 0.5);
    EXPECT_EQ(field->stringValue(), "clip");
    auto [sx, sy] = toScreen(*slider, { 8 + 0.75 * 184, 12 });
    input.click(display, sx, sy);
    runFor(*app, 0.5);
    EXPECT_NEAR(slider->doubleValue(), 75, 1.5);
    XCloseDisplay(display);

    panel->orderOut();
    HXApplication::setSharedApplication(nullptr);
#endif
}
