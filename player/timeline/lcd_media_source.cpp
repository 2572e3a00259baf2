#include "player/timeline/lcd_media_source.h"

#include "core/alert.h"
#include "core/movie_error.h"
#include "document/lcd_movie_time.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/selector.h"

#include <cmath>
#include <limits>

namespace {

// trunc(x) as a 64-bit count; NaN counts 0 and values beyond the range stop at its ends.
int64_t truncated(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (x <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return int64_t(std::trunc(x));
}

} // namespace

MVPLCDMediaSource::MVPLCDMediaSource() = default;

MVPLCDMediaSource::~MVPLCDMediaSource()
{
    for (auto token : _observers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
}

void MVPLCDMediaSource::setMovie(std::shared_ptr<MVMovie> movie, bool chapterClip)
{
    for (auto token : _observers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    _observers.clear();
    _movie = std::move(movie);
    _chapterModeClip = chapterClip && _movie && MVMovieHasChapters(*_movie);
    _savedRate = 0;
    observeMovie();
    cacheMovieTimes();
}

void MVPLCDMediaSource::observeMovie()
{
    if (!_movie)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    for (const char* name : { MVMovieTimeDidChangeNotification, MVMovieSelectionDidChangeNotification,
             MVMovieEditedNotification })
        _observers.push_back(center.addObserver(
            this, name, _movie.get(), [this](const HXNotification&) { cacheMovieTimes(); }));
}

// ---- Cache

void MVPLCDMediaSource::cacheMovieTimes()
{
    if (!_movie) {
        _currentTime = _movieDuration = {};
        _hasDuration = false;
        _currentTimePercent = 0;
        cacheSelectionTimes();
        return;
    }
    int32_t scale = _movie->timeScale();
    _movieDuration = _movie->duration();
    _hasDuration = _movie->hasDuration();
    _currentTime = MVTimeInScale(MVPLCDMovieCurrentTime(*_movie), scale);
    cacheCurrentChapterTimes();
    _currentTimePercent = _hasDuration ? percentForTime(_currentTime) : 0;
    cacheSelectionTimes();
}

void MVPLCDMediaSource::cacheSelectionTimes()
{
    _selectionStartPercent = _selectionEndPercent = _selectionDurationPercent = 0;
    if (!_movie) {
        _selection = {};
        _selectionEnd = {};
        return;
    }
    int32_t scale = _movie->timeScale();
    MVTimeRange selection = _movie->selection();
    _selection = { MVTimeInScale(selection.time, scale), MVTimeInScale(selection.duration, scale) };
    _selectionEnd = MVTimeIncrement(_selection.time, _selection.duration);
    if (!_hasDuration)
        return;
    if (_chapterModeClip && (!insideChapter(_selection.time) || !insideChapter(_selectionEnd)))
        return;
    double d = double(duration().timeValue);
    if (d <= 0)
        return;
    _selectionStartPercent = percentForTime(_selection.time);
    _selectionEndPercent = percentForTime(_selectionEnd);
    _selectionDurationPercent = double(_selection.duration.timeValue) / d;
}

void MVPLCDMediaSource::cacheCurrentChapterTimes()
{
    _currentChapterIndex = 0;
    _chapterRange = {};
    if (!_movie || !_chapterModeClip)
        return;
    auto chapters = MVMovieChapters(*_movie);
    int32_t scale = _movie->timeScale();
    int64_t now = _currentTime.timeValue;
    for (size_t i = 0; i < chapters.size(); ++i) {
        int64_t start = MVTimeInScale(chapters[i].startTime, scale).timeValue;
        int64_t end = i + 1 < chapters.size() ? MVTimeInScale(chapters[i + 1].startTime, scale).timeValue
                                              : _movieDuration.timeValue;
        if (i == 0 || now >= start) {
            _currentChapterIndex = int(i) + 1;
            // One unit short of the next chapter, as the chapter list gives its end.
            _chapterRange
                = { MVMakeTime(start, scale), MVMakeTime(std::max<int64_t>(end - start - 1, 0), scale) };
        }
    }
}

MVTime MVPLCDMediaSource::timeStart() const
{
    if (_chapterModeClip && _currentChapterIndex > 0)
        return _chapterRange.time;
    return MVMakeTime(0, _movie ? _movie->timeScale() : 600);
}

MVTime MVPLCDMediaSource::duration() const
{
    if (_chapterModeClip && _currentChapterIndex > 0)
        return _chapterRange.duration;
    return _movieDuration;
}

bool MVPLCDMediaSource::insideChapter(MVTime time) const
{
    if (_currentChapterIndex == 0)
        return true;
    return MVTimeCompare(time, _chapterRange.time) >= 0
        && MVTimeCompare(time, MVTimeIncrement(_chapterRange.time, _chapterRange.duration)) <= 0;
}

MVTime MVPLCDMediaSource::timeForPercent(double percent) const
{
    MVTime d = duration();
    return MVMakeTime(truncated(percent * double(d.timeValue) + double(timeStart().timeValue)), d.timeScale);
}

double MVPLCDMediaSource::percentForTime(MVTime time) const
{
    double d = double(duration().timeValue);
    if (d <= 0)
        return 0;
    int32_t scale = duration().timeScale;
    return double(MVTimeInScale(time, scale).timeValue - timeStart().timeValue) / d;
}

bool MVPLCDMediaSource::hasSelection() const
{
    if (_selection.duration.timeValue == 0)
        return false;
    if (_chapterModeClip)
        return insideChapter(_selection.time) && insideChapter(_selectionEnd);
    return true;
}

// ---- Selection

void MVPLCDMediaSource::clampSelectionForChapterModeClip()
{
    if (!_movie || !_chapterModeClip || _currentChapterIndex == 0)
        return;
    if (!insideChapter(_selection.time) || !insideChapter(_selectionEnd))
        _movie->setSelection({ _chapterRange.time, MVMakeTime(0, _chapterRange.time.timeScale) });
}

void MVPLCDMediaSource::setSelectionPercent(double percent)
{
    if ((_selectionStartPercent + _selectionEndPercent) * 0.5 > percent)
        setSelectionStartPercent(percent);
    else
        setSelectionEndPercent(percent);
}

void MVPLCDMediaSource::setSelectionStartPercentSelectionEndPercent(double start, double end)
{
    clampSelectionForChapterModeClip();
    MVTime d = duration();
    double dv = double(d.timeValue);
    setSelection(MVTimeRange { MVMakeTime(truncated(dv * start + double(timeStart().timeValue)), d.timeScale),
        MVMakeTime(truncated((end - start) * dv), d.timeScale) });
}

void MVPLCDMediaSource::setSelectionStartPercentSelectionDurationPercent(double start, double duration)
{
    MVTime d = this->duration();
    double dv = double(d.timeValue);
    setSelection(MVTimeRange {
        MVMakeTime(truncated(dv * start), d.timeScale), MVMakeTime(truncated(duration * dv), d.timeScale) });
}

void MVPLCDMediaSource::setSelectionDurationPercent(double duration)
{
    MVTime d = this->duration();
    setSelectionDuration(MVMakeTime(truncated(duration * double(d.timeValue)), d.timeScale));
}

void MVPLCDMediaSource::setSelectionStartPercent(double start)
{
    clampSelectionForChapterModeClip();
    setSelectionStart(timeForPercent(start));
}

void MVPLCDMediaSource::setSelectionEndPercent(double end)
{
    clampSelectionForChapterModeClip();
    setSelectionEnd(timeForPercent(end));
}

void MVPLCDMediaSource::setSelection(MVTimeRange range)
{
    if (_movie)
        _movie->setSelection(range);
}

void MVPLCDMediaSource::setSelection(MVTime start, MVTime end)
{
    setSelection(MVTimeRange { start, MVTimeDecrement(end, start) });
}

void MVPLCDMediaSource::setSelectionDuration(MVTime duration)
{
    setSelection(MVTimeRange { _selection.time, duration });
}

void MVPLCDMediaSource::setSelectionStart(MVTime start)
{
    if (MVTimeCompare(start, _selectionEnd) > 0) {
        setSelection(MVTimeRange { start, MVMakeTime(0, start.timeScale) });
        return;
    }
    // Keeps the end where it was.
    setSelection(MVTimeRange { start, MVTimeDecrement(_selectionEnd, start) });
}

void MVPLCDMediaSource::setSelectionEnd(MVTime end)
{
    if (MVTimeCompare(end, _selection.time) >= 0)
        setSelection(MVTimeRange { _selection.time, MVTimeDecrement(end, _selection.time) });
    else
        setSelection(MVTimeRange { end, MVMakeTime(0, end.timeScale) });
}

// ---- Current time, stepping and transport

void MVPLCDMediaSource::setCurrentTimePercent(double percent)
{
    setCurrentTime(timeForPercent(percent));
}

void MVPLCDMediaSource::setCurrentTime(MVTime time)
{
    if (_movie)
        _movie->setCurrentTime(time);
}

std::shared_ptr<HXImage> MVPLCDMediaSource::currentFrameImage() const
{
    if (auto view = std::dynamic_pointer_cast<MVMovieView>(_mediaView))
        return view->currentFrameImage();
    return nullptr;
}

void MVPLCDMediaSource::step(int direction)
{
    if (!_movie)
        return;
    // Frames are the pictures' samples; a movie without pictures steps through whatever it has.
    std::vector<uint32_t> types;
    if (_movie->hasVideo())
        types = { MVFourCC("vide") };
    int32_t scale = _movie->timeScale();
    int64_t now = MVTimeInScaleFloor(_movie->currentTime(), scale).timeValue;
    int64_t next = _movie->nextInterestingTime(now, MVNextTimeMediaSample, types, direction > 0 ? 1.0 : -1.0);
    if (next >= 0 && next < _movie->durationValue())
        _movie->setCurrentTime(MVMakeTime(next, scale));
}

void MVPLCDMediaSource::stepForward()
{
    step(1);
}

void MVPLCDMediaSource::stepBackward()
{
    step(-1);
}

void MVPLCDMediaSource::stepSelectionEndForward()
{
    setCurrentTime(_selectionEnd);
    stepForward();
    setSelectionEnd(_currentTime);
}

void MVPLCDMediaSource::stepSelectionEndBackward()
{
    if (MVTimeCompare(_selection.time, _selectionEnd) >= 0)
        return;
    setCurrentTime(_selectionEnd);
    stepBackward();
    setSelectionEnd(_currentTime);
}

void MVPLCDMediaSource::stepSelectionStartBackward()
{
    setCurrentTime(_selection.time);
    stepBackward();
    setSelectionStart(_currentTime);
}

void MVPLCDMediaSource::stepSelectionStartForward()
{
    if (MVTimeCompare(_selection.time, _selectionEnd) >= 0)
        return;
    setCurrentTime(_selection.time);
    stepForward();
    setSelectionStart(_currentTime);
}

void MVPLCDMediaSource::pause()
{
    if (!_movie)
        return;
    // A second pause of a stopped movie keeps the rate saved by the first, so playback still resumes.
    float rate = _movie->rate();
    if (rate != 0) {
        _savedRate = rate;
        _movie->stop();
    }
}

void MVPLCDMediaSource::unpause()
{
    if (!_movie || _savedRate == 0)
        return;
    _movie->setRate(_savedRate);
    _savedRate = 0;
}

void MVPLCDMediaSource::stop()
{
    if (_movie)
        _movie->stop();
}

void MVPLCDMediaSource::play()
{
    if (_movie)
        _movie->play();
}

// ---- Pasteboard and deletion

namespace {

std::shared_ptr<MVMovie> movieFromPasteboard(HXPasteboard& pasteboard)
{
    auto data = pasteboard.dataForType(HXMoviePboardType);
    if (!data)
        return nullptr;
    return MVMovie::movieWithData(data->bytes, nullptr);
}

} // namespace

std::vector<std::string> MVPLCDMediaSource::dragTypes() const
{
    return { HXMoviePboardType };
}

void MVPLCDMediaSource::addSelectionToPasteboard(HXPasteboard& pasteboard, const std::string& type)
{
    if (!_movie || type != HXMoviePboardType)
        return;
    auto piece = _movie->copySelection();
    if (!piece)
        return;
    pasteboard.declareTypes({ type }, nullptr);
    pasteboard.setData(HXData(piece->movieFormatRepresentation()), type);
}

double MVPLCDMediaSource::durationPercentOfMediaFromPasteboard(HXPasteboard& pasteboard) const
{
    auto pasted = movieFromPasteboard(pasteboard);
    double p = 0, m = 0;
    if (!pasted || !MVGetTimeInterval(pasted->duration(), &p) || !MVGetTimeInterval(_movieDuration, &m))
        return 0;
    if (p + m <= 0)
        return 0;
    return p / (p + m);
}

void MVPLCDMediaSource::insertMediaFromPasteboard(
    HXPasteboard& pasteboard, double timePercent, bool deleteSelection)
{
    auto pasted = _movie ? movieFromPasteboard(pasteboard) : nullptr;
    if (!pasted)
        return;
    // The drop point is a fraction of the slider's range, placed on the timeline before any deletion.
    MVTime at = timeForPercent(timePercent);
    if (deleteSelection && _selection.duration.timeValue > 0) {
        MVTimeRange removed = _selection;
        MVTime removedEnd = _selectionEnd;
        if (!_movie->deleteSegment(removed)) {
            presentError(4);
            return;
        }
        // Moving the selection later in the movie: the drop point moved back with what followed it.
        if (MVTimeCompare(at, removedEnd) >= 0)
            at = MVTimeDecrement(at, removed.duration);
        else if (MVTimeCompare(at, removed.time) > 0)
            at = removed.time;
    }
    MVTime pastedDuration = pasted->duration();
    if (!_movie->insertSegment(pasted, { MVMakeTime(0, pastedDuration.timeScale), pastedDuration }, at)) {
        presentError(4);
        return;
    }
    _movie->setSelection({ at, MVTimeInScale(pastedDuration, _movie->timeScale()) });
}

void MVPLCDMediaSource::deleteSelection()
{
    if (!_movie || _selection.duration.timeValue <= 0)
        return;
    if (_mediaView) {
        _mediaView->tryToPerform(HXSelector("delete:"), nullptr);
        return;
    }
    MVTimeRange removed = _selection;
    if (!_movie->deleteSegment(removed)) {
        presentError(5);
        return;
    }
    _movie->setSelection({ removed.time, MVMakeTime(0, removed.time.timeScale) });
}

void MVPLCDMediaSource::presentError(int64_t code)
{
    HXError error = MVPMovieErrorWithCode(code, _movie, std::nullopt);
    if (_errorPresenter)
        _errorPresenter(error);
    else
        MVPAlert::alertWithError(error)->runModal();
}
