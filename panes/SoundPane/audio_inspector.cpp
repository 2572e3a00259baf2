#include "audio_inspector.h"

#include "pane_views.h"
#include "track_audio_inspector.h"

#include "platform/mvkit/notifications.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/slider.h"

#include <cmath>
#include <map>

namespace {

// The movie's change notifications and the keys they announce.
const std::map<std::string, std::string>& listenedProperties()
{
    static const std::map<std::string, std::string> properties {
        { MVMovieBalanceDidChangeNotification, "balance" },
        { MVMovieBassDidChangeNotification, "bass" },
        { MVMovieGainDidChangeNotification, "gain" },
        { MVMovieMutedDidChangeNotification, "muted" },
        { MVMovieTrebleDidChangeNotification, "treble" },
        { MVMovieVolumeDidChangeNotification, "volume" },
    };
    return properties;
}

// The track's sound property codes and the keys they announce.
const std::map<std::string, std::string>& trackProperties()
{
    static const std::map<std::string, std::string> properties {
        { "bala", "balance" },
        { "bass", "bass" },
        { "gain", "gain" },
        { "mute", "muted" },
        { "trbl", "treble" },
        { "volu", "volume" },
    };
    return properties;
}

const MVPAudioRange* rangeForKey(const std::string& key)
{
    static const std::map<std::string, MVPAudioRange> ranges {
        { "volume", MVPVolumeRange },
        { "balance", MVPBalanceRange },
        { "bass", MVPBassRange },
        { "treble", MVPTrebleRange },
        { "gain", MVPGainRange },
    };
    auto it = ranges.find(key);
    return it == ranges.end() ? nullptr : &it->second;
}

// Volumes as the classic 8.8 number: 256 is full volume.
int64_t classicVolume(float volume)
{
    return std::llround(double(volume) * 256.0);
}

} // namespace

MVPAudioInspector::MVPAudioInspector(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle)
    : MVPKeyValuePane(object.movie())
    , _object(object)
    , _bundle(std::move(bundle))
{
    if (!_object.movie())
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    if (const auto& track = _object.track()) {
        // Bound controls follow the track's settings however they change (solo of another pane, scripts).
        _listeners.push_back(center.addObserver(MVTrackAudioPropertyDidChangeNotification, track.get(),
            [this](const HXNotification& notification) {
                auto code = notification.userInfo().find(MVTrackAudioPropertyParameter);
                if (code == notification.userInfo().end())
                    return;
                auto key = trackProperties().find(code->second.stringValue());
                if (key != trackProperties().end())
                    didChangeValueForKey(key->second);
            }));
        return;
    }
    for (const auto& [name, key] : listenedProperties()) {
        std::string k = key;
        _listeners.push_back(center.addObserver(name, _object.movie().get(),
            [this, k](const HXNotification&) { didChangeValueForKey(k); }));
    }
}

MVPAudioInspector::~MVPAudioInspector()
{
    for (auto token : _listeners)
        HXNotificationCenter::defaultCenter().removeObserver(token);
}

HXPropertyList MVPAudioInspector::valueForKey(const std::string& key) const
{
    const auto& track = _object.track();
    const auto& movie = _object.movie();
    if (!track && !movie)
        return {};
    if (key == "volume")
        return classicVolume(track ? track->volume() : movie->volume());
    if (key == "muted")
        return track ? track->isMuted() : movie->isMuted();
    if (key == "balance") {
        if (track) {
            HXPropertyList balance = track->attributeForKey(MVTrackBalanceAttribute);
            return balance.isNumber() ? balance.realValue() : 0.0;
        }
        return double(movie->balance());
    }
    if (key == "bass")
        return double(track ? track->bass() : movie->bass());
    if (key == "treble")
        return double(track ? track->treble() : movie->treble());
    if (key == "gain")
        return double(track ? track->gain() : movie->gain());
    return {};
}

bool MVPAudioInspector::validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current)
{
    if (current.isNull() || !(value.isNumber() || value.isBoolean()))
        return false;
    MVPKeyValuePane::validateValue(value, key, current);
    if (const auto* range = rangeForKey(key)) {
        double v = value.realValue();
        // The slider stops at 255, but full volume, as movies store it, is 256.
        double max = key == "volume" ? 256 : range->max;
        if (!std::isfinite(v) || v < range->min || v > max)
            return false;
        // The model keeps single-precision numbers: compare what it would store.
        if (value.isReal())
            value = HXPropertyList(double(float(v)));
    }
    return true;
}

void MVPAudioInspector::takeValueForKey(const HXPropertyList& value, const std::string& key)
{
    const auto& track = _object.track();
    const auto& movie = _object.movie();
    float f = float(value.realValue());
    if (key == "volume")
        track ? track->setVolume(f / 256.0f) : movie->setVolume(f / 256.0f);
    else if (key == "muted")
        track ? track->setMuted(value.boolValue()) : movie->setMuted(value.boolValue());
    else if (key == "balance")
        track ? track->setAttributeForKey(value.realValue(), MVTrackBalanceAttribute) : movie->setBalance(f);
    else if (key == "bass")
        track ? track->setBass(f) : movie->setBass(f);
    else if (key == "treble")
        track ? track->setTreble(f) : movie->setTreble(f);
    else if (key == "gain")
        track ? track->setGain(f) : movie->setGain(f);
}

std::shared_ptr<HXView> MVPAudioInspector::view()
{
    if (_view)
        return _view;
    buildView();
    didLoadView();
    return _view;
}

void MVPAudioInspector::buildView()
{
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });
    struct Row {
        const char* key;
        MVPAudioRange range;
    } rows[] = { { "volume", MVPVolumeRange }, { "balance", MVPBalanceRange }, { "bass", MVPBassRange },
        { "treble", MVPTrebleRange }, { "gain", MVPGainRange } };
    const char* titles[] = { "Volume", "Balance", "Bass", "Treble", "Gain" };
    double y = 215;
    for (size_t i = 0; i < std::size(rows); ++i, y -= 30) {
        _view->addSubview(MVPMakeLabel(HXRect { { 8, y }, { 70, 18 } }, MVPLocalizedString(_bundle, titles[i]), 1));
        auto slider = std::make_shared<HXSlider>(HXRect { { 84, y }, { 160, 20 } });
        slider->setMinValue(rows[i].range.min);
        slider->setMaxValue(rows[i].range.max);
        _view->addSubview(slider);
        bindControl(slider, rows[i].key);
    }
    auto mute = MVPMakeCheckBox(HXRect { { 84, y }, { 160, 18 } }, MVPLocalizedString(_bundle, "Mute"));
    _view->addSubview(mute);
    bindControl(mute, "muted");
}

void MVPAudioInspector::startInspection()
{
    setBindingsActive(true);
}

void MVPAudioInspector::stopInspection()
{
    setBindingsActive(false);
}

bool MVPAudioInspectorFactory::canInspectObject(const MVPInspectedObject& object)
{
    if (object.isTrack())
        return object.track()->hasAudio();
    return object.isMovie();
}

std::shared_ptr<MVPPropertyInspector> MVPAudioInspectorFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (object.isTrack())
        return std::make_shared<MVPTrackAudioInspector>(object, bundle());
    if (object.isMovie())
        return std::make_shared<MVPMovieAudioInspector>(object, bundle());
    return nullptr;
}
