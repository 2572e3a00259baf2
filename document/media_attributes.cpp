#include "document/media_attributes.h"

#include "document/movie_additions.h"
#include "document/movie_document.h"
#include "core/time_strings.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <map>

namespace MVPMediaAttributes {

namespace {

constexpr const char* kMovieInfoTable = "MovieInfo";

std::string infoString(const char* key)
{
    return HXLocalizedStringFromTable(key, kMovieInfoTable);
}

std::string printf1(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string sizeText(HXSize size)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d x %d", int(size.width), int(size.height));
    return buffer;
}

void replaceAll(std::string& text, const std::string& marker, const std::string& value)
{
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size()))
        text.replace(at, marker.size(), value);
}

std::string localizedDecimalPoint(std::string text)
{
    const char* separator = std::localeconv()->decimal_point;
    if (separator && std::string(separator) != ".")
        replaceAll(text, ".", separator);
    return text;
}

std::shared_ptr<MVTrack> firstEnabledVideoTrack(const MVMovie& movie)
{
    for (const auto& track : movie.tracks())
        if (track->isEnabled() && track->isVisual() && track->media() && track->media()->sampleCount() > 0)
            return track;
    return nullptr;
}

bool hasFrameRate(const MVMovie& movie)
{
    return firstEnabledVideoTrack(movie) != nullptr;
}

// Codec names of the sample formats the info window describes; others come from the decoding library.
std::string codecName(const MVSampleDescription& description, uint32_t mediaType)
{
    static const std::map<uint32_t, const char*> names = {
        { MVFourCC("avc1"), "H.264" },
        { MVFourCC("avc3"), "H.264" },
        { MVFourCC("hvc1"), "HEVC" },
        { MVFourCC("hev1"), "HEVC" },
        { MVFourCC("mp4v"), "MPEG-4 Video" },
        { MVFourCC("jpeg"), "Photo - JPEG" },
        { MVFourCC("mjpa"), "Motion JPEG A" },
        { MVFourCC("mjpb"), "Motion JPEG B" },
        { MVFourCC("png "), "PNG" },
        { MVFourCC("mp4a"), "AAC" },
        { MVFourCC(".mp3"), "MPEG Layer 3" },
        { MVFourCC("ac-3"), "AC3" },
        { MVFourCC("lpcm"), "Linear PCM" },
        { MVFourCC("sowt"), "Linear PCM" },
        { MVFourCC("twos"), "Linear PCM" },
        { MVFourCC("in24"), "Linear PCM" },
        { MVFourCC("in32"), "Linear PCM" },
        { MVFourCC("fl32"), "Linear PCM" },
        { MVFourCC("fl64"), "Linear PCM" },
        { MVFourCC("raw "), "Linear PCM" },
        { MVFourCC("tx3g"), "Timed Text" },
        { MVFourCC("text"), "Text" },
    };
    if (auto it = names.find(description.format); it != names.end())
        return it->second;
    if (auto configuration = MVDecoderConfigurationForDescription(description, mediaType, nullptr)) {
        if (const AVCodecDescriptor* codec = avcodec_descriptor_get(AVCodecID(configuration->codecID)))
            return codec->long_name ? codec->long_name : codec->name;
    }
    return MVStringForOSType(description.format);
}

const MVSampleDescription* firstDescription(const MVTrack& track)
{
    if (!track.media() || track.media()->sampleDescriptions().empty())
        return nullptr;
    return &track.media()->sampleDescriptions().front();
}

std::string trackCodecName(const MVTrack& track)
{
    const MVSampleDescription* description = firstDescription(track);
    return description ? codecName(*description, track.mediaType()) : std::string();
}

// The channel count an MPEG-4 audio configuration ('esds') states; 0 when it states none. Files often
// leave the count of the sample description at 2 whatever the stream holds.
int mpeg4AudioChannels(const MVSampleDescription& description)
{
    auto esds = MVSampleDescriptionExtension(description, MVFourCC("esds"));
    if (!esds)
        return 0;
    auto stream = MVParseElementaryStreamDescriptor(*esds);
    if (!stream)
        return 0;
    const MVBytes& config = stream->decoderSpecificInfo;
    size_t bit = 0;
    auto read = [&config, &bit](int count) -> int {
        int value = 0;
        for (int i = 0; i < count; ++i, ++bit) {
            if (bit / 8 >= config.size())
                return -1;
            value = (value << 1) | ((config[bit / 8] >> (7 - bit % 8)) & 1);
        }
        return value;
    };
    int objectType = read(5);
    if (objectType == 31)
        objectType = 32 + read(6);
    int frequencyIndex = read(4);
    if (frequencyIndex == 15)
        read(24);
    int channelConfiguration = read(4);
    if (objectType < 0 || channelConfiguration <= 0)
        return 0;
    static const int channels[] = { 0, 1, 2, 3, 4, 5, 6, 8 };
    return channelConfiguration < 8 ? channels[channelConfiguration] : 0;
}

// The codec's name, then its channels and rate with the locale's decimal separator.
std::string localizedAudioFormat(const std::string& codec, int channels, double rate)
{
    return codec + localizedDecimalPoint(MVAudioFormatSummary({}, channels, rate));
}

std::string audioFormatString(const MVTrack& track)
{
    const MVSampleDescription* description = firstDescription(track);
    if (!description)
        return {};
    std::string text = codecName(*description, track.mediaType());
    if (auto sound = MVParseSoundSampleDescription(*description)) {
        int channels = sound->channelCount;
        double rate = sound->sampleRate;
        // Compressed formats often leave the fields of the description at their defaults; the decoder
        // configuration reads the codec's own.
        if (auto configuration
            = MVDecoderConfigurationForDescription(*description, track.mediaType(), nullptr)) {
            if (configuration->channelCount > 0)
                channels = configuration->channelCount;
            if (configuration->sampleRate > 0)
                rate = configuration->sampleRate;
        }
        if (int stated = mpeg4AudioChannels(*description); stated > 0)
            channels = stated;
        return localizedAudioFormat(text, channels, rate);
    }
    return text;
}

std::string videoFormatString(const MVTrack& track)
{
    const MVSampleDescription* description = firstDescription(track);
    if (!description)
        return {};
    std::string text = codecName(*description, track.mediaType());
    if (auto video = MVParseVideoSampleDescription(*description);
        video && video->width > 0 && video->height > 0)
        text += ", " + sizeText({ double(video->width), double(video->height) });
    return text;
}

bool isTrackOfInterestForFormat(const MVTrack& track)
{
    static const uint32_t types[] = { MVFourCC("soun"), MVFourCC("musi"), MVFourCC("vtrl"), MVFourCC("text"),
        MVFourCC("vide"), MVFourCC("flsh"), MVFourCC("strm") };
    return std::find(std::begin(types), std::end(types), track.mediaType()) != std::end(types);
}

// The annotation types in the order the info window lists them, with the user-data code and the last
// component of the reverse-DNS key that hold each.
struct AnnotationType {
    const char* userDataCode; // '©' codes as the annotations map writes them
    const char* keySuffix;
};

const std::vector<AnnotationType>& annotationTypes()
{
    static const std::vector<AnnotationType> types = {
        { "\xC2\xA9"
          "cpy",
            "copyright" },
        { "\xC2\xA9"
          "inf",
            "information" },
        { "\xC2\xA9"
          "ART",
            "artist" },
        { "\xC2\xA9"
          "prf",
            "performer" },
        { "\xC2\xA9"
          "alb",
            "album" },
        { "\xC2\xA9"
          "aut",
            "author" },
        { "\xC2\xA9"
          "com",
            "composer" },
        { "\xC2\xA9"
          "wrt",
            "writer" },
        { "\xC2\xA9"
          "dir",
            "director" },
        { "\xC2\xA9"
          "prd",
            "producer" },
        { "\xC2\xA9"
          "des",
            "description" },
        { "\xC2\xA9"
          "cmt",
            "comment" },
    };
    return types;
}

// Annotation texts by type index.
void addAnnotations(
    std::map<size_t, std::string>& out, const MVUserData& userData, const MVMetadata& metadata)
{
    const auto& types = annotationTypes();
    auto texts = MVUserDataAnnotations(userData);
    for (size_t i = 0; i < types.size(); ++i) {
        if (auto it = texts.find(types[i].userDataCode); it != texts.end() && !it->second.empty())
            out[i] = it->second;
    }
    for (const auto& item : metadata.items) {
        if (item.key.keyNamespace != MVFourCC("mdta") || item.values.empty())
            continue;
        std::string key(item.key.keyValue.begin(), item.key.keyValue.end());
        std::string last
            = key.substr(key.find_last_of('.') == std::string::npos ? 0 : key.find_last_of('.') + 1);
        const MVMetadataValue& value = item.values.front();
        if (value.dataType != MVMetadataDataTypeUTF8 || value.bytes.empty())
            continue;
        for (size_t i = 0; i < types.size(); ++i)
            if (last == types[i].keySuffix)
                out[i] = std::string(value.bytes.begin(), value.bytes.end());
    }
}

} // namespace

std::vector<MVPAttributePair> makeRows()
{
    static const char* labels[RowCount] = { "sourceLabel", "formatLabel", "fpsLabel", "playingFPSLabel",
        "dataSizeLabel", "dataRateLabel", "currentTimeLabel", "durationLabel", "normalSizeLabel",
        "currentSizeLabel", "bitRateLabel", "qualityLabel", nullptr, nullptr };
    std::vector<MVPAttributePair> rows;
    for (int i = 0; i < RowCount; ++i) {
        if (i == VisualContextRow)
            rows.push_back(
                MVPAttributePair::attributePairWithLabel(HXLocalizedString("visualContexts"), std::nullopt));
        else if (labels[i])
            rows.push_back(MVPAttributePair::attributePairWithLabel(infoString(labels[i]), std::nullopt));
        else
            rows.push_back({});
    }
    return rows;
}

bool isLongerThanOneSecond(const MVMovie& movie)
{
    return movie.durationValue() > int64_t(movie.timeScale());
}

bool isStreaming(const MVMovie& movie)
{
    return movie.isStreaming();
}

double staticFrameRate(const MVMovie& movie)
{
    if (movie.isVRMovie() || !hasFrameRate(movie) || !movie.hasDuration() || !isLongerThanOneSecond(movie))
        return 0;
    auto track = firstEnabledVideoTrack(movie);
    const auto& media = *track->media();
    if (media.duration() <= 0 || media.timeScale() <= 0)
        return 0;
    return double(media.sampleCount()) * media.timeScale() / double(media.duration());
}

double dynamicFrameRate(const MVMovie& movie)
{
    return staticFrameRate(movie);
}

std::string frameRateText(double rate)
{
    if (std::ceil(rate) == std::floor(rate))
        return localizedDecimalPoint(printf1("%.0f", rate));
    return localizedDecimalPoint(printf1("%3.2f", rate));
}

std::optional<std::string> sourceString(const MVMovie& movie)
{
    if (auto url = movie.URL(); url && !url->isFileURL())
        return url->absoluteString();
    if (!movie.fileName().empty())
        return movie.fileName();
    std::string name = movie.displayName();
    return name.empty() ? std::nullopt : std::optional<std::string>(name);
}

std::string trackFormatString(const MVMovie& movie, const MVTrack& track)
{
    uint32_t type = track.mediaType();
    if (type == MVFourCC("soun"))
        return audioFormatString(track);
    if (type == MVFourCC("vide"))
        return videoFormatString(track);
    if (type == MVFourCC("text"))
        return MVMovieHasChapters(movie) ? MVPMovieAdditions::chapterFormatString() : std::string();
    return trackCodecName(track);
}

std::optional<std::string> formatString(const MVMovie& movie, const Context& context)
{
    std::string text;
    auto addLine = [&text](const std::string& line) {
        if (line.empty())
            return;
        if (!text.empty())
            text += "\n";
        text += line;
    };
    for (const auto& track : movie.tracks()) {
        if (!track->isEnabled() || !isTrackOfInterestForFormat(*track))
            continue;
        uint32_t type = track->mediaType();
        if (type == MVFourCC("strm")) {
            // One line per stream: sound as its format, pictures in the template with the movie's size.
            for (const auto& stream : track->streams()) {
                if (MVPStreamAdditions::isAudio(*stream)) {
                    const auto& d = stream->description();
                    addLine(localizedAudioFormat(d.codecName, d.channelCount, d.sampleRate));
                } else if (MVPStreamAdditions::isVideo(*stream)) {
                    std::string line = infoString("videoFormatForMPEGString");
                    bool hasSize = context.naturalSize.width > 0 && context.naturalSize.height > 0;
                    std::string codec = stream->videoFormatString();
                    replaceAll(line, "^C", codec.empty() ? infoString("unknown") : codec);
                    replaceAll(line, "^S", hasSize ? sizeText(context.naturalSize) : infoString("unknown"));
                    addLine(line);
                } else {
                    addLine(MVPStreamAdditions::codecName(*stream));
                }
            }
        } else {
            addLine(trackFormatString(movie, *track));
        }
    }
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return std::nullopt;
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::optional<std::string> fpsString(const MVMovie& movie)
{
    double rate = staticFrameRate(movie);
    if (!hasFrameRate(movie) || !(rate > 0))
        return std::nullopt;
    return frameRateText(rate);
}

std::optional<std::string> playingFPSString(const MVMovie& movie)
{
    double rate = staticFrameRate(movie);
    if (!hasFrameRate(movie) || !(rate > 0))
        return std::nullopt;
    if (!movie.isPlaying())
        return infoString("playingFPS");
    return frameRateText(dynamicFrameRate(movie));
}

std::optional<std::string> dataSizeString(const MVMovie& movie)
{
    if (isStreaming(movie))
        return std::nullopt;
    return MVPMovieAdditions::dataSizeString(movie);
}

std::optional<std::string> dataRateString(const MVMovie& movie)
{
    if (movie.isVRMovie() || isStreaming(movie) || movie.dataSize() == 0 || !movie.hasDuration()
        || !isLongerThanOneSecond(movie))
        return std::nullopt;
    return MVPMovieAdditions::dataRateString(movie);
}

std::optional<std::string> durationString(const MVMovie& movie, const Context& context)
{
    if (movie.isVRMovie() || isStreaming(movie) || !movie.hasDuration() || !isLongerThanOneSecond(movie))
        return std::nullopt;
    if (context.timeModeTC)
        return MVPTimeInfoString(movie.duration(), float(staticFrameRate(movie)));
    return MVPMovieAdditions::durationStringForInfoPanel(movie);
}

std::optional<std::string> currentTimeString(const MVMovie& movie, const Context& context)
{
    if (movie.isVRMovie() || !movie.hasDuration() || !isLongerThanOneSecond(movie))
        return std::nullopt;
    if (context.timeModeTC)
        return MVPTimeInfoString(movie.currentTime(), float(staticFrameRate(movie)));
    return MVPMovieAdditions::currentTimeStringForInfoPanel(movie);
}

std::optional<std::string> normalSizeString(const Context& context)
{
    if (context.naturalSize.width == 0 && context.naturalSize.height == 0)
        return std::nullopt;
    return sizeText(context.naturalSize) + " " + infoString("pixels");
}

bool isNaturalSizeAtScale(HXSize size, HXSize naturalSize, double scale)
{
    constexpr double slack = 1e-6;
    auto side = [&](double shown, double natural) {
        double scaled = natural * scale;
        return std::fabs(shown - scaled) < slack || std::fabs(shown - std::round(scaled)) < slack;
    };
    return side(size.width, naturalSize.width) && side(size.height, naturalSize.height);
}

std::string stringForMovieDisplaySize(HXSize size, HXSize naturalSize)
{
    const char* note = nullptr;
    if (isNaturalSizeAtScale(size, naturalSize, 1))
        note = "actualSize";
    else if (isNaturalSizeAtScale(size, naturalSize, 0.5))
        note = "halfSize";
    else if (isNaturalSizeAtScale(size, naturalSize, 2))
        note = "doubleSize";
    if (!note)
        return sizeText(size) + " " + infoString("pixels");
    // The template is filled by replacing its markers, never used as a format.
    std::string text = infoString("curPixels");
    replaceAll(text, "^0", sizeText(size));
    replaceAll(text, "^1", infoString(note));
    return text;
}

std::optional<std::string> currentSizeString(const Context& context)
{
    if (!(context.displayedSize.width > 0 && context.displayedSize.height > 0))
        return std::nullopt;
    return stringForMovieDisplaySize(context.displayedSize, context.naturalSize);
}

std::optional<std::string> bitRateString(const MVMovie& movie)
{
    if (!isStreaming(movie))
        return std::nullopt;
    return MVPMovieAdditions::bitRateString(movie);
}

std::optional<std::string> qualityString(const MVMovie& movie)
{
    if (!isStreaming(movie))
        return std::nullopt;
    if (!movie.isPlaying())
        return infoString("unknown");
    // The lost packets of the first stream of the first streaming track (16.16 percent; −1 unknown).
    double quality = 100.0;
    auto tracks = movie.tracksOfMediaType(MVMediaTypeStream);
    auto stream = tracks.empty() ? nullptr : tracks.front()->streamAtIndex(1);
    if (stream) {
        int32_t lost = stream->packetsLostPercent();
        quality = lost == -1 ? -1.0 : 100.0 - double(lost) / 65536.0;
    }
    std::string text = infoString("percent");
    replaceAll(text, "^0", printf1("%3.2f", quality));
    return text;
}

std::optional<std::string> visualContextString(const MVMovie& movie)
{
    auto& keys = MVMediaKeys::mediaKeys();
    auto info = keys.mediaKeysForType("MVPlayerVisualContextInfo");
    if (info.empty() || info.front() != "enable" || !movie.hasVideo())
        return std::nullopt;
    auto context = keys.mediaKeysForType("MVKitVisualContext");
    std::string value = context.empty() ? std::string() : context.front();
    // Pictures are always drawn through a visual context here.
    std::string text = HXLocalizedString("usingVisualContext");
    text += "\r";
    text += HXLocalizedString("visualContextsMediaKeySetTo");
    text += "\"" + value + "\" -> ";
    text += HXLocalizedString(value == "disable" ? "disabled" : "enabled");
    return text;
}

std::vector<std::string> annotationStrings(const MVMovie& movie)
{
    std::map<size_t, std::string> byType;
    addAnnotations(byType, movie.userData(), movie.metadata());
    for (const auto& track : movie.tracks()) {
        if (track->isEnabled()
            && (isTrackOfInterestForFormat(*track) || MVPMovieAdditions::isTrackOfInterest(movie, *track)))
            addAnnotations(byType, track->userData(), track->metadata());
    }
    std::vector<std::string> strings;
    for (const auto& [index, text] : byType)
        strings.push_back(text);
    return strings;
}

} // namespace MVPMediaAttributes

// ---- The document's rows ----

namespace {

MVPMediaAttributes::Context contextFor(const MVPMovieDocument& document)
{
    return { document.naturalSize(), document.displayedMovieSize(), document.isTimeModeTC() };
}

void postAttributesChanged(MVPMovieDocument& document)
{
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(kMVPMediaAttributesHaveChangedNotification, document.shared_from_this()));
}

} // namespace

void MVPMovieDocument::updateAttributes()
{
    if (_attributes.empty())
        _attributes = MVPMediaAttributes::makeRows();
    updateStaticAttributes();
    updateDynamicAttributes();
}

void MVPMovieDocument::updateStaticAttributes()
{
    if (_attributes.empty())
        _attributes = MVPMediaAttributes::makeRows();
    if (_movie) {
        auto context = contextFor(*this);
        const MVMovie& movie = *_movie;
        _attributes[MVPMediaAttributes::SourceRow].setValue(MVPMediaAttributes::sourceString(movie));
        _attributes[MVPMediaAttributes::FormatRow].setValue(MVPMediaAttributes::formatString(movie, context));
        _attributes[MVPMediaAttributes::FPSRow].setValue(MVPMediaAttributes::fpsString(movie));
        _attributes[MVPMediaAttributes::DataSizeRow].setValue(MVPMediaAttributes::dataSizeString(movie));
        _attributes[MVPMediaAttributes::DataRateRow].setValue(MVPMediaAttributes::dataRateString(movie));
        _attributes[MVPMediaAttributes::DurationRow].setValue(
            MVPMediaAttributes::durationString(movie, context));
        _attributes[MVPMediaAttributes::NormalSizeRow].setValue(
            MVPMediaAttributes::normalSizeString(context));
        _attributes[MVPMediaAttributes::CurrentSizeRow].setValue(
            MVPMediaAttributes::currentSizeString(context));
        _attributes[MVPMediaAttributes::VisualContextRow].setValue(
            MVPMediaAttributes::visualContextString(movie));
        _annotationStrings = MVPMediaAttributes::annotationStrings(movie);
    } else {
        _annotationStrings.clear();
    }
    postAttributesChanged(*this);
}

void MVPMovieDocument::updateDynamicAttributes()
{
    if (_attributes.empty())
        _attributes = MVPMediaAttributes::makeRows();
    if (_movie) {
        auto context = contextFor(*this);
        const MVMovie& movie = *_movie;
        _attributes[MVPMediaAttributes::PlayingFPSRow].setValue(MVPMediaAttributes::playingFPSString(movie));
        _attributes[MVPMediaAttributes::CurrentTimeRow].setValue(
            MVPMediaAttributes::currentTimeString(movie, context));
        _attributes[MVPMediaAttributes::DurationRow].setValue(
            MVPMediaAttributes::durationString(movie, context));
        _attributes[MVPMediaAttributes::BitRateRow].setValue(MVPMediaAttributes::bitRateString(movie));
        _attributes[MVPMediaAttributes::QualityRow].setValue(MVPMediaAttributes::qualityString(movie));
    }
    postAttributesChanged(*this);
}

void MVPMovieDocument::updateCurrentSizeAttribute()
{
    if (_attributes.empty())
        _attributes = MVPMediaAttributes::makeRows();
    if (_movie)
        _attributes[MVPMediaAttributes::CurrentSizeRow].setValue(
            MVPMediaAttributes::currentSizeString(contextFor(*this)));
    postAttributesChanged(*this);
}

// ---- Forwards to the movie ----

int32_t MVPMovieDocument::timeScale() const
{
    return _movie ? _movie->timeScale() : 0;
}

int64_t MVPMovieDocument::loadState() const
{
    return _movie ? _movie->loadState() : 0;
}

int64_t MVPMovieDocument::dataSize() const
{
    return _movie ? _movie->dataSize() : 0;
}

bool MVPMovieDocument::isStreaming() const
{
    return _movie && MVPMediaAttributes::isStreaming(*_movie);
}

bool MVPMovieDocument::hasVideo() const
{
    return _movie && _movie->hasVideo();
}

bool MVPMovieDocument::hasDuration() const
{
    return _movie && _movie->hasDuration();
}

bool MVPMovieDocument::hasChapters() const
{
    return _movie && MVMovieHasChapters(*_movie);
}

MVTime MVPMovieDocument::duration() const
{
    return _movie ? _movie->duration() : MVMakeTime(0, 600);
}

float MVPMovieDocument::rate() const
{
    return _movie ? _movie->rate() : 0;
}

bool MVPMovieDocument::isPlaying() const
{
    return _movie && _movie->isPlaying();
}

bool MVPMovieDocument::hasFrameRate() const
{
    return _movie && MVPMediaAttributes::staticFrameRate(*_movie) > 0;
}

std::optional<std::string> MVPMovieDocument::sourceString() const
{
    return _movie ? MVPMediaAttributes::sourceString(*_movie) : std::nullopt;
}

std::optional<std::string> MVPMovieDocument::chapterFormatString() const
{
    if (!_movie || isStreaming() || !hasChapters())
        return std::nullopt;
    return MVPMovieAdditions::chapterFormatString();
}

std::shared_ptr<HXView> MVPMovieDocument::contentView() const
{
    auto window = movieWindow();
    return window ? window->contentView() : nullptr;
}
