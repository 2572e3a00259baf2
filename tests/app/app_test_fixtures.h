#pragma once
// Shared by the application tests: small movies made with ffmpeg, and a headless application with the
// player's delegate, document types and preferences.
#include "app/application.h"
#include "app/application_delegate.h"
#include "app/player_program.h"
#include "core/preferences.h"
#include "document/movie_document.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace movara::apptest {

// A 0.4-second movie (colour bars, a tone) at `path`, made once per path.
inline void makeMovie(const std::filesystem::path& path)
{
    if (std::filesystem::exists(path))
        return;
    auto result = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "smptebars=size=64x48:rate=10:duration=0.4", "-f", "lavfi", "-i",
        "sine=frequency=440:duration=0.4", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
        "-shortest", path.string() });
    ASSERT_EQ(result.status, 0) << "ffmpeg could not make " << path;
}

// Media keys and the calls the delegate makes outward, recorded.
struct Outside {
    std::map<std::string, std::string> mediaKeys;
    std::vector<std::string> processProperties; // "miss=1"
    std::vector<HXPropertyList> queuedSessions;
    std::vector<HXError> reportedErrors;
    std::string featuredPath;
    int idleCalls = 0;
    std::vector<std::string> panelsShown;

    MVPApplicationDelegate::Environment environment()
    {
        MVPApplicationDelegate::Environment env;
        env.mediaKeys = [this](const std::string& type) {
            auto it = mediaKeys.find(type);
            return it == mediaKeys.end() ? std::vector<std::string>()
                                         : std::vector<std::string> { it->second };
        };
        env.mediaKeyBool = [this](const std::string& type, bool def) {
            auto it = mediaKeys.find(type);
            return it == mediaKeys.end() ? def : it->second == "YES";
        };
        env.setProcessProperty = [this](uint32_t, uint32_t id, uint8_t value) {
            std::string code;
            for (int shift = 24; shift >= 0; shift -= 8)
                code += char((id >> shift) & 0xFF);
            processProperties.push_back(code + "=" + std::to_string(value));
        };
        env.pathForResource = [this](const std::string& name, const std::string& type) {
            return name == "tvbutton" && type == "mov" ? featuredPath : std::string();
        };
        env.queueExportSession = [this](const HXPropertyList& params) { queuedSessions.push_back(params); };
        env.idleAllMovies = [this] { ++idleCalls; };
        env.presentOpenError = [this](const HXError& error) { reportedErrors.push_back(error); };
        env.showMovieInspector = [this] { panelsShown.push_back("inspector"); };
        env.showAVControls = [this] { panelsShown.push_back("avControls"); };
        return env;
    }
};

// A fresh headless application with the player's application object, delegate and document types.
class PlayerTest : public ::testing::Test {
protected:
    static std::filesystem::path moviesFolder()
    {
        static movara::test::TempDir dir;
        return dir.path();
    }
    static std::string movie(const std::string& name)
    {
        auto path = moviesFolder() / name;
        makeMovie(path);
        return path.string();
    }

    void SetUp() override
    {
        HXHeadlessWindowServer::install();
        HXApplication::setSharedApplication(std::make_shared<MVPApplication>());
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        MVPPlayerProgram::registerDocumentTypes(*HXDocumentController::sharedDocumentController());
        outside.featuredPath = movie("featured.mov");
        delegate = std::make_shared<MVPApplicationDelegate>(outside.environment());
        HXApp().setDelegate(delegate);
        setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, true);
        setPreference(kGeneralPreferenceShowReelspotMovieAutomatically, true);
    }

    void TearDown() override
    {
        for (auto& doc : std::vector(HXDocumentController::sharedDocumentController()->documents()))
            doc->close();
        HXApp().setDelegate(nullptr);
        delegate.reset();
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    static void setPreference(const char* key, bool value)
    {
        MVPPreferences::preferences().setPreference(HXPropertyList(value), key, false);
    }

    static std::vector<std::shared_ptr<MVPMovieDocument>> documents()
    {
        return MVPApplicationDelegate::movieDocuments();
    }

    static std::vector<std::string> movieFiles()
    {
        std::vector<std::string> names;
        for (auto& doc : documents())
            names.push_back(
                doc->movie() ? std::filesystem::path(doc->movie()->fileName()).filename().string() : "");
        return names;
    }

    Outside outside;
    std::shared_ptr<MVPApplicationDelegate> delegate;
};

} // namespace movara::apptest
