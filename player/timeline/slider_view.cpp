#include "player/timeline/slider_view.h"

#include "core/preferences.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/application.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/window.h"
#include "player/timeline/slider_drag_indicator_view.h"
#include "player/timeline/slider_geometry.h"
#include "player/timeline/slider_media_source_protocol.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_rect_view.h"
#include "player/timeline/slider_selection_marker_button.h"
#include "player/timeline/slider_selection_ticks_view.h"

#include <algorithm>

namespace {

const HXSelector kButtonClicked("buttonClicked:");
// Posted after every rebuild, with the window as object: the window's controller rebuilds its key loop.
constexpr const char* kKeyLoopChanged = "MVAKeyLoopChanged";

bool contains(const std::shared_ptr<HXView>& view, HXPoint point)
{
    return view && !view->isHidden() && HXPointInRect(point, view->frame());
}

// Moves `view` to `origin`, redrawing where it was and where it is.
void moveKnob(HXView& slider, const std::shared_ptr<HXView>& view, HXPoint origin)
{
    if (!view)
        return;
    HXRect old = view->frame();
    if (old.origin == origin)
        return;
    view->setFrameOrigin(origin);
    slider.setNeedsDisplayInRect(old);
    view->setNeedsDisplay(true);
}

// The first movie file among the pasteboard's file names, as a movie; null when there is none.
std::shared_ptr<MVMovie> movieFromFileNames(HXPasteboard& pasteboard)
{
    for (const auto& path : pasteboard.fileNames()) {
        if (!MVMovie::canInitWithFile(path))
            continue;
        if (auto movie = MVMovie::movieWithFile(path, nullptr))
            return movie;
    }
    return nullptr;
}

bool hasMovieFile(HXPasteboard& pasteboard)
{
    auto paths = pasteboard.fileNames();
    return std::any_of(
        paths.begin(), paths.end(), [](const std::string& path) { return MVMovie::canInitWithFile(path); });
}

} // namespace

MVPSliderView::MVPSliderView(HXRect frame, MVPSliderMediaSourceProtocol* source, unsigned style)
    : HXView(frame)
    , _style(style)
{
    setActionHandler(kButtonClicked, [this](HXObject* sender) { buttonClicked(sender); });
    setMediaSource(source);
    auto& center = HXNotificationCenter::defaultCenter();
    const HXView* self = this;
    _observers.push_back(center.addObserver(this, HXViewBoundsDidChangeNotification, self,
        [this](const HXNotification&) { frameOrBoundsDidChange(); }));
    _observers.push_back(center.addObserver(this, HXViewFrameDidChangeNotification, self,
        [this](const HXNotification&) { frameOrBoundsDidChange(); }));
    // The slider has no window yet, so every window's resize is heard.
    _observers.push_back(center.addObserver(this, HXWindowDidResizeNotification, window().get(),
        [this](const HXNotification&) { useTrackingRect(_editingEnabled); }));
    _observers.push_back(center.addObserver(this, kPreferenceChangedNotification, nullptr,
        [this](const HXNotification&) { preferencesDidChange(); }));
}

MVPSliderView::~MVPSliderView()
{
    cancelHideSelectionTimer();
    if (_trackingRectTag)
        removeTrackingRect(_trackingRectTag);
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _observers)
        center.removeObserver(token);
    if (_windowUpdateObserver)
        center.removeObserver(_windowUpdateObserver);
    unregisterDraggedTypes();
}

// ---- Configuration

void MVPSliderView::setMediaSource(MVPSliderMediaSourceProtocol* source)
{
    _mediaSource = source;
    // The parts hold the source too; they must not outlive it with a stale one until the rebuild.
    if (auto track = accessibilityTimeLineView())
        track->setMediaSource(source);
    if (auto ticks = selectionTicksView())
        ticks->setMediaSource(source);
    if (auto playhead = playHeadButton())
        playhead->setMediaSource(source);
    if (auto marker = selectionStartMarkerButton())
        marker->setMediaSource(source);
    if (auto marker = selectionEndMarkerButton())
        marker->setMediaSource(source);
    if (_editingEnabled)
        registerDragTypes();
    setNeedsRebuild(true);
}

void MVPSliderView::setStyle(unsigned style)
{
    _style = style;
    setNeedsRebuild(true);
}

void MVPSliderView::setEditingEnabled(bool enabled)
{
    _editingEnabled = enabled;
    setNeedsRebuild(true);
    if (enabled)
        registerDragTypes();
    else
        unregisterDraggedTypes();
}

void MVPSliderView::registerDragTypes()
{
    std::vector<std::string> types;
    if (_mediaSource)
        types = _mediaSource->dragTypes();
    // Movie files dragged from the desktop go in like movies.
    types.push_back(HXFilenamesPboardType);
    registerForDraggedTypes(types);
}

void MVPSliderView::setNeedsRebuild(bool)
{
    _needsRebuild = true;
    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->setWindowsNeedUpdate(true);
}

void MVPSliderView::viewWillMoveToWindow(HXWindow* newWindow)
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_windowUpdateObserver) {
        center.removeObserver(_windowUpdateObserver);
        _windowUpdateObserver = 0;
    }
    if (newWindow) {
        _windowUpdateObserver = center.addObserver(
            this, HXWindowDidUpdateNotification, newWindow, [this](const HXNotification&) {
                if (_needsRebuild)
                    rebuild();
            });
    }
}

void MVPSliderView::viewWillMoveToSuperview(HXView* newSuperview)
{
    useTrackingRect(false);
    if (!newSuperview && _hideSelectionTimerRunning)
        cancelHideSelectionTimer();
}

// ---- Rebuild

void MVPSliderView::rebuild()
{
    _needsRebuild = false;
    double width = bounds().size.width;
    auto self = std::static_pointer_cast<MVPSliderView>(shared_from_this());

    auto subviewsNow = subviews();
    for (auto& view : subviewsNow)
        view->removeFromSuperview();
    _sliderRectView.reset();
    _selectionTicksView.reset();
    _playHeadButton.reset();
    _selectionStartMarkerButton.reset();
    _selectionEndMarkerButton.reset();
    _dragIndicatorView.reset();

    bool hasDuration = _mediaSource && _mediaSource->hasDuration();
    auto track = MVPSliderRectView::sliderRectViewWithFrame(
        MVPSliderGeometry::trackFrame(width, _style), _mediaSource, _style);
    track->setAutoresizingMask(HXViewWidthSizable);
    track->setTarget(self);
    track->setAction(kButtonClicked);
    track->setEnableScrubbing(hasDuration);
    addSubview(track);
    _sliderRectView = track;

    if (_editingEnabled && hasDuration) {
        auto ticks = MVPSliderSelectionTicksView::sliderSelectionTicksViewWithFrame(
            MVPSliderGeometry::ticksFrame(width), _mediaSource);
        ticks->setAutoresizingMask(HXViewWidthSizable);
        addSubview(ticks);
        _selectionTicksView = ticks;

        HXRect markerFrame { HXZeroPoint, MVPSliderGeometry::kMarkerSize };
        auto start = MVPSliderSelectionStartMarkerButton::sliderSelectionStartMarkerButtonWithFrame(
            markerFrame, _mediaSource);
        start->setTarget(self);
        start->setAction(kButtonClicked);
        addSubview(start);
        _selectionStartMarkerButton = start;
        auto end = MVPSliderSelectionEndMarkerButton::sliderSelectionEndMarkerButtonWithFrame(
            markerFrame, _mediaSource);
        end->setTarget(self);
        end->setAction(kButtonClicked);
        addSubview(end);
        _selectionEndMarkerButton = end;

        // Hidden while the mouse is away only when the user wants them hidden: nothing else would ever
        // show the ticks again, as the hover shows them only then.
        setSelectionHidden(hideSelectionIndicatorsPreference() && !mouseIsInside(), false);
        updateSelection();
    }

    if (hasDuration) {
        auto playhead = MVPSliderPlayheadButton::sliderPlayheadButtonWithFrame(
            HXRect { HXZeroPoint, MVPSliderGeometry::playheadSize(_style) }, _mediaSource, _style);
        playhead->setTarget(self);
        playhead->setAction(kButtonClicked);
        addSubview(playhead);
        _playHeadButton = playhead;
    }

    useTrackingRect(_editingEnabled);
    updateCurrentTime();
    selectButton(nullptr);
    setNeedsDisplay(true);

    if (auto w = window())
        HXNotificationCenter::defaultCenter().postNotificationName(kKeyLoopChanged, w.get());
}

// ---- Following the source

void MVPSliderView::updateCurrentTime()
{
    updatePlayhead();
    if (auto track = accessibilityTimeLineView())
        HXAccessibility::postNotification(*track, HXAccessibilityValueChangedNotification);
}

void MVPSliderView::updatePlayhead()
{
    auto playhead = playHeadButton();
    if (!playhead || !_mediaSource)
        return;
    moveKnob(*this, playhead,
        MVPSliderGeometry::playheadOrigin(bounds().size.width, _style, _mediaSource->currentTimePercent()));
}

void MVPSliderView::updateSelection()
{
    if (auto track = accessibilityTimeLineView())
        track->updateSelection();
    updateSelectionMarkers();
}

void MVPSliderView::updateLoadPercent()
{
    if (auto track = accessibilityTimeLineView())
        track->updateLoadPercent();
}

void MVPSliderView::updateSelectionMarkers()
{
    auto start = selectionStartMarkerButton();
    auto end = selectionEndMarkerButton();
    if (!_mediaSource || (!start && !end))
        return;
    double width = bounds().size.width;
    moveKnob(
        *this, start, MVPSliderGeometry::startMarkerOrigin(width, _mediaSource->selectionStartPercent()));
    moveKnob(*this, end, MVPSliderGeometry::endMarkerOrigin(width, _mediaSource->selectionEndPercent()));
    if (_isDragging)
        return;
    bool hidden = hideSelectionIndicatorsPreference() && !_mediaSource->hasSelection() && !mouseIsInside();
    for (MVPSliderSelectionMarkerButton* marker : { static_cast<MVPSliderSelectionMarkerButton*>(start.get()),
             static_cast<MVPSliderSelectionMarkerButton*>(end.get()) }) {
        if (marker)
            marker->setSelectionHidden(hidden, false);
    }
}

std::shared_ptr<HXView> MVPSliderView::appendKeyViewsTo(const std::shared_ptr<HXView>& view)
{
    std::shared_ptr<HXView> last = view;
    for (std::shared_ptr<HXView> knob :
        { std::shared_ptr<HXView>(playHeadButton()), std::shared_ptr<HXView>(selectionStartMarkerButton()),
            std::shared_ptr<HXView>(selectionEndMarkerButton()) }) {
        if (!knob)
            continue;
        if (last)
            last->setNextKeyView(knob);
        last = knob;
    }
    return last;
}

// ---- Mouse

std::shared_ptr<HXView> MVPSliderView::hitTest(HXPoint point)
{
    if (isHidden())
        return nullptr;
    auto superview = this->superview();
    HXPoint local = convertPointFromView(point, superview.get());
    auto track = accessibilityTimeLineView();
    if (contains(track, local) && !contains(playHeadButton(), local))
        return track;
    auto ticks = selectionTicksView();
    if (contains(ticks, local) && !contains(selectionStartMarkerButton(), local)
        && !contains(selectionEndMarkerButton(), local))
        return ticks;
    if (HXPointInRect(local, bounds()))
        return std::static_pointer_cast<HXView>(shared_from_this());
    return nullptr;
}

std::shared_ptr<HXButton> MVPSliderView::knobAt(HXPoint point) const
{
    if (auto playhead = playHeadButton(); contains(playhead, point))
        return playhead;
    if (auto start = selectionStartMarkerButton(); contains(start, point))
        return start;
    if (auto end = selectionEndMarkerButton(); contains(end, point))
        return end;
    return nullptr;
}

void MVPSliderView::mouseDown(const HXEvent& event)
{
    auto knob = knobAt(convertPointFromView(event.locationInWindow(), nullptr));
    if (!knob) {
        selectButton(nullptr);
        return;
    }
    if (_mediaSource)
        _mediaSource->pause();
    selectButton(knob);
}

void MVPSliderView::mouseDragged(const HXEvent& event)
{
    _isDragging = true;
    auto selected = selectedButton();
    if (!selected || !_mediaSource)
        return;
    double x = convertPointFromView(event.locationInWindow(), nullptr).x;
    double p = MVPSliderGeometry::knobDragPercent(x, bounds().size.width);
    if (selected == std::static_pointer_cast<HXButton>(playHeadButton())) {
        _mediaSource->setCurrentTimePercent(p);
        if (event.modifierFlags() & HXShiftKeyMask)
            _mediaSource->setSelectionPercent(p);
    } else if (selected == std::static_pointer_cast<HXButton>(selectionStartMarkerButton())) {
        double s = std::min(p, _mediaSource->selectionEndPercent());
        _mediaSource->setSelectionStartPercent(s);
        _mediaSource->setCurrentTimePercent(s);
    } else if (selected == std::static_pointer_cast<HXButton>(selectionEndMarkerButton())) {
        double e = std::max(p, _mediaSource->selectionStartPercent());
        _mediaSource->setSelectionEndPercent(e);
        _mediaSource->setCurrentTimePercent(e);
    }
}

void MVPSliderView::mouseUp(const HXEvent&)
{
    _isDragging = false;
    if (_mediaSource)
        _mediaSource->unpause();
    if (auto track = accessibilityTimeLineView())
        HXAccessibility::postNotification(*track, HXAccessibilityValueChangedNotification);
}

void MVPSliderView::buttonClicked(HXObject* sender)
{
    auto track = accessibilityTimeLineView();
    if (!sender || (track && sender == static_cast<HXObject*>(track.get()))) {
        selectButton(nullptr);
        return;
    }
    auto* button = dynamic_cast<HXButton*>(sender);
    if (!button)
        return;
    selectButton(std::static_pointer_cast<HXButton>(button->shared_from_this()));
}

void MVPSliderView::selectButton(const std::shared_ptr<HXButton>& button)
{
    _selectedButton = button;
    if (button) {
        if (auto w = window())
            w->makeFirstResponder(button);
    }
    if (!_mediaSource)
        return;
    if (button && button == std::static_pointer_cast<HXButton>(selectionStartMarkerButton()))
        _mediaSource->setCurrentTimePercent(_mediaSource->selectionStartPercent());
    else if (button && button == std::static_pointer_cast<HXButton>(selectionEndMarkerButton()))
        _mediaSource->setCurrentTimePercent(_mediaSource->selectionEndPercent());
}

bool MVPSliderView::mouseIsInside() const
{
    auto w = window();
    if (!w)
        return false;
    HXPoint local = convertPointFromView(w->mouseLocationOutsideOfEventStream(), nullptr);
    return HXPointInRect(local, bounds());
}

bool MVPSliderView::hideSelectionIndicatorsPreference() const
{
    return MVPPreferences::preferences().preference(kGeneralHideSelectionIndicators).boolValue();
}

void MVPSliderView::preferencesDidChange()
{
    updateSelectionMarkers();
    // Ticks hidden by the hover come back once the user no longer wants the indicators hidden.
    auto ticks = selectionTicksView();
    if (ticks && ticks->isHidden() && !hideSelectionIndicatorsPreference())
        ticks->setSelectionHidden(false, false);
}

void MVPSliderView::frameOrBoundsDidChange()
{
    updatePlayhead();
    updateSelectionMarkers();
    useTrackingRect(_editingEnabled);
}

// ---- Selection indicators

void MVPSliderView::setSelectionHidden(bool hidden, bool fade)
{
    if (auto ticks = selectionTicksView())
        ticks->setSelectionHidden(hidden, fade);
    if (!_mediaSource || !_mediaSource->hasSelection())
        setSelectionMarkersHidden(hidden, fade);
}

void MVPSliderView::setSelectionMarkersHidden(bool hidden, bool fade)
{
    if (auto start = selectionStartMarkerButton())
        start->setSelectionHidden(hidden, fade);
    if (auto end = selectionEndMarkerButton())
        end->setSelectionHidden(hidden, fade);
    if (hidden)
        selectButton(nullptr);
}

void MVPSliderView::hideSelection()
{
    _hideSelectionTimerRunning = false;
    setSelectionHidden(true, true);
}

void MVPSliderView::cancelHideSelectionTimer()
{
    HXRunLoop::main().cancelPerformRequests(this, "hideSelection");
    _hideSelectionTimerRunning = false;
}

void MVPSliderView::mouseEntered(const HXEvent&)
{
    if (!hideSelectionIndicatorsPreference())
        return;
    cancelHideSelectionTimer();
    auto w = window();
    if (w && w->isMainWindow())
        setSelectionHidden(false, true);
}

void MVPSliderView::mouseExited(const HXEvent&)
{
    if (!hideSelectionIndicatorsPreference())
        return;
    cancelHideSelectionTimer();
    HXRunLoop::main().performAfterDelay(
        this, "hideSelection", kHideSelectionDelay, [this] { hideSelection(); });
    _hideSelectionTimerRunning = true;
}

void MVPSliderView::useTrackingRect(bool use)
{
    if (_trackingRectTag) {
        removeTrackingRect(_trackingRectTag);
        _trackingRectTag = 0;
    }
    if (use)
        _trackingRectTag = addTrackingRect(
            bounds(), std::static_pointer_cast<HXResponder>(shared_from_this()), nullptr, false);
}

// ---- Drops

bool MVPSliderView::dragComesFromOwnTrack(const HXDraggingInfo& info) const
{
    auto track = accessibilityTimeLineView();
    return track && info.draggingSource() == static_cast<HXDraggingSource*>(track.get());
}

void MVPSliderView::updateDragIndicator(HXPoint point)
{
    auto track = accessibilityTimeLineView();
    if (!track || !_mediaSource)
        return;
    HXRect t = track->frame();
    std::vector<MVPSliderGeometry::DropCandidate> candidates { { t.origin.x, 0.0 } };
    if (auto playhead = playHeadButton())
        candidates.push_back({ playhead->frame().origin.x + 6, _mediaSource->currentTimePercent() });
    if (_editingEnabled && _mediaSource->hasSelection()) {
        if (auto start = selectionStartMarkerButton())
            candidates.push_back({ start->frame().origin.x + 8, _mediaSource->selectionStartPercent() });
        if (auto end = selectionEndMarkerButton())
            candidates.push_back({ end->frame().origin.x, _mediaSource->selectionEndPercent() });
    }
    candidates.push_back({ t.origin.x + t.size.width - 1, 1.0 });
    auto best = MVPSliderGeometry::nearestDropCandidate(candidates, point.x);
    _dragPercent = best.percent;
    if (auto indicator = dragIndicatorView())
        indicator->setFrameOrigin({ best.x - 1, 4 });
}

unsigned MVPSliderView::draggingEntered(HXDraggingInfo& info)
{
    _lastDragLocation = info.draggingLocation();
    removeDragIndicator();
    auto indicator = MVPSliderDragIndicatorView::sliderDragIndicatorViewWithFrame(
        HXRect { HXZeroPoint, MVPSliderGeometry::kDragIndicatorSize });
    _dragIndicatorView = indicator;
    updateDragIndicator(convertPointFromView(_lastDragLocation, nullptr));
    addSubview(indicator, true, nullptr);
    indicator->setNeedsDisplay(true);
    // The answer for this location (the location is remembered, so nothing moves again).
    return draggingUpdated(info);
}

unsigned MVPSliderView::draggingUpdated(HXDraggingInfo& info)
{
    HXPoint location = info.draggingLocation();
    if (!(location == _lastDragLocation)) {
        if (auto indicator = dragIndicatorView()) {
            HXRect old = indicator->frame();
            updateDragIndicator(convertPointFromView(location, nullptr));
            setNeedsDisplayInRect(old);
            indicator->setNeedsDisplay(true);
        }
        _lastDragLocation = location;
    }
    auto pasteboard = info.draggingPasteboard();
    bool takesIt = pasteboard
        && (!pasteboard
                 ->availableTypeFromArray(
                     _mediaSource ? _mediaSource->dragTypes() : std::vector<std::string> {})
                 .empty()
            || hasMovieFile(*pasteboard));
    if (!takesIt)
        return HXDragOperationNone;
    unsigned mask = info.draggingSourceOperationMask();
    if ((mask & HXDragOperationMove) && dragComesFromOwnTrack(info))
        return HXDragOperationMove;
    if (mask & HXDragOperationCopy)
        return HXDragOperationCopy;
    return HXDragOperationNone;
}

void MVPSliderView::draggingExited(HXDraggingInfo&)
{
    removeDragIndicator();
}

void MVPSliderView::removeDragIndicator()
{
    if (auto indicator = dragIndicatorView()) {
        setNeedsDisplayInRect(indicator->frame());
        indicator->removeFromSuperview();
    }
    _dragIndicatorView.reset();
}

bool MVPSliderView::performDragOperation(HXDraggingInfo& info)
{
    unsigned mask = info.draggingSourceOperationMask();
    auto pasteboard = info.draggingPasteboard();
    if (!(mask & (HXDragOperationCopy | HXDragOperationMove)) || !pasteboard || !_mediaSource) {
        removeDragIndicator();
        return false;
    }
    bool move = (mask & HXDragOperationMove) && dragComesFromOwnTrack(info);
    std::shared_ptr<HXPasteboard> source = pasteboard;
    if (pasteboard->availableTypeFromArray(_mediaSource->dragTypes()).empty()) {
        // Movie files: their movie goes in as if it had been on the pasteboard.
        auto movie = movieFromFileNames(*pasteboard);
        if (!movie) {
            removeDragIndicator();
            return false;
        }
        source = HXPasteboard::pasteboardWithUniqueName();
        source->declareTypes({ HXMoviePboardType }, nullptr);
        source->setData(HXData(movie->movieFormatRepresentation()), HXMoviePboardType);
    }
    _selfDuringDrop = std::static_pointer_cast<HXView>(shared_from_this());
    _mediaSource->insertMediaFromPasteboard(*source, _dragPercent, move);
    removeDragIndicator();
    return true;
}

void MVPSliderView::concludeDragOperation(HXDraggingInfo&)
{
    _selfDuringDrop.reset();
}
