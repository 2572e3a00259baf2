// The program as the desktop gets it: the desktop entries pass desktop-file-validate, and the Debian package
// that cpack makes (in a temporary folder) depends on the runtime libraries, unpacks into a fresh root with
// dpkg -x, and runs from there headless, loading its pane plug-ins from the unpacked tree.
#include "child_process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using movara::test::ChildProcess;
using movara::test::haveProgram;
using movara::test::readFile;
using movara::test::runCommand;
using movara::test::TempDir;

namespace {

const fs::path kBuildDir = fs::path(MOVARA_TEST_BINARY_DIR).parent_path();
const char* kEntries[] = { "com.zantrel.movaraplayer.desktop", "com.zantrel.playerchooser.desktop" };

// The package cpack makes of this build, once per run of the test program.
class Package {
public:
    static Package& shared()
    {
        static Package package;
        return package;
    }
    const fs::path& deb() const { return _deb; }
    const std::string& log() const { return _log; }

private:
    Package()
    {
        auto result = runCommand({ "cpack", "-G", "DEB", "-B", _dir.path().string(), "--config",
            (kBuildDir / "CPackConfig.cmake").string() });
        _log = result.output;
        for (auto& entry : fs::directory_iterator(_dir.path()))
            if (entry.path().extension() == ".deb")
                _deb = entry.path();
    }
    TempDir _dir;
    fs::path _deb;
    std::string _log;
};

std::string field(const fs::path& deb, const std::string& name)
{
    auto result = runCommand({ "dpkg-deb", "-f", deb.string(), name });
    std::string text = result.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

TEST(DesktopEntries, DesktopFileValidateAcceptsBoth)
{
    if (!haveProgram("desktop-file-validate"))
        GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
    for (const char* name : kEntries) {
        fs::path entry = kBuildDir / "desktop" / "applications" / name;
        ASSERT_TRUE(fs::exists(entry)) << entry;
        auto result = runCommand({ "desktop-file-validate", entry.string() });
        EXPECT_EQ(result.status, 0) << name << ": " << result.output;
        EXPECT_EQ(result.output, "") << name;
    }
    // The entries name the types of the formats the player reads, and the player its own export sessions.
    std::string player = readFile(kBuildDir / "desktop" / "applications" / kEntries[0]);
    std::string launcher = readFile(kBuildDir / "desktop" / "applications" / kEntries[1]);
    for (const char* type : { "video/mp4;", "video/webm;", "video/x-matroska;", "audio/mpeg;" }) {
        EXPECT_NE(player.find(type), std::string::npos) << type;
        EXPECT_NE(launcher.find(type), std::string::npos) << type;
    }
    EXPECT_NE(player.find("application/x-movara-export-session;"), std::string::npos);
    EXPECT_EQ(launcher.find("application/x-movara-export-session"), std::string::npos);
    EXPECT_EQ(launcher.find("text/"), std::string::npos);
}

TEST(DebianPackage, DependsOnTheRuntimeLibrariesAndInstalls)
{
    if (!haveProgram("cpack") || !haveProgram("dpkg-deb") || !haveProgram("dpkg-shlibdeps"))
        GTEST_SKIP() << "cpack, dpkg-deb or dpkg-shlibdeps (dpkg-dev) is missing";
    auto& package = Package::shared();
    ASSERT_FALSE(package.deb().empty()) << package.log();
    EXPECT_EQ(field(package.deb(), "Package"), "movara-player");
    std::string depends = field(package.deb(), "Depends");
    for (const char* library :
        { "libavformat", "libavcodec", "libcairo2", "libpango", "libsdl2", "libplist", "libdbus-1-3" })
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;

    // apt-get finds every dependency (a simulation: the machine stays as it is).
    if (haveProgram("apt-get")) {
        auto simulated = runCommand(
            { "apt-get", "install", "--simulate", "-q", "-o", "Debug::NoLocking=1", package.deb().string() });
        EXPECT_EQ(simulated.status, 0) << simulated.output;
    }
}

TEST(DebianPackage, TheUnpackedProgramRunsAndLoadsItsPanes)
{
    if (!haveProgram("cpack") || !haveProgram("dpkg-deb") || !haveProgram("dpkg-shlibdeps"))
        GTEST_SKIP() << "cpack, dpkg-deb or dpkg-shlibdeps (dpkg-dev) is missing";
    auto& package = Package::shared();
    ASSERT_FALSE(package.deb().empty()) << package.log();
    TempDir root;
    ASSERT_EQ(runCommand({ "dpkg", "-x", package.deb().string(), root.path().string() }).status, 0);
    fs::path usr = root.path() / "usr";

    // The Linux layout, each part where the others find it.
    for (const char* path :
        { "bin/movara-player", "bin/player-chooser", "bin/movara-script", "lib/movara-player/libbasekit.so",
            "lib/movara-player/libwinkit.so", "libexec/movara-player/MVPlayerHelper",
            "share/movara-player/Resources/Localizable.strings.plist",
            "share/movara-player/Resources/tvbutton.mov",
            "share/movara-player/PlugIns/SoundPane.mvpane/SoundPane.so",
            "share/movara-player/PlugIns/SoundPane.mvpane/Info.plist",
            "share/applications/com.zantrel.movaraplayer.desktop",
            "share/applications/com.zantrel.playerchooser.desktop", "share/mime/packages/movara-player.xml",
            "share/icons/hicolor/48x48/apps/movara-player.png",
            "share/icons/hicolor/scalable/apps/movara-player.svg" })
        EXPECT_TRUE(fs::exists(usr / path)) << path;

    // The unpacked programs find their libraries beside themselves, never in the build tree.
    auto runpath = runCommand({ "readelf", "-d", (usr / "bin/movara-player").string() });
    EXPECT_NE(runpath.output.find("$ORIGIN/../lib/movara-player"), std::string::npos) << runpath.output;
    EXPECT_EQ(runpath.output.find(kBuildDir.string()), std::string::npos);

    // A movie to open, and a user of its own; no display, so the program runs headless.
    TempDir home;
    fs::path movie = home / "clip.mov";
    ASSERT_EQ(runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc=size=160x120:rate=10:duration=1", "-c:v", "mpeg4", movie.string() })
                  .status,
        0);
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    std::vector<std::string> environment { "HOME=" + home.path().string(),
        "XDG_CONFIG_HOME=" + (home / "config").string(), "XDG_DATA_HOME=" + (home / "data").string(),
        "XDG_CACHE_HOME=" + (home / "cache").string(), "XDG_RUNTIME_DIR=" + (home / "runtime").string(),
        "PATH=" + (usr / "bin").string() + ":/usr/bin:/bin", "MOVARA_SILENT_AUDIO=1" };
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);

    ChildProcess player(
        { (usr / "bin/movara-player").string(), "--featured-movie=no", movie.string() }, environment);
    // The unpacked movara-script, with the player's environment.
    auto script = [&](std::vector<std::string> args, const std::string& input = {}) {
        std::vector<std::string> argv { "/usr/bin/env", "-i" };
        argv.insert(argv.end(), environment.begin(), environment.end());
        argv.push_back((usr / "bin/movara-script").string());
        argv.insert(argv.end(), args.begin(), args.end());
        return runCommand(argv, input);
    };
    bool opened = false;
    for (int i = 0; i < 300 && !opened; ++i) {
        opened = script({ "get", "movies[1].name" }).status == 0;
        if (!opened)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(opened) << "the unpacked player never answered";
    // The properties window loads the panes.
    auto shown = script({ "set", "movies[1].showDetailedMovieInfoWindow", "true" });
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_EQ(script({ "get", "movies[1].showDetailedMovieInfoWindow" }).output, "true\n");
    std::string maps = readFile("/proc/" + std::to_string(player.pid()) + "/maps");
    fs::path plugIns = usr / "share/movara-player/PlugIns";
    for (const char* pane :
        { "SoundPane", "PlaybackOptionsPane", "MetadataPane", "PicturePane", "SourcesPane" }) {
        fs::path library = plugIns / (std::string(pane) + ".mvpane") / (std::string(pane) + ".so");
        EXPECT_NE(maps.find(library.string()), std::string::npos)
            << pane << " is not loaded from the package";
    }
    EXPECT_NE(maps.find((usr / "lib/movara-player/libwinkit.so").string()), std::string::npos);

    EXPECT_EQ(
        script({ "--request" },
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>command</key>"
            "<string>quit</string></dict></plist>\n")
            .status,
        0);
    EXPECT_EQ(player.waitForExit(30), 0);
}
