#pragma once
// MVPLCDView: the "LCD" of the player — the strip in the controls bar that shows the movie time (an
// editable time-code field with its mode menu in the window, a plain time text in the full-screen heads-up
// display), the timeline slider inside the message scroller, the chapter pop-up, the audio level bars and
// the status messages of streams.
//
// Styles: 0 the player window's controls bar, 1 the full-screen heads-up display (2, the recording window,
// lays out as 0). The owner makes it with LCDViewWithFrame, places it with setFrame (the view re-lays out
// its parts on every frame or bounds change), and binds the movie and movie view; the parts are made at
// the next window update.
//
// The sub-views are rebuilt lazily: a change of movie, style or level-bar switch sets a flag and asks the
// application to update its windows; the rebuild runs once, from the window's did-update notification,
// and then posts "MVAKeyLoopChanged" (object: the window) so that the window rebuilds its key loop.
//
// While the view is in a window with a movie, four repeating timers run on the main run loop (also in the
// event-tracking mode): the time every 0.1 s with a time-code field (0.5 s otherwise) while the movie
// plays; the slider's playhead every max(0.05 s, duration ÷ slider width) while it plays; the level bars
// every 0.07 s while it plays; the loaded fraction every 0.4 s while a movie still loads.
//
// The display is the slider's media source (MVPLCDMediaSource): the cached movie times live there.
#include "player/timeline/lcd_chapter_pop_up_button.h"
#include "player/timeline/lcd_equalizer_view.h"
#include "player/timeline/lcd_media_source.h"
#include "player/timeline/scroll_view.h"
#include "player/timeline/slider_view.h"
#include "player/timeline/time_code_field.h"
#include "player/timeline/time_text_field.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/audio_level_meter.h"
#include "platform/winkit/view.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXTimer;
class MVMovieView;

// Layout constants of the display.
inline constexpr double kLCDEqualizerWidth = 45;
inline constexpr double kLCDEqualizerHeight = 15;
inline constexpr double kLCDEqualizerYOffset = 5;
inline constexpr double kLCDTimeCodeHeight = 15;
inline constexpr double kLCDTimeCodeYOffset = 5;
inline constexpr double kLCDTimeCodeWidthMax = 120;
inline constexpr double kLCDChapterHeight = 18;
inline constexpr double kLCDChapterYOffset = 2;
inline constexpr double kLCDChapterWidthMax = 120;
inline constexpr double kLCDScrollViewXOffset = 2;
inline constexpr double kLCDScrollViewYOffset = 2;
inline constexpr double kLCDScrollViewHeight = 20;
inline constexpr double kLCDScrollViewWidthMin = 120;
inline constexpr double kLCDFSScrollViewHeight = 13;
inline constexpr double kLCDFSTimeWidth = 49;
inline constexpr double kLCDFSTimeHeight = 13;
inline constexpr double kLCDFSChapterHeight = 13;
inline constexpr unsigned kLCDEqualizerNumberOfChannels = 2;
inline constexpr unsigned kLCDEqualizerNumberOfBandLevels = 7;

// Timer intervals, seconds.
inline constexpr double kLCDTimeTimerInterval = 0.1; // with a time-code field
inline constexpr double kLCDFSTimeTimerInterval = 0.5; // the plain time text
inline constexpr double kLCDSliderTimeMinimumTimerInterval = 0.05;
inline constexpr double kLCDSliderTimeDefaultTimerInterval = 0.1;
inline constexpr double kLCDEqualizerTimerInterval = 0.07;
inline constexpr double kLCDSliderLoadPercentTimerInterval = 0.4;

// Movie types as the display reads them.
inline constexpr unsigned kLCDMovieTypeLoading = 2;
inline constexpr unsigned kLCDMovieTypeLiveBroadcast = 3;

class MVPLCDView : public HXView {
public:
    static std::shared_ptr<MVPLCDView> LCDViewWithFrame(HXRect frame,
        std::shared_ptr<MVMovie> movie = nullptr, std::shared_ptr<MVMovieView> movieView = nullptr);
    explicit MVPLCDView(HXRect frame = HXZeroRect);
    ~MVPLCDView() override;

    // ---- Binding
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    void setMovie(std::shared_ptr<MVMovie> movie);
    const std::shared_ptr<MVMovieView>& movieView() const { return _movieView; }
    void setMovieView(std::shared_ptr<MVMovieView> movieView);
    std::shared_ptr<HXView> mediaView() const;
    unsigned style() const { return _style; }
    void setStyle(unsigned style);
    bool equalizerEnabled() const { return _equalizerEnabled; }
    void setEqualizerEnabled(bool enabled);
    bool editingEnabled() const { return _editingEnabled; }
    void setEditingEnabled(bool enabled);
    const std::shared_ptr<MVTrack>& timeCodeTrack() const { return _timeCode; }
    void setTimeCodeTrack(std::shared_ptr<MVTrack> track) { _timeCode = std::move(track); }
    // The slider's media source: the display's cache of the movie's times.
    MVPLCDMediaSource& mediaSource() { return *_mediaSource; }

    // ---- Rebuild and layout
    bool needsRebuild() const { return _needsRebuild; }
    void setNeedsRebuild(bool flag);
    void rebuild();
    void repositionSubviews();

    struct LayoutInput {
        HXRect bounds;
        unsigned style = 0;
        bool equalizer = false;
        bool timeTextField = false;
        std::optional<double> timeCodeNaturalWidth; // a time-code field
        std::optional<double> chapterNaturalWidth; // a chapter pop-up
        bool scrollView = false;
    };
    struct Layout {
        HXRect equalizer, timeTextField, timeCodeField, chapterPopUpButton, scrollView;
    };
    // Where the parts go, from both ends of the bounds towards the scroll view in the middle.
    static Layout layout(const LayoutInput& input);

    // Links previous → time-code field → the slider's knobs → chapter pop-up; answers the last one linked.
    std::shared_ptr<HXView> appendKeyViewsTo(const std::shared_ptr<HXView>& previous);

    // ---- Parts (null when the last rebuild made none)
    const std::shared_ptr<MVPScrollView>& scrollView() const { return _scrollView; }
    const std::shared_ptr<MVPTimeTextField>& timeTextField() const { return _timeTextField; }
    const std::shared_ptr<MVPSliderView>& sliderView() const { return _sliderView; }
    const std::shared_ptr<MVPChapterPopUpButton>& chapterPopUpButton() const { return _chapterPopUpButton; }
    const std::shared_ptr<MVPTimeCodeField>& timeCodeField() const { return _timeCodeField; }
    const std::shared_ptr<MVPEqualizerView>& equalizerView() const { return _equalizerView; }
    // The level buffer (none unless level bars are shown).
    const std::optional<MVAudioFrequencyLevels>& movieAudioFrequencyLevels() const { return _levels; }

    // ---- Timers
    void runMovieTimers(bool run);
    void runTimeTimer(bool run);
    void runSliderTimeTimer(bool run);
    void runEqualizerTimer(bool run);
    void runLoadPercentTimer(bool run);
    const std::shared_ptr<HXTimer>& timeTimer() const { return _timeTimer; }
    const std::shared_ptr<HXTimer>& sliderTimeTimer() const { return _sliderTimeTimer; }
    const std::shared_ptr<HXTimer>& equalizerTimer() const { return _equalizerTimer; }
    const std::shared_ptr<HXTimer>& loadPercentTimer() const { return _loadPercentTimer; }

    // ---- Cached state
    void cacheMovieTimes();
    void cacheSelectionTimes();
    void cacheCurrentChapterTimes();
    void updateLoadPercent();
    void updateMovieType();
    void checkForTimecodeTrack();
    double loadPercent() const { return _mediaSource->loadPercent(); }
    unsigned movieType() const { return _movieType; }
    bool isPlaying() const { return _isPlaying; }
    bool isBuffering() const { return _isBuffering; }
    bool isVRMovie() const { return _isVRMovie; }
    bool isChapterModeClip() const { return _isChapterModeClip; }

    // ---- Readouts
    void updateTime();
    void updateSliderTime();
    void updateSliderSelection();
    bool shouldDisplayTimecode() const;
    void updateTimeCodeList();
    void setupTimeCodeFormat();
    bool isValidFormat(int mode) const;
    void showMessage(bool show, const std::string& text, bool scroll);
    void updateChapterList();
    void updateChapter();
    void changeChapter(HXObject* sender);
    void updateEqualizer();
    // The movie's current chapter, 1-based (0: none).
    int currentChapterIndex() const;
    void setCurrentChapterIndex(int index);

    // ---- Movie notifications
    void movieRateChanged(const HXNotification& notification);
    void movieTimeChanged();
    void movieEdited();
    void selectionChanged();
    void chapterChanged();
    void chapterListChanged();
    void statusStringPosted(const HXNotification& notification);
    void prerollComplete(const HXNotification& notification);

    // ---- HXView, HXResponder
    bool mouseDownCanMoveWindow() const override { return false; }
    void keyDown(const HXEvent& event) override;
    void scrollWheel(const HXEvent& event) override;
    void drawRect(HXRect dirtyRect) override;
    void viewWillMoveToWindow(HXWindow* newWindow) override;

protected:
    // What the display asks of the movie beyond the movie model: the kind of movie (2 still loading, 3 a
    // live broadcast), a panorama controller, the chapter mode (1: play chapter by chapter) and the level
    // bands of its sound. The defaults answer from the movie and its playback.
    virtual unsigned queryMovieType() const;
    virtual bool queryHasVRController() const { return _movie && _movie->hasVRController(); }
    virtual int queryChapterMode() const;
    virtual bool queryHasEqualizer() const;
    virtual unsigned queryNumberOfEqualizerDeviceChannels() const;
    virtual unsigned queryNumberOfEqualizerBandLevels() const;
    virtual void querySetNumberOfEqualizerBandLevels(unsigned bands);
    // Fills `levels` (whose counts are set) with the levels playing now.
    virtual void queryEqualizerBandLevels(MVAudioFrequencyLevels& levels) const;

private:
    void observeMovie();
    void stopObservingMovie();
    void windowDidUpdate();
    bool inWindowWithMovie() const { return _movie && window(); }
    void setTimer(std::shared_ptr<HXTimer>& slot, std::shared_ptr<HXTimer> timer);
    std::shared_ptr<HXTimer> scheduleRepeating(double interval, void (MVPLCDView::*action)());
    void timeTimerFired();
    void sliderTimeTimerFired();
    void followPlayingChapter();
    double sliderTimerInterval() const;
    void refreshStatusForLiveBroadcast();

    void sliderUpdateLoadPercent();

    std::shared_ptr<MVPScrollView> _scrollView;
    std::shared_ptr<MVPTimeTextField> _timeTextField;
    std::shared_ptr<MVPSliderView> _sliderView;
    std::shared_ptr<MVPChapterPopUpButton> _chapterPopUpButton;
    std::shared_ptr<MVPTimeCodeField> _timeCodeField;
    std::shared_ptr<MVPEqualizerView> _equalizerView;
    std::shared_ptr<MVPLCDMediaSource> _mediaSource;
    bool _isChapterModeClip = false;
    std::shared_ptr<HXTimer> _timeTimer;
    std::shared_ptr<HXTimer> _sliderTimeTimer;
    std::shared_ptr<HXTimer> _loadPercentTimer;
    std::shared_ptr<HXTimer> _equalizerTimer;
    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<MVMovieView> _movieView;
    std::shared_ptr<MVTrack> _timeCode;
    unsigned _movieType = 0;
    bool _isVRMovie = false;
    bool _isPlaying = false;
    bool _isBuffering = false;
    bool _editingEnabled = true;
    bool _equalizerEnabled = false;
    std::optional<MVAudioFrequencyLevels> _levels;
    unsigned _style = 0;
    bool _needsRebuild = false;
    bool _hasDuration = false; // as of the last edit
    int _shownChapterIndex = 0;

    std::vector<HXObserverToken> _movieObservers;
    HXObserverToken _windowUpdateObserver = 0;
    HXObserverToken _timeCodeModeObserver = 0;
    std::vector<HXObserverToken> _ownObservers;
};
