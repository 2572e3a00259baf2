#include "player/timeline/lcd_view.h"

#include "core/preferences.h"
#include "document/lcd_movie_time.h"
#include "document/movie_document.h"
#include "document/time_code_media.h"
#include "player/controls/image_drawing.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie_view.h"
#include "platform/mvkit/panorama/node.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Posted after every rebuild with the window as object; the window's controller rebuilds its key loop.
constexpr const char* kKeyLoopChangedNotification = "MVAKeyLoopChanged";
// The chapter notification the movie posts when it has chapters to tell.
constexpr const char* kChapterDidChangeNotification = "MVMovieChapterDidChangeNotification";

constexpr int64_t kUserCanceledError = -128;

const HXSelector kChangeChapter("changeChapter:");

std::string localized(const char* key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

const HXPropertyList* userInfoValue(const HXNotification& notification, const char* key)
{
    auto it = notification.userInfo().find(key);
    return it == notification.userInfo().end() ? nullptr : &it->second;
}

} // namespace

// ---- Creation and binding

std::shared_ptr<MVPLCDView> MVPLCDView::LCDViewWithFrame(
    HXRect frame, std::shared_ptr<MVMovie> movie, std::shared_ptr<MVMovieView> movieView)
{
    auto view = std::make_shared<MVPLCDView>(frame);
    view->setMovie(std::move(movie));
    view->setMovieView(std::move(movieView));
    return view;
}

MVPLCDView::MVPLCDView(HXRect frame)
    : HXView(frame)
    , _mediaSource(std::make_shared<MVPLCDMediaSource>())
{
    _mediaSource->setEditingEnabled(_editingEnabled);
    setPostsBoundsChangedNotifications(true);
    setPostsFrameChangedNotifications(true);
    auto& center = HXNotificationCenter::defaultCenter();
    for (const char* name : { HXViewBoundsDidChangeNotification, HXViewFrameDidChangeNotification })
        _ownObservers.push_back(center.addObserver(this, name, static_cast<const HXView*>(this),
            [this](const HXNotification&) { repositionSubviews(); }));
    setActionHandler(kChangeChapter, [this](HXObject* sender) { changeChapter(sender); });
}

MVPLCDView::~MVPLCDView()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _ownObservers)
        center.removeObserver(token);
    if (_windowUpdateObserver)
        center.removeObserver(_windowUpdateObserver);
    if (_timeCodeModeObserver)
        center.removeObserver(_timeCodeModeObserver);
    stopObservingMovie();
    for (auto* slot : { &_timeTimer, &_sliderTimeTimer, &_equalizerTimer, &_loadPercentTimer })
        setTimer(*slot, nullptr);
    // The slider may outlive the display (someone may hold it): it must not ask a source that is gone.
    if (_sliderView)
        _sliderView->setMediaSource(nullptr);
}

void MVPLCDView::setMovie(std::shared_ptr<MVMovie> movie)
{
    stopObservingMovie();
    bool changed = movie != _movie;
    _movie = std::move(movie);
    _isVRMovie = _movie && queryHasVRController();
    _isPlaying = _movie && _movie->isPlaying();
    _isBuffering = false;
    _isChapterModeClip = _movie && queryChapterMode() == 1 && MVMovieHasChapters(*_movie);
    _mediaSource->setMovie(_movie, _isChapterModeClip);
    _mediaSource->setLoadPercent(1.0);
    _movieType = 0;
    updateMovieType();
    // A live broadcast is announced by the next edit's look at the type.
    if (_movieType == kLCDMovieTypeLiveBroadcast)
        _movieType = 0;
    checkForTimecodeTrack();
    runMovieTimers(inWindowWithMovie());
    // The chapter is the one of the movie's time now: the times are taken first.
    cacheMovieTimes();
    if (_isChapterModeClip)
        cacheCurrentChapterTimes();
    cacheSelectionTimes();
    _hasDuration = _mediaSource->hasDuration();
    _shownChapterIndex = currentChapterIndex();
    observeMovie();
    if (changed)
        setNeedsRebuild(true);
}

int MVPLCDView::queryChapterMode() const
{
    return _movie ? MVMovieChapterMode(*_movie) : MVMovieChapterModeNone;
}

void MVPLCDView::setMovieView(std::shared_ptr<MVMovieView> movieView)
{
    _movieView = std::move(movieView);
    _mediaSource->setMediaView(_movieView);
}

std::shared_ptr<HXView> MVPLCDView::mediaView() const
{
    return _movieView;
}

void MVPLCDView::setStyle(unsigned style)
{
    if (style == _style)
        return;
    _style = style;
    setNeedsRebuild(true);
}

void MVPLCDView::setEqualizerEnabled(bool enabled)
{
    if (enabled == _equalizerEnabled)
        return;
    _equalizerEnabled = enabled;
    setNeedsRebuild(true);
}

void MVPLCDView::setEditingEnabled(bool enabled)
{
    if (enabled == _editingEnabled)
        return;
    _editingEnabled = enabled;
    _mediaSource->setEditingEnabled(enabled);
    if (_sliderView)
        _sliderView->setEditingEnabled(enabled);
}

void MVPLCDView::checkForTimecodeTrack()
{
    std::shared_ptr<MVTrack> track;
    if (_movie) {
        auto tracks = _movie->tracksOfMediaType(MVMediaTypeTimeCode);
        if (!tracks.empty())
            track = tracks.back();
    }
    setTimeCodeTrack(std::move(track));
}

void MVPLCDView::observeMovie()
{
    if (!_movie)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    const void* object = _movie.get();
    auto on = [&](const char* name, std::function<void(const HXNotification&)> handler) {
        _movieObservers.push_back(center.addObserver(this, name, object, std::move(handler)));
    };
    on(MVMovieRateDidChangeNotification, [this](const HXNotification& n) { movieRateChanged(n); });
    on(MVMovieTimeDidChangeNotification, [this](const HXNotification&) { movieTimeChanged(); });
    on(MVMovieEditedNotification, [this](const HXNotification&) { movieEdited(); });
    on(MVMovieSelectionDidChangeNotification, [this](const HXNotification&) { selectionChanged(); });
    on(kChapterDidChangeNotification, [this](const HXNotification&) { chapterChanged(); });
    on(MVMovieChapterListDidChangeNotification, [this](const HXNotification&) { chapterListChanged(); });
    on(MVMovieStatusStringPostedNotification, [this](const HXNotification& n) { statusStringPosted(n); });
    on(MVMoviePrerollCompleteNotification, [this](const HXNotification& n) { prerollComplete(n); });
    on(MVMovieLoadStateDidChangeNotification, [this](const HXNotification&) { updateMovieType(); });
}

void MVPLCDView::stopObservingMovie()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _movieObservers)
        center.removeObserver(token);
    _movieObservers.clear();
}

// ---- Rebuild

void MVPLCDView::setNeedsRebuild(bool flag)
{
    _needsRebuild = flag;
    if (auto app = HXApplication::sharedApplication())
        app->setWindowsNeedUpdate(true);
}

void MVPLCDView::windowDidUpdate()
{
    if (_needsRebuild)
        rebuild();
}

void MVPLCDView::rebuild()
{
    _needsRebuild = false;
    int mode = _timeCodeField ? _timeCodeField->timeCodeCell()->mode() : 0;

    // Keep the views alive until the new ones are in: a handler up the stack may be one of them.
    auto oldSubviews = subviews();
    for (auto& view : oldSubviews)
        view->removeFromSuperview();
    if (_timeCodeModeObserver) {
        HXNotificationCenter::defaultCenter().removeObserver(_timeCodeModeObserver);
        _timeCodeModeObserver = 0;
    }
    if (_sliderView)
        _sliderView->setMediaSource(nullptr);
    _scrollView.reset();
    _timeTextField.reset();
    _sliderView.reset();
    _chapterPopUpButton.reset();
    _timeCodeField.reset();
    _equalizerView.reset();
    _levels.reset();

    if (!_isVRMovie) {
        if (_style == 1) {
            _timeTextField = MVPTimeTextField::timeTextFieldWithFrame(
                HXMakeRect(0, 0, kLCDFSTimeWidth, kLCDFSTimeHeight), 1);
            addSubview(_timeTextField);
        } else {
            _timeCodeField = std::make_shared<MVPTimeCodeField>(HXZeroRect);
            _timeCodeField->setMovie(_movie);
            addSubview(_timeCodeField);
            updateTimeCodeList();
            if (mode == 0) {
                setupTimeCodeFormat();
                mode = _timeCodeField->timeCodeCell()->mode();
            }
            if (isValidFormat(mode))
                _timeCodeField->chooseFormatter(mode);
            _timeCodeModeObserver = HXNotificationCenter::defaultCenter().addObserver(this,
                MVPTimeCodeModeDidChange, static_cast<const HXView*>(_timeCodeField.get()),
                [this](const HXNotification&) { repositionSubviews(); });
            if (_isChapterModeClip)
                cacheCurrentChapterTimes();
        }
    }

    updateTime();

    if (!_isVRMovie) {
        _sliderView = MVPSliderView::sliderViewWithFrame(HXZeroRect, _mediaSource.get(), _style);
        _sliderView->setEditingEnabled(_editingEnabled);
    }

    HXRect scrollFrame = _style == 1 ? HXMakeRect(0, 0, 0, kLCDFSScrollViewHeight)
        : _timeCodeField ? HXMakeRect(kLCDScrollViewXOffset, kLCDScrollViewYOffset, 0, kLCDScrollViewHeight)
                         : HXMakeRect(0, kLCDScrollViewYOffset, 0, kLCDScrollViewHeight);
    _scrollView = MVPScrollView::scrollViewWithFrame(scrollFrame, _sliderView, _style);
    addSubview(_scrollView);
    // A panorama's display names the node in view (each later node change posts its name as a status).
    if (_isVRMovie && _movie)
        if (auto node = _movie->currentNode())
            showMessage(true, node->name(), false);

    if (!_isVRMovie && _movie && MVMovieHasChapters(*_movie) && _style <= 1) {
        _chapterPopUpButton = MVPChapterPopUpButton::chapterPopUpButtonWithFrame(HXZeroRect, _style);
        _chapterPopUpButton->setTarget(shared_from_this());
        _chapterPopUpButton->setAction(kChangeChapter);
        addSubview(_chapterPopUpButton);
        updateChapterList();
    }

    if (_style == 0 && _equalizerEnabled && _movie && queryHasEqualizer()) {
        if (queryNumberOfEqualizerBandLevels() != kLCDEqualizerNumberOfBandLevels)
            querySetNumberOfEqualizerBandLevels(kLCDEqualizerNumberOfBandLevels);
        unsigned channels = std::min(queryNumberOfEqualizerDeviceChannels(), 255u);
        MVAudioFrequencyLevels levels;
        levels.numberOfChannels = channels;
        levels.numberOfBandLevels = kLCDEqualizerNumberOfBandLevels;
        levels.levels.assign(size_t(channels) * kLCDEqualizerNumberOfBandLevels, 0.0f);
        _levels = std::move(levels);
        _equalizerView = MVPEqualizerView::equalizerViewWithFrame(
            HXMakeRect(0, kLCDEqualizerYOffset, kLCDEqualizerWidth, kLCDEqualizerHeight));
        _equalizerView->setNumberOfChannels(uint8_t(channels), uint8_t(kLCDEqualizerNumberOfBandLevels));
        addSubview(_equalizerView);
        updateEqualizer();
    }

    repositionSubviews();
    setNeedsDisplay(true);
    if (auto w = window())
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(kKeyLoopChangedNotification, static_cast<const void*>(w.get())));
    runMovieTimers(inWindowWithMovie());
}

// ---- Layout

MVPLCDView::Layout MVPLCDView::layout(const LayoutInput& input)
{
    Layout out;
    HXRect r = input.bounds;
    if (input.style != 1) {
        r.origin.x += 2;
        r.size.width -= 4;
    }
    if (input.equalizer) {
        out.equalizer = HXMakeRect(
            r.origin.x + r.size.width - 47, kLCDEqualizerYOffset, kLCDEqualizerWidth, kLCDEqualizerHeight);
        r.size.width -= 49;
    }
    if (input.style == 1) {
        if (input.timeTextField) {
            out.timeTextField
                = HXMakeRect(r.origin.x + r.size.width - 50, 0, kLCDFSTimeWidth, kLCDFSTimeHeight);
            r.size.width -= 50;
        }
    } else if (input.timeCodeNaturalWidth) {
        double w = std::min(kLCDTimeCodeWidthMax, std::floor(*input.timeCodeNaturalWidth));
        out.timeCodeField = HXMakeRect(r.origin.x + 1, kLCDTimeCodeYOffset, w, kLCDTimeCodeHeight);
        r.origin.x += w + 4;
        r.size.width -= w + 4;
    }
    if (input.chapterNaturalWidth) {
        double n = *input.chapterNaturalWidth;
        if (input.style == 1) {
            out.chapterPopUpButton = HXMakeRect(r.origin.x + r.size.width - n, 0, n, kLCDFSChapterHeight);
            r.size.width -= n;
        } else {
            // The scroll view keeps its minimum before the pop-up shrinks; a pop-up never gets a
            // negative width.
            double w
                = std::max(0.0, std::min({ n, r.size.width - kLCDScrollViewWidthMin, kLCDChapterWidthMax }));
            out.chapterPopUpButton
                = HXMakeRect(r.origin.x + r.size.width - w - 3, kLCDChapterYOffset, w, kLCDChapterHeight);
            r.size.width -= w + 6;
        }
    }
    if (input.scrollView) {
        out.scrollView = input.style == 1
            ? HXMakeRect(r.origin.x, 0, std::max(0.0, r.size.width), kLCDFSScrollViewHeight)
            : HXMakeRect(
                r.origin.x, kLCDScrollViewYOffset, std::max(0.0, r.size.width - 1), kLCDScrollViewHeight);
    }
    return out;
}

void MVPLCDView::repositionSubviews()
{
    LayoutInput input;
    input.bounds = bounds();
    input.style = _style;
    input.equalizer = _equalizerView != nullptr;
    input.timeTextField = _timeTextField != nullptr;
    if (_timeCodeField)
        input.timeCodeNaturalWidth = double(_timeCodeField->naturalWidth());
    if (_chapterPopUpButton)
        input.chapterNaturalWidth = _chapterPopUpButton->naturalWidth();
    input.scrollView = _scrollView != nullptr;
    Layout l = layout(input);
    if (_equalizerView)
        _equalizerView->setFrame(l.equalizer);
    if (_timeTextField)
        _timeTextField->setFrame(l.timeTextField);
    if (_timeCodeField)
        _timeCodeField->setFrame(l.timeCodeField);
    if (_chapterPopUpButton)
        _chapterPopUpButton->setFrame(l.chapterPopUpButton);
    if (_scrollView)
        _scrollView->setFrame(l.scrollView);
    setNeedsDisplay(true);
}

std::shared_ptr<HXView> MVPLCDView::appendKeyViewsTo(const std::shared_ptr<HXView>& previous)
{
    std::shared_ptr<HXView> last = previous;
    auto link = [&last](const std::shared_ptr<HXView>& view) {
        if (last)
            last->setNextKeyView(view);
        last = view;
    };
    if (_timeCodeField)
        link(_timeCodeField);
    if (_sliderView)
        last = _sliderView->appendKeyViewsTo(last);
    if (_chapterPopUpButton)
        link(_chapterPopUpButton);
    return last;
}

// ---- Timers

void MVPLCDView::setTimer(std::shared_ptr<HXTimer>& slot, std::shared_ptr<HXTimer> timer)
{
    if (slot)
        slot->invalidate();
    slot = std::move(timer);
}

std::shared_ptr<HXTimer> MVPLCDView::scheduleRepeating(double interval, void (MVPLCDView::*action)())
{
    return HXTimer::scheduledTimer(interval, true, [this, action](HXTimer&) { (this->*action)(); },
        { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode });
}

void MVPLCDView::runMovieTimers(bool run)
{
    if (!run) {
        for (auto* slot : { &_timeTimer, &_sliderTimeTimer, &_equalizerTimer, &_loadPercentTimer })
            setTimer(*slot, nullptr);
        return;
    }
    runTimeTimer(_isPlaying);
    runSliderTimeTimer(_isPlaying);
    runEqualizerTimer(_isPlaying);
    if (_movieType == kLCDMovieTypeLoading && loadPercent() < 1.0)
        runLoadPercentTimer(true);
}

void MVPLCDView::runTimeTimer(bool run)
{
    if (run) {
        setTimer(_timeTimer,
            scheduleRepeating(_timeCodeField ? kLCDTimeTimerInterval : kLCDFSTimeTimerInterval,
                &MVPLCDView::timeTimerFired));
        return;
    }
    setTimer(_timeTimer, nullptr);
    updateTime();
}

void MVPLCDView::runSliderTimeTimer(bool run)
{
    if (run && _mediaSource->hasDuration()) {
        setTimer(
            _sliderTimeTimer, scheduleRepeating(sliderTimerInterval(), &MVPLCDView::sliderTimeTimerFired));
        return;
    }
    setTimer(_sliderTimeTimer, nullptr);
    updateSliderTime();
}

void MVPLCDView::runEqualizerTimer(bool run)
{
    if (run && _levels) {
        setTimer(
            _equalizerTimer, scheduleRepeating(kLCDEqualizerTimerInterval, &MVPLCDView::updateEqualizer));
        return;
    }
    setTimer(_equalizerTimer, nullptr);
    updateEqualizer();
}

void MVPLCDView::runLoadPercentTimer(bool run)
{
    if (run) {
        setTimer(_loadPercentTimer,
            scheduleRepeating(kLCDSliderLoadPercentTimerInterval, &MVPLCDView::updateLoadPercent));
        return;
    }
    setTimer(_loadPercentTimer, nullptr);
    updateLoadPercent();
}

double MVPLCDView::sliderTimerInterval() const
{
    double seconds = 0;
    if (!MVGetTimeInterval(_mediaSource->duration(), &seconds) || !std::isfinite(seconds))
        return kLCDSliderTimeDefaultTimerInterval;
    double width = _sliderView ? _sliderView->frame().size.width
        : _scrollView          ? _scrollView->frame().size.width
                               : 0;
    // A slider not laid out yet has no points to move over: the playhead moves at the default pace.
    if (width < 1)
        return kLCDSliderTimeDefaultTimerInterval;
    return std::max(kLCDSliderTimeMinimumTimerInterval, seconds / width);
}

void MVPLCDView::timeTimerFired()
{
    followPlayingChapter();
    cacheMovieTimes();
    updateTime();
}

void MVPLCDView::sliderTimeTimerFired()
{
    followPlayingChapter();
    cacheMovieTimes();
    updateSliderTime();
}

// A playing movie passes from chapter to chapter without a jump in its time: the chapter pop-up and, in
// chapter-clip mode, the timeline's range follow it here.
void MVPLCDView::followPlayingChapter()
{
    if ((_chapterPopUpButton || _isChapterModeClip) && currentChapterIndex() != _shownChapterIndex)
        chapterChanged();
}

// ---- Cached state

void MVPLCDView::cacheMovieTimes()
{
    _mediaSource->cacheMovieTimes();
}

void MVPLCDView::cacheSelectionTimes()
{
    _mediaSource->cacheSelectionTimes();
}

void MVPLCDView::cacheCurrentChapterTimes()
{
    _mediaSource->cacheCurrentChapterTimes();
    if (!_timeCodeField)
        return;
    // 64-bit counts: long chapters at fine time scales keep their true ends.
    MVTime start = _mediaSource->timeStart();
    MVTime end = MVTimeIncrement(start, _mediaSource->duration());
    _timeCodeField->setTimeOrigin(start.timeValue);
    _timeCodeField->setTimeMaximum(end.timeValue);
}

void MVPLCDView::updateLoadPercent()
{
    int64_t loaded = 0;
    int64_t duration = 0;
    if (_movie) {
        loaded = MVTimeInScaleFloor(_movie->maxTimeLoaded(), _movie->timeScale()).timeValue;
        duration = _movie->durationValue();
    }
    // The whole 64-bit count: a long movie's fraction neither wraps nor stays below its end.
    double percent = duration > 0 ? std::clamp(double(loaded) / double(duration), 0.0, 1.0) : 1.0;
    _mediaSource->setLoadPercent(percent);
    if (_loadPercentTimer && loaded >= duration)
        runLoadPercentTimer(false);
    else
        sliderUpdateLoadPercent();
}

unsigned MVPLCDView::queryMovieType() const
{
    if (!_movie)
        return 0;
    return unsigned(_movie->movieType());
}

void MVPLCDView::updateMovieType()
{
    unsigned type = queryMovieType();
    if (type == _movieType)
        return;
    _movieType = type;
    if (type == kLCDMovieTypeLoading) {
        _mediaSource->setLoadPercent(0);
        if (inWindowWithMovie())
            runLoadPercentTimer(true);
    } else {
        _mediaSource->setLoadPercent(1.0);
        if (_loadPercentTimer)
            setTimer(_loadPercentTimer, nullptr);
    }
    sliderUpdateLoadPercent();
}

int MVPLCDView::currentChapterIndex() const
{
    if (!_movie)
        return 0;
    auto chapters = MVMovieChapters(*_movie);
    MVTime now = MVPLCDMovieCurrentTime(*_movie);
    int index = 0;
    for (size_t i = 0; i < chapters.size(); ++i)
        if (i == 0 || MVTimeCompare(now, chapters[i].startTime) >= 0)
            index = int(i) + 1;
    return index;
}

void MVPLCDView::setCurrentChapterIndex(int index)
{
    if (!_movie)
        return;
    auto chapters = MVMovieChapters(*_movie);
    if (index < 1 || size_t(index) > chapters.size())
        return;
    _movie->setCurrentTime(chapters[size_t(index) - 1].startTime);
}

// ---- Equalizer queries, answered by the movie's playback

namespace {

std::shared_ptr<MVMoviePlayback> playbackOf(const std::shared_ptr<MVMovie>& movie)
{
    if (!movie)
        return nullptr;
    auto playback = MVMoviePlayback::existingPlaybackForMovie(movie.get());
    return playback && playback->movie() == movie ? playback : nullptr;
}

} // namespace

bool MVPLCDView::queryHasEqualizer() const
{
    auto playback = playbackOf(_movie);
    return playback && playback->hasEqualizer();
}

unsigned MVPLCDView::queryNumberOfEqualizerDeviceChannels() const
{
    auto playback = playbackOf(_movie);
    return playback ? unsigned(std::max(0, playback->numberOfEqualizerDeviceChannels())) : 0;
}

unsigned MVPLCDView::queryNumberOfEqualizerBandLevels() const
{
    auto playback = playbackOf(_movie);
    return playback ? unsigned(std::max(0, playback->numberOfEqualizerBandLevels())) : 0;
}

void MVPLCDView::querySetNumberOfEqualizerBandLevels(unsigned bands)
{
    if (auto playback = playbackOf(_movie))
        playback->setNumberOfEqualizerBandLevels(int(bands));
}

void MVPLCDView::queryEqualizerBandLevels(MVAudioFrequencyLevels& levels) const
{
    auto playback = playbackOf(_movie);
    if (!playback)
        return;
    MVAudioFrequencyLevels now = playback->equalizerBandLevels();
    // Copy band by band what both have; the rest stays as it was.
    unsigned channels = std::min(levels.numberOfChannels, now.numberOfChannels);
    unsigned bands = std::min(levels.numberOfBandLevels, now.numberOfBandLevels);
    for (unsigned c = 0; c < channels; ++c)
        for (unsigned b = 0; b < bands; ++b) {
            size_t from = size_t(c) * now.numberOfBandLevels + b;
            size_t to = size_t(c) * levels.numberOfBandLevels + b;
            if (from < now.levels.size() && to < levels.levels.size())
                levels.levels[to] = now.levels[from];
        }
}

// ---- Readouts

void MVPLCDView::updateTime()
{
    if (_style == 1 && _timeTextField) {
        _timeTextField->setTime(MVTimeDecrement(_mediaSource->currentTime(), _mediaSource->timeStart()));
        return;
    }
    if (_timeCodeField)
        _timeCodeField->updateTimeString();
}

void MVPLCDView::updateSliderTime()
{
    if (_sliderView)
        _sliderView->updateCurrentTime();
}

void MVPLCDView::updateSliderSelection()
{
    if (_editingEnabled && _sliderView)
        _sliderView->updateSelection();
}

bool MVPLCDView::shouldDisplayTimecode() const
{
    if (_timeCode)
        return true;
    if (!_movie)
        return false;
    // The first enabled track with a visual characteristic.
    for (const auto& track : _movie->tracks())
        if (track->isEnabled() && track->isVisual())
            return true;
    return false;
}

void MVPLCDView::updateTimeCodeList()
{
    if (!_timeCodeField)
        return;
    auto cell = _timeCodeField->timeCodeCell();
    cell->setEditable(shouldDisplayTimecode());
    _timeCodeField->removeAllItems();
    if (auto menu = _timeCodeField->menu()) {
        auto add = [&menu](int mode, const char* key) {
            auto item = std::make_shared<HXMenuItem>(localized(key), HXSelector(), "");
            item->setTag(mode);
            menu->addItem(item);
            return item;
        };
        add(1, "mvpLCDTimeCodeStandard");
        if (_timeCode) {
            auto definition = MVTimeCodeMedia(_timeCode).definition();
            bool dropFrame = definition && (definition->flags & MVTimeCodeDropFrameFlag);
            auto item = dropFrame ? add(3, "mvpLCDTimeCodeDropFrame") : add(2, "mvpLCDTimeCodeNonDropFrame");
            item->setEnabled(true);
            add(4, "mvpLCDTimeCodeFrameNumber");
        } else {
            add(5, "mvpLCDTimeCodeFrameNumber");
        }
    }
    _timeCodeField->flushFormatterCache();
    repositionSubviews();
}

void MVPLCDView::setupTimeCodeFormat()
{
    if (!_timeCodeField)
        return;
    if (!_timeCode) {
        _timeCodeField->chooseFormatter(1);
        return;
    }
    if (!MVPPreferences::preferences().preference(kGeneralPreferenceShowTimeCode).boolValue())
        return;
    auto definition = MVTimeCodeMedia(_timeCode).definition();
    bool dropFrame = definition && (definition->flags & MVTimeCodeDropFrameFlag);
    _timeCodeField->chooseFormatter(dropFrame ? 3 : 2);
}

bool MVPLCDView::isValidFormat(int mode) const
{
    if (mode == 2 || mode == 3)
        return _timeCode != nullptr;
    return true;
}

void MVPLCDView::showMessage(bool show, const std::string& text, bool scroll)
{
    std::string message = text;
    if (!show && _movieType == kLCDMovieTypeLiveBroadcast) {
        show = true;
        message = localized(_isPlaying ? "mvpLCDLiveBroadcast" : "mvpLCDLiveBroadcastPaused");
        scroll = true;
    }
    if (_scrollView)
        _scrollView->showMessage(show, message, scroll);
}

void MVPLCDView::refreshStatusForLiveBroadcast()
{
    showMessage(false, {}, true);
}

void MVPLCDView::statusStringPosted(const HXNotification& notification)
{
    const auto* flagsValue = userInfoValue(notification, MVMovieStatusFlagsNotificationParameter);
    const auto* stringValue = userInfoValue(notification, MVMovieStatusStringNotificationParameter);
    const auto* codeValue = userInfoValue(notification, MVMovieStatusCodeNotificationParameter);
    long flags = flagsValue ? long(flagsValue->integerValue()) : 0;
    std::string string = stringValue ? stringValue->stringValue() : std::string();
    long code = codeValue ? long(codeValue->integerValue()) : 0;
    bool scroll = !_isVRMovie;
    std::string message;

    if (flags & MVMovieStatusFlagStreaming) {
        if (!(flags & MVMovieStatusFlagHasCode))
            return;
        message = string;
        switch (code) {
        case 0:
            if (!_isPlaying)
                return;
            break;
        case 2:
            scroll = false;
            break;
        case 5:
            return;
        case 12:
        case 17:
        case 51:
        case 52:
            // A buffering message that follows another stays in place.
            if (_isBuffering)
                scroll = false;
            _isBuffering = true;
            break;
        default:
            _isBuffering = false;
        }
    } else if (flags & MVMovieStatusFlagError) {
        if (flags & MVMovieStatusFlagHasCode) {
            char number[32];
            std::snprintf(number, sizeof number, "%ld", code);
            message = number;
            if (!string.empty())
                message += ": " + string;
        } else {
            message = string;
        }
    } else {
        message = string;
    }

    if (_isVRMovie || !message.empty())
        showMessage(true, message, scroll);
    else
        showMessage(false, {}, scroll);
}

void MVPLCDView::prerollComplete(const HXNotification& notification)
{
    const auto* errorValue = userInfoValue(notification, MVMovieErrorNotificationParameter);
    int16_t error = errorValue ? int16_t(errorValue->integerValue()) : 0;
    if (error == 0)
        return;
    if (error == kUserCanceledError) {
        showMessage(false, {}, true);
        return;
    }
    if (!_movie)
        return;
    // Everyone who shows the rate (the play button, this display) shows the movie stopped.
    auto movie = _movie;
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieRateDidChangeNotification, static_cast<const void*>(movie.get()),
            { { MVMovieRateDidChangeNotificationParameter, HXPropertyList(0.0) } }));
}

void MVPLCDView::updateChapterList()
{
    if (!_chapterPopUpButton)
        return;
    _chapterPopUpButton->removeAllItems();
    if (_movie) {
        auto chapters = MVMovieChapters(*_movie);
        for (size_t i = 0; i < chapters.size(); ++i)
            if (!chapters[i].name.empty())
                _chapterPopUpButton->addChapterItem(chapters[i].name, long(i) + 1);
    }
    updateChapter();
    repositionSubviews();
}

void MVPLCDView::updateChapter()
{
    if (!_chapterPopUpButton)
        return;
    int index = currentChapterIndex();
    long item = _chapterPopUpButton->indexOfItemWithTag(index);
    if (item >= 0)
        _chapterPopUpButton->selectItemAtIndex(item);
    else if (index == 0 && _chapterPopUpButton->numberOfItems() > 0)
        _chapterPopUpButton->selectItemAtIndex(0);
    _chapterPopUpButton->setNeedsDisplay(true);
}

void MVPLCDView::changeChapter(HXObject* sender)
{
    if (!_chapterPopUpButton)
        return;
    auto item = _chapterPopUpButton->selectedItem();
    if (!item)
        return;
    auto keep = _chapterPopUpButton;
    setCurrentChapterIndex(int(item->tag()));
    auto w = window();
    // The menu keeps the keyboard: no knob of the slider stays selected.
    if (sender == keep.get() && w && w->firstResponder() == keep && _sliderView)
        _sliderView->selectButton(nullptr);
}

void MVPLCDView::updateEqualizer()
{
    if (!_levels || !_equalizerView)
        return;
    if (!_isPlaying) {
        _equalizerView->clearBandLevels();
        return;
    }
    queryEqualizerBandLevels(*_levels);
    _equalizerView->updateBandLevels(*_levels);
}

// ---- Movie notifications

void MVPLCDView::movieRateChanged(const HXNotification& notification)
{
    if (!_movie)
        return;
    bool hasContent = _movie->hasDuration() || _movie->trackCount() > 0;
    const auto* rate = userInfoValue(notification, MVMovieRateDidChangeNotificationParameter);
    bool moving = rate ? rate->realValue() != 0 : _movie->isPlaying();
    _isPlaying = hasContent && moving;
    cacheMovieTimes();
    if (inWindowWithMovie())
        runMovieTimers(true);
    if (_movieType == kLCDMovieTypeLiveBroadcast)
        refreshStatusForLiveBroadcast();
}

void MVPLCDView::movieTimeChanged()
{
    // The chapter is the one of the movie's time now: the times are taken first.
    cacheMovieTimes();
    if (_isChapterModeClip)
        cacheCurrentChapterTimes();
    updateTime();
    updateSliderTime();
    // The movie tells a new chapter by its time.
    int index = currentChapterIndex();
    if (index != _shownChapterIndex)
        chapterChanged();
}

void MVPLCDView::movieEdited()
{
    if (!_movie)
        return;
    // The chapter is the one of the movie's time now: the times are taken first.
    cacheMovieTimes();
    if (_isChapterModeClip)
        cacheCurrentChapterTimes();
    cacheSelectionTimes();
    _isVRMovie = queryHasVRController();
    unsigned oldType = _movieType;
    updateMovieType();
    if (_movieType == kLCDMovieTypeLiveBroadcast && oldType != kLCDMovieTypeLiveBroadcast && !_isBuffering)
        refreshStatusForLiveBroadcast();
    if (_equalizerEnabled && _style == 0) {
        bool hasEqualizer = queryHasEqualizer();
        if (hasEqualizer != _levels.has_value()
            || (_levels && _levels->numberOfChannels != queryNumberOfEqualizerDeviceChannels()))
            setNeedsRebuild(true);
    }
    updateTime();
    updateSliderTime();
    updateSliderSelection();
    checkForTimecodeTrack();
    updateTimeCodeList();
    bool hasDuration = _mediaSource->hasDuration();
    if (hasDuration != _hasDuration) {
        _hasDuration = hasDuration;
        setNeedsRebuild(true);
    }
}

void MVPLCDView::selectionChanged()
{
    cacheMovieTimes();
    cacheSelectionTimes();
    updateTime();
    updateSliderTime();
    updateSliderSelection();
}

void MVPLCDView::chapterChanged()
{
    _shownChapterIndex = currentChapterIndex();
    updateChapter();
    if (!_isChapterModeClip)
        return;
    cacheMovieTimes();
    cacheCurrentChapterTimes();
    cacheSelectionTimes();
    updateSliderTime();
    updateSliderSelection();
    updateTime();
}

void MVPLCDView::chapterListChanged()
{
    if (!_movie)
        return;
    bool wantsPopUp = MVMovieHasChapters(*_movie) && !_isVRMovie && _style <= 1;
    if (wantsPopUp != (_chapterPopUpButton != nullptr))
        setNeedsRebuild(true);
    else if (_chapterPopUpButton)
        updateChapterList();
    if (_isChapterModeClip)
        cacheCurrentChapterTimes();
}

// ---- Events and drawing

void MVPLCDView::keyDown(const HXEvent& event)
{
    char32_t c = event.firstCharacterIgnoringModifiers();
    bool chapterMenuFocused = false;
    if (auto w = window(); w && _chapterPopUpButton)
        chapterMenuFocused = w->firstResponder() == _chapterPopUpButton;
    if (c == 25 || c == 9 || (c == ' ' && chapterMenuFocused)) {
        HXView::keyDown(event);
        return;
    }
    if (_movieView && _movieView->handleKeyDown(event))
        return;
    HXView::keyDown(event);
}

void MVPLCDView::scrollWheel(const HXEvent& event)
{
    if (_movieView)
        _movieView->scrollWheel(event);
}

void MVPLCDView::drawRect(HXRect dirtyRect)
{
    if (_style == 1)
        return;
    DrawThreePartHorizontalImage(bounds(), dirtyRect, false, "LCDBackgroundLeft.tif",
        "LCDBackgroundCenter.tif", "LCDBackgroundRight.tif", HXCompositeSourceOver, 1.0);
}

void MVPLCDView::viewWillMoveToWindow(HXWindow* newWindow)
{
    auto old = window();
    if (bool(old) != (newWindow != nullptr))
        runMovieTimers(newWindow && _movie);
    auto& center = HXNotificationCenter::defaultCenter();
    if (_windowUpdateObserver) {
        center.removeObserver(_windowUpdateObserver);
        _windowUpdateObserver = 0;
    }
    if (newWindow) {
        _windowUpdateObserver = center.addObserver(this, HXWindowDidUpdateNotification,
            static_cast<const void*>(newWindow), [this](const HXNotification&) { windowDidUpdate(); });
        // A rebuild asked for before there was a window runs at this window's next update.
        if (_needsRebuild)
            setNeedsRebuild(true);
    }
}

// ---- The slider

void MVPLCDView::sliderUpdateLoadPercent()
{
    if (_sliderView)
        _sliderView->updateLoadPercent();
}
