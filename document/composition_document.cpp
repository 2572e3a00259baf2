#include "document/composition_document.h"

#include "core/preferences.h"
#include "document/movie_document.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/movie.h"
#include "platform/vckit/composition_movie_export.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/key_view_loop.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/window.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string movieInfoString(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, "", "MovieInfo");
}

std::string localized(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, "", "");
}

std::optional<bool>& supportOverride()
{
    static std::optional<bool> value;
    return value;
}

bool preferenceIsOn(const char* key)
{
    return MVPPreferences::preferences().preference(key).boolValue();
}

// Escape, Tab and the space bar.
constexpr uint16_t kEscapeKeyCode = 53;
constexpr uint16_t kTabKeyCode = 48;
constexpr uint16_t kSpaceKeyCode = 49;

} // namespace

// ==== The composition view ====

void MVPVCView::keyDown(const HXEvent& event)
{
    switch (event.keyCode()) {
    case kEscapeKeyCode:
        if (isInFullScreenMode()) {
            if (_delegate)
                _delegate->viewWillExitFullScreen();
            exitFullScreenModeWithOptions();
            if (_delegate)
                _delegate->viewDidExitFullScreen();
            return;
        }
        break;
    case kTabKeyCode:
        HXView::keyDown(event);
        return;
    case kSpaceKeyCode:
        if (_delegate) {
            _delegate->keyDown(event);
            return;
        }
        break;
    default:
        break;
    }
    VCView::keyDown(event);
}

void MVPVCView::exitFullScreenModeWithOptions(const HXPropertyList::Dictionary& options)
{
    VCView::exitFullScreenModeWithOptions(options);
    if (auto w = window()) {
        w->makeFirstResponder(std::static_pointer_cast<HXResponder>(shared_from_this()));
        HXRecalculateKeyViewLoop(*w);
    }
}

// ==== The document ====

MVPVitrelCompDocument::MVPVitrelCompDocument()
{
    setActionHandler("showMovieInfo:", [this](HXObject* sender) { showMovieInfo(sender); });
    setActionHandler("fullScreen:", [this](HXObject* sender) { fullScreen(sender); });
    setActionHandler("saveDocument:", [this](HXObject* sender) { saveDocument(sender); });
    setActionHandler("saveDocumentAs:", [this](HXObject* sender) { saveDocumentAs(sender); });
}

MVPVitrelCompDocument::~MVPVitrelCompDocument()
{
    stopObservingView();
    if (_timeTimer)
        _timeTimer->invalidate();
    if (_resignMainObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_resignMainObserver);
    _cancelPending = false;
    HXRunLoop::main().cancelPerformRequests(this);
}

bool MVPVitrelCompDocument::isVitrelSupported()
{
    if (supportOverride())
        return *supportOverride();
    // Looked up once: the composition layer answers when it is loaded in the process.
    static const bool supported = dlsym(RTLD_DEFAULT, "VCComposerFrameworkVersion") != nullptr;
    return supported;
}

void MVPVitrelCompDocument::setVitrelSupportedOverride(std::optional<bool> supported)
{
    supportOverride() = supported;
}

std::shared_ptr<HXDocument> MVPVitrelCompDocument::documentWithContentsOfFile(
    const std::string& path, const std::string& type, HXError* outError)
{
    if (!isVitrelSupported())
        return MVPMovieDocument::documentWithContentsOfFile(path, type, false, outError);
    auto doc = std::make_shared<MVPVitrelCompDocument>();
    if (!doc->readFromFile(path, type, outError))
        return nullptr;
    doc->setFileType(type);
    return doc;
}

std::shared_ptr<HXDocument> MVPVitrelCompDocument::documentWithContentsOfURL(
    const HXURL& url, const std::string& type, HXError* outError)
{
    if (!isVitrelSupported())
        return MVPMovieDocument::documentWithContentsOfURL(url, type, outError);
    auto doc = std::make_shared<MVPVitrelCompDocument>();
    if (!doc->readFromURL(url, type, outError))
        return nullptr;
    doc->setFileType(type);
    return doc;
}

bool MVPVitrelCompDocument::readFromFile(const std::string& path, const std::string&, HXError* outError)
{
    _composition.reset();
    _composition = VCComposition::compositionWithFile(path, outError);
    setFileName(path);
    return _composition != nullptr;
}

bool MVPVitrelCompDocument::readFromURL(const HXURL& url, const std::string& type, HXError* outError)
{
    if (url.isFileURL()) {
        bool ok = readFromFile(url.path(), type, outError);
        setFileURL(url);
        return ok;
    }
    if (outError)
        *outError = HXError::withDescription(VCCompositionErrorDomain, VCCompositionReadError,
            "Compositions are read from files; \"" + url.absoluteString() + "\" is not one.");
    return false;
}

bool MVPVitrelCompDocument::readFromData(const std::string& data, const HXURL& url, HXError* outError)
{
    _composition.reset();
    std::string folder
        = url.isFileURL() ? std::filesystem::path(url.path()).parent_path().string() : std::string();
    _composition = VCComposition::compositionWithData(data, folder, outError);
    setFileURL(url);
    return _composition != nullptr;
}

std::string MVPVitrelCompDocument::displayName() const
{
    if (_composition) {
        auto it = _composition->attributes().find(VCCompositionAttributeNameKey);
        if (it != _composition->attributes().end() && !it->second.stringValue().empty())
            return it->second.stringValue();
    }
    const std::string path = fileURL().isFileURL() ? fileURL().path() : fileName();
    if (!path.empty())
        return HXFileManager::defaultManager().displayNameAtPath(path);
    return HXDocument::displayName();
}

void MVPVitrelCompDocument::makeWindowControllers()
{
    auto made = MVPVitrelCompWindow::make();
    if (!dynamic_cast<MVPVitrelCompWindow*>(made.get()))
        return;
    _vitrelController = made;
    addWindowController(_vitrelController);
}

std::shared_ptr<MVPVitrelCompWindow> MVPVitrelCompDocument::vitrelController() const
{
    auto window = dynamic_cast<MVPVitrelCompWindow*>(_vitrelController.get());
    if (!window)
        return nullptr;
    return { _vitrelController, window };
}

void MVPVitrelCompDocument::stopObservingView()
{
    for (auto token : _viewObservers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _viewObservers.clear();
}

void MVPVitrelCompDocument::setVCView(const std::shared_ptr<MVPVCView>& view)
{
    stopObservingView();
    _vcView = view;
    if (!view)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    _viewObservers.push_back(center.addObserver(this, VCViewDidStartRenderingNotification, view.get(),
        [this](const HXNotification&) { renderingStarted(); }));
    _viewObservers.push_back(center.addObserver(this, VCViewDidStopRenderingNotification, view.get(),
        [this](const HXNotification&) { renderingStopped(); }));
    _viewObservers.push_back(center.addObserver(this, HXViewFrameDidChangeNotification, view.get(),
        [this](const HXNotification&) { updateStaticAttributes(); }));
    if (view->isRendering())
        renderingStarted();
}

void MVPVitrelCompDocument::renderingStarted()
{
    updateAttributes();
    if (_timeTimer)
        _timeTimer->invalidate();
    _timeTimer = HXTimer::scheduledTimer(1.0, true, [this](HXTimer&) { updateDynamicAttributes(); },
        { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode, HXModalPanelRunLoopMode });
}

void MVPVitrelCompDocument::renderingStopped()
{
    updateAttributes();
    if (_timeTimer)
        _timeTimer->invalidate();
    _timeTimer.reset();
}

// ---- Attributes ----

std::string MVPVitrelCompDocument::fpsStringForRate(double rate)
{
    char text[64];
    if (std::isfinite(rate) && rate == std::floor(rate) && std::fabs(rate) < 1e15)
        std::snprintf(text, sizeof text, "%ld", long(rate));
    else
        std::snprintf(text, sizeof text, "%3.2lf", rate);
    return text;
}

std::string MVPVitrelCompDocument::loadStringForLoad(double load)
{
    return fpsStringForRate(load) + "%";
}

std::string MVPVitrelCompDocument::formatString() const
{
    return movieInfoString("vitrelComposerTrack");
}

std::string MVPVitrelCompDocument::sizeString() const
{
    HXRect f = _vcView ? _vcView->frame() : HXZeroRect;
    char text[64];
    std::snprintf(text, sizeof text, "%d x %d", int(f.size.width), int(f.size.height));
    return text;
}

std::string MVPVitrelCompDocument::fpsString() const
{
    return fpsStringForRate(_vcView && _vcView->isRendering() ? _vcView->averageFrameRate() : 0);
}

std::string MVPVitrelCompDocument::loadString() const
{
    return loadStringForLoad(_vcView && _vcView->isRendering() ? _vcView->averageLoad() : 0);
}

void MVPVitrelCompDocument::updateAttributes()
{
    if (_attributes.empty())
        for (const char* label : { "formatLabel", "averageFPSLabel", "averageLoadLabel", "currentSizeLabel" })
            _attributes.push_back(
                MVPAttributePair::attributePairWithLabel(movieInfoString(label), std::string()));
    updateStaticAttributes();
    updateDynamicAttributes();
}

void MVPVitrelCompDocument::updateStaticAttributes()
{
    if (_attributes.size() < 4)
        return;
    _attributes[0].value = formatString();
    _attributes[3].value = sizeString();
    HXNotificationCenter::defaultCenter().postNotificationName(
        kMVPMediaAttributesHaveChangedNotification, this);
    updateInformation();
}

void MVPVitrelCompDocument::updateDynamicAttributes()
{
    if (_attributes.size() < 4)
        return;
    _attributes[1].value = fpsString();
    _attributes[2].value = loadString();
    HXNotificationCenter::defaultCenter().postNotificationName(
        kMVPMediaAttributesHaveChangedNotification, this);
}

void MVPVitrelCompDocument::updateInformation()
{
    _information.clear();
    if (!_composition)
        return;
    for (const char* key : { VCCompositionAttributeDescriptionKey, VCCompositionAttributeCopyrightKey }) {
        auto it = _composition->attributes().find(key);
        if (it != _composition->attributes().end())
            _information.push_back(it->second.stringValue());
    }
}

// ---- Info panel ----

std::shared_ptr<MVPDocumentInfoPanel> MVPVitrelCompDocument::movieInfo()
{
    if (!_movieInfo)
        _movieInfo = MVPDocumentInfoPanel::panelForDocument(std::static_pointer_cast<HXDocument>(shared_from_this()));
    return _movieInfo;
}

void MVPVitrelCompDocument::showMovieInfo(HXObject*)
{
    if (auto info = movieInfo())
        info->showHidePanel();
}

bool MVPVitrelCompDocument::validateMenuItem(HXMenuItem& item)
{
    if (item.action() != HXSelector("showMovieInfo:"))
        return true;
    if (_vcView && _vcView->isInFullScreenMode())
        return false;
    auto info = movieInfo();
    item.setTitle(localized(info && info->isVisible() ? "mvpHideMovieInfo" : "mvpShowMovieInfo"));
    return info && info->shouldMenuItemBeValid();
}

// ---- Full screen ----

void MVPVitrelCompDocument::fullScreen(HXObject*)
{
    if (!_vcView)
        return;
    auto controller = vitrelController();
    if (_vcView->isInFullScreenMode()) {
        if (controller)
            controller->viewWillExitFullScreen();
        _vcView->exitFullScreenModeWithOptions();
        if (controller)
            controller->viewDidExitFullScreen();
        return;
    }
    auto screens = HXScreen::screens();
    std::optional<HXScreen> screen;
    int64_t number
        = MVPPreferences::preferences().preference("FullscreenPreferenceScreenNumber").integerValue();
    for (const auto& s : screens)
        if (int64_t(s.screenNumber()) == number)
            screen = s;
    if (!screen && !screens.empty())
        screen = screens.front();
    HXPropertyList::Dictionary options { { HXFullScreenModeAllScreens,
        HXPropertyList(preferenceIsOn("FullscreenPreferenceCaptureAllDisplays")) } };
    if (controller)
        controller->viewWillEnterFullScreen();
    _vcView->enterFullScreenMode(screen, options);
    if (controller)
        controller->viewDidEnterFullScreen();
    if (auto w = _vcView->window()) {
        if (_resignMainObserver)
            HXNotificationCenter::defaultCenter().removeObserver(_resignMainObserver);
        _resignMainObserver
            = HXNotificationCenter::defaultCenter().addObserver(this, HXWindowDidResignMainNotification,
                w.get(), [this](const HXNotification&) { fullScreenWindowDidResignMain(); });
    }
}

void MVPVitrelCompDocument::fullScreenWindowDidResignMain()
{
    if (_vcView && _vcView->isInFullScreenMode()) {
        if (preferenceIsOn("kFullscreenPreferenceRemainInFullScreenWhenInactive"))
            return;
        if (!_cancelPending) {
            _cancelPending = true;
            HXRunLoop::main().performAfterDelay(this, 0, [this] { fullScreenWillCancelAfterDelay(); });
        }
    }
    if (_resignMainObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_resignMainObserver);
    _resignMainObserver = 0;
}

void MVPVitrelCompDocument::fullScreenWillCancelAfterDelay()
{
    _cancelPending = false;
    if (_vcView && _vcView->isInFullScreenMode())
        fullScreen(nullptr);
}

// ---- Scripting ----

void MVPVitrelCompDocument::handlePlayCommand()
{
    if (auto controller = vitrelController();
        controller && _vcView && (!_vcView->isRendering() || _vcView->isPausedRendering()))
        controller->play();
}

void MVPVitrelCompDocument::handlePauseCommand()
{
    if (auto controller = vitrelController();
        controller && _vcView && _vcView->isRendering() && !_vcView->isPausedRendering())
        controller->pause();
}

void MVPVitrelCompDocument::handleRewindCommand()
{
    if (auto controller = vitrelController())
        controller->rewind();
}

// ---- Saving ----

bool MVPVitrelCompDocument::saveDocument(HXObject* sender)
{
    saveDocumentAs(sender);
    return true;
}

void MVPVitrelCompDocument::prepareSavePanel(const std::shared_ptr<HXSavePanel>& panel)
{
    panel->setRequiredFileType("mov");
    if (auto controller = vitrelController())
        panel->setAccessoryView(controller->saveAccessoryView());
}

void MVPVitrelCompDocument::saveDocumentAs(HXObject*)
{
    auto panel = HXSavePanel::savePanel();
    prepareSavePanel(panel);
    std::weak_ptr<MVPVitrelCompDocument> weak
        = std::static_pointer_cast<MVPVitrelCompDocument>(shared_from_this());
    auto finish = [weak, panel](long response) {
        auto self = weak.lock();
        if (self && response == HXModalResponseOK && !panel->filename().empty())
            self->saveToURL(HXURL::fileURLWithPath(panel->filename()));
    };
    if (auto w = windowForSheet())
        panel->beginSheetModalForWindow(w, finish);
    else
        finish(panel->runModal());
}

bool MVPVitrelCompDocument::saveToURL(const HXURL& url, HXError* outError)
{
    auto keep = shared_from_this();
    HXError error;
    auto fail = [&] {
        if (outError)
            *outError = error;
        presentError(error);
        return false;
    };
    if (!_composition || !url.isFileURL()) {
        error = HXError::withDescription(
            VCCompositionErrorDomain, VCCompositionRenderError, "The composition cannot be saved there.");
        return fail();
    }
    HXRect bounds = _vcView ? _vcView->bounds() : HXRect { {}, _composition->canvasSize() };
    unsigned width = unsigned(std::max(0.0, bounds.size.width));
    unsigned height = unsigned(std::max(0.0, bounds.size.height));
    auto controller = vitrelController();
    double duration = controller ? controller->saveDuration() : MVPVitrelCompWindow::defaultSaveDuration;
    // The composition as loaded: one from the network renders in safe mode too.
    bool safeMode = _vcView && _vcView->isSafeMode();
    if (!VCCompositionWriteMovieFile(*_composition, url.path(), width, height, duration, &error, safeMode))
        return fail();
    auto movie = MVMovie::movieWithFile(url.path(), &error);
    if (!movie)
        return fail();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->setFileURL(url);
    if (auto controller = HXDocumentController::sharedDocumentController())
        controller->addDocument(doc);
    doc->makeWindowControllers();
    bool fullScreen = _vcView && _vcView->isInFullScreenMode();
    if (!fullScreen) {
        if (_vitrelController && _vitrelController->isWindowLoaded())
            if (auto movieWindow = doc->movieWindow()) {
                HXRect f = _vitrelController->window()->frame();
                movieWindow->setFrameTopLeftPoint({ f.origin.x, f.origin.y + f.size.height });
            }
    } else {
        fullScreen = false;
        _vcView->exitFullScreenModeWithOptions();
        doc->presentMovie(nullptr);
    }
    doc->showWindows();
    _savedMovieDocument = doc;
    close();
    return true;
}

void MVPVitrelCompDocument::close()
{
    if (_vcView) {
        if (_vcView->isInFullScreenMode())
            _vcView->exitFullScreenModeWithOptions();
        _vcView->stopRendering();
    }
    if (_timeTimer)
        _timeTimer->invalidate();
    _timeTimer.reset();
    HXDocument::close();
    setVCView(nullptr);
    _vitrelController.reset();
}

// ==== The window's maker ====

namespace {

MVPVitrelCompWindow::Maker& compositionWindowMaker()
{
    static MVPVitrelCompWindow::Maker maker;
    return maker;
}

} // namespace

void MVPVitrelCompWindow::setMaker(Maker maker)
{
    compositionWindowMaker() = std::move(maker);
}

std::shared_ptr<HXWindowController> MVPVitrelCompWindow::make()
{
    const auto& maker = compositionWindowMaker();
    return maker ? maker() : nullptr;
}
