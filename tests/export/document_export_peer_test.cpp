// The document's Export and Modal Export commands: which way an export goes (queued, a session file,
// in the player, cloned in the player) by the media keys and the modifier keys, what the queued job
// holds, the quiet and the reported statuses, and the movie box settings put back after an export in
// the player. The dialog is answered by the test; the files are checked by ffprobe and plistlib.
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "export/document_export.h"
#include "platform/mvkit/export/export_session_dialog.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

using namespace movara::test;
namespace fs = std::filesystem;

namespace {

class DocumentExportPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        server = HXHeadlessWindowServer::install();
        env.set("HOME", temp.path().string());
        env.set("XDG_CONFIG_HOME", (temp / "config").string()); // no user folders: ~/Desktop, ~/Videos
        fs::create_directories(temp / "Desktop");
        source = temp / "source.mov";
        ASSERT_TRUE(movie::makeMovie(source, 1));
        HXError error;
        document.movie = MVMovie::movieWithFile(source.string(), &error);
        ASSERT_TRUE(document.movie) << error.localizedDescription();
        document.displayName = "source";
        MVPDocumentExport::setJobQueue(
            [this](const HXPropertyList::Dictionary& job) { queued.push_back(job); });
        HXAlert::setAlertDidAppearHandler([this](HXAlert& alert) {
            alerts.push_back(alert.messageText() + " | " + alert.informativeText());
            auto button = alert.buttons().front();
            HXRect r = button->convertRectToView(button->bounds(), nullptr);
            HXHeadlessWindowServer::postClick(alert.window(), { HXMidX(r), HXMidY(r) });
        });
    }
    void TearDown() override
    {
        MVExportSessionSetUIHandler(nullptr);
        MVPDocumentExport::setJobQueue(nullptr);
        MVPDocumentExport::setMediaKeys(nullptr);
        HXAlert::setAlertDidAppearHandler(nullptr);
    }
    // The dialog: confirms with `kind` into `target`, or cancels when `target` is empty.
    void answerDialog(MVExporterKind kind, const fs::path& target)
    {
        MVExportSessionSetUIHandler([=, this](MVExportSession& session, const std::string& suggested) {
            suggestions.push_back(suggested);
            if (target.empty())
                return MVExportUserCanceledErr;
            session.setExporter(MVExporter::exporterOfKind(kind));
            session.setTargetPath(target.string());
            return 0;
        });
    }
    void useMediaKeys(const std::string& xml)
    {
        writeFile(temp / "MediaKeys.plist", xml);
        keys = std::make_unique<MVMediaKeys>((temp / "MediaKeys.plist").string());
        MVPDocumentExport::setMediaKeys(keys.get());
    }

    TempDir temp;
    EnvironmentGuard env;
    std::shared_ptr<HXHeadlessWindowServer> server;
    fs::path source;
    MVPExportDocument document;
    std::vector<HXPropertyList::Dictionary> queued;
    std::vector<std::string> alerts, suggestions;
    std::unique_ptr<MVMediaKeys> keys;
};

std::string mediaKeysPlist(const std::string& key)
{
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>" + key
        + "</key><array><string>enable</string></array></dict></plist>";
}

TEST_F(DocumentExportPeer, ExportTakesTheWayTheKeysSay)
{
    struct Case {
        const char* name;
        std::string mediaKey; // "" none
        uint32_t modifiers;
        MVPDocumentExport::Route route;
        bool fileWrittenNow;
    } cases[] = {
        { "queued", "", 0, MVPDocumentExport::Route::Queued, false },
        { "three of the four modifiers", "", 0x1c0000, MVPDocumentExport::Route::Queued, false },
        { "session file", "", 0x1e0000, MVPDocumentExport::Route::WroteSessionFile, false },
        { "in the player", "MVPlayerExportInproc", 0, MVPDocumentExport::Route::InPlayer, true },
        { "cloned", "MVPlayerExportCloneInproc", 0, MVPDocumentExport::Route::ClonedInPlayer, true },
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useMediaKeys(c.mediaKey.empty() ? mediaKeysPlist("Nothing") : mediaKeysPlist(c.mediaKey));
        queued.clear();
        auto target = temp / ("out" + std::to_string(n++) + ".mp4");
        answerDialog(MVExporterKind::MPEG4, target);
        auto result = MVPDocumentExport::exportMovie(document, c.modifiers);
        EXPECT_EQ(result.route, c.route);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(queued.size(), c.route == MVPDocumentExport::Route::Queued ? 1u : 0u);
        EXPECT_EQ(fs::exists(target), c.fileWrittenNow);
        if (c.fileWrittenNow) {
            auto streams = movie::probeStreams(target);
            ASSERT_EQ(streams.size(), 2u);
            EXPECT_EQ(streams[0].codec, "h264");
        }
        if (c.route == MVPDocumentExport::Route::Queued) {
            const auto& job = queued.front();
            EXPECT_EQ(HXPropertyList(job)["MVExpType"].stringValue(), "ExportSession");
            EXPECT_EQ(
                HXPropertyList(job)["description"].stringValue(), "Export " + target.filename().string());
            auto session = MVExportSession::createFromSerialization(
                HXPropertyList(job)["MVExportSession"].dataValue());
            ASSERT_TRUE(session);
            EXPECT_EQ(session->targetPath(), target.string());
        }
    }
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(suggestions.front(), source.string());
}

TEST_F(DocumentExportPeer, SessionFileRoundTripsThroughPlistlibAndQueuesAgain)
{
    if (!haveProgram("python3"))
        GTEST_SKIP() << "python3 is needed";
    auto target = temp / "later.m4a";
    answerDialog(MVExporterKind::AudioOnly, target);
    auto result = MVPDocumentExport::exportMovie(document, 0x1e0000);
    ASSERT_EQ(result.route, MVPDocumentExport::Route::WroteSessionFile);
    auto file = temp / "Desktop" / "out.exportSession";
    ASSERT_EQ(MVPDocumentExport::exportSessionFilePath(), file.string());
    auto check = runCommand({ "python3", "-c",
        "import plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "assert d['MVExpType']=='ExportSession'\n"
        "inner=plistlib.loads(d['MVExportSession'])\n"
        "print(d['description'], inner['MVExportSessionTarget'])\n",
        file.string() });
    EXPECT_EQ(check.output, "Export later.m4a " + target.string() + "\n");
    auto read = HXPropertyList::readFromFile(file.string());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->dictionaryValue(), result.job);
}

TEST_F(DocumentExportPeer, CanceledDialogIsQuietAndFailuresAreShown)
{
    answerDialog(MVExporterKind::MPEG4, {});
    auto canceled = MVPDocumentExport::exportMovie(document, 0);
    EXPECT_EQ(canceled.status, MVExportUserCanceledErr);
    EXPECT_EQ(canceled.route, MVPDocumentExport::Route::None);
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(queued.empty());

    // In the player, into a folder that does not exist: the failure is shown with its number, after the
    // progress sheet went.
    useMediaKeys(mediaKeysPlist("MVPlayerExportInproc"));
    answerDialog(MVExporterKind::MPEG4, temp / "missing" / "x.mp4");
    size_t alertsWhenEnded = 99;
    int ended = 0;
    document.progressEnded = [&] {
        ++ended;
        alertsWhenEnded = alerts.size();
    };
    auto failed = MVPDocumentExport::exportMovie(document, 0);
    EXPECT_EQ(failed.status, MVExportIOErr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("(-36)"), std::string::npos) << alerts[0];
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(alertsWhenEnded, 0u) << "the sheet goes before the failure is shown";

    // Stopped from the progress sheet: quiet, and nothing is left.
    document.progress = [](double f) { return f > 0.3 ? 1 : 0; };
    answerDialog(MVExporterKind::MPEG4, temp / "stopped.mp4");
    auto stopped = MVPDocumentExport::exportClassic(document);
    EXPECT_EQ(stopped.status, MVExportProgressStoppedErr);
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_EQ(ended, 2) << "a stopped export ends its progress too";
    EXPECT_FALSE(fs::exists(temp / "stopped.mp4"));
}

TEST_F(DocumentExportPeer, InPlayerExportPutsTheMovieBoxSettingsBack)
{
    document.movie->setAttributeForKey(
        HXPropertyList::Array { 0.0, 0.0, 0.5, 1.0 }, "MVMovieVisualMovieBoxBackgroundColorAttribute");
    std::vector<HXPropertyList> seen;
    document.progress = [&](double) {
        seen.push_back(document.movie->attributeForKey("MVMovieVisualDrawsMovieBoxBackgroundColorAttribute"));
        return 0;
    };
    answerDialog(MVExporterKind::Movie, temp / "copy.mov");
    auto result = MVPDocumentExport::exportClassic(document);
    EXPECT_EQ(result.status, 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen.front().boolValue()); // drawn white while exporting
    EXPECT_EQ(document.movie->attributeForKey("MVMovieVisualMovieBoxBackgroundColorAttribute"),
        HXPropertyList(HXPropertyList::Array { 0.0, 0.0, 0.5, 1.0 }));
    EXPECT_TRUE(
        document.movie->attributeForKey("MVMovieVisualDrawsMovieBoxBackgroundColorAttribute").isNull());
    EXPECT_EQ(movie::frameHashes(temp / "copy.mov"), movie::frameHashes(source));
}

TEST_F(DocumentExportPeer, SuggestedDestination)
{
    fs::create_directories(temp / "Videos");
    auto fresh = MVMovie::movie();
    struct Case {
        const char* name;
        const MVMovie& movie;
        std::string displayName;
        fs::path expected;
    } cases[] = {
        { "beside its file", *document.movie, "whatever", source },
        { "new movie by its title", *fresh, "Holiday: Day 1/2", temp / "Videos" / "Holiday- Day 1-2" },
        { "new movie without a title", *fresh, "", temp / "Videos" / "Movie" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPDocumentExport::suggestedDestination(c.movie, c.displayName), c.expected.string())
            << c.name;
}

} // namespace
