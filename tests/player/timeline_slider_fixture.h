#pragma once
// A media source for the timeline slider's tests that keeps its fractions itself and notes every call, and
// a headless window holding one slider.
#include "platform/winkit/dragging.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/pasteboard.h"
#include "player/timeline/slider_media_source_protocol.h"
#include "player/timeline/slider_view.h"

#include "timeline_headless.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace movara::test {

class FakeSliderSource : public MVPSliderMediaSourceProtocol {
public:
    // Setters take effect at once, as the real source's do once the movie has told it.
    double current = 0, start = 0, end = 0, load = 1;
    bool withDuration = true;
    int64_t durationValue = 6000; // at scale 600
    std::vector<std::string> calls;
    std::shared_ptr<HXView> view;
    std::shared_ptr<MVMovie> boundMovie;

    void note(const std::string& call) { calls.push_back(call); }
    static std::string num(double v)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%g", v);
        return text;
    }
    bool called(const std::string& call) const
    {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    MVTime time(double p) const { return MVMakeTime(int64_t(p * double(durationValue)), 600); }

    std::shared_ptr<HXView> mediaView() const override { return view; }
    std::shared_ptr<MVMovie> movie() const override { return boundMovie; }
    bool editingEnabled() const override { return true; }
    void setSelectionPercent(double p) override
    {
        note("setSelectionPercent " + num(p));
        if ((start + end) * 0.5 > p)
            start = p;
        else
            end = p;
    }
    void setSelectionStartPercentSelectionEndPercent(double s, double e) override
    {
        note("setSelection " + num(s) + " " + num(e));
        start = s;
        end = e;
    }
    void setSelectionStartPercentSelectionDurationPercent(double, double) override { }
    void setSelectionDurationPercent(double) override { }
    void setSelectionStartPercent(double s) override
    {
        note("setSelectionStartPercent " + num(s));
        start = s;
        end = std::max(end, s);
    }
    void setSelectionEndPercent(double e) override
    {
        note("setSelectionEndPercent " + num(e));
        end = e;
        start = std::min(start, e);
    }
    double selectionDurationPercent() const override { return end - start; }
    double selectionStartPercent() const override { return start; }
    double selectionEndPercent() const override { return end; }
    void setSelection(MVTime, MVTime) override { }
    void setSelection(MVTimeRange) override { }
    void setSelectionDuration(MVTime) override { }
    MVTime selectionDuration() const override { return time(end - start); }
    void setSelectionEnd(MVTime t) override
    {
        note("setSelectionEnd " + std::to_string(t.timeValue) + "/" + std::to_string(t.timeScale));
    }
    MVTime selectionEnd() const override { return time(end); }
    void setSelectionStart(MVTime t) override
    {
        note("setSelectionStart " + std::to_string(t.timeValue) + "/" + std::to_string(t.timeScale));
    }
    MVTime selectionStart() const override { return time(start); }
    bool hasSelection() const override { return end > start; }
    MVTime timeStart() const override { return MVMakeTime(0, 600); }
    MVTime duration() const override { return MVMakeTime(withDuration ? durationValue : 0, 600); }
    bool hasDuration() const override { return withDuration; }
    void setCurrentTimePercent(double p) override
    {
        note("setCurrentTimePercent " + num(p));
        current = p;
    }
    double currentTimePercent() const override { return current; }
    void setCurrentTime(MVTime t) override
    {
        note("setCurrentTime " + std::to_string(t.timeValue) + "/" + std::to_string(t.timeScale));
    }
    MVTime currentTime() const override { return time(current); }
    std::shared_ptr<HXImage> currentFrameImage() const override { return nullptr; }
    double loadPercent() const override { return load; }
    double durationPercentOfMediaFromPasteboard(HXPasteboard&) const override { return 0; }
    void insertMediaFromPasteboard(HXPasteboard&, double p, bool deleteSelection) override
    {
        note("insert " + num(p) + (deleteSelection ? " delete" : " keep"));
    }
    void addSelectionToPasteboard(HXPasteboard&, const std::string& type) override
    {
        note("provide " + type);
    }
    std::vector<std::string> dragTypes() const override { return { "MVMoviePasteboardType" }; }
    void deleteSelection() override { }
    void stepSelectionEndBackward() override { note("stepSelectionEndBackward"); }
    void stepSelectionEndForward() override { note("stepSelectionEndForward"); }
    void stepSelectionStartBackward() override { note("stepSelectionStartBackward"); }
    void stepSelectionStartForward() override { note("stepSelectionStartForward"); }
    void stepBackward() override { note("stepBackward"); }
    void stepForward() override { note("stepForward"); }
    void unpause() override { note("unpause"); }
    void pause() override { note("pause"); }
    void stop() override { }
    void play() override { }
};

// What a drop target learns of a drag, set by the test.
class FakeDrag : public HXDraggingInfo {
public:
    std::shared_ptr<HXPasteboard> board = HXPasteboard::pasteboardWithUniqueName();
    HXPoint location;
    HXDraggingSource* source = nullptr;
    unsigned mask = HXDragOperationCopy | HXDragOperationMove;
    std::shared_ptr<HXPasteboard> draggingPasteboard() const override { return board; }
    HXPoint draggingLocation() const override { return location; }
    std::shared_ptr<HXWindow> draggingDestinationWindow() const override { return nullptr; }
    HXDraggingSource* draggingSource() const override { return source; }
    unsigned draggingSourceOperationMask() const override { return mask; }
    int draggingSequenceNumber() const override { return 1; }
    std::shared_ptr<HXImage> draggedImage() const override { return nullptr; }
};

// A 300-point-wide slider (style `style`) in the content of the headless window, at (0, 0).
class SliderTest : public TimelineHeadlessTest {
protected:
    void makeSlider(bool editing = true, unsigned style = 0, double width = 300)
    {
        slider = MVPSliderView::sliderViewWithFrame(HXMakeRect(0, 0, width, 20), &source, style);
        slider->setEditingEnabled(editing);
        window->contentView()->addSubview(slider);
        window->makeKeyAndOrderFront();
        app->updateWindows();
    }
    void TearDown() override
    {
        if (slider) {
            slider->setMediaSource(nullptr);
            slider->removeFromSuperview();
        }
        slider.reset();
        TimelineHeadlessTest::TearDown();
    }
    // Mouse events at slider coordinates (the slider sits at the content's origin).
    HXPoint base(HXPoint p) const { return window->contentView()->convertPointToView(p, nullptr); }
    void mouse(HXEventType type, HXPoint p, uint32_t modifiers = 0)
    {
        HXHeadlessWindowServer::postMouse(type, window, base(p), modifiers);
        app->processPendingEvents();
    }
    void moveMouseTo(HXPoint p)
    {
        server->setMouseLocation(window->convertBaseToScreen(base(p)));
        mouse(HXMouseMoved, p);
    }

    FakeSliderSource source;
    std::shared_ptr<MVPSliderView> slider;
};

} // namespace movara::test
