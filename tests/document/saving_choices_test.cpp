// What a save decides before and around writing: synchronous or background, the background job's
// parameters, names refused at the panel; and what the writer guarantees the document: its progress is
// always closed, a replaced file keeps its permissions, a movie with samples in memory is not handed to
// the worker.
#include "movie_document_test_support.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/process_info.h"
#include "platform/winkit/control.h"
#include "platform/winkit/save_panel.h"
#include "test_support.h"
#include "tests/platform/mvkit/movie_test_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

TEST(SavePathChoice, BackgroundOnlyForLargeSelfContainedSavesOrWhenAsked)
{
    using Choice = MVPMovieDocument::SavePathChoice;
    constexpr int64_t limit = 209715199;
    auto make = [](int64_t size) {
        Choice c;
        c.size = size;
        return c;
    };
    struct Row {
        const char* name;
        Choice choice;
        bool background;
    };
    Choice flattenOff = make(limit + 1);
    flattenOff.flatten = false;
    Choice flattenOffOnlyAsync = flattenOff;
    flattenOffOnlyAsync.onlyAsync = true;
    Choice forced = make(limit + 1);
    forced.forceSynchronousSave = true;
    Choice forcedOnlyAsync = forced;
    forcedOnlyAsync.onlyAsync = true;
    Choice noAsync = make(limit + 1);
    noAsync.noAsync = true;
    Choice inMemory = make(limit + 1);
    inMemory.canSerialize = false;
    Choice inMemoryOnlyAsync = inMemory;
    inMemoryOnlyAsync.onlyAsync = true;
    const Row rows[] = {
        { "at the limit", make(limit), false },
        { "one byte more", make(limit + 1), true },
        { "small", make(1000), false },
        { "reference movie, however large", flattenOff, false },
        { "reference movie, always in the background", flattenOffOnlyAsync, true },
        { "forced synchronous", forced, false },
        { "forced synchronous, always in the background", forcedOnlyAsync, true },
        { "never in the background", noAsync, false },
        { "samples in memory", inMemory, false },
        { "samples in memory, always in the background", inMemoryOnlyAsync, false },
    };
    for (const auto& row : rows)
        EXPECT_EQ(MVPMovieDocument::shouldSaveInBackground(row.choice), row.background) << row.name;
    EXPECT_EQ(MVPMovieDocument::backgroundSaveThreshold, limit);
}

class SavingChoicesTest : public DocumentTest { };

TEST_F(SavingChoicesTest, BackgroundJobParameters)
{
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie::videoMovie(3));
    ASSERT_TRUE(doc);
    auto params = doc->flattenJobParameters("/movies/My Movie.mov");
    EXPECT_EQ(params["MVExpType"].stringValue(), "Flatten");
    EXPECT_EQ(params["MVExpNameOut"].stringValue(), "/movies/My Movie.mov");
    EXPECT_EQ(params["description"].stringValue(), HXLocalizedString("mvpFlatten", {}) + " My Movie.mov");
    EXPECT_EQ(params["MVExpMovieIn"].dataValue().bytes, doc->movie()->movieFormatRepresentation());
    // Samples held in memory do not travel in a movie's header: such a movie is written here.
    EXPECT_FALSE(doc->movie()->canSerialize());
    EXPECT_FALSE(doc->savePathChoice().canSerialize);
}

TEST_F(SavingChoicesTest, NamesWithAColonAreRefusedWithAnAlert)
{
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie::videoMovie(1));
    ASSERT_TRUE(doc);
    std::vector<std::string> shown;
    doc->runAlert = [&](const std::string& message, const std::string& informative, const std::string&,
                        const std::string&) {
        shown.push_back(message + "|" + informative);
        return 1L;
    };
    EXPECT_TRUE(doc->panelIsValidFilename("/movies/holiday.mov"));
    EXPECT_TRUE(doc->panelIsValidFilename("/mo:vies/holiday.mov")) << "only the name itself counts";
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(doc->panelIsValidFilename("/movies/10:30.mov"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0],
        HXLocalizedString("mvpSaveAsFailed", {}) + "|" + HXLocalizedString("mvpSaveAsFailedError", {}));
}

TEST(MovieWriterGuarantees, ProgressIsClosedOnceHoweverTheWriteEnds)
{
    TempDir dir;
    auto target = dir.path() / "out.mov";
    auto m = movie::videoMovie(5);
    struct Row {
        const char* name;
        bool flatten;
        std::optional<MVMovieProgressMessage> cancelAt;
    };
    const Row rows[] = {
        { "self-contained, written", true, std::nullopt },
        { "self-contained, cancelled at open", true, MVMovieProgressMessage::Open },
        { "self-contained, cancelled while copying", true, MVMovieProgressMessage::Percent },
        { "reference, cancelled at open", false, MVMovieProgressMessage::Open },
        { "reference, cancelled after writing", false, MVMovieProgressMessage::Percent },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<MVMovieProgressMessage> seen;
        m->setProgressProc([&](MVMovieProgressMessage message, MVMovieProgressOperation, double) {
            seen.push_back(message);
            return row.cancelAt == message ? 1 : 0;
        });
        HXError error;
        EXPECT_EQ(
            m->writeToFile(target.string(), { { MVMovieFlatten, row.flatten } }, &error), !row.cancelAt);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), MVMovieProgressMessage::Open);
        EXPECT_EQ(seen.back(), MVMovieProgressMessage::Close);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), MVMovieProgressMessage::Close), 1);
    }
}

TEST(MovieWriterGuarantees, AReplacedFileKeepsItsPermissions)
{
    TempDir dir;
    auto m = movie::videoMovie(2);
    HXError error;
    const struct {
        const char* name;
        std::optional<mode_t> existing;
        mode_t expected;
    } rows[] = { { "private movie", 0600, 0600 }, { "shared movie", 0664, 0664 },
        { "new file", std::nullopt, 0 } };
    mode_t mask = ::umask(022);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto target = dir.path() / (std::string(row.name) + ".mov");
        if (row.existing) {
            writeFile(target, "old");
            ::chmod(target.c_str(), *row.existing);
        }
        ASSERT_TRUE(m->writeToFile(target.string(), {}, &error)) << error.localizedDescription();
        struct stat st { };
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, row.existing ? row.expected : mode_t(0644));
    }
    ::umask(mask);
}

} // namespace

TEST_F(SavingChoicesTest, TheSavePanelOffersReferenceOrSelfContainedOnlyForAMovieWithTracks)
{
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie::videoMovie(3));
    ASSERT_TRUE(doc);
    doc->makeWindowControllers();
    auto panel = HXSavePanel::savePanel();
    EXPECT_TRUE(doc->prepareSavePanel(panel));
    EXPECT_NE(panel->accessoryView(), nullptr);
    EXPECT_EQ(panel->requiredFileType(), "mov");
    doc->close();

    auto empty = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    ASSERT_TRUE(empty);
    empty->makeWindowControllers();
    auto emptyPanel = HXSavePanel::savePanel();
    EXPECT_TRUE(empty->prepareSavePanel(emptyPanel));
    EXPECT_EQ(emptyPanel->accessoryView(), nullptr);
    empty->close();
}

// While a save writes the file the program may not be ended without asking (sudden termination is off),
// and it is on again afterwards, whatever the outcome. The save panel starts where the program's panels
// start: the front document's folder.
TEST_F(SavingChoicesTest, SavesHoldOffSuddenTerminationAndThePanelStartsInTheFrontDocumentsFolder)
{
    TempDir dir;
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie::videoMovie(3));
    ASSERT_TRUE(doc);
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    doc->movieWindow()->makeKeyAndOrderFront();
    auto& process = HXProcessInfo::processInfo();
    ASSERT_TRUE(process.isSuddenTerminationEnabled());
    // The progress sheet closes while the writer still runs: that is when it is looked at.
    std::vector<bool> whileWriting;
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(HXWindowDidEndSheetNotification,
        doc->movieWindow().get(),
        [&](const HXNotification&) { whileWriting.push_back(process.isSuddenTerminationEnabled()); }));
    HXAlert::setAlertDidAppearHandler([](HXAlert& alert) {
        HXRunLoop::main().perform([&alert] { alert.buttons().at(0)->performClick(); });
    });
    struct Case {
        const char* name;
        std::filesystem::path target;
        bool written;
    };
    const Case cases[] = {
        { "written", dir / "saved.mov", true },
        { "a folder that does not exist", dir / "missing" / "saved.mov", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        whileWriting.clear();
        std::optional<bool> result;
        doc->saveToURL(HXURL::fileURLWithPath(c.target.string()), "mov", HXSaveToOperation,
            [&](MVPMovieDocument&, bool ok) { result = ok; });
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1); // the error sheet, when there is one
        EXPECT_EQ(result, c.written);
        EXPECT_EQ(std::filesystem::exists(c.target), c.written);
        if (c.written) {
            ASSERT_FALSE(whileWriting.empty());
            EXPECT_TRUE(std::none_of(whileWriting.begin(), whileWriting.end(), [](bool on) { return on; }));
        }
        EXPECT_TRUE(process.isSuddenTerminationEnabled()) << "back on after the save";
    }

    // The panel's folder: the front document's file's folder.
    doc->setFileName((dir / "saved.mov").string());
    ASSERT_EQ(HXDocumentController::sharedDocumentController()->currentDocument(), doc);
    EXPECT_EQ(HXDocumentController::sharedDocumentController()->currentDirectory(), dir.path().string());
    std::string shown;
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& panel) {
        shown = panel.directory();
        panel.cancel();
    });
    doc->saveDocumentAs();
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    HXSavePanel::setPanelDidAppearHandler(nullptr);
    EXPECT_EQ(shown, dir.path().string());
    doc->close();
}
