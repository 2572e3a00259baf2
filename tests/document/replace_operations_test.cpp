// Replacing a movie document's content in its own window: the no-op cases, the question about unsaved
// changes, the continuation's operations, a failed replace, and the movie's close requests.
#include "movie_document_test_support.h"

#include "core/movie_error.h"
#include "platform/mvkit/sample_text_description.h"
#include "platform/winkit/control.h"
#include "test_support.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

// A movie of one text track showing `texts`, one second each.
std::shared_ptr<MVMovie> textMovie(const std::vector<std::string>& texts)
{
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("text"), 600);
    MVBytes description = MVSerializeTextSampleDescription({});
    int64_t at = 0;
    for (const auto& text : texts) {
        int64_t mediaTime = track->media()->addSample(MVMakeTextSample(text), 600, 1, description, 0);
        track->insertMedia(at, mediaTime, 600);
        at += 600;
    }
    return movie;
}

class ReplaceTest : public DocumentTest {
protected:
    // A movie file written by our own writer.
    std::string movieFile(const std::string& name, const std::string& text = "hello")
    {
        auto path = (dir.path() / name).string();
        HXError error;
        EXPECT_TRUE(textMovie({ text })->writeToFile(path, {}, &error)) << error.localizedDescription();
        return path;
    }

    std::shared_ptr<MVPMovieDocument> openDocument(const std::string& path)
    {
        HXError error;
        auto doc = MVPMovieDocument::documentWithContentsOfFile(path, MVPAnythingDocumentType, false, &error);
        EXPECT_TRUE(doc) << error.localizedDescription();
        return doc;
    }

    // Answers every alert with the button titled `title`, remembering the alerts' texts.
    void answerAlertsWith(const std::string& title)
    {
        HXAlert::setAlertDidAppearHandler([this, title](HXAlert& alert) {
            alertTexts.push_back(alert.messageText());
            for (const auto& button : alert.buttons())
                if (button->title() == title || title.empty()) {
                    auto pressed = button;
                    HXRunLoop::main().perform([pressed] { pressed->performClick(); });
                    return;
                }
        });
    }

    static void spin(double seconds)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01, true);
    }

    TempDir dir;
    std::vector<std::string> alertTexts;
};

TEST_F(ReplaceTest, ReplacingWithWhatIsShownDoesNothingAndAsksNothing)
{
    auto path = movieFile("a.mov");
    auto doc = openDocument(path);
    ASSERT_TRUE(doc);
    doc->updateChangeCount(HXChangeDone); // an edited document would ask first
    answerAlertsWith("Cancel");
    auto movie = doc->movie();
    int id = doc->movieID();
    const std::pair<const char*, std::function<void()>> cases[] = {
        { "same file", [&] { doc->replaceWithFile(path); } },
        { "same URL", [&] { doc->replaceWithURL(HXURL::fileURLWithPath(path)); } },
        { "same movie", [&] { doc->replaceWithMovie(movie, true); } },
        { "same data reference", [&] { doc->replaceWithDataReference(movie->initialDataReference()); } },
    };
    for (const auto& [name, replace] : cases) {
        replace();
        spin(0.05);
        EXPECT_EQ(doc->movie(), movie) << name;
        EXPECT_EQ(doc->movieID(), id) << name;
    }
    EXPECT_TRUE(alertTexts.empty());
}

TEST_F(ReplaceTest, AFileReplacesTheMovieInTheSameDocument)
{
    auto doc = openDocument(movieFile("a.mov"));
    ASSERT_TRUE(doc);
    doc->makeWindowControllers();
    auto window = doc->movieWindow();
    int id = doc->movieID();
    auto setMovie = count(MVPMovieDocumentSetMovieNotification, doc.get());
    auto b = movieFile("b.mov");
    doc->replaceWithFile(b);
    EXPECT_EQ(doc->movie()->fileName(), b);
    EXPECT_EQ(doc->fileName(), b);
    EXPECT_EQ(doc->movieWindow(), window);
    EXPECT_GT(doc->movieID(), id);
    EXPECT_GE(*setMovie, 1);
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(doc->movie()->delegate() != nullptr, true);
    doc->close();
}

TEST_F(ReplaceTest, EveryKindOfSourceReplacesTheMovie)
{
    const std::pair<const char*, std::function<void(MVPMovieDocument&, const std::string&)>> cases[] = {
        { "file", [](MVPMovieDocument& d, const std::string& p) { d.replaceWithFile(p); } },
        { "file URL",
            [](MVPMovieDocument& d, const std::string& p) { d.replaceWithURL(HXURL::fileURLWithPath(p)); } },
        { "data reference",
            [](MVPMovieDocument& d, const std::string& p) {
                d.replaceWithDataReference(MVDataReference::dataReferenceWithReferenceToFile(p));
            } },
    };
    for (const auto& [name, replace] : cases) {
        SCOPED_TRACE(name);
        auto doc = openDocument(movieFile("a.mov"));
        ASSERT_TRUE(doc);
        int id = doc->movieID();
        auto b = movieFile("b.mov", "second");
        replace(*doc, b);
        EXPECT_EQ(doc->movie()->fileName(), b);
        EXPECT_EQ(doc->fileName(), b);
        EXPECT_NE(doc->movieID(), id);
        EXPECT_FALSE(doc->isReelspot());
    }
}

TEST_F(ReplaceTest, AnEditedDocumentAsksFirst)
{
    struct Case {
        const char* answer;
        bool replaced;
    };
    const Case cases[] = { { "Cancel", false }, { "Don't Save", true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        auto a = movieFile("a.mov");
        auto doc = openDocument(a);
        ASSERT_TRUE(doc);
        doc->makeWindowControllers();
        doc->updateChangeCount(HXChangeDone);
        alertTexts.clear();
        answerAlertsWith(c.answer);
        doc->replaceWithFile(movieFile("b.mov"));
        ASSERT_TRUE(runUntil([&] { return !alertTexts.empty(); }, 5));
        spin(0.1);
        EXPECT_EQ(alertTexts.size(), 1u);
        EXPECT_EQ(doc->movie()->fileName() != a, c.replaced);
        EXPECT_EQ(doc->isDocumentEdited(), !c.replaced);
        HXAlert::setAlertDidAppearHandler(nullptr);
        doc->close();
    }
}

TEST_F(ReplaceTest, AFailedReplaceKeepsTheMovieAndReportsTheOpenError)
{
    writeFile(dir.path() / "garbage.mov", std::string(3000, '\x5a'));
    const std::pair<const char*, std::string> cases[] = {
        { "missing", (dir.path() / "missing.mov").string() },
        { "garbage", (dir.path() / "garbage.mov").string() },
    };
    for (const auto& [name, bad] : cases) {
        SCOPED_TRACE(name);
        auto a = movieFile("a.mov");
        auto doc = openDocument(a);
        ASSERT_TRUE(doc);
        auto movie = doc->movie();
        int id = doc->movieID();
        alertTexts.clear();
        answerAlertsWith("");
        MVPMovieDocument::Operation operation;
        operation.type = MVPMovieDocument::MVPMovieDocumentReplaceWithFileOperationType;
        operation.path = bad;
        operation.isReelspot = true;
        operation.dirtyDocument = true;
        doc->documentShouldClose(true, operation);
        EXPECT_EQ(doc->movie(), movie);
        EXPECT_EQ(doc->fileName(), a);
        EXPECT_EQ(doc->movieID(), id);
        EXPECT_FALSE(doc->isReelspot());
        EXPECT_FALSE(doc->isDocumentEdited()); // nothing changed, so nothing to save
        ASSERT_EQ(alertTexts.size(), 1u);
        HXError expected = MVPMovieErrorWithCode(MVPMovieErrorCouldNotOpenMovie, nullptr, HXError());
        EXPECT_EQ(alertTexts[0], HXAlert::alertWithError(expected)->messageText());
    }
}

TEST_F(ReplaceTest, TheContinuationFollowsTheOperation)
{
    struct Case {
        const char* name;
        bool shouldClose;
        std::optional<std::string> type; // nullopt: no operation at all
        bool closes;
        bool replaces;
    };
    const Case cases[] = {
        { "declined", false, MVPMovieDocument::MVPMovieDocumentReplaceWithMovieOperationType, false, false },
        { "no operation", true, std::nullopt, true, false },
        { "close", true, MVPMovieDocument::MVPMovieDocumentCloseOperationType, true, false },
        { "unknown", true, std::string("SomethingElse"), false, false },
        { "movie", true, MVPMovieDocument::MVPMovieDocumentReplaceWithMovieOperationType, false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(textMovie({ "one" }));
        ASSERT_TRUE(doc);
        auto before = doc->movie();
        int id = doc->movieID();
        auto replacement = textMovie({ "two" });
        std::optional<MVPMovieDocument::Operation> operation;
        if (c.type) {
            operation.emplace();
            operation->type = *c.type;
            operation->movie = replacement;
            operation->dirtyDocument = true;
        }
        doc->documentShouldClose(c.shouldClose, operation);
        // Closing waits for the next turn of the run loop.
        EXPECT_FALSE(doc->isClosed());
        spin(0.05);
        EXPECT_EQ(doc->isClosed(), c.closes);
        EXPECT_EQ(doc->movie() == replacement, c.replaces);
        EXPECT_EQ(doc->movieID() != id, c.replaces);
        EXPECT_EQ(doc->isDocumentEdited(), c.replaces); // the dirty flag
        if (!c.replaces && !c.closes) {
            EXPECT_EQ(doc->movie(), before);
        }
    }
}

TEST_F(ReplaceTest, ANewMovieGetsItsStartupSettingsAndTheFeaturedFlag)
{
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(textMovie({ "one" }));
    ASSERT_TRUE(doc);
    doc->applyStartupAttributesIfNeeded();
    ASSERT_FALSE(doc->needsToApplyStartupAttributes());
    auto replacement = textMovie({ "two" });
    setUserData(*replacement, "play", { 1 });
    MVPMovieDocument::Operation operation;
    operation.type = MVPMovieDocument::MVPMovieDocumentReplaceWithMovieOperationType;
    operation.movie = replacement;
    operation.isReelspot = true;
    doc->documentShouldClose(true, operation);
    EXPECT_TRUE(doc->isReelspot());
    EXPECT_FALSE(doc->needsToApplyStartupAttributes());
    EXPECT_TRUE(doc->autoPlay());
    EXPECT_TRUE(replacement->isPlaying());
    replacement->stop();
}

TEST_F(ReplaceTest, TheMovieCanAskToCloseItsWindow)
{
    auto doc = openDocument(movieFile("a.mov"));
    ASSERT_TRUE(doc);
    doc->makeWindowControllers();
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieCloseWindowRequestNotification, doc->movie().get()));
    EXPECT_TRUE(runUntil([&] { return doc->isClosed(); }, 2));

    // An edited one asks first; Cancel keeps it open.
    auto edited = openDocument(movieFile("b.mov"));
    ASSERT_TRUE(edited);
    edited->makeWindowControllers();
    edited->updateChangeCount(HXChangeDone);
    answerAlertsWith("Cancel");
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieCloseWindowRequestNotification, edited->movie().get()));
    ASSERT_TRUE(runUntil([&] { return !alertTexts.empty(); }, 5));
    spin(0.1);
    EXPECT_FALSE(edited->isClosed());
    HXAlert::setAlertDidAppearHandler(nullptr);
    edited->close();
}

TEST_F(ReplaceTest, AReplacedMovieNoLongerReachesTheDocument)
{
    auto first = textMovie({ "one" });
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(first);
    ASSERT_TRUE(doc);
    EXPECT_TRUE(first->delegate());
    auto second = textMovie({ "two" });
    doc->setMovie(second);
    EXPECT_FALSE(first->delegate());
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieCloseWindowRequestNotification, first.get()));
    spin(0.05);
    EXPECT_FALSE(doc->isClosed());
}

} // namespace
