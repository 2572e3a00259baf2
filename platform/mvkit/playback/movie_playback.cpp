#include "platform/mvkit/playback/movie_playback.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/playback/media_sample_source.h"

#include <algorithm>
#include <cmath>

namespace {

MVAudioMixSettings soundSettingsOf(const MVTrack& track);

std::map<const MVMovie*, std::weak_ptr<MVMoviePlayback>>& registry()
{
    // Never destroyed: views that outlive static destruction (windows still open at exit) end their
    // playbacks after it.
    static auto* playbacks = new std::map<const MVMovie*, std::weak_ptr<MVMoviePlayback>>;
    return *playbacks;
}

} // namespace

std::shared_ptr<MVMoviePlayback> MVMoviePlayback::existingPlaybackForMovie(const MVMovie* movie)
{
    auto it = registry().find(movie);
    return it == registry().end() ? nullptr : it->second.lock();
}

std::shared_ptr<MVMoviePlayback> MVMoviePlayback::playbackForMovie(
    const std::shared_ptr<MVMovie>& movie, MVMoviePlayerOptions options)
{
    if (!movie)
        return nullptr;
    // A playback outliving its movie may sit under the address of a new movie: it is not this one's.
    if (auto existing = existingPlaybackForMovie(movie.get()); existing && existing->movie() == movie)
        return existing;
    std::shared_ptr<MVMoviePlayback> playback(new MVMoviePlayback(movie, std::move(options)));
    registry()[movie.get()] = playback;
    playback->observe(movie);
    return playback;
}

MVMoviePlayback::MVMoviePlayback(const std::shared_ptr<MVMovie>& movie, MVMoviePlayerOptions options)
    : _movie(movie)
    , _identity(movie.get())
    , _player(MVMoviePlayer::player(movie->timeScale(), std::move(options)))
{
    _player->clock().setCurrentTime(movieUnits(movie->storedCurrentTime()));
    auto selection = movie->selection();
    _player->clock().setSelection(movieUnits(selection.time), movieUnits(selection.duration));
    applyMovieSettings();
    reloadTracks();
}

MVMoviePlayback::~MVMoviePlayback()
{
    for (auto token : _observers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    auto it = registry().find(_identity);
    if (it != registry().end() && it->second.expired())
        registry().erase(it);
}

void MVMoviePlayback::observe(const std::shared_ptr<MVMovie>& movie)
{
    auto& center = HXNotificationCenter::defaultCenter();
    std::weak_ptr<MVMoviePlayback> weak = weak_from_this();
    auto on = [&](const char* name, std::function<void(MVMoviePlayback&)> action) {
        _observers.push_back(center.addObserver(name, movie.get(), [weak, action](const HXNotification&) {
            if (auto self = weak.lock(); self && !self->_writingBack)
                action(*self);
        }));
    };
    on(MVMovieRateDidChangeNotification, [](MVMoviePlayback& p) {
        if (auto m = p.movie())
            p._player->setRate(m->rate());
    });
    // A new time of the movie: the movie calls followMovieTime() itself, before its observers hear of it.
    on(MVMovieVolumeDidChangeNotification, [](MVMoviePlayback& p) { p.applyMovieSound(); });
    on(MVMovieMutedDidChangeNotification, [](MVMoviePlayback& p) { p.applyMovieSound(); });
    on(MVMovieSelectionDidChangeNotification, [](MVMoviePlayback& p) {
        if (auto m = p.movie()) {
            auto s = m->selection();
            p._player->clock().setSelection(p.movieUnits(s.time), p.movieUnits(s.duration));
        }
    });
    on(MVMovieEditedNotification, [](MVMoviePlayback& p) { p.reloadTracks(); });
    on(MVMovieClosedCaptionsDidChangeNotification, [](MVMoviePlayback& p) { p.reloadTracks(); });
    on(MVMovieLoadStateDidChangeNotification, [](MVMoviePlayback& p) { p.movieLoadStateChanged(); });
    // A stream holds its first pictures now: show the one for the present time.
    on(MVMoviePrerollCompleteNotification, [](MVMoviePlayback& p) { p._player->reloadPictures(); });
    // A track's sound is heard changed at once; tracks post from themselves, so listen to all and pick ours.
    _observers.push_back(center.addObserver(
        MVTrackAudioPropertyDidChangeNotification, nullptr, [weak](const HXNotification& notification) {
            auto self = weak.lock();
            auto track = notification.objectAs<MVTrack>();
            auto m = self ? self->movie() : nullptr;
            if (!m || !track || track->movie() != m || !track->isEnabled())
                return;
            // A new speaker assignment needs decoders that read it.
            auto code = notification.userInfo().find(MVTrackAudioPropertyParameter);
            if (code != notification.userInfo().end() && code->second.stringValue() == "tlay")
                self->reloadTracks();
            else
                self->_player->setTrackAudioSettings(track->trackID(), soundSettingsOf(*track));
        }));

    // Which tracks play and how pictures are drawn: a new layer or enabled state needs the tracks again,
    // the rest only the pictures drawn again.
    _observers.push_back(center.addObserver(
        MVTrackPropertyDidChangeNotification, nullptr, [weak](const HXNotification& notification) {
            auto self = weak.lock();
            auto track = notification.objectAs<MVTrack>();
            auto m = self ? self->movie() : nullptr;
            if (!m || !track || track->movie() != m)
                return;
            auto code = notification.userInfo().find(MVTrackPropertyParameter);
            const std::string what = code != notification.userInfo().end() ? code->second.stringValue() : "";
            if (what == "enab" || what == "layr")
                self->reloadTracks();
            else if (self->_player->onPictureChange)
                self->_player->onPictureChange();
        }));

    _player->onRateChange = [weak](double rate) {
        if (auto self = weak.lock())
            self->writeRate(rate);
    };
    _player->onTimeJump = [weak] {
        if (auto self = weak.lock())
            self->writeTime();
    };
    _player->onDidEnd = [weak] {
        auto self = weak.lock();
        auto m = self ? self->movie() : nullptr;
        if (m)
            HXNotificationCenter::defaultCenter().postNotification(
                HXNotification(MVMovieDidEndNotification, m));
    };
}

int64_t MVMoviePlayback::movieUnits(MVTime time) const
{
    if (!MVTimeIsNumeric(time))
        return 0;
    return MVTimeInScaleFloor(time, _player->clock().timeScale()).timeValue;
}

void MVMoviePlayback::writeRate(double rate)
{
    auto m = movie();
    if (!m)
        return;
    _writingBack = true;
    if (rate == 0)
        m->setCurrentTime(currentTime()); // the stored time catches up when play stops
    m->setRate(float(rate));
    _writingBack = false;
}

void MVMoviePlayback::followMovieTime()
{
    if (auto m = movie()) {
        // The movie has the time already: no need to write it back (and post again).
        _applyingTime = true;
        _player->setCurrentTime(movieUnits(m->storedCurrentTime()));
        _applyingTime = false;
    }
}

void MVMoviePlayback::writeTime()
{
    auto m = movie();
    if (!m || _applyingTime)
        return;
    _writingBack = true;
    m->setCurrentTime(currentTime());
    _writingBack = false;
}

int MVMoviePlayback::outputDeviceChannelCount(const MVMovie& movie)
{
    if (auto playback = existingPlaybackForMovie(&movie))
        return playback->player().outputDeviceChannelCount();
    return MVDefaultAudioDeviceChannelCount();
}

void MVMoviePlayback::reloadTracks()
{
    auto m = movie();
    if (!m)
        return;
    if (m->timeScale() != _player->clock().timeScale())
        _player->clock().setTimeScale(m->timeScale());
    std::vector<MVPlayerTrack> tracks;
    auto captions = m->closedCaptionsVisible() ? m->closedCaptionTrack() : nullptr;
    for (const auto& track : m->tracks()) {
        MVPlayerTrack t;
        t.trackID = track->trackID();
        t.enabled = track->isEnabled();
        t.layer = track->layer();
        t.source = std::make_shared<MVMediaSampleSource>(*track);
        t.audio = soundSettingsOf(*track);
        t.showsCaptions = track == captions;
        tracks.push_back(std::move(t));
    }
    HXError error;
    // A track no decoder here can read plays as nothing: the movie's status tells of it.
    m->setPlaybackStatus(_player->setTracks(tracks, m->durationValue(), &error) ? HXError() : error);
    attachArrival(*m);
}

void MVMoviePlayback::attachArrival(const MVMovie& m)
{
    // A movie still arriving, or a stream that brings its own pictures and sound.
    auto feed = m.playbackFeed();
    if (feed != _feed) {
        _feed = feed;
        auto track = feed && !m.tracks().empty() ? m.tracks().front() : nullptr;
        _player->setFeed(feed, track ? track->trackID() : 0, track ? track->layer() : 0,
            track ? soundSettingsOf(*track) : MVAudioMixSettings {});
    }
    auto supply = feed ? nullptr : m.playbackSupply();
    if (!feed && supply != _supply)
        _player->setSupply(supply);
    _supply = supply;
}

void MVMoviePlayback::movieLoadStateChanged()
{
    // A download that completed needs no more waiting; a stream became ready to be fed.
    if (auto m = movie())
        attachArrival(*m);
}

void MVMoviePlayback::applyMovieSound()
{
    applyMovieSettings();
}

MVTime MVMoviePlayback::currentTime() const
{
    return MVMakeTime(_player->currentTime(), _player->clock().timeScale());
}

void MVMoviePlayback::setCurrentTime(MVTime time)
{
    _player->setCurrentTime(movieUnits(time));
}

void MVMoviePlayback::setRate(float rate)
{
    _player->setRate(rate);
}

void MVMoviePlayback::play()
{
    auto m = movie();
    float preferred = m ? m->preferredRate() : 1.0f;
    const float rate = preferred != 0 ? preferred : 1.0f;
    // Stopped at the end it plays towards (the last picture showing), the movie starts again from the
    // other end rather than ending at once.
    const auto& clock = _player->clock();
    if (!clock.isPlaying()) {
        if (rate > 0 && clock.currentTime() >= clock.rangeEnd())
            _player->setCurrentTime(clock.rangeStart());
        else if (rate < 0 && clock.currentTime() <= clock.rangeStart())
            _player->setCurrentTime(clock.rangeEnd());
    }
    setRate(rate);
}

void MVMoviePlayback::step(int frames)
{
    _player->step(frames);
}

void MVMoviePlayback::stepByTime(MVTime delta)
{
    if (MVTimeIsNumeric(delta))
        _player->stepByTime(MVTimeInScale(delta, _player->clock().timeScale()).timeValue);
}

void MVMoviePlayback::gotoBeginning()
{
    _player->gotoBeginning();
}
void MVMoviePlayback::gotoEnd()
{
    _player->gotoEnd();
}

void MVMoviePlayback::gotoPosterTime()
{
    if (auto m = movie())
        _player->setCurrentTime(movieUnits(m->posterTime()));
}

namespace {

float finiteOr(float value, float otherwise)
{
    return std::isfinite(value) ? value : otherwise;
}

} // namespace

void MVMoviePlayback::applyMovieSettings()
{
    auto m = movie();
    if (!m)
        return;
    auto& clock = _player->clock();
    switch (m->loopingMode()) {
    case MVMovieLoopingMode::None:
        clock.setLoopMode(MVLoopMode::None);
        break;
    case MVMovieLoopingMode::Loop:
        clock.setLoopMode(MVLoopMode::Loop);
        break;
    case MVMovieLoopingMode::BackAndForth:
        clock.setLoopMode(MVLoopMode::BackAndForth);
        break;
    }
    clock.setPlaysSelectionOnly(m->playsSelectionOnly());
    if (m->playsAllFrames() != clock.playsAllFrames())
        _player->setPlaysAllFrames(m->playsAllFrames());

    MVAudioMixSettings sound = _movieSound;
    sound.volume = m->volume();
    sound.muted = m->isMuted();
    sound.balance = std::clamp(finiteOr(m->balance(), 0), -1.0f, 1.0f);
    sound.bass = finiteOr(m->bass(), 0);
    sound.treble = finiteOr(m->treble(), 0);
    sound.gain = std::max(0.0f, finiteOr(m->gain(), 1));
    if (!(sound == _movieSound)) {
        _movieSound = sound;
        _player->setMovieAudioSettings(_movieSound);
    }
    _player->setPitch(finiteOr(m->pitch(), 0));
    applyTrackSettings();

    MVPictureAdjustments adjustments;
    if (imageFiltersAvailable()) {
        adjustments.brightness = std::clamp(finiteOr(m->visualBrightness(), 0), -1.0f, 1.0f);
        adjustments.saturation = std::max(0.0f, finiteOr(m->visualSaturation(), 1));
        adjustments.hue = finiteOr(m->visualHue(), 0);
        adjustments.contrast = std::max(0.0f, finiteOr(m->visualContrast(), 1));
    }
    if (!(adjustments == _adjustments)) {
        _adjustments = adjustments;
        // The same pictures look different now.
        if (_player->onPictureChange)
            _player->onPictureChange();
    }
}

void MVMoviePlayback::setLoops(bool flag)
{
    if (auto m = movie())
        m->setLoops(flag);
}

void MVMoviePlayback::setLoopsBackAndForth(bool flag)
{
    if (auto m = movie())
        m->setLoopsBackAndForth(flag);
}

void MVMoviePlayback::setPlaysSelectionOnly(bool flag)
{
    if (auto m = movie())
        m->setPlaysSelectionOnly(flag);
}

void MVMoviePlayback::setPlaysAllFrames(bool flag)
{
    if (auto m = movie())
        m->setPlaysAllFrames(flag);
}

void MVMoviePlayback::setBalance(float balance)
{
    if (auto m = movie())
        m->setBalance(finiteOr(balance, 0));
}

void MVMoviePlayback::setBass(float decibels)
{
    if (auto m = movie())
        m->setBass(finiteOr(decibels, 0));
}

void MVMoviePlayback::setTreble(float decibels)
{
    if (auto m = movie())
        m->setTreble(finiteOr(decibels, 0));
}

void MVMoviePlayback::setGain(float gain)
{
    if (auto m = movie())
        m->setGain(std::isfinite(gain) && gain >= 0 ? gain : 1.0f);
}

void MVMoviePlayback::setPitch(float cents)
{
    if (auto m = movie())
        m->setPitch(cents);
}

bool MVMoviePlayback::imageFiltersAvailable()
{
    return MVMediaKeys::mediaKeys().boolForType("MVImageFiltersAvailable", true);
}

void MVMoviePlayback::setVisualAdjustments(const MVPictureAdjustments& adjustments)
{
    auto m = movie();
    if (!m)
        return;
    m->setVisualBrightness(adjustments.brightness);
    m->setVisualSaturation(adjustments.saturation);
    m->setVisualHue(adjustments.hue);
    m->setVisualContrast(adjustments.contrast);
}

namespace {

MVAudioMixSettings soundSettingsOf(const MVTrack& track)
{
    MVAudioMixSettings s;
    s.volume = std::max(0.0f, finiteOr(track.volume(), 1));
    s.gain = std::max(0.0f, finiteOr(track.gain(), 1));
    s.bass = finiteOr(track.bass(), 0);
    s.treble = finiteOr(track.treble(), 0);
    s.muted = track.isMuted();
    auto balance = track.attributeForKey(MVTrackBalanceAttribute);
    if (balance.isNumber())
        s.balance = std::clamp(finiteOr(float(balance.realValue()), 0), -1.0f, 1.0f);
    return s;
}

} // namespace

MVAudioMixSettings MVMoviePlayback::trackSoundSettings(uint32_t trackID) const
{
    auto m = movie();
    auto track = m ? m->trackByID(trackID) : nullptr;
    return track ? soundSettingsOf(*track) : MVAudioMixSettings {};
}

void MVMoviePlayback::setTrackSoundSettings(uint32_t trackID, const MVAudioMixSettings& settings)
{
    auto m = movie();
    auto track = m ? m->trackByID(trackID) : nullptr;
    if (!track)
        return;
    track->setGain(settings.gain);
    track->setBass(settings.bass);
    track->setTreble(settings.treble);
    track->setMuted(settings.muted);
    track->setAttributeForKey(double(settings.balance), MVTrackBalanceAttribute);
    applyTrackSettings();
}

void MVMoviePlayback::applyTrackSettings()
{
    if (auto m = movie())
        for (const auto& track : m->tracks())
            if (track->isEnabled())
                _player->setTrackAudioSettings(track->trackID(), soundSettingsOf(*track));
}

void MVMoviePlayback::setNumberOfEqualizerBandLevels(int bands)
{
    _bands = std::clamp(bands, 1, 32);
    _player->setNumberOfBandLevels(_bands);
}

MVAudioFrequencyLevels MVMoviePlayback::equalizerBandLevels()
{
    auto levels = _player->audioLevels();
    if (!isPlaying())
        std::fill(levels.levels.begin(), levels.levels.end(), 0.0f);
    return levels;
}

std::vector<MVMoviePlayer::PresentedPicture> MVMoviePlayback::picturesAtTime(MVTime time)
{
    return _player->picturesAtTime(movieUnits(time));
}
