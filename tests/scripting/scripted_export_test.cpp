// Exports from scripts through the player's socket: which exporter a kind of file finds, the files an export
// may and may not replace, and exporter settings saved by one script and used by the next.
#include "scripting_test_support.h"

#include "platform/basekit/fourcc.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "scripting/scripted_export.h"

namespace movara::scriptingtest {
namespace {

class ScriptedExportTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        HXUserDefaults::standardUserDefaults().removeObjectForKey("MVExporterMostRecentSettings");
        doc = openPlayer("exported.mov");
        ASSERT_TRUE(doc && doc->movie());
    }
    void TearDown() override
    {
        HXUserDefaults::standardUserDefaults().removeObjectForKey("MVExporterMostRecentSettings");
        ScriptingTest::TearDown();
    }
    HXPropertyList exportAs(HXPropertyList as, const std::filesystem::path& destination, Dict more = {})
    {
        more["As"] = std::move(as);
        more["Destination"] = HXPropertyList(destination.string());
        return command("export", frontMovie(), std::move(more));
    }

    movara::test::TempDir out;
    std::shared_ptr<MVPMovieDocument> doc;
};

TEST_F(ScriptedExportTest, AnExporterIsFoundForAKindOfFile)
{
    struct Case {
        const char* name;
        HXPropertyList as;
        bool soundOnly; // of a movie without pictures
        std::optional<uint32_t> exporter; // its subtype; nothing: none
    };
    const Case cases[] = {
        { "MPEG-4 by its code", code("mpg4"), false, HXFourCharCode("mpg4") },
        { "MPEG-4 by its text", HXPropertyList("mpg4"), false, HXFourCharCode("mpg4") },
        { "a movie file, named by the maker of the movie exporter", code("MooV"), false,
            HXFourCharCode("MooV") },
        { "a movie file by its text", HXPropertyList("MooV"), false, HXFourCharCode("MooV") },
        { "sound of a movie", HXPropertyList("M4A"), false, HXFourCharCode("M4A ") },
        { "pictures of a movie without any", HXPropertyList("grex"), true, std::nullopt },
        { "timed text", HXPropertyList("tx3g"), false, std::nullopt },
        { "a kind nobody writes", HXPropertyList("zzzz"), false, std::nullopt },
        { "no kind", HXPropertyList(true), false, std::nullopt },
    };
    auto sound = MVMovie::movie();
    sound->insertTrack(doc->movie()->tracksOfMediaType(HXFourCharCode("soun")).front());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MVMovie* movie = c.soundOnly ? sound.get() : doc->movie().get();
        auto found = MVPScriptedExport::CanExport(
            MVPScriptedExport::targetCode(HXScriptValue(c.as)), movie, nullptr);
        ASSERT_EQ(found.has_value(), c.exporter.has_value());
        if (found) {
            EXPECT_EQ(found->componentSubType, *c.exporter);
        }
        if (!c.soundOnly) {
            EXPECT_EQ(command("canExport", frontMovie(), { { "As", c.as } })["result"],
                HXPropertyList(c.exporter.has_value()));
        }
    }
    // Without a kind, or for a movie without tracks, nothing exports.
    EXPECT_EQ(command("canExport", frontMovie())["result"], HXPropertyList(false));
    EXPECT_FALSE(MVPScriptedExport::CanExport(HXFourCharCode("mpg4"), MVMovie::movie().get(), nullptr));
}

TEST_F(ScriptedExportTest, ExportsReplaceOnlyWhenAllowed)
{
    struct Case {
        const char* name;
        bool existing;
        Dict arguments;
        int error;
        bool replaced; // the destination holds the export afterwards
    };
    const Case cases[] = {
        { "a new file", false, {}, 0, true },
        { "an existing file", true, {}, -48, false },
        { "an existing file, replacing", true, { { "Replacing", HXPropertyList(true) } }, 0, true },
        { "a kind nobody writes", false, { { "As", HXPropertyList("zzzz") } }, -2005, false },
        { "a preset the exporter lacks", false, { { "UsingSettingsPreset", HXPropertyList("Huge") } }, -10008,
            false },
        { "a settings file that is not there", false,
            { { "UsingSettingsFile", HXPropertyList("/no/such.plist") } }, 0, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto destination = out / "copy.mov";
        std::filesystem::remove(destination);
        if (c.existing)
            movara::test::writeFile(destination, "keep me");
        Dict arguments = c.arguments;
        if (!arguments.count("As"))
            arguments["As"] = code("MooV");
        arguments["Destination"] = HXPropertyList(destination.string());
        auto reply = command("export", frontMovie(), arguments);
        EXPECT_EQ(reply["errorNumber"].integerValue(), c.error) << reply["error"].stringValue();
        if (c.error) {
            EXPECT_FALSE(reply["error"].stringValue().empty());
        }
        if (c.replaced) {
            HXError error;
            EXPECT_TRUE(MVMovie::movieWithFile(destination.string(), &error)) << error.localizedDescription();
        } else if (c.existing) {
            EXPECT_EQ(movara::test::readFile(destination), "keep me");
        } else {
            EXPECT_FALSE(std::filesystem::exists(destination));
        }
    }
}

TEST_F(ScriptedExportTest, SettingsAreSavedAndUsedAgain)
{
    auto settings = out / "settings.plist";
    // An exporter never used has no settings to save.
    auto reply = command("saveExportSettings", frontMovie(),
        { { "As", HXPropertyList("mpg4") }, { "DestinationFile", HXPropertyList(settings.string()) } });
    EXPECT_EQ(reply["errorNumber"].integerValue(), -2107);
    EXPECT_FALSE(std::filesystem::exists(settings));

    // An export with a preset leaves the preset's settings as the ones used last; 'expr' wins over a preset.
    ASSERT_FALSE(exportAs(
        HXPropertyList("mpg4"), out / "low.mp4", { { "UsingSettingsPreset", HXPropertyList("Low") } })
                     .contains("errorNumber"));
    reply = command("saveExportSettings", frontMovie(),
        { { "As", HXPropertyList("mpg4") }, { "DestinationFile", HXPropertyList(settings.string()) } });
    ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
    EXPECT_EQ(reply["result"]["$class"].stringValue(), "movie");
    auto saved = HXPropertyList::readFromFile(settings.string());
    ASSERT_TRUE(saved);
    EXPECT_EQ((*saved)["MVExpVideoDataRate"].integerValue(), 48000);
    EXPECT_EQ((*saved)["MVExpComponentSubType"].integerValue(), int64_t(HXFourCharCode("mpg4")));
    // Saving over it again needs leave.
    EXPECT_EQ(command("saveExportSettings", frontMovie(),
                  { { "As", HXPropertyList("mpg4") },
                      { "DestinationFile", HXPropertyList(settings.string()) } })["errorNumber"]
                  .integerValue(),
        -48);
    ASSERT_FALSE(exportAs(HXPropertyList("mpg4"), out / "again.mp4",
        { { "Using", code("expr") }, { "UsingSettingsPreset", HXPropertyList("High") } })
                     .contains("errorNumber"));
    EXPECT_EQ(MVExporter::mostRecentSettings(*MVExporter::exporterWithSubType(HXFourCharCode("mpg4")))
                  ->at("MVExpVideoDataRate")
                  .integerValue(),
        48000);
    // The file serves a later export.
    ASSERT_FALSE(exportAs(HXPropertyList("mpg4"), out / "fromfile.mp4",
        { { "UsingSettingsFile", HXPropertyList(settings.string()) } })
                     .contains("errorNumber"));
    EXPECT_TRUE(std::filesystem::exists(out / "fromfile.mp4"));
    // A file that holds no settings is refused.
    movara::test::writeFile(out / "junk.plist", "not a list");
    EXPECT_EQ(exportAs(HXPropertyList("mpg4"), out / "junk.mp4",
                  { { "UsingSettingsFile", HXPropertyList((out / "junk.plist").string()) } })["errorNumber"]
                  .integerValue(),
        HXScriptParameterError);
}

TEST_F(ScriptedExportTest, ATrackExportsAlone)
{
    auto destination = out / "sound.mov";
    auto reply = command("export", Specifier::index("tracks", -1, ptr(frontMovie())),
        { { "As", code("MooV") }, { "Destination", HXPropertyList(destination.string()) } });
    ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
    HXError error;
    auto movie = MVMovie::movieWithFile(destination.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    EXPECT_EQ(movie->trackCount(), 1);
    EXPECT_EQ(movie->trackAtIndex(1)->mediaType(),
        doc->movie()->trackAtIndex(doc->movie()->trackCount())->mediaType());
}

} // namespace
} // namespace movara::scriptingtest
