#include "player/controls/movie_fast_rate_player.h"

#include "document/movie_additions.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/movie.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace {

// Media types of the tracks that show pictures: key frames are looked for there only.
std::vector<uint32_t> visualMediaTypes(const MVMovie& movie)
{
    std::set<uint32_t> types;
    for (const auto& track : movie.tracks()) {
        if (track->isVisual())
            types.insert(track->mediaType());
    }
    return { types.begin(), types.end() };
}

} // namespace

MVPMovieFastRatePlayer::MVPMovieFastRatePlayer(std::shared_ptr<MVMovie> movie)
    : _movie(std::move(movie))
{
}

MVPMovieFastRatePlayer::~MVPMovieFastRatePlayer()
{
    // A pending step would call into a player that is gone, and the movie would go on looking as if it
    // played.
    if (auto timer = _rateTimer.lock()) {
        timer->invalidate();
        if (_movie)
            MVPMovieAdditions::setForcedToAppearToBePlaying(_movie, false);
    }
}

bool MVPMovieFastRatePlayer::isRunning() const
{
    auto timer = _rateTimer.lock();
    return timer && timer->isValid();
}

void MVPMovieFastRatePlayer::setRate(double rate)
{
    if (rate == _rate)
        return;
    if (isRunning()) {
        stop();
        _rate = rate;
        start();
    } else {
        _rate = rate;
    }
}

void MVPMovieFastRatePlayer::start()
{
    if (!_movie || isRunning() || _rate == 0)
        return;
    MVPMovieAdditions::setForcedToAppearToBePlaying(_movie, true);
    _movie->setRate(0);
    _nextTime = MVTimeInScale(_movie->currentTime(), _movie->timeScale()).timeValue;
    seekToNextTime();
}

void MVPMovieFastRatePlayer::seekToNextTime()
{
    _rateTimer.reset();
    int32_t scale = _movie->timeScale();
    int64_t duration = _movie->durationValue();
    _movie->setCurrentTime(MVMakeTime(_nextTime, scale));
    if ((_rate < 0 && _nextTime <= 0) || (_rate > 0 && _nextTime >= duration) || scale <= 0) {
        MVPMovieAdditions::setForcedToAppearToBePlaying(_movie, false);
        return;
    }

    int64_t previous = _nextTime;
    std::vector<uint32_t> types;
    if (_movie->attributeForKey(MVMovieHasVideoAttribute).boolValue())
        types = visualMediaTypes(*_movie);
    int64_t next = _movie->nextInterestingTime(
        previous, MVNextTimeSyncSample | MVNextTimeIgnoreActiveSegment, types, _rate);
    // No key frame further on (the search answers −1, or the same time): the step goes to the end in that
    // direction, where the next step stops. A step that does not move would re-arm at once, forever.
    if (_rate > 0 && next <= previous)
        next = duration;
    else if (_rate < 0 && (next < 0 || next >= previous))
        next = 0;
    _nextTime = next;

    double interval = double(_nextTime - previous) / scale / _rate;
    auto timer = HXTimer::timer(interval, false, [this](HXTimer&) { seekToNextTime(); });
    HXRunLoop::current().addTimer(timer, std::string(HXRunLoopCommonModes));
    _rateTimer = timer;
}

void MVPMovieFastRatePlayer::stop()
{
    auto timer = _rateTimer.lock();
    if (!timer || !timer->isValid())
        return;
    // The picture is part of the way from the last key frame to the pending one: leave the movie there.
    double unelapsed = std::max(0.0, timer->fireDate() - HXRunLoop::current().now());
    double back = std::round(_rate * unelapsed * _movie->timeScale());
    int64_t time = _nextTime - int64_t(back);
    time = std::clamp<int64_t>(time, 0, std::max<int64_t>(0, _movie->durationValue()));
    _movie->setCurrentTime(MVMakeTime(time, _movie->timeScale()));
    timer->invalidate();
    _rateTimer.reset();
    MVPMovieAdditions::setForcedToAppearToBePlaying(_movie, false);
}
