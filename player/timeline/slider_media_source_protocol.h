#pragma once
// MVPSliderMediaSourceProtocol: what the timeline slider and its parts ask of the time display. The slider
// keeps no time of its own; it exchanges every position as a fraction 0..1 ("percent") of the source's
// range — the current chapter in chapter-clip mode, else the whole movie — and the source turns those
// fractions into movie times. Getters answer cached values, refreshed from the movie's notifications.
#include "platform/mvkit/time.h"

#include <memory>
#include <string>
#include <vector>

class HXImage;
class HXPasteboard;
class HXView;
class MVMovie;

class MVPSliderMediaSourceProtocol {
public:
    virtual ~MVPSliderMediaSourceProtocol() = default;

    // The movie view that takes deletions and key and wheel events; may be null.
    virtual std::shared_ptr<HXView> mediaView() const = 0;
    virtual std::shared_ptr<MVMovie> movie() const = 0;
    virtual bool editingEnabled() const = 0;

    // Selection by fraction.
    virtual void setSelectionPercent(double percent) = 0; // moves the nearer end
    virtual void setSelectionStartPercentSelectionEndPercent(double start, double end) = 0;
    // No start offset and no chapter clamp: fractions of the range's length from the movie's start.
    virtual void setSelectionStartPercentSelectionDurationPercent(double start, double duration) = 0;
    virtual void setSelectionDurationPercent(double duration) = 0;
    virtual void setSelectionStartPercent(double start) = 0;
    virtual void setSelectionEndPercent(double end) = 0;
    virtual double selectionDurationPercent() const = 0;
    virtual double selectionStartPercent() const = 0;
    virtual double selectionEndPercent() const = 0;

    // Selection by time.
    virtual void setSelection(MVTime start, MVTime end) = 0;
    virtual void setSelection(MVTimeRange range) = 0;
    virtual void setSelectionDuration(MVTime duration) = 0;
    virtual MVTime selectionDuration() const = 0;
    virtual void setSelectionEnd(MVTime end) = 0;
    virtual MVTime selectionEnd() const = 0;
    virtual void setSelectionStart(MVTime start) = 0;
    virtual MVTime selectionStart() const = 0;
    virtual bool hasSelection() const = 0;

    // The source range and the current time.
    virtual MVTime timeStart() const = 0;
    virtual MVTime duration() const = 0;
    virtual bool hasDuration() const = 0;
    virtual void setCurrentTimePercent(double percent) = 0;
    virtual double currentTimePercent() const = 0;
    virtual void setCurrentTime(MVTime time) = 0;
    virtual MVTime currentTime() const = 0;
    virtual std::shared_ptr<HXImage> currentFrameImage() const = 0;
    virtual double loadPercent() const = 0;

    // Media dragged in and out.
    virtual double durationPercentOfMediaFromPasteboard(HXPasteboard& pasteboard) const = 0;
    virtual void insertMediaFromPasteboard(HXPasteboard& pasteboard, double timePercent, bool deleteSelection)
        = 0;
    virtual void addSelectionToPasteboard(HXPasteboard& pasteboard, const std::string& type) = 0;
    virtual std::vector<std::string> dragTypes() const = 0;
    virtual void deleteSelection() = 0;

    // Stepping and transport.
    virtual void stepSelectionEndBackward() = 0;
    virtual void stepSelectionEndForward() = 0;
    virtual void stepSelectionStartBackward() = 0;
    virtual void stepSelectionStartForward() = 0;
    virtual void stepBackward() = 0;
    virtual void stepForward() = 0;
    virtual void unpause() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void play() = 0;
};
