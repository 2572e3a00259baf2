#pragma once
// A fresh headless application on a manual clock for every test.
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class WinkitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        server = HXHeadlessWindowServer::install(screens());
        app = HXApplication::sharedApplication();
    }

    void TearDown() override
    {
        HXAlert::setAlertDidAppearHandler(nullptr);
        for (auto token : tokens)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
        HXRunLoop::main().setClock(nullptr);
    }

    virtual std::vector<HXScreen> screens() { return {}; }

    // Records the names of notifications posted by `object`.
    std::shared_ptr<std::vector<std::string>> record(const std::vector<std::string>& names, const void* object)
    {
        auto log = std::make_shared<std::vector<std::string>>();
        for (const auto& name : names)
            tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
                name, object, [log](const HXNotification& n) { log->push_back(n.name()); }));
        return log;
    }

    std::shared_ptr<HXWindow> makeWindow(HXRect content, unsigned style = HXTitledWindowMask | HXClosableWindowMask | HXResizableWindowMask)
    {
        return std::make_shared<HXWindow>(content, style);
    }

    std::shared_ptr<HXManualClock> clock;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::vector<HXObserverToken> tokens;
};

// A view that records what it receives.
class RecordingView : public HXView {
public:
    using HXView::HXView;
    std::vector<std::string> log;
    bool acceptsFirst = false;
    bool acceptsFirstResponder() const override { return acceptsFirst; }
    void mouseDown(const HXEvent&) override { log.push_back("mouseDown"); }
    void mouseDragged(const HXEvent&) override { log.push_back("mouseDragged"); }
    void mouseUp(const HXEvent&) override { log.push_back("mouseUp"); }
    void keyDown(const HXEvent& e) override
    {
        if (e.characters() == "\t")
            HXView::keyDown(e);  // Tab is the window's
        else
            log.push_back("keyDown:" + e.characters());
    }
    void mouseEntered(const HXEvent& e) override { log.push_back("entered:" + std::to_string(e.trackingNumber())); }
    void mouseExited(const HXEvent& e) override { log.push_back("exited:" + std::to_string(e.trackingNumber())); }
};
