#pragma once
// A headless application on a manual clock, with one window to put views in.
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <memory>

class TimelineHeadlessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        window = std::make_shared<HXWindow>(HXMakeRect(0, 0, 300, 40), HXTitledWindowMask);
    }

    void TearDown() override
    {
        window.reset();
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }

    std::shared_ptr<HXManualClock> clock;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::shared_ptr<HXWindow> window;
};
