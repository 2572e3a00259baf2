#include "document/persistence.h"

#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

namespace {

MVBytes keyBytes(const std::string& key, uint32_t keyType)
{
    if (keyType == MVPPersistenceUserDataKeyType)
        return MVMetadataKeyBytes(MVOSTypeForString(key));
    return MVBytes(key.begin(), key.end());
}

void putFloat(uint8_t* out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    out[0] = uint8_t(bits >> 24);
    out[1] = uint8_t(bits >> 16);
    out[2] = uint8_t(bits >> 8);
    out[3] = uint8_t(bits);
}

float getFloat(const uint8_t* in)
{
    uint32_t bits = uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | in[3];
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

void putU16(uint8_t* out, uint16_t value)
{
    out[0] = uint8_t(value >> 8);
    out[1] = uint8_t(value);
}

// A coordinate truncated toward zero into a signed 16-bit value (out-of-range values stop at the ends).
int16_t truncatedShort(double value)
{
    if (!std::isfinite(value))
        return 0;
    value = std::trunc(value);
    value = std::clamp(
        value, double(std::numeric_limits<int16_t>::min()), double(std::numeric_limits<int16_t>::max()));
    return int16_t(value);
}

// A sound track's balance lives in its sound media header.
float trackBalance(const MVTrack& track)
{
    return float(track.attributeForKey(MVTrackBalanceAttribute).realValue());
}

void setTrackBalance(MVTrack& track, float balance)
{
    track.setAttributeForKey(double(balance), MVTrackBalanceAttribute);
}

MVPMetaDataContainer readOnly(const MVMovie& movie)
{
    // The readers never change the stores.
    return MVPMetaDataContainer::forMovie(const_cast<MVMovie&>(movie));
}

MVPMetaDataContainer readOnly(const MVTrack& track)
{
    return MVPMetaDataContainer::forTrack(const_cast<MVTrack&>(track));
}

float readMovieFloat(const MVMovie& movie, const char* key)
{
    uint8_t buffer[4] = {};
    MVPPersistence::movieMetaDataItemValueForKey(key, buffer, sizeof buffer, movie);
    return getFloat(buffer);
}

float readTrackFloat(const MVTrack& track, const char* key)
{
    uint8_t buffer[4] = {};
    MVPPersistence::trackMetaDataItemValueForKey(key, buffer, sizeof buffer, track);
    return getFloat(buffer);
}

void writeMovieFloat(MVMovie& movie, const char* key, float value)
{
    uint8_t buffer[4];
    putFloat(buffer, value);
    MVPPersistence::setMovieMetaDataItemValue(buffer, 4, key, MVPPersistenceFloat32DataType, movie);
}

void writeTrackFloat(MVTrack& track, const char* key, float value)
{
    uint8_t buffer[4];
    putFloat(buffer, value);
    MVPPersistence::setTrackMetaDataItemValue(buffer, 4, key, MVPPersistenceFloat32DataType, track);
}

void writeUserDataByte(MVMovie& movie, const char* code, bool flag)
{
    uint8_t byte = flag ? 1 : 0;
    MVPPersistence::setDefaultMovieMetaDataItemValue(&byte, 1, code, MVPPersistenceRawDataType, movie);
}

std::string stringValue(const HXPropertyList& value)
{
    return value.isString() ? value.stringValue() : std::string();
}

#ifndef MOVARA_VERSION
#define MOVARA_VERSION ""
#endif

// "MVBuildVersion" of a version.plist, else the bundle's short version string, else the version this
// program was built as.
std::string buildVersion(const std::string& versionPlistPath, const HXBundle* bundle)
{
    if (auto plist = HXPropertyList::readFromFile(versionPlistPath); plist && plist->isDictionary()) {
        std::string build = stringValue((*plist)["MVBuildVersion"]);
        if (!build.empty())
            return build;
    }
    std::string version = bundle
        ? stringValue(bundle->objectForInfoDictionaryKey("HFBundleShortVersionString"))
        : std::string();
    return version.empty() ? MOVARA_VERSION : version;
}

std::string bundleVersion(const HXBundle* bundle)
{
    std::string version
        = bundle ? stringValue(bundle->objectForInfoDictionaryKey("HFBundleVersion")) : std::string();
    return version.empty() ? MOVARA_VERSION : version;
}

// The operating system's name, version and build, from os-release.
void systemVersion(std::string& name, std::string& version, std::string& build)
{
    std::ifstream in("/etc/os-release");
    std::string line;
    auto unquote = [](std::string v) {
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return v;
    };
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        std::string value = unquote(line.substr(eq + 1));
        if (key == "NAME")
            name = value;
        else if (key == "VERSION_ID")
            version = value;
        else if (key == "BUILD_ID" || (key == "VERSION_CODENAME" && build.empty()))
            build = value;
    }
}

} // namespace

// ---- Core ----

bool MVPPersistence::metaDataItemValueForKey(const MVPMetaDataContainer& container,
    const std::string& itemKey, uint32_t keyType, void* outVal, size_t outValSize)
{
    if (keyType == MVPPersistenceUserDataKeyType) {
        if (!container.userData)
            return false;
        uint32_t code = MVOSTypeForString(itemKey);
        int count = MVUserDataCountItems(*container.userData, code);
        if (count > 0 && outVal) {
            if (auto item = MVUserDataGetItem(*container.userData, code, 1))
                std::memcpy(outVal, item->data(), std::min(outValSize, item->size()));
        }
        return count > 0;
    }
    if (!container.metadata)
        return false;
    MVMetadataKey key { keyType, keyBytes(itemKey, keyType) };
    int count = MVMetadataCountItems(*container.metadata, key);
    if (count > 0 && outVal) {
        if (auto value = MVMetadataFirstValue(*container.metadata, key))
            std::memcpy(outVal, value->bytes.data(), std::min(outValSize, value->bytes.size()));
    }
    return count > 0;
}

void MVPPersistence::setMetaDataItemValueForKey(const MVPMetaDataContainer& container, const void* value,
    size_t actualSize, const std::string& key, uint32_t dataType, uint32_t keyType)
{
    const auto* bytes = static_cast<const uint8_t*>(value);
    if (keyType == MVPPersistenceUserDataKeyType) {
        if (!container.userData)
            return;
        uint32_t code = MVOSTypeForString(key);
        while (MVUserDataCountItems(*container.userData, code) > 0)
            MVUserDataRemoveItem(*container.userData, code, 1);
        if (bytes)
            MVUserDataAddItem(*container.userData, code, MVBytes(bytes, bytes + actualSize));
        return;
    }
    if (!container.metadata)
        return;
    MVMetadataKey metadataKey { keyType, keyBytes(key, keyType) };
    MVMetadataRemoveItems(*container.metadata, metadataKey);
    if (bytes) {
        MVMetadataValue item;
        item.dataType = dataType;
        item.bytes.assign(bytes, bytes + actualSize);
        MVMetadataAddItem(*container.metadata, metadataKey, item);
    }
}

// ---- Generic access ----

bool MVPPersistence::movieMetaDataItemValueForKey(
    const std::string& key, void* outVal, size_t outValSize, const MVMovie& movie)
{
    return metaDataItemValueForKey(readOnly(movie), key, MVPPersistenceReverseDNSKeyType, outVal, outValSize);
}

bool MVPPersistence::trackMetaDataItemValueForKey(
    const std::string& key, void* outVal, size_t outValSize, const MVTrack& track)
{
    return metaDataItemValueForKey(readOnly(track), key, MVPPersistenceReverseDNSKeyType, outVal, outValSize);
}

void MVPPersistence::setMovieMetaDataItemValue(
    const void* value, size_t actualSize, const std::string& key, uint32_t dataType, MVMovie& movie)
{
    setMetaDataItemValueForKey(MVPMetaDataContainer::forMovie(movie), value, actualSize, key, dataType,
        MVPPersistenceReverseDNSKeyType);
}

void MVPPersistence::setTrackMetaDataItemValue(
    const void* value, size_t actualSize, const std::string& key, uint32_t dataType, MVTrack& track)
{
    setMetaDataItemValueForKey(MVPMetaDataContainer::forTrack(track), value, actualSize, key, dataType,
        MVPPersistenceReverseDNSKeyType);
}

bool MVPPersistence::movieDefaultMetaDataItemValueForKey(
    const std::string& code, void* outVal, size_t outValSize, const MVMovie& movie)
{
    return metaDataItemValueForKey(readOnly(movie), code, MVPPersistenceUserDataKeyType, outVal, outValSize);
}

void MVPPersistence::setDefaultMovieMetaDataItemValue(
    const void* value, size_t actualSize, const std::string& code, uint32_t dataType, MVMovie& movie)
{
    setMetaDataItemValueForKey(MVPMetaDataContainer::forMovie(movie), value, actualSize, code, dataType,
        MVPPersistenceUserDataKeyType);
}

bool MVPPersistence::hasMovieMetaDataItem(const std::string& key, const MVMovie& movie)
{
    return movieMetaDataItemValueForKey(key, nullptr, 0, movie);
}

bool MVPPersistence::hasTrackMetaDataItem(const std::string& key, const MVTrack& track)
{
    return trackMetaDataItemValueForKey(key, nullptr, 0, track);
}

bool MVPPersistence::hasMovieDefaultMetaDataItem(const std::string& code, const MVMovie& movie)
{
    return movieDefaultMetaDataItemValueForKey(code, nullptr, 0, movie);
}

// ---- Readers ----

float MVPPersistence::movieAudioGain(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceAudioGainKey);
}
float MVPPersistence::movieAudioTreble(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceAudioTrebleKey);
}
float MVPPersistence::movieAudioBass(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceAudioBassKey);
}
float MVPPersistence::movieAudioBalance(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceAudioBalanceKey);
}
float MVPPersistence::movieAudioPitchShift(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceAudioPitchShiftKey);
}
bool MVPPersistence::movieAudioMute(const MVMovie& movie)
{
    uint8_t byte = 0;
    movieMetaDataItemValueForKey(MVPPersistenceAudioMuteKey, &byte, 1, movie);
    return byte != 0;
}
float MVPPersistence::movieBrightness(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceVisualBrightnessKey);
}
float MVPPersistence::movieColor(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceVisualColorKey);
}
float MVPPersistence::movieTint(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceVisualTintKey);
}
float MVPPersistence::movieContrast(const MVMovie& movie)
{
    return readMovieFloat(movie, MVPPersistenceVisualContrastKey);
}
float MVPPersistence::trackAudioGain(const MVTrack& track)
{
    return readTrackFloat(track, MVPPersistenceAudioGainKey);
}
float MVPPersistence::trackAudioTreble(const MVTrack& track)
{
    return readTrackFloat(track, MVPPersistenceAudioTrebleKey);
}
float MVPPersistence::trackAudioBass(const MVTrack& track)
{
    return readTrackFloat(track, MVPPersistenceAudioBassKey);
}
float MVPPersistence::trackAudioBalance(const MVTrack& track)
{
    return readTrackFloat(track, MVPPersistenceAudioBalanceKey);
}
bool MVPPersistence::trackAudioMute(const MVTrack& track)
{
    uint8_t byte = 0;
    trackMetaDataItemValueForKey(MVPPersistenceAudioMuteKey, &byte, 1, track);
    return byte != 0;
}

// ---- Savers ----

void MVPPersistence::saveMovieAudioGain(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceAudioGainKey, movie.gain());
}
void MVPPersistence::saveMovieAudioTreble(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceAudioTrebleKey, movie.treble());
}
void MVPPersistence::saveMovieAudioBass(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceAudioBassKey, movie.bass());
}
void MVPPersistence::saveMovieAudioBalance(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceAudioBalanceKey, movie.balance());
}
void MVPPersistence::saveMovieAudioPitchShift(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceAudioPitchShiftKey, movie.pitch());
}
void MVPPersistence::saveMovieAudioMute(MVMovie& movie)
{
    uint8_t byte = movie.isMuted() ? 1 : 0;
    setMovieMetaDataItemValue(&byte, 1, MVPPersistenceAudioMuteKey, MVPPersistenceRawDataType, movie);
}
void MVPPersistence::saveMovieBrightness(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceVisualBrightnessKey, movie.visualBrightness());
}
void MVPPersistence::saveMovieColor(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceVisualColorKey, movie.visualSaturation());
}
void MVPPersistence::saveMovieTint(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceVisualTintKey, movie.visualHue());
}
void MVPPersistence::saveMovieContrast(MVMovie& movie)
{
    writeMovieFloat(movie, MVPPersistenceVisualContrastKey, movie.visualContrast());
}
void MVPPersistence::saveTrackAudioGain(MVTrack& track)
{
    writeTrackFloat(track, MVPPersistenceAudioGainKey, track.gain());
}
void MVPPersistence::saveTrackAudioTreble(MVTrack& track)
{
    writeTrackFloat(track, MVPPersistenceAudioTrebleKey, track.treble());
}
void MVPPersistence::saveTrackAudioBass(MVTrack& track)
{
    writeTrackFloat(track, MVPPersistenceAudioBassKey, track.bass());
}
void MVPPersistence::saveTrackAudioBalance(MVTrack& track)
{
    writeTrackFloat(track, MVPPersistenceAudioBalanceKey, trackBalance(track));
}
void MVPPersistence::saveTrackAudioMute(MVTrack& track)
{
    uint8_t byte = track.isMuted() ? 1 : 0;
    setTrackMetaDataItemValue(&byte, 1, MVPPersistenceAudioMuteKey, MVPPersistenceRawDataType, track);
}

void MVPPersistence::saveMovieLooping(MVMovie& movie)
{
    if (movie.loopingMode() != MVMovieLoopingMode::None) {
        uint8_t bytes[4]
            = { 0, 0, 0, uint8_t(movie.loopingMode() == MVMovieLoopingMode::BackAndForth ? 1 : 0) };
        setDefaultMovieMetaDataItemValue(bytes, 4, "LOOP", MVPPersistenceRawDataType, movie);
    } else {
        setDefaultMovieMetaDataItemValue(nullptr, 0, "LOOP", MVPPersistenceRawDataType, movie);
    }
}

void MVPPersistence::saveMoviePlayOnlySelection(MVMovie& movie)
{
    writeUserDataByte(movie, "SelO", movie.playsSelectionOnly());
}

void MVPPersistence::saveMoviePlayAllFrames(MVMovie& movie)
{
    writeUserDataByte(movie, "AllF", movie.playsAllFrames());
}

void MVPPersistence::saveMovieLocation(MVPMovieDocument& document)
{
    auto movie = document.movie();
    auto screens = HXScreen::screens();
    auto window = document.movieWindow();
    if (!movie || screens.empty() || !window)
        return;
    // The first screen is the main display: its top-left corner is the origin of display coordinates.
    HXRect s = screens.front().frame();
    HXRect d { { s.origin.x, 0 }, s.size };
    HXRect w = window->frame();
    int16_t left = truncatedShort(w.origin.x);
    int16_t top = truncatedShort(d.size.height - (w.origin.y + w.size.height + s.origin.y) + d.origin.y);
    uint8_t bytes[4];
    putU16(bytes, uint16_t(top));
    putU16(bytes + 2, uint16_t(left));
    setDefaultMovieMetaDataItemValue(bytes, 4, "WLOC", MVPPersistenceRawDataType, *movie);
}

void MVPPersistence::saveMoviePrintToVideo(MVPMovieDocument& document)
{
    auto movie = document.movie();
    if (!movie)
        return;
    const auto& settings = document.persistentFullscreenSettings();
    if (!settings.size && !settings.slideShowMode && !settings.autoPresent)
        return;
    uint16_t size = 3;
    if (settings.size) {
        auto value = uint16_t(int16_t(*settings.size));
        if (value <= 4)
            size = value;
    }
    uint8_t bytes[8] = {};
    putU16(bytes, size);
    bytes[6] = settings.slideShowMode.value_or(false) ? 1 : 0;
    bytes[7] = settings.autoPresent.value_or(false) ? 1 : 0;
    setDefaultMovieMetaDataItemValue(bytes, 8, "ptv ", MVPPersistenceRawDataType, *movie);
}

void MVPPersistence::saveMoviePTVBackgroundColor(MVPMovieDocument& document)
{
    auto movie = document.movie();
    const auto& settings = document.persistentFullscreenSettings();
    if (!movie || !settings.color)
        return;
    HXColor rgb = settings.color->colorUsingSpace(HXColor::Space::CalibratedRGB);
    auto component = [](double value) { return uint16_t(std::clamp(value, 0.0, 1.0) * 65535); };
    uint8_t bytes[6];
    putU16(bytes, component(rgb.redComponent()));
    putU16(bytes + 2, component(rgb.greenComponent()));
    putU16(bytes + 4, component(rgb.blueComponent()));
    setDefaultMovieMetaDataItemValue(bytes, 6, "ptvc", MVPPersistenceRawDataType, *movie);
}

void MVPPersistence::saveMoviePTVDisplayID(MVPMovieDocument& document)
{
    auto movie = document.movie();
    const auto& settings = document.persistentFullscreenSettings();
    if (!movie || !settings.captureAllDisplays)
        return;
    writeUserDataByte(*movie, "ptva", *settings.captureAllDisplays);
}

std::string MVPPersistence::playerVersionString()
{
    auto bundle = HXBundle::mainBundle();
    std::string build
        = buildVersion(bundle ? bundle->bundlePath() + "/version.plist" : std::string(), bundle.get());
    return build + " (" + bundleVersion(bundle.get()) + ")";
}

std::string MVPPersistence::frameworkVersionString()
{
    auto bundle = HXBundle::bundleWithIdentifier("com.zantrel.Movara");
    std::string build
        = buildVersion(bundle ? bundle->resourcePath() + "/version.plist" : std::string(), bundle.get());
    std::string version = bundleVersion(bundle.get());
    std::string name, osVersion, osBuild;
    systemVersion(name, osVersion, osBuild);
    char number[16];
    std::snprintf(number, sizeof number, "0x%x", avformat_version());
    return build + " (" + version + ") " + number + " (" + name + ", " + osVersion + ", " + osBuild + ")";
}

void MVPPersistence::saveVersionStamps(MVMovie& movie)
{
    std::string player = playerVersionString();
    std::string framework = frameworkVersionString();
    setMovieMetaDataItemValue(
        player.data(), player.size(), MVPPersistencePlayerVersionKey, MVPPersistenceUTF8DataType, movie);
    setMovieMetaDataItemValue(framework.data(), framework.size(), MVPPersistenceFrameworkVersionKey,
        MVPPersistenceUTF8DataType, movie);
}

void MVPPersistence::applyStoredPlaybackModes(MVMovie& movie)
{
    const auto& userData = movie.userData();
    if (auto loop = MVUserDataGetItem(userData, MVFourCC("LOOP"), 1); loop && loop->size() >= 4) {
        uint32_t mode = uint32_t((*loop)[0]) << 24 | uint32_t((*loop)[1]) << 16 | uint32_t((*loop)[2]) << 8
            | (*loop)[3];
        movie.setLoopingMode(mode == 1 ? MVMovieLoopingMode::BackAndForth : MVMovieLoopingMode::Loop);
    }
    if (auto selection = MVUserDataGetItem(userData, MVFourCC("SelO"), 1); selection && !selection->empty())
        movie.setPlaysSelectionOnly((*selection)[0] != 0);
    if (auto allFrames = MVUserDataGetItem(userData, MVFourCC("AllF"), 1); allFrames && !allFrames->empty())
        movie.setPlaysAllFrames((*allFrames)[0] != 0);
}

// ---- Whole movie ----

void MVPPersistence::saveMetaDataItemsFromMovie(MVPMovieDocument& document)
{
    auto movie = document.movie();
    if (!movie)
        return;
    saveMovieLocation(document);
    saveMovieLooping(*movie);
    saveMoviePlayOnlySelection(*movie);
    saveMoviePlayAllFrames(*movie);
    saveMoviePrintToVideo(document);
    saveMoviePTVBackgroundColor(document);
    saveMoviePTVDisplayID(document);
    if (movie->hasAudio()) {
        saveMovieAudioGain(*movie);
        saveMovieAudioTreble(*movie);
        saveMovieAudioBass(*movie);
        saveMovieAudioBalance(*movie);
        saveMovieAudioPitchShift(*movie);
        saveMovieAudioMute(*movie);
    }
    if (movie->hasVideo()) {
        saveMovieBrightness(*movie);
        saveMovieColor(*movie);
        saveMovieTint(*movie);
        saveMovieContrast(*movie);
    }
    for (const auto& track : movie->tracksOfMediaType(MVFourCC("soun"))) {
        saveTrackAudioGain(*track);
        saveTrackAudioTreble(*track);
        saveTrackAudioBass(*track);
        saveTrackAudioBalance(*track);
        saveTrackAudioMute(*track);
    }
    saveVersionStamps(*movie);
}

void MVPPersistence::applyMetaDataItemsToMovie(MVPMovieDocument& document)
{
    auto movie = document.movie();
    if (!movie)
        return;
    MVMovie& m = *movie;
    if (m.hasAudio()) {
        if (hasMovieMetaDataItem(MVPPersistenceAudioGainKey, m))
            m.setGain(movieAudioGain(m));
        if (hasMovieMetaDataItem(MVPPersistenceAudioTrebleKey, m))
            m.setTreble(movieAudioTreble(m));
        if (hasMovieMetaDataItem(MVPPersistenceAudioBassKey, m))
            m.setBass(movieAudioBass(m));
        if (hasMovieMetaDataItem(MVPPersistenceAudioBalanceKey, m))
            m.setBalance(movieAudioBalance(m));
        if (hasMovieMetaDataItem(MVPPersistenceAudioPitchShiftKey, m))
            m.setPitch(movieAudioPitchShift(m));
        if (hasMovieMetaDataItem(MVPPersistenceAudioMuteKey, m))
            m.setMuted(movieAudioMute(m));
    }
    if (m.hasVideo()) {
        if (hasMovieMetaDataItem(MVPPersistenceVisualBrightnessKey, m))
            m.setVisualBrightness(movieBrightness(m));
        if (hasMovieMetaDataItem(MVPPersistenceVisualColorKey, m))
            m.setVisualSaturation(movieColor(m));
        if (hasMovieMetaDataItem(MVPPersistenceVisualTintKey, m))
            m.setVisualHue(movieTint(m));
        if (hasMovieMetaDataItem(MVPPersistenceVisualContrastKey, m))
            m.setVisualContrast(movieContrast(m));
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVMovieEditedNotification, movie));
    }
    for (const auto& track : m.tracksOfMediaType(MVFourCC("soun"))) {
        MVTrack& t = *track;
        if (hasTrackMetaDataItem(MVPPersistenceAudioGainKey, t))
            t.setGain(trackAudioGain(t));
        if (hasTrackMetaDataItem(MVPPersistenceAudioTrebleKey, t))
            t.setTreble(trackAudioTreble(t));
        if (hasTrackMetaDataItem(MVPPersistenceAudioBassKey, t))
            t.setBass(trackAudioBass(t));
        if (hasTrackMetaDataItem(MVPPersistenceAudioBalanceKey, t))
            setTrackBalance(t, trackAudioBalance(t));
        if (hasTrackMetaDataItem(MVPPersistenceAudioMuteKey, t))
            t.setMuted(trackAudioMute(t));
    }
}
