#pragma once
// MVPLCDMediaSource: the time display's side of the timeline slider — the media source that turns the
// slider's fractions into times on the movie and answers from values cached from the movie.
//
// The cache follows the movie's time, selection and edit notifications (they arrive synchronously from
// the movie's setters); the display refreshes it from its timers too. In chapter-clip mode the source's
// range is the current chapter: from its start, lasting up to one unit before the next chapter.
//
// Arithmetic: a fraction p is the time trunc(p × D + S), D and S being the range's duration and start;
// a time t is the fraction (t − S) ÷ D (0 when the movie has no duration).
#include "player/timeline/slider_media_source_protocol.h"

#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"

#include <functional>

class MVPLCDMediaSource : public MVPSliderMediaSourceProtocol {
public:
    MVPLCDMediaSource();
    ~MVPLCDMediaSource() override;
    MVPLCDMediaSource(const MVPLCDMediaSource&) = delete;
    MVPLCDMediaSource& operator=(const MVPLCDMediaSource&) = delete;

    // Binding. `chapterClip` is decided when the movie is bound: chapter mode 1 and chapters present.
    void setMovie(std::shared_ptr<MVMovie> movie, bool chapterClip = false);
    void setMediaView(std::shared_ptr<HXView> view) { _mediaView = std::move(view); }
    void setEditingEnabled(bool enabled) { _editingEnabled = enabled; }
    bool isChapterModeClip() const { return _chapterModeClip; }
    void setLoadPercent(double percent) { _loadPercent = percent; }
    // How edit failures are shown; by default a modal alert.
    void setErrorPresenter(std::function<void(const HXError&)> presenter)
    {
        _errorPresenter = std::move(presenter);
    }

    // Cache refreshers.
    void cacheMovieTimes();
    void cacheSelectionTimes();
    void cacheCurrentChapterTimes();
    // The current chapter (1-based; 0 none) and its range.
    int currentChapterIndex() const { return _currentChapterIndex; }

    // MVPSliderMediaSourceProtocol.
    std::shared_ptr<HXView> mediaView() const override { return _mediaView; }
    std::shared_ptr<MVMovie> movie() const override { return _movie; }
    bool editingEnabled() const override { return _editingEnabled; }
    void setSelectionPercent(double percent) override;
    void setSelectionStartPercentSelectionEndPercent(double start, double end) override;
    void setSelectionStartPercentSelectionDurationPercent(double start, double duration) override;
    void setSelectionDurationPercent(double duration) override;
    void setSelectionStartPercent(double start) override;
    void setSelectionEndPercent(double end) override;
    double selectionDurationPercent() const override { return _selectionDurationPercent; }
    double selectionStartPercent() const override { return _selectionStartPercent; }
    double selectionEndPercent() const override { return _selectionEndPercent; }
    void setSelection(MVTime start, MVTime end) override;
    void setSelection(MVTimeRange range) override;
    void setSelectionDuration(MVTime duration) override;
    MVTime selectionDuration() const override { return _selection.duration; }
    void setSelectionEnd(MVTime end) override;
    MVTime selectionEnd() const override { return _selectionEnd; }
    void setSelectionStart(MVTime start) override;
    MVTime selectionStart() const override { return _selection.time; }
    bool hasSelection() const override;
    MVTime timeStart() const override;
    MVTime duration() const override;
    bool hasDuration() const override { return _hasDuration; }
    void setCurrentTimePercent(double percent) override;
    double currentTimePercent() const override { return _currentTimePercent; }
    void setCurrentTime(MVTime time) override;
    MVTime currentTime() const override { return _currentTime; }
    std::shared_ptr<HXImage> currentFrameImage() const override;
    double loadPercent() const override { return _loadPercent; }
    double durationPercentOfMediaFromPasteboard(HXPasteboard& pasteboard) const override;
    void insertMediaFromPasteboard(
        HXPasteboard& pasteboard, double timePercent, bool deleteSelection) override;
    void addSelectionToPasteboard(HXPasteboard& pasteboard, const std::string& type) override;
    std::vector<std::string> dragTypes() const override;
    void deleteSelection() override;
    void stepSelectionEndBackward() override;
    void stepSelectionEndForward() override;
    void stepSelectionStartBackward() override;
    void stepSelectionStartForward() override;
    void stepBackward() override;
    void stepForward() override;
    void unpause() override;
    void pause() override;
    void stop() override;
    void play() override;

    float savedRate() const { return _savedRate; }

private:
    // The time of fraction `percent` of the range.
    MVTime timeForPercent(double percent) const;
    double percentForTime(MVTime time) const;
    bool insideChapter(MVTime time) const;
    void clampSelectionForChapterModeClip();
    void step(int direction);
    void presentError(int64_t code);
    void observeMovie();

    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<HXView> _mediaView;
    bool _editingEnabled = true;
    bool _chapterModeClip = false;
    int _currentChapterIndex = 0;
    MVTimeRange _chapterRange {};
    MVTime _currentTime {};
    MVTime _movieDuration {};
    bool _hasDuration = false;
    MVTimeRange _selection {};
    MVTime _selectionEnd {};
    double _currentTimePercent = 0;
    double _selectionStartPercent = 0;
    double _selectionEndPercent = 0;
    double _selectionDurationPercent = 0;
    double _loadPercent = 1.0;
    float _savedRate = 0;
    std::function<void(const HXError&)> _errorPresenter;
    std::vector<HXObserverToken> _observers;
};
