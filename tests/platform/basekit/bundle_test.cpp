#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

using movara::test::TempDir;
using PL = HXPropertyList;
namespace fs = std::filesystem;

namespace {

// <bundle>/Info.plist, Resources/{a.png, c.txt, Info-less files, Images/b.png, strings tables}
class BundleFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.path() / "Sample.bundle";
        fs::create_directories(root / "Resources" / "Images");
        ASSERT_TRUE(PL(PL::Dictionary {
                           { "HFBundleIdentifier", PL("com.example.sample") },
                           { "HFBundleName", PL("Sample") },
                           { "HFBundleVersion", PL("12") },
                       })
                        .writeToFile((root / "Info.plist").string()));
        for (const char* file : { "a.png", "c.txt", "d.png", "noext" })
            movara::test::writeFile(root / "Resources" / file, "x");
        movara::test::writeFile(root / "Resources" / "Images" / "b.png", "x");
        ASSERT_TRUE(PL(PL::Dictionary { { "hello", PL("Hallo") }, { "number", PL(3) } })
                        .writeToFile((root / "Resources" / "Localizable.strings.plist").string()));
        ASSERT_TRUE(PL(PL::Dictionary { { "mvpTitle", PL("Filminfo") } })
                        .writeToFile((root / "Resources" / "MovieInfo.strings.plist").string()));
        movara::test::writeFile(root / "Resources" / "Broken.strings.plist", "<plist><dict><key>x");
        bundle = HXBundle::bundleWithPath(root.string());
        ASSERT_TRUE(bundle);
    }

    std::string resource(const std::string& relative) const
    {
        return (root / "Resources" / relative).string();
    }

    TempDir dir;
    fs::path root;
    std::shared_ptr<HXBundle> bundle;
};

} // namespace

TEST_F(BundleFixture, FindsResourcesByNameTypeAndFolder)
{
    struct Case {
        const char* name;
        const char* type;
        const char* subdirectory;
        std::string expected;
    };
    const Case cases[] = {
        { "a", "png", "", resource("a.png") },
        { "a", ".png", "", resource("a.png") },
        { "a.png", "", "", resource("a.png") },
        { "noext", "", "", resource("noext") },
        { "b", "png", "Images", resource("Images/b.png") },
        { "b", "png", "", "" },
        { "a", "tif", "", "" },
        { "missing", "png", "", "" },
        { "", "png", "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "." + c.type + " in '" + c.subdirectory + "'");
        EXPECT_EQ(bundle->pathForResource(c.name, c.type, c.subdirectory), c.expected);
    }
    EXPECT_EQ(bundle->pathsForResourcesOfType("png"),
        (std::vector<std::string> { resource("a.png"), resource("d.png") }));
    EXPECT_EQ(bundle->pathsForResourcesOfType("png", "Images"),
        (std::vector<std::string> { resource("Images/b.png") }));
    EXPECT_TRUE(bundle->pathsForResourcesOfType("png", "Nowhere").empty());
    EXPECT_EQ(bundle->resourcePath(), (root / "Resources").string());
}

TEST_F(BundleFixture, InfoDictionaryAndIdentity)
{
    EXPECT_EQ(bundle->bundleIdentifier(), "com.example.sample");
    EXPECT_EQ(bundle->objectForInfoDictionaryKey(kHFBundleVersionKey), PL("12"));
    EXPECT_TRUE(bundle->objectForInfoDictionaryKey("Absent").isNull());
    EXPECT_EQ(HXBundle::bundleWithPath(root.string() + "/"), bundle) << "one object per folder";
    EXPECT_EQ(HXBundle::bundleWithIdentifier("com.example.sample"), bundle);
    EXPECT_EQ(HXBundle::bundleWithPath((dir / "absent").string()), nullptr);
    EXPECT_EQ(HXBundle::bundleWithPath(resource("a.png")), nullptr);
}

TEST(Bundle, InfoDictionaryInResourcesOrDamaged)
{
    TempDir dir;
    fs::create_directories(dir / "A" / "Resources");
    ASSERT_TRUE(PL(PL::Dictionary { { "HFBundleIdentifier", PL("com.example.a") } })
                    .writeToFile((dir / "A" / "Resources" / "Info.plist").string()));
    EXPECT_EQ(HXBundle::bundleWithPath((dir / "A").string())->bundleIdentifier(), "com.example.a");

    fs::create_directories(dir / "B");
    movara::test::writeFile(dir / "B" / "Info.plist", "\x01garbage");
    auto damaged = HXBundle::bundleWithPath((dir / "B").string());
    EXPECT_TRUE(damaged->infoDictionary().empty());
    EXPECT_EQ(damaged->localizedStringForKey("k", "v", ""), "v");
}

TEST_F(BundleFixture, LocalizedStringsWithMissingKeysAndTables)
{
    struct Case {
        const char* key;
        const char* value;
        const char* table;
        const char* expected;
    };
    const Case cases[] = {
        { "hello", "", "", "Hallo" },
        { "hello", "ignored", "Localizable", "Hallo" },
        { "absent", "", "", "absent" },
        { "absent", "Fallback", "", "Fallback" },
        { "number", "", "", "number" }, // not text
        { "mvpTitle", "", "MovieInfo", "Filminfo" },
        { "hello", "", "MovieInfo", "hello" },
        { "hello", "", "NoSuchTable", "hello" },
        { "x", "", "Broken", "x" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.table) + ":" + c.key);
        EXPECT_EQ(bundle->localizedStringForKey(c.key, c.value, c.table), c.expected);
    }
    EXPECT_EQ(HXLocalizedStringFromTableInBundle("mvpTitle", "MovieInfo", *bundle), "Filminfo");
}

TEST(Bundle, MainBundleIsTheFolderAboveTheProgramsFolder)
{
    std::string expected;
    if (const char* folder = std::getenv("MOVARA_BUNDLE_DIR"); folder && *folder) {
        expected = fs::canonical(folder).string();
    } else {
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        ASSERT_GT(n, 0);
        expected = fs::path(std::string(exe, size_t(n))).parent_path().parent_path().string();
    }
    ASSERT_TRUE(HXBundle::mainBundle());
    EXPECT_EQ(HXBundle::mainBundle()->bundlePath(), expected);
    EXPECT_EQ(HXBundle::mainBundle(), HXBundle::mainBundle());
}

TEST(BundleCode, LoadsAPlugInAndFindsItsEntryPoint)
{
    TempDir dir;
    fs::path pane = dir / "Test.mvpane";
    fs::create_directories(pane);
    fs::copy_file(MOVARA_TEST_PLUGIN, pane / "Test.so");
    auto bundle = HXBundle::bundleWithPath(pane.string());
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->executablePath(), (pane / "Test.so").string());
    EXPECT_FALSE(bundle->isLoaded());

    HXError error;
    ASSERT_TRUE(bundle->load(&error))
        << error.localizedDescription() << " " << error.localizedFailureReason();
    EXPECT_TRUE(bundle->isLoaded());
    EXPECT_TRUE(bundle->load());
    auto answer = reinterpret_cast<int (*)()>(bundle->symbol("movara_test_plugin_answer"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(bundle->symbol("no_such_entry_point"), nullptr);
    EXPECT_EQ(HXBundle::bundleForAddress(reinterpret_cast<const void*>(answer)), bundle);
    EXPECT_EQ(HXBundle::bundleForAddress(reinterpret_cast<const void*>(&HXBundle::mainBundle)),
        HXBundle::mainBundle());
}

TEST(BundleCode, ExecutableNamedByTheInfoDictionary)
{
    TempDir dir;
    fs::path pane = dir / "Named.mvpane";
    fs::create_directories(pane / "Code");
    fs::copy_file(MOVARA_TEST_PLUGIN, pane / "Code" / "libthing.so");
    ASSERT_TRUE(PL(PL::Dictionary { { "HFExecutable", PL("Code/libthing") } })
                    .writeToFile((pane / "Info.plist").string()));
    auto bundle = HXBundle::bundleWithPath(pane.string());
    EXPECT_EQ(bundle->executablePath(), (pane / "Code" / "libthing.so").string());
    EXPECT_TRUE(bundle->symbol("movara_test_plugin_answer"));
}

TEST(BundleCode, LoadFailuresAreClearErrors)
{
    TempDir dir;
    fs::create_directories(dir / "Empty.mvpane");
    fs::create_directories(dir / "Broken.mvpane");
    movara::test::writeFile(dir / "Broken.mvpane" / "Broken.so", "not a library");

    HXError error;
    auto empty = HXBundle::bundleWithPath((dir / "Empty.mvpane").string());
    EXPECT_FALSE(empty->load(&error));
    EXPECT_EQ(error.code(), HXFileNoSuchFileError);
    EXPECT_NE(error.localizedDescription().find("Empty.mvpane"), std::string::npos);
    EXPECT_EQ(empty->symbol("anything"), nullptr);

    auto broken = HXBundle::bundleWithPath((dir / "Broken.mvpane").string());
    EXPECT_FALSE(broken->load(&error));
    EXPECT_EQ(error.code(), HXFileReadCorruptFileError);
    EXPECT_FALSE(error.localizedFailureReason().empty());
    EXPECT_FALSE(broken->isLoaded());
}
