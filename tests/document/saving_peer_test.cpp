// Saving a real movie document: edits made through the menu actions, then Save in place, Save As
// self-contained and as a reference movie, undo after a save; ffprobe and ffmpeg read what was written.
// A save cancelled from the progress sheet, a save into a folder that cannot be written and a failed
// background job leave the file and the document's changes alone; a background save runs through the job
// queue and the worker; quitting with an edited movie saves it.
#include "movie_document_test_support.h"

#include "document/movie_progress_window_controller.h"
#include "document/persistence.h"
#include "export/job_manager.h"
#include "export/job_progress_window_controller.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/button.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/window.h"
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;
using namespace movara::test::movie;
namespace fs = std::filesystem;

namespace {

class SavingPeerTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        source = dir.path() / "source.mov";
        // 30 frames at 10 per second, each a key frame, no sound: every cut is exact.
        ASSERT_TRUE(makeMovie(source, 3, ""));
        sourceFrames = frameHashes(source, "0:v");
        ASSERT_EQ(sourceFrames.size(), 30u);
        HXAlert::setAlertDidAppearHandler([this](HXAlert& alert) {
            alerts.push_back(alert.messageText());
            alert.buttons().at(0)->performClick();
        });
    }

    void TearDown() override
    {
        HXSavePanel::setPanelDidAppearHandler(nullptr);
        if (fs::exists(MVMediaKeys::defaultPath())) {
            fs::remove(MVMediaKeys::defaultPath());
            MVMediaKeys::mediaKeys().reload();
        }
        if (doc)
            doc->close();
        doc.reset();
        DocumentTest::TearDown();
    }

    void open(const fs::path& path)
    {
        HXError error;
        doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "mov", false, &error);
        ASSERT_TRUE(doc) << error.localizedDescription();
        doc->makeWindowControllers();
        doc->showWindows();
        view = findMovieView(doc->movieWindow()->contentView());
        ASSERT_TRUE(view);
        doc->movieWindow()->makeKeyAndOrderFront();
        doc->movieWindow()->makeFirstResponder(view);
    }

    static std::shared_ptr<MVMovieView> findMovieView(const std::shared_ptr<HXView>& root)
    {
        if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(root))
            return movieView;
        for (const auto& subview : root ? root->subviews() : std::vector<std::shared_ptr<HXView>> {})
            if (auto movieView = findMovieView(subview))
                return movieView;
        return nullptr;
    }

    // Frames [first, first + count) at 10 frames per second selected.
    void select(int first, int count)
    {
        doc->movie()->setSelection({ MVMakeTime(first * 60, 600), MVMakeTime(count * 60, 600) });
    }

    // An item of the Edit or File menu chosen: its action travels the responder chain.
    void choose(const char* action)
    {
        ASSERT_TRUE(app->sendAction(action, nullptr, nullptr)) << action;
        doc->undoManager()->endEventGroup();
    }

    // The save panel answers with `path` when it shows.
    void answerPanelWith(const fs::path& path)
    {
        HXSavePanel::setPanelDidAppearHandler([path](HXSavePanel& panel) {
            panel.setDirectory(path.parent_path().string());
            panel.setNameFieldStringValue(path.filename().string());
            panel.ok();
        });
    }

    // Runs a save and the main loop until it has ended; the did-save answer.
    std::optional<bool> save(HXSaveOperationType operation)
    {
        auto result = std::make_shared<std::optional<bool>>();
        doc->performSaveOperation(operation, [result](MVPMovieDocument&, bool ok) { *result = ok; });
        runUntil([&] { return result->has_value(); }, 60);
        return *result;
    }

    // Alerts show on the next turn of the main loop: runs it until `n` have been answered.
    bool answeredAlerts(size_t n)
    {
        runUntil([&] { return alerts.size() >= n; }, 10);
        return alerts.size() == n;
    }

    std::vector<std::string> frames(std::initializer_list<std::pair<int, int>> runs)
    {
        std::vector<std::string> out;
        for (auto [first, count] : runs)
            for (int i = first; i < first + count; ++i)
                out.push_back(sourceFrames.at(size_t(i)));
        return out;
    }

    static long videoFrames(const fs::path& path)
    {
        auto streams = probeStreams(path);
        return streams.size() == 1 && streams[0].codec == "mpeg4" ? streams[0].frames : -1;
    }

    TempDir dir;
    fs::path source;
    std::vector<std::string> sourceFrames;
    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovieView> view;
    std::vector<std::string> alerts;
};

TEST_F(SavingPeerTest, EditsSavedInPlaceAsSelfContainedAndAsReference)
{
    auto working = dir.path() / "working.mov";
    fs::copy_file(source, working);
    open(working);
    doc->movie()->setVisualBrightness(0.25f);
    auto expected = frames({ { 12, 3 }, { 5, 5 }, { 15, 12 } });
    auto beforeTrim = frames({ { 10, 5 }, { 5, 5 }, { 15, 15 }, { 10, 2 } });
    // Cut 10-14, paste them at the start, copy two and paste them at the end, delete, trim.
    select(10, 5);
    choose("cut:"); // S0-9 S15-29
    select(0, 0);
    choose("paste:"); // S10-14 S0-9 S15-29
    select(0, 2);
    choose("copy:");
    select(30, 0);
    choose("paste:"); // S10-14 S0-9 S15-29 S10-11
    select(5, 5);
    choose("delete:"); // S10-14 S5-9 S15-29 S10-11
    select(2, 20);
    choose("trim:"); // S12-14 S5-9 S15-26
    EXPECT_TRUE(doc->isDocumentEdited());

    // Save: the movie's file is updated in place.
    choose("saveDocument:");
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(videoFrames(working), 20);
    EXPECT_EQ(frameHashes(working, "0:v"), expected);
    EXPECT_NE(probeTags(working).find("com.zantrel.movara.player.version"), std::string::npos);
    {
        HXError error;
        auto reread = MVMovie::movieWithFile(working.string(), &error);
        ASSERT_TRUE(reread) << error.localizedDescription();
        EXPECT_FLOAT_EQ(MVPPersistence::movieBrightness(*reread), 0.25f);
    }

    // Undo after the save takes the trim back; saving again writes that.
    doc->undoManager()->undo();
    EXPECT_TRUE(doc->isDocumentEdited());
    choose("saveDocument:");
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(frameHashes(working, "0:v"), beforeTrim);
    doc->undoManager()->redo();
    choose("saveDocument:");
    EXPECT_EQ(frameHashes(working, "0:v"), expected);

    // Save As, self-contained: the document moves to the new file.
    auto flat = dir.path() / "flat.mov";
    answerPanelWith(flat);
    auto edited = doc->movie();
    EXPECT_EQ(save(HXSaveAsOperation), true);
    // The progress sheet follows the document to the new movie; the old one keeps nothing of it.
    EXPECT_NE(doc->movie(), edited);
    EXPECT_EQ(doc->movieProgressWindowController()->movie(), doc->movie());
    EXPECT_FALSE(edited->progressProc());
    EXPECT_EQ(doc->fileName(), flat.string());
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(videoFrames(flat), 20);
    EXPECT_EQ(frameHashes(flat, "0:v"), expected);
    EXPECT_NE(probeTags(flat).find("com.zantrel.movara.player.version"), std::string::npos);

    // Save As, reference: the samples stay where they are.
    doc->setFlatten(false);
    auto ref = dir.path() / "ref.mov";
    answerPanelWith(ref);
    EXPECT_EQ(save(HXSaveAsOperation), true);
    EXPECT_EQ(doc->fileName(), ref.string());
    EXPECT_LT(fs::file_size(ref), fs::file_size(flat) / 4);
    // ffmpeg follows the alias records when asked to.
    EXPECT_EQ(frameHashes(ref, "0:v", { "-enable_drefs", "1" }), expected);
    EXPECT_TRUE(alerts.empty()) << alerts.front();
}

TEST_F(SavingPeerTest, SaveToLeavesTheDocumentOnItsFile)
{
    open(source);
    select(0, 10);
    choose("delete:");
    auto copy = dir.path() / "copy.mov";
    answerPanelWith(copy);
    EXPECT_EQ(save(HXSaveToOperation), true);
    EXPECT_EQ(doc->fileName(), source.string());
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(frameHashes(copy, "0:v"), frames({ { 10, 20 } }));
}

TEST_F(SavingPeerTest, CancelFromTheProgressSheetOrAnUnwritableFolderLeavesEverything)
{
    open(source);
    auto target = dir.path() / "target.mov";
    fs::copy_file(source, target);
    std::string originalSource = readFile(source);
    std::string originalTarget = readFile(target);
    select(0, 10);
    choose("cut:");

    // Cancel clicked on the progress sheet while the movie is written over `target`.
    auto progress = doc->movieProgressWindowController();
    auto sheet = progress->window();
    sheet->orderOut(); // gives the sheet its number
    HXPoint onCancel
        = HXMakePoint(HXMidX(progress->cancelButton()->frame()), HXMidY(progress->cancelButton()->frame()));
    app->postEvent(HXEvent::mouseEvent(HXLeftMouseDown, onCancel, 0, 0, sheet->windowNumber()), false);
    app->postEvent(HXEvent::mouseEvent(HXLeftMouseUp, onCancel, 0, 0, sheet->windowNumber()), false);
    std::optional<bool> saved;
    doc->writeToURL(HXURL::fileURLWithPath(target.string()), HXSaveAsOperation,
        [&](MVPMovieDocument&, bool ok) { saved = ok; });
    EXPECT_EQ(saved, false);
    EXPECT_EQ(readFile(target), originalTarget);
    EXPECT_EQ(doc->fileName(), source.string());
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_FALSE(sheet->isVisible()) << "the sheet goes away with the cancelled save";
    EXPECT_TRUE(answeredAlerts(1)) << "the cancelled save is reported";

    // A folder that cannot be written.
    if (::geteuid() != 0) {
        auto locked = dir.path() / "locked";
        fs::create_directory(locked);
        ::chmod(locked.c_str(), 0555);
        answerPanelWith(locked / "new.mov");
        EXPECT_EQ(save(HXSaveAsOperation), false);
        ::chmod(locked.c_str(), 0755);
        EXPECT_TRUE(fs::is_empty(locked));
        EXPECT_EQ(doc->fileName(), source.string());
        EXPECT_TRUE(doc->isDocumentEdited());
        EXPECT_TRUE(answeredAlerts(2));
    }
    EXPECT_EQ(readFile(source), originalSource);
    // Nothing half-written is left anywhere.
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST_F(SavingPeerTest, RevertGoesBackToTheFile)
{
    open(source);
    select(0, 10);
    choose("delete:");
    ASSERT_TRUE(doc->isDocumentEdited());
    auto item = std::make_shared<HXMenuItem>("Revert", "revertDocumentToSaved:", "");
    EXPECT_TRUE(doc->validateMenuItem(*item));
    choose("revertDocumentToSaved:");
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(doc->fileName(), source.string());
    EXPECT_EQ(doc->movie()->duration().timeValue * 10 / doc->movie()->duration().timeScale, 30);
    EXPECT_FALSE(doc->validateMenuItem(*item)) << "nothing left to revert";
}

TEST_F(SavingPeerTest, AnUntitledMovieIsSavedThroughThePanel)
{
    doc = MVPMovieDocument::document();
    ASSERT_TRUE(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    view = findMovieView(doc->movieWindow()->contentView());
    ASSERT_TRUE(view);
    doc->movieWindow()->makeKeyAndOrderFront();
    doc->movieWindow()->makeFirstResponder(view);
    // Frames 5-14 of another movie pasted in.
    HXError error;
    auto other = MVMovie::movieWithFile(source.string(), &error);
    ASSERT_TRUE(other) << error.localizedDescription();
    other->setSelection({ MVMakeTime(300, 600), MVMakeTime(600, 600) });
    MVMoviePasteboard::generalPasteboard().setMovie(other->copy());
    choose("paste:");
    MVMoviePasteboard::generalPasteboard().setMovie(nullptr);
    ASSERT_TRUE(doc->isDocumentEdited());

    auto saved = dir.path() / "untitled.mov";
    bool saveWasOffered = true;
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& panel) {
        // While the panel is up, saving again is not offered.
        auto item = std::make_shared<HXMenuItem>("Save", "saveDocument:", "");
        saveWasOffered = doc->validateMenuItem(*item);
        panel.setDirectory(dir.path().string());
        panel.setNameFieldStringValue("untitled.mov");
        panel.ok();
    });
    EXPECT_EQ(save(HXSaveOperation), true);
    EXPECT_FALSE(saveWasOffered);
    EXPECT_EQ(doc->fileName(), saved.string());
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(frameHashes(saved, "0:v"), frames({ { 5, 10 } }));
}

#ifdef MOVARA_HELPER
TEST_F(SavingPeerTest, BackgroundSaveRunsThroughTheJobQueueAndTheWorker)
{
    JobManager::sharedJobManager().setHelperPath(MOVARA_HELPER);
    fs::create_directories(fs::path(MVMediaKeys::defaultPath()).parent_path());
    writeFile(MVMediaKeys::defaultPath(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>MVPlayerSaveAsOnlyAsync</key><array><string>enable</string></array></dict></plist>\n");
    MVMediaKeys::mediaKeys().reload();

    open(source);
    std::string originalSource = readFile(source);
    select(0, 10);
    choose("delete:");
    ASSERT_TRUE(MVPMovieDocument::shouldSaveInBackground(doc->savePathChoice()));

    // A failed job (a folder that cannot be written) changes nothing and says so.
    if (::geteuid() != 0) {
        auto locked = dir.path() / "locked";
        fs::create_directory(locked);
        ::chmod(locked.c_str(), 0555);
        answerPanelWith(locked / "bg.mov");
        EXPECT_EQ(save(HXSaveAsOperation), false);
        ::chmod(locked.c_str(), 0755);
        EXPECT_TRUE(fs::is_empty(locked));
        EXPECT_EQ(doc->fileName(), source.string());
        EXPECT_TRUE(doc->isDocumentEdited());
        EXPECT_TRUE(answeredAlerts(1));
        EXPECT_TRUE(doc->flatteningFileName().empty());
    }

    // A Save As cancelled from the job's sheet leaves the document on its file, with its changes, and
    // nothing at the place it was going to.
    {
        auto cancelled = dir.path() / "cancelled.mov";
        answerPanelWith(cancelled);
        const size_t alertsBefore = alerts.size();
        auto result = std::make_shared<std::optional<bool>>();
        doc->performSaveOperation(HXSaveAsOperation, [result](MVPMovieDocument&, bool ok) { *result = ok; });
        ASSERT_TRUE(runUntil([&] { return doc->flattenJobController() || result->has_value(); }, 60));
        auto controller = doc->flattenJobController();
        ASSERT_TRUE(controller) << "the job ended before it could be cancelled";
        controller->cancel();
        ASSERT_TRUE(runUntil([&] { return result->has_value(); }, 60));
        EXPECT_EQ(*result, std::optional<bool>(false));
        EXPECT_EQ(doc->fileName(), source.string());
        EXPECT_TRUE(doc->isDocumentEdited());
        EXPECT_TRUE(doc->flatteningFileName().empty());
        EXPECT_FALSE(fs::exists(cancelled));
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find("cancelled"), std::string::npos) << entry.path();
        EXPECT_EQ(alerts.size(), alertsBefore) << "a cancel is no failure";
        // The document saves again afterwards.
        EXPECT_FALSE(doc->flattenJobController());
    }

    // Save To in the background: a copy, the document stays.
    auto copy = dir.path() / "copy.mov";
    answerPanelWith(copy);
    auto sheetShown = count(HXWindowDidEndSheetNotification, doc->movieWindow().get());
    EXPECT_EQ(save(HXSaveToOperation), true);
    EXPECT_EQ(*sheetShown, 2) << "the save panel, then the job's sheet, on the player window";
    EXPECT_EQ(doc->fileName(), source.string());
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(frameHashes(copy, "0:v"), frames({ { 10, 20 } }));

    // Save As in the background: the document moves to the written file.
    auto saved = dir.path() / "bg.mov";
    answerPanelWith(saved);
    EXPECT_EQ(save(HXSaveAsOperation), true);
    EXPECT_EQ(doc->fileName(), saved.string());
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(videoFrames(saved), 20);
    EXPECT_EQ(frameHashes(saved, "0:v"), frames({ { 10, 20 } }));
    EXPECT_EQ(readFile(source), originalSource);
}
#endif

TEST_F(SavingPeerTest, QuittingWithAnEditedMovieSavesIt)
{
    auto working = dir.path() / "working.mov";
    fs::copy_file(source, working);
    open(working);
    auto controller = HXDocumentController::sharedDocumentController();
    controller->addDocument(doc);
    select(0, 10);
    choose("cut:");
    ASSERT_TRUE(doc->isDocumentEdited());
    app->terminate();
    runUntil([&] { return app->didTerminate(); }, 20);
    EXPECT_TRUE(app->didTerminate());
    ASSERT_EQ(alerts.size(), 1u) << "only the question whether to save";
    EXPECT_EQ(frameHashes(working, "0:v"), frames({ { 10, 20 } }));
    doc.reset();
}

} // namespace
