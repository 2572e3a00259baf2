#pragma once
// What the movie document tests share: a headless application with two screens, preferences that are
// put back after each test, and small movies made in memory.
#include "document/movie_document.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace movara::test::document {

// Two screens side by side: the main one 1280x800, a second 1024x768 to its right.
inline std::vector<HXScreen> twoScreens()
{
    return { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }),
        HXScreen(7, { { 1280, 0 }, { 1024, 768 } }, { { 1280, 0 }, { 1024, 768 } }) };
}

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install(screens());
        app = HXApplication::sharedApplication();
    }

    void TearDown() override
    {
        HXAlert::setAlertDidAppearHandler(nullptr);
        for (auto token : tokens)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        for (const auto& key : preferencesSet)
            HXUserDefaults::standardUserDefaults().removeObjectForKey(key);
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    virtual std::vector<HXScreen> screens() { return twoScreens(); }

    void setPreference(const std::string& key, bool value)
    {
        HXUserDefaults::standardUserDefaults().setBool(value, key);
        preferencesSet.push_back(key);
    }

    // Counts the notifications `name` from `object` (any object when null).
    std::shared_ptr<int> count(const std::string& name, const void* object)
    {
        auto n = std::make_shared<int>(0);
        tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
            name, object, [n](const HXNotification&) { ++*n; }));
        return n;
    }

    // Runs the main loop until `done` or the time is up.
    static bool runUntil(const std::function<bool()>& done, double seconds = 20)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.02, true);
        return done();
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::vector<HXObserverToken> tokens;
    std::vector<std::string> preferencesSet;
};

// A user-data item of `movie` replaced by `bytes`.
inline void setUserData(MVMovie& movie, const char (&code)[5], const MVBytes& bytes)
{
    while (MVUserDataCountItems(movie.userData(), MVFourCC(code)) > 0)
        MVUserDataRemoveItem(movie.userData(), MVFourCC(code), 1);
    MVUserDataAddItem(movie.userData(), MVFourCC(code), bytes);
}

inline std::optional<MVBytes> userData(const MVMovie& movie, const char (&code)[5])
{
    return MVUserDataGetItem(movie.userData(), MVFourCC(code), 1);
}

} // namespace movara::test::document
