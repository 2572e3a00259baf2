// The player as a screen reader meets it: a private session bus with the desktop's accessibility bus
// launcher (at-spi2-core) on it, the player on the X display, and pyatspi, the desktop's own client, finding
// the player window, the play button by name and role, pressing it through the action interface and reading
// the timeline's value.
#include "child_process.h"
#include "platform/basekit/dbus_run_loop.h"
#include "private_bus.h"
#include "test_support.h"

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using movara::test::ChildProcess;
using movara::test::haveProgram;
using movara::test::PrivateBus;
using movara::test::runCommand;
using movara::test::TempDir;

namespace {

constexpr const char* kBusLauncher = "/usr/libexec/at-spi-bus-launcher";
constexpr const char* kPython = "/usr/bin/python3"; // the system's, which has pyatspi

// Whether `name` gets an owner on the bus at `address` within twenty seconds.
bool waitForName(const std::string& address, const char* name)
{
    DBusConnection* bus = HXDBusOpenPrivateConnection(address);
    if (!bus)
        return false;
    bool owned = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!owned && std::chrono::steady_clock::now() < deadline) {
        owned = dbus_bus_name_has_owner(bus, name, nullptr);
        if (!owned)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return owned;
}

std::map<std::string, std::string> findings(const std::string& output)
{
    std::map<std::string, std::string> result;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line))
        if (auto equals = line.find('='); equals != std::string::npos)
            result[line.substr(0, equals)] = line.substr(equals + 1);
    return result;
}

} // namespace

TEST(ScreenReader, FindsPressesAndReadsThePlayerThroughTheAccessibilityBus)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "no X display";
    if (!fs::exists(kBusLauncher) || !haveProgram("dbus-daemon")
        || runCommand({ kPython, "-c", "import pyatspi" }).status != 0)
        GTEST_SKIP() << "at-spi2-core or python3-pyatspi is not installed";

    TempDir home;
    fs::path movie = home / "clip.mov";
    ASSERT_EQ(runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc=size=320x240:rate=25:duration=4", "-c:v", "mpeg4", movie.string() })
                  .status,
        0);
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);

    PrivateBus session;
    ASSERT_FALSE(session.address().empty());
    std::vector<std::string> environment { "HOME=" + home.path().string(), std::string("DISPLAY=") + display,
        "DBUS_SESSION_BUS_ADDRESS=" + session.address(), "XDG_CONFIG_HOME=" + (home / "config").string(),
        "XDG_DATA_HOME=" + (home / "data").string(), "XDG_CACHE_HOME=" + (home / "cache").string(),
        "XDG_RUNTIME_DIR=" + (home / "runtime").string(), "PATH=/usr/bin:/bin", "GSETTINGS_BACKEND=memory",
        "MOVARA_SILENT_AUDIO=1", std::string("MOVARA_BUNDLE_DIR=") + MOVARA_BUNDLE_DIR };
    for (const char* name : { "XAUTHORITY", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);

    // The accessibility bus: its launcher owns org.a11y.Bus on our session bus and starts the bus daemon and
    // the registry.
    ChildProcess launcher({ kBusLauncher, "--launch-immediately" }, environment);
    ASSERT_TRUE(waitForName(session.address(), "org.a11y.Bus")) << "the accessibility bus launcher never came up";
    ChildProcess player(
        { std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player", "--featured-movie=no", movie.string() },
        environment);

    std::vector<std::string> client { "/usr/bin/env", "-i" };
    client.insert(client.end(), environment.begin(), environment.end());
    client.insert(client.end(),
        { kPython, std::string(MOVARA_SOURCE_DIR) + "/tests/desktop/fixtures/screen_reader.py",
            "movara-player", "clip", "60" });
    auto result = runCommand(client);
    auto found = findings(result.output);
    EXPECT_EQ(found["application"], "movara-player") << result.output;
    EXPECT_EQ(found["application_role"], "application");
    EXPECT_NE(found["window"].find("clip"), std::string::npos) << result.output;
    EXPECT_EQ(found["play_button"], "push button") << result.output;
    EXPECT_EQ(found["timeline"], "slider");
    // The movie can be edited: the timeline's value is its length, and its knobs are its children.
    EXPECT_NEAR(std::atof(found["timeline_value"].c_str()), 4.0, 0.1) << result.output;
    EXPECT_NEAR(std::atof(found["timeline_maximum"].c_str()), 4.0, 0.1);
    EXPECT_EQ(found["timeline_spoken"], " 0 frame");
    EXPECT_EQ(found["timeline_knobs"], "current time,selection start,selection end");
    EXPECT_EQ(found["playhead_before"], "0.000");
    EXPECT_NE(found["play_actions"].find("click"), std::string::npos);
    EXPECT_EQ(found["pressed"], "True");
    EXPECT_GT(std::atof(found["playhead_after"].c_str()), 0.2) << result.output;
    EXPECT_EQ(found["button_after"], "Pause") << result.output;
    EXPECT_EQ(result.status, 0) << result.output;
}
