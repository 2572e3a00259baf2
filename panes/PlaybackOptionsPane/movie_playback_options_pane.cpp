#include "movie_playback_options_pane.h"

#include "pane_views.h"
#include "track_playback_options_pane.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/startup_settings.h"

namespace {

constexpr const char* kAutoPresentKey = "FullscreenPreferenceAutoPresent";

int stateOf(HXObject* sender)
{
    auto* button = dynamic_cast<HXButton*>(sender);
    return button ? button->state() : 0;
}

} // namespace

const std::vector<MVPControllerKind>& MVPControllerKinds()
{
    static const std::vector<MVPControllerKind> kinds {
        { MVMovieControllerTypeStandard, "Standard Controller" },
        { MVMovieControllerTypeNone, "No Controller" },
    };
    return kinds;
}

std::string MVPPlaybackOptionsPaneFactory::propertyInspectorNameForObject(const MVPInspectedObject& object)
{
    if (object.isTrack())
        return MVPLocalizedString(bundle(), "Track Settings");
    if (object.isMovie())
        return MVPLocalizedString(bundle(), "Movie Settings");
    return {};
}

std::shared_ptr<MVPPropertyInspector> MVPPlaybackOptionsPaneFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (object.isTrack())
        return std::make_shared<MVPTrackPlaybackOptionsPane>(object.track(), bundle(), host());
    if (object.isMovie())
        return std::make_shared<MVPMoviePlaybackOptionsPane>(object.movie(), bundle(), host());
    return nullptr;
}

MVPMoviePlaybackOptionsPane::MVPMoviePlaybackOptionsPane(
    std::shared_ptr<MVMovie> movie, std::shared_ptr<HXBundle> bundle, MVPPaneHost* host)
    : _movie(std::move(movie))
    , _bundle(std::move(bundle))
    , _host(host)
{
}

MVPMoviePlaybackOptionsPane::~MVPMoviePlaybackOptionsPane()
{
    if (auto* manager = undoManager())
        manager->removeAllActionsWithTarget(this);
    if (_observing)
        HXNotificationCenter::defaultCenter().removeObserver(_editedObserver);
}

HXUndoManager* MVPMoviePlaybackOptionsPane::undoManager() const
{
    return _movie ? _movie->undoManager() : nullptr;
}

void MVPMoviePlaybackOptionsPane::registerUndo(std::function<void()> action)
{
    if (auto* manager = undoManager())
        manager->registerUndo(this, std::move(action));
}

std::shared_ptr<HXView> MVPMoviePlaybackOptionsPane::view()
{
    if (_view)
        return _view;
    auto self = shared_from_this();
    auto text = [this](const char* key) { return MVPLocalizedString(_bundle, key); };
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });

    _view->addSubview(MVPMakeLabel(HXRect { { 8, 220 }, { 120, 18 } }, text("Controller"), 1));
    controllerPopup = std::make_shared<HXPopUpButton>(HXRect { { 134, 216 }, { 220, 24 } });
    auto menu = std::make_shared<HXMenu>();
    for (const auto& kind : MVPControllerKinds()) {
        auto item = std::make_shared<HXMenuItem>(text(kind.title), HXSelector("selectMCType:"), "");
        item->setTarget(self);
        item->setRepresentedObject(kind.type);
        menu->addItem(item);
    }
    controllerPopup->setMenu(menu);
    controllerPopup->setTarget(self);
    controllerPopup->setAction("selectMCType:");
    _view->addSubview(controllerPopup);

    conformButton = MVPMakeCheckBox(HXRect { { 134, 190 }, { 300, 18 } }, text("Conform aperture to dimensions"));
    _view->addSubview(conformButton);
    _view->addSubview(MVPMakeLabel(HXRect { { 8, 164 }, { 120, 18 } }, text("Aperture"), 1));
    aperturePopup = std::make_shared<HXPopUpButton>(HXRect { { 134, 160 }, { 220, 24 } });
    const char* apertures[] = { "Classic", "Clean Aperture", "Production Aperture", "Encoded Pixels" };
    for (size_t i = 0; i < std::size(apertures); ++i) {
        aperturePopup->addItemWithTitle(text(apertures[i]));
        aperturePopup->itemArray().back()->setTag(long(i));
    }
    _view->addSubview(aperturePopup);

    autoPlayButton = MVPMakeCheckBox(HXRect { { 134, 120 }, { 300, 18 } }, text("Auto Play"));
    autoCloseButton = MVPMakeCheckBox(HXRect { { 134, 96 }, { 300, 18 } }, text("Auto Close"));
    autoQuitButton = MVPMakeCheckBox(HXRect { { 134, 72 }, { 300, 18 } }, text("Auto Quit"));
    autoCaptureButton = MVPMakeCheckBox(HXRect { { 134, 48 }, { 300, 18 } }, text("Auto Present"));
    struct Control {
        std::shared_ptr<HXControl> control;
        const char* action;
        void (MVPMoviePlaybackOptionsPane::*handler)(HXObject*);
    } controls[] = {
        { aperturePopup, "selectApertureMode:", &MVPMoviePlaybackOptionsPane::selectApertureMode },
        { conformButton, "takeConformStateFrom:", &MVPMoviePlaybackOptionsPane::takeConformStateFrom },
        { autoPlayButton, "takeAutoPlayStateFrom:", &MVPMoviePlaybackOptionsPane::takeAutoPlayStateFrom },
        { autoCloseButton, "takeAutoCloseStateFrom:", &MVPMoviePlaybackOptionsPane::takeAutoCloseStateFrom },
        { autoQuitButton, "takeAutoQuitStateFrom:", &MVPMoviePlaybackOptionsPane::takeAutoQuitStateFrom },
        { autoCaptureButton, "takeAutoCaptureStateFrom:", &MVPMoviePlaybackOptionsPane::takeAutoCaptureStateFrom },
    };
    for (const auto& c : controls) {
        c.control->setTarget(self);
        c.control->setAction(c.action);
        auto handler = c.handler;
        setActionHandler(c.action, [this, handler](HXObject* sender) { (this->*handler)(sender); });
        if (c.control != aperturePopup)
            _view->addSubview(c.control);
    }
    setActionHandler("selectMCType:", [this](HXObject* sender) { selectMCType(sender); });
    return _view;
}

void MVPMoviePlaybackOptionsPane::startInspection()
{
    refreshControls();
    // One observer however often the window is shown again; it goes when the pane stops.
    if (!_observing) {
        _editedObserver = HXNotificationCenter::defaultCenter().addObserver(
            MVMovieEditedNotification, _movie.get(), [this](const HXNotification&) { refreshControls(); });
        _observing = true;
    }
}

void MVPMoviePlaybackOptionsPane::stopInspection()
{
    if (_observing)
        HXNotificationCenter::defaultCenter().removeObserver(_editedObserver);
    _observing = false;
}

void MVPMoviePlaybackOptionsPane::refreshControls()
{
    if (!_view)
        return;
    for (const auto& item : controllerPopup->itemArray()) {
        const auto* type = std::any_cast<uint32_t>(&item->representedObject());
        if (type && *type == mcType())
            controllerPopup->selectItem(item);
    }
    aperturePopup->selectItemWithTag(long(MVMoviePlayerApertureMode(*_movie)));
    autoPlayButton->setState(autoPlays());
    autoCloseButton->setState(MVMovieAutoCloseWhenDone(*_movie));
    autoQuitButton->setState(MVMovieAutoQuitWhenDone(*_movie));
    autoCaptureButton->setState(autoCaptures());
    bool conformed = MVMovieConformed(*_movie);
    conformButton->setState(conformed);
    aperturePopup->setEnabled(conformed);
    conformButton->setEnabled(_movie->hasVideo());
    autoCaptureButton->setEnabled(_movie->hasVideo());
}

uint32_t MVPMoviePlaybackOptionsPane::mcType() const
{
    return _movie->controllerType();
}

void MVPMoviePlaybackOptionsPane::setMCType(uint32_t type)
{
    uint32_t old = mcType();
    _movie->setControllerType(type);
    if (mcType() != old)
        registerUndo([this, old] { setMCType(old); });
    refreshControls();
}

void MVPMoviePlaybackOptionsPane::setPlayerApertureMode(uint32_t mode)
{
    uint32_t old = MVMoviePlayerApertureMode(*_movie);
    if (!MVMovieSetPlayerApertureMode(*_movie, mode))
        return; // not a mode the pop-up offers
    registerUndo([this, old] { setPlayerApertureMode(old); });
    if (aperturePopup)
        aperturePopup->selectItemWithTag(long(mode));
}

void MVPMoviePlaybackOptionsPane::setConformed(bool flag)
{
    bool old = MVMovieConformed(*_movie);
    if (flag != old) {
        registerUndo([this, old] { setConformed(old); });
        MVMovieSetConformed(*_movie, flag);
    }
    if (conformButton) {
        conformButton->setState(MVMovieConformed(*_movie));
        aperturePopup->setEnabled(MVMovieConformed(*_movie));
    }
}

bool MVPMoviePlaybackOptionsPane::autoPlays() const
{
    return MVMovieAutoPlay(*_movie);
}

void MVPMoviePlaybackOptionsPane::setAutoPlays(bool flag)
{
    bool old = autoPlays();
    registerUndo([this, old] { setAutoPlays(old); });
    MVMovieSetAutoPlay(*_movie, flag);
    if (autoPlayButton)
        autoPlayButton->setState(autoPlays());
}

void MVPMoviePlaybackOptionsPane::setAutoCloses(bool flag)
{
    bool old = MVMovieAutoCloseWhenDone(*_movie);
    registerUndo([this, old] { setAutoCloses(old); });
    MVMovieSetAutoCloseWhenDone(*_movie, flag);
    if (autoCloseButton)
        autoCloseButton->setState(flag);
}

void MVPMoviePlaybackOptionsPane::setAutoQuits(bool flag)
{
    bool old = MVMovieAutoQuitWhenDone(*_movie);
    registerUndo([this, old] { setAutoQuits(old); });
    MVMovieSetAutoQuitWhenDone(*_movie, flag);
    if (autoQuitButton)
        autoQuitButton->setState(flag);
}

bool MVPMoviePlaybackOptionsPane::autoCaptures() const
{
    if (!_host)
        return false;
    auto value = _host->persistentFullscreenSettingForKey(_movie, kAutoPresentKey);
    return value && value->boolValue();
}

void MVPMoviePlaybackOptionsPane::setAutoCaptures(bool flag)
{
    bool old = autoCaptures();
    // Without a document showing the movie nothing is stored, so there is nothing to undo either.
    if (_host && _host->setPersistentFullscreenSetting(_movie, HXPropertyList(flag), kAutoPresentKey))
        registerUndo([this, old] { setAutoCaptures(old); });
    if (autoCaptureButton)
        autoCaptureButton->setState(autoCaptures());
}

void MVPMoviePlaybackOptionsPane::selectApertureMode(HXObject* sender)
{
    auto* popup = dynamic_cast<HXPopUpButton*>(sender);
    if (popup && popup->selectedTag() >= 0 && uint32_t(popup->selectedTag()) != MVMoviePlayerApertureMode(*_movie))
        setPlayerApertureMode(uint32_t(popup->selectedTag()));
}

void MVPMoviePlaybackOptionsPane::selectMCType(HXObject* sender)
{
    std::shared_ptr<HXMenuItem> item;
    if (auto* popup = dynamic_cast<HXPopUpButton*>(sender))
        item = popup->selectedItem();
    const HXMenuItem* chosen = item ? item.get() : dynamic_cast<HXMenuItem*>(sender);
    const auto* type = chosen ? std::any_cast<uint32_t>(&chosen->representedObject()) : nullptr;
    if (type && *type != mcType())
        setMCType(*type);
}

void MVPMoviePlaybackOptionsPane::takeConformStateFrom(HXObject* sender)
{
    setConformed(stateOf(sender) != 0);
}

void MVPMoviePlaybackOptionsPane::takeAutoPlayStateFrom(HXObject* sender)
{
    if ((stateOf(sender) != 0) != autoPlays())
        setAutoPlays(stateOf(sender) != 0);
}

void MVPMoviePlaybackOptionsPane::takeAutoCloseStateFrom(HXObject* sender)
{
    if ((stateOf(sender) != 0) != MVMovieAutoCloseWhenDone(*_movie))
        setAutoCloses(stateOf(sender) != 0);
}

void MVPMoviePlaybackOptionsPane::takeAutoQuitStateFrom(HXObject* sender)
{
    if ((stateOf(sender) != 0) != MVMovieAutoQuitWhenDone(*_movie))
        setAutoQuits(stateOf(sender) != 0);
}

void MVPMoviePlaybackOptionsPane::takeAutoCaptureStateFrom(HXObject* sender)
{
    if ((stateOf(sender) != 0) != autoCaptures())
        setAutoCaptures(stateOf(sender) != 0);
}
