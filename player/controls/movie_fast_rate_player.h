#pragma once
// MVPMovieFastRatePlayer: plays a movie faster than it can decode by showing key frames only. It does not
// run the movie; it jumps from one key frame to the next on a timer whose interval is the media time
// between them at the requested speed, so the picture keeps the pace of the rate. While it runs the movie
// stands still (rate 0) but is marked as appearing to play, so the controls show the playing state.
#include <cstdint>
#include <memory>

class HXTimer;
class MVMovie;

class MVPMovieFastRatePlayer {
public:
    explicit MVPMovieFastRatePlayer(std::shared_ptr<MVMovie> movie);
    ~MVPMovieFastRatePlayer();
    MVPMovieFastRatePlayer(const MVPMovieFastRatePlayer&) = delete;
    MVPMovieFastRatePlayer& operator=(const MVPMovieFastRatePlayer&) = delete;

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    // Speed factor; negative runs backward. A new rate while running restarts from where the movie is.
    double rate() const { return _rate; }
    void setRate(double rate);
    // Running: a step is pending.
    bool isRunning() const;
    // Starts from the movie's current time (nothing at rate 0 or when running).
    void start();
    // Stops between two key frames: the movie is left where the picture would be by now.
    void stop();

private:
    void seekToNextTime();

    std::shared_ptr<MVMovie> _movie;
    double _rate = 0;
    int64_t _nextTime = 0; // in the movie's time scale
    std::weak_ptr<HXTimer> _rateTimer; // the run loop holds the pending step
};
