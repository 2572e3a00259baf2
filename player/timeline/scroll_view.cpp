#include "player/timeline/scroll_view.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/selector.h"

#include <algorithm>

std::shared_ptr<MVPScrollView> MVPScrollView::scrollViewWithFrame(
    HXRect frame, std::shared_ptr<HXView> contentView, unsigned style)
{
    auto view = std::make_shared<MVPScrollView>(frame, style);
    if (contentView) {
        view->setContentView(std::move(contentView));
    } else {
        // Without content the view starts out showing an (empty) message line.
        view->_activeView = view->inactiveMessageTextField();
        view->_activeView->setHidden(false);
    }
    return view;
}

MVPScrollView::MVPScrollView(HXRect frame, unsigned style)
    : HXView(frame)
    , _style(style)
{
}

MVPScrollView::~MVPScrollView()
{
    setScrollTimer(nullptr);
}

void MVPScrollView::setContentView(std::shared_ptr<HXView> view)
{
    if (_contentView && _activeView == _contentView)
        _activeView = nullptr;
    if (_contentView)
        _contentView->removeFromSuperview();
    _contentView = std::move(view);
    if (!_contentView)
        return;
    if (_messageTextField1)
        _messageTextField1->setHidden(true);
    if (_messageTextField2)
        _messageTextField2->setHidden(true);
    _contentView->setAutoresizingMask(HXViewWidthSizable);
    _contentView->setFrame(bounds());
    addSubview(_contentView);
    _activeView = _contentView;
}

void MVPScrollView::setStyle(unsigned style)
{
    _style = style;
    setNeedsDisplay(true);
}

std::shared_ptr<MVPMessageTextField> MVPScrollView::createMessageTextField()
{
    auto field = MVPMessageTextField::messageTextFieldWithFrame(bounds(), _style);
    field->setHidden(true);
    field->setAutoresizingMask(HXViewWidthSizable);
    addSubview(field);
    return field;
}

std::shared_ptr<MVPMessageTextField> MVPScrollView::inactiveMessageTextField()
{
    if (_messageTextField1 && _activeView == _messageTextField1) {
        if (!_messageTextField2)
            _messageTextField2 = createMessageTextField();
        return _messageTextField2;
    }
    if (!_messageTextField1)
        _messageTextField1 = createMessageTextField();
    return _messageTextField1;
}

bool MVPScrollView::messageFieldIsActive() const
{
    return _activeView && (_activeView == _messageTextField1 || _activeView == _messageTextField2);
}

void MVPScrollView::showMessage(bool show, const std::string& text, bool scroll)
{
    bool messageActive = messageFieldIsActive();
    if (messageActive && static_cast<MVPMessageTextField&>(*_activeView).stringValue() == text)
        return;
    if (show) {
        if (messageActive && !scroll && !_queuedView) {
            static_cast<MVPMessageTextField&>(*_activeView).setStringValue(text);
        } else if (isAnimating() && (!messageActive || scroll)) {
            _queuedView = inactiveMessageTextField();
            _queuedMessageString = text;
        } else if (!isAnimating() && (!messageActive || scroll)) {
            auto field = inactiveMessageTextField();
            field->setStringValue(text);
            scrollInView(field);
        }
        return;
    }
    if (!_contentView)
        return;
    bool messageQueued = _queuedView && _queuedView != _contentView;
    if (messageActive || messageQueued) {
        // A message waiting behind a running animation is dropped too: the hide comes after it.
        if (isAnimating()) {
            _queuedView = messageActive ? _contentView : nullptr;
            _queuedMessageString.reset();
        } else {
            scrollInView(_contentView);
        }
    }
}

void MVPScrollView::scrollInView(const std::shared_ptr<HXView>& view)
{
    view->setFrameOrigin(HXMakePoint(0, -view->frame().size.height));
    view->setHidden(false);
    _scrollOutView = _activeView;
    _activeView = view;
    auto timer = HXTimer::timer(kScrollInterval, true, [this](HXTimer&) { updateScrollTimer(); });
    HXRunLoop::main().addTimer(timer, HXRunLoopModes { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode });
    setScrollTimer(timer);
}

void MVPScrollView::updateScrollTimer()
{
    if (!_activeView) {
        setScrollTimer(nullptr);
        return;
    }
    double activeY = _activeView->frame().origin.y;
    double outY = _scrollOutView ? _scrollOutView->frame().origin.y : 0;
    bool outMoving = _scrollOutView && outY + kScrollStep < bounds().size.height;
    if (activeY + kScrollStep < 0 || outMoving) {
        _activeView->setFrameOrigin(HXMakePoint(0, activeY + kScrollStep));
        if (_scrollOutView)
            _scrollOutView->setFrameOrigin(HXMakePoint(0, outY + kScrollStep));
        setNeedsDisplay(true);
        return;
    }
    _activeView->setFrameOrigin(HXMakePoint(0, 0));
    if (_scrollOutView && _scrollOutView != _activeView)
        _scrollOutView->setHidden(true);
    _scrollOutView = nullptr;
    setScrollTimer(nullptr);
    if (auto queued = std::move(_queuedView)) {
        _queuedView = nullptr;
        if (_queuedMessageString)
            if (auto field = std::dynamic_pointer_cast<MVPMessageTextField>(queued))
                field->setStringValue(*_queuedMessageString);
        _queuedMessageString.reset();
        scrollInView(queued);
    }
    setNeedsDisplay(true);
}

void MVPScrollView::setScrollTimer(std::shared_ptr<HXTimer> timer)
{
    if (_scrollTimer && _scrollTimer != timer)
        _scrollTimer->invalidate();
    _scrollTimer = std::move(timer);
}

void MVPScrollView::viewWillMoveToSuperview(HXView* newSuperview)
{
    if (newSuperview || !superview())
        return;
    // Leaving the window: no timer runs. The animation (and whatever waited for it) ends at once, so the
    // view does not stay "animating" with nothing to finish it.
    setScrollTimer(nullptr);
    while (_scrollOutView || _queuedView) {
        if (_activeView)
            _activeView->setFrameOrigin(HXMakePoint(0, -kScrollStep));
        if (_scrollOutView)
            _scrollOutView->setFrameOrigin(HXMakePoint(0, bounds().size.height));
        updateScrollTimer();
    }
    setScrollTimer(nullptr);
}

// ---- Scroll-view keys

namespace MVPScrollViewKeyBinding {

namespace {

// Moves the visible area `towardsEnd` points towards the end of the document (negative: the start).
void scrollBy(HXScrollView& scrollView, double towardsEnd)
{
    auto clip = scrollView.contentView();
    HXPoint origin = clip->bounds().origin;
    origin.y += clip->isFlipped() ? towardsEnd : -towardsEnd;
    clip->scrollToPoint(clip->constrainScrollPoint(origin));
    scrollView.reflectScrolledClipView();
}

void scrollToY(HXScrollView& scrollView, double y)
{
    auto clip = scrollView.contentView();
    HXPoint origin = HXMakePoint(clip->bounds().origin.x, y);
    clip->scrollToPoint(clip->constrainScrollPoint(origin));
    scrollView.reflectScrolledClipView();
}

double pageAmount(HXScrollView& scrollView)
{
    return std::max(1.0, scrollView.contentView()->bounds().size.height - scrollView.pageScroll());
}

} // namespace

void scrollPageDown(HXScrollView& scrollView)
{
    scrollBy(scrollView, pageAmount(scrollView));
}

void scrollPageUp(HXScrollView& scrollView)
{
    scrollBy(scrollView, -pageAmount(scrollView));
}

void scrollLineDown(HXScrollView& scrollView)
{
    scrollBy(scrollView, scrollView.lineScroll());
}

void scrollLineUp(HXScrollView& scrollView)
{
    scrollBy(scrollView, -scrollView.lineScroll());
}

void scrollToBeginningOfDocument(HXScrollView& scrollView)
{
    auto clip = scrollView.contentView();
    HXRect doc = clip->documentRect();
    scrollToY(scrollView,
        clip->isFlipped() ? doc.origin.y : doc.origin.y + doc.size.height - clip->bounds().size.height);
}

void scrollToEndOfDocument(HXScrollView& scrollView)
{
    auto clip = scrollView.contentView();
    HXRect doc = clip->documentRect();
    scrollToY(scrollView,
        clip->isFlipped() ? doc.origin.y + doc.size.height - clip->bounds().size.height : doc.origin.y);
}

void install(HXScrollView& scrollView)
{
    HXScrollView* view = &scrollView;
    const std::pair<const char*, void (*)(HXScrollView&)> actions[] = {
        { "scrollPageDown:", scrollPageDown },
        { "scrollPageUp:", scrollPageUp },
        { "scrollLineDown:", scrollLineDown },
        { "scrollLineUp:", scrollLineUp },
        { "scrollToBeginningOfDocument:", scrollToBeginningOfDocument },
        { "scrollToEndOfDocument:", scrollToEndOfDocument },
    };
    for (auto [name, action] : actions)
        scrollView.setActionHandler(HXSelector(name), [view, action](HXObject*) { action(*view); });
}

} // namespace MVPScrollViewKeyBinding
