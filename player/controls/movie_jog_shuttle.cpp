#include "player/controls/movie_jog_shuttle.h"

#include "platform/mvkit/movie.h"
#include "player/controls/movie_fast_rate_player.h"

#include <cmath>

MVPMovieJogShuttle::MVPMovieJogShuttle(std::shared_ptr<MVMovie> movie)
    : _movie(std::move(movie))
{
}

MVPMovieJogShuttle::~MVPMovieJogShuttle() = default;

float MVPMovieJogShuttle::rate() const
{
    if (_inUse || !_movie)
        return _rate;
    return _movie->rate();
}

void MVPMovieJogShuttle::stopFastRatePlayer()
{
    if (_fastRatePlayer)
        _fastRatePlayer->stop();
}

void MVPMovieJogShuttle::setRate(float rate)
{
    if (!_movie)
        return;
    if (!_inUse) {
        _oldRate = _movie->rate();
        _inUse = true;
    }
    _rate = rate;

    float r = rate;
    if (r > 0 && r < minimumRate)
        r = minimumRate;
    else if (r < 0 && r > -minimumRate)
        r = -minimumRate;

    MVTime now = _movie->currentTime();
    bool stopped = r == 0 || (r > 0 && MVTimeCompare(now, _movie->duration()) >= 0)
        || (r < 0 && MVTimeCompare(now, MVZeroTime) <= 0);
    if (stopped) {
        // Key-frame stepping stops with the movie: a shuttle that went from fast play straight to 0 must
        // not keep jumping ahead until it is reset.
        stopFastRatePlayer();
        _movie->setRate(0);
        return;
    }
    if (std::fabs(r) > maximumMovieRate) {
        if (!_fastRatePlayer)
            _fastRatePlayer = std::make_unique<MVPMovieFastRatePlayer>(_movie);
        _fastRatePlayer->setRate(r);
        _fastRatePlayer->start();
    } else {
        stopFastRatePlayer();
        _movie->setRate(r);
    }
}

void MVPMovieJogShuttle::reset()
{
    if (!_inUse || !_movie)
        return;
    _inUse = false;
    stopFastRatePlayer();
    MVTime now = _movie->currentTime();
    if ((_oldRate < 0 && MVTimeCompare(now, MVZeroTime) <= 0)
        || (_oldRate > 0 && MVTimeCompare(now, _movie->duration()) >= 0))
        _oldRate = 0;
    _rate = _oldRate;
    _movie->setRate(_oldRate);
}
