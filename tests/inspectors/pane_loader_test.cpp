// Finding, loading, skipping and ordering pane bundles, with real shared objects.
#include "inspectors/pane_loader.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/property_list.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

namespace fs = std::filesystem;
using movara::test::TempDir;
using movara::test::writeFile;

namespace {

const fs::path kTestPaneSo = fs::path(MOVARA_TEST_PANE_BUNDLE) / "TestPane.so";

void writeInfo(const fs::path& bundle, const std::map<std::string, std::string>& info)
{
    HXPropertyList::Dictionary dict;
    for (const auto& [key, value] : info)
        dict[key] = HXPropertyList(value);
    ASSERT_TRUE(HXPropertyList(dict).writeToFile((bundle / "Info.plist").string()));
}

// A bundle folder `name`.mvpane in `folder` holding a copy of `so` as <name>.so.
fs::path makeBundle(const fs::path& folder, const std::string& name, const fs::path& so,
    std::optional<std::map<std::string, std::string>> info = std::nullopt)
{
    fs::path bundle = folder / (name + ".mvpane");
    fs::create_directories(bundle);
    if (!so.empty())
        fs::copy_file(so, bundle / (name + ".so"));
    if (info)
        writeInfo(bundle, *info);
    return bundle;
}

} // namespace

TEST(PaneLoader, LoadsABundleAndHandsItsFactoryTheBundleAndHost)
{
    TempDir dir;
    makeBundle(
        dir.path(), "Good", kTestPaneSo, std::map<std::string, std::string> { { "HFBundleName", "Good" } });
    struct NoHost : MVPPaneHost {
        std::optional<HXPropertyList> persistentFullscreenSettingForKey(
            const std::shared_ptr<MVMovie>&, const std::string&) override
        {
            return std::nullopt;
        }
        bool setPersistentFullscreenSetting(
            const std::shared_ptr<MVMovie>&, const HXPropertyList&, const std::string&) override
        {
            return false;
        }
        bool createMovieDocumentWithDataRef(const MVDataReference&, bool) override { return false; }
        HXPropertyList valueForKey(const MVPInspectedObject&, const std::string&) override { return {}; }
    } host;

    auto classes = MVPPaneLoader::inspectorClassesAtPath(dir.path().string(), &host);
    ASSERT_EQ(classes.size(), 1u);
    MVPPaneClass pane = classes[0];
    EXPECT_EQ(pane->className(), "MVPTestPane");
    EXPECT_EQ(pane->host(), &host);
    ASSERT_TRUE(pane->bundle());
    EXPECT_EQ(fs::path(pane->bundle()->bundlePath()), fs::canonical(dir.path() / "Good.mvpane"));

    auto movie = MVMovie::movie();
    MVPInspectedObject object(movie);
    EXPECT_TRUE(pane->canInspectObject(object));
    EXPECT_EQ(pane->propertyInspectorNameForObject(object), "Good");
    auto inspector = pane->propertyInspectorForObject(object);
    ASSERT_TRUE(inspector);
    ASSERT_TRUE(inspector->view());
    EXPECT_EQ(inspector->view(), inspector->view()) << "one view for the pane's life";
    EXPECT_EQ(inspector->minViewSize(), (HXSize { 240, 60 })) << "default limits are the view's size";
    EXPECT_EQ(inspector->maxViewSize(), (HXSize { 240, 60 }));
}

// Every entry of a folder is tried; broken bundles are skipped with a line in the log naming the bundle
// and the reason, and the good ones around them still load.
TEST(PaneLoader, SkipsMalformedBundlesWithAClearLog)
{
    struct Case {
        const char* name;
        const char* logged; // part of the log line, or "" when nothing is logged
    };
    const Case cases[] = {
        { "NotCode", "damaged or incompatible" },
        { "MissingExecutable", "executable couldn't be located" },
        { "WrongVersion", "built for pane interface version 1001" },
        { "Empty", "executable couldn't be located" },
    };
    TempDir dir;
    makeBundle(dir.path(), "Alpha", kTestPaneSo, std::map<std::string, std::string> {});
    fs::path notCode = makeBundle(dir.path(), "NotCode", {});
    writeFile(notCode / "NotCode.so", "this is not a shared object\n");
    makeBundle(dir.path(), "MissingExecutable", kTestPaneSo,
        std::map<std::string, std::string> { { "HFExecutable", "Elsewhere.so" } });
    makeBundle(dir.path(), "WrongVersion", MOVARA_WRONG_VERSION_PANE_SO);
    makeBundle(dir.path(), "Empty", {});
    writeFile(dir / "ReadMe.txt", "plain files beside the panes are no bundles\n");
    makeBundle(dir.path(), "Zulu", kTestPaneSo);

    testing::internal::CaptureStderr();
    auto classes = MVPPaneLoader::inspectorClassesAtPath(dir.path().string(), nullptr);
    std::string log = testing::internal::GetCapturedStderr();

    ASSERT_EQ(classes.size(), 2u) << log;
    EXPECT_EQ(fs::path(classes[0]->bundle()->bundlePath()).filename(), "Alpha.mvpane") << "listing order";
    EXPECT_EQ(fs::path(classes[1]->bundle()->bundlePath()).filename(), "Zulu.mvpane");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line;
        for (size_t start = 0; start < log.size();) {
            size_t end = log.find('\n', start);
            std::string l = log.substr(start, end - start);
            if (l.find(std::string(c.name) + ".mvpane") != std::string::npos)
                line = l;
            start = end == std::string::npos ? log.size() : end + 1;
        }
        EXPECT_NE(line.find("skipped"), std::string::npos) << log;
        EXPECT_NE(line.find(c.logged), std::string::npos) << line;
    }
    EXPECT_EQ(log.find("ReadMe"), std::string::npos) << "a plain file is passed over quietly";
}

TEST(PaneLoader, MissingOrUnreadableFolderGivesNoPanes)
{
    TempDir dir;
    EXPECT_TRUE(MVPPaneLoader::inspectorClassesAtPath((dir / "absent").string(), nullptr).empty());
    writeFile(dir / "file", "x");
    EXPECT_TRUE(MVPPaneLoader::inspectorClassesAtPath((dir / "file").string(), nullptr).empty());
}

TEST(PaneLoader, SearchesThePlugInsFolderThenEveryLibraryFolderUserFirst)
{
    TempDir dir;
    ::setenv("XDG_DATA_HOME", (dir / "home").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", ((dir / "a").string() + ":" + (dir / "b").string()).c_str(), 1);
    auto folders = MVPPaneLoader::searchFolders();
    ::unsetenv("XDG_DATA_DIRS");
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0], HXBundle::mainBundle()->builtInPlugInsPath());
    const std::string tail = "/Application Support/Zantrel/Movara Player/Property Panes";
    EXPECT_EQ(folders[1], (dir / "home").string() + tail);
    EXPECT_EQ(folders[2], (dir / "a").string() + tail);
    EXPECT_EQ(folders[3], (dir / "b").string() + tail);
}

namespace {

// A pane class whose bundle has the given sort order and name ("" leaves the key out).
struct FakeFactory : MVPPropertyInspectorFactory {
    std::string className() const override { return "Fake"; }
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject&) override
    {
        return nullptr;
    }
};

} // namespace

TEST(PaneLoader, OrdersFirstThenUnmarkedThenLastAndByLocalizedName)
{
    struct Pane {
        const char* folder;
        const char* order;
        const char* name;
    };
    // Found in this order; expected tab order below.
    const Pane panes[] = {
        { "p1", "MVOrderLast", "Audio" },
        { "p2", "", "banana" },
        { "p3", "MVOrderFirst", "Zebra" },
        { "p4", "Whatever", "Avocado" },
        { "p5", "", "" },
        { "p6", "MVOrderFirst", "Movie" },
        { "p7", "", "Cherry" },
    };
    const std::vector<std::string> expected = { "p6", "p3", "p5", "p4", "p2", "p7", "p1" };

    TempDir dir;
    std::vector<std::unique_ptr<FakeFactory>> factories;
    std::vector<MVPPaneClass> classes;
    for (const Pane& p : panes) {
        fs::path bundle = dir / p.folder;
        fs::create_directories(bundle);
        std::map<std::string, std::string> info;
        if (*p.order)
            info[MVPropertyInspectorSortOrderKey] = p.order;
        if (*p.name)
            info[MVPropertyInspectorNameKey] = p.name;
        writeInfo(bundle, info);
        factories.push_back(std::make_unique<FakeFactory>());
        factories.back()->setBundle(HXBundle::bundleWithPath(bundle.string()));
        classes.push_back(factories.back().get());
    }
    MVPPaneLoader::sortInspectorClasses(classes);
    std::vector<std::string> order;
    for (MVPPaneClass c : classes)
        order.push_back(fs::path(c->bundle()->bundlePath()).filename().string());
    EXPECT_EQ(order, expected);
}

TEST(PaneLoader, TabLabelFallsBackToBundleNameThenNameless)
{
    struct Case {
        std::map<std::string, std::string> info;
        const char* label;
    };
    const Case cases[] = {
        { { { "MVPropertyInspectorName", "Audio" }, { "HFBundleName", "SoundPane" } }, "Audio" },
        { { { "HFBundleName", "SoundPane" } }, "SoundPane" },
        { { { "MVPropertyInspectorName", "" }, { "HFBundleName", "" } }, "Nameless" },
        { {}, "Nameless" },
    };
    TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        fs::path bundle = dir / ("b" + std::to_string(n++));
        fs::create_directories(bundle);
        writeInfo(bundle, c.info);
        FakeFactory factory;
        factory.setBundle(HXBundle::bundleWithPath(bundle.string()));
        EXPECT_EQ(factory.propertyInspectorNameForObject(MVPInspectedObject(MVMovie::movie())), c.label);
    }
    FakeFactory unbundled;
    EXPECT_EQ(unbundled.propertyInspectorNameForObject({}), "Nameless");
}
