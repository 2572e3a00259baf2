#include "player/window/movie_view_navigation.h"

#include "platform/winkit/event.h"

#include <algorithm>
#include <cmath>

namespace {

bool isDefined(MVTime time)
{
    return !MVTimeIsIndefinite(time);
}

// How far the previous-chapter command may be into a chapter and still go to the one before it.
const MVTime kChapterBackTolerance = MVMakeTime(2, 1);

} // namespace

bool MVPMovieViewNavigation::handleKeyDown(const HXEvent& event)
{
    if (event.modifierFlags() & HXDeviceIndependentModifierFlagsMask)
        return false;
    if (event.charactersIgnoringModifiers().empty())
        return false;
    switch (event.firstCharacterIgnoringModifiers()) {
    case U'i':
        setSelectionStart(_target.currentTime());
        return true;
    case U'o':
        setSelectionEnd(_target.currentTime());
        return true;
    case U'k':
        _holdKeyReleased = false;
        _target.setRate(0);
        return true;
    case U'j':
        if (!_holdKeyReleased) {
            if (_target.hasTimeCodeTrack())
                _target.stepFrameBackward();
            else
                _target.stepBackward();
        } else {
            _target.setRate(std::max(_target.rate() - 1.0f, -3.0f));
        }
        return true;
    case U'l':
        if (!_holdKeyReleased) {
            if (_target.hasTimeCodeTrack())
                _target.stepFrameForward();
            else
                _target.stepForward();
        } else {
            _target.setRate(std::min(_target.rate() + 1.0f, 3.0f));
        }
        return true;
    case char32_t(HXDeleteCharacter):
        deleteSelection();
        return true;
    default:
        return false;
    }
}

void MVPMovieViewNavigation::keyEventNotification(const HXEvent& event)
{
    if (event.type() == HXKeyUp && !event.charactersIgnoringModifiers().empty()
        && event.charactersIgnoringModifiers()[0] == 'k')
        _holdKeyReleased = true;
}

void MVPMovieViewNavigation::setSelectionStart(MVTime time)
{
    MVTime end = MVTimeRangeEnd(_target.selection());
    if (MVTimeCompare(time, end) <= 0)
        _target.setSelection(MVMakeTimeRange(time, MVTimeDecrement(end, time)));
    else
        _target.setSelection(MVMakeTimeRange(time, MVMakeTime(0, time.timeScale)));
}

void MVPMovieViewNavigation::setSelectionEnd(MVTime time)
{
    MVTime start = _target.selection().time;
    if (MVTimeCompare(time, start) >= 0)
        _target.setSelection(MVMakeTimeRange(start, MVTimeDecrement(time, start)));
    else
        _target.setSelection(MVMakeTimeRange(time, MVMakeTime(0, time.timeScale)));
}

void MVPMovieViewNavigation::deleteSelection()
{
    if (MVTimeCompare(_target.selection().duration, MVZeroTime) > 0)
        _target.deleteSelectedSegment();
}

void MVPMovieViewNavigation::gotoNextChapter()
{
    MVTime now = _target.currentTime();
    MVTime& last = _lastTimeBeforeChapterChange;
    if (_target.hasChapters()) {
        int following = _target.chapterIndexForTime(now) + 1;
        if (following < _target.chapterCount()) {
            MVTime next = _target.startTimeOfChapter(following);
            if (isDefined(last) && MVTimeCompare(last, now) > 0 && MVTimeCompare(last, next) < 0) {
                _target.setCurrentTime(last);
                last = MVIndefiniteTime;
            } else {
                _target.setCurrentTime(next);
                last = now;
            }
            return;
        }
    }
    // No chapters, or the last one: towards the end.
    if (isDefined(last) && MVTimeCompare(last, now) > 0 && MVTimeCompare(last, _target.duration()) < 0) {
        _target.setCurrentTime(last);
        last = MVIndefiniteTime;
    } else {
        last = now;
        _target.gotoEnd();
    }
}

void MVPMovieViewNavigation::gotoPreviousChapter()
{
    MVTime now = _target.currentTime();
    MVTime& last = _lastTimeBeforeChapterChange;
    if (_target.hasChapters()) {
        int index = _target.chapterIndexForTime(now);
        MVTime target = _target.startTimeOfChapter(index);
        // Just after a chapter's start, "previous" means the chapter before it.
        if (index > 0 && MVTimeCompare(MVTimeDecrement(now, target), kChapterBackTolerance) < 0)
            target = _target.startTimeOfChapter(index - 1);
        if (isDefined(last) && MVTimeCompare(last, now) < 0 && MVTimeCompare(last, target) > 0) {
            _target.setCurrentTime(last);
            last = MVIndefiniteTime;
        } else {
            _target.setCurrentTime(target);
            last = now;
        }
        return;
    }
    if (isDefined(last) && MVTimeCompare(last, now) < 0 && MVTimeCompare(last, MVZeroTime) > 0) {
        _target.setCurrentTime(last);
        last = MVIndefiniteTime;
    } else {
        _target.gotoBeginning();
        last = now;
    }
}

void MVPMovieViewNavigation::swipe(double deltaX)
{
    if (deltaX < 0)
        gotoNextChapter();
    else if (deltaX > 0)
        gotoPreviousChapter();
}

void MVPMovieViewNavigation::scrollWheel(double sumDeltaX, double sumDeltaY)
{
    double horizontal = -sumDeltaX, vertical = sumDeltaY;
    double amount = std::fabs(horizontal) >= std::fabs(vertical) ? horizontal : vertical;
    if (int frames = MVPStepCountForAmount(amount))
        _target.step(frames);
}

int MVPStepCountForAmount(double amount)
{
    if (amount == 0 || std::isnan(amount))
        return 0;
    double size = std::min(std::round(std::max(std::fabs(amount), 1.0)), 1e9);
    return int(amount < 0 ? -size : size);
}

float MVPRelativeXTranslation(double translationX, double translationY)
{
    if (std::fabs(translationY) > std::fabs(translationX))
        return 0;
    return float(-translationX);
}

float MVPJogShuttleRate(float& travel, float sum)
{
    travel = travel + 0.01f * sum;
    travel = std::isnan(travel) ? -5.0f : std::clamp(travel, -5.0f, 5.0f);
    float rate = std::pow(2.0f, std::fabs(travel));
    return travel < 0 ? -rate : rate;
}

int MVPJogScrubStepCount(float sum)
{
    return sum == 0 ? 0 : MVPStepCountForAmount(0.2 * sum);
}
