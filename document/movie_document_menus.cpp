// The movie document's menu items (enabled, title, check mark from the movie's state) and what follows
// an edit of its movie.
#include "document/movie_document.h"

#include "document/find_text_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/winkit/menu.h"
// ---- Export and sharing: includes ----
#include "document/movie_additions.h"
#include "core/string_additions.h"
#include "export/document_export.h"
#include "export/export_ref_movie_for_web_window_controller.h"
#include "export/publish_support.h"
#include "export/share_mail_controller.h"
#include "document/movie_progress_window_controller.h"
// ---- end of export and sharing includes ----

#include <algorithm>
#include <utility>

namespace {

// ---- Export and sharing: the document's Export, Modal Export, Export for Web and Share commands ----
void registerExportAndShareActions(MVPMovieDocument& document)
{
    auto info = [&document](bool withProgress) {
        MVPExportDocument d { document.movie(), document.displayName(), document.movieWindow(), {}, {} };
        if (withProgress && document.movie()) {
            // An export in the player reports to the document's progress sheet, as an export. The sheet
            // goes when the export is over, however it ends (a failure's alert comes after it).
            auto sheet = document.movieProgressWindowController();
            auto shown = std::make_shared<bool>(false);
            d.progress = [sheet, shown](double fraction) {
                int32_t done = int32_t(std::clamp(fraction, 0.0, 1.0) * 65536);
                if (!*shown) {
                    *shown = true;
                    sheet->progressUpdate(MVPMovieProgressOpen, MVPMovieProgressOpExport, 0);
                }
                return sheet->progressUpdate(MVPMovieProgressUpdatePercent, MVPMovieProgressOpExport, done) != 0 ? 1 : 0;
            };
            d.progressEnded = [sheet, shown] {
                if (std::exchange(*shown, false))
                    sheet->progressUpdate(MVPMovieProgressClose, MVPMovieProgressOpExport, 65536);
            };
        }
        return d;
    };
    document.setActionHandler("export:", [info](HXObject*) { MVPDocumentExport::exportMovie(info(true)); });
    document.setActionHandler("exportClassic:", [info](HXObject*) { MVPDocumentExport::exportClassic(info(true)); });
    document.setActionHandler("exportRefMovieForWeb:", [&document](HXObject*) {
        if (!document.movie())
            return;
        document.movie()->stop();
        auto sheet = std::make_shared<MVPExportRefMovieForWebWindowController>(document.movie(), document.displayName());
        document.addWindowController(sheet);
        std::weak_ptr<HXWindowController> weak = sheet;
        std::weak_ptr<HXDocument> owner = std::static_pointer_cast<HXDocument>(document.shared_from_this());
        sheet->beginSheet(document.movieWindow(), [weak, owner](long) {
            auto doc = owner.lock();
            if (auto controller = weak.lock(); doc && controller)
                doc->removeWindowController(controller);
        });
    });
    document.setActionHandler("share:", [&document](HXObject*) {
        if (!document.movie())
            return;
        // The mail pane describes the movie and its size in the words of the rest of the program.
        ShareMailController::setMovieFactsProvider([](const MVMovie& movie) {
            auto facts = ShareMailController::defaultMovieFacts(movie);
            facts.formatString = MVPMovieAdditions::formatString(movie);
            return facts;
        });
        ShareMailController::setDataSizeFormatter(HXString_MVAdditions::stringForDataSize);
        MVPPublishSupport::share(document.movie(), document.fileName(), document.movieWindow());
    });
}
// ---- end of export and sharing ----


} // namespace

std::optional<MVPMovieDocument::MenuValidation> MVPMovieDocument::validateMovieMenuAction(
    HXSelector action, const MenuState& s)
{
    const std::string& name = action ? action.name() : std::string();
    auto enabled = [](bool flag) { return MenuValidation { flag, std::nullopt, std::nullopt }; };
    bool saveable = s.hasMovie && s.saveable;
    if (name == "runPageLayout:" || name == "printDocument:")
        return enabled(!s.fullScreen && (s.naturalSize.width != 0 || s.naturalSize.height != 0));
    if (name == "findText:" || name == "findNextText:" || name == "findPreviousText:")
        return enabled(s.hasTextTrack);
    if (name == "export:" || name == "exportClassic:")
        return enabled(saveable && s.trackCount > 0 && !s.fullScreen);
    if (name == "exportRefMovieForWeb:")
        return enabled(saveable && s.trackCount > 0 && !s.fullScreen && s.hasVideo);
    if (name == "languages:" || name == "subtitles:" || name == "setSubtitlesLanguage:")
        return enabled(true);
    if (name == "setSubtitlesVisible:") {
        MenuValidation v = enabled(!s.reelspot && s.hasMovie && s.hasSubtitles);
        v.state = s.hasSubtitles && s.subtitlesHidden ? 1 : 0;
        return v;
    }
    if (name == "setLanguage:")
        return enabled(s.languageTrackCount > 1);
    bool canPresent = s.hasMovie && !s.reelspot && s.hasVideo && s.screensAvailable;
    if (name == "fullScreen:") {
        MenuValidation v = enabled(canPresent);
        v.title = HXLocalizedString("mvpFullScreen", {});
        return v;
    }
    if (name == "presentMovie:")
        return enabled(canPresent && !s.fullScreen);
    if (name == "openMovieProperties:")
        return enabled(!s.reelspot && s.hasMovie && !s.fullScreen);
    if (name == "saveDocument:")
        return enabled(saveable && !s.fullScreen && !s.markedNonSerializable && !s.savePanelUp);
    if (name == "saveDocumentAs:" || name == "saveDocumentTo:")
        return enabled(
            saveable && s.baseEnables && !s.fullScreen && !s.markedNonSerializable && !s.savePanelUp);
    if (name == "revertDocumentToSaved:")
        return enabled(!s.reelspot && saveable && s.baseEnables && !s.fullScreen && !s.savePanelUp);
    if (name == "share:")
        return enabled(saveable && s.trackCount > 0 && !s.fullScreen);
    if (name == "showMovieInfo:") {
        MenuValidation v = enabled(s.infoPanelValid);
        v.title = HXLocalizedString(s.infoPanelVisible ? "mvpHideMovieInfo" : "mvpShowMovieInfo", {});
        return v;
    }
    if (name == "toggleClosedCaption:") {
        MenuValidation v = enabled(s.hasClosedCaptions);
        v.title = HXLocalizedString(
            s.hasClosedCaptions && s.closedCaptionsVisible ? "mvpHideClosedCaption" : "mvpShowClosedCaption",
            {});
        return v;
    }
    return std::nullopt;
}

MVPMovieDocument::MenuState MVPMovieDocument::menuState(HXSelector action)
{
    MenuState s;
    const std::string& name = action ? action.name() : std::string();
    s.hasMovie = _movie != nullptr;
    s.fullScreen = _fullScreen;
    s.reelspot = _isReelspot;
    s.naturalSize = _naturalSize;
    s.savePanelUp = _savePanel != nullptr;
    if (name == "revertDocumentToSaved:")
        s.baseEnables = !fileName().empty() && isDocumentEdited();
    if (_movie) {
        const MVMovie& movie = *_movie;
        s.hasTextTrack = !movie.tracksOfMediaType(MVFourCC("text")).empty();
        s.hasVideo = movie.hasVideo();
        s.trackCount = movie.trackCount();
        // A movie can be saved once it is there to be read: not while it fails or is still arriving.
        s.saveable = movie.loadState() >= MVMovieLoadStatePlayable;
        s.hasSubtitles = movie.hasSubtitles();
        s.subtitlesHidden = s.hasSubtitles && !movie.subtitlesVisible();
        // Captions of a caption track, or those the pictures carry.
        if (movie.hasClosedCaptions()) {
            s.hasClosedCaptions = true;
            s.closedCaptionsVisible = movie.closedCaptionsVisible();
        }
        s.languageTrackCount = languageTrackCount ? languageTrackCount()
                                                  : int(movie.tracksOfMediaType(MVFourCC("soun")).size());
    }
    if (name == "fullScreen:" || name == "presentMovie:")
        s.screensAvailable = MVPDocumentPresentation::screensAvailable();
    if (name == "showMovieInfo:") {
        auto info = movieInfo();
        s.infoPanelValid = info && info->shouldMenuItemBeValid();
        s.infoPanelVisible = info && info->isVisible();
    }
    return s;
}

bool MVPMovieDocument::validateMenuItem(HXMenuItem& item)
{
    auto validation = validateMovieMenuAction(item.action(), menuState(item.action()));
    if (!validation)
        return HXDocument::validateMenuItem(item);
    if (validation->title)
        item.setTitle(*validation->title);
    if (validation->state)
        item.setState(*validation->state);
    return validation->enabled;
}

void MVPMovieDocument::movieEditFollowUp()
{
    if (!_movie)
        return;
    _rebuildSubtitlesMenu = true;
    _rebuildLanguageMenu = true;
    // The document is edited as its movie is: an edit that can be undone is a change, undo takes it
    // back, redo makes it again. A movie that finished arriving, or took the settings stored in it, is
    // not changed by the user.
    HXUndoManager* undo = undoManager();
    if (undo && undo->isUndoing())
        updateChangeCount(HXChangeUndone);
    else if (undo && undo->isRedoing())
        updateChangeCount(HXChangeRedone);
    else if (_movie->hasChanged() && undo && undo->canUndo())
        updateChangeCount(HXChangeDone);
}

// ---- Find ----

void MVPMovieDocument::registerFindActions()
{
    setActionHandler("findText:", [this](HXObject* sender) { findText(sender); });
    setActionHandler("findNextText:", [this](HXObject* sender) { findNextText(sender); });
    setActionHandler("findPreviousText:", [this](HXObject* sender) { findPreviousText(sender); });
    // ---- Export and sharing: the File menu's commands (their work lives in export/) ----
    registerExportAndShareActions(*this);
    // ---- end of export and sharing ----
    // The Window menu's properties window of the movie and its tracks.
    setActionHandler("openMovieProperties:", [this](HXObject* sender) { openMovieProperties(sender); });
}

void MVPMovieDocument::findText(HXObject*)
{
    auto panel = FindTextController::findTextController();
    panel->setMovieDocument(std::static_pointer_cast<MVPMovieDocument>(shared_from_this()));
    panel->showWindow();
}

void MVPMovieDocument::findNextText(HXObject*)
{
    auto panel = FindTextController::findTextController();
    panel->setMovieDocument(std::static_pointer_cast<MVPMovieDocument>(shared_from_this()));
    panel->bumpOffset(1);
    panel->doFindNextText(nullptr);
}

void MVPMovieDocument::findPreviousText(HXObject*)
{
    auto panel = FindTextController::findTextController();
    panel->setMovieDocument(std::static_pointer_cast<MVPMovieDocument>(shared_from_this()));
    panel->bumpOffset(-1);
    panel->doFindPreviousText(nullptr);
}
