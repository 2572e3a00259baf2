#include "platform/mvkit/track.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/track_matte.h"
#include "platform/mvkit/model_math.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/stream.h"

#include <algorithm>
#include <cmath>

using mvmodel::mulDivCeil;
using mvmodel::mulDivFloor;
using mvmodel::mulDivRound;

std::shared_ptr<MVTrack> MVTrack::trackWithMedia(std::shared_ptr<MVMedia> media, uint32_t trackID)
{
    auto t = std::shared_ptr<MVTrack>(new MVTrack());
    t->_media = std::move(media);
    t->_trackID = trackID;
    t->_header.trackID = trackID;
    if (t->hasAudio())
        t->_header.volume = 0x100;
    return t;
}

std::shared_ptr<MVTrack> MVTrack::trackWithDescription(
    const MVTrackDescription& d, int32_t movieTimeScale, const std::string& movieFilePath)
{
    auto t = std::shared_ptr<MVTrack>(new MVTrack());
    t->_stored = d;
    t->_stored.media = {};
    t->_stored.editList.reset();
    t->_header = d.header;
    t->_trackID = d.header.trackID;
    t->_detachedScale = movieTimeScale;
    t->_media = MVMedia::mediaWithDescription(d.media, movieFilePath);
    if (d.userData)
        t->_userData = *d.userData;
    if (d.metadata)
        t->_metadata = *d.metadata;
    if (d.editList) {
        // Damaged lists may claim absurd lengths; the total stays far from overflowing.
        constexpr uint64_t limit = uint64_t(1) << 60;
        uint64_t total = 0;
        for (auto& e : d.editList->entries) {
            if (e.segmentDuration > limit - total)
                break;
            total += e.segmentDuration;
            t->_edits.push_back(
                { int64_t(e.segmentDuration), e.mediaTime < -1 ? -1 : e.mediaTime, e.mediaRate });
        }
    } else if (t->_media->duration() > 0) {
        // No edit list: the whole media once, from its start, until its last sample has been shown (with
        // B-frames the last shown ends after the last decoded).
        int64_t end = t->_media->duration();
        const auto& samples = t->_media->samples();
        for (int64_t i = 0; i < int64_t(samples.size()); ++i) {
            const auto& s = samples[size_t(i)];
            if (s.compositionOffset > 0)
                end = std::max(end, t->_media->sampleTime(i) + s.compositionOffset + int64_t(s.duration));
        }
        t->_edits.push_back({ mulDivRound(end, movieTimeScale, t->_media->timeScale()), 0, 0x10000 });
    }
    return t;
}

bool MVTrack::isVisual() const
{
    uint32_t type = mediaType();
    if (type == MVMediaTypeStream)
        return width() > 0 && height() > 0; // a stream with pictures
    return type == MVFourCC("vide") || type == MVFourCC("text") || type == MVFourCC("sbtl")
        || type == MVFourCC("subt") || type == MVFourCC("clcp") || type == MVFourCC("tx3g");
}

bool MVTrack::hasAudio() const
{
    if (mediaType() == MVMediaTypeStream) {
        auto s = streams();
        return std::any_of(s.begin(), s.end(), [](const auto& stream) { return stream->isAudio(); });
    }
    return mediaType() == MVFourCC("soun") || mediaType() == MVFourCC("musi");
}

std::vector<std::shared_ptr<MVStream>> MVTrack::streams() const
{
    auto m = movie();
    return m ? m->streamsOfTrack(*this) : std::vector<std::shared_ptr<MVStream>> {};
}

std::shared_ptr<MVStream> MVTrack::streamAtIndex(int index) const
{
    auto s = streams();
    if (index < 1 || size_t(index) > s.size())
        return nullptr;
    return s[size_t(index) - 1];
}

int MVTrack::index() const
{
    auto m = movie();
    if (!m)
        return 0;
    const auto& list = m->tracks();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == this)
            return int(i + 1);
    return 0;
}

int32_t MVTrack::movieScale() const
{
    auto m = movie();
    return m ? m->timeScale() : _detachedScale;
}

int32_t MVTrack::timeScale() const
{
    return movieScale();
}

namespace {

// Watches the movie's box across a change of one track's place, size or enabled state.
class NaturalSizeWatch {
public:
    explicit NaturalSizeWatch(std::shared_ptr<MVMovie> movie)
        : _movie(std::move(movie))
    {
        if (_movie)
            _before = _movie->naturalSize();
    }
    ~NaturalSizeWatch()
    {
        if (_movie)
            _movie->noteNaturalSizeMayHaveChanged(_before);
    }
    NaturalSizeWatch(const NaturalSizeWatch&) = delete;
    NaturalSizeWatch& operator=(const NaturalSizeWatch&) = delete;

private:
    std::shared_ptr<MVMovie> _movie;
    std::pair<double, double> _before;
};

} // namespace

void MVTrack::changed()
{
    if (auto m = movie())
        m->setChanged(true);
}

void MVTrack::setEnabled(bool enabled)
{
    uint32_t flags = enabled ? (_header.flags | MVTrackEnabledFlag) : (_header.flags & ~MVTrackEnabledFlag);
    if (flags != _header.flags) {
        NaturalSizeWatch watch(movie());
        _header.flags = flags;
        changed();
        propertyChanged("enab");
    }
}

void MVTrack::setLayer(int16_t layer)
{
    const bool differs = layer != _header.layer;
    _header.layer = layer;
    changed();
    if (differs)
        propertyChanged("layr");
}

void MVTrack::setAlternateGroup(int16_t group)
{
    _header.alternateGroup = group;
    changed();
}

void MVTrack::postSettingChanged(const char* name, const char* parameter, const char* code)
{
    HXPropertyList::Dictionary info { { parameter, std::string(code) } };
    auto& center = HXNotificationCenter::defaultCenter();
    if (auto self = weak_from_this().lock())
        center.postNotification(HXNotification(name, self, std::move(info)));
    else
        center.postNotification(HXNotification(name, this, std::move(info)));
}

void MVTrack::audioPropertyChanged(const char* code)
{
    postSettingChanged(MVTrackAudioPropertyDidChangeNotification, MVTrackAudioPropertyParameter, code);
}

void MVTrack::propertyChanged(const char* code)
{
    postSettingChanged(MVTrackPropertyDidChangeNotification, MVTrackPropertyParameter, code);
}

void MVTrack::setVolume(float volume)
{
    const auto stored = int16_t(std::lround(std::clamp(volume, -128.0f, 127.99f) * 256.0f));
    const bool differs = stored != _header.volume;
    _header.volume = stored;
    changed();
    if (differs)
        audioPropertyChanged("volu");
}

template<class T> void MVTrack::storeAudioProperty(T& field, T value, const char* code)
{
    if (value == field)
        return;
    field = value;
    audioPropertyChanged(code);
}

void MVTrack::setGain(float gain)
{
    storeAudioProperty(_gain, gain, "gain");
}

void MVTrack::setBass(float bass)
{
    storeAudioProperty(_bass, bass, "bass");
}

void MVTrack::setTreble(float treble)
{
    storeAudioProperty(_treble, treble, "trbl");
}

void MVTrack::setMuted(bool muted)
{
    storeAudioProperty(_muted, muted, "mute");
}

void MVTrack::setMatrix(const MVMatrixRecord& matrix)
{
    const bool differs = !(matrix == _header.matrix);
    NaturalSizeWatch watch(differs ? movie() : nullptr);
    _header.matrix = matrix;
    changed();
    if (differs)
        propertyChanged("matr");
}

void MVTrack::setDimensions(double width, double height)
{
    const uint32_t w = uint32_t(std::lround(std::clamp(width, 0.0, 65535.0) * 65536.0));
    const uint32_t h = uint32_t(std::lround(std::clamp(height, 0.0, 65535.0) * 65536.0));
    const bool differs = _apertureDimensions || w != _header.width || h != _header.height;
    NaturalSizeWatch watch(differs ? movie() : nullptr);
    _apertureDimensions.reset();
    _header.width = w;
    _header.height = h;
    changed();
    if (differs)
        propertyChanged("dims");
}

void MVTrack::setLanguage(uint16_t language)
{
    if (_media)
        _media->setLanguage(language);
    changed();
}

void MVTrack::noteUserDataChanged()
{
    changed();
}

void MVTrack::setEdits(std::vector<MVTrackEdit> edits)
{
    _edits = std::move(edits);
}

int64_t MVTrack::duration() const
{
    int64_t total = 0;
    for (auto& e : _edits)
        total += e.duration;
    return total;
}

MVTimeRange MVTrack::range() const
{
    return MVMakeTimeRange(MVMakeTime(0, movieScale()), MVMakeTime(duration(), movieScale()));
}

size_t MVTrack::splitAt(int64_t trackTime)
{
    int64_t start = 0;
    for (size_t i = 0; i < _edits.size(); ++i) {
        if (trackTime == start)
            return i;
        int64_t end = start + _edits[i].duration;
        if (trackTime < end) {
            MVTrackEdit first = _edits[i];
            MVTrackEdit second = first;
            first.duration = trackTime - start;
            second.duration = end - trackTime;
            if (second.mediaTime >= 0 && _media)
                second.mediaTime += mulDivFloor(
                    first.duration * first.mediaRate, _media->timeScale(), int64_t(movieScale()) * 0x10000);
            _edits[i] = first;
            _edits.insert(_edits.begin() + long(i) + 1, second);
            return i + 1;
        }
        start = end;
    }
    if (trackTime > start && trackTime > 0) {
        _edits.push_back({ trackTime - start, -1, 0x10000 });
    }
    return _edits.size();
}

bool MVTrack::insertMedia(int64_t trackTime, int64_t mediaTime, int64_t mediaDuration, double rate)
{
    if (!_media || trackTime < 0 || mediaTime < 0 || mediaDuration <= 0 || rate <= 0)
        return false;
    int32_t fixedRate = int32_t(std::lround(rate * 65536.0));
    int64_t trackDuration = mulDivRound(
        mediaDuration, int64_t(movieScale()) * 0x10000, int64_t(_media->timeScale()) * fixedRate);
    if (trackDuration <= 0)
        return false;
    size_t i = splitAt(trackTime);
    _edits.insert(_edits.begin() + long(i), { trackDuration, mediaTime, fixedRate });
    changed();
    return true;
}

bool MVTrack::insertEmptySegment(int64_t trackTime, int64_t duration)
{
    if (trackTime < 0 || duration <= 0)
        return false;
    if (trackTime >= this->duration() && trackTime > 0) {
        // Empty time after the end adds nothing that plays; it only moves what follows.
        splitAt(trackTime);
    }
    size_t i = splitAt(trackTime);
    _edits.insert(_edits.begin() + long(i), { duration, -1, 0x10000 });
    changed();
    return true;
}

bool MVTrack::deleteSegment(int64_t trackTime, int64_t duration)
{
    if (trackTime < 0 || duration <= 0)
        return false;
    int64_t total = this->duration();
    if (trackTime >= total)
        return true;
    int64_t end = std::min(total, trackTime + duration);
    size_t i = splitAt(trackTime);
    size_t j = splitAt(end);
    _edits.erase(_edits.begin() + long(i), _edits.begin() + long(j));
    // Trailing empty segments play nothing.
    while (!_edits.empty() && _edits.back().mediaTime < 0)
        _edits.pop_back();
    changed();
    return true;
}

bool MVTrack::scaleSegment(int64_t trackTime, int64_t oldDuration, int64_t newDuration)
{
    if (trackTime < 0 || oldDuration <= 0 || newDuration <= 0)
        return false;
    size_t i = splitAt(trackTime);
    size_t j = splitAt(trackTime + oldDuration);
    int64_t done = 0, scaledDone = 0;
    for (size_t k = i; k < j; ++k) {
        auto& e = _edits[k];
        done += e.duration;
        int64_t target = mulDivRound(done, newDuration, oldDuration);
        int64_t d = target - scaledDone;
        scaledDone = target;
        if (e.mediaTime >= 0 && d > 0)
            e.mediaRate = int32_t(std::clamp<int64_t>(mulDivRound(e.mediaRate, e.duration, d), 1, INT32_MAX));
        e.duration = d;
    }
    std::erase_if(_edits, [](const MVTrackEdit& e) { return e.duration <= 0; });
    changed();
    return true;
}

int64_t MVTrack::trackTimeToMediaTime(int64_t trackTime) const
{
    int64_t start = 0;
    for (auto& e : _edits) {
        if (trackTime >= start && trackTime < start + e.duration) {
            if (e.mediaTime < 0 || !_media)
                return -1;
            return e.mediaTime
                + mulDivFloor(
                    (trackTime - start) * e.mediaRate, _media->timeScale(), int64_t(movieScale()) * 0x10000);
        }
        start += e.duration;
    }
    return -1;
}

int64_t MVTrack::mediaTimeToTrackTime(int64_t mediaTime) const
{
    if (!_media)
        return -1;
    int64_t start = 0;
    int64_t fixedMovie = int64_t(movieScale()) * 0x10000;
    for (auto& e : _edits) {
        if (e.mediaTime >= 0 && e.mediaRate > 0 && mediaTime >= e.mediaTime) {
            int64_t offset
                = mulDivCeil(mediaTime - e.mediaTime, fixedMovie, int64_t(_media->timeScale()) * e.mediaRate);
            if (offset < e.duration)
                return start + offset;
        }
        start += e.duration;
    }
    return -1;
}

std::vector<MVTrackEdit> MVTrack::editsInRange(int64_t start, int64_t duration) const
{
    MVTrack copy;
    copy._media = _media;
    copy._edits = _edits;
    copy._detachedScale = movieScale();
    int64_t total = copy.duration();
    int64_t end = std::min(total, start + duration);
    if (start >= end)
        return {};
    size_t i = copy.splitAt(start);
    size_t j = copy.splitAt(end);
    return { copy._edits.begin() + long(i), copy._edits.begin() + long(j) };
}

MVInterestingTime MVTrack::nextInterestingTime(int64_t trackTime, uint16_t flags, double rate) const
{
    MVInterestingTime none;
    if (!_media)
        return none;
    bool forward = rate >= 0;
    bool edgeOK = flags & MVNextTimeEdgeOK;
    int64_t movieUnitsFixed = int64_t(movieScale()) * 0x10000;
    int32_t mediaScale = _media->timeScale();

    // Every candidate boundary with its duration; the best one wins.
    std::optional<MVInterestingTime> best;
    auto consider = [&](int64_t t, int64_t d) {
        bool ok
            = forward ? (edgeOK ? t >= trackTime : t > trackTime) : (edgeOK ? t <= trackTime : t < trackTime);
        if (!ok)
            return;
        if (!best || (forward ? t < best->time : t > best->time))
            best = MVInterestingTime { t, d };
    };

    int64_t start = 0;
    for (auto& e : _edits) {
        int64_t end = start + e.duration;
        bool relevant = forward ? end > trackTime || (edgeOK && end >= trackTime) : start <= trackTime;
        if (e.duration > 0 && relevant) {
            if (flags & MVNextTimeMediaEdit)
                consider(start, e.duration);
            if (e.mediaTime >= 0 && e.mediaRate <= 0
                && (flags & (MVNextTimeMediaSample | MVNextTimeSyncSample))) {
                // A still (rate 0) or a reversed segment shows one picture from its start.
                consider(start, e.duration);
            } else if (e.mediaTime >= 0 && (flags & (MVNextTimeMediaSample | MVNextTimeSyncSample))) {
                auto toTrack = [&](int64_t mediaTime) {
                    return start
                        + mulDivCeil(
                            mediaTime - e.mediaTime, movieUnitsFixed, int64_t(mediaScale) * e.mediaRate);
                };
                auto toMedia = [&](int64_t t) {
                    return e.mediaTime
                        + mulDivFloor(t - start, int64_t(mediaScale) * e.mediaRate, movieUnitsFixed);
                };
                // The sample shown at the point of interest within this edit, then walk from it.
                int64_t probe = std::clamp(trackTime, start, end - 1);
                int64_t index = _media->sampleIndexAtTime(toMedia(probe));
                if (index < 0)
                    index = _media->sampleIndexAtTime(e.mediaTime);
                if (index >= 0) {
                    bool syncOnly = !(flags & MVNextTimeMediaSample);
                    int64_t step = forward ? 1 : -1;
                    for (int64_t i = index; i >= 0 && i < _media->sampleCount(); i += step) {
                        const auto& s = _media->samples()[size_t(i)];
                        int64_t t = std::max(start, toTrack(_media->sampleTime(i)));
                        if (t >= end)
                            break;
                        int64_t sampleEnd = std::min(end, toTrack(_media->sampleTime(i) + s.duration));
                        if (!syncOnly || s.sync) {
                            bool ok = forward ? (edgeOK ? t >= trackTime : t > trackTime)
                                              : (edgeOK ? t <= trackTime : t < trackTime);
                            if (ok) {
                                consider(t, sampleEnd - t);
                                break;
                            }
                        }
                        if (!forward && t <= start)
                            break;
                    }
                }
            }
        }
        start = end;
    }
    return best.value_or(none);
}

int MVTrack::referenceCount(uint32_t type) const
{
    for (auto& r : _references)
        if (r.type == type)
            return int(r.tracks.size());
    return 0;
}

std::shared_ptr<MVTrack> MVTrack::referenceTrack(uint32_t type, int index) const
{
    for (auto& r : _references)
        if (r.type == type && index >= 1 && size_t(index) <= r.tracks.size())
            return r.tracks[size_t(index) - 1].lock();
    return nullptr;
}

void MVTrack::setReference(const std::shared_ptr<MVTrack>& track, uint32_t type, int index)
{
    auto it
        = std::find_if(_references.begin(), _references.end(), [type](auto& r) { return r.type == type; });
    if (it == _references.end()) {
        if (!track)
            return;
        _references.push_back({ type, {} });
        it = _references.end() - 1;
    }
    auto& list = it->tracks;
    if (index < 1 || size_t(index) > list.size() + 1)
        return;
    if (!track) {
        if (size_t(index) <= list.size())
            list.erase(list.begin() + index - 1);
        if (list.empty())
            _references.erase(it);
    } else if (size_t(index) == list.size() + 1) {
        list.push_back(track);
    } else {
        list[size_t(index) - 1] = track;
    }
    changed();
}

std::vector<uint32_t> MVTrack::referenceTypes() const
{
    std::vector<uint32_t> types;
    for (auto& r : _references)
        types.push_back(r.type);
    return types;
}

namespace {

// Fields of the media information headers: 'vmhd' graphics mode (at 4) and operation colour (at 6),
// 'smhd' balance (at 4, 8.8).
uint32_t readField(const MVBytes& payload, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | (at + size_t(i) < payload.size() ? payload[at + size_t(i)] : 0);
    return v;
}

void writeField(MVBytes& payload, size_t at, int width, uint32_t v)
{
    if (payload.size() < at + size_t(width))
        payload.resize(at + size_t(width), 0);
    for (int i = 0; i < width; ++i)
        payload[at + size_t(i)] = uint8_t(v >> (8 * (width - 1 - i)));
}

} // namespace

HXPropertyList MVTrack::attributeForKey(const std::string& key) const
{
    static const MVMediaInformationHeader none;
    const auto& info = _media ? _media->storedDescription().information.header : none;
    if (key == MVTrackEnabledAttribute)
        return isEnabled();
    if (key == MVTrackStreamingBitsPerSecondAttribute || key == MVTrackStreamingPercentLostAttribute
        || key == MVTrackStreamingBufferDurationAttribute) {
        auto m = mediaType() == MVMediaTypeStream ? movie() : nullptr;
        if (auto statistics = m ? m->streamingStatistics() : nullptr) {
            if (key == MVTrackStreamingBitsPerSecondAttribute)
                return statistics->bitsPerSecond;
            if (key == MVTrackStreamingPercentLostAttribute)
                return statistics->percentLost;
            return statistics->bufferDuration;
        }
    }
    if (key == MVTrackIDAttribute)
        return int64_t(_trackID);
    if (key == MVTrackLayerAttribute)
        return int64_t(layer());
    if (key == MVTrackVolumeAttribute)
        return double(volume());
    if (key == MVTrackLanguageAttribute)
        return int64_t(language());
    if (key == MVTrackMediaTypeAttribute || key == MVMediaTypeAttribute)
        return MVStringForOSType(mediaType());
    if (key == MVTrackDimensionsAttribute || key == MVTrackSourceDimensionsAttribute)
        return HXPropertyList::Dictionary { { "width", width() }, { "height", height() } };
    if (key == MVTrackSourcePositionAttribute)
        return HXPropertyList::Dictionary { { "x", _header.matrix.values[6] / 65536.0 },
            { "y", _header.matrix.values[7] / 65536.0 } };
    if (key == MVTrackMatrixAttribute) {
        HXPropertyList::Array values;
        for (auto v : _header.matrix.values)
            values.push_back(int64_t(v));
        return values;
    }
    if (key == MVTrackRangeAttribute) {
        // The range starts where the track first shows something.
        int64_t start = 0;
        for (auto& e : _edits) {
            if (e.mediaTime >= 0)
                break;
            start += e.duration;
        }
        int64_t total = duration();
        return HXPropertyList::Dictionary {
            { "time", MVStringFromTime(MVMakeTime(std::min(start, total), movieScale())) },
            { "duration", MVStringFromTime(MVMakeTime(total - std::min(start, total), movieScale())) }
        };
    }
    if (key == MVTrackChapterlistAttribute) {
        auto chapters = referenceTrack(MVFourCC("chap"), 1);
        return int64_t(chapters ? chapters->trackID() : 0);
    }
    if (key == MVTrackOperationColorAttribute && info.type == MVFourCC("vmhd"))
        return HXPropertyList::Array { int64_t(readField(info.payload, 6, 2)),
            int64_t(readField(info.payload, 8, 2)), int64_t(readField(info.payload, 10, 2)) };
    if (key == MVTrackTransferModeAttribute && info.type == MVFourCC("vmhd"))
        return int64_t(readField(info.payload, 4, 2));
    if (key == MVTrackBalanceAttribute && info.type == MVFourCC("smhd"))
        return double(int16_t(readField(info.payload, 4, 2))) / 256.0;
    if (key == MVTrackDisplayNameAttribute) {
        for (auto& item : _userData.items)
            if (item.type == MVFourCC("name"))
                return std::string(item.data.begin(), item.data.end());
        return std::string();
    }
    if (key == MVTrackNeverPurgeTrackAttribute)
        return neverPurgeHint();
    if (key == MVTrackPreloadTrackAttribute)
        return preloadHint() != 0;
    if (key == MVTrackMaskAttribute) {
        auto matte = storedTrackAtom(MVFourCC("matt"));
        auto image = matte ? MVTrackMatteImage(*matte) : std::nullopt;
        return image ? HXPropertyList(HXData { *image }) : HXPropertyList();
    }
    auto it = _otherAttributes.find(key);
    return it == _otherAttributes.end() ? HXPropertyList() : it->second;
}

void MVTrack::setAttributeForKey(const HXPropertyList& value, const std::string& key)
{
    if (key == MVTrackEnabledAttribute) {
        setEnabled(value.boolValue());
    } else if (key == MVTrackLayerAttribute) {
        setLayer(int16_t(value.integerValue()));
    } else if (key == MVTrackVolumeAttribute) {
        setVolume(float(value.realValue()));
    } else if (key == MVTrackLanguageAttribute) {
        setLanguage(uint16_t(value.integerValue()));
    } else if (key == MVTrackDimensionsAttribute || key == MVTrackSourceDimensionsAttribute) {
        setDimensions(value["width"].realValue(), value["height"].realValue());
    } else if (key == MVTrackSourcePositionAttribute) {
        auto m = _header.matrix;
        m.values[6] = int32_t(std::lround(std::clamp(value["x"].realValue(), -32768.0, 32767.0) * 65536.0));
        m.values[7] = int32_t(std::lround(std::clamp(value["y"].realValue(), -32768.0, 32767.0) * 65536.0));
        setMatrix(m);
    } else if (key == MVTrackMatrixAttribute) {
        if (!value.isArray() || value.count() != 9)
            return;
        MVMatrixRecord m;
        for (size_t i = 0; i < 9; ++i)
            m.values[i] = int32_t(std::clamp<int64_t>(value[i].integerValue(), INT32_MIN, INT32_MAX));
        setMatrix(m);
    } else if (key == MVTrackRangeAttribute) {
        // A new start moves the track: its leading empty time grows or shrinks.
        auto start = MVTimeFromString(value["time"].stringValue());
        if (!start || !MVTimeIsNumeric(*start))
            return;
        int64_t newStart = std::max<int64_t>(0, MVTimeInScale(*start, movieScale()).timeValue);
        std::vector<MVTrackEdit> edits = _edits;
        while (!edits.empty() && edits.front().mediaTime < 0)
            edits.erase(edits.begin());
        if (newStart > 0)
            edits.insert(edits.begin(), { newStart, -1, 0x10000 });
        _edits = std::move(edits);
        changed();
    } else if (key == MVTrackChapterlistAttribute) {
        auto m = movie();
        auto target = m ? m->trackByID(uint32_t(value.integerValue())) : nullptr;
        while (referenceCount(MVFourCC("chap")) > 0)
            setReference(nullptr, MVFourCC("chap"), 1);
        if (target)
            setReference(target, MVFourCC("chap"), 1);
        changed();
    } else if (_media && key == MVTrackOperationColorAttribute) {
        auto& info = _media->storedDescription().information.header;
        if (info.type != MVFourCC("vmhd"))
            return;
        for (size_t i = 0; i < 3; ++i)
            writeField(info.payload, 6 + 2 * i, 2,
                value.isArray() && value.count() == 3 ? uint32_t(value[i].integerValue()) & 0xFFFF : 0);
        changed();
        propertyChanged("gmod");
    } else if (_media && key == MVTrackTransferModeAttribute) {
        auto& info = _media->storedDescription().information.header;
        if (info.type != MVFourCC("vmhd"))
            return;
        writeField(info.payload, 4, 2, uint32_t(value.integerValue()) & 0xFFFF);
        changed();
        propertyChanged("gmod");
    } else if (_media && key == MVTrackBalanceAttribute) {
        auto& info = _media->storedDescription().information.header;
        if (info.type != MVFourCC("smhd"))
            return;
        const uint32_t stored
            = uint16_t(int16_t(std::lround(std::clamp(value.realValue(), -1.0, 1.0) * 256.0)));
        const bool differs = stored != readField(info.payload, 4, 2);
        writeField(info.payload, 4, 2, stored);
        changed();
        if (differs)
            audioPropertyChanged("bala");
    } else if (key == MVTrackDisplayNameAttribute) {
        std::string name = value.stringValue();
        std::erase_if(_userData.items, [](auto& i) { return i.type == MVFourCC("name"); });
        _userData.items.push_back({ MVFourCC("name"), MVBytes(name.begin(), name.end()) });
        changed();
    } else if (key == MVTrackNeverPurgeTrackAttribute) {
        setNeverPurgeHint(value.boolValue());
    } else if (key == MVTrackPreloadTrackAttribute) {
        if (value.boolValue())
            setPreloadRange(MVMakeTime(-1, 600), MVMakeTime(0, 600));
        else
            setPreloadHint(0);
    } else if (key == MVTrackMaskAttribute) {
        setMaskImage(value.isData() ? value.dataValue().bytes : MVBytes {});
    } else if (key == MVTrackIDAttribute || key == MVTrackMediaTypeAttribute || key == MVMediaTypeAttribute) {
        // Identity: not settable.
    } else {
        _otherAttributes[key] = value;
        changed();
        if (key == MVTrackDeinterlaceVideoAttribute || key == MVTrackSingleFieldVideoAttribute
            || key == MVTrackHighQualityVideoAttribute)
            propertyChanged("vflg");
    }
}

bool MVTrack::insertEdits(int64_t trackTime, const std::vector<MVTrackEdit>& edits)
{
    if (trackTime < 0)
        return false;
    size_t i = splitAt(trackTime);
    _edits.insert(_edits.begin() + long(i), edits.begin(), edits.end());
    std::erase_if(_edits, [](const MVTrackEdit& e) { return e.duration <= 0; });
    changed();
    return true;
}

// ---- Stored atoms: load settings and the matte

std::optional<MVBytes> MVTrack::storedTrackAtom(uint32_t type) const
{
    for (const auto& atom : _stored.unknownChildren)
        if (atom.type == type)
            return atom.payload;
    return std::nullopt;
}

void MVTrack::setStoredTrackAtom(uint32_t type, const std::optional<MVBytes>& payload)
{
    auto& children = _stored.unknownChildren;
    auto it = std::find_if(children.begin(), children.end(), [&](const MVRawAtom& a) { return a.type == type; });
    if (!payload) {
        if (it == children.end())
            return;
        children.erase(it);
        // The child order names unknown children by position: forget it rather than point at the wrong one.
        _stored.childOrder.clear();
    } else if (it != children.end()) {
        if (it->payload == *payload)
            return;
        it->payload = *payload;
    } else {
        children.push_back({ type, *payload });
        _stored.childOrder.clear();
    }
    changed();
    if (type == MVFourCC("matt"))
        propertyChanged("matt");
}

MVTrackLoadSettings MVTrack::loadSettings() const
{
    MVTrackLoadSettings settings;
    auto load = storedTrackAtom(MVFourCC("load"));
    if (!load || load->size() < 16)
        return settings;
    MVByteReader r(*load);
    settings.preloadTime = r.s32();
    settings.preloadDuration = r.s32();
    settings.preloadFlags = r.u32();
    settings.defaultHints = r.u32();
    return settings;
}

void MVTrack::setLoadSettings(const MVTrackLoadSettings& settings)
{
    if (settings == MVTrackLoadSettings {}) {
        setStoredTrackAtom(MVFourCC("load"), std::nullopt);
        return;
    }
    MVByteWriter w;
    w.s32(settings.preloadTime);
    w.s32(settings.preloadDuration);
    w.u32(settings.preloadFlags);
    w.u32(settings.defaultHints);
    setStoredTrackAtom(MVFourCC("load"), w.buffer());
}

void MVTrack::setNeverPurgeHint(bool flag)
{
    auto settings = loadSettings();
    settings.defaultHints = flag ? settings.defaultHints | MVMediaHintDontPurge
                                 : settings.defaultHints & ~MVMediaHintDontPurge;
    setLoadSettings(settings);
}

void MVTrack::setPreloadHint(uint32_t flags)
{
    auto settings = loadSettings();
    settings.preloadFlags = flags;
    if (flags == 0)
        settings.preloadTime = settings.preloadDuration = 0;
    setLoadSettings(settings);
}

void MVTrack::setPreloadRange(MVTime start, MVTime duration)
{
    auto settings = loadSettings();
    auto inMovieScale = [&](MVTime t) {
        int64_t v = MVTimeIsNumeric(t) ? MVTimeInScale(t, movieScale()).timeValue : 0;
        return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    settings.preloadTime = MVTimeIsNumeric(start) && start.timeValue < 0 ? -1 : inMovieScale(start);
    settings.preloadDuration = std::max(0, inMovieScale(duration));
    settings.preloadFlags = MVTrackPreloadAlways;
    setLoadSettings(settings);
}

void MVTrack::setMaskImage(const MVBytes& png)
{
    // Only PNG images are kept (the mask operations turn what they read into PNG); the size comes from
    // the image's header.
    static constexpr uint8_t kSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    if (png.empty()) {
        setStoredTrackAtom(MVFourCC("matt"), std::nullopt);
        return;
    }
    if (png.size() < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin()))
        return;
    MVByteReader r(png);
    r.skip(16);
    const uint32_t width = r.u32(), height = r.u32();
    setStoredTrackAtom(MVFourCC("matt"),
        MVTrackMattePayload(png, uint16_t(std::min<uint32_t>(width, 0xFFFF)), uint16_t(std::min<uint32_t>(height, 0xFFFF))));
}
