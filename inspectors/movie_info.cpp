#include "inspectors/movie_info.h"

#include "document/composition_document.h"
#include "document/media_attributes.h"
#include "document/movie_document.h"
#include "player/controls/hud_content_view.h"
#include "player/controls/hud_window.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/movie_info_item_view.h"
#include "inspectors/window_frame_defaults.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/application.h"
#include "platform/winkit/box.h"
#include "platform/winkit/document.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/event.h"
#include "platform/winkit/window.h"
#include "player/window/movie_ui_window.h"

#include <algorithm>

// The panel of a document: unlike the inspector it may become the main window, so that cycling through
// the windows reaches it.
class WindowCyclablePanel : public HUDWindow {
public:
    using HUDWindow::HUDWindow;
    bool canBecomeMainWindow() const override { return true; }
};

// The inspector floats beside the player windows and never takes main status from them.
class MovieInspectorPanel : public HUDWindow {
public:
    using HUDWindow::HUDWindow;
    bool canBecomeMainWindow() const override { return false; }
};

// The panel's delegate: hands the panel's own events to its controller.
class MovieInfoPanelDelegate : public HXWindowDelegate, public HUDWindowEventHandler {
public:
    explicit MovieInfoPanelDelegate(MovieInfo* owner)
        : _owner(owner)
    {
    }
    bool windowShouldClose(HXWindow& window) override { return _owner->windowShouldClose(window); }
    void windowDidMove(HXWindow& window) override { _owner->windowDidMove(window); }
    void windowDidResize(HXWindow& window) override { _owner->windowDidResize(window); }
    bool handleEvent(const HXEvent& event) override { return _owner->handleEvent(event); }

private:
    MovieInfo* _owner;
};

namespace {

// The style of both panels: titled, closable, utility, heads-up.
constexpr unsigned kPanelStyle
    = HXTitledWindowMask | HXClosableWindowMask | HXUtilityWindowMask | HXHUDWindowMask;
constexpr double kDefaultPlacementInset = 10;
constexpr double kDocumentWindowGap = 5;
constexpr double kMainWindowCheckDelay = 0.05;
constexpr double kSeparatorWidth = 334;
constexpr double kSeparatorX = 8;
constexpr double kSeparatorGap = 6;

std::shared_ptr<MovieInfo>& inspectorSlot()
{
    // Kept for the whole process (never torn down after the window server is gone).
    static auto* inspector = new std::shared_ptr<MovieInfo>();
    return *inspector;
}

// What a document tells the panel; documents of other kinds tell nothing.
std::optional<std::vector<std::string>> informationOf(const HXDocument* document)
{
    if (auto* movie = dynamic_cast<const MVPMovieDocument*>(document))
        return movie->information();
    if (auto* composition = dynamic_cast<const MVPVitrelCompDocument*>(document))
        return composition->information();
    if (auto* other = dynamic_cast<const MVPInfoPanelDocument*>(document))
        return other->infoPanelInformation();
    return std::nullopt;
}

std::optional<std::vector<MVPAttributePair>> attributesOf(const HXDocument* document)
{
    if (auto* movie = dynamic_cast<const MVPMovieDocument*>(document))
        return movie->attributes();
    if (auto* composition = dynamic_cast<const MVPVitrelCompDocument*>(document))
        return composition->attributes();
    if (auto* other = dynamic_cast<const MVPInfoPanelDocument*>(document))
        return other->infoPanelAttributes();
    return std::nullopt;
}

// Whether a notification's object is `document` (posted through any of its base classes).
bool isSentBy(const HXNotification& notification, const HXDocument* document)
{
    const void* object = notification.object();
    return document
        && (object == document || object == static_cast<const HXObject*>(document)
            || object == dynamic_cast<const void*>(document));
}

// The registered presentation that sent a state notification, or none.
FSPresentationWindowController* presentationOf(const HXNotification& notification)
{
    for (auto* presentation : FSPresentationManager::fsPresentationManager().fsPresentations()) {
        if (presentation == notification.object())
            return presentation;
    }
    return nullptr;
}

// Sets the frame only when it changed (setting a frame redraws and notifies).
void placeView(HXView& view, HXRect frame)
{
    if (!HXEqualRects(view.frame(), frame))
        view.setFrame(frame);
}

void addTo(HXView& container, const std::shared_ptr<HXView>& view)
{
    if (view && view->superview().get() != &container) {
        view->removeFromSuperview();
        container.addSubview(view);
    }
}

} // namespace

// ---- Making

MovieInfo::MovieInfo(bool isInspector)
    : _isInspector(isInspector)
{
    _panelDelegate = std::make_shared<MovieInfoPanelDelegate>(this);
}

std::shared_ptr<MovieInfo> MovieInfo::movieInfoForDocument(const std::shared_ptr<HXDocument>& document)
{
    auto info = std::shared_ptr<MovieInfo>(new MovieInfo(false));
    info->_currentDocument = document;
    info->createInfoPanel();
    return info;
}

void MovieInfo::installDocumentInfoPanelMaker()
{
    MVPDocumentInfoPanel::setMaker(
        [](const std::shared_ptr<HXDocument>& document) -> std::shared_ptr<MVPDocumentInfoPanel> {
            return movieInfoForDocument(document);
        });
}

std::shared_ptr<MovieInfo> MovieInfo::movieInspector()
{
    auto& inspector = inspectorSlot();
    if (!inspector) {
        inspector = std::shared_ptr<MovieInfo>(new MovieInfo(true));
        inspector->createInfoPanel();
    }
    return inspector;
}

void MovieInfo::releaseMovieInspector()
{
    auto inspector = std::move(inspectorSlot());
    inspector.reset();
}

MovieInfo::~MovieInfo()
{
    if (_isVisible && _movieInfoPanel)
        hidePanel();
    if (_movieInfoPanel) {
        _movieInfoPanel->setDelegate(nullptr);
        _movieInfoPanel->orderOut();
    }
    removePanelObservers();
    auto& center = HXNotificationCenter::defaultCenter();
    if (_terminateObserver)
        center.removeObserver(*_terminateObserver);
    if (_attributesObserver)
        center.removeObserver(*_attributesObserver);
    if (auto timer = _mainWindowCheckTimer.lock())
        timer->invalidate();
}

void MovieInfo::createInfoPanel()
{
    HXRect content { { 0, 0 }, { MovieInfoPanelWidth, MovieInfoTitleBarHeight } };
    if (_isInspector)
        _movieInfoPanel = std::make_shared<MovieInspectorPanel>(content, kPanelStyle);
    else
        _movieInfoPanel = std::make_shared<WindowCyclablePanel>(content, kPanelStyle);
    auto& panel = *_movieInfoPanel;
    auto contentView = HUDContentView::initWithFrame(content, HUDUtilityWindowMask);
    contentView->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    contentView->setAutoresizesSubviews(false);
    panel.setContentView(contentView);
    panel.setHidesOnDeactivate(_isInspector);
    panel.setExcludedFromWindowsMenu(_isInspector);
    panel.setBecomesKeyOnlyIfNeeded(_isInspector);
    panel.setTitle(localized(_isInspector ? "movieInspectorNoTitle" : "movieInfoNoTitle"));
    panel.setOneShot(true);
    panel.setHasShadow(true);
    static_cast<HUDWindow&>(panel).setDelegate(_panelDelegate);

    auto& center = HXNotificationCenter::defaultCenter();
    _terminateObserver = center.addObserver(HXApplicationWillTerminateNotification, nullptr,
        [this](const HXNotification& n) { appWillTerminate(n); });
}

std::string MovieInfo::localized(const std::string& key) const
{
    return HXLocalizedStringFromTable(key, MovieInfoStringsTable);
}

bool MovieInfo::displayInfoForDocumentType(const HXDocument* document)
{
    return dynamic_cast<const MVPInfoPanelDocument*>(document) != nullptr;
}

// ---- Showing and hiding

void MovieInfo::showHidePanel()
{
    if (!_movieInfoPanel)
        createInfoPanel();
    _hidInfoPanelForFullScreen = false;
    if (_isVisible) {
        if (_isInspector)
            hidePanel();
        else
            _movieInfoPanel->makeKeyAndOrderFront();
        return;
    }
    restoreWindowFrame();

    std::shared_ptr<HXDocument> document = this->document();
    if (_isInspector) {
        document = nullptr;
        if (HXDocumentController::hasSharedDocumentController()) {
            auto controller = HXDocumentController::sharedDocumentController();
            document = controller->currentDocument();
            if (!document && !controller->documents().empty())
                document = controller->documents().front();
        }
        _movieInfoPanel->setLevel(HXFloatingWindowLevel);
        _movieInfoPanel->orderFront();
    } else {
        _movieInfoPanel->setLevel(HXNormalWindowLevel);
        _movieInfoPanel->makeKeyAndOrderFront();
    }
    registerPanelObservers();
    _isVisible = true;
    setDocument(document);
}

void MovieInfo::hidePanel()
{
    if (_isVisible && _movieInfoPanel)
        static_cast<HUDWindow&>(*_movieInfoPanel).performClose();
    _isVisible = false;
}

bool MovieInfo::windowShouldClose(HXWindow& window)
{
    _currentWindowFrame = window.frame();
    resetInfoPanel();
    _isVisible = false;
    return true;
}

void MovieInfo::windowDidMove(HXWindow& window)
{
    _currentWindowFrame = window.frame();
}

void MovieInfo::windowDidResize(HXWindow& window)
{
    _currentWindowFrame = window.frame();
}

void MovieInfo::resetInfoPanel()
{
    for (auto* view : { &_titleView, &_informationView }) {
        if (*view)
            (*view)->removeFromSuperview();
        view->reset();
    }
    if (_separatorView)
        _separatorView->removeFromSuperview();
    _separatorView.reset();
    if (_detailsView)
        _detailsView->removeFromSuperview();
    for (auto& row : _infoItems)
        row->removeFromSuperview();
    _infoItems.clear();
}

void MovieInfo::restoreWindowFrame()
{
    if (HXEqualRects(_currentWindowFrame, HXZeroRect)) {
        auto& panel = *_movieInfoPanel;
        auto screen = HXScreen::mainScreen();
        HXRect visible = screen ? screen->visibleFrame() : HXRect { { 0, 0 }, { 1024, 768 } };
        if (_isInspector) {
            if (HXWindowFrameDefaults::setFrameUsingName(panel, MVPMovieInspectorFrameName, true)) {
                _currentWindowFrame = panel.frame();
            } else {
                // Near the top right of the main screen's visible area.
                _currentWindowFrame = { { HXMaxX(visible) - MovieInfoPanelWidth - kDefaultPlacementInset,
                                            HXMaxY(visible) - kDefaultPlacementInset },
                    { MovieInfoPanelWidth, 1 } };
            }
        } else if (auto doc = document()) {
            HXRect frame = panel.frame();
            if (auto window = doc->windowForSheet()) {
                HXRect w = window->frame();
                if (auto own = window->screen())
                    visible = own->visibleFrame();
                // Beside the document's window, tops level: to its right, else to its left, else at the
                // right edge of the screen.
                double x = HXMaxX(w) + kDocumentWindowGap;
                if (x + frame.size.width > HXMaxX(visible))
                    x = w.origin.x - frame.size.width - kDocumentWindowGap;
                if (x < visible.origin.x)
                    x = HXMaxX(visible) - frame.size.width - kDocumentWindowGap;
                frame.origin = { x, HXMaxY(w) - frame.size.height };
            }
            _currentWindowFrame = frame;
        } else {
            _currentWindowFrame = panel.frame();
        }
    }
    _movieInfoPanel->setFrame(_currentWindowFrame, true, false);
}

bool MovieInfo::shouldMenuItemBeValid() const
{
    return _isInspector || !FSPresentationManager::fsPresentationManager().isFullscreen();
}

bool MovieInfo::isKey() const
{
    return _movieInfoPanel && _movieInfoPanel->isKeyWindow();
}

bool MovieInfo::handleEvent(const HXEvent& event)
{
    return event.type() == HXScrollWheel;
}

// ---- Observing

void MovieInfo::registerPanelObservers()
{
    removePanelObservers();
    auto& center = HXNotificationCenter::defaultCenter();
    if (_terminateObserver)
        center.removeObserver(*_terminateObserver);
    _terminateObserver = center.addObserver(HXApplicationWillTerminateNotification, nullptr,
        [this](const HXNotification& n) { appWillTerminate(n); });
    auto add = [&](const char* name, void (MovieInfo::*handler)(const HXNotification&)) {
        _panelObservers.push_back(center.addObserver(
            name, nullptr, [this, handler](const HXNotification& n) { (this->*handler)(n); }));
    };
    add(FSPresentationEnteringFullScreenStateNotification, &MovieInfo::enteringFullScreen);
    add(FSPresentationInactiveStateNotification, &MovieInfo::inactiveFullScreen);
    add(HXWindowDidBecomeMainNotification, &MovieInfo::windowDidBecomeMain);
    add(HXWindowDidResignMainNotification, &MovieInfo::windowDidResignMain);
    add(HXWindowDidMiniaturizeNotification, &MovieInfo::windowDidMiniaturize);
    add(HXWindowWillCloseNotification, &MovieInfo::windowWillClose);
}

void MovieInfo::removePanelObservers()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _panelObservers)
        center.removeObserver(token);
    _panelObservers.clear();
}

void MovieInfo::setDocument(const std::shared_ptr<HXDocument>& document)
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_attributesObserver)
        center.removeObserver(*_attributesObserver);
    _attributesObserver.reset();
    _currentDocument = document;
    if (document) {
        const HXDocument* sender = document.get();
        _attributesObserver = center.addObserver(
            kMVPMediaAttributesHaveChangedNotification, nullptr, [this, sender](const HXNotification& n) {
                if (isSentBy(n, sender))
                    attributesDidChange(n);
            });
    }
    update();
}

void MovieInfo::attributesDidChange(const HXNotification&)
{
    update();
}

// ---- Following the main window

void MovieInfo::windowDidBecomeMain(const HXNotification& notification)
{
    if (!_isInspector || !_isVisible)
        return;
    auto window = notification.objectAs<HXWindow>();
    if (!dynamic_cast<MVPMovieUIWindow*>(window.get())
        || !HXDocumentController::hasSharedDocumentController())
        return;
    if (auto doc = HXDocumentController::sharedDocumentController()->documentForWindow(*window))
        setDocument(doc);
}

void MovieInfo::windowDidResignMain(const HXNotification&)
{
    if (_isInspector && _isVisible)
        scheduleCheckForMainWindow();
}

void MovieInfo::windowDidMiniaturize(const HXNotification&)
{
    if (_isInspector && _isVisible)
        scheduleCheckForMainWindow();
}

void MovieInfo::windowWillClose(const HXNotification& notification)
{
    auto window = notification.objectAs<HXWindow>();
    if (!dynamic_cast<MVPMovieUIWindow*>(window.get()))
        return;
    if (_isInspector) {
        scheduleCheckForMainWindow();
        return;
    }
    auto doc = document();
    if (!doc)
        return;
    bool ours = doc->windowForSheet() == window;
    if (!ours && HXDocumentController::hasSharedDocumentController())
        ours = HXDocumentController::sharedDocumentController()->documentForWindow(*window) == doc;
    if (ours) {
        setDocument(nullptr);
        hidePanel();
    }
}

void MovieInfo::scheduleCheckForMainWindow()
{
    std::weak_ptr<HXDocument> shown = _currentDocument;
    std::weak_ptr<HXObject> self = weak_from_this();
    _mainWindowCheckTimer = HXTimer::scheduledTimer(kMainWindowCheckDelay, false, [self, shown](HXTimer&) {
        if (auto info = std::static_pointer_cast<MovieInfo>(self.lock()))
            info->delayedCheckForMainWindow(shown);
    });
}

void MovieInfo::delayedCheckForMainWindow(const std::weak_ptr<HXDocument>& shownWhenScheduled)
{
    // The panel moved on to another document since: that one stays.
    if (_currentDocument.lock() != shownWhenScheduled.lock()
        || !HXDocumentController::hasSharedDocumentController())
        return;
    auto controller = HXDocumentController::sharedDocumentController();
    auto current = controller->currentDocument();
    if (current && current != document() && displayInfoForDocumentType(current.get())) {
        setDocument(current);
        return;
    }
    for (const auto& doc : controller->orderedDocuments()) {
        if (dynamic_cast<MVPMovieUIWindow*>(doc->windowForSheet().get())) {
            setDocument(doc);
            return;
        }
    }
    setDocument(nullptr);
}

// ---- Full screen

void MovieInfo::enteringFullScreen(const HXNotification& notification)
{
    auto* presentation = presentationOf(notification);
    auto screen = presentation ? presentation->presentingScreen() : std::nullopt;
    if (!screen || !_movieInfoPanel || !_isVisible)
        return;
    if (HXIntersectsRect(_movieInfoPanel->frame(), screen->frame())) {
        hidePanel();
        _hidInfoPanelForFullScreen = true;
    }
}

void MovieInfo::inactiveFullScreen(const HXNotification& notification)
{
    auto* presentation = presentationOf(notification);
    auto screen = presentation ? presentation->presentingScreen() : std::nullopt;
    if (!screen || !_movieInfoPanel || !_hidInfoPanelForFullScreen || _isVisible)
        return;
    if (!HXIntersectsRect(_movieInfoPanel->frame(), screen->frame()))
        return;
    auto document = _isInspector ? presentation->document() : this->document();
    showHidePanel();
    setDocument(document);
}

// ---- Quitting

void MovieInfo::writeInspectorStateToDefaults()
{
    auto& inspector = inspectorSlot();
    if (!inspector)
        return;
    auto& defaults = HXUserDefaults::standardUserDefaults();
    // Only a panel that was on screen has a place worth keeping: the one the menu's validation made and
    // never showed still has its made-up frame at the screen's corner.
    bool shown = inspector->_isVisible || !HXEqualRects(inspector->_currentWindowFrame, HXZeroRect);
    if (inspector->_movieInfoPanel && shown)
        HXWindowFrameDefaults::saveFrameUsingName(*inspector->_movieInfoPanel, MVPMovieInspectorFrameName);
    defaults.setBool(inspector->_isVisible, MVPMovieInspectorShowPanelDefault);
    defaults.synchronize();
}

void MovieInfo::appWillTerminate(const HXNotification&)
{
    writeInspectorStateToDefaults();
    resetInfoPanel();
}

// ---- Updating

void MovieInfo::update()
{
    if (!_isVisible || !_movieInfoPanel)
        return;
    auto panel = _movieInfoPanel;
    panel->disableFlushWindow();
    updateTitle();
    updateInformation();
    updateSeparator();
    updateDetails();
    rearrangeViews();
    panel->enableFlushWindow();
}

void MovieInfo::updateTitle()
{
    auto doc = document();
    std::string title;
    std::string rowText;
    if (doc) {
        rowText = doc->displayName();
        title = rowText + localized(_isInspector ? "movieInspector" : "movieInfo");
    } else {
        title = localized(_isInspector ? "movieInspectorNoTitle" : "movieInfoNoTitle");
        rowText = localized("unAvailableString");
    }
    _movieInfoPanel->setTitle(title);

    HXParagraphStyle paragraph;
    paragraph.alignment = HXCenterTextAlignment;
    paragraph.lineBreakMode = HXLineBreakByTruncatingTail;
    HXShadow shadow;
    shadow.shadowOffset = { 0, -1 };
    shadow.shadowBlurRadius = 1;
    HXStringAttributes attributes;
    attributes.font = HXFont::systemFontOfSize(HXFont::systemFontSize());
    attributes.foregroundColor = MovieInfoHUDTextColor();
    attributes.paragraphStyle = paragraph;
    attributes.shadow = shadow;
    HXAttributedString text(rowText, attributes);
    if (_titleView)
        _titleView->setAttributedValue(text);
    else
        _titleView = MovieInfoItemView::movieInfoItemViewWithAttributedValue(text);
}

void MovieInfo::updateInformation()
{
    auto lines = informationOf(document().get());
    std::string text;
    if (lines) {
        size_t count = std::min(lines->size(), MovieInfoMaximumInformationLines);
        for (size_t i = 0; i < count; ++i)
            text += (i ? "\n" : "") + (*lines)[i];
    }
    if (!_informationView) {
        _informationView = MovieInfoItemView::movieInfoItemViewWithValue(text);
        auto view = _informationView->valueTextView();
        view->setAlignment(HXCenterTextAlignment);
        view->setTextColor(MovieInfoHUDTextColor());
        _informationView->setValueFont(HXFont::systemFontOfSize(HXFont::smallSystemFontSize()));
    }
    _informationView->setValue(text);
}

void MovieInfo::updateSeparator()
{
    if (_separatorView)
        return;
    _separatorView = std::make_shared<HXBox>(HXRect { { 0, 0 }, { kSeparatorWidth, 1 } });
    _separatorView->setBoxType(HXBoxSeparator);
    _separatorView->setBorderType(HXNoBorder);
}

void MovieInfo::updateDetails()
{
    if (!_detailsView) {
        _detailsView = std::make_shared<HXView>(HXRect { { 0, 0 }, { MovieInfoPanelWidth, 10 } });
        // The rows are placed one by one after every change.
        _detailsView->setAutoresizesSubviews(false);
    }
    size_t kept = 0;
    if (auto pairs = attributesOf(document().get())) {
        for (const auto& pair : *pairs) {
            if (!pair.label || !pair.value)
                continue;
            if (kept < _infoItems.size()) {
                _infoItems[kept]->setLabel(*pair.label);
                _infoItems[kept]->setValue(*pair.value);
            } else {
                _infoItems.push_back(MovieInfoItemView::movieInfoItemViewWithLabel(*pair.label, *pair.value));
            }
            ++kept;
        }
    }
    while (_infoItems.size() > kept) {
        _infoItems.back()->removeFromSuperview();
        _infoItems.pop_back();
    }
}

void MovieInfo::rearrangeViews()
{
    auto& panel = *_movieInfoPanel;
    auto content = panel.contentView();
    if (!content || !_detailsView || !_titleView || !_informationView || !_separatorView)
        return;

    // The rows, the first at the top, each 3 points above the next.
    double detailsHeight = 0;
    for (const auto& row : _infoItems)
        detailsHeight += row->frame().size.height + MovieInfoRowGap;
    double y = 0;
    for (auto it = _infoItems.rbegin(); it != _infoItems.rend(); ++it) {
        addTo(*_detailsView, *it);
        placeView(**it, { { 0, y }, (*it)->frame().size });
        y += (*it)->frame().size.height + MovieInfoRowGap;
    }

    // Title, information and separator.
    if (!_topView)
        _topView = std::make_shared<HXView>(HXRect { { 0, 0 }, { MovieInfoPanelWidth, 10 } });
    double titleHeight = _titleView->frame().size.height;
    double informationHeight = _informationView->frame().size.height;
    double separatorHeight = _separatorView->frame().size.height;
    double topHeight = separatorHeight + informationHeight + titleHeight + 9;

    // The panel grows or shrinks downwards: its top edge stays.
    HXSize contentSize { MovieInfoPanelWidth,
        detailsHeight + MovieInfoTitleBarHeight + topHeight + MovieInfoBottomMargin };
    HXRect old = panel.frame();
    HXRect frame = panel.frameRectForContentRect({ old.origin, contentSize });
    frame.origin.y = HXMaxY(old) - frame.size.height;
    if (!HXEqualRects(frame, old))
        panel.setFrame(frame, true, false);

    placeView(*_detailsView, { _detailsView->frame().origin, { MovieInfoPanelWidth, detailsHeight } });
    placeView(*_topView, { _topView->frame().origin, { _detailsView->frame().size.width, topHeight } });
    addTo(*_topView, _titleView);
    addTo(*_topView, _informationView);
    addTo(*_topView, _separatorView);
    double titleY = topHeight - titleHeight;
    placeView(*_titleView, { { 0, titleY }, _titleView->frame().size });
    double informationY = titleY - MovieInfoRowGap - informationHeight;
    placeView(*_informationView, { { 0, informationY }, _informationView->frame().size });
    placeView(*_separatorView,
        { { kSeparatorX, informationY - kSeparatorGap - separatorHeight }, _separatorView->frame().size });

    addTo(*content, _topView);
    addTo(*content, _detailsView);
    double topY = contentSize.height - MovieInfoTitleBarHeight - topHeight;
    placeView(*_topView, { { 0, topY }, _topView->frame().size });
    placeView(*_detailsView, { { 0, topY - MovieInfoRowGap - detailsHeight }, _detailsView->frame().size });
    content->setNeedsDisplay(true);
}
