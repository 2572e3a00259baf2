#pragma once
// The controls' tests: a headless application on a manual clock, a main window to put the controls in,
// the bundle's artwork and strings, and small movies.
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace controls_test {

// The controls find their pictures and texts in the main bundle: the one the build fills.
inline const bool bundleChosen = [] {
    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
    return true;
}();

// The text the controls show for `key` (the shipped wording, or the key where the bundle has no table).
inline std::string localized(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

// A picture-only movie at time scale `scale`: `count` samples of `sampleDuration` units, a key frame every
// `syncEvery` samples.
inline std::shared_ptr<MVMovie> keyFrameMovie(
    int32_t scale, int count, uint32_t sampleDuration, int syncEvery)
{
    auto movie = MVMovie::movie();
    movie->setTimeScale(scale);
    auto track = movie->newTrack(MVFourCC("vide"), scale, 160, 120);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    auto description = MVSampleDescriptionBytes(d);
    for (int i = 0; i < count; ++i)
        track->media()->addSample(
            { uint8_t(i) }, sampleDuration, 1, description, i % syncEvery ? MVMediaSampleNotSync : 0);
    track->insertMedia(0, 0, int64_t(count) * sampleDuration);
    return movie;
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        window = std::make_shared<HXWindow>(HXMakeRect(100, 100, 400, 120), HXTitledWindowMask);
        window->makeKeyAndOrderFront();
        window->makeMainWindow();
    }

    void TearDown() override
    {
        for (auto token : tokens)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        window.reset();
        otherWindow.reset();
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }

    // Makes the controls' window main, or another window.
    void setMain(bool main)
    {
        if (main) {
            window->makeMainWindow();
            return;
        }
        if (!otherWindow) {
            otherWindow = std::make_shared<HXWindow>(HXMakeRect(600, 100, 100, 100), HXTitledWindowMask);
            otherWindow->orderFront();
        }
        otherWindow->makeMainWindow();
    }

    // Counts the notifications `name` sent by `object`.
    std::shared_ptr<int> count(const std::string& name, const void* object)
    {
        auto n = std::make_shared<int>(0);
        tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
            name, object, [n](const HXNotification&) { ++*n; }));
        return n;
    }

    static HXPoint basePoint(const HXView& view)
    {
        return view.convertPointToView({ HXMidX(view.bounds()), HXMidY(view.bounds()) }, nullptr);
    }
    void click(const HXView& view, uint32_t modifiers = 0)
    {
        HXHeadlessWindowServer::postClick(window, basePoint(view), modifiers);
        app->processPendingEvents();
    }
    // Press, drag through `path` (points in the window), release at the last point.
    void drag(HXPoint from, const std::vector<HXPoint>& path)
    {
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, from);
        for (const auto& p : path)
            HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, p);
        HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, path.empty() ? from : path.back());
        app->processPendingEvents();
    }

    std::shared_ptr<HXManualClock> clock;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<HXWindow> otherWindow;
    std::vector<HXObserverToken> tokens;
};

} // namespace controls_test
