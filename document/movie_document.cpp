#include "document/movie_document.h"

#include "platform/mvkit/aperture.h"
#include "platform/mvkit/movie_view.h"

#include "diagnostics/perf_collector.h"
#include "core/alert.h"
#include "document/movie_progress_window_controller.h"
#include "document/movie_document_profiling.h"
#include "core/movie_error.h"
#include "document/persistence.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/undo_manager.h"
#include "platform/basekit/user_defaults.h"
#include "platform/basekit/workspace.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/aperture.h"
#include "platform/mvkit/movie_view.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Feeds every document's _movieID: the value is taken, then the counter moves on.
int gNextMovieID = 0;

// The player's preferences are user defaults (with registered defaults that are all NO for the keys the
// document reads).
bool preferenceIsOn(const char* key)
{
    return HXUserDefaults::standardUserDefaults().objectForKey(key).boolValue();
}

uint32_t bigEndian32(const MVBytes& bytes, size_t offset)
{
    if (bytes.size() < offset + 4)
        return 0;
    return uint32_t(bytes[offset]) << 24 | uint32_t(bytes[offset + 1]) << 16
        | uint32_t(bytes[offset + 2]) << 8 | bytes[offset + 3];
}

int16_t bigEndian16(const MVBytes& bytes, size_t offset)
{
    if (bytes.size() < offset + 2)
        return 0;
    return int16_t(uint16_t(bytes[offset]) << 8 | bytes[offset + 1]);
}

std::optional<MVBytes> userDataItem(const MVMovie& movie, const char (&code)[5])
{
    return MVUserDataGetItem(movie.userData(), MVFourCC(code), 1);
}

// The first byte of an item, 0 when the item is empty.
uint8_t firstByte(const MVBytes& bytes)
{
    return bytes.empty() ? 0 : bytes[0];
}

bool envSet(const char* name)
{
    return std::getenv(name) != nullptr;
}

bool envIsOne(const char* name)
{
    const char* value = std::getenv(name);
    int number = 0;
    return value && std::sscanf(value, "%d", &number) == 1 && number == 1;
}

} // namespace

// ---- Creation ----

MVPMovieDocument::MVPMovieDocument(Token)
    : _ownUndoManager(std::make_unique<HXUndoManager>())
{
    setUndoManager(_ownUndoManager.get());
    _timeModeTC = preferenceIsOn("GeneralPreferenceShowTimeCode");
    registerReplacingAndLanguageActions();
    registerSavingActions();
    registerPrintingActions();
    registerFindActions();
    registerFullScreenActions();
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::make()
{
    return std::make_shared<MVPMovieDocument>(Token {});
}

void MVPMovieDocument::commonInit()
{
    assignUniqueMovieID();
}

void MVPMovieDocument::assignUniqueMovieID()
{
    _movieID = gNextMovieID++;
}

HXPropertyList::Dictionary MVPMovieDocument::movieAttributes(const char* sourceKey, HXPropertyList source)
{
    HXPropertyList::Dictionary attributes { { MVMovieApertureModeAttribute, MVMovieApertureModeClean } };
    if (sourceKey) {
        attributes[sourceKey] = std::move(source);
        attributes[MVMovieUsesPreferredLanguageAttribute] = true;
    }
    return attributes;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::document(HXError* outError)
{
    auto doc = make();
    doc->commonInit();
    HXError error;
    auto movie = MVMovie::movieWithAttributes(movieAttributes(nullptr, {}), &error);
    if (!movie) {
        HXError wrapped = MVPMovieErrorWithCode(MVPMovieErrorCouldNotCreateMovie, nullptr, error);
        if (outError)
            *outError = wrapped;
        auto alert = MVPAlert::alertWithError(wrapped);
        alert->runModal();
        return nullptr;
    }
    doc->setMovie(movie);
    doc->setFileType(MVPAnythingDocumentType);
    // An untitled movie keeps new media in memory until it is saved.
    movie->setDefaultDataReference(
        MVDataReference::dataReferenceWithReferenceToData(std::make_shared<std::vector<uint8_t>>()));
    return doc;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::documentWithContentsOfFile(
    const std::string& path, const std::string& type, bool isReelspot, HXError* outError)
{
    auto doc = make();
    doc->_isReelspot = isReelspot;
    if (!doc->readFromFile(path, type, outError))
        return nullptr;
    doc->commonInit();
    return doc;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::documentWithContentsOfURL(
    const HXURL& url, const std::string& type, bool isReelspot, HXError* outError)
{
    auto doc = make();
    doc->_isReelspot = isReelspot;
    if (!doc->readFromURL(url, type, outError))
        return nullptr;
    doc->commonInit();
    return doc;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::documentWithContentsOfURL(
    const HXURL& url, const std::string& type, HXError* outError)
{
    if (url.isFileURL())
        return documentWithContentsOfFile(url.path(), type, false, outError);
    return documentWithContentsOfURL(url, type, false, outError);
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::movieDocumentWithMVMovie(
    const std::shared_ptr<MVMovie>& movie)
{
    if (!movie)
        return nullptr;
    auto doc = make();
    doc->commonInit();
    doc->setFileType(MVPAnythingDocumentType);
    doc->setMovie(movie);
    doc->setFileNameFromMovie();
    return doc;
}

std::shared_ptr<MVPMovieDocument> MVPMovieDocument::movieDocumentWithDataReference(
    const MVDataReference& reference, HXError* outError)
{
    auto doc = make();
    doc->commonInit();
    if (!doc->readFromDataReference(reference, MVPAnythingDocumentType, outError))
        return nullptr;
    return doc;
}

MVPMovieDocument::~MVPMovieDocument()
{
    HXRunLoop::main().cancelPerformRequests(this);
    stopObservingEverything();
    _persistentFullscreenSettings = {};
    _fsPresentationWindowController.reset();
    setMovie(nullptr);
}

// ---- Reading ----

bool MVPMovieDocument::installReadMovie(
    const std::shared_ptr<MVMovie>& movie, const HXError& error, HXError* outError)
{
    if (!movie) {
        // The document keeps what it had: a failed open never leaves it without its movie.
        if (outError)
            *outError = MVPMovieErrorWithCode(MVPMovieErrorCouldNotOpenMovie, nullptr, error);
        return false;
    }
    if (outError)
        *outError = HXError();
    setMovie(movie);
    return true;
}

bool MVPMovieDocument::readFromFile(const std::string& path, const std::string& type, HXError* outError)
{
    HXError error;
    auto movie = MVMovie::movieWithAttributes(movieAttributes(MVMovieFileNameAttribute, path), &error);
    if (!installReadMovie(movie, error, outError))
        return false;
    setFileName(path);
    setFileType(type);
    return true;
}

bool MVPMovieDocument::readFromURL(const HXURL& url, const std::string& type, HXError* outError)
{
    HXError error;
    auto movie
        = MVMovie::movieWithAttributes(movieAttributes(MVMovieURLAttribute, url.absoluteString()), &error);
    if (!installReadMovie(movie, error, outError))
        return false;
    if (url.isFileURL())
        setFileName(url.path());
    setFileType(type);
    return true;
}

bool MVPMovieDocument::readFromDataReference(
    const MVDataReference& reference, const std::string& type, HXError* outError)
{
    HXError error;
    auto movie = MVMovie::movieWithDataReference(reference, &error);
    if (movie) {
        for (const auto& [key, value] : movieAttributes(MVMovieDataReferenceAttribute, {}))
            if (key != MVMovieDataReferenceAttribute)
                movie->setAttributeForKey(value, key);
    }
    if (!installReadMovie(movie, error, outError))
        return false;
    setFileNameFromMovie();
    if (!fileName().empty())
        setFileType(type);
    return true;
}

// ---- Installing a movie ----

void MVPMovieDocument::setMovie(const std::shared_ptr<MVMovie>& movie)
{
    if (_movie) {
        stopObservingMovie();
        _movie->setUndoManager(nullptr);
        _movie->setDelegate(nullptr);
        if (undoManager())
            undoManager()->removeAllActions();
        invalidateAttributeTimer();
    }
    _tracks.clear();
    _movie = movie;
    _appliedStoredMovieSettings = false;
    if (!_movie)
        return;
    _rebuildSubtitlesMenu = true;
    _rebuildLanguageMenu = true;
    _tracks = _movie->tracks();
    _lastLoadState = _movie->loadState();
    _movie->setUndoManager(undoManager());
    observeMovie();
    // What the preferences set up here (subtitles shown or not, the aperture, skins) is how this program
    // shows the movie, not a change the user made to it.
    const bool changed = _movie->hasChanged();
    if (preferenceIsOn("GeneralPreferenceHighQualityVideo")) {
        for (const auto& track : _movie->tracksOfMediaType(MVFourCC("vide")))
            track->setAttributeForKey(true, MVTrackHighQualityVideoAttribute);
    }
    applyApertureMode();
    for (const auto& track : _movie->tracksOfMediaType(MVFourCC("skin")))
        track->setEnabled(false);
    syncToNewMovie();
    _movie->setChanged(changed);
    updateAttributes();
}

void MVPMovieDocument::applyApertureMode()
{
    uint32_t code = MVFourCC("clea");
    if (auto stored = userDataItem(*_movie, "apmd"); stored && stored->size() >= 4) {
        code = bigEndian32(*stored, 0);
    } else if (!_movie->tracks().empty()) {
        // A movie that carries track aperture dimensions has been conformed to the clean aperture.
        bool conformed = std::any_of(_movie->tracks().begin(), _movie->tracks().end(), [](const auto& track) {
            const auto& children = track->storedDescription().unknownChildren;
            return std::any_of(children.begin(), children.end(),
                [](const MVRawAtom& atom) { return atom.type == MVFourCC("tapt"); });
        });
        code = conformed ? MVFourCC("clea") : MVFourCC("clas");
    }
    std::string mode = MVMovieApertureModeClean;
    if (code == MVFourCC("clas"))
        mode = MVMovieApertureModeClassic;
    else if (code == MVFourCC("prod"))
        mode = MVMovieApertureModeProduction;
    else if (code == MVFourCC("enco"))
        mode = MVMovieApertureModeEncodedPixels;
    _movie->setAttributeForKey(mode, MVMovieApertureModeAttribute);
}

void MVPMovieDocument::observeMovie()
{
    auto& center = HXNotificationCenter::defaultCenter();
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    auto observe
        = [&](const char* name, std::function<void(MVPMovieDocument&, const HXNotification&)> handler) {
              _movieObservers.push_back(center.addObserver(
                  this, name, _movie.get(), [weak, handler = std::move(handler)](const HXNotification& n) {
                      if (auto doc = weak.lock())
                          handler(*doc, n);
                  }));
          };
    observe(MVMovieEditedNotification, [](MVPMovieDocument& d, const HXNotification&) {
        d.movieEdited();
        d.movieEditFollowUp();
    });
    observe(MVMovieNaturalSizeDidChangeNotification,
        [](MVPMovieDocument& d, const HXNotification&) { d.movieNaturalSizeChanged(); });
    observe(MVMovieSizeDidChangeNotification,
        [](MVPMovieDocument& d, const HXNotification&) { d.updateCurrentSizeAttribute(); });
    observe(MVMovieControllerDidChangeNotification,
        [](MVPMovieDocument& d, const HXNotification&) { d.movieControllerChanged(); });
    observe(MVMovieDidEndNotification, [](MVPMovieDocument& d, const HXNotification&) { d.movieEnded(); });
    observe(MVMovieLoadStateDidChangeNotification,
        [](MVPMovieDocument& d, const HXNotification&) { d.monitorMovieLoadState(); });
    observe(MVMovieStatusStringPostedNotification,
        [](MVPMovieDocument& d, const HXNotification& n) { d.statusStringPosted(n); });
    observe(MVMovieRateDidChangeNotification,
        [](MVPMovieDocument& d, const HXNotification& n) { d.movieRateChanged(n); });
    observe(MVMovieTimeDidChangeNotification,
        [](MVPMovieDocument& d, const HXNotification&) { d.updateDynamicAttributes(); });
    // A track's settings changed with undo (the properties window's panes) change the document as an
    // edit does. Tracks post from themselves: listen to all, keep those of this movie.
    for (const char* name : { MVTrackPropertyDidChangeNotification, MVTrackAudioPropertyDidChangeNotification })
        _movieObservers.push_back(center.addObserver(this, name, nullptr, [weak](const HXNotification& n) {
            auto doc = weak.lock();
            auto track = n.objectAs<MVTrack>();
            if (doc && track && doc->_movie && track->movie() == doc->_movie)
                doc->movieEditFollowUp();
        }));
    // Requests of the movie itself: close its window, enter or leave full screen.
    for (const char* request : { MVMovieCloseWindowRequestNotification,
             MVMovieEnterFullScreenRequestNotification, MVMovieExitFullScreenRequestNotification })
        observe(request, [](MVPMovieDocument& d, const HXNotification& n) { d.handleMovieRequest(n); });
    if (!_timeModeObserver) {
        _timeModeObserver
            = center.addObserver(this, MVPTimeCodeModeDidChange, nullptr, [weak](const HXNotification& n) {
                  if (auto doc = weak.lock())
                      doc->docTimeModeDidChange(n);
              });
    }
}

void MVPMovieDocument::stopObservingMovie()
{
    for (auto token : _movieObservers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _movieObservers.clear();
}

void MVPMovieDocument::stopObservingEverything()
{
    stopObservingMovie();
    auto& center = HXNotificationCenter::defaultCenter();
    if (_timeModeObserver)
        center.removeObserver(_timeModeObserver);
    _timeModeObserver = 0;
    for (auto token : _fullScreenObservers)
        center.removeObserver(token);
    _fullScreenObservers.clear();
    if (_sleepObserver)
        HXWorkspace::notificationCenter().removeObserver(_sleepObserver);
    _sleepObserver = 0;
    invalidateAttributeTimer();
}

void MVPMovieDocument::refreshNaturalSize()
{
    if (!_movie) {
        _naturalSize = {};
        _userScale = { 1, 1 };
        return;
    }
    auto [width, height] = _movie->naturalSize();
    HXSize current = displayedMovieSize();
    if (current.width <= 0 || current.height <= 0)
        current = { width, height };
    _naturalSize = { width, height };
    if (width > 0 && height > 0 && current.width > 0 && current.height > 0)
        _userScale = { current.width / width, current.height / height };
    else
        _userScale = { 1, 1 };
}

void MVPMovieDocument::syncToNewMovie()
{
    refreshNaturalSize();
    if (_movie)
        _movie->setEditable(true);
    setNeedsToReadStartupAttributes(true);
    updateChangeCount(HXChangeCleared);
    syncProgressSheetToMovie();
    syncLanguagesAndLinksToMovie();

    // A movie of another kind (a skin, no controller) gets the window made for it.
    if (!changeWindowControllerIfNecessary()) {
        syncWindowControllerToNewMovie();
        if (_fullScreen)
            _playerWindowControllerNeedsMovieSync = true;
    }
    if (!_isReelspot)
        noteRecentDocument();

    if (_moviePropertyBrowser && _movie) {
        std::shared_ptr<HXApplication> app
            = HXApplication::hasSharedApplication() ? HXApplication::sharedApplication() : nullptr;
        if (app)
            app->disableScreenUpdates();
        bool visible
            = _moviePropertyBrowser->isWindowLoaded() && _moviePropertyBrowser->window()->isVisible();
        auto old = _moviePropertyBrowser;
        removeWindowController(old);
        old->close();
        _moviePropertyBrowser = MVPDocumentPropertiesWindow::windowForMovie(_movie);
        if (_moviePropertyBrowser) {
            addWindowController(_moviePropertyBrowser);
            if (visible)
                _moviePropertyBrowser->showWindow();
        }
        if (app)
            app->enableScreenUpdates();
    }

    applyStoredMovieSettingsIfPossible();
    if (_movie && _movie->hasClosedCaptions())
        _movie->setClosedCaptionsVisible(preferenceIsOn("GeneralPreferenceShowClosedCaptioning"));
    if (_movie && _movie->hasSubtitles())
        _movie->setSubtitlesVisible(preferenceIsOn("GeneralPreferenceShowSubtitles"));
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPMovieDocumentSetMovieNotification, shared_from_this()));
}

void MVPMovieDocument::applyStoredMovieSettingsIfPossible()
{
    // A movie still loading over the network has no settings yet: they apply once it is playable.
    if (!_movie || _appliedStoredMovieSettings || _movie->loadState() < MVMovieLoadStatePlayable)
        return;
    _appliedStoredMovieSettings = true;
    MVPPersistence::applyStoredPlaybackModes(*_movie);
    MVPPersistence::applyMetaDataItemsToMovie(*this);
}

void MVPMovieDocument::noteRecentDocument()
{
    if (!HXDocumentController::hasSharedDocumentController())
        return;
    HXURL url = fileURL();
    if (url.absoluteString().empty() && _movie && _movie->URL())
        url = *_movie->URL();
    if (!url.absoluteString().empty())
        HXDocumentController::sharedDocumentController()->noteNewRecentDocumentURL(url);
}

void MVPMovieDocument::movieChanged()
{
    if (_movie)
        _movie->movieChanged();
}

void MVPMovieDocument::movieEdited()
{
    if (!_movie)
        return;
    for (const auto& track : _movie->tracks())
        if (std::find(_tracks.begin(), _tracks.end(), track) == _tracks.end())
            _tracks.push_back(track);
    if (_fullScreen) {
        _playerWindowControllerNeedsMovieContentSync = true;
        if (auto presenting = presentation())
            presenting->syncToChangeInMovieContent();
    }
    auto [width, height] = _movie->naturalSize();
    if (width != _naturalSize.width || height != _naturalSize.height)
        movieNaturalSizeChanged();
    // An edit that adds or removes a skin, or a picture, calls for the other kind of window.
    if (!changeWindowControllerIfNecessary() && !_fullScreen)
        syncWindowControllerToChangeInMovieContent();
    updateAttributes();
}

void MVPMovieDocument::movieNaturalSizeChanged()
{
    if (!_movie)
        return;
    auto [width, height] = _movie->naturalSize();
    if (width == _naturalSize.width && height == _naturalSize.height)
        return;
    auto self = shared_from_this();
    auto& center = HXNotificationCenter::defaultCenter();
    center.postNotification(HXNotification(MVPMovieDocumentWillChangeNaturalSizeNotification, self));
    _naturalSize = { width, height };
    center.postNotification(HXNotification(MVPMovieDocumentDidChangeNaturalSizeNotification, self));
    movieEdited();
}

void MVPMovieDocument::movieControllerChanged()
{
    if (changeWindowControllerIfNecessary())
        return;
    if (_movie)
        _movie->setEditable(true);
    syncWindowControllerToNewMovie();
    if (auto presenting = presentation()) {
        presenting->syncToChangeInMovieContent();
        presenting->syncToNewMovie();
    }
    if (_fullScreen) {
        _playerWindowControllerNeedsMovieContentSync = true;
        _playerWindowControllerNeedsMovieSync = true;
    }
}

// ---- Names and sizes ----

std::string MVPMovieDocument::displayName() const
{
    if (_movie) {
        std::string name = _movie->displayName();
        if (!name.empty())
            return name;
    }
    return HXDocument::displayName();
}

std::string MVPMovieDocument::safeDisplayName() const
{
    std::string name = displayName();
    std::replace(name.begin(), name.end(), ':', '-');
    return name;
}

void MVPMovieDocument::setFileNameFromMovie()
{
    if (!_movie)
        return;
    auto name = _movie->attributeForKey(MVMovieFileNameAttribute);
    if (name.isString() && !name.stringValue().empty())
        setFileName(name.stringValue());
}

void MVPMovieDocument::setUserScale(HXSize scale)
{
    if (scale.width > 0 && scale.height > 0 && _naturalSize.width > 0 && _naturalSize.height > 0)
        _userScale = scale;
    updateCurrentSizeAttribute();
}

void MVPMovieDocument::setUserSize(HXSize size)
{
    if (size.width > 0 && size.height > 0 && _naturalSize.width > 0 && _naturalSize.height > 0)
        _userScale = { size.width / _naturalSize.width, size.height / _naturalSize.height };
    updateCurrentSizeAttribute();
}

uint32_t MVPMovieDocument::movieControllerType() const
{
    return _movie ? _movie->controllerType() : MVMovieControllerTypeStandard;
}

void MVPMovieDocument::setMovieControllerType(uint32_t type)
{
    uint32_t old = movieControllerType();
    if (!_movie || old == type)
        return;
    if (undoManager()) {
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        undoManager()->registerUndo(this, [weak, old] {
            if (auto doc = weak.lock())
                doc->setMovieControllerType(old);
        });
    }
    // The movie announces the change; the document follows it from there.
    _movie->setControllerType(type);
}

// ---- Windows ----

// The player window controller itself and its kind: movie_document_windows.cpp.

void MVPMovieDocument::makeWindowControllers()
{
    _playerWindowController = makePlayerWindowController();
    addWindowController(_playerWindowController);
    if (HXPoint topLeft = persistentTopLeftPoint(); topLeft.x != 0 || topLeft.y != 0) {
        // The window goes where the movie was last shown, not to the next cascade position.
        _playerWindowController->window()->setFrameTopLeftPoint(topLeft);
        _playerWindowController->setShouldCascadeWindows(false);
    }
    _playerWindowController->synchronizeWindowTitleWithDocumentName();
    // The progress sheet belongs to the player window: it is made with it and goes with it.
    setMovieProgressWindowController(
        MVPMovieProgressWindowController::movieProgressWindowControllerWithMovie(_movie, movieWindow()));
    addWindowController(_movieProgressWindowController);
    if (_movie)
        _movie->setEditable(true);
    if (!_sleepObserver) {
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        _sleepObserver = HXWorkspace::notificationCenter().addObserver(
            this, HXWorkspaceWillSleepNotification, nullptr, [weak](const HXNotification&) {
                if (auto doc = weak.lock())
                    doc->systemWillSleep();
            });
    }
    // The resize profile counts the player window's resizes.
    if (envSet("MVPLAYERRESIZEPROFILE"))
        MVPProfilingHooks::observeWindowResizes(*this);
}

void MVPMovieDocument::showWindows()
{
    if (_playerWindowController)
        _playerWindowController->showWindow();
    windowDidBecomeVisible();
    scheduleIdleCheck();

    if (auto collector = MVPerfCollector::initTestingEnvVar("MOVIEPLAYEROPENPROFILE")) {
        collector->setResultsPathFromEnvVar("MOVIEPLAYERRESULTSPATH");
        MVPerfCollector::setCollectorForTest(collector, "MOVIEPLAYEROPENPROFILE");
        collector->startMeasurementOfMainTaskFromEnvVar("MOVIEPLAYERBEFORESECONDS");
        collector->stopMeasurementOfMainTask();
        collector->startMeasurementOfTaskFromEnvVar("total_launch", "MOVIEPLAYERBEFORESECONDS");
        collector->collectMemoryUsageWithLabel("resident_memory_showWindows");
    }
    if (envIsOne("MVPLAYERFULLSCREENPROFILE"))
        enterFullScreenWithSettings(std::nullopt);
    if (envIsOne("MVPLAYERLOOPPROFILE") && _movie)
        _movie->setLoopingMode(MVMovieLoopingMode::Loop);
    if (envSet("MVPLAYERPLAYBACKPROFILE") && _movie) {
        if (auto window = movieWindow())
            window->makeKeyAndOrderFront();
        _movie->play();
    }
    // ---- The resize profile: the window in front, then the run (once launching is over) ----
    if (envSet("MVPLAYERRESIZEPROFILE") && _movie) {
        if (auto window = movieWindow())
            window->makeKeyAndOrderFront();
        if (HXApplication::hasSharedApplication())
            HXApp().activateIgnoringOtherApps(true);
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        HXRunLoop::main().perform([weak] {
            if (auto doc = weak.lock())
                MVPProfilingHooks::playerResizeTest(*doc);
        });
    }
    // ---- end of the resize profile ----
}

std::shared_ptr<HXWindowController> MVPMovieDocument::currentWindowController() const
{
    if (_fullScreen && _fsPresentationWindowController)
        return _fsPresentationWindowController;
    return _playerWindowController;
}

std::shared_ptr<HXWindow> MVPMovieDocument::movieWindow() const
{
    return _playerWindowController ? _playerWindowController->window() : nullptr;
}

void MVPMovieDocument::removeWindowController(const std::shared_ptr<HXWindowController>& controller)
{
    if (controller && controller == _playerWindowController)
        _playerWindowController.reset();
    if (controller && controller == _movieProgressWindowController)
        setMovieProgressWindowController(nullptr);
    if (controller && controller == _moviePropertyBrowser)
        _moviePropertyBrowser.reset();
    if (controller && controller == _fsPresentationWindowController) {
        for (auto token : _fullScreenObservers)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        _fullScreenObservers.clear();
        _fsPresentationWindowController.reset();
    }
    HXDocument::removeWindowController(controller);
}

HXPoint MVPMovieDocument::persistentTopLeftPoint()
{
    if ((_persistentTopLeftPoint.x != 0 || _persistentTopLeftPoint.y != 0) || !_movie)
        return _persistentTopLeftPoint;
    auto stored = userDataItem(*_movie, "WLOC");
    auto screens = HXScreen::screens();
    if (!stored || stored->size() < 4 || screens.empty())
        return _persistentTopLeftPoint;
    double top = bigEndian16(*stored, 0);
    double left = bigEndian16(*stored, 2);
    // Display coordinates have their origin at the top left of the first screen, y growing downwards.
    HXRect first = screens.front().frame();
    double flipBase = first.origin.y + first.size.height;
    for (const auto& screen : screens) {
        HXRect f = screen.frame();
        double displayTop = flipBase - (f.origin.y + f.size.height);
        bool holds = left >= f.origin.x && left < f.origin.x + f.size.width && top >= displayTop
            && top < displayTop + f.size.height;
        if (!holds)
            continue;
        double y = flipBase - top;
        if (y - f.origin.y >= 30)
            _persistentTopLeftPoint = { left, y };
        break;
    }
    return _persistentTopLeftPoint;
}

void MVPMovieDocument::close()
{
    if (isClosed())
        return;
    auto self = shared_from_this();
    if (_movieInfo) {
        _movieInfo->hidePanel();
        _movieInfo.reset();
    }
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPMovieDocumentWillCloseNotification, self));
    // An alert of this document still waiting for an answer (its load failed, say) goes with it: left
    // behind, its modal loop would hold the whole program in it.
    if (auto alert = _shownAlert.lock())
        alert->dismiss();
    if (_sleepObserver)
        HXWorkspace::notificationCenter().removeObserver(_sleepObserver);
    _sleepObserver = 0;
    if (_movie)
        _movie->stop();
    if (_fullScreen)
        exitFullScreen();
    // A closed document hears nothing more from its movie, its timers or its delayed work.
    HXRunLoop::main().cancelPerformRequests(this);
    stopObservingEverything();
    HXDocument::close();
    _playerWindowController.reset();
    _moviePropertyBrowser.reset();
    _fsPresentationWindowController.reset();
}

// ---- Full screen: movie_document_fullscreen.cpp ----

// ---- Info panel and properties window ----

std::shared_ptr<MVPDocumentInfoPanel> MVPMovieDocument::movieInfo()
{
    if (!_movieInfo)
        _movieInfo = MVPDocumentInfoPanel::panelForDocument(std::static_pointer_cast<HXDocument>(shared_from_this()));
    return _movieInfo;
}

void MVPMovieDocument::showMovieInfo(HXObject*)
{
    if (auto info = movieInfo())
        info->showHidePanel();
}

void MVPMovieDocument::openMovieProperties(HXObject*)
{
    if (!_moviePropertyBrowser) {
        _moviePropertyBrowser = MVPDocumentPropertiesWindow::windowForMovie(_movie);
        if (!_moviePropertyBrowser)
            return;
        addWindowController(_moviePropertyBrowser);
    }
    _moviePropertyBrowser->showWindow();
}

// ---- Load state and start-up settings ----

long MVPMovieDocument::showAlert(const std::string& message, const std::string& informative,
    const std::string& defaultButton, const std::string& alternateButton)
{
    if (runAlert)
        return runAlert(message, informative, defaultButton, alternateButton);
    auto alert = HXAlert::alertWithMessageText(message, defaultButton, alternateButton, {}, informative);
    // Closing the document (a script may, while the alert waits) takes the alert away with it.
    _shownAlert = alert;
    long answer = alert->runModal();
    _shownAlert.reset();
    return answer;
}

void MVPMovieDocument::monitorMovieLoadState()
{
    if (!_movie)
        return;
    int64_t state = _movie->loadState();
    if (state == _lastLoadState)
        return;
    _lastLoadState = state;
    if (state == MVMovieLoadStateError) {
        if (_netDiagnosticSheetVisible)
            return;
        std::string informative = _movie->loadError().localizedDescription();
        long answer = showAlert(HXLocalizedString("mvpInvalidURLError"), informative, {}, {});
        if (answer == HXAlertDefaultReturn) {
            std::weak_ptr<MVPMovieDocument> weak
                = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
            HXRunLoop::main().performAfterDelay(this, 0, [weak] {
                if (auto doc = weak.lock())
                    doc->close();
            });
        }
        return;
    }
    if (state >= MVMovieLoadStatePlayable) {
        if (auto controller = currentWindowController())
            controller->synchronizeWindowTitleWithDocumentName();
        if (!_isReelspot)
            noteRecentDocument();
        refreshNaturalSize();
        applyStoredMovieSettingsIfPossible();
        applyStartupAttributesIfNeeded();
        scheduleIdleCheck();
        updateAttributes();
    }
}

void MVPMovieDocument::windowDidBecomeVisible()
{
    if (!needsToApplyStartupAttributes() || _isReelspot || !_movie)
        return;
    if (_movie->loadState() >= MVMovieLoadStatePlayable)
        applyStartupAttributesIfNeeded();
}

void MVPMovieDocument::applyStartupAttributesIfNeeded()
{
    if (needsToApplyStartupAttributes())
        applyStartupAttributes();
}

void MVPMovieDocument::applyStartupAttributes()
{
    readStartupAttributesIfNeeded();
    applyMovieStartupAttributes();
    setNeedsToApplyStartupAttributes(false);
}

void MVPMovieDocument::readStartupAttributesIfNeeded()
{
    if (!needsToReadStartupAttributes())
        return;
    readMovieStartupAttributes();
    setNeedsToReadStartupAttributes(false);
}

void MVPMovieDocument::readMovieStartupAttributes()
{
    _autoPlay = false;
    _goFullScreen = false;
    _persistentFullscreenSettings = {};
    if (!_movie)
        return;
    const MVMovie& movie = *_movie;
    if (!preferenceIsOn("ZantrelScriptPreferenceIgnoreAutoPlay")) {
        if (preferenceIsOn("GeneralPreferenceAutoPlayMoviesWhenOpened"))
            _autoPlay = true;
        else if (auto play = userDataItem(movie, "play"))
            _autoPlay = firstByte(*play) != 0;
    }
    if (auto ptv = userDataItem(movie, "ptv "); ptv && ptv->size() >= 8) {
        _persistentFullscreenSettings.size = int64_t(bigEndian16(*ptv, 0));
        _persistentFullscreenSettings.slideShowMode = (*ptv)[6] != 0;
        _persistentFullscreenSettings.autoPresent = (*ptv)[7] != 0;
        if ((*ptv)[7] != 0 && !preferenceIsOn("ZantrelScriptPreferenceIgnoreAutoPresent"))
            _goFullScreen = true;
    }
    if (auto ptvc = userDataItem(movie, "ptvc"); ptvc && ptvc->size() >= 6) {
        auto component = [&](size_t offset) { return uint16_t(bigEndian16(*ptvc, offset)) / 65535.0; };
        _persistentFullscreenSettings.color
            = HXColor::colorWithCalibratedRed(component(0), component(2), component(4), 1.0);
    }
    if (auto ptvd = userDataItem(movie, "ptvd"); ptvd && ptvd->size() >= 12) {
        // Both words are read big-endian, like every other number the player keeps in a movie.
        uint32_t displayNumber = bigEndian32(*ptvd, 0);
        auto index = int32_t(bigEndian32(*ptvd, 8));
        auto screens = HXScreen::screens();
        if (auto screen = HXScreen::screenWithNumber(displayNumber))
            _persistentFullscreenSettings.screen = *screen;
        else if (index >= 0 && size_t(index) < screens.size())
            _persistentFullscreenSettings.screen = screens[size_t(index)];
    }
    if (auto ptva = userDataItem(movie, "ptva"); ptva && !ptva->empty())
        _persistentFullscreenSettings.captureAllDisplays = firstByte(*ptva) != 0;
    if (auto ptvs = userDataItem(movie, "ptvs"); ptvs && !ptvs->empty())
        _persistentFullscreenSettings.changeResolution = firstByte(*ptvs) != 0;
    if (auto aclo = userDataItem(movie, "aclo"); aclo && !aclo->empty())
        _closeWhenDone = firstByte(*aclo) != 0;
    if (auto aqui = userDataItem(movie, "aqui"); aqui && !aqui->empty())
        _quitWhenDone = firstByte(*aqui) != 0;
    _hadPersistentFullscreenSettings = !_persistentFullscreenSettings.empty();
}

void MVPMovieDocument::applyMovieStartupAttributes()
{
    if (!_movie)
        return;
    if (_goFullScreen && _movie->hasVideo()) {
        enterFullScreenWithSettings(_persistentFullscreenSettings);
        return;
    }
    if (_autoPlay)
        _movie->play();
}

HXPropertyList MVPMovieDocument::persistentFullscreenSettingForKey(const std::string& key) const
{
    return _persistentFullscreenSettings.valueForKey(key);
}

void MVPMovieDocument::setPersistentFullscreenSetting(const HXPropertyList& value, const std::string& key)
{
    _persistentFullscreenSettings.setValueForKey(value, key);
}

// ---- Playback followers ----

void MVPMovieDocument::movieRateChanged(const HXNotification& notification)
{
    bool playing = false;
    auto it = notification.userInfo().find(MVMovieRateDidChangeNotificationParameter);
    if (it != notification.userInfo().end()) {
        double rate = it->second.realValue();
        playing = rate != 0 || std::isnan(rate);
    } else {
        playing = _movie && _movie->isPlaying();
    }
    // The playback profile starts at a play and ends at the following stop.
    if (envSet("MVPLAYERPLAYBACKPROFILE"))
        MVPProfilingHooks::playerPlaybackTest(*this, notification);
    _streamingStatusCode = 0;
    _streamingStatusMessage.clear();
    updatePlaybackAttributesTimer();
    if (!playing)
        invalidateAttributeTimer();
}

void MVPMovieDocument::invalidateAttributeTimer()
{
    if (_attributeTimer)
        _attributeTimer->invalidate();
    _attributeTimer.reset();
}

void MVPMovieDocument::updatePlaybackAttributesTimer()
{
    if (!_movie || _movie->rate() == 0) {
        updateDynamicAttributes();
        return;
    }
    if (!_attributeTimer) {
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        _attributeTimer = HXTimer::scheduledTimer(1.0, true,
            [weak](HXTimer&) {
                if (auto doc = weak.lock())
                    doc->updateDynamicAttributes();
            },
            { HXRunLoopCommonModes });
    }
    updateDynamicAttributes();
}

void MVPMovieDocument::statusStringPosted(const HXNotification& notification)
{
    const auto& info = notification.userInfo();
    auto value = [&info](const char* key) {
        auto it = info.find(key);
        return it == info.end() ? HXPropertyList() : it->second;
    };
    int64_t flags = value(MVMovieStatusFlagsNotificationParameter).integerValue();
    std::string text = value(MVMovieStatusStringNotificationParameter).stringValue();
    long code = long(value(MVMovieStatusCodeNotificationParameter).integerValue());
    if (flags & 4) {
        if (!(flags & 8) || code == 5)
            return;
        if (code != 0) {
            _streamingStatusCode = code;
            _streamingStatusMessage = text;
        } else if (_movie && _movie->isPlaying()) {
            _streamingStatusCode = 0;
            _streamingStatusMessage = text;
        }
        return;
    }
    if (flags & 16) {
        std::string message;
        message.reserve(50);
        if (flags & 8) {
            message += std::to_string(code);
            if (!text.empty())
                message += ": ";
        }
        message += text;
        _streamingStatusMessage = message;
        _streamingStatusCode = 0;
        return;
    }
    _streamingStatusMessage = text;
    _streamingStatusCode = 0;
}

void MVPMovieDocument::movieEnded()
{
    if (_closeWhenDone) {
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        canCloseDocument([weak](bool shouldClose) {
            if (auto doc = weak.lock(); doc && shouldClose)
                doc->close();
        });
    }
    if (_quitWhenDone) {
        auto terminate = terminateApplication;
        HXRunLoop::main().performAfterDelay(this, 0, [terminate] {
            if (terminate)
                terminate();
            else if (HXApplication::hasSharedApplication())
                HXApplication::sharedApplication()->terminate();
        });
    }
}

void MVPMovieDocument::scheduleIdleCheck()
{
    // Once the window is up and the movie can play in it, its status is looked at (on the next turn of
    // the run loop, when the playback has taken the tracks over): the user hears what of the file cannot
    // be played. A movie still arriving is looked at when it becomes playable; one that fails to load
    // has its own alert.
    if (!_movie || _checkedMovieStatus || _movie->loadState() < MVMovieLoadStatePlayable)
        return;
    auto window = movieWindow();
    if (!window || !window->isVisible())
        return;
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    HXRunLoop::main().performAfterDelay(this, "handleIdleEvent", 0, [weak] {
        if (auto doc = weak.lock())
            doc->handleIdleEvent();
    });
}

bool MVPMovieDocument::handleIdleEvent()
{
    if (_checkedMovieStatus || !_movie)
        return false;
    _checkedMovieStatus = true;
    HXError status = _movie->status();
    if (status.code() == 0 && !_movie->openWarnings().empty()) {
        // Streams the movie opened without: say which and why.
        std::string text = "Some of the movie\u2019s streams cannot be played:";
        for (const auto& warning : _movie->openWarnings())
            text += "\n" + warning;
        status = HXError::withDescription(HXOSStatusErrorDomain, MVStatusUnsupportedImport, text);
    }
    if (status.code() == 0)
        return false;
    HXError error = MVPMovieErrorWithCode(MVPMovieErrorMightExperiencePlaybackProblems, _movie, status);
    auto alert = MVPAlert::alertWithError(error);
    long answer = showAlert(alert->messageText(), alert->informativeText(), HXLocalizedString("continue"),
        HXLocalizedString("close"));
    if (answer == HXAlertAlternateReturn) {
        std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
        HXRunLoop::main().performAfterDelay(this, 0, [weak] {
            if (auto doc = weak.lock())
                doc->close();
        });
    }
    return false;
}

void MVPMovieDocument::suspend()
{
    // A second suspend before the resume keeps what the first one saw.
    if (!_movie || _suspended)
        return;
    _suspended = true;
    _savedRate = _movie->rate();
    _savedMuted = _movie->isMuted();
    if (_savedRate != 0)
        _movie->setRate(0);
    if (!_savedMuted)
        _movie->setMuted(true);
}

void MVPMovieDocument::resume()
{
    if (!_movie || !_suspended)
        return;
    _suspended = false;
    if (!_savedMuted)
        _movie->setMuted(false);
    if (_savedRate != 0)
        _movie->setRate(_savedRate);
}

void MVPMovieDocument::systemWillSleep()
{
    if (_movie)
        _movie->stop();
}

void MVPMovieDocument::docTimeModeDidChange(const HXNotification& notification)
{
    const auto& info = notification.userInfo();
    auto movieIt = info.find(MVPLCDTimeModeMovieKey);
    if (!_movie || movieIt == info.end()
        || movieIt->second.integerValue() != timeModeMovieValue(_movie.get()))
        return;
    auto modeIt = info.find(MVPLCDTimeModeKey);
    int64_t mode = modeIt == info.end() ? 0 : modeIt->second.integerValue();
    if (mode == 1)
        _timeModeTC = false;
    else if (mode >= 2 && mode <= 4)
        _timeModeTC = !_movie->tracksOfMediaType(MVFourCC("tmcd")).empty();
    updateDynamicAttributes();
}
