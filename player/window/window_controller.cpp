#include "player/window/window_controller.h"

#include "core/application_services.h"
#include "core/preferences.h"
#include "document/movie_document.h"
#include "player/window/movie_view.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

namespace {

// Where the next cascaded window goes, for every player window of the run.
struct Cascade {
    HXPoint point {};
    bool started = false;
};
Cascade& cascade()
{
    static Cascade c;
    return c;
}

bool preferenceIsOn(const char* key)
{
    return MVPPreferences::preferences().preference(key).boolValue();
}

std::string localized(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

bool isOneOf(HXSelector action, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return action == HXSelector(n); });
}

} // namespace

bool MVPMovieIsMPEG(const MVMovie& movie)
{
    std::string extension = std::filesystem::path(movie.fileName()).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::array<const char*, 10> mpegFiles
        = { ".mpg", ".mpeg", ".m1v", ".m2v", ".mpv", ".vob", ".mod", ".m1s", ".mp2", ".mpa" };
    if (std::find(mpegFiles.begin(), mpegFiles.end(), extension) != mpegFiles.end())
        return true;
    // Inside a movie file: a muxed MPEG media, or MPEG-1/2 video samples.
    static const std::array<uint32_t, 6> mpegFormats = { MVFourCC("MPEG"), MVFourCC("mpeg"), MVFourCC("m1v "),
        MVFourCC("m2v "), MVFourCC("mp1v"), MVFourCC("mp2v") };
    for (const auto& track : movie.tracks()) {
        auto media = track->media();
        if (!media)
            continue;
        if (media->mediaType() == MVFourCC("MPEG"))
            return true;
        MVBytes description = media->sampleDescription(1);
        if (description.size() >= 8) {
            uint32_t format = uint32_t(description[4]) << 24 | uint32_t(description[5]) << 16
                | uint32_t(description[6]) << 8 | uint32_t(description[7]);
            if (std::find(mpegFormats.begin(), mpegFormats.end(), format) != mpegFormats.end())
                return true;
        }
    }
    return false;
}

bool MVPMPEGEditingEnabled()
{
    auto values = MVMediaKeys::mediaKeys().mediaKeysForType("MVPlayerMPEGEditing");
    return !values.empty() && values.front() == "enable";
}

MVPWindowController::MVPWindowController()
{
    registerActions();
}

MVPWindowController::MVPWindowController(const std::shared_ptr<HXWindow>& window)
    : HXWindowController(window)
{
    registerActions();
}

MVPWindowController::MVPWindowController(std::string interfaceName)
    : HXWindowController(std::move(interfaceName))
{
    registerActions();
}

MVPWindowController::~MVPWindowController()
{
    if (_preferenceObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_preferenceObserver);
}

void MVPWindowController::registerActions()
{
    _preferenceObserver = HXNotificationCenter::defaultCenter().addObserver(this, kPreferenceChangedNotification,
        nullptr, [this](const HXNotification& note) { preferenceDidChange(note); });

    for (const char* action : { "cut:", "copy:", "paste:", "delete:", "trim:", "add:", "addScaled:", "replace:" })
        setActionHandler(action, [this, action](HXObject* sender) { forwardToMovieView(action, sender); });
    for (const char* action : { "gotoPosterFrame:", "gotoNextChapter:", "gotoPreviousChapter:" })
        setActionHandler(action, [this, action](HXObject* sender) { forwardToMovieView(action, sender); });

    setActionHandler("selectAll:", [this](HXObject*) {
        if (auto m = movie())
            m->setSelection(MVMakeTimeRange(MVMakeTime(0, m->timeScale()), m->duration()));
    });
    setActionHandler("selectNone:", [this](HXObject*) {
        if (auto m = movie()) {
            MVTime now = m->currentTime();
            m->setSelection(MVMakeTimeRange(now, MVMakeTime(0, now.timeScale)));
        }
    });
    setActionHandler("loop:", [this](HXObject*) {
        if (auto m = movie())
            m->setLoopingMode(
                m->loopingMode() == MVMovieLoopingMode::None ? MVMovieLoopingMode::Loop : MVMovieLoopingMode::None);
    });
    setActionHandler("loopBackAndForth:", [this](HXObject*) {
        if (auto m = movie())
            m->setLoopingMode(m->loopingMode() == MVMovieLoopingMode::BackAndForth ? MVMovieLoopingMode::None
                                                                                    : MVMovieLoopingMode::BackAndForth);
    });
    setActionHandler("playSelectionOnly:", [this](HXObject*) {
        if (auto m = movie())
            m->setPlaysSelectionOnly(!m->playsSelectionOnly());
    });
    setActionHandler("playAllFrames:", [this](HXObject*) {
        if (auto m = movie())
            m->setPlaysAllFrames(!m->playsAllFrames());
    });
    setActionHandler("setPosterFrame:", [this](HXObject*) {
        if (auto m = movie())
            m->setPosterTime(m->currentTime());
    });
    setActionHandler("mutingChanged:", [this](HXObject*) {
        if (auto m = movie())
            m->setMuted(m->isMuted());
    });
    setActionHandler("halfSize:", [this](HXObject* sender) { halfSize(sender); });
    setActionHandler("normalSize:", [this](HXObject* sender) { normalSize(sender); });
    setActionHandler("doubleSize:", [this](HXObject* sender) { doubleSize(sender); });
    setActionHandler("fitToScreen:", [this](HXObject* sender) { fitToScreen(sender); });
    setActionHandler("fillScreen:", [this](HXObject* sender) { fillScreen(sender); });
    setActionHandler("showSoundControls:", [this](HXObject* sender) { showSoundControls(sender); });
    setActionHandler("cascadeWindow:", [this](HXObject* sender) { cascadeWindow(sender); });
    setActionHandler("flattenOption:", [this](HXObject* sender) { flattenOption(sender); });
    setActionHandler("tiltSaveOptions:", [this](HXObject* sender) { tiltSaveOptions(sender); });
}

void MVPWindowController::forwardToMovieView(const char* action, HXObject* sender)
{
    if (_movieView)
        _movieView->performAction(action, sender);
}

void MVPWindowController::setMovieView(const std::shared_ptr<MVPMovieView>& view)
{
    if (view == _movieView)
        return;
    _movieView = view;
    if (_movieView)
        applyProAppsColorCompatibilityModeToMovieView();
}

std::shared_ptr<MVPMovieDocument> MVPWindowController::movieDocument() const
{
    return std::dynamic_pointer_cast<MVPMovieDocument>(document());
}

std::shared_ptr<MVMovie> MVPWindowController::movie() const
{
    auto doc = movieDocument();
    return doc ? doc->movie() : nullptr;
}

HXSize MVPWindowController::displayedMovieSize() const
{
    return _movieView && _movieView->window() ? _movieView->displayedMovieSize() : HXSize {};
}

// ---- The movie view for full screen ----

void MVPWindowController::removeMovieViewFromWindow()
{
    auto w = window();
    if (!w)
        return;
    HXRect frame = w->contentView() ? w->contentView()->frame() : HXZeroRect;
    w->setContentView(std::make_shared<HXView>(frame));
}

void MVPWindowController::restoreMovieViewToWindow()
{
    auto w = window();
    if (!w || !_movieView)
        return;
    w->setContentView(_movieView);
    _movieView->setNeedsDisplay(true);
}

HXRect MVPWindowController::windowFrameForMovieViewScreenFrame(const HXRect& movieScreenFrame) const
{
    auto w = const_cast<MVPWindowController*>(this)->window();
    return w ? w->frameRectForContentRect(movieScreenFrame) : movieScreenFrame;
}

// ---- Size commands ----

void MVPWindowController::halfSize(HXObject*)
{
    auto m = movie();
    setScale(HXMakeSize(0.5, 0.5), m != nullptr);
}

void MVPWindowController::normalSize(HXObject*)
{
    auto m = movie();
    setScale(HXMakeSize(1, 1), m != nullptr);
}

void MVPWindowController::doubleSize(HXObject*)
{
    auto m = movie();
    setScale(HXMakeSize(2, 2), m != nullptr);
}

// ---- Placement ----

void MVPWindowController::cascadeWindow(HXObject*)
{
    auto doc = movieDocument();
    HXPoint remembered = doc ? doc->persistentTopLeftPoint() : HXZeroPoint;
    auto w = window();
    if (!w)
        return;
    if (!(remembered == HXZeroPoint)) {
        w->setFrameTopLeftPoint(remembered);
        return;
    }
    size_t open = HXDocumentController::hasSharedDocumentController()
        ? HXDocumentController::sharedDocumentController()->documents().size()
        : 0;
    auto& c = cascade();
    if (open <= 1 || !c.started) {
        auto screens = HXScreen::screens();
        if (!screens.empty()) {
            HXRect visible = screens.front().visibleFrame();
            c.point = w->cascadeTopLeftFromPoint(HXMakePoint(HXMinX(visible), HXMaxY(visible)));
            c.started = true;
        }
    }
    c.point = w->cascadeTopLeftFromPoint(c.point);
}

void MVPWindowController::resetCascade()
{
    cascade() = {};
}

// ---- Front-player sound ----

void MVPWindowController::windowDidBecomeMain(HXWindow& window)
{
    HXWindowController::windowDidBecomeMain(window);
    mainWindowChanged(true);
}

void MVPWindowController::mainWindowChanged(bool becameMain)
{
    auto doc = movieDocument();
    if (!doc || !becameMain || !preferenceIsOn(kGeneralPreferencePlaySoundInFrontPlayerOnly))
        return;
    if (HXDocumentController::hasSharedDocumentController()
        && HXDocumentController::sharedDocumentController()->documents().size() > 1)
        muteRestOfTheMovies(true, doc.get());
    if (auto m = doc->movie())
        m->setMuted(false);
}

void MVPWindowController::muteRestOfTheMovies(bool muted, const HXDocument* except)
{
    if (!HXDocumentController::hasSharedDocumentController())
        return;
    auto controller = HXDocumentController::sharedDocumentController();
    if (!except)
        except = controller->currentDocument().get();
    for (const auto& document : std::vector(controller->documents())) {
        auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document);
        if (!doc || doc.get() == except || doc->isFullScreen())
            continue;
        if (auto m = doc->movie())
            m->setMuted(muted);
    }
}

// ---- Gestures ----

void MVPWindowController::swipeWithEvent(const HXEvent& event)
{
    if (_movieView)
        _movieView->swipeWithEvent(event);
}

void MVPWindowController::beginGestureWithEvent(const HXEvent& event)
{
    if (_movieView)
        _movieView->handleBeginGestureWithEvent(event);
}

void MVPWindowController::magnifyWithEvent(const HXEvent& event)
{
    auto w = window();
    if (!w)
        return;
    double sum = event.magnification();
    const double threshold = HXEvent::standardMagnificationThreshold();
    const HXEventMask pinch = HXEventMaskFromType(HXEventTypeMagnify) | HXEventMaskFromType(HXEventTypeEndGesture);
    bool fullScreen = sum >= threshold;
    auto& loop = HXRunLoop::main();
    while (!fullScreen) {
        // A pinch whose end never arrives counts as over after a while without events.
        auto next = w->nextEventMatchingMask(pinch, loop.now() + gestureTimeout, HXEventTrackingRunLoopMode, true);
        if (!next || next->type() == HXEventTypeEndGesture)
            break;
        sum += next->magnification();
        fullScreen = sum >= threshold;
    }
    w->discardEventsMatchingMask(HXEventMaskFromType(HXEventTypeGesture) | HXEventMaskFromType(HXEventTypeMagnify)
        | HXEventMaskFromType(HXEventTypeSwipe) | HXEventMaskFromType(HXEventTypeRotate)
        | HXEventMaskFromType(HXEventTypeBeginGesture) | HXEventMaskFromType(HXEventTypeEndGesture));
    if (fullScreen)
        if (auto doc = movieDocument())
            doc->enterFullScreenWithSettings(std::nullopt);
}

// ---- Undo bracket ----

void MVPWindowController::beginUndoOperation()
{
    if (auto m = movie())
        _undoOperation = MVPMovieAdditions::editState(*m);
}

void MVPWindowController::commitUndoOperation(const std::string& actionKey)
{
    if (!_undoOperation)
        return;
    auto m = movie();
    HXUndoManager* undo = _movieView ? _movieView->undoManager() : nullptr;
    if (m && undo) {
        std::weak_ptr<MVMovie> weak = m;
        MVPMovieEditState state = *_undoOperation;
        undo->registerUndo(m.get(), [weak, state] {
            if (auto movie = weak.lock())
                MVPMovieAdditions::useEditState(movie, state);
        });
        undo->setActionName(localized(actionKey));
    }
    _undoOperation.reset();
}

// ---- Colour mode ----

void MVPWindowController::applyProAppsColorCompatibilityModeToMovieView()
{
    if (!_movieView)
        return;
    bool installed = false;
    if (auto services = MVPApplicationServices::shared())
        installed = services->proAppsAreInstalled();
    _movieView->setDrawsWithTessalineCompatibleColors(
        installed && preferenceIsOn(kGeneralPreferenceEnableProAppsColorCompatibilityMode));
}

void MVPWindowController::preferenceDidChange(const HXNotification& notification)
{
    auto it = notification.userInfo().find(kPreferenceChangedUserInfo);
    if (it != notification.userInfo().end()
        && it->second.stringValue() == kGeneralPreferenceEnableProAppsColorCompatibilityMode)
        applyProAppsColorCompatibilityModeToMovieView();
}

// ---- Validation ----

MVPWindowController::MenuState MVPWindowController::menuState() const
{
    MenuState s;
    auto doc = movieDocument();
    auto m = doc ? doc->movie() : nullptr;
    s.reelspot = doc && doc->isReelspot();
    s.mpegEditingEnabled = MVPMPEGEditingEnabled();
    if (auto w = const_cast<MVPWindowController*>(this)->window())
        s.windowResizable = w->styleMask() & HXResizableWindowMask;
    if (!m)
        return s;
    s.hasMovie = true;
    s.isMPEG = MVPMovieIsMPEG(*m);
    // A panorama is not edited: its nodes each own their stretch of time.
    s.hasVRController = m->hasVRController();
    const bool panorama = m->isVRMovie();
    bool hasSelection = m->selection().duration.timeValue > 0;
    s.canCut = m->isEditable() && hasSelection && !panorama;
    s.canCopy = hasSelection && !panorama;
    s.canPaste = m->isEditable() && MVMoviePasteboard::generalPasteboard().movie() != nullptr && !panorama;
    s.isStreaming = m->isStreaming();
    s.movieType = int(m->movieType());
    s.isLoopable = m->hasDuration();
    s.isLinear = !panorama;
    s.saveable = m->loadState() >= MVMovieLoadStatePlayable;
    s.hasVideo = m->hasVideo();
    s.hasAudio = m->hasAudio();
    s.hasPosterTime = MVTimeIsNumeric(m->posterTime());
    return s;
}

bool MVPWindowController::validateAction(HXSelector action, const MenuState& s)
{
    const bool editing = !s.reelspot && (!s.isMPEG || s.mpegEditingEnabled);
    const bool selectable = s.hasMovie && !s.hasVRController;
    bool enabled = false;
    if (editing) {
        if (isOneOf(action, { "cut:", "delete:", "trim:" }))
            enabled = s.canCut;
        else if (action == HXSelector("copy:"))
            enabled = s.canCopy;
        else if (isOneOf(action, { "paste:", "add:", "addScaled:", "replace:" }))
            enabled = s.canPaste;
        else if (isOneOf(action, { "selectAll:", "selectNone:" }))
            enabled = selectable;
    } else if (!s.reelspot) {
        // An MPEG movie may still get tracks added and its selection changed.
        if (isOneOf(action, { "add:", "addScaled:" }))
            enabled = s.canPaste;
        else if (isOneOf(action, { "selectAll:", "selectNone:" }))
            enabled = selectable;
    }

    const bool liveStream = s.movieType == 3;
    if (isOneOf(action, { "halfSize:", "normalSize:", "doubleSize:" }))
        return s.hasMovie && s.hasVideo && !s.reelspot;
    if (action == HXSelector("fitToScreen:"))
        return s.hasMovie && s.hasVideo && !s.reelspot && s.windowResizable;
    if (action == HXSelector("loop:"))
        return s.hasMovie && s.isLoopable && !s.hasVRController && !liveStream;
    if (action == HXSelector("loopBackAndForth:"))
        return s.hasMovie && s.isLoopable && !s.hasVRController && !s.isStreaming;
    if (isOneOf(action, { "playSelectionOnly:", "playAllFrames:" }))
        return s.hasMovie && s.isLinear && !s.hasVRController && !liveStream;
    if (action == HXSelector("setPosterFrame:"))
        return s.hasMovie && s.saveable && s.isLinear && s.hasVideo && !s.hasVRController && !s.reelspot;
    if (action == HXSelector("gotoPosterFrame:"))
        return s.hasMovie && s.isLinear && s.hasVideo && !s.hasVRController && !s.reelspot && s.hasPosterTime;
    if (action == HXSelector("showSoundControls:"))
        return s.hasMovie && s.hasAudio;
    if (action == HXSelector("chapterSelected:"))
        return s.hasMovie;
    // Without chapters the commands go to the ends of the movie.
    if (isOneOf(action, { "gotoNextChapter:", "gotoPreviousChapter:" }))
        return s.hasMovie && s.isLinear && !s.hasVRController && !liveStream;
    return enabled;
}

bool MVPWindowController::validateMenuItem(HXMenuItem& item)
{
    HXSelector action = item.action();
    auto m = movie();
    auto check = [&](bool on) { item.setState(on ? HXOnState : HXOffState); };
    if (action == HXSelector("loop:"))
        check(m && m->loopingMode() != MVMovieLoopingMode::None);
    else if (action == HXSelector("loopBackAndForth:"))
        check(m && m->loopingMode() == MVMovieLoopingMode::BackAndForth);
    else if (action == HXSelector("playSelectionOnly:"))
        check(m && m->playsSelectionOnly());
    else if (action == HXSelector("playAllFrames:"))
        check(m && m->playsAllFrames());
    else if (action == HXSelector("showSoundControls:"))
        item.setTitle(localized(m && m->hasAudio() ? "mvpHideSoundControls" : "mvpShowSoundControls"));
    else if (action == HXSelector("fitToScreen:")) {
        item.setTitle(localized("mvpFitToScreen"));
        check(false);
    } else if (isOneOf(action, { "halfSize:", "normalSize:", "doubleSize:" }))
        check(false);
    return validateUserInterfaceItem(item);
}

bool MVPWindowController::validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item)
{
    // Only the commands this controller answers are decided here; others keep their own validation.
    HXSelector action = item.action();
    if (!respondsToAction(action) && action != HXSelector("chapterSelected:"))
        return HXWindowController::validateUserInterfaceItem(item);
    // Commands that do not depend on the movie stay usable.
    if (isOneOf(action, { "cascadeWindow:", "mutingChanged:", "flattenOption:", "tiltSaveOptions:" }))
        return true;
    return validateAction(action, menuState());
}
