#pragma once
// MVMoviePlayback: the playback of one MVMovie — its player, fed from the movie's tracks, kept in step
// with the movie's stored playback settings and notifications.
//
// The movie stores rate, current time, volume, muted and selection and posts their notifications;
// this object listens: a new rate plays, a new time seeks, an edit rebuilds the decoders, volume and
// muted reach the mixer. In the other direction it writes what playback changes back into the movie
// (so the movie posts "MVMovieRateDidChangeNotification" and "MVMovieTimeDidChangeNotification"), and
// posts "MVMovieDidEndNotification" when play stops at an end. The play modes and the sound and picture
// adjustments are the movie's too: the movie hands them over (applyMovieSettings) whenever one changes,
// and the setters here change them on the movie; the tracks' sound settings are the tracks'. Only the
// level bands live here.
//
// One playback per movie: playbackForMovie() answers the living one or makes it. Whoever shows or
// plays the movie holds it; it stops and goes away with its last holder. Main thread only.
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/frame_converter.h"
#include "platform/mvkit/playback/movie_player.h"

#include <memory>

class MVMoviePlayback : public std::enable_shared_from_this<MVMoviePlayback> {
public:
    static std::shared_ptr<MVMoviePlayback> playbackForMovie(
        const std::shared_ptr<MVMovie>& movie, MVMoviePlayerOptions options = {});
    // The living playback of `movie`, if any.
    static std::shared_ptr<MVMoviePlayback> existingPlaybackForMovie(const MVMovie* movie);
    ~MVMoviePlayback();

    std::shared_ptr<MVMovie> movie() const { return _movie.lock(); }
    MVMoviePlayer& player() { return *_player; }

    // Time and rate (the live values, also while playing).
    MVTime currentTime() const;
    void setCurrentTime(MVTime time);
    // Goes to the movie's stored time (after MVMovie::setCurrentTime), so that whoever hears of the new
    // time reads it back from a playback that is already there.
    void followMovieTime();
    float rate() const { return float(_player->rate()); }
    void setRate(float rate);
    void play();
    void stop() { setRate(0); }
    bool isPlaying() const { return _player->rate() != 0; }
    void prerollAtTime(MVTime time, float rate) { _player->preroll(movieUnits(time), rate); }
    bool isDone() const { return _player->clock().isDone(false); }
    bool isDoneConsideringPlaySelectionOnly() const { return _player->clock().isDone(true); }

    // Stepping and jumping.
    void step(int frames);
    void stepForward() { step(1); }
    void stepBackward() { step(-1); }
    void stepFrameForward() { step(1); }
    void stepFrameBackward() { step(-1); }
    void stepByTime(MVTime delta);
    void gotoBeginning();
    void gotoEnd();
    void gotoPosterTime();

    // Takes over the movie's play modes and sound and picture adjustments.
    void applyMovieSettings();

    // Play modes (the movie's).
    bool loops() const { return _player->clock().loopMode() != MVLoopMode::None; }
    void setLoops(bool flag);
    bool loopsBackAndForth() const { return _player->clock().loopMode() == MVLoopMode::BackAndForth; }
    void setLoopsBackAndForth(bool flag);
    bool playsSelectionOnly() const { return _player->clock().playsSelectionOnly(); }
    void setPlaysSelectionOnly(bool flag);
    bool playsAllFrames() const { return _player->clock().playsAllFrames(); }
    void setPlaysAllFrames(bool flag);

    // Sound of the movie (the movie's settings) and of its tracks.
    float balance() const { return _movieSound.balance; }
    void setBalance(float balance);
    float bass() const { return _movieSound.bass; }
    void setBass(float decibels);
    float treble() const { return _movieSound.treble; }
    void setTreble(float decibels);
    float gain() const { return _movieSound.gain; }
    void setGain(float gain);
    float pitch() const { return float(_player->pitch()); }
    void setPitch(float cents);
    // A track's sound settings are the track's own (volume, gain, balance, bass, treble, muted); setting
    // them here sets them on the track (all but its volume).
    MVAudioMixSettings trackSoundSettings(uint32_t trackID) const;
    void setTrackSoundSettings(uint32_t trackID, const MVAudioMixSettings& settings);
    // Takes over the tracks' sound settings (each change a track posts is taken over by itself; every
    // change of the movie's own settings takes them all over too).
    void applyTrackSettings();

    // Level bars.
    bool hasEqualizer() const { return _player->hasSound(); }
    int numberOfEqualizerBandLevels() const { return _bands; }
    void setNumberOfEqualizerBandLevels(int bands);
    int numberOfEqualizerDeviceChannels() const { return _player->numberOfAudioChannels(); }
    // The channels of the sound device `movie` plays through: its playback's, or the default device's
    // when it has none; 0 when there is no device.
    static int outputDeviceChannelCount(const MVMovie& movie);
    // The levels of the sound playing now; all 0 while the movie does not play.
    MVAudioFrequencyLevels equalizerBandLevels();

    // Picture. The adjustments are a pass over every pixel drawn; the media key "MVImageFiltersAvailable"
    // (default YES) switches it off for machines too slow for it, and the pictures show as decoded.
    static bool imageFiltersAvailable();
    const MVPictureAdjustments& visualAdjustments() const { return _adjustments; }
    void setVisualAdjustments(const MVPictureAdjustments& adjustments);
    // The pictures at `time`, back to front, decoded now (posters, thumbnails, frame images).
    std::vector<MVMoviePlayer::PresentedPicture> picturesAtTime(MVTime time);

    // Called when the movie's tracks changed without an edit notification.
    void reloadTracks();
    void movieLoadStateChanged();
    void attachArrival(const MVMovie& movie);

private:
    explicit MVMoviePlayback(const std::shared_ptr<MVMovie>& movie, MVMoviePlayerOptions options);
    void observe(const std::shared_ptr<MVMovie>& movie);
    int64_t movieUnits(MVTime time) const;
    void applyMovieSound();
    void writeRate(double rate);
    void writeTime();

    std::weak_ptr<MVMovie> _movie;
    const MVMovie* _identity;
    std::shared_ptr<MVMoviePlayer> _player;
    std::shared_ptr<MVPlaybackFeed> _feed; // what the player was given
    std::shared_ptr<MVPlaybackSupply> _supply;
    std::vector<uint64_t> _observers;
    MVAudioMixSettings _movieSound;
    MVPictureAdjustments _adjustments;
    int _bands = MVAudioLevelMeter::kDefaultBandCount;
    bool _writingBack = false; // our own change comes back as a notification: ignore it
    bool _applyingTime = false; // seeking to the movie's new time: nothing to write back
};
