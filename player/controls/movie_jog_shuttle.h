#pragma once
// MVPMovieJogShuttle: plays a movie forward or backward at a chosen speed for as long as a control is
// held, then gives it back the rate it had. Slow speeds are raised to a quarter, speeds up to 3× use the
// movie's own rate, faster ones step from key frame to key frame (MVPMovieFastRatePlayer).
#include <memory>

class MVMovie;
class MVPMovieFastRatePlayer;

class MVPMovieJogShuttle {
public:
    explicit MVPMovieJogShuttle(std::shared_ptr<MVMovie> movie);
    ~MVPMovieJogShuttle();
    MVPMovieJogShuttle(const MVPMovieJogShuttle&) = delete;
    MVPMovieJogShuttle& operator=(const MVPMovieJogShuttle&) = delete;

    // The first call of a shuttle remembers the movie's rate. 0 stops, as does a speed towards an end the
    // movie is already at.
    void setRate(float rate);
    // The speed last asked for while shuttling, else the movie's rate.
    float rate() const;
    bool isInUse() const { return _inUse; }
    // Ends the shuttle: the movie gets back its former rate, unless it was playing towards the end it has
    // now reached, where it stays stopped.
    void reset();
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }

    // Slowest speed either way, and the fastest the movie plays by itself.
    static constexpr float minimumRate = 0.25f;
    static constexpr float maximumMovieRate = 3.0f;

private:
    void stopFastRatePlayer();

    std::shared_ptr<MVMovie> _movie;
    bool _inUse = false;
    float _rate = 0;
    float _oldRate = 0;
    std::unique_ptr<MVPMovieFastRatePlayer> _fastRatePlayer;
};
