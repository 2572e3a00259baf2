#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

using movara::test::TempDir;
namespace fs = std::filesystem;

namespace {

HXFileManager& files()
{
    return HXFileManager::defaultManager();
}


} // namespace

TEST(FileManager, FoldersWithAndWithoutIntermediates)
{
    TempDir dir;
    std::string deep = (dir / "a" / "b" / "c").string();
    HXError error;
    EXPECT_FALSE(files().createDirectoryAtPath(deep, false, &error));
    EXPECT_EQ(error.code(), ENOENT);
    ASSERT_TRUE(files().createDirectoryAtPath(deep, true, &error));
    EXPECT_TRUE(files().isDirectoryAtPath(deep));
    EXPECT_TRUE(files().createDirectoryAtPath(deep, true)) << "an existing folder is fine with intermediates";
    EXPECT_FALSE(files().createDirectoryAtPath(deep, false, &error));
    EXPECT_EQ(error.code(), EEXIST);
    movara::test::writeFile(dir / "file", "x");
    EXPECT_FALSE(files().createDirectoryAtPath((dir / "file" / "sub").string(), true, &error));
    bool isDirectory = true;
    EXPECT_TRUE(files().fileExistsAtPath((dir / "file").string(), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_FALSE(files().fileExistsAtPath((dir / "none").string()));
    EXPECT_EQ(
        files().contentsOfDirectoryAtPath(dir.path().string()), (std::vector<std::string> { "a", "file" }));
    EXPECT_FALSE(files().contentsOfDirectoryAtPath((dir / "none").string(), &error));
}

TEST(FileManager, CopyMoveAndRemoveTrees)
{
    TempDir dir;
    fs::create_directories(dir / "src" / "inner");
    movara::test::writeFile(dir / "src" / "inner" / "f.txt", "payload");
    fs::create_symlink("inner/f.txt", dir / "src" / "link");
    HXError error;

    ASSERT_TRUE(files().copyItemAtPath((dir / "src").string(), (dir / "copy").string(), &error))
        << error.localizedDescription();
    EXPECT_EQ(movara::test::readFile(dir / "copy" / "inner" / "f.txt"), "payload");
    EXPECT_TRUE(fs::is_symlink(dir / "copy" / "link"));
    EXPECT_FALSE(files().copyItemAtPath((dir / "src").string(), (dir / "copy").string(), &error));
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_EQ(movara::test::readFile(dir / "copy" / "inner" / "f.txt"), "payload");

    EXPECT_FALSE(files().moveItemAtPath((dir / "src").string(), (dir / "copy").string(), &error));
    EXPECT_EQ(error.code(), EEXIST);
    ASSERT_TRUE(files().moveItemAtPath((dir / "src").string(), (dir / "moved").string(), &error));
    EXPECT_FALSE(fs::exists(dir / "src"));
    EXPECT_EQ(movara::test::readFile(dir / "moved" / "inner" / "f.txt"), "payload");

    ASSERT_TRUE(files().removeItemAtPath((dir / "moved").string(), &error));
    EXPECT_FALSE(fs::exists(dir / "moved"));
    EXPECT_FALSE(files().removeItemAtPath((dir / "moved").string(), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

TEST(FileManager, WritingAtomicallyAndExclusively)
{
    TempDir dir;
    std::string path = (dir / "out.txt").string();
    HXError error;
    ASSERT_TRUE(files().writeToFile(path, "first", true, &error));
    ASSERT_TRUE(files().writeToFile(path, "second", true, &error));
    EXPECT_EQ(files().contentsAtPath(path), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no temporary file is left";
    EXPECT_FALSE(files().writeToFile((dir / "none" / "x").string(), "x", true, &error));
    EXPECT_EQ(error.code(), ENOENT);

    std::string unique = (dir / "Recording.mov").string();
    EXPECT_TRUE(files().createFileExclusively(unique, "a", &error));
    EXPECT_FALSE(files().createFileExclusively(unique, "b", &error));
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_EQ(files().contentsAtPath(unique), "a");
}

TEST(FileManager, AttributesAndDisplayName)
{
    TempDir dir;
    movara::test::writeFile(dir / "clip.mov", std::string(1234, 'x'));
    auto attributes = files().attributesOfItemAtPath((dir / "clip.mov").string());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->size, 1234u);
    EXPECT_FALSE(attributes->isDirectory);
    EXPECT_NEAR(
        attributes->modificationDate.secondsSinceReferenceDate, HXDate::now().secondsSinceReferenceDate, 60);
    EXPECT_EQ(files().fileSizeAtPath((dir / "clip.mov").string()), 1234u);
    EXPECT_FALSE(files().fileSizeAtPath((dir / "none").string()));
    EXPECT_EQ(files().displayNameAtPath((dir / "clip.mov").string()), "clip.mov");
    EXPECT_EQ(files().displayNameAtPath("/"), "/");
    EXPECT_TRUE(files().isDeletableFileAtPath((dir / "clip.mov").string()));
    EXPECT_FALSE(files().isDeletableFileAtPath((dir / "none").string()));
}

TEST(FileManager, SpecialFoldersFollowXDG)
{
    TempDir dir;
    movara::test::EnvironmentGuard env;
    env.set("HOME", dir.path().string());
    env.set("XDG_CONFIG_HOME", (dir / "cfg").string());
    env.set("XDG_DATA_HOME", (dir / "data").string());
    env.set("XDG_CACHE_HOME", (dir / "cache").string());
    env.set("XDG_DATA_DIRS", "/usr/local/share/:relative:/usr/share");
    env.set("TMPDIR", "/var/tmp/");

    EXPECT_EQ(HXHomeDirectory(), dir.path().string());
    EXPECT_EQ(HXUserConfigDirectory(), (dir / "cfg" / "movara-player").string());
    EXPECT_EQ(HXUserCacheDirectory(), (dir / "cache" / "movara-player").string());
    EXPECT_EQ(HXTemporaryDirectory(), "/var/tmp");
    EXPECT_EQ(HXMoviesDirectory(), (dir / "Videos").string());
    EXPECT_EQ(HXDesktopDirectory(), (dir / "Desktop").string());

    fs::create_directories(dir / "cfg");
    movara::test::writeFile(dir / "cfg" / "user-dirs.dirs",
        "# written by "
        "xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    EXPECT_EQ(HXMoviesDirectory(), (dir / "Filme").string());
    EXPECT_EQ(HXDesktopDirectory(), (dir / "Schreibtisch").string());

    std::vector<std::string> libraries = { (dir / "data").string(), "/usr/local/share", "/usr/share" };
    EXPECT_EQ(HXSearchPathForDirectoriesInDomains(HXAllLibrariesDirectory, HXAllDomainsMask), libraries);
    EXPECT_EQ(HXSearchPathForDirectoriesInDomains(HXAllLibrariesDirectory, HXUserDomainMask),
        std::vector<std::string> { (dir / "data").string() });
    EXPECT_EQ(HXSearchPathForDirectoriesInDomains(HXApplicationSupportDirectory, HXLocalDomainMask),
        (std::vector<std::string> {
            "/usr/local/share/Application Support", "/usr/share/Application Support" }));

    env.unset("XDG_CONFIG_HOME");
    env.unset("XDG_DATA_HOME");
    env.unset("XDG_DATA_DIRS");
    env.set("XDG_CACHE_HOME", "relative");
    EXPECT_EQ(HXUserConfigDirectory(), (dir / ".config" / "movara-player").string());
    EXPECT_EQ(HXUserCacheDirectory(), (dir / ".cache" / "movara-player").string());
    EXPECT_EQ(HXSearchPathForDirectoriesInDomains(HXAllLibrariesDirectory, HXAllDomainsMask),
        (std::vector<std::string> { (dir / ".local" / "share").string(), "/usr/local/share", "/usr/share" }));
}
