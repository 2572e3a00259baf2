// The movie document's menu items: enabled, titled and checked from the movie's state, and the change
// count that follows the movie's edits, undo and redo.
#include "movie_document_test_support.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"
#include "platform/mvkit/track.h"
#include "tests/platform/mvkit/movie_test_support.h"

#include <functional>

using namespace movara::test::document;

namespace {

using MenuState = MVPMovieDocument::MenuState;

// A movie with video, two tracks, on a screen, in a window: everything the items need.
MenuState videoMovie()
{
    MenuState s;
    s.hasMovie = true;
    s.naturalSize = { 320, 240 };
    s.hasVideo = true;
    s.trackCount = 2;
    s.saveable = true;
    s.screensAvailable = true;
    s.languageTrackCount = 1;
    return s;
}

struct Row {
    const char* state;
    const char* action;
    bool enabled;
    const char* title = nullptr; // localized key
    int checked = -1; // -1: no state set
};

std::vector<std::pair<const char*, MenuState>> states()
{
    auto video = videoMovie();
    auto sound = video;
    sound.naturalSize = { 0, 0 };
    sound.hasVideo = false;
    auto tall = sound;
    tall.naturalSize = { 0, 40 };
    auto full = video;
    full.fullScreen = true;
    auto featured = video;
    featured.reelspot = true;
    auto panel = video;
    panel.savePanelUp = true;
    auto noScreens = video;
    noScreens.screensAvailable = false;
    auto empty = video;
    empty.trackCount = 0;
    empty.hasVideo = false;
    empty.naturalSize = { 0, 0 };
    auto loading = video;
    loading.saveable = false;
    auto text = video;
    text.hasTextTrack = true;
    text.hasSubtitles = true;
    text.subtitlesHidden = true;
    text.hasClosedCaptions = true;
    text.closedCaptionsVisible = true;
    text.languageTrackCount = 2;
    text.infoPanelVisible = true;
    auto sealed = video;
    sealed.markedNonSerializable = true;
    auto unchanged = video;
    unchanged.baseEnables = false;
    auto noMovie = MenuState {};
    return { { "video", video }, { "sound only", sound }, { "0 wide", tall }, { "full screen", full },
        { "featured", featured }, { "save panel up", panel }, { "no screens", noScreens },
        { "no tracks", empty }, { "still loading", loading }, { "text, captions, subtitles", text },
        { "non-serializable", sealed }, { "base says no", unchanged }, { "no movie", noMovie } };
}

TEST(MovieMenuValidation, EveryItemForEveryState)
{
    const Row rows[] = {
        // Printing needs a picture size, not full screen.
        { "video", "printDocument:", true },
        { "video", "runPageLayout:", true },
        { "sound only", "printDocument:", false },
        { "0 wide", "printDocument:", true },
        { "full screen", "runPageLayout:", false },
        // Find needs a text track.
        { "video", "findText:", false },
        { "text, captions, subtitles", "findText:", true },
        { "text, captions, subtitles", "findNextText:", true },
        { "text, captions, subtitles", "findPreviousText:", true },
        // Export and share.
        { "video", "export:", true },
        { "video", "exportClassic:", true },
        { "no tracks", "export:", false },
        { "full screen", "export:", false },
        { "still loading", "export:", false },
        { "video", "exportRefMovieForWeb:", true },
        { "sound only", "exportRefMovieForWeb:", false },
        { "video", "share:", true },
        { "no tracks", "share:", false },
        { "full screen", "share:", false },
        // Languages and subtitles.
        { "no movie", "languages:", true },
        { "no movie", "subtitles:", true },
        { "video", "setSubtitlesLanguage:", true },
        { "video", "setSubtitlesVisible:", false, nullptr, 0 },
        { "text, captions, subtitles", "setSubtitlesVisible:", true, nullptr, 1 },
        { "video", "setLanguage:", false },
        { "text, captions, subtitles", "setLanguage:", true },
        // Full screen.
        { "video", "fullScreen:", true, "mvpFullScreen" },
        { "sound only", "fullScreen:", false, "mvpFullScreen" },
        { "featured", "fullScreen:", false, "mvpFullScreen" },
        { "no screens", "fullScreen:", false, "mvpFullScreen" },
        { "full screen", "fullScreen:", true, "mvpFullScreen" },
        { "video", "presentMovie:", true },
        { "full screen", "presentMovie:", false },
        { "no screens", "presentMovie:", false },
        // Windows of the movie.
        { "video", "openMovieProperties:", true },
        { "featured", "openMovieProperties:", false },
        { "full screen", "openMovieProperties:", false },
        { "no movie", "openMovieProperties:", false },
        { "video", "showMovieInfo:", true, "mvpShowMovieInfo" },
        { "text, captions, subtitles", "showMovieInfo:", true, "mvpHideMovieInfo" },
        { "video", "toggleClosedCaption:", false, "mvpShowClosedCaption" },
        { "text, captions, subtitles", "toggleClosedCaption:", true, "mvpHideClosedCaption" },
        // Saving.
        { "video", "saveDocument:", true },
        { "save panel up", "saveDocument:", false },
        { "full screen", "saveDocument:", false },
        { "non-serializable", "saveDocument:", false },
        { "still loading", "saveDocument:", false },
        { "no movie", "saveDocument:", false },
        { "video", "saveDocumentAs:", true },
        { "save panel up", "saveDocumentAs:", false },
        { "base says no", "saveDocumentAs:", false },
        { "non-serializable", "saveDocumentAs:", false },
        { "video", "saveDocumentTo:", true },
        { "full screen", "saveDocumentTo:", false },
        { "video", "revertDocumentToSaved:", true },
        { "featured", "revertDocumentToSaved:", false },
        { "base says no", "revertDocumentToSaved:", false },
        { "save panel up", "revertDocumentToSaved:", false },
        { "non-serializable", "revertDocumentToSaved:", true },
    };
    auto all = states();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.state) + " / " + row.action);
        auto it = std::find_if(
            all.begin(), all.end(), [&](auto& s) { return std::string(s.first) == row.state; });
        ASSERT_NE(it, all.end());
        auto v = MVPMovieDocument::validateMovieMenuAction(row.action, it->second);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->enabled, row.enabled);
        if (row.title)
            EXPECT_EQ(v->title, HXLocalizedString(row.title, {}));
        else
            EXPECT_FALSE(v->title);
        if (row.checked >= 0)
            EXPECT_EQ(v->state, row.checked);
        else
            EXPECT_FALSE(v->state);
    }
    // Actions that are not the document's are left to the plain document.
    EXPECT_FALSE(MVPMovieDocument::validateMovieMenuAction("cut:", videoMovie()));
    EXPECT_FALSE(MVPMovieDocument::validateMovieMenuAction("performClose:", videoMovie()));
}

class MovieMenuDocumentTest : public DocumentTest {
protected:
    static std::shared_ptr<MVMovieView> findMovieView(const std::shared_ptr<HXView>& root)
    {
        if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(root))
            return movieView;
        for (const auto& subview : root ? root->subviews() : std::vector<std::shared_ptr<HXView>> {})
            if (auto movieView = findMovieView(subview))
                return movieView;
        return nullptr;
    }

    // A document in its window with the movie view as first responder, and a menu with edit, view and
    // movie items validated through the responder chain, as the menu bar does.
    void open(const std::shared_ptr<MVMovie>& movie)
    {
        doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        ASSERT_TRUE(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        view = findMovieView(doc->movieWindow()->contentView());
        ASSERT_TRUE(view);
        doc->movieWindow()->makeFirstResponder(view);
        doc->movieWindow()->makeKeyAndOrderFront();
    }

    // The menu bar's answer: the first object of the responder chain that handles the action validates
    // it (the movie view for the edit items); the document's own items are asked of the document, which
    // answers them whether or not their handlers exist yet.
    bool enabled(const char* action)
    {
        auto item = std::make_shared<HXMenuItem>(action, action, "");
        bool ok = MVPMovieDocument::validateMovieMenuAction(action, {}) ? doc->validateMenuItem(*item)
                                                                        : HXMenu::validateItem(*item);
        lastTitle = item->title();
        lastState = item->state();
        return ok;
    }

    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovieView> view;
    std::string lastTitle;
    int lastState = 0;
};

TEST_F(MovieMenuDocumentTest, ItemsFollowTheMovieThroughTheResponderChain)
{
    auto movie = MVMovie::movie();
    movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    open(movie);
    const struct {
        const char* action;
        bool enabled;
    } rows[] = {
        { "cut:", false }, // nothing selected
        { "copy:", false },
        { "selectAll:", true },
        { "printDocument:", true },
        { "findText:", false },
        { "saveDocument:", true },
        { "saveDocumentAs:", true },
        { "openMovieProperties:", true },
        { "setSubtitlesVisible:", false },
        { "presentMovie:", true },
        { "toggleClosedCaption:", false },
    };
    for (const auto& row : rows)
        EXPECT_EQ(enabled(row.action), row.enabled) << row.action;
    // The properties window is reached from the menu bar: the document acts on its item.
    HXMenuItem properties("Show Movie Properties", "openMovieProperties:", "");
    EXPECT_TRUE(HXMenu::validateItem(properties));
    EXPECT_TRUE(doc->respondsToAction(HXSelector("openMovieProperties:")));
    EXPECT_TRUE(enabled("fullScreen:"));
    EXPECT_EQ(lastTitle, HXLocalizedString("mvpFullScreen", {}));

    // A text track brings find; Revert waits for a file and a change.
    movie->newTrack(MVFourCC("text"), 600);
    EXPECT_TRUE(enabled("findNextText:"));
    EXPECT_FALSE(enabled("revertDocumentToSaved:"));
}

TEST_F(MovieMenuDocumentTest, EditItemsFollowTheSelectionAndThePasteboard)
{
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    track->media()->addSample({ 1 }, 600, 4, movara::test::movie::videoDescription(), 0);
    track->insertMedia(0, 0, 2400);
    open(movie);
    MVMoviePasteboard::generalPasteboard().setMovie(nullptr);
    struct Row {
        const char* state;
        const char* action;
        bool enabled;
    };
    const Row rows[] = {
        { "nothing selected", "cut:", false },
        { "nothing selected", "copy:", false },
        { "nothing selected", "delete:", false },
        { "nothing selected", "trim:", false },
        { "nothing selected", "paste:", false },
        { "nothing selected", "selectAll:", true },
        { "a selection", "cut:", true },
        { "a selection", "copy:", true },
        { "a selection", "delete:", true },
        { "a selection", "trim:", true },
        { "a selection", "paste:", false },
        { "after copying", "paste:", true },
        { "after copying", "saveDocument:", true },
        { "not editable", "cut:", false },
        { "not editable", "paste:", false },
        { "not editable", "copy:", true },
    };
    std::string current;
    for (const auto& row : rows) {
        if (current != row.state) {
            current = row.state;
            if (current == "a selection")
                movie->setSelection({ MVMakeTime(600, 600), MVMakeTime(600, 600) });
            if (current == "after copying") {
                ASSERT_TRUE(app->sendAction("copy:", nullptr, nullptr));
            }
            if (current == "not editable")
                view->setEditable(false);
        }
        EXPECT_EQ(enabled(row.action), row.enabled) << row.state << " / " << row.action;
    }
    MVMoviePasteboard::generalPasteboard().setMovie(nullptr);
}

TEST_F(MovieMenuDocumentTest, SoundOnlyMovieCannotBePrintedOrShownFullScreen)
{
    auto movie = MVMovie::movie();
    movie->newTrack(MVFourCC("soun"), 8000);
    open(movie);
    EXPECT_FALSE(enabled("printDocument:"));
    EXPECT_FALSE(enabled("fullScreen:"));
    EXPECT_FALSE(enabled("exportRefMovieForWeb:"));
    EXPECT_TRUE(enabled("export:"));
}

TEST_F(MovieMenuDocumentTest, PageSetupAndPrintReachTheDocumentFromTheMenuBar)
{
    // As the menu bar validates: through the responder chain, which must find the document's handlers.
    auto check = [](bool expected) {
        for (const char* action : { "runPageLayout:", "printDocument:" }) {
            auto item = std::make_shared<HXMenuItem>(action, action, "");
            EXPECT_EQ(HXMenu::validateItem(*item), expected) << action;
        }
    };
    auto video = MVMovie::movie();
    video->newTrack(MVFourCC("vide"), 600, 320, 240);
    open(video);
    check(true);
    doc->close();
    auto sound = MVMovie::movie();
    sound->newTrack(MVFourCC("soun"), 8000);
    open(sound);
    check(false);
}

TEST_F(MovieMenuDocumentTest, ChangeCountFollowsEditsUndoAndRedo)
{
    auto movie = MVMovie::movie();
    movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    open(movie);
    ASSERT_FALSE(doc->isDocumentEdited());
    HXUndoManager* undo = doc->undoManager();
    ASSERT_TRUE(undo);
    // An edit of the movie made with the document's undo manager.
    auto before = movie->newEditState();
    movie->setSelection({ MVMakeTime(0, 600), MVMakeTime(0, 600) });
    movie->registerEdit(before, "Edit");
    undo->endEventGroup();
    EXPECT_EQ(doc->changeCount(), 1);
    EXPECT_TRUE(doc->rebuildLanguageMenu());
    undo->undo();
    EXPECT_FALSE(doc->isDocumentEdited());
    undo->redo();
    EXPECT_TRUE(doc->isDocumentEdited());
}

TEST_F(MovieMenuDocumentTest, TrackSettingsChangedWithUndoChangeTheDocument)
{
    // As the properties window's panes change a track: the old value registered for undo, then set.
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    auto sound = movie->newTrack(MVFourCC("soun"), 8000);
    auto other = MVMovie::movie()->newTrack(MVFourCC("vide"), 600, 320, 240);
    open(movie);
    HXUndoManager* undo = doc->undoManager();
    ASSERT_TRUE(undo);
    struct Step {
        const char* what;
        std::function<void()> set, reset;
    };
    const Step steps[] = {
        { "layer", [&] { track->setLayer(-1); }, [&] { track->setLayer(0); } },
        { "graphics mode", [&] { track->setAttributeForKey(int64_t(0x20), MVTrackTransferModeAttribute); },
            [&] { track->setAttributeForKey(int64_t(0), MVTrackTransferModeAttribute); } },
        { "muted", [&] { sound->setMuted(true); }, [&] { sound->setMuted(false); } },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_FALSE(doc->isDocumentEdited());
        // Each way registers the other, so undo and redo take the same path.
        std::function<void(bool)> change = [&](bool on) {
            undo->registerUndo(this, [&change, on] { change(!on); });
            (on ? step.set : step.reset)();
        };
        change(true);
        undo->endEventGroup();
        EXPECT_TRUE(doc->isDocumentEdited());
        undo->undo();
        EXPECT_FALSE(doc->isDocumentEdited());
        undo->redo();
        EXPECT_TRUE(doc->isDocumentEdited());
        undo->undo();
    }
    // A track of another movie is none of this document's business.
    other->setLayer(3);
    EXPECT_FALSE(doc->isDocumentEdited());
}

} // namespace
