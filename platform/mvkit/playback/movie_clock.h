#pragma once
// MVMovieClock: the time of a playing movie.
//
// The clock runs at a rate against a time source (seconds on a monotonic scale: the run loop's clock)
// from an anchor: the movie time at a source time, set at every change of rate or time. The time is
// always worked out from the anchor, so updating does not add up errors and the clock never drifts from
// its source. While the movie's sound plays the clock follows the sound instead (setFollower): its time
// is that of the sound being heard. Either way it keeps the movie inside its playback range: the whole
// movie, or the selection when only the selection plays. update() moves it to the present and acts at
// the range's ends: stop there (and report the end), wrap around (loop), or turn back (back and
// forth). Times are movie units; the clock keeps fractions between updates so a slow rate still
// advances.
//
// Changes are reported through the callbacks, on the thread that calls the clock (the main thread):
// onRateChange after every change of rate, onTimeJump when the time changes other than by running
// (setting it, stepping, wrapping), onDidEnd when playback stops at an end.
#include <cstdint>
#include <functional>

enum class MVLoopMode { None, Loop, BackAndForth };

class MVMovieClock {
public:
    using TimeSource = std::function<double()>;

    MVMovieClock(int32_t timeScale, TimeSource source);

    // A new source; the clock goes on from its present time without a jump.
    void setTimeSource(TimeSource source);
    // While set (and the clock runs, not held), the time is the follower's: the movie time of the sound
    // being heard, in movie units, kept inside the playback range. The rate is still the rate of play;
    // ends and loops act as usual, and a jump is the follower's to take up (onTimeJump). Null: the clock
    // runs on from its present time against the time source, without a jump.
    using Follower = std::function<double()>;
    void setFollower(Follower follower);
    bool isFollowing() const { return static_cast<bool>(_follower); }
    int32_t timeScale() const { return _timeScale; }
    void setTimeScale(int32_t timeScale);

    int64_t duration() const { return _duration; }
    void setDuration(int64_t duration); // the time is kept inside

    double rate() const { return _rate; }
    void setRate(double rate);
    bool isPlaying() const { return _rate != 0; }

    // The time as of the last update (or change), rounded down to a unit.
    int64_t currentTime() const;
    void setCurrentTime(int64_t time);
    // The time as of now, without acting at the ends.
    double presentTime() const;

    MVLoopMode loopMode() const { return _loopMode; }
    void setLoopMode(MVLoopMode mode) { _loopMode = mode; }
    bool playsSelectionOnly() const { return _selectionOnly; }
    void setPlaysSelectionOnly(bool flag);
    void setSelection(int64_t start, int64_t duration);
    int64_t selectionStart() const { return _selectionStart; }
    int64_t selectionDuration() const { return _selectionDuration; }

    // All frames: time never passes the next frame time the stepper answers, so each frame is reached
    // even when that slows the movie down. The stepper answers the next frame time after (direction 1)
    // or before (direction −1) a time, or the time itself when there is none.
    using FrameStepper = std::function<int64_t(int64_t time, int direction)>;
    void setFrameStepper(FrameStepper stepper) { _stepper = std::move(stepper); }
    bool playsAllFrames() const { return _allFrames; }
    void setPlaysAllFrames(bool flag) { _allFrames = flag; }

    // The range played: the selection when only the selection plays and it is not empty, else the movie.
    int64_t rangeStart() const;
    int64_t rangeEnd() const;
    // At the end of the movie (`considerSelection`: of the playback range) in the direction of play.
    bool isDone(bool considerSelection = false) const;

    // Moves to the present; acts at the range's ends.
    void update();

    // Held, the clock stands still at its present time while keeping its rate (a movie waiting for
    // data that has not arrived); released, it runs on from there without a jump.
    void setHeld(bool held);
    bool isHeld() const { return _held; }

    // Stops and moves by `frames` frames (negative: back), as the stepper finds them; without a stepper
    // by `frames` × `defaultStep` units. Stays inside the movie.
    void step(int frames, int64_t defaultStep);
    // Stops and moves by `delta` units inside the movie.
    void stepByTime(int64_t delta);
    void gotoBeginning();
    void gotoEnd();

    std::function<void(double rate)> onRateChange;
    std::function<void()> onTimeJump;
    std::function<void()> onDidEnd;

private:
    double sourceNow() const { return _source ? _source() : _anchorHost; }
    // The time at the source's time `host`: one reading of the source serves a whole change or update,
    // so that no time passes unaccounted between reading and anchoring.
    double timeAt(double host) const;
    void anchorAt(double time, double host);
    void anchor(double time) { anchorAt(time, sourceNow()); }
    // The time as of the source's time `host`: held, followed or run from the anchor.
    double presentTimeAt(double host) const;
    void changeRate(double rate);
    void changeRateAt(double rate, double time, double host);
    void jumpTo(double time, double host);
    void jumpTo(double time) { jumpTo(time, sourceNow()); }

    int32_t _timeScale;
    TimeSource _source;
    int64_t _duration = 0;
    double _rate = 0;
    double _anchorTime = 0; // movie units at _anchorHost
    double _anchorHost = 0; // source seconds
    double _time = 0; // movie units as of the last update or change
    Follower _follower;
    MVLoopMode _loopMode = MVLoopMode::None;
    bool _selectionOnly = false;
    int64_t _selectionStart = 0;
    int64_t _selectionDuration = 0;
    bool _allFrames = false;
    bool _held = false;
    FrameStepper _stepper;
};
