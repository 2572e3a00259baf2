#include "app/application_delegate.h"

#include "app/about_panel.h"
#include "app/content_guide_window_controller.h"
#include "app/document_controller.h"
#include "app/favorites_controller.h"
#include "core/preferences.h"
#include "core/alert.h"
#include "document/movie_document.h"
#include "export/processing_document.h"
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/av_controls.h"
#include "inspectors/movie_info.h"
#include "inspectors/property_inspector_browser.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/uncaught_exception.h"
#include "platform/basekit/user_defaults.h"
#include "platform/basekit/workspace.h"
#include "platform/mvkit/media_keys.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"
#include "player/window/window_controller.h"
#include "recording/capture_document.h"

#include <cstdlib>

namespace {

constexpr uint32_t kProcessPropertyClass = 0x71676573; // 'qges'

HXApplication* applicationOf(const HXNotification& notification)
{
    return HXApplication::hasSharedApplication()
            && notification.object() == HXApplication::sharedApplication().get()
        ? HXApplication::sharedApplication().get()
        : nullptr;
}

bool preferenceBool(const char* key)
{
    return MVPPreferences::preferences().preference(key).boolValue();
}

} // namespace

// Construction

MVPApplicationDelegate::Environment MVPApplicationDelegate::standardEnvironment()
{
    Environment env;
    env.mediaKeys = [](const std::string& type) { return MVMediaKeys::mediaKeys().mediaKeysForType(type); };
    env.mediaKeyBool = [](const std::string& type, bool defaultValue) {
        return MVMediaKeys::mediaKeys().boolForType(type, defaultValue);
    };
    // The media layer keeps no process-wide switches of its own: these settings have no effect here.
    env.setProcessProperty = [](uint32_t, uint32_t, uint8_t) {};
    env.pathForResource = [](const std::string& name, const std::string& type) {
        return HXBundle::mainBundle()->pathForResource(name, type);
    };
    env.queueExportSession = [](const HXPropertyList& params) {
        ProcessingDocument::processingDocument()->addJobWithParams(params);
    };
    env.idleAllMovies = [] {};
    env.presentOpenError = [](const HXError& error) { MVPAlert::alertWithError(error)->runModal(); };
    env.showMovieInspector = [] { MovieInfo::movieInspector()->showHidePanel(); };
    // ---- The audio/video panel: shown or hidden by its menu item and reopened at launch ----
    env.showAVControls = [] { AVControls::avControls()->toggleAVControlsVisibility(); };
    env.avControlsVisible = [] { return AVControls::hasAVControls() && AVControls::avControls()->isVisible(); };
    // ---- end of the audio/video panel block ----
    return env;
}

MVPApplicationDelegate::MVPApplicationDelegate()
    : MVPApplicationDelegate(standardEnvironment())
{
}

MVPApplicationDelegate::MVPApplicationDelegate(Environment environment)
    : _environment(std::move(environment))
{
    initializeDefaults();
    installDocumentMakers();
    setActionHandler("orderFrontAboutPanel:", [](HXObject*) { MVPAboutPanel::orderFrontAboutPanel(); });
    registerMenuActions();
}

MVPApplicationDelegate::~MVPApplicationDelegate()
{
    for (auto& [center, token] : _observations)
        center->removeObserver(token);
    HXRunLoop::main().cancelPerformRequests(this);
    if (_installedExceptionHandler)
        HXSetUncaughtExceptionHandler(std::move(_previousExceptionHandler));
}

void MVPApplicationDelegate::installDocumentMakers()
{
    // The documents cannot make what is shown of them themselves: the layers above install the makers.
    MVPWindowController::installDocumentWindowMakers();
    MVPContentGuideWindowController::installDocumentWindowMaker();
    FSPresentationWindowController::installDocumentPresentationMakers();
    MVPPropertyInspectorBrowser::installDocumentPropertiesWindowMaker();
    MovieInfo::installDocumentInfoPanelMaker();
}

void MVPApplicationDelegate::initializeDefaults()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    HXUserDefaults::standardUserDefaults().registerDefaults(
        { { MVPUseForkedDecoderKey, HXPropertyList(true) } });
}

std::shared_ptr<MVPApplicationDelegate> MVPApplicationDelegate::sharedDelegate()
{
    if (!HXApplication::hasSharedApplication())
        return nullptr;
    return std::dynamic_pointer_cast<MVPApplicationDelegate>(HXApplication::sharedApplication()->delegate());
}

void MVPApplicationDelegate::observe(HXNotificationCenter& center, const std::string& name,
    const void* object, void (MVPApplicationDelegate::*handler)(const HXNotification&))
{
    auto token = center.addObserver(
        this, name, object, [this, handler](const HXNotification& n) { (this->*handler)(n); });
    _observations.emplace_back(&center, token);
}

bool MVPApplicationDelegate::mediaKeyIs(const std::string& type, const std::string& value) const
{
    if (!_environment.mediaKeys)
        return false;
    auto values = _environment.mediaKeys(type);
    return !values.empty() && values.front() == value;
}

// Launch

void MVPApplicationDelegate::applicationWillFinishLaunching(HXApplication& app)
{
    // An exception that escapes an event, a timer or a queued call is reported and the program goes on.
    if (!_installedExceptionHandler) {
        _previousExceptionHandler = HXSetUncaughtExceptionHandler(MVPUncaughtExceptionHandler);
        _installedExceptionHandler = true;
    }
    _isRecording = 0;
    _suppressReelspot = false;

    auto& center = HXNotificationCenter::defaultCenter();
    _observations.emplace_back(&center,
        center.addObserver(this, MVPFavoritesDidChangeNotification, nullptr,
            [this](const HXNotification& n) { syncFavoriteMenuItems(&n); }));
    observe(
        center, HXApplicationDidBecomeActiveNotification, &app, &MVPApplicationDelegate::syncMovieVolumes);
    observe(
        center, HXApplicationDidResignActiveNotification, &app, &MVPApplicationDelegate::syncMovieVolumes);
    observe(center, HXApplicationWillResignActiveNotification, &app,
        &MVPApplicationDelegate::applicationWillResignActive);
    observe(center, kPreferenceChangedNotification, &MVPPreferences::preferences(),
        &MVPApplicationDelegate::syncMovieVolumes);
    observe(center, MVPCaptureDocumentWillOpenNotification, nullptr,
        &MVPApplicationDelegate::captureDocumentWillOpen);
    observe(center, MVPCaptureDocumentWillCloseNotification, nullptr,
        &MVPApplicationDelegate::captureDocumentWillClose);

    if (_environment.setProcessProperty) {
        bool forked = HXUserDefaults::standardUserDefaults().boolForKey(MVPUseForkedDecoderKey);
        _environment.setProcessProperty(kProcessPropertyClass, HXFourCharCode("miss"), 1);
        _environment.setProcessProperty(kProcessPropertyClass, HXFourCharCode("eflc"), 1);
        _environment.setProcessProperty(kProcessPropertyClass, HXFourCharCode("f264"), forked ? 1 : 0);
    }
}

void MVPApplicationDelegate::applicationDidFinishLaunching(HXApplication& app)
{
    HXRunLoop::main().performAfterDelay(
        this, "delayedApplicationDidFinishLaunching", 0, [this] { delayedApplicationDidFinishLaunching(); });

    if (mediaKeyIs("MVPlayerExportModal", "enable")) {
        auto item = std::make_shared<HXMenuItem>("Export Modal\u2026", HXSelector("exportClassic:"), "e");
        item->setKeyEquivalentModifierMask(HXCommandKeyMask | HXAlternateKeyMask);
        auto main = app.mainMenu();
        auto fileItem = main ? main->itemAtIndex(1) : nullptr;
        if (auto submenu = fileItem ? fileItem->submenu() : nullptr)
            submenu->insertItem(item, std::min<long>(19, long(submenu->numberOfItems())));
    }

    auto& workspace = HXWorkspace::notificationCenter();
    const void* ws = &HXWorkspace::sharedWorkspace();
    observe(workspace, HXWorkspaceSessionDidBecomeActiveNotification, ws,
        &MVPApplicationDelegate::sessionDidBecomeActive);
    observe(workspace, HXWorkspaceSessionDidResignActiveNotification, ws,
        &MVPApplicationDelegate::sessionDidResignActive);

    syncFavoriteMenuItems(nullptr);

    if (_environment.setProcessProperty) {
        _environment.setProcessProperty(kProcessPropertyClass, HXFourCharCode("miss"), 1);
        _environment.setProcessProperty(kProcessPropertyClass, HXFourCharCode("rfst"), 1);
    }

    auto& defaults = HXUserDefaults::standardUserDefaults();
    if (defaults.boolForKey(MVPMovieInspectorShowPanelKey) && _environment.showMovieInspector)
        _environment.showMovieInspector();
    if (defaults.boolForKey(MVPAVControlsShowPanelKey) && _environment.showAVControls)
        _environment.showAVControls();
}

void MVPApplicationDelegate::delayedApplicationDidFinishLaunching()
{
    reportLaunchTestResults();
}

bool MVPApplicationDelegate::applicationShouldOpenUntitledFile(HXApplication&)
{
    if (mediaKeyIs("MVPlayerLaunchWithEmptyWindow", "enable"))
        return true;
    if (mediaKeyIs("MVPlayerReelspot", "disable"))
        return false;
    return preferenceBool(kGeneralPreferenceShowReelspotMovieAutomatically);
}

bool MVPApplicationDelegate::applicationOpenUntitledFile(HXApplication&)
{
    // An empty window is what that key asks for: a new untitled movie, never the featured movie.
    if (mediaKeyIs("MVPlayerLaunchWithEmptyWindow", "enable"))
        return newDocumentWithTemplate() != nullptr;
    openReelspotMovie(false);
    return true;
}

bool MVPApplicationDelegate::applicationShouldHandleReopen(HXApplication&, bool)
{
    return false;
}

void MVPApplicationDelegate::openReelspotMovie(bool trampoline)
{
    if (!_suppressReelspot && _environment.pathForResource) {
        std::string path = _environment.pathForResource(
            trampoline ? MVPFeaturedTrampolineResource : MVPFeaturedMovieResource, "mov");
        if (!path.empty())
            createMovieDocumentWithFile(path, preferenceBool(kGeneralPreferenceOpenMoviesInNewPlayers), true);
    }
    _suppressReelspot = false;
}

// Focus, session, recording

void MVPApplicationDelegate::syncMovieVolumes(const HXNotification& notification)
{
    bool background = preferenceBool(kGeneralPreferencePlaySoundWhenAppInBackground);
    const std::string& name = notification.name();
    if (name == HXApplicationDidBecomeActiveNotification
        || name == HXApplicationDidResignActiveNotification) {
        if (background)
            return;
    } else if (name == kPreferenceChangedNotification) {
        auto key = notification.userInfo().find(kPreferenceChangedUserInfo);
        if (key == notification.userInfo().end())
            return;
        std::string changed = key->second.stringValue();
        if (changed != kGeneralPreferencePlaySoundInFrontPlayerOnly
            && changed != kGeneralPreferencePlaySoundWhenAppInBackground)
            return;
    } else {
        return;
    }

    bool active = HXApplication::hasSharedApplication() && HXApplication::sharedApplication()->isActive();
    bool frontOnly = preferenceBool(kGeneralPreferencePlaySoundInFrontPlayerOnly);
    auto current = HXDocumentController::sharedDocumentController()->currentDocument();
    for (auto& doc : movieDocuments()) {
        auto movie = doc->movie();
        if (!movie)
            continue;
        bool audible = (active || background) && (!frontOnly || doc == current);
        movie->setMuted(!audible);
    }
}

void MVPApplicationDelegate::applicationWillResignActive(const HXNotification& notification)
{
    if (!applicationOf(notification))
        return;
    if (preferenceBool(kFullscreenPreferenceRemainInFullScreenWhenInactive))
        return;
    for (auto& doc : movieDocuments())
        doc->exitFullScreen();
}

void MVPApplicationDelegate::sessionDidResignActive(const HXNotification&)
{
    if (!preferenceBool(kGeneralPreferencePauseMoviesWhenLoggedOut))
        return;
    for (auto& doc : movieDocuments())
        doc->suspend();
}

void MVPApplicationDelegate::sessionDidBecomeActive(const HXNotification&)
{
    if (!preferenceBool(kGeneralPreferencePauseMoviesWhenLoggedOut))
        return;
    for (auto& doc : movieDocuments())
        doc->resume();
}

void MVPApplicationDelegate::syncFavoriteMenuItems(const HXNotification*)
{
    if (auto controller = MVPMovieDocumentController::sharedController())
        controller->rebuildFavoriteDocumentsMenu();
}

void MVPApplicationDelegate::captureDocumentWillOpen(const HXNotification&)
{
    ++_isRecording;
}

void MVPApplicationDelegate::captureDocumentWillClose(const HXNotification&)
{
    if (_isRecording > 0)
        --_isRecording;
}

bool MVPApplicationDelegate::proAppsAreInstalled()
{
    if (!_checkedIfProAppsAreInstalled)
        refreshProAppsAreInstalled();
    return _proAppsAreInstalled;
}

void MVPApplicationDelegate::refreshProAppsAreInstalled()
{
    // There is no registry of installed applications by identifier to ask on this system: the media key
    // is the only source of the answer.
    _proAppsAreInstalled
        = _environment.mediaKeyBool && _environment.mediaKeyBool("MVPlayerProAppsAreInstalled", false);
    _checkedIfProAppsAreInstalled = true;
}

std::vector<std::shared_ptr<MVPMovieDocument>> MVPApplicationDelegate::movieDocuments()
{
    std::vector<std::shared_ptr<MVPMovieDocument>> result;
    if (!HXDocumentController::hasSharedDocumentController())
        return result;
    for (auto& doc : HXDocumentController::sharedDocumentController()->documents()) {
        if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc))
            result.push_back(movieDoc);
    }
    return result;
}

// Quit

HXApplicationTerminateReply MVPApplicationDelegate::applicationShouldTerminate(HXApplication&)
{
    // The application has had the document controller review every edited document before asking here,
    // so the chain starts with nothing left to ask and replies at once.
    documentShouldClose(true, {});
    return HXTerminateLater;
}

void MVPApplicationDelegate::documentShouldClose(
    bool shouldClose, std::vector<std::shared_ptr<HXDocument>> pending)
{
    auto& app = *HXApplication::sharedApplication();
    if (!shouldClose) {
        app.replyToApplicationShouldTerminate(false);
        return;
    }
    if (pending.empty()) {
        app.replyToApplicationShouldTerminate(true);
        return;
    }
    auto doc = pending.front();
    pending.erase(pending.begin());
    auto self = std::static_pointer_cast<MVPApplicationDelegate>(shared_from_this());
    doc->canCloseDocument([self, pending](bool close) { self->documentShouldClose(close, pending); });
}

void MVPApplicationDelegate::applicationWillTerminate(HXApplication& app)
{
    app.makeWindowsPerform([](HXWindow& w) { return MVPWindowHide::hide(w); }, true);
    // The favorites panel comes back where the user left it; the Open URL sheet stores its history.
    MVPFavoritesController::saveWindowState();
    // The featured movie's window, while it is open, comes back where it was.
    MVPContentGuideWindowController::saveWindowState();
    setOpenURLPanel(nullptr);
    HXUserDefaults::standardUserDefaults().synchronize();
}

bool MVPWindowHide::hide(HXWindow& window)
{
    window.orderOut();
    return false;
}

void MVPUncaughtExceptionHandler(const std::exception& exception)
{
    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->reportException(exception);
    std::string reason = exception.what();
    if (reason.empty())
        return;
    // The reason is shown as it stands, never used as a format.
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText(reason);
    alert->addButtonWithTitle("OK");
    alert->runModal();
}
