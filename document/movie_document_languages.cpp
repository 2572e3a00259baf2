// The movie document's Language (audio) and Subtitles menus and the track switches they send.
#include "document/movie_document.h"

#include "document/language_window_controller.h"
#include "document/subtitles_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/metadata.h"
#include "platform/winkit/menu.h"

namespace {

// The display switch of a closed-caption track: whether its captions are drawn.

long tagOf(HXObject* sender)
{
    if (auto item = dynamic_cast<HXValidatedUserInterfaceItem*>(sender))
        return item->tag();
    return 0;
}

// The name the track's metadata gives it, else its user-data name; empty when it has neither.
std::string metadataDisplayName(const MVTrack& track)
{
    if (auto name = MVAnnotationValue(track.userData(), track.metadata(), MVMetadataStorageAny,
            MVMetadataKeyFormatCommon, MVMetadataKeyBytes(MVFourCC("name")));
        name && !name->empty())
        return *name;
    return track.attributeForKey(MVTrackDisplayNameAttribute).stringValue();
}

void addTrackItem(HXMenu& into, const std::string& title, const char* action, const MVTrack& track,
    bool checked, const std::shared_ptr<HXObject>& target)
{
    auto item = into.addItemWithTitle(title, action);
    item->setTag(long(track.trackID()));
    item->setState(checked ? HXOnState : HXOffState);
    item->setTarget(target);
}

// Enables the items as the menu's own validation would, without asking its delegate to rebuild it (the
// delegate is what asked for this refill).
void validateItems(HXMenu& menu)
{
    if (!menu.autoenablesItems())
        return;
    for (const auto& item : menu.itemArray())
        if (!item->isSeparatorItem() && item->action())
            item->setEnabled(HXMenu::validateItem(*item));
}

} // namespace

void MVPMovieDocument::registerReplacingAndLanguageActions()
{
    setActionHandler("setLanguage:", [this](HXObject* sender) { setLanguage(sender); });
    setActionHandler("setSubtitlesLanguage:", [this](HXObject* sender) { setSubtitlesLanguage(sender); });
    setActionHandler("setSubtitlesVisible:", [this](HXObject* sender) { setSubtitlesVisible(sender); });
    setActionHandler("toggleClosedCaption:", [this](HXObject* sender) { toggleClosedCaption(sender); });
    // "setLanguage:" is offered when the language chooser has more than one track to offer.
    languageTrackCount = [this] {
        if (!_languageWindowController)
            return 0;
        if (_languageWindowController->needsUpdate())
            _languageWindowController->updateLanguages();
        return int(_languageWindowController->languageTracks().size()
            + _languageWindowController->excludedTracks().size());
    };
}

void MVPMovieDocument::setLanguageWindowController(std::shared_ptr<MVPLanguageWindowController> controller)
{
    _languageWindowController = std::move(controller);
}

void MVPMovieDocument::setSubtitlesController(std::shared_ptr<MVPSubtitlesController> controller)
{
    _subtitlesController = std::move(controller);
}

void MVPMovieDocument::syncLanguageChoosersToMovie()
{
    if (!_languageWindowController)
        setLanguageWindowController(MVPLanguageWindowController::languageWindowControllerWithMovie(_movie));
    else
        _languageWindowController->setMovie(_movie);
    if (!_subtitlesController)
        setSubtitlesController(MVPSubtitlesController::subtitlesControllerWithMovie(_movie));
    else
        _subtitlesController->setMovie(_movie);
}

std::shared_ptr<HXMenu> MVPMovieDocument::makeChooseLanguageMenu()
{
    return std::make_shared<HXMenu>(HXLocalizedString("mvpLanguageMenu"));
}

std::shared_ptr<HXMenu> MVPMovieDocument::makeSubtitlesMenu()
{
    auto menu = std::make_shared<HXMenu>(HXLocalizedString("mvpSubtitlesMenu"));
    menu->addItemWithTitle(HXLocalizedString("mvpSubtitlesOff"), "setSubtitlesVisible:");
    return menu;
}

void MVPMovieDocument::updateChooseLanguageMenuItems(HXMenu& menu)
{
    menu.removeAllItems();
    _rebuildLanguageMenu = false;
    auto chooser = _languageWindowController;
    if (!chooser)
        return;
    if (chooser->needsUpdate())
        chooser->updateLanguages();
    auto self = shared_from_this();
    const auto& languages = chooser->languageTracks();
    const auto& excluded = chooser->excludedTracks();
    if (languages.size() > 1) {
        for (const auto& track : languages) {
            // A track that others fall back to is offered through them.
            if (track->referenceTrack(MVFourCC("fall"), 1))
                continue;
            addTrackItem(menu, chooser->localeStringForLanguageTrack(*track), "setLanguage:", *track,
                track->isEnabled(), self);
        }
        if (!excluded.empty()) {
            if (!languages.empty())
                menu.addItem(HXMenuItem::separatorItem());
            for (const auto& track : excluded) {
                std::string title = metadataDisplayName(*track);
                if (title.empty())
                    title = chooser->localeStringForLanguageTrack(*track);
                addTrackItem(menu, title, "setLanguage:", *track, track->isEnabled(), self);
            }
        }
    } else {
        bool hasAudio = _movie && _movie->hasAudio();
        auto item = menu.addItemWithTitle(
            HXLocalizedString(hasAudio ? "mvpLanguageDefault" : "mvpSoundNone"), "chooseLanguage:");
        item->setState(HXOnState);
        item->setEnabled(false);
    }
    validateItems(menu);
}

void MVPMovieDocument::updateSubtitlesMenuItems(HXMenu& menu)
{
    while (menu.numberOfItems() > 1)
        menu.removeItemAtIndex(menu.numberOfItems() - 1);
    _rebuildSubtitlesMenu = false;
    auto chooser = _subtitlesController;
    if (chooser && _movie && _movie->hasSubtitles()) {
        if (chooser->needsUpdate())
            chooser->updateLanguages();
        auto self = shared_from_this();
        bool visible = _movie->subtitlesVisible();
        const auto& languages = chooser->languageTracks();
        const auto& excluded = chooser->excludedTracks();
        menu.addItem(HXMenuItem::separatorItem());
        for (const auto& track : languages)
            addTrackItem(menu, chooser->localeStringForLanguageTrack(*track), "setSubtitlesLanguage:", *track,
                track->isEnabled() && visible, self);
        if (!excluded.empty()) {
            if (!languages.empty())
                menu.addItem(HXMenuItem::separatorItem());
            for (const auto& track : excluded) {
                std::string title = metadataDisplayName(*track);
                if (title.empty())
                    title = chooser->localeStringForLanguageTrack(*track);
                addTrackItem(
                    menu, title, "setSubtitlesLanguage:", *track, track->isEnabled() && visible, self);
            }
        }
    }
    validateItems(menu);
}

void MVPMovieDocument::setLanguage(HXObject* sender)
{
    if (!_movie)
        return;
    auto track = _movie->trackByID(uint32_t(tagOf(sender)));
    if (!track)
        return;
    if (_movie->hasSubtitles() && _languageWindowController) {
        _languageWindowController->setLanguageFromTrack(track);
    } else {
        _movie->setLanguage(track->language());
        // The track chosen is the one that plays, also where another of the same language came first or
        // the tracks are in no alternate group.
        if (!track->isEnabled())
            _movie->setMovieLanguage(track);
    }
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieEditedNotification, _movie.get()));
}

void MVPMovieDocument::setSubtitlesLanguage(HXObject* sender)
{
    if (!_movie || !_subtitlesController)
        return;
    if (auto track = _movie->trackByID(uint32_t(tagOf(sender))))
        _subtitlesController->setLanguageFromTrack(track);
    _movie->setSubtitlesVisible(true);
}

void MVPMovieDocument::setSubtitlesVisible(HXObject*)
{
    if (_movie)
        _movie->setSubtitlesVisible(false);
}

void MVPMovieDocument::toggleClosedCaption(HXObject*)
{
    if (_movie)
        _movie->setClosedCaptionsVisible(!_movie->closedCaptionsVisible());
}
