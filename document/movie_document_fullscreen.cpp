// MVPMovieDocument: handing the movie to a full-screen presentation and taking it back — the settings
// sheet of the present-movie command, entering with settings, and following the presentation's states
// to hide the player window while presenting and restore it, its pending syncs and the properties window
// afterwards. The presentation and the sheet are made through the makers full screen installs
// (document/document_windows.h).
#include "document/movie_document.h"

#include "core/notification_names.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <sys/resource.h>
#include <sys/time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

void MVPMovieDocument::registerFullScreenActions()
{
    setActionHandler("fullScreen:", [this](HXObject* sender) { fullScreen(sender); });
    setActionHandler("presentMovie:", [this](HXObject* sender) { presentMovie(sender); });
}

namespace {

// Wall-clock, user and system time in microseconds.
struct ProfileSample {
    uint64_t wall = 0, user = 0, system = 0;
    static ProfileSample now()
    {
        ProfileSample s;
        timeval tv {};
        gettimeofday(&tv, nullptr);
        s.wall = uint64_t(tv.tv_sec) * 1000000u + uint64_t(tv.tv_usec);
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        s.user = uint64_t(usage.ru_utime.tv_sec) * 1000000u + uint64_t(usage.ru_utime.tv_usec);
        s.system = uint64_t(usage.ru_stime.tv_sec) * 1000000u + uint64_t(usage.ru_stime.tv_usec);
        return s;
    }
};

} // namespace

bool MVPMovieDocument::profileFullScreen()
{
    const char* profile = std::getenv("MOVIEPLAYERFULLSCREENPROFILE");
    const char* resultsPath = std::getenv("MOVIEPLAYERRESULTSPATH");
    if (!profile || !resultsPath)
        return false;
    // The path is read as one word, as the profiling scripts give it.
    char path[256] = {};
    if (std::sscanf(resultsPath, "%255s", path) != 1)
        return false;
    const ProfileSample beforeEntry = ProfileSample::now();
    enterFullScreenWithSettings(std::nullopt);
    const ProfileSample afterEntry = ProfileSample::now();
    bool entered = _fullScreen;
    if (!entered)
        std::fputs("did not open\n", stderr);
    if (auto presenting = presentation())
        presenting->exitFullScreen();
    const ProfileSample afterExit = ProfileSample::now();
    if (entered && _fullScreen)
        std::fputs("did not close\n", stderr);
    // Six 4-byte counts of microseconds: entry wall, user, system; then the same for the exit.
    const uint32_t results[6] = { uint32_t(afterEntry.wall - beforeEntry.wall),
        uint32_t(afterEntry.user - beforeEntry.user), uint32_t(afterEntry.system - beforeEntry.system),
        uint32_t(afterExit.wall - afterEntry.wall), uint32_t(afterExit.user - afterEntry.user),
        uint32_t(afterExit.system - afterEntry.system) };
    if (FILE* file = std::fopen(path, "w+")) {
        std::fwrite(results, sizeof results[0], 6, file);
        std::fclose(file);
    }
    auto terminate = terminateApplication;
    HXRunLoop::main().performAfterDelay(this, 0, [terminate] {
        if (terminate)
            terminate();
        else if (HXApplication::hasSharedApplication())
            HXApplication::sharedApplication()->terminate();
    });
    return true;
}

void MVPMovieDocument::fullScreen(HXObject*)
{
    if (profileFullScreen())
        return;
    enterFullScreenWithSettings(std::nullopt);
}

MVPDocumentPresentation* MVPMovieDocument::presentation() const
{
    return dynamic_cast<MVPDocumentPresentation*>(_fsPresentationWindowController.get());
}

std::shared_ptr<MVPDocumentPresentation> MVPMovieDocument::fsPresentationWindowController()
{
    if (_fsPresentationWindowController)
        return { _fsPresentationWindowController, presentation() };
    auto made = MVPDocumentPresentation::make();
    if (!dynamic_cast<MVPDocumentPresentation*>(made.get()))
        return nullptr;
    setFSPresentationWindowController(made);
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    auto& center = HXNotificationCenter::defaultCenter();
    const std::pair<const char*, int> states[] = {
        { FSPresentationEnteringFullScreenStateNotification, 1 },
        { FSPresentationFullScreenStateNotification, 2 },
        { FSPresentationExitingFullScreenStateNotification, 3 },
        { FSPresentationInactiveStateNotification, 0 },
    };
    for (auto [name, state] : states) {
        _fullScreenObservers.push_back(center.addObserver(
            this, name, _fsPresentationWindowController.get(), [weak, state = state](const HXNotification&) {
                if (auto doc = weak.lock())
                    doc->fullScreenStateChanged(state);
            }));
    }
    return { _fsPresentationWindowController, presentation() };
}

void MVPMovieDocument::setFSPresentationWindowController(const std::shared_ptr<HXWindowController>& controller)
{
    if (controller == _fsPresentationWindowController)
        return;
    auto old = _fsPresentationWindowController;
    if (old)
        removeWindowController(old);
    _fsPresentationWindowController = controller;
    if (controller)
        addWindowController(controller);
}

void MVPMovieDocument::fullScreenStateChanged(int state)
{
    switch (state) {
    case 1:
        fsPresentationEnteringFullScreen();
        break;
    case 2:
        fsPresentationFullScreen();
        break;
    case 3:
        fsPresentationExitingFullScreen();
        break;
    default:
        fsPresentationInactive();
        break;
    }
}

void MVPMovieDocument::enterFullScreenWithSettings(const std::optional<FSPresentationSettings>& settings)
{
    if (_fullScreen || !_movie || !_movie->hasVideo())
        return;
    auto controller = fsPresentationWindowController();
    if (!controller)
        return;
    _fullScreen = true;
    if (_moviePropertyBrowser && _moviePropertyBrowser->isWindowLoaded()
        && _moviePropertyBrowser->window()->isVisible()) {
        _moviePropertyBrowser->window()->orderOut();
        _hidMoviePropertiesForFullScreen = true;
    }
    if (settings)
        controller->setPresentationSettings(*settings);
    controller->syncToNewMovie();
    controller->enterFullScreen();
    if (!controller->isFullscreen()) {
        _fullScreen = false;
        if (_hidMoviePropertiesForFullScreen && _moviePropertyBrowser)
            _moviePropertyBrowser->showWindow();
        _hidMoviePropertiesForFullScreen = false;
    }
}

void MVPMovieDocument::exitFullScreen()
{
    if (auto presenting = presentation(); _fullScreen && presenting)
        presenting->exitFullScreen();
}

void MVPMovieDocument::fsPresentationEnteringFullScreen() { }

void MVPMovieDocument::fsPresentationFullScreen()
{
    auto window = movieWindow();
    if (!window)
        return;
    window->orderOut();
    if (auto player = playerWindow())
        player->stopWindowUpdates();
    // Anything that shows the player window while presenting ends the presentation.
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    if (_playerWindowVisibleObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_playerWindowVisibleObserver);
    _playerWindowVisibleObserver = HXNotificationCenter::defaultCenter().addObserver(
        this, HXWindowWillBecomeVisible, window.get(), [weak](const HXNotification&) {
            if (auto doc = weak.lock())
                doc->movieWindowWillBecomeVisible();
        });
}

void MVPMovieDocument::movieWindowWillBecomeVisible()
{
    exitFullScreen();
}

void MVPMovieDocument::fsPresentationExitingFullScreen()
{
    if (_playerWindowVisibleObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_playerWindowVisibleObserver);
    _playerWindowVisibleObserver = 0;
    if (auto player = playerWindow())
        player->startWindowUpdates();
    if (auto presenting = presentation())
        presenting->setPresentationSettingsToDefaults();
    if (auto player = playerWindow())
        player->updateMovieAndVolumeControls();
}

void MVPMovieDocument::fsPresentationInactive()
{
    if (!_fullScreen)
        return;
    if (auto presenting = presentation())
        presenting->setPresentationSettingsToDefaults();
    bool app = HXApplication::hasSharedApplication();
    if (app)
        HXDisableScreenUpdates();
    if (auto window = movieWindow())
        window->orderFront();
    // Back from full screen: the player window catches up with what changed meanwhile.
    _fullScreen = false;
    if (_playerWindowControllerNeedsMovieSync || _playerWindowControllerNeedsMovieContentSync)
        syncWindowControllerToNewMovie();
    _playerWindowControllerNeedsMovieSync = false;
    _playerWindowControllerNeedsMovieContentSync = false;
    if (_playerWindowController)
        _playerWindowController->synchronizeWindowTitleWithDocumentName();
    if (_hidMoviePropertiesForFullScreen && _moviePropertyBrowser && _moviePropertyBrowser->isWindowLoaded()) {
        auto properties = _moviePropertyBrowser->window();
        if (auto player = movieWindow())
            properties->orderWindow(HXWindowBelow, player->windowNumber());
        else
            properties->orderFront();
    }
    _hidMoviePropertiesForFullScreen = false;
    if (app)
        HXEnableScreenUpdates();
}

void MVPMovieDocument::presentMovie(HXObject*)
{
    if (_fullScreen || !_movie)
        return;
    if (!_fsPresentationSettingsWindowController) {
        auto made = MVPDocumentPresentationSettingsSheet::make();
        if (!dynamic_cast<MVPDocumentPresentationSettingsSheet*>(made.get()))
            return;
        _fsPresentationSettingsWindowController = made;
    }
    _hadPersistentFullscreenSettings = !_persistentFullscreenSettings.empty();
    if (!_hadPersistentFullscreenSettings) {
        // The preferences stand in for settings the movie does not keep.
        FSPresentationSettings defaults;
        HXPropertyList number = FSPresentationPreference("FullscreenPreferenceScreenNumber");
        if (number.isNumber() && number.integerValue() >= 0 && number.integerValue() <= int64_t(UINT32_MAX))
            defaults.screen = HXScreen::screenWithNumber(uint32_t(number.integerValue()));
        if (!defaults.screen) {
            auto screens = HXScreen::screens();
            if (!screens.empty())
                defaults.screen = screens.front();
        }
        HXPropertyList size = FSPresentationPreference(FullscreenPreferenceSize);
        if (size.isNumber())
            defaults.size = size.integerValue();
        HXPropertyList slideShow = FSPresentationPreference(FullscreenPreferenceSlideShowMode);
        if (!slideShow.isNull())
            defaults.slideShowMode = slideShow.boolValue();
        HXPropertyList color = FSPresentationPreference("FullscreenPreferenceBackgroundColorData");
        if (color.isData())
            defaults.color = HXColor::colorWithArchivedData(color.dataValue());
        HXPropertyList capture = FSPresentationPreference(FullscreenPreferenceCaptureAllDisplays);
        if (!capture.isNull())
            defaults.captureAllDisplays = capture.boolValue();
        _persistentFullscreenSettings = defaults;
    }
    auto sheet = fsPresentationSettingsWindowController();
    sheet->setPresentationSettings(_persistentFullscreenSettings);
    addWindowController(_fsPresentationSettingsWindowController);
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    sheet->beginSettingsSheetWithMovie(
        _movie, movieWindow(), [weak](MVPDocumentPresentationSettingsSheet& ended, long returnCode) {
            if (auto doc = weak.lock())
                doc->fsPresentationSettingsSheetDidEnd(ended, returnCode);
        });
}

std::shared_ptr<MVPDocumentPresentationSettingsSheet> MVPMovieDocument::fsPresentationSettingsWindowController() const
{
    auto sheet = dynamic_cast<MVPDocumentPresentationSettingsSheet*>(_fsPresentationSettingsWindowController.get());
    if (!sheet)
        return nullptr;
    return { _fsPresentationSettingsWindowController, sheet };
}

void MVPMovieDocument::fsPresentationSettingsSheetDidEnd(MVPDocumentPresentationSettingsSheet& sheet, long returnCode)
{
    if (returnCode == MVPDocumentPresentationSettingsSheet::kPlayTag) {
        enterFullScreenWithSettings(sheet.presentationSettings());
    } else if (returnCode == MVPDocumentPresentationSettingsSheet::kCancelTag
        && !_hadPersistentFullscreenSettings) {
        // The preferences filled in for the sheet are not the movie's settings.
        _persistentFullscreenSettings = {};
    }
    dropPresentationSettingsSheet();
}

void MVPMovieDocument::dropPresentationSettingsSheet()
{
    if (_fsPresentationSettingsWindowController) {
        auto controller = _fsPresentationSettingsWindowController;
        _fsPresentationSettingsWindowController.reset();
        HXDocument::removeWindowController(controller);
    }
}
