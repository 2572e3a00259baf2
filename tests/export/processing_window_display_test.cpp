// The processing window on a real X display with two jobs, one exporting and one waiting for a run slot;
// the screenshot taken from the X server is kept as processing_window.png in the tests' build folder.
#include "job_test_support.h"

#include "export/job_view.h"
#include "export/processing_document.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

// Last: it brings Xlib, whose macros clash with names in the headers above.
#include "display_capture.h"

using namespace movara::test::jobs;

namespace {

TEST(ProcessingWindowDisplay, TwoJobsOneRunningOneQueued)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

    JobManager manager(1, scriptedWorker);
    auto document = std::make_shared<ProcessingDocument>(manager);
    document->makeWindowControllers();
    auto running = document->addJobWithParams(
        scriptParams({ send({ { "status", "ExportState" }, { "progress", 0.4 } }), step("waitFor", "Cancel"),
            step("exit", 0) }));
    running->userInfo()["stage"] = "Flatten Holiday.mov";
    auto queued = document->addJobWithParams(scriptParams({ step("exit", 0) }));
    document->jobViewForJob(running)->setTitle("Flatten Holiday.mov");
    document->jobViewForJob(queued)->setTitle("Export Birthday.mov");
    auto window = document->window();
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(runUntil([&] { return document->jobViewForJob(running)->progress() > 0.3; }));
    // The rows change without events (worker messages, the elapsed-time timer): the pump draws them.
    movara::test::display::runFor(*app, 1.0);

    EXPECT_EQ(queued->state(), JobState::Pending);
    EXPECT_FALSE(document->jobViewForJob(running)->isProgressHidden());
    EXPECT_TRUE(document->jobViewForJob(queued)->isProgressHidden());

    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    HXRect content = window->contentRectForFrameRect(window->frame());
    int width = int(content.size.width);
    int height = int(content.size.height);
    int left = int(content.origin.x);
    int top = int(screenHeight - (content.origin.y + content.size.height));

    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    // The running row (top) fills 40% of its bar; the queued row (bottom, grey) shows no bar.
    auto pixel
        = [&](int x, int yFromBottom) { return XGetPixel(image, x, height - 1 - yFromBottom) & 0xFFFFFF; };
    double barWidth = width - 40;
    unsigned long filled = pixel(10 + int(barWidth * 0.2), 62 + 29);
    unsigned long empty = pixel(10 + int(barWidth * 0.8), 62 + 29);
    EXPECT_GT(filled & 0xFF, (filled >> 16) & 0xFF) << std::hex << filled << " is blue";
    EXPECT_NE(filled, empty);
    EXPECT_EQ(pixel(width / 2, 29), 0xEDEDEDu) << "the second row is grey and has no bar";
    int dark = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            dark += (XGetPixel(image, x, y) & 0xFF) < 0x50;
    EXPECT_GT(dark, 100) << "titles and status lines show";

    std::string shot = std::string(MOVARA_TEST_BINARY_DIR) + "/processing_window.png";
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y));
            std::memcpy(
                cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
        }
    cairo_surface_mark_dirty(s);
    EXPECT_EQ(cairo_surface_write_to_png(s, shot.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    XDestroyImage(image);
    XCloseDisplay(display);

    manager.killAllJobs();
    window->orderOut();
#endif
}

} // namespace
