#pragma once
// MVMoviePlayer: plays one movie — its clock, its sound and its pictures.
//
// The player owns a clock (movie_clock.h), one decode worker per enabled visual track, the sound
// decoders of the enabled sound tracks with their mixer and level meter, and a sound output. A
// repeating timer on the main run loop presents: it pumps a silent output, moves the clock and picks
// each visual track's picture for the clock's time. While sound plays the clock follows the sound as
// it is heard: the player notes which movie time each frame it renders holds, and the output tells
// which frame is being heard (what it holds between rendering and the listener included). After a
// jump the time stands at the new time until its sound is heard; after a change of rate the old rate
// runs on until the sound at the new one is heard. Sound plays at speeds from 0.5 to 4 in either direction
// and keeps its pitch (a tempo filter changes its speed; backward, it is decoded in chunks before the
// playhead, each played reversed); slower or faster the picture plays alone, as it does when every frame
// plays. The pitch can be shifted without changing the speed. Enabled text tracks give the texts shown over
// the pictures. Everything here is called on the main thread, and the callbacks run there; only the sound
// rendering runs on the output's thread.
#include "platform/basekit/error.h"
#include "platform/mvkit/playback/audio_level_meter.h"
#include "platform/mvkit/playback/audio_mixer.h"
#include "platform/mvkit/playback/audio_output.h"
#include "platform/mvkit/playback/audio_tempo_filter.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/mvkit/playback/movie_clock.h"
#include "platform/mvkit/playback/playback_supply.h"
#include "platform/mvkit/playback/text_track_reader.h"
#include "platform/mvkit/playback/video_decode_worker.h"

#include <cmath>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class HXTimer;

struct MVPlayerTrack {
    uint32_t trackID = 0;
    std::shared_ptr<MVSampleSource> source;
    bool enabled = true;
    int16_t layer = 0;
    MVAudioMixSettings audio; // sound tracks
    // The track's closed captions are shown (a closed-caption track, or a video track that carries them):
    // drawn like the text of a text track.
    bool showsCaptions = false;
};

// What became of the pictures while the movie played forward: handed to the view (presented), found
// not decoded in time at a presentation pass (late), never shown because the clock had passed them
// (dropped), and shown on screen by a view (drawn).
struct MVFrameCounts {
    int64_t presented = 0;
    int64_t late = 0;
    int64_t dropped = 0;
    int64_t drawn = 0;
};

struct MVMoviePlayerOptions {
    MVAudioFormat audioFormat { 48000, 2 };
    // Makes the sound output for a format and render callback; unset: MVMakeAudioOutput on the main
    // run loop's clock.
    std::function<std::unique_ptr<MVAudioOutput>(MVAudioFormat, MVAudioOutput::RenderCallback)>
        makeAudioOutput;
    // How long presentation may wait for a picture that is not decoded yet while playing; when stopped
    // it waits up to a second so a new time shows its picture at once.
    double frameWait = 0.004;
    double tickInterval = 1.0 / 60.0;
    int decoderThreads = 0;
};

class MVMoviePlayer : public std::enable_shared_from_this<MVMoviePlayer> {
public:
    static std::shared_ptr<MVMoviePlayer> player(int32_t timeScale, MVMoviePlayerOptions options = {});
    ~MVMoviePlayer();
    MVMoviePlayer(const MVMoviePlayer&) = delete;
    MVMoviePlayer& operator=(const MVMoviePlayer&) = delete;

    // The tracks to play (again after every edit); the time is kept. Tracks whose data cannot be
    // decoded are left out and reported in `outError` (the others still play).
    bool setTracks(const std::vector<MVPlayerTrack>& tracks, int64_t duration, HXError* outError);

    MVMovieClock& clock() { return _clock; }
    const MVMovieClock& clock() const { return _clock; }

    // A movie still arriving: playing waits where its data ends (the clock held, onStall told) and
    // goes on once enough is there. Null: everything is there.
    void setSupply(std::shared_ptr<MVPlaybackSupply> supply);
    // A stream: its pictures and sound come from the feed, shown as the track `trackID`. Null: none.
    void setFeed(std::shared_ptr<MVPlaybackFeed> feed, uint32_t trackID, int16_t layer,
        const MVAudioMixSettings& sound);
    bool isStalled() const { return _stalled; }
    // Decodes the pictures for the present time again (data that was missing may have arrived).
    void reloadPictures();

    // Playback; these keep the sound and the timer in step with the clock.
    void setRate(double rate);
    double rate() const { return _clock.rate(); }
    void setCurrentTime(int64_t time);
    int64_t currentTime() const { return _clock.currentTime(); }
    void step(int frames);
    void stepByTime(int64_t delta);
    void gotoBeginning();
    void gotoEnd();
    void setPlaysAllFrames(bool flag);
    // Gets ready to play from `time` at `rate`: seeks, presents, and lets the decoders start on the
    // pictures that follow.
    void preroll(int64_t time, double rate);

    // Sound settings.
    void setMovieAudioSettings(const MVAudioMixSettings& settings);
    MVAudioMixSettings movieAudioSettings() const;
    void setTrackAudioSettings(uint32_t trackID, const MVAudioMixSettings& settings);
    // The settings a sound track plays with (neutral ones for a track that does not play).
    MVAudioMixSettings trackAudioSettings(uint32_t trackID) const;
    // A pitch shift in cents (−1200 … 1200); the speed stays.
    void setPitch(double cents);
    double pitch() const;
    bool hasSound() const { return !_sound.empty() || (_feed && _feed->hasSound()); }
    // Whether sound plays at `rate` (when the movie has sound and not every frame plays).
    static bool soundPlaysAtRate(double rate)
    {
        return std::abs(rate) >= kMinimumSoundRate && std::abs(rate) <= kMaximumSoundRate;
    }
    static constexpr double kMinimumSoundRate = 0.5;
    static constexpr double kMaximumSoundRate = 4.0;
    MVAudioFrequencyLevels audioLevels() { return _meter.levels(); }
    void setNumberOfBandLevels(int bands) { _meter.setNumberOfBandLevels(bands); }
    int numberOfAudioChannels() const { return _format.channelCount; }
    // The channels of the sound device the output plays through (0 without an output).
    int outputDeviceChannelCount() const { return _output ? _output->deviceChannelCount() : 0; }
    // The movie time, in seconds, of the sound being heard (while sound plays); after a jump whose sound
    // is not heard yet, the time jumped to.
    double audioClockTime() const;

    // The pictures presented, one per visual track, back to front (higher layers are further back).
    struct PresentedPicture {
        uint32_t trackID = 0;
        int16_t layer = 0;
        MVVideoDecodeWorker::Picture picture;
    };
    const std::vector<PresentedPicture>& presentedPictures() const { return _presented; }
    // The pictures at any time, decoded now on this thread (posters, thumbnails); back to front.
    std::vector<PresentedPicture> picturesAtTime(int64_t time);

    // The texts of the enabled text tracks, and the captions shown, at the clock's time, back to front
    // (empty ones included).
    struct PresentedText {
        uint32_t trackID = 0;
        int16_t layer = 0;
        std::string text;
    };
    const std::vector<PresentedText>& presentedTexts() const { return _presentedTexts; }

    // One presentation pass (the timer's work). While playing, the next pass comes when the picture
    // shown ends in the direction of play (at the latest after the tick interval), so that every
    // picture gets its turn.
    void tick();

    // Frame accounting, counted for the frontmost visual track.
    const MVFrameCounts& frameCounts() const { return _counts; }
    void resetFrameCounts() { _counts = {}; }
    // A view showed the frontmost track's picture with this frame serial on screen.
    void notePictureDrawn(uint64_t frameSerial);

    // Work done on a visual track's decode thread on each picture (see MVVideoDecodeWorker::setPreparer).
    void setPreparer(uint32_t trackID, std::shared_ptr<const MVVideoDecodeWorker::Preparer> preparer);

    std::function<void(double rate)> onRateChange;
    std::function<void()> onTimeJump;
    std::function<void()> onDidEnd;
    std::function<void()> onPictureChange;
    // Playing waits for data (true) or goes on (false).
    std::function<void(bool stalled)> onStall;

private:
    MVMoviePlayer(int32_t timeScale, MVMoviePlayerOptions options);
    void render(float* out, int frames);
    void updateSound();
    void updateTimer();
    void seekSound(int64_t time);
    void seekSoundLocked(double position, bool jump);
    void noteHeardSpanLocked(bool jump);
    double heardPosition() const;
    void configureSoundLocked();
    void mixAt(int64_t position, int count, bool reversed);
    void renderDirect(float* out, int frames);
    void renderFiltered(float* out, int frames);
    void present(bool waitLong);
    void countPresented(const MVVideoDecodeWorker::Picture& picture, bool found, int direction);
    void scheduleNextTick();
    int64_t stepFor(int64_t time, int direction);
    void checkSupply();
    void setStalled(bool stalled);

    struct Visual {
        uint32_t trackID;
        int16_t layer;
        std::shared_ptr<MVSampleSource> source;
        std::unique_ptr<MVVideoDecodeWorker> worker;
        std::unique_ptr<MVVideoTrackDecoder> stillDecoder; // for picturesAtTime
        std::unique_ptr<MVVideoTrackDecoder> stepDecoder; // frame times for stepping
    };
    struct Text {
        uint32_t trackID;
        int16_t layer;
        std::unique_ptr<MVTimedTextReader> reader;
    };
    struct Sound {
        uint32_t trackID;
        std::unique_ptr<MVAudioTrackDecoder> decoder;
        MVAudioMixSettings settings;
        std::vector<float> buffer;
    };

    MVMoviePlayerOptions _options;
    MVAudioFormat _format;
    MVMovieClock _clock;
    std::vector<Visual> _visuals;
    std::vector<PresentedPicture> _presented;
    std::vector<Text> _texts;
    std::vector<PresentedText> _presentedTexts;

    mutable std::mutex _soundMutex; // guards what render() reads
    std::vector<Sound> _sound;
    MVAudioMixer _mixer;
    double _soundPosition = 0; // movie time of the next frame to render, in frames from movie time 0
    double _soundRate = 1.0; // signed
    double _pitch = 0; // cents
    // At rate 1 without a pitch shift the mixed frames play as they are: mixed frames from
    // _mixedStart on, read ahead of _soundPosition.
    std::vector<float> _mixed;
    int64_t _mixedStart = 0;
    std::vector<float> _mix;
    // Otherwise they go through the tempo filter: _filterInput is the movie frame next fed (forward)
    // or the end of the next chunk fed (backward); _filtered holds what came out, not played yet.
    std::unique_ptr<MVAudioTempoFilter> _tempoFilter; // made on first use
    bool _filtering = false;
    bool _filterFailed = false;
    int64_t _filterInput = 0;
    std::vector<float> _filtered;
    MVAudioLevelMeter _meter;
    std::unique_ptr<MVAudioOutput> _output;
    bool _soundDriving = false;

    // What the output's frames hold: from output frame `frame` on, the movie's sound from `position`
    // (frames of the mix format from movie time 0) at `rate` (0: silence, standing). A jump's span
    // starts where the sound after the jump is rendered; the frames before it are still heard first.
    struct HeardSpan {
        int64_t frame;
        double position;
        double rate;
        bool jump;
    };
    int64_t _framesRendered = 0; // under _soundMutex
    mutable std::mutex _heardMutex; // guards _heard; held only for moments, the sound thread never waits long
    std::deque<HeardSpan> _heard;

    std::shared_ptr<MVPlaybackSupply> _supply;
    std::shared_ptr<MVPlaybackFeed> _feed; // read by render() under _soundMutex
    uint32_t _feedTrackID = 0;
    int16_t _feedLayer = 0;
    MVAudioMixSettings _feedSound;
    std::vector<float> _feedBuffer;
    bool _stalled = false;
    bool _soundHeld = false; // under _soundMutex: the output plays silence and stands still

    std::shared_ptr<HXTimer> _timer;
    MVFrameCounts _counts;
    // The last picture counted as presented (its interval), for finding those skipped after it; cleared
    // by every jump of the clock.
    std::optional<std::pair<int64_t, int64_t>> _lastCounted;
    uint64_t _lastDrawnSerial = 0;
    std::map<uint32_t, std::shared_ptr<const MVVideoDecodeWorker::Preparer>> _preparers; // kept across edits
};
