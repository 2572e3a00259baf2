#include "platform/mvkit/playback/movie_player.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/playback/closed_caption_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

double hostNow()
{
    return HXRunLoop::main().now();
}

bool isVisualMedia(uint32_t type)
{
    return type == MVFourCC("vide");
}

} // namespace

std::shared_ptr<MVMoviePlayer> MVMoviePlayer::player(int32_t timeScale, MVMoviePlayerOptions options)
{
    std::shared_ptr<MVMoviePlayer> player(new MVMoviePlayer(timeScale, std::move(options)));
    MVMoviePlayer* raw = player.get();
    // The output lives no longer than the player (the destructor closes it first), so the render
    // callback may hold the player by a plain pointer.
    auto renderRaw = [raw](float* out, int frames) { raw->render(out, frames); };
    if (player->_options.makeAudioOutput)
        player->_output = player->_options.makeAudioOutput(player->_format, renderRaw);
    else
        player->_output = MVMakeAudioOutput(player->_format, renderRaw, hostNow);
    if (player->_output)
        player->_format = player->_output->format();
    player->_clock.onRateChange = [raw](double rate) {
        raw->updateSound();
        raw->updateTimer();
        if (raw->onRateChange)
            raw->onRateChange(rate);
    };
    player->_clock.onTimeJump = [raw] {
        raw->_lastCounted.reset();
        raw->seekSound(raw->_clock.currentTime());
        if (raw->onTimeJump)
            raw->onTimeJump();
    };
    player->_clock.onDidEnd = [raw] {
        if (raw->onDidEnd)
            raw->onDidEnd();
    };
    player->_clock.setFrameStepper(
        [raw](int64_t time, int direction) { return raw->stepFor(time, direction); });
    return player;
}

MVMoviePlayer::MVMoviePlayer(int32_t timeScale, MVMoviePlayerOptions options)
    : _options(std::move(options))
    , _format(_options.audioFormat)
    , _clock(timeScale, hostNow)
    , _mixer(_options.audioFormat)
    , _meter(_options.audioFormat)
{
}

MVMoviePlayer::~MVMoviePlayer()
{
    if (_timer)
        _timer->invalidate();
    // The output first: its thread must stop calling render() before the decoders go.
    _output.reset();
}

bool MVMoviePlayer::setTracks(const std::vector<MVPlayerTrack>& tracks, int64_t duration, HXError* outError)
{
    bool ok = true;
    std::vector<Visual> visuals;
    std::vector<Sound> sounds;
    std::vector<Text> texts;
    for (const auto& track : tracks) {
        if (!track.enabled || !track.source)
            continue;
        HXError error;
        uint32_t type = track.source->mediaType();
        if (isVisualMedia(type)) {
            auto decoder
                = MVVideoTrackDecoder::decoderWithSource(track.source, &error, _options.decoderThreads);
            if (!decoder) {
                ok = false;
                if (outError)
                    *outError = error;
                continue;
            }
            Visual v { track.trackID, track.layer, track.source,
                std::make_unique<MVVideoDecodeWorker>(std::move(decoder)), nullptr, nullptr };
            if (auto it = _preparers.find(track.trackID); it != _preparers.end())
                v.worker->setPreparer(it->second);
            visuals.push_back(std::move(v));
        } else if (type == MVFourCC("soun")) {
            auto decoder = MVAudioTrackDecoder::decoderWithSource(track.source, _format, &error);
            if (!decoder) {
                ok = false;
                if (outError)
                    *outError = error;
                continue;
            }
            sounds.push_back({ track.trackID, std::move(decoder), track.audio, {} });
        } else if (MVTextTrackReader::isTextMedia(type)) {
            texts.push_back(
                { track.trackID, track.layer, std::make_unique<MVTextTrackReader>(track.source) });
        }
        if (track.showsCaptions) {
            if (auto captions = MVClosedCaptionReader::readerWithSource(track.source))
                texts.push_back({ track.trackID, track.layer, std::move(captions) });
        }
    }
    // Back to front: the highest layer number first.
    std::stable_sort(
        visuals.begin(), visuals.end(), [](const Visual& a, const Visual& b) { return a.layer > b.layer; });
    std::stable_sort(
        texts.begin(), texts.end(), [](const Text& a, const Text& b) { return a.layer > b.layer; });
    _visuals = std::move(visuals);
    _presented.clear();
    _texts = std::move(texts);
    _presentedTexts.clear();
    {
        std::lock_guard lock(_soundMutex);
        _sound = std::move(sounds);
        std::vector<uint32_t> ids;
        for (const auto& s : _sound)
            ids.push_back(s.trackID);
        _mixer.retainTracks(ids);
    }
    _clock.setDuration(_feed ? _feed->playableDuration() : duration);
    seekSound(_clock.currentTime());
    updateSound();
    present(true);
    return ok;
}

// ---- Movies still arriving

void MVMoviePlayer::setSupply(std::shared_ptr<MVPlaybackSupply> supply)
{
    _supply = std::move(supply);
    if (!_supply)
        setStalled(false);
    checkSupply();
}

void MVMoviePlayer::setFeed(
    std::shared_ptr<MVPlaybackFeed> feed, uint32_t trackID, int16_t layer, const MVAudioMixSettings& sound)
{
    if (feed)
        feed->setSoundFormat(_format);
    {
        std::lock_guard lock(_soundMutex);
        _feed = feed;
        _feedTrackID = trackID;
        _feedLayer = layer;
        _feedSound = sound;
        std::vector<uint32_t> ids;
        for (const auto& s : _sound)
            ids.push_back(s.trackID);
        if (_feed && _feed->hasSound())
            ids.push_back(trackID);
        _mixer.retainTracks(ids);
    }
    if (_feed)
        _clock.setDuration(_feed->playableDuration());
    setSupply(feed);
    updateSound();
    present(true);
}

// Playing forward waits where the data ends, unless nothing more will come; it goes on when the
// supply has the time it asks for ahead of the playhead (or everything up to the end).
void MVMoviePlayer::checkSupply()
{
    if (!_supply)
        return;
    if (_feed)
        _clock.setDuration(_feed->playableDuration());
    if (!(_clock.rate() > 0)) {
        setStalled(false);
        return;
    }
    const int64_t scale = _clock.timeScale();
    const int64_t now = int64_t(std::floor(_clock.presentTime()));
    const int64_t end = _clock.rangeEnd();
    const int64_t until = _supply->availableUntil(now);
    if (_supply->isFinished()) {
        setStalled(false);
        return;
    }
    if (!_stalled) {
        if (until < end && now + scale / 20 >= until) {
            _supply->want(now);
            setStalled(true);
        }
        return;
    }
    if (const int64_t resume = _supply->resumeTime(now); resume > now) {
        // What the playhead waited for is gone: play on from what is there.
        _clock.setCurrentTime(resume);
        checkSupply();
        return;
    }
    const int64_t ahead = int64_t(_supply->resumeAhead() * double(scale));
    if (until >= std::min(end, now + ahead))
        setStalled(false);
}

void MVMoviePlayer::setStalled(bool stalled)
{
    if (stalled == _stalled)
        return;
    _stalled = stalled;
    _clock.setHeld(stalled);
    {
        std::lock_guard lock(_soundMutex);
        _soundHeld = stalled;
    }
    if (!stalled) {
        // What was decoded while the data was missing is redone from here.
        seekSound(_clock.currentTime());
        reloadPictures();
    }
    if (_supply)
        _supply->stalled(stalled);
    if (onStall)
        onStall(stalled);
}

void MVMoviePlayer::reloadPictures()
{
    const int direction = _clock.rate() > 0 ? 1 : _clock.rate() < 0 ? -1 : 0;
    for (auto& v : _visuals)
        v.worker->seek(_clock.currentTime(), direction);
    present(direction == 0);
}

// ---- Sound

void MVMoviePlayer::render(float* out, int frames)
{
    std::lock_guard lock(_soundMutex);
    noteHeardSpanLocked(false);
    _framesRendered += frames;
    if (_soundHeld) {
        // Waiting for data: silence, and the sound stays where it is.
        std::fill(out, out + size_t(frames) * size_t(_format.channelCount), 0.0f);
        _meter.push(out, frames);
        return;
    }
    if (_filtering)
        renderFiltered(out, frames);
    else
        renderDirect(out, frames);
    _soundPosition += double(frames) * _soundRate;
    _meter.push(out, frames);
}

void MVMoviePlayer::noteHeardSpanLocked(bool jump)
{
    const double rate = _soundHeld ? 0.0 : _soundRate;
    std::lock_guard lock(_heardMutex);
    // A span no frame was rendered in is replaced by the one that follows it; a jump in it still stands.
    while (!_heard.empty() && _heard.back().frame >= _framesRendered) {
        jump = jump || _heard.back().jump;
        _heard.pop_back();
    }
    if (!jump && !_heard.empty()) {
        const HeardSpan& last = _heard.back();
        const double reached = last.position + double(_framesRendered - last.frame) * last.rate;
        if (last.rate == rate && std::abs(reached - _soundPosition) < 1e-6)
            return; // the sound goes on as it was
    }
    _heard.push_back({ _framesRendered, _soundPosition, rate, jump });
    // What was heard seconds ago is of no more use.
    const int64_t past = _framesRendered - 4 * int64_t(_format.sampleRate);
    while (_heard.size() > 1 && _heard[1].frame <= past)
        _heard.pop_front();
}

double MVMoviePlayer::heardPosition() const
{
    const double played = _output ? _output->playedTime() * _format.sampleRate : 0.0;
    std::lock_guard lock(_heardMutex);
    if (_heard.empty())
        return 0;
    // A jump not heard yet: the time stands at its target until its sound comes.
    for (auto it = _heard.rbegin(); it != _heard.rend(); ++it)
        if (it->jump) {
            if (double(it->frame) > played)
                return it->position;
            break;
        }
    auto after = std::upper_bound(_heard.begin(), _heard.end(), played,
        [](double frame, const HeardSpan& span) { return frame < double(span.frame); });
    if (after == _heard.begin())
        return _heard.front().position;
    const HeardSpan& span = *std::prev(after);
    return span.position + (played - double(span.frame)) * span.rate;
}

void MVMoviePlayer::mixAt(int64_t position, int count, bool reversed)
{
    const size_t channels = size_t(_format.channelCount);
    const size_t samples = size_t(count) * channels;
    // Nothing plays before the movie's start.
    const int64_t silent = std::clamp<int64_t>(-position, 0, count);
    std::vector<MVAudioMixer::Input> inputs;
    inputs.reserve(_sound.size());
    for (auto& s : _sound) {
        s.buffer.assign(samples, 0.0f);
        // Damaged sound reads as silence; the picture goes on.
        if (silent < count)
            s.decoder->read(
                position + silent, int(count - silent), s.buffer.data() + size_t(silent) * channels, nullptr);
        if (reversed)
            for (size_t a = 0, b = size_t(count) - 1; a < b; ++a, --b)
                std::swap_ranges(s.buffer.begin() + ptrdiff_t(a * channels),
                    s.buffer.begin() + ptrdiff_t((a + 1) * channels),
                    s.buffer.begin() + ptrdiff_t(b * channels));
        inputs.push_back({ s.trackID, s.buffer.data(), s.settings });
    }
    if (_feed && _feed->hasSound()) {
        _feedBuffer.assign(samples, 0.0f);
        if (silent < count)
            _feed->readSound(
                position + silent, int(count - silent), _feedBuffer.data() + size_t(silent) * channels);
        if (reversed)
            for (size_t a = 0, b = size_t(count) - 1; a < b; ++a, --b)
                std::swap_ranges(_feedBuffer.begin() + ptrdiff_t(a * channels),
                    _feedBuffer.begin() + ptrdiff_t((a + 1) * channels),
                    _feedBuffer.begin() + ptrdiff_t(b * channels));
        inputs.push_back({ _feedTrackID, _feedBuffer.data(), _feedSound });
    }
    _mix.resize(samples);
    _mixer.mix(inputs, count, _mix.data());
}

void MVMoviePlayer::renderDirect(float* out, int frames)
{
    // At rate 1 from a whole frame every output frame is a mixed frame as it is.
    const size_t channels = size_t(_format.channelCount);
    if (_mixed.empty())
        _mixedStart = int64_t(std::floor(_soundPosition));
    const int64_t mixedEnd = _mixedStart + int64_t(_mixed.size() / channels);
    const int64_t first = int64_t(std::floor(_soundPosition));
    const int64_t needEnd = first + frames;
    if (needEnd > mixedEnd) {
        mixAt(mixedEnd, int(needEnd - mixedEnd), false);
        _mixed.insert(_mixed.end(), _mix.begin(), _mix.end());
    }
    std::memcpy(out, _mixed.data() + size_t(first - _mixedStart) * channels,
        size_t(frames) * channels * sizeof(float));
    const int64_t consumed = needEnd - _mixedStart;
    _mixed.erase(_mixed.begin(), _mixed.begin() + ptrdiff_t(size_t(consumed) * channels));
    _mixedStart += consumed;
}

void MVMoviePlayer::renderFiltered(float* out, int frames)
{
    const size_t channels = size_t(_format.channelCount);
    const size_t need = size_t(frames) * channels;
    const bool forward = _soundRate > 0;
    // Forward the filter takes small pieces; backward each piece is decoded on its own (a seek), so
    // the pieces are longer: an eighth of a second.
    const int chunk = forward ? 1024 : std::max(1024, _format.sampleRate / 8);
    // A filter that takes and never gives must not hold the sound thread.
    for (int rounds = 0; !_filterFailed && _filtered.size() < need && rounds < 256; ++rounds) {
        const int64_t start = forward ? _filterInput : _filterInput - chunk;
        mixAt(start, chunk, !forward);
        _filterInput = forward ? start + chunk : start;
        if (!_tempoFilter->push(_mix.data(), chunk)) {
            _filterFailed = true;
            break;
        }
        _tempoFilter->pull(_filtered);
    }
    const size_t have = std::min(need, _filtered.size());
    std::copy(_filtered.begin(), _filtered.begin() + ptrdiff_t(have), out);
    std::fill(out + have, out + need, 0.0f);
    _filtered.erase(_filtered.begin(), _filtered.begin() + ptrdiff_t(have));
}

void MVMoviePlayer::seekSound(int64_t time)
{
    std::lock_guard lock(_soundMutex);
    // Whole frames, so that sound at rate 1 plays its samples as they are.
    seekSoundLocked(double(std::llround(double(time) * _format.sampleRate / _clock.timeScale())), true);
}

void MVMoviePlayer::seekSoundLocked(double position, bool jump)
{
    _soundPosition = position;
    noteHeardSpanLocked(jump);
    _mixed.clear();
    _mixer.reset();
    _filterInput = int64_t(std::llround(position));
    _filtered.clear();
    if (_filtering && !_filterFailed)
        _tempoFilter->reset();
}

void MVMoviePlayer::configureSoundLocked()
{
    _filtering = !(_soundRate == 1.0 && _pitch == 0);
    _filterFailed = false;
    if (_filtering) {
        if (!_tempoFilter)
            _tempoFilter = std::make_unique<MVAudioTempoFilter>(_format);
        // Out of the filter's reach the sound is silent; the picture goes on.
        _filterFailed = !_tempoFilter->configure(std::abs(_soundRate), _pitch);
    }
    // Sound goes on from where it was rendered up to, whole frames at rate 1.
    seekSoundLocked(_filtering ? _soundPosition : std::round(_soundPosition), false);
}

void MVMoviePlayer::setPitch(double cents)
{
    if (!std::isfinite(cents))
        cents = 0;
    cents = std::clamp(cents, -1200.0, 1200.0);
    std::lock_guard lock(_soundMutex);
    if (cents == _pitch)
        return;
    _pitch = cents;
    configureSoundLocked();
}

double MVMoviePlayer::pitch() const
{
    std::lock_guard lock(_soundMutex);
    return _pitch;
}

void MVMoviePlayer::updateSound()
{
    const double rate = _clock.rate();
    const bool shouldPlay = _output && hasSound() && soundPlaysAtRate(rate) && !_clock.playsAllFrames();
    {
        std::lock_guard lock(_soundMutex);
        const double soundRate = shouldPlay ? rate : 1.0;
        if (soundRate != _soundRate) {
            _soundRate = soundRate;
            configureSoundLocked();
        }
    }
    if (shouldPlay == _soundDriving)
        return;
    if (shouldPlay) {
        seekSound(_clock.currentTime());
        _output->setRunning(true);
        _clock.setFollower([this] { return heardPosition() / _format.sampleRate * _clock.timeScale(); });
    } else {
        _clock.setFollower(nullptr);
        _output->setRunning(false);
        _meter.clear();
    }
    _soundDriving = shouldPlay;
}

double MVMoviePlayer::audioClockTime() const
{
    if (!_output)
        return 0;
    return std::max(0.0, heardPosition()) / _format.sampleRate;
}

void MVMoviePlayer::setMovieAudioSettings(const MVAudioMixSettings& settings)
{
    std::lock_guard lock(_soundMutex);
    _mixer.setMovieSettings(settings);
}

MVAudioMixSettings MVMoviePlayer::movieAudioSettings() const
{
    std::lock_guard lock(_soundMutex);
    return _mixer.movieSettings();
}

void MVMoviePlayer::setTrackAudioSettings(uint32_t trackID, const MVAudioMixSettings& settings)
{
    std::lock_guard lock(_soundMutex);
    for (auto& s : _sound)
        if (s.trackID == trackID)
            s.settings = settings;
    if (_feed && _feedTrackID == trackID)
        _feedSound = settings;
}

MVAudioMixSettings MVMoviePlayer::trackAudioSettings(uint32_t trackID) const
{
    std::lock_guard lock(_soundMutex);
    for (const auto& s : _sound)
        if (s.trackID == trackID)
            return s.settings;
    if (_feed && _feedTrackID == trackID)
        return _feedSound;
    return {};
}

// ---- Clock

void MVMoviePlayer::setRate(double rate)
{
    _clock.setRate(rate);
    checkSupply();
    present(false);
}

void MVMoviePlayer::setCurrentTime(int64_t time)
{
    if (_feed)
        time = _feed->seek(time);
    else if (_supply)
        _supply->want(time);
    _clock.setCurrentTime(time);
    present(!_clock.isPlaying());
}

void MVMoviePlayer::step(int frames)
{
    _clock.step(frames, std::max<int64_t>(1, _clock.timeScale() / 30));
    present(true);
}

void MVMoviePlayer::stepByTime(int64_t delta)
{
    _clock.stepByTime(delta);
    present(true);
}

void MVMoviePlayer::gotoBeginning()
{
    _clock.gotoBeginning();
    present(!_clock.isPlaying());
}

void MVMoviePlayer::gotoEnd()
{
    _clock.gotoEnd();
    present(!_clock.isPlaying());
}

void MVMoviePlayer::setPlaysAllFrames(bool flag)
{
    _clock.setPlaysAllFrames(flag);
    updateSound();
}

void MVMoviePlayer::preroll(int64_t time, double rate)
{
    setCurrentTime(time);
    const int direction = rate > 0 ? 1 : rate < 0 ? -1 : 0;
    for (auto& v : _visuals)
        v.worker->seek(_clock.currentTime(), direction);
}

int64_t MVMoviePlayer::stepFor(int64_t time, int direction)
{
    // Frame times come from the frontmost visual track.
    if (_visuals.empty())
        return direction > 0
            ? std::min(_clock.duration(), time + std::max<int64_t>(1, _clock.timeScale() / 30))
            : std::max<int64_t>(0, time - std::max<int64_t>(1, _clock.timeScale() / 30));
    Visual& v = _visuals.back();
    if (!v.stepDecoder)
        v.stepDecoder = MVVideoTrackDecoder::decoderWithSource(v.source, nullptr, 1);
    if (!v.stepDecoder)
        return time;
    if (direction > 0)
        return std::min(_clock.duration(), v.stepDecoder->nextChangeAfter(time));
    // At the very end the last picture is showing: the step goes to the one before it.
    int64_t start = v.stepDecoder->pictureStart(std::min(time, std::max<int64_t>(0, _clock.duration() - 1)));
    if (start <= 0)
        return 0;
    return v.stepDecoder->pictureStart(start - 1);
}

void MVMoviePlayer::updateTimer()
{
    if (_clock.isPlaying() && !_timer) {
        std::weak_ptr<MVMoviePlayer> weak = weak_from_this();
        _timer = HXTimer::scheduledTimer(_options.tickInterval, true,
            [weak](HXTimer&) {
                if (auto p = weak.lock())
                    p->tick();
            },
            { HXRunLoopCommonModes });
    } else if (!_clock.isPlaying() && _timer) {
        _timer->invalidate();
        _timer.reset();
    }
}

// ---- Pictures

void MVMoviePlayer::tick()
{
    if (_output)
        _output->pump();
    checkSupply();
    _clock.update();
    present(false);
    scheduleNextTick();
}

void MVMoviePlayer::scheduleNextTick()
{
    if (!_timer || _presented.empty() || !_clock.isPlaying())
        return;
    const auto& picture = _presented.back().picture;
    if (picture.end <= picture.start || picture.end == INT64_MAX)
        return;
    // Just after the picture shown now ends (backward: before it starts): the next one is then due.
    const double rate = _clock.rate();
    const double now = _clock.presentTime();
    const double left = rate > 0 ? double(picture.end) - now : now - double(picture.start);
    const double seconds = left / (std::abs(rate) * _clock.timeScale());
    const double delay = std::clamp(seconds + 0.0005, 0.001, _options.tickInterval);
    _timer->setFireDate(hostNow() + delay);
}

void MVMoviePlayer::setPreparer(
    uint32_t trackID, std::shared_ptr<const MVVideoDecodeWorker::Preparer> preparer)
{
    if (preparer)
        _preparers[trackID] = preparer;
    else
        _preparers.erase(trackID);
    for (auto& v : _visuals)
        if (v.trackID == trackID)
            v.worker->setPreparer(preparer);
}

void MVMoviePlayer::notePictureDrawn(uint64_t frameSerial)
{
    if (frameSerial == 0 || frameSerial == _lastDrawnSerial)
        return;
    _lastDrawnSerial = frameSerial;
    ++_counts.drawn;
}

void MVMoviePlayer::countPresented(const MVVideoDecodeWorker::Picture& picture, bool found, int direction)
{
    if (direction <= 0 || !_clock.isPlaying())
        return;
    if (!found) {
        ++_counts.late;
        return;
    }
    if (!picture.frame)
        return;
    if (_lastCounted && _lastCounted->first == picture.start)
        return;
    ++_counts.presented;
    if (_lastCounted && picture.start > _lastCounted->second) {
        // Pictures lay between the last one shown and this one: as many as pictures of the last one's
        // length fit in the gap.
        const int64_t length = std::max<int64_t>(1, _lastCounted->second - _lastCounted->first);
        _counts.dropped += std::max<int64_t>(1, (picture.start - _lastCounted->second + length / 2) / length);
    }
    _lastCounted = std::make_pair(picture.start, picture.end);
}

void MVMoviePlayer::present(bool waitLong)
{
    const int64_t time = std::min(_clock.currentTime(), std::max<int64_t>(0, _clock.duration() - 1));
    const int direction = _clock.rate() > 0 ? 1 : _clock.rate() < 0 ? -1 : 0;
    const double wait = waitLong || direction == 0 ? 1.0 : _options.frameWait;
    bool changed = false;
    std::vector<PresentedPicture> presented;
    for (size_t i = 0; i < _visuals.size(); ++i) {
        Visual& v = _visuals[i];
        const bool late = direction > 0 && !waitLong && _clock.isPlaying();
        auto picture = v.worker->pictureAt(time, 0, late);
        if (!picture) {
            v.worker->seek(time, direction);
            picture = v.worker->pictureAt(time, wait, late);
        }
        PresentedPicture p { v.trackID, v.layer, {} };
        if (picture)
            p.picture = *picture;
        else if (i < _presented.size())
            p.picture = _presented[i].picture; // late: keep showing the last one
        if (i + 1 == _visuals.size() && !waitLong)
            countPresented(p.picture, picture.has_value(), direction);
        if (i >= _presented.size() || p.picture.frame != _presented[i].picture.frame)
            changed = true;
        presented.push_back(std::move(p));
    }
    if (_feed && _feed->hasPictures()) {
        const size_t i = presented.size();
        PresentedPicture p { _feedTrackID, _feedLayer, {} };
        if (auto picture = _feed->pictureAt(time))
            p.picture = *picture;
        else if (i < _presented.size())
            p.picture = _presented[i].picture; // late: keep showing the last one
        if (i >= _presented.size() || p.picture.frame != _presented[i].picture.frame)
            changed = true;
        presented.push_back(std::move(p));
    }
    changed = changed || presented.size() != _presented.size();
    _presented = std::move(presented);
    if (_presentedTexts.size() != _texts.size()) {
        _presentedTexts.assign(_texts.size(), {});
        changed = true;
    }
    for (size_t i = 0; i < _texts.size(); ++i) {
        std::string text = _texts[i].reader->textAtTime(std::min(_clock.currentTime(), _clock.duration()));
        if (text != _presentedTexts[i].text || _presentedTexts[i].trackID != _texts[i].trackID) {
            _presentedTexts[i] = { _texts[i].trackID, _texts[i].layer, std::move(text) };
            changed = true;
        }
    }
    if (changed && onPictureChange)
        onPictureChange();
}

std::vector<MVMoviePlayer::PresentedPicture> MVMoviePlayer::picturesAtTime(int64_t time)
{
    std::vector<PresentedPicture> result;
    for (auto& v : _visuals) {
        if (!v.stillDecoder)
            v.stillDecoder
                = MVVideoTrackDecoder::decoderWithSource(v.source, nullptr, _options.decoderThreads);
        PresentedPicture p { v.trackID, v.layer, {} };
        if (v.stillDecoder) {
            p.picture.frame = v.stillDecoder->frameAtTime(time, nullptr);
            p.picture.start = v.stillDecoder->pictureStart(time);
            p.picture.end = v.stillDecoder->nextChangeAfter(time);
        }
        result.push_back(std::move(p));
    }
    if (_feed && _feed->hasPictures()) {
        // A stream has only the pictures it holds now.
        PresentedPicture p { _feedTrackID, _feedLayer, {} };
        if (auto picture = _feed->pictureAt(time))
            p.picture = *picture;
        result.push_back(std::move(p));
    }
    return result;
}
