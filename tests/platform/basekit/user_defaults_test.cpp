#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>

#include <unistd.h>

using movara::test::TempDir;
using PL = HXPropertyList;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> corruptCopies(const fs::path& folder)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".corrupt-") != std::string::npos)
            found.push_back(entry.path());
    return found;
}

std::string selfExecutable()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

// Runs the test UserDefaultsChild.Run of this program in a new process with the given role.
movara::test::CommandResult runChild(
    const std::string& role, const fs::path& config, const std::string& bundle = {})
{
    std::vector<std::string> argv = { "env", "-u", "MOVARA_BUNDLE_DIR", "MOVARA_DEFAULTS_CHILD=" + role,
        "MOVARA_DEFAULTS_CONFIG=" + config.string() };
    if (!bundle.empty())
        argv.push_back("MOVARA_BUNDLE_DIR=" + bundle);
    argv.push_back(selfExecutable());
    argv.push_back("--gtest_filter=UserDefaultsChild.Run");
    argv.push_back("--gtest_brief=1");
    return movara::test::runCommand(argv);
}

const int64_t kInt64Min = std::numeric_limits<int64_t>::min();

} // namespace

TEST(UserDefaults, LookupFallsBackToRegisteredDefaultsAndConvertsTypes)
{
    TempDir dir;
    HXUserDefaults defaults(dir.path().string(), "com.example.lookup");
    defaults.registerDefaults({ { "Registered", PL(true) }, { "Shadowed", PL(1) }, { "Count", PL("12") } });
    defaults.setInteger(2, "Shadowed");
    defaults.setDouble(2.5, "Ratio");
    defaults.setString("hello", "Text");
    defaults.setObject(PL(PL::Array { PL(1) }), "List");

    struct Case {
        const char* key;
        std::string string;
        int64_t integer;
        double real;
        bool boolean;
    };
    const Case cases[] = {
        { "Registered", "", 1, 1, true },
        { "Shadowed", "2", 2, 2, true },
        { "Count", "12", 12, 12, true },
        { "Ratio", "2.5", 2, 2.5, true },
        { "Text", "hello", 0, 0, false },
        { "List", "", 0, 0, false },
        { "Missing", "", 0, 0, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(defaults.stringForKey(c.key), c.string);
        EXPECT_EQ(defaults.integerForKey(c.key), c.integer);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey(c.key), c.real);
        EXPECT_EQ(defaults.boolForKey(c.key), c.boolean);
    }
    EXPECT_EQ(defaults.arrayForKey("List").size(), 1u);
    EXPECT_TRUE(defaults.arrayForKey("Text").empty());
    EXPECT_TRUE(defaults.dictionaryForKey("List").empty());
    EXPECT_TRUE(defaults.objectForKey("Missing").isNull());

    auto all = defaults.dictionaryRepresentation();
    EXPECT_EQ(all.at("Shadowed"), PL(2));
    EXPECT_EQ(all.at("Registered"), PL(true));
}

TEST(UserDefaults, NullValueOrRemovalShowsTheRegisteredDefaultAgain)
{
    TempDir dir;
    HXUserDefaults defaults(dir.path().string(), "com.example.remove");
    defaults.registerDefaults({ { "Size", PL(16) } });
    defaults.setInteger(3, "Size");
    defaults.setObject(PL(), "Size");
    EXPECT_EQ(defaults.integerForKey("Size"), 16);
    defaults.setInteger(4, "Size");
    defaults.removeObjectForKey("Size");
    EXPECT_EQ(defaults.integerForKey("Size"), 16);
}

TEST(UserDefaults, SynchronizeWritesOnlyThePersistentDomainAsXML)
{
    TempDir dir;
    fs::path folder = dir / "config" / "movara-player";
    HXUserDefaults defaults(folder.string(), "com.example.write");
    defaults.registerDefaults({ { "Registered", PL(1) } });
    defaults.setObject(PL(HXDate { 12345 }), "When");
    defaults.setData(HXData(std::string("\x00\xff", 2)), "Bytes");
    HXError error;
    ASSERT_TRUE(defaults.synchronize(&error)) << error.localizedDescription();

    std::string path = defaults.pathForDomain("com.example.write");
    EXPECT_EQ(path, (folder / "com.example.write.plist").string());
    auto stored = PL::readFromFile(path);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored,
        PL(PL::Dictionary {
            { "When", PL(HXDate { 12345 }) }, { "Bytes", PL(HXData(std::string("\x00\xff", 2))) } }));
    EXPECT_EQ(movara::test::readFile(path).rfind("<?xml", 0), 0u);
}

TEST(UserDefaults, ChangesOfAnotherStoreArriveOnSynchronize)
{
    TempDir dir;
    HXUserDefaults first(dir.path().string(), "com.example.shared");
    HXUserDefaults second(dir.path().string(), "com.example.shared");
    EXPECT_TRUE(second.objectForKey("Key").isNull());
    first.setString("one", "Key");
    ASSERT_TRUE(first.synchronize());
    ASSERT_TRUE(second.synchronize());
    EXPECT_EQ(second.stringForKey("Key"), "one");

    // A store with unsaved changes keeps them and writes them.
    second.setString("two", "Key");
    first.setString("other", "Other");
    ASSERT_TRUE(first.synchronize());
    ASSERT_TRUE(second.synchronize());
    ASSERT_TRUE(first.synchronize());
    EXPECT_EQ(first.stringForKey("Key"), "two");
}

TEST(UserDefaults, DamagedFileIsSetAsideAndDefaultsAreUsed)
{
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        { "garbage", "this is not a property list \x01\x02" },
        { "truncated", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict>\n\t<key>A</key>\n\t<inte" },
        { "not a dictionary", PL(PL::Array { PL(1) }).toXML() },
        { "empty", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::path file = dir / "com.example.damaged.plist";
        movara::test::writeFile(file, c.bytes);
        HXUserDefaults defaults(dir.path().string(), "com.example.damaged");
        defaults.registerDefaults({ { "A", PL(7) } });
        EXPECT_EQ(defaults.integerForKey("A"), 7);
        EXPECT_FALSE(fs::exists(file));
        auto copies = corruptCopies(dir.path());
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(movara::test::readFile(copies[0]), c.bytes);

        defaults.setInteger(8, "A");
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(PL::readFromFile(file.string())->operator[]("A"), PL(8));
        EXPECT_EQ(movara::test::readFile(copies[0]), c.bytes);
    }
}

TEST(UserDefaults, UnreadableFileIsNeverReplaced)
{
    TempDir dir;
    // A folder where the file should be: it cannot be read, and must not be overwritten.
    fs::create_directory(dir / "com.example.blocked.plist");
    movara::test::writeFile(dir / "com.example.blocked.plist" / "inside", "keep");
    HXUserDefaults defaults(dir.path().string(), "com.example.blocked");
    defaults.setBool(true, "Flag");
    EXPECT_TRUE(defaults.boolForKey("Flag"));
    HXError error;
    EXPECT_FALSE(defaults.synchronize(&error));
    EXPECT_FALSE(error.localizedDescription().empty());
    EXPECT_EQ(movara::test::readFile(dir / "com.example.blocked.plist" / "inside"), "keep");
}

TEST(UserDefaults, PersistentDomainsOfOtherIdentifiers)
{
    TempDir dir;
    HXUserDefaults defaults(dir.path().string(), "com.example.app");
    EXPECT_TRUE(defaults.persistentDomainForName("com.example.other").empty());
    defaults.setPersistentDomain({ { "X", PL(1) }, { "Dropped", PL() } }, "com.example.other");
    EXPECT_EQ(defaults.persistentDomainForName("com.example.other"), (PL::Dictionary { { "X", PL(1) } }));
    EXPECT_TRUE(defaults.objectForKey("X").isNull()) << "another domain is not searched";
    ASSERT_TRUE(defaults.synchronize());

    HXUserDefaults reader(dir.path().string(), "com.example.reader");
    EXPECT_EQ(reader.persistentDomainForName("com.example.other"), (PL::Dictionary { { "X", PL(1) } }));

    defaults.setPersistentDomain({ { "Own", PL("yes") } }, "com.example.app");
    EXPECT_EQ(defaults.stringForKey("Own"), "yes");
    defaults.removePersistentDomainForName("com.example.other");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_TRUE(
        HXUserDefaults(dir.path().string(), "x").persistentDomainForName("com.example.other").empty());
}

// ---- Across real processes: the standard defaults of one run are there in the next --------------

TEST(UserDefaultsChild, Run)
{
    const char* role = std::getenv("MOVARA_DEFAULTS_CHILD");
    if (!role)
        GTEST_SKIP() << "runs only as a child of the user-defaults process tests";
    setenv("XDG_CONFIG_HOME", std::getenv("MOVARA_DEFAULTS_CONFIG"), 1);
    HXUserDefaults& defaults = HXUserDefaults::standardUserDefaults();
    std::string r = role;
    if (r == "write") {
        defaults.registerDefaults({ { "RegisteredOnly", PL(1) } });
        defaults.setBool(true, "GeneralPreferenceShowEqualizer");
        defaults.setInteger(kInt64Min, "Smallest");
        defaults.setString("Grüße 😀", "Text");
        defaults.setObject(PL(PL::Array { PL(PL::Dictionary {
                               { "name", PL("a movie") }, { "dataRef", PL(HXData("ref")) } }) }),
            "MVPRecentDocumentsUserDefault");
        defaults.setDouble(0.1, "Ratio");
        // No synchronize: leaving the program normally writes pending changes.
        std::printf("PATH=%s\n", defaults.pathForDomain(defaults.identifier()).c_str());
    } else if (r == "read") {
        EXPECT_TRUE(defaults.boolForKey("GeneralPreferenceShowEqualizer"));
        EXPECT_EQ(defaults.integerForKey("Smallest"), kInt64Min);
        EXPECT_EQ(defaults.stringForKey("Text"), "Grüße 😀");
        auto recent = defaults.arrayForKey("MVPRecentDocumentsUserDefault");
        ASSERT_EQ(recent.size(), 1u);
        EXPECT_EQ(recent[0]["dataRef"].dataValue(), HXData("ref"));
        EXPECT_EQ(defaults.doubleForKey("Ratio"), 0.1);
        EXPECT_TRUE(defaults.objectForKey("RegisteredOnly").isNull());
    } else if (r == "corrupt") {
        defaults.registerDefaults({ { "GeneralPreferenceNumberOfRecentItems", PL(10) } });
        EXPECT_EQ(defaults.integerForKey("GeneralPreferenceNumberOfRecentItems"), 10);
        EXPECT_TRUE(defaults.objectForKey("Text").isNull());
        defaults.setInteger(5, "After");
        EXPECT_TRUE(defaults.synchronize());
    } else if (r == "bundle") {
        std::printf("IDENTIFIER=%s\n", defaults.identifier().c_str());
        std::printf("GREETING=%s\n", HXLocalizedString("greeting").c_str());
    }
}

TEST(UserDefaultsProcess, ValuesSurviveARestart)
{
    TempDir config;
    auto written = runChild("write", config.path());
    ASSERT_EQ(written.status, 0) << written.output;
    auto start = written.output.find("PATH=");
    ASSERT_NE(start, std::string::npos) << written.output;
    std::string path = written.output.substr(start + 5, written.output.find('\n', start) - start - 5);
    EXPECT_EQ(path, (config / "movara-player" / "com.zantrel.movara.player.plist").string());
    ASSERT_TRUE(fs::exists(path));

    auto read = runChild("read", config.path());
    EXPECT_EQ(read.status, 0) << read.output;
}

TEST(UserDefaultsProcess, DamagedFileDoesNotStopTheProgramAndIsKept)
{
    TempDir config;
    fs::path folder = config / "movara-player";
    fs::create_directories(folder);
    fs::path file = folder / "com.zantrel.movara.player.plist";
    const std::string damaged = "<?xml version=\"1.0\"?><plist><dict><key>Text</key><string>cut off";
    movara::test::writeFile(file, damaged);

    auto run = runChild("corrupt", config.path());
    EXPECT_EQ(run.status, 0) << run.output;
    auto copies = corruptCopies(folder);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(movara::test::readFile(copies[0]), damaged);
    auto fresh = PL::readFromFile(file.string());
    ASSERT_TRUE(fresh);
    EXPECT_EQ((*fresh)["After"], PL(5));
}

TEST(UserDefaultsProcess, IdentifierComesFromTheMainBundle)
{
    TempDir bundle, config;
    fs::create_directories(bundle / "Resources");
    ASSERT_TRUE(PL(PL::Dictionary { { "HFBundleIdentifier", PL("com.example.bundled") } })
                    .writeToFile((bundle / "Info.plist").string()));
    ASSERT_TRUE(PL(PL::Dictionary { { "greeting", PL("Grüß Gott") } })
                    .writeToFile((bundle / "Resources" / "Localizable.strings.plist").string()));
    auto run = runChild("bundle", config.path(), bundle.path().string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("IDENTIFIER=com.example.bundled\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("GREETING=Grüß Gott\n"), std::string::npos) << run.output;

    auto plain = runChild("bundle", config.path());
    EXPECT_NE(plain.output.find("IDENTIFIER=com.zantrel.movara.player\n"), std::string::npos) << plain.output;
    EXPECT_NE(plain.output.find("GREETING=greeting\n"), std::string::npos) << plain.output;
}

namespace {

// The store's file as it is on disk now (empty when there is none).
PL::Dictionary onDisk(const HXUserDefaults& defaults)
{
    auto value = PL::readFromFile(defaults.pathForDomain(defaults.identifier()));
    return value && value->isDictionary() ? value->dictionaryValue() : PL::Dictionary {};
}

class UserDefaultsAutosaveTest : public ::testing::Test {
protected:
    void SetUp() override { HXRunLoop::main().setClock(clock); }
    void TearDown() override { HXRunLoop::main().setClock(nullptr); }
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    TempDir dir;
};

} // namespace

TEST_F(UserDefaultsAutosaveTest, ChangesReachTheDiskOneDelayAfterTheFirst)
{
    HXUserDefaults defaults(dir.path().string(), "autosave");
    defaults.setAutosaveDelay(1.0);
    defaults.setInteger(1, "a");
    clock->advance(0.6);
    defaults.setInteger(2, "b"); // rides along with the first change: the date does not move
    EXPECT_TRUE(onDisk(defaults).empty());
    clock->advance(0.5);
    auto stored = onDisk(defaults);
    EXPECT_EQ(stored["a"].integerValue(), 1);
    EXPECT_EQ(stored["b"].integerValue(), 2);

    // A later change, a removal and a replaced domain each start a new wait.
    struct Step {
        const char* name;
        std::function<void()> change;
        std::function<bool(const PL::Dictionary&)> written;
    };
    const Step steps[] = {
        { "set", [&] { defaults.setString("x", "c"); },
            [](const PL::Dictionary& d) { return d.count("c") == 1; } },
        { "remove", [&] { defaults.removeObjectForKey("a"); },
            [](const PL::Dictionary& d) { return d.count("a") == 0; } },
        { "domain",
            [&] {
                defaults.setPersistentDomain({ { "only", PL(true) } }, "autosave");
            },
            [](const PL::Dictionary& d) { return d.size() == 1 && d.count("only"); } },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        clock->advance(0.9);
        EXPECT_FALSE(step.written(onDisk(defaults)));
        clock->advance(0.2);
        EXPECT_TRUE(step.written(onDisk(defaults)));
    }
}

TEST_F(UserDefaultsAutosaveTest, WithoutADelayOnlySynchronizeWrites)
{
    HXUserDefaults defaults(dir.path().string(), "manual");
    defaults.setInteger(1, "a");
    clock->advance(60);
    EXPECT_TRUE(onDisk(defaults).empty());
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(onDisk(defaults)["a"].integerValue(), 1);
}

TEST_F(UserDefaultsAutosaveTest, AStoreGoneBeforeItsWriteLeavesNothingBehind)
{
    {
        HXUserDefaults defaults(dir.path().string(), "gone");
        defaults.setAutosaveDelay(1.0);
        defaults.setInteger(1, "a");
    }
    clock->advance(2); // the queued write must not touch the destroyed store
    EXPECT_FALSE(fs::exists(dir.path() / "gone.plist"));
}
