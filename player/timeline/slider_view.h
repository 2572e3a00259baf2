#pragma once
// MVPSliderView: the timeline slider of the time display — a horizontal bar showing where the movie is
// (the playhead), how much of it has loaded and the selection (two markers and a band), on which the user
// scrubs, drags the playhead and the markers, and drops media.
//
// The slider keeps no times and no timer. Every position it shows or sets is a fraction 0..1 of its media
// source's range, exchanged through MVPSliderMediaSourceProtocol; the time display that owns the slider is
// its source and keeps it current (updateCurrentTime from its slider timer, updateSelection and
// updateLoadPercent when those change). The source is not retained: its owner must call
// setMediaSource(nullptr) before it goes away.
//
// The parts are rebuilt lazily: a change of source, style or editing flag sets a flag and asks the
// application to update its windows; the rebuild runs from the window's did-update notification and then
// posts "MVAKeyLoopChanged" (object: the window) so that the window's controller rebuilds its key loop.
//
// Media may be dropped on the slider while editing is enabled: movies on the pasteboard (the source's drag
// types) and movie files from the desktop. A drop inserts at the start, the end, the playhead or a
// selection marker, whichever the pointer is nearest to; a drag of the selection from this slider's own
// track onto it moves the selection there.
#include "platform/basekit/notification_center.h"
#include "platform/winkit/dragging.h"
#include "platform/winkit/view.h"

#include <memory>
#include <vector>

class HXButton;
class MVPSliderMediaSourceProtocol;
class MVPSliderRectView;
class MVPSliderSelectionTicksView;
class MVPSliderPlayheadButton;
class MVPSliderSelectionMarkerButton;
class MVPSliderSelectionStartMarkerButton;
class MVPSliderSelectionEndMarkerButton;
class MVPSliderDragIndicatorView;

class MVPSliderView : public HXView, public HXDraggingDestination {
public:
    // Seconds after the mouse leaves before the selection indicators fade out (when the preference
    // "GeneralPreferenceHideSelectionIndicators" hides them).
    static constexpr double kHideSelectionDelay = 0.75;

    // `style`: 0 player window, 1 full-screen controls.
    MVPSliderView(HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr, unsigned style = 0);
    ~MVPSliderView() override;
    static std::shared_ptr<MVPSliderView> sliderViewWithFrame(
        HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr, unsigned style = 0)
    {
        return std::make_shared<MVPSliderView>(frame, source, style);
    }

    // Configuration; each takes effect at the next window update.
    MVPSliderMediaSourceProtocol* mediaSource() const { return _mediaSource; }
    void setMediaSource(MVPSliderMediaSourceProtocol* source);
    unsigned style() const { return _style; }
    void setStyle(unsigned style);
    bool editingEnabled() const { return _editingEnabled; }
    // Editing shows the markers and ticks and takes drops.
    void setEditingEnabled(bool enabled);
    // Schedules a rebuild whatever the argument.
    void setNeedsRebuild(bool flag);
    bool needsRebuild() const { return _needsRebuild; }
    // Rebuilds the parts now (normally run from the window's did-update notification).
    void rebuild();

    // Following the source.
    void updateCurrentTime();
    void updateSelection();
    void updateLoadPercent();
    void updatePlayhead();
    void updateSelectionMarkers();

    // Links `view` → playhead → start marker → end marker into the key-view loop, skipping missing knobs;
    // returns the last view of the chain.
    std::shared_ptr<HXView> appendKeyViewsTo(const std::shared_ptr<HXView>& view);

    // Parts (null when the last rebuild made none).
    std::shared_ptr<MVPSliderRectView> accessibilityTimeLineView() const { return _sliderRectView.lock(); }
    std::shared_ptr<MVPSliderSelectionTicksView> selectionTicksView() const
    {
        return _selectionTicksView.lock();
    }
    std::shared_ptr<MVPSliderPlayheadButton> playHeadButton() const { return _playHeadButton.lock(); }
    std::shared_ptr<MVPSliderSelectionStartMarkerButton> selectionStartMarkerButton() const
    {
        return _selectionStartMarkerButton.lock();
    }
    std::shared_ptr<MVPSliderSelectionEndMarkerButton> selectionEndMarkerButton() const
    {
        return _selectionEndMarkerButton.lock();
    }
    std::shared_ptr<MVPSliderDragIndicatorView> dragIndicatorView() const
    {
        return _dragIndicatorView.lock();
    }
    // The knob being dragged or focused (playhead or a marker), or null.
    std::shared_ptr<HXButton> selectedButton() const { return _selectedButton.lock(); }
    bool isDragging() const { return _isDragging; }
    double dragPercent() const { return _dragPercent; }

    // Knobs.
    void selectButton(const std::shared_ptr<HXButton>& button);
    // The action of the track and the knobs.
    void buttonClicked(HXObject* sender);

    // The selection indicators (ticks and markers).
    void setSelectionHidden(bool hidden, bool fade);
    void setSelectionMarkersHidden(bool hidden, bool fade);
    void hideSelection();
    void cancelHideSelectionTimer();
    bool isHideSelectionTimerRunning() const { return _hideSelectionTimerRunning; }
    // Replaces the mouse-tracking rectangle; with `use` a new one covers the bounds.
    void useTrackingRect(bool use);
    HXTrackingRectTag trackingRectTag() const { return _trackingRectTag; }

    // Drop position: places the indicator for `point` (slider coordinates) and notes the percent.
    void updateDragIndicator(HXPoint point);

    // HXView, HXResponder.
    std::shared_ptr<HXView> hitTest(HXPoint point) override;
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }
    void mouseDown(const HXEvent& event) override;
    void mouseDragged(const HXEvent& event) override;
    void mouseUp(const HXEvent& event) override;
    void mouseEntered(const HXEvent& event) override;
    void mouseExited(const HXEvent& event) override;
    void viewWillMoveToWindow(HXWindow* newWindow) override;
    void viewWillMoveToSuperview(HXView* newSuperview) override;

    // HXDraggingDestination.
    unsigned draggingEntered(HXDraggingInfo& info) override;
    unsigned draggingUpdated(HXDraggingInfo& info) override;
    void draggingExited(HXDraggingInfo& info) override;
    bool performDragOperation(HXDraggingInfo& info) override;
    void concludeDragOperation(HXDraggingInfo& info) override;

private:
    bool mouseIsInside() const;
    bool hideSelectionIndicatorsPreference() const;
    std::shared_ptr<HXButton> knobAt(HXPoint point) const;
    void frameOrBoundsDidChange();
    void preferencesDidChange();
    bool dragComesFromOwnTrack(const HXDraggingInfo& info) const;
    void removeDragIndicator();
    void registerDragTypes();

    std::weak_ptr<MVPSliderRectView> _sliderRectView;
    std::weak_ptr<MVPSliderSelectionTicksView> _selectionTicksView;
    std::weak_ptr<MVPSliderPlayheadButton> _playHeadButton;
    std::weak_ptr<MVPSliderSelectionStartMarkerButton> _selectionStartMarkerButton;
    std::weak_ptr<MVPSliderSelectionEndMarkerButton> _selectionEndMarkerButton;
    std::weak_ptr<MVPSliderDragIndicatorView> _dragIndicatorView;
    std::weak_ptr<HXButton> _selectedButton;
    HXTrackingRectTag _trackingRectTag = 0;
    bool _editingEnabled = false;
    MVPSliderMediaSourceProtocol* _mediaSource = nullptr;
    bool _needsRebuild = false;
    bool _isDragging = false;
    HXPoint _lastDragLocation;
    double _dragPercent = 0;
    unsigned _style = 0;
    bool _hideSelectionTimerRunning = false;

    // Kept alive from a drop until the drop is concluded.
    std::shared_ptr<HXView> _selfDuringDrop;
    std::vector<HXObserverToken> _observers;
    HXObserverToken _windowUpdateObserver = 0;
};
