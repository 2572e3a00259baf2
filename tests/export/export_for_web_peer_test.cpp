// Export for Web from its sheet to the finished folder: the poster, the page and the reference movie
// written at once, one job per target queued in order and run by the real worker, every file read by
// ffprobe, the reference movie pointing at the encoded movies; a second export asks before replacing.
#include "job_test_support.h"
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "export/document_export.h"
#include "export/export_ref_movie_for_web_window_controller.h"
#include "export/reference_movie_atoms.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/url.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/help_manager.h"
#include "platform/winkit/matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> folderContents(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The 'url ' locations of a reference movie's descriptors, with their data rates.
std::vector<std::pair<std::string, uint32_t>> referenceLocations(const std::string& bytes)
{
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16
            | uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
    };
    std::vector<std::pair<std::string, uint32_t>> out;
    if (bytes.size() < 16 || bytes.compare(4, 4, "moov") != 0 || bytes.compare(12, 4, "rmra") != 0)
        return out;
    for (size_t at = 16; at + 8 <= bytes.size(); at += be32(at)) {
        size_t end = at + be32(at);
        std::pair<std::string, uint32_t> location;
        for (size_t child = at + 8; child + 8 <= end; child += be32(child)) {
            if (bytes.compare(child + 4, 4, "rdrf") == 0)
                location.first = std::string(bytes.c_str() + child + 20);
            if (bytes.compare(child + 4, 4, "rmdr") == 0)
                location.second = be32(child + 12);
        }
        out.push_back(location);
        if (be32(at) == 0)
            break;
    }
    return out;
}

class ExportForWebPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        env.set("HOME", temp.path().string());
        env.set("XDG_CONFIG_HOME", (temp / "config").string());
        server = HXHeadlessWindowServer::install();
        videos = temp / "Videos"; // no user-dirs.dirs: the videos folder is ~/Videos
        fs::create_directories(temp / "bundle");
        fs::create_directory_symlink(
            fs::path(MOVARA_SOURCE_DIR) / "resources", temp / "bundle" / "Resources");
        resources = HXBundle::bundleWithPath((temp / "bundle").string());
        source = temp / "source.mov";
        ASSERT_TRUE(movie::makeMovie(source, 1));
        HXError error;
        movie = MVMovie::movieWithFile(source.string(), &error);
        ASSERT_TRUE(movie) << error.localizedDescription();
        MVPDocumentExport::setJobQueue(
            [this](const HXPropertyList::Dictionary& job) { queued.push_back(job); });
        HXAlert::setAlertDidAppearHandler([this](HXAlert& alert) {
            alerts.push_back(alert.messageText() + " | " + alert.informativeText());
            std::string title = answers.empty() ? std::string() : answers.front();
            if (!answers.empty())
                answers.erase(answers.begin());
            for (auto& button : alert.buttons()) {
                if (title.empty() || button->title() == title) {
                    HXRect r = button->convertRectToView(button->bounds(), nullptr);
                    HXHeadlessWindowServer::postClick(alert.window(), { HXMidX(r), HXMidY(r) });
                    return;
                }
            }
        });
    }
    void TearDown() override
    {
        MVPDocumentExport::setJobQueue(nullptr);
        HXAlert::setAlertDidAppearHandler(nullptr);
    }
    std::shared_ptr<MVPExportRefMovieForWebWindowController> sheet(const std::string& displayName)
    {
        auto controller
            = std::make_shared<MVPExportRefMovieForWebWindowController>(movie, displayName, resources);
        controller->beginSheet(nullptr, [this](long code) { ended.push_back(code); });
        return controller;
    }
    void checkAll(MVPExportRefMovieForWebWindowController& c)
    {
        c.exportForWebCheckbox()->setState(1);
        c.exportForCellumaCheckbox()->setState(1);
        c.exportForCellumaCellCheckbox()->setState(1);
        c.updateExportButton();
    }

    TempDir temp;
    fs::path videos;
    EnvironmentGuard env;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXBundle> resources;
    fs::path source;
    std::shared_ptr<MVMovie> movie;
    std::vector<HXPropertyList::Dictionary> queued;
    std::vector<std::string> alerts, answers;
    std::vector<long> ended;
};

TEST_F(ExportForWebPeer, AllThreeTargetsMakeTheWholeSite)
{
    auto controller = sheet("My Trip: Day/1.mov");
    EXPECT_EQ(controller->nameField()->stringValue(), "My Trip- Day-1");
    EXPECT_EQ(controller->folder(), videos.string());
    controller->nameField()->setStringValue("Trip");
    checkAll(*controller);
    ASSERT_TRUE(controller->exportButton()->isEnabled());
    controller->startExport(nullptr);
    EXPECT_EQ(ended, std::vector<long> { 1 });
    EXPECT_TRUE(alerts.empty()) << alerts.front();

    auto site = videos / "Trip";
    // Written at once; the movies come from the jobs, queued web, phone cellular, phone Wi-Fi.
    EXPECT_EQ(
        folderContents(site), (std::vector<std::string> { "ReadMe.html", "Trip-poster.jpg", "Trip.mov" }));
    ASSERT_EQ(queued.size(), 3u);
    std::vector<std::string> outs;
    for (const auto& job : queued) {
        HXPropertyList j(job);
        EXPECT_EQ(j["MVExpType"].stringValue(), "Export");
        EXPECT_TRUE(j["MVExpMovieIn"].isData());
        EXPECT_EQ(j["description"].stringValue(),
            "Export " + fs::path(j["MVExpNameOut"].stringValue()).filename().string());
        outs.push_back(j["MVExpNameOut"].stringValue());
    }
    EXPECT_EQ(outs,
        (std::vector<std::string> { (site / "Trip.mp4").string(), (site / "Trip-cell.m4v").string(),
            (site / "Trip-phone.m4v").string() }));

    // The page lists the movies in the same order.
    auto page = readFile(site / "ReadMe.html");
    auto web = page.find("<li><a href=\"Trip.mp4\">"), cell = page.find("Trip-cell.m4v"),
         phone = page.find("Trip-phone.m4v");
    EXPECT_TRUE(web != std::string::npos && web < cell && cell < phone && phone != std::string::npos);
    EXPECT_NE(page.find("width=\"160\" height=\"120\""), std::string::npos);

    // The reference movie points at the three movies with their data rates.
    auto locations = referenceLocations(readFile(site / "Trip.mov"));
    EXPECT_EQ(locations,
        (std::vector<std::pair<std::string, uint32_t>> {
            { "Trip.mp4", 150000 }, { "Trip-cell.m4v", 8000 }, { "Trip-phone.m4v", 60000 } }));

    // The real worker makes the movies.
    JobManager manager(INT_MAX, helperProgram);
    auto delegate = std::make_shared<RecordingDelegate>();
    std::vector<std::shared_ptr<Job>> jobs;
    for (const auto& params : queued) {
        jobs.push_back(manager.newJobWithParams(params, delegate));
        manager.startJob(jobs.back(), false);
    }
    ASSERT_TRUE(runUntil([&] { return std::all_of(jobs.begin(), jobs.end(), isFinal); }, 120));
    for (const auto& job : jobs)
        EXPECT_EQ(job->state(), JobState::Complete) << job->errorMessage();
    EXPECT_EQ(folderContents(site),
        (std::vector<std::string> {
            "ReadMe.html", "Trip-cell.m4v", "Trip-phone.m4v", "Trip-poster.jpg", "Trip.mov", "Trip.mp4" }));
    struct Probe {
        const char* file;
        const char* streams;
    } probes[] = {
        { "Trip.mp4", "h264,160,120\naac\n" },
        { "Trip-phone.m4v", "h264,160,120\naac\n" },
        { "Trip-cell.m4v", "h264,160,120\naac\n" },
        { "Trip-poster.jpg", "mjpeg,160,120\n" },
    };
    for (const auto& p : probes) {
        auto result = runCommand({ "ffprobe", "-v", "error", "-show_entries",
            "stream=codec_name,width,height", "-of", "csv=p=0", (site / p.file).string() });
        EXPECT_EQ(result.output, p.streams) << p.file;
    }
    for (const auto& [name, rate] : locations)
        EXPECT_TRUE(fs::exists(site / name)) << name;
}

TEST_F(ExportForWebPeer, ExportingAgainAsksBeforeReplacingAndNamesEveryFile)
{
    auto first = sheet("clip");
    first->exportForCellumaCheckbox()->setState(1);
    first->exportForCellumaCellCheckbox()->setState(0);
    first->exportForWebCheckbox()->setState(0);
    first->startExport(nullptr);
    ASSERT_EQ(ended, std::vector<long> { 1 });
    writeFile(videos / "clip" / "clip-phone.m4v", "encoded earlier");

    auto second = sheet("clip");
    // The saved targets come back: phone over Wi-Fi only.
    EXPECT_EQ(second->exportForCellumaCheckbox()->state(), 1);
    EXPECT_EQ(second->exportForWebCheckbox()->state(), 0);
    answers = { "Cancel" };
    second->startExport(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    for (const char* name : { "ReadMe.html", "clip-poster.jpg", "clip.mov", "clip-phone.m4v" })
        EXPECT_NE(alerts[0].find(name), std::string::npos) << name;
    EXPECT_EQ(ended.size(), 1u); // declined: the sheet stays open
    EXPECT_EQ(queued.size(), 1u);

    answers = { "Replace" };
    second->startExport(nullptr);
    EXPECT_EQ(ended, (std::vector<long> { 1, 1 }));
    EXPECT_EQ(queued.size(), 2u);
}

TEST_F(ExportForWebPeer, ButtonFolderAndFailures)
{
    // A saved folder that is gone falls back to the videos folder.
    HXUserDefaults::standardUserDefaults().setString(
        (temp / "gone").string(), "MVPExportRefMovieForWebOutputFolder");
    auto controller = sheet("clip");
    EXPECT_EQ(controller->folder(), videos.string());

    struct Case {
        const char* name;
        bool web, phone;
        bool enabled;
    } cases[]
        = { { "clip", false, false, false }, { "", true, false, false }, { "clip", false, true, true } };
    for (const auto& c : cases) {
        controller->nameField()->setStringValue(c.name);
        controller->exportForWebCheckbox()->setState(c.web);
        controller->exportForCellumaCheckbox()->setState(c.phone);
        controller->exportForCellumaCellCheckbox()->setState(0);
        controller->updateExportButton();
        EXPECT_EQ(controller->exportButton()->isEnabled(), c.enabled) << c.name << c.web << c.phone;
    }

    // A file where the folder should be: shown, the sheet stays, nothing queued.
    writeFile(videos / "clip", "a file");
    controller->startExport(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("is a file"), std::string::npos) << alerts[0];
    EXPECT_TRUE(ended.empty());
    EXPECT_TRUE(queued.empty());
}

TEST_F(ExportForWebPeer, PosterAndPageTakeTheSizeTheMovieIsShownAt)
{
    // The movie's own matrix doubles it: 160 x 120 as made, 320 x 240 as shown.
    MVMatrixRecord doubled = movie->matrix();
    doubled.values[0] *= 2;
    doubled.values[4] *= 2;
    movie->setMatrix(doubled);
    auto controller = sheet("big");
    controller->exportForCellumaCheckbox()->setState(1);
    controller->exportForCellumaCellCheckbox()->setState(0);
    controller->exportForWebCheckbox()->setState(0);
    controller->updateExportButton();
    controller->startExport(nullptr);
    ASSERT_EQ(ended, std::vector<long> { 1 });
    auto page = readFile(videos / "big" / "ReadMe.html");
    EXPECT_NE(page.find("width=\"320\" height=\"240\""), std::string::npos);
    auto poster = runCommand({ "ffprobe", "-v", "error", "-show_entries", "stream=width,height", "-of", "csv=p=0",
        (videos / "big" / "big-poster.jpg").string() });
    EXPECT_EQ(poster.output, "320,240\n");
}

TEST_F(ExportForWebPeer, HelpOpensTheProgramsHelpAtItsPageOnExporting)
{
    std::vector<std::string> opened;
    HXHelpManager::sharedHelpManager().setURLOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    auto controller = sheet("clip");
    controller->showContextHelp(nullptr);
    HXHelpManager::sharedHelpManager().setURLOpener(nullptr);
    ASSERT_EQ(opened.size(), 1u);
    const std::string suffix = "/Help/index.html#mvphoneweb";
    ASSERT_GT(opened[0].size(), suffix.size());
    EXPECT_EQ(opened[0].substr(opened[0].size() - suffix.size()), suffix);
    // The page is there and has the place the anchor names.
    auto url = HXURL::URLWithString(opened[0]);
    ASSERT_TRUE(url && url->isFileURL());
    EXPECT_NE(readFile(url->path()).find("id=\"mvphoneweb\""), std::string::npos);
    EXPECT_TRUE(ended.empty()) << "the sheet stays";
}

} // namespace

TEST_F(ExportForWebPeer, AFreshUserExportsIntoTheVideosFolderOfTheDesktop)
{
    // The desktop names its own videos folder, which does not exist yet.
    fs::create_directories(temp / "config");
    writeFile(
        temp / "config" / "user-dirs.dirs", "# written by the desktop\nXDG_VIDEOS_DIR=\"$HOME/Films\"\n");
    HXUserDefaults::standardUserDefaults().removeObjectForKey("MVPExportRefMovieForWebOutputFolder");
    auto controller = sheet("clip");
    EXPECT_EQ(controller->folder(), (temp / "Films").string());
    EXPECT_TRUE(fs::is_directory(temp / "Films"));
    controller->exportForCellumaCheckbox()->setState(1);
    controller->exportForCellumaCellCheckbox()->setState(0);
    controller->exportForWebCheckbox()->setState(0);
    controller->updateExportButton();
    controller->startExport(nullptr);
    EXPECT_TRUE(alerts.empty()) << alerts.front();
    EXPECT_EQ(ended, std::vector<long> { 1 });
    EXPECT_EQ(folderContents(temp / "Films" / "clip"),
        (std::vector<std::string> { "ReadMe.html", "clip-poster.jpg", "clip.mov" }));
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(HXPropertyList(queued[0])["MVExpNameOut"].stringValue(),
        (temp / "Films" / "clip" / "clip-phone.m4v").string());
    EXPECT_FALSE(fs::exists(temp / "Movies"));
}
