// The composition document's window: its views, its transport and the save panel's accessory.
#include "player/window/composition_window_controller.h"

#include "core/preferences.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "player/window/image_for_current_os.h"
#include "player/window/movie_window_bevel_view.h"

#include "platform/basekit/bundle.h"
#include "platform/vckit/composition_movie_export.h"
#include "platform/winkit/image_view.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/key_view_loop.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

#include <cmath>

namespace {

bool preferenceIsOn(const char* key)
{
    return MVPPreferences::preferences().preference(key).boolValue();
}

} // namespace

void MVPVitrelCompController::installDocumentWindowMaker()
{
    MVPVitrelCompWindow::setMaker([] { return std::make_shared<MVPVitrelCompController>(); });
}

struct MVPVitrelCompWindowInterface {
    static std::vector<std::shared_ptr<HXObject>> build(const std::shared_ptr<HXObject>& owner)
    {
        const double width = 360, height = 270, strip = 36;
        auto window = std::make_shared<HXWindow>(HXMakeRect(0, 0, width, height + strip),
            HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask | HXResizableWindowMask);
        window->setReleasedWhenClosed(false);
        window->setBackgroundColor(HXColor::colorWithCalibratedWhite(0.84, 1));
        auto content = window->contentView();
        auto bevel = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, strip, width, height));
        bevel->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
        content->addSubview(bevel);
        auto view = std::make_shared<MVPVCView>(HXMakeRect(0, 0, width, height));
        view->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);

        std::vector<std::shared_ptr<ImageButton>> buttons;
        const double size = 28, gap = 4, total = 5 * size + 4 * gap;
        for (int i = 0; i < 5; ++i) {
            auto button = std::make_shared<ImageButton>(
                HXMakeRect(std::floor((width - total) / 2) + i * (size + gap), 4, size, size));
            button->setAutoresizingMask(HXViewMinXMargin | HXViewMaxXMargin);
            content->addSubview(button);
            buttons.push_back(button);
        }
        auto indicator = std::make_shared<HXImageView>(HXMakeRect(width - 15, 0, 15, 15));
        indicator->setAutoresizingMask(HXViewMinXMargin);
        content->addSubview(indicator);

        if (auto controller = std::dynamic_pointer_cast<MVPVitrelCompController>(owner)) {
            controller->_bevelView = bevel;
            controller->_vcView = view;
            controller->_beginningButton = buttons[0];
            controller->_rewindButton = buttons[1];
            controller->_playPauseButton = buttons[2];
            controller->_forwardButton = buttons[3];
            controller->_endButton = buttons[4];
            controller->_resizeIndicator = indicator;
            controller->setWindow(window);
            window->setDelegate(controller);
        }
        return { window };
    }
};

MVPVitrelCompController::MVPVitrelCompController()
    : HXWindowController(interfaceName)
{
    if (!HXInterfaceLoader::hasInterface(interfaceName))
        HXInterfaceLoader::registerInterface(interfaceName, &MVPVitrelCompWindowInterface::build);
    _shouldPlay = preferenceIsOn("GeneralPreferenceAutoPlayMoviesWhenOpened");
    setActionHandler("playButtonPushed:", [this](HXObject* sender) { playButtonPushed(sender); });
    setActionHandler("rewindButtonPushed:", [this](HXObject* sender) { rewindButtonPushed(sender); });
    setActionHandler("saveDurationChanged:", [this](HXObject*) {
        if (_saveDurationField)
            setSaveDuration(_saveDurationField->doubleValue());
    });
}

MVPVitrelCompController::~MVPVitrelCompController()
{
    for (auto token : _observers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    if (auto doc = compositionDocument(); doc && doc->vcView() == _vcView)
        doc->setVCView(nullptr);
    if (_vcView) {
        _vcView->setDelegate(nullptr);
        _vcView->stopRendering();
    }
}

std::shared_ptr<MVPVitrelCompDocument> MVPVitrelCompController::compositionDocument() const
{
    return std::dynamic_pointer_cast<MVPVitrelCompDocument>(document());
}

HXPropertyList::Dictionary MVPVitrelCompController::compositionLoadOptions(const HXURL& documentURL)
{
    if (documentURL.absoluteString().empty() || documentURL.isFileURL())
        return {};
    return { { VCViewCompositionURLOption, HXPropertyList(documentURL.absoluteString()) },
        { VCViewEnableSafeModeOption, HXPropertyList(true) } };
}

void MVPVitrelCompController::windowDidLoad()
{
    auto w = window();
    _bevelView->setContentView(_vcView);
    _vcView->setDelegate(this);
    auto doc = compositionDocument();
    if (doc)
        doc->setVCView(_vcView);
    auto& center = HXNotificationCenter::defaultCenter();
    _observers.push_back(center.addObserver(this, HXWindowDidDeminiaturizeNotification, w.get(),
        [this](const HXNotification&) { restorePlayState(); }));
    _observers.push_back(center.addObserver(this, HXWindowWillMiniaturizeNotification, w.get(),
        [this](const HXNotification&) { rememberPlayState(); }));
    _observers.push_back(center.addObserver(
        this, HXWindowWillBecomeVisible, w.get(), [this](const HXNotification&) { restorePlayState(); }));
    _observers.push_back(center.addObserver(this, VCViewDidStartRenderingNotification, _vcView.get(),
        [this](const HXNotification&) { renderingStarted(); }));
    _resizeIndicator->setImage(MVPImageByNameForCurrentOS("ResizeWindowThumb"));

    auto self = shared_from_this();
    const std::pair<std::shared_ptr<ImageButton>, const char*> actions[]
        = { { _beginningButton, "rewindButtonPushed:" }, { _rewindButton, "rewindButtonPushed:" },
              { _playPauseButton, "playButtonPushed:" } };
    for (const auto& [button, action] : actions) {
        button->setTarget(self);
        button->setAction(HXSelector(action));
    }
    _forwardButton->setEnabled(false);
    _endButton->setEnabled(false);
    w->setInitialFirstResponder(_playPauseButton);
    HXRecalculateKeyViewLoop(*w);

    if (doc && doc->composition()) {
        _vcView->loadComposition(doc->composition(), compositionLoadOptions(doc->fileURL()));
    }
    _vcView->setDrawsBackground(true);
    _vcView->setCheckerboardSquareSize(0);
    _vcView->setEraseColor(HXColor::colorWithCalibratedWhite(0, 1));
    if (_shouldPlay)
        play();
    else
        pause();
}

void MVPVitrelCompController::play()
{
    _shouldPlay = true;
    if (_vcView) {
        if (!_vcView->isRendering())
            _vcView->startRendering();
        if (_vcView->isPausedRendering())
            _vcView->resumeRendering();
    }
    updateButtons();
}

void MVPVitrelCompController::pause()
{
    _shouldPlay = false;
    if (_vcView) {
        if (!_vcView->isRendering())
            _vcView->startRendering();
        if (!_vcView->isPausedRendering())
            _vcView->pauseRendering();
    }
    updateButtons();
}

void MVPVitrelCompController::rewind()
{
    if (_vcView)
        _vcView->setRenderTime(0);
}

void MVPVitrelCompController::playButtonPushed(HXObject*)
{
    if (_shouldPlay)
        pause();
    else
        play();
}

void MVPVitrelCompController::rewindButtonPushed(HXObject*)
{
    rewind();
}

void MVPVitrelCompController::renderingStarted()
{
    if (!_vcView)
        return;
    if (_shouldPlay && _vcView->isPausedRendering())
        _vcView->resumeRendering();
    else if (!_shouldPlay && !_vcView->isPausedRendering())
        _vcView->pauseRendering();
}

void MVPVitrelCompController::updateButtons()
{
    const std::pair<std::shared_ptr<ImageButton>, const char*> sets[] = { { _beginningButton, "Beginning" },
        { _rewindButton, "Backward" }, { _playPauseButton, _shouldPlay ? "Pause" : "Play" },
        { _forwardButton, "Forward" }, { _endButton, "End" } };
    for (const auto& [button, name] : sets)
        if (button)
            button->setButtonImageSet(MVPButtonImageSet::imageSetWithBaseImageName(name));
}

void MVPVitrelCompController::rememberPlayState()
{
    if (_vcView)
        _renderTime = _vcView->renderTime();
}

void MVPVitrelCompController::restorePlayState()
{
    if (!_vcView)
        return;
    if (!_vcView->isRendering())
        _vcView->startRendering();
    _vcView->setRenderTime(_renderTime);
}

void MVPVitrelCompController::keyDown(const HXEvent& event)
{
    if (event.charactersIgnoringModifiers() == " ") {
        if (_playPauseButton)
            _playPauseButton->performClick(nullptr);
        return;
    }
    HXWindowController::keyDown(event);
}

void MVPVitrelCompController::setSaveDuration(double seconds)
{
    if (std::isfinite(seconds) && seconds > 0 && seconds <= VCCompositionMovieMaximumDuration)
        _saveDuration = seconds;
    if (_saveDurationField)
        _saveDurationField->setStringValue(MVPVitrelCompDocument::fpsStringForRate(_saveDuration));
}

std::shared_ptr<HXView> MVPVitrelCompController::saveAccessoryView()
{
    if (!_saveAccessoryView) {
        _saveAccessoryView = std::make_shared<HXView>(HXMakeRect(0, 0, 300, 40));
        auto label = HXTextField::labelWithString(
            HXBundle::mainBundle()->localizedStringForKey("mvpSaveDurationLabel", "", "VitrelComp"),
            HXMakeRect(10, 10, 180, 20));
        _saveDurationField = std::make_shared<HXTextField>(HXMakeRect(200, 10, 80, 22));
        _saveDurationField->setTarget(shared_from_this());
        _saveDurationField->setAction(HXSelector("saveDurationChanged:"));
        _saveAccessoryView->addSubview(label);
        _saveAccessoryView->addSubview(_saveDurationField);
        setSaveDuration(_saveDuration);
    }
    return _saveAccessoryView;
}
