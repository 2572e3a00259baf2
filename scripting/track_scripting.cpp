#include "scripting/track_scripting.h"

#include "core/matrix_array_additions.h"
#include "document/movie_document.h"
#include "inspectors/property_column_values.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/scripting_coercion.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/text_track_reader.h"
#include "platform/mvkit/track_geometry.h"
#include "scripting/model_annotation.h"
#include "scripting/model_frame.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/script_values.h"
#include "scripting/scripted_export.h"
#include "scripting/text_frame.h"
#include "scripting/track_samples.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <tuple>

namespace MVPTrackScripting {

using V = HXScriptValue;
using namespace MVPScriptValues;

namespace {

const HXScriptCoercionHandler& coercion()
{
    return HXScriptCoercionHandler::sharedCoercionHandler();
}

std::shared_ptr<MVTrack> shared(MVTrack& t)
{
    return t.shared_from_this();
}

// ---- Undo: what a script may change of a track, kept before a change and put back by the undo.

// The attributes the track keeps as given (hints, link, mask).
constexpr const char* kKeptAttributes[] = { MVTrackHrefAttribute, MVTrackMaskAttribute,
    MVTrackNeverPurgeTrackAttribute, MVTrackPreloadTrackAttribute, MVTrackSingleFieldVideoAttribute,
    MVTrackHighQualityVideoAttribute, MVTrackDeinterlaceVideoAttribute };
// The attributes kept in the media's information header.
constexpr const char* kHeaderAttributes[]
    = { MVTrackOperationColorAttribute, MVTrackTransferModeAttribute, MVTrackBalanceAttribute };

struct TrackSettings {
    MVTrackHeader header;
    float gain = 1, bass = 0, treble = 0;
    bool muted = false;
    uint16_t language = 0;
    MVUserData userData;
    std::vector<MVTrackEdit> edits;
    std::map<std::string, HXPropertyList> attributes;
    HXPropertyList chapterList;
};

TrackSettings settingsOf(const MVTrack& t)
{
    TrackSettings s { t.header(), t.gain(), t.bass(), t.treble(), t.isMuted(), t.language(), t.userData(),
        t.edits(), {}, t.attributeForKey(MVTrackChapterlistAttribute) };
    for (const char* key : kKeptAttributes)
        s.attributes[key] = t.attributeForKey(key);
    for (const char* key : kHeaderAttributes)
        if (auto v = t.attributeForKey(key); !v.isNull())
            s.attributes[key] = v;
    return s;
}

void applySettings(MVTrack& t, const TrackSettings& s)
{
    t.setEnabled(s.header.flags & MVTrackEnabledFlag);
    t.setLayer(s.header.layer);
    t.setAlternateGroup(s.header.alternateGroup);
    t.setVolume(float(s.header.volume) / 256.0f);
    t.setGain(s.gain);
    t.setBass(s.bass);
    t.setTreble(s.treble);
    t.setMuted(s.muted);
    t.setMatrix(s.header.matrix);
    t.setDimensions(s.header.width / 65536.0, s.header.height / 65536.0);
    t.setLanguage(s.language);
    t.userData() = s.userData;
    t.setEdits(s.edits);
    for (const auto& [key, value] : s.attributes)
        t.setAttributeForKey(value, key);
    t.setAttributeForKey(s.chapterList, MVTrackChapterlistAttribute);
}

using SavedSettings = std::vector<std::pair<std::weak_ptr<MVTrack>, TrackSettings>>;

// Registers, with the movie's undo manager, putting the tracks back as `saved` holds them (the undo
// registers the way back again, for redo).
void registerRestore(const std::shared_ptr<MVMovie>& movie, SavedSettings saved, const std::string& action)
{
    HXUndoManager* undo = movie ? movie->undoManager() : nullptr;
    if (!undo || !undo->isUndoRegistrationEnabled())
        return;
    std::weak_ptr<MVMovie> weakMovie = movie;
    undo->registerUndo(movie.get(), [weakMovie, saved, action] {
        auto m = weakMovie.lock();
        if (!m)
            return;
        SavedSettings current;
        for (const auto& [weak, settings] : saved)
            if (auto t = weak.lock())
                current.emplace_back(t, settingsOf(*t));
        registerRestore(m, std::move(current), action);
        for (const auto& [weak, settings] : saved)
            if (auto t = weak.lock())
                applySettings(*t, settings);
        m->movieChanged();
    });
    undo->setActionName(action);
}

// One change a script makes to `track` (and `others`): `apply` answers whether anything changed. A change
// is one step of the movie's undo and marks the movie changed, which the playing movie follows at once.
template<class F>
void change(MVTrack& track, const std::string& action, F apply,
    const std::vector<std::shared_ptr<MVTrack>>& others = {})
{
    auto movie = track.movie();
    SavedSettings saved { { shared(track), settingsOf(track) } };
    for (const auto& t : others)
        if (t && t.get() != &track)
            saved.emplace_back(t, settingsOf(*t));
    if (!apply())
        return;
    registerRestore(movie, std::move(saved), action);
    if (movie)
        movie->movieChanged();
}

// A setter that changes the track through `apply`.
template<class F> auto changing(const char* action, F apply)
{
    return [action, apply](MVTrack& t, const V& v, HXScriptCommand& command) {
        change(t, action, [&] { return apply(t, v, command); });
    };
}

// ---- Values of the track.

std::optional<MVVideoSampleDescription> videoDescription(const MVTrack& t)
{
    if (!t.media() || t.mediaType() != MVFourCC("vide") || t.media()->sampleDescriptions().empty())
        return std::nullopt;
    return MVParseVideoSampleDescription(t.media()->sampleDescriptions().front());
}

std::optional<MVSoundSampleDescription> soundDescription(const MVTrack& t)
{
    if (!t.media() || !t.hasAudio() || t.media()->sampleDescriptions().empty())
        return std::nullopt;
    return MVParseSoundSampleDescription(t.media()->sampleDescriptions().front());
}

std::array<uint16_t, 3> operationColor(const MVTrack& t)
{
    HXPropertyList c = t.attributeForKey(MVTrackOperationColorAttribute);
    std::array<uint16_t, 3> rgb {};
    if (c.isArray() && c.count() == 3)
        for (size_t i = 0; i < 3; ++i)
            rgb[i] = uint16_t(c[i].integerValue());
    return rgb;
}

bool setOperationColor(MVTrack& t, const std::array<uint16_t, 3>& rgb)
{
    // Only a video track's media header keeps a colour.
    if (t.attributeForKey(MVTrackOperationColorAttribute).isNull())
        return false;
    t.setAttributeForKey(HXPropertyList::Array { int64_t(rgb[0]), int64_t(rgb[1]), int64_t(rgb[2]) },
        MVTrackOperationColorAttribute);
    return true;
}

int64_t attributeTime(const MVTrack& t, const char* part)
{
    auto time = MVTimeFromString(t.attributeForKey(MVTrackRangeAttribute)[part].stringValue());
    return time && MVTimeIsNumeric(*time) ? MVTimeInScale(*time, t.timeScale()).timeValue : 0;
}

V trackList(const std::shared_ptr<MVTrack>& t)
{
    HXScriptValue::List list;
    if (t)
        list.emplace_back(reference(t));
    return V(std::move(list));
}

// The track a script named: the track itself, or the one track of a list of one.
std::shared_ptr<MVTrack> trackOfValue(const V& v)
{
    const V* item = &v;
    if (v.isList()) {
        if (v.list().size() != 1)
            return nullptr;
        item = &v.list().front();
    }
    if (item->isObject() && item->object().classDescription() == &classDescription())
        return item->object().as<MVTrack>();
    return nullptr;
}

// The next track of the same alternate group (the track's alternate); none outside a group.
std::shared_ptr<MVTrack> alternateOf(const MVTrack& t)
{
    auto movie = t.movie();
    if (!movie || t.alternateGroup() == 0)
        return nullptr;
    const auto& tracks = movie->tracks();
    auto it = std::find_if(tracks.begin(), tracks.end(), [&](const auto& e) { return e.get() == &t; });
    for (size_t n = 1; it != tracks.end() && n < tracks.size(); ++n) {
        const auto& other = tracks[(size_t(it - tracks.begin()) + n) % tracks.size()];
        if (other->alternateGroup() == t.alternateGroup())
            return other;
    }
    return nullptr;
}

bool isTextTrack(const MVTrack& t)
{
    return MVTextTrackReader::isTextMedia(t.mediaType());
}

// ---- Frames

// How the elements of a list of frames are made: frames (text frames in a text track), text frames, chapters.
using FrameFactory = HXScriptValue (*)(const std::shared_ptr<MVTrack>&, int32_t);

HXScriptValue::List framesOf(MVTrack& t, FrameFactory make)
{
    HXScriptValue::List list;
    auto track = shared(t);
    int64_t n = MVPTrackSamples::frameCount(t);
    list.reserve(size_t(n));
    for (int64_t i = 1; i <= n; ++i)
        list.push_back(make(track, int32_t(i)));
    return list;
}

// The samples of the first track of `path`'s movie with the same media as `track`, put in at `time`.
bool importFileSamples(MVTrack& track, const std::string& path, int64_t time, HXScriptCommand& command)
{
    HXError error;
    auto source = MVMovie::movieWithFile(path, &error);
    if (!source) {
        command.fail(
            HXScriptParameterError, "\u201c" + path + "\u201d is no movie: " + error.localizedDescription());
        return false;
    }
    auto tracks = source->tracksOfMediaType(track.mediaType());
    if (tracks.empty() || !tracks.front()->media()
        || tracks.front()->media()->timeScale() != track.media()->timeScale()) {
        command.fail(HXScriptParameterError,
            "\u201c" + path + "\u201d has no frames of this track\u2019s kind and timing.");
        return false;
    }
    const MVMedia& from = *tracks.front()->media();
    int64_t at = track.media()->appendSamplesCovering(from, 0, from.duration());
    return at >= 0 && track.insertMedia(time, at, from.duration());
}

// A text made into frames of the track at `time`: lines of text in a text track, the frames of a movie
// file of the same kind in others. Answers whether anything went in.
bool insertString(MVTrack& track, const std::string& text, int64_t time, HXScriptCommand& command)
{
    auto movie = track.movie();
    if (!movie || text.empty())
        return false;
    if (isTextTrack(track)) {
        // A frame's text is text, even when it reads like a path.
        return MVImportText(*movie, text, shared(track), time).durationAdded > 0;
    }
    auto before = movie->newEditState();
    if (!importFileSamples(track, command.absolutePath(text), time, command))
        return false;
    movie->registerEdit(std::move(before), "Insert Frames");
    return true;
}

V insertFrame(
    MVTrack& t, const V& value, std::optional<int64_t> index, HXScriptCommand& command, FrameFactory make)
{
    const int64_t count = MVPTrackSamples::frameCount(t);
    int64_t i = index.value_or(count);
    if (i < 0)
        i += count + 1;
    if (i < 0 || i > count) {
        command.fail(HXScriptNoSuchObjectError,
            "A frame goes in at a position from 1 to " + std::to_string(count + 1) + ".");
        return {};
    }
    V text = value;
    auto made = MVPModelFrameScripting::frameOfValue(value);
    if (made)
        text = made->payload();
    auto string = text.isPropertyList() && text.propertyList().isString()
        ? std::optional(text.propertyList().stringValue())
        : std::nullopt;
    if (!string) {
        command.fail(HXScriptCoercionError, "A frame is made from a text.");
        return {};
    }
    auto next = MVPTrackSamples::getIndInterestingTimeRange(t, i + 1);
    int64_t time = next.time >= 0 ? next.time : t.duration();
    if (!insertString(t, *string, time, command))
        return {};
    if (made) {
        // The frame the script made now stands for the frame its text became.
        made->finalizePayload(shared(t), int32_t(i + 1));
        return V(HXScriptReference(value.object().classDescription(), value.object().object()));
    }
    return make(shared(t), int32_t(i + 1));
}

void removeFrame(MVTrack& t, int64_t index, HXScriptCommand& command)
{
    auto range = MVPTrackSamples::getIndInterestingTimeRange(t, index + 1);
    auto movie = t.movie();
    if (range.time < 0 || !movie) {
        command.fail(HXScriptNoSuchObjectError, "The track has no frame " + std::to_string(index + 1) + ".");
        return;
    }
    auto before = movie->newEditState();
    MVPTrackSamples::deleteSegment(t, range.time, range.duration);
    movie->registerEdit(std::move(before), "Delete Frame");
}

HXScriptValue::List frameObjects(MVTrack& t)
{
    return framesOf(t, MVPModelFrameScripting::frame);
}

void setContents(MVTrack& t, const V& value, HXScriptCommand& command)
{
    auto items = coercion().coerce(value, "list");
    auto movie = t.movie();
    if (!items || !movie)
        return;
    auto before = movie->newEditState();
    HXUndoManager* undo = movie->undoManager();
    // One step of undo for the whole list, whatever each frame registers on the way.
    if (undo)
        undo->disableUndoRegistration();
    auto list = frameObjects(t);
    size_t i = 0;
    for (; i < list.size() && i < items->list().size() && !command.failed(); ++i)
        list[i].object().as<MVPModelFrame>()->setContents(items->list()[i], command);
    for (size_t k = i; k < items->list().size() && !command.failed(); ++k)
        insertFrame(t, items->list()[k], std::nullopt, command, MVPModelFrameScripting::frame);
    if (i < list.size() && !command.failed()) {
        int64_t from = list[i].object().as<MVPModelFrame>()->time();
        if (from >= 0)
            t.deleteSegment(from, t.duration() - from);
    }
    if (undo)
        undo->enableUndoRegistration();
    movie->registerEdit(std::move(before), "Track Contents");
}

// ---- Properties

void addIdentity(HXScriptClass<MVTrack>& c)
{
    c.getSet(
        "name", [](MVTrack& t) { return V(MVPTrackAdditions::stringForList(t)); }, "string",
        changing("Track Name", [](MVTrack& t, const V& v, HXScriptCommand&) {
            t.setAttributeForKey(v.propertyList(), MVTrackDisplayNameAttribute);
            return true;
        }));
    c.get("id", [](MVTrack& t) { return V(int64_t(t.trackID())); });
    c.get("type", [](MVTrack& t) { return V(HXStringFromFourCharCode(t.mediaType())); });
    c.get("kind", [](MVTrack& t) { return V(MVPTrackAdditions::mediaTypeName(t.mediaType())); });
    c.get("payload", [](MVTrack&) { return V(); });
    c.getSet(
        "trackEnabled", [](MVTrack& t) { return V(t.isEnabled()); }, "boolean",
        changing("Enable Track", [](MVTrack& t, const V& v, HXScriptCommand&) {
            if (t.isEnabled() == v.propertyList().boolValue())
                return false;
            t.setAttributeForKey(v.propertyList(), MVTrackEnabledAttribute);
            return true;
        }));
    c.getSet(
        "trackLayer", [](MVTrack& t) { return V(int64_t(t.layer())); }, "integer",
        changing("Track Layer", [](MVTrack& t, const V& v, HXScriptCommand&) {
            t.setAttributeForKey(
                HXPropertyList(std::clamp<int64_t>(v.propertyList().integerValue(), INT16_MIN, INT16_MAX)),
                MVTrackLayerAttribute);
            return true;
        }));
    c.getSet(
        "trackLanguage", [](MVTrack& t) { return V(languageName(t.language())); }, "any",
        changing("Track Language", [](MVTrack& t, const V& v, HXScriptCommand&) {
            std::optional<uint16_t> language;
            if (v.isPropertyList() && v.propertyList().isString())
                language = languageForName(v.propertyList().stringValue());
            else if (auto n = coercion().coerce(v, "integer"))
                language = uint16_t(n->propertyList().integerValue());
            if (!language)
                return false;
            t.setAttributeForKey(HXPropertyList(int64_t(*language)), MVTrackLanguageAttribute);
            return true;
        }));
    c.getSet(
        "trackHref", [](MVTrack& t) { return V(t.attributeForKey(MVTrackHrefAttribute).stringValue()); },
        "string", changing("Track Link", [](MVTrack& t, const V& v, HXScriptCommand&) {
            t.setAttributeForKey(v.propertyList(), MVTrackHrefAttribute);
            return true;
        }));
    c.getSet(
        "trackMask",
        [](MVTrack& t) {
            auto mask = MVTrackMaskData(t);
            return mask ? V(HXPropertyList(*mask)) : V();
        },
        "any", changing("Track Mask", [](MVTrack& t, const V& v, HXScriptCommand& command) {
            // The image itself, the path of an image file, or nothing (no mask).
            if (v.isMissing()
                || (v.isPropertyList() && v.propertyList().isString()
                    && v.propertyList().stringValue().empty())) {
                MVTrackClearMask(t);
                return true;
            }
            if (v.isPropertyList() && v.propertyList().isString()) {
                auto path = command.absolutePath(v.propertyList().stringValue());
                return MVTrackSetMaskWithDataRef(t, MVDataReference::dataReferenceWithReferenceToFile(path));
            }
            if (v.isPropertyList() && v.propertyList().isData()) {
                const auto& bytes = v.propertyList().dataValue().bytes;
                auto data = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
                return MVTrackSetMaskWithDataRef(t, MVDataReference::dataReferenceWithReferenceToData(data));
            }
            return false;
        }));
    for (auto [key, attribute] : { std::pair { "neverPurge", MVTrackNeverPurgeTrackAttribute },
             { "preload", MVTrackPreloadTrackAttribute }, { "singleField", MVTrackSingleFieldVideoAttribute },
             { "highQuality", MVTrackHighQualityVideoAttribute },
             { "deinterlaceFields", MVTrackDeinterlaceVideoAttribute } }) {
        std::string name = attribute;
        c.getSet(
            key, [name](MVTrack& t) { return V(t.attributeForKey(name).boolValue()); }, "boolean",
            changing("Track Setting", [name](MVTrack& t, const V& v, HXScriptCommand&) {
                t.setAttributeForKey(HXPropertyList(v.propertyList().boolValue()), name);
                return true;
            }));
    }
}

void addReferences(HXScriptClass<MVTrack>& c)
{
    c.getSet(
        "trackChapterlist", [](MVTrack& t) { return trackList(t.referenceTrack(MVFourCC("chap"), 1)); },
        "any",
        [](MVTrack& t, const V& v, HXScriptCommand&) {
            // A track or a list of one names the chapter track; any other list names none.
            bool isTrack = v.isObject() && v.object().classDescription() == &classDescription();
            if (!isTrack && !v.isList() && !(v.isPropertyList() && v.propertyList().isArray()))
                return;
            auto chapters = trackOfValue(v);
            if (chapters && chapters->movie() != t.movie())
                chapters = nullptr;
            change(t, "Chapter Track", [&] {
                t.setAttributeForKey(
                    HXPropertyList(int64_t(chapters ? chapters->trackID() : 0)), MVTrackChapterlistAttribute);
                return true;
            });
        });
    c.getSet(
        "trackAlternate", [](MVTrack& t) { return trackList(alternateOf(t)); }, "any",
        [](MVTrack& t, const V& v, HXScriptCommand&) {
            if (!v.isList())
                return;
            auto other = trackOfValue(v);
            auto movie = t.movie();
            if (!other || other.get() == &t || !movie || other->movie() != movie)
                return;
            change(t, "Alternate Track",
                [&] {
                    int16_t group = other->alternateGroup();
                    if (group == 0) {
                        for (const auto& e : movie->tracks())
                            group = std::max(group, e->alternateGroup());
                        group = int16_t(group + 1);
                        other->setAlternateGroup(group);
                    }
                    t.setAlternateGroup(group);
                    return true;
                },
                { other });
        });
}

void addPicture(HXScriptClass<MVTrack>& c)
{
    c.getSet(
        "trackDimensions", [](MVTrack& t) { return sizeValue(t.height(), t.width()); }, "any",
        changing("Track Size", [](MVTrack& t, const V& v, HXScriptCommand&) {
            auto p = pointFromValue(v);
            if (!p)
                return false;
            t.setAttributeForKey(
                HXPropertyList::Dictionary { { "width", double(p->second) }, { "height", double(p->first) } },
                MVTrackSourceDimensionsAttribute);
            return true;
        }));
    c.get("trackNaturalDimensions", [](MVTrack& t) {
        if (auto video = videoDescription(t))
            return sizeValue(video->height, video->width);
        return sizeValue(t.height(), t.width());
    });
    c.getSet(
        "trackPosition",
        [](MVTrack& t) {
            auto p = t.attributeForKey(MVTrackSourcePositionAttribute);
            return pointValue(p["y"].realValue(), p["x"].realValue());
        },
        "any", changing("Track Position", [](MVTrack& t, const V& v, HXScriptCommand&) {
            auto p = pointFromValue(v);
            if (!p)
                return false;
            t.setAttributeForKey(
                HXPropertyList::Dictionary { { "x", double(p->second) }, { "y", double(p->first) } },
                MVTrackSourcePositionAttribute);
            return true;
        }));
    c.getSet(
        "currentMatrix",
        [](MVTrack& t) { return V(HXPropertyList(HXArray_Additions::arrayForMatrixRecord(t.matrix()))); },
        "any", changing("Track Matrix", [](MVTrack& t, const V& v, HXScriptCommand&) {
            auto values = MVPMovieDocScripting::matrixFromValue(v);
            if (!values)
                return false;
            MVMatrixRecord record;
            record.values = *values;
            t.setMatrix(record);
            return true;
        }));
    c.getSet(
        "trackOperationColor", [](MVTrack& t) { return colorValue(operationColor(t)); }, "any",
        changing("Operation Color", [](MVTrack& t, const V& v, HXScriptCommand&) {
            // Anything but a colour is black.
            return setOperationColor(t, rgbFromValue(v).value_or(std::array<uint16_t, 3> {}));
        }));
    c.getSet(
        "transparency", [](MVTrack& t) { return V(int64_t(transparencyForColor(operationColor(t)))); },
        "real", changing("Transparency", [](MVTrack& t, const V& v, HXScriptCommand&) {
            uint16_t grey = greyForTransparency(v.propertyList().realValue());
            return setOperationColor(t, { grey, grey, grey });
        }));
    c.getSet(
        "trackTransferMode",
        [](MVTrack& t) {
            HXPropertyList mode = t.attributeForKey(MVTrackTransferModeAttribute);
            return codeValue(t.isVisual() && mode.isInteger() ? MapTransferModeToEnum(mode.integerValue())
                                                              : fourCC("tmuk"));
        },
        "code", changing("Transfer Mode", [](MVTrack& t, const V& v, HXScriptCommand&) {
            HXPropertyList current = t.attributeForKey(MVTrackTransferModeAttribute);
            int64_t mode = MapEnumToTransferMode(uint32_t(v.propertyList().integerValue()));
            // A mode the table does not know is no mode to draw with: it is left out.
            if (!t.isVisual() || !current.isInteger() || mode < 0 || current.integerValue() == mode)
                return false;
            t.setAttributeForKey(HXPropertyList(mode), MVTrackTransferModeAttribute);
            return true;
        }));
    c.get("videoDepth", [](MVTrack& t) {
        auto video = videoDescription(t);
        return V(int64_t(video ? video->depth : 0));
    });
    c.get("isVideoGrayScale", [](MVTrack& t) {
        auto video = videoDescription(t);
        return V(video && video->depth > 32);
    });
    c.get("visualCharacteristic", [](MVTrack& t) { return V(t.isVisual()); });
}

void addSound(HXScriptClass<MVTrack>& c)
{
    c.get("audioCharacteristic", [](MVTrack& t) { return V(t.hasAudio()); });
    c.getSet(
        "soundVolume", [](MVTrack& t) { return V(int64_t(int16Truncating(t.volume() * 256))); }, "integer",
        changing("Track Volume", [](MVTrack& t, const V& v, HXScriptCommand&) {
            int16_t value
                = int16_t(std::clamp<int64_t>(v.propertyList().integerValue(), INT16_MIN, INT16_MAX));
            t.setAttributeForKey(HXPropertyList(double(value) / 256.0), MVTrackVolumeAttribute);
            return true;
        }));
    c.getSet(
        "soundBalance",
        [](MVTrack& t) {
            return V(int64_t(int16Truncating(t.attributeForKey(MVTrackBalanceAttribute).realValue() * 128)));
        },
        "integer", changing("Track Balance", [](MVTrack& t, const V& v, HXScriptCommand&) {
            if (t.attributeForKey(MVTrackBalanceAttribute).isNull())
                return false;
            int64_t value = std::clamp<int64_t>(v.propertyList().integerValue(), -128, 128);
            t.setAttributeForKey(HXPropertyList(double(value) / 128.0), MVTrackBalanceAttribute);
            return true;
        }));
    // Bass and treble as the movie's are: 32 steps to a decibel, held to ±8 dB; gain linear; muting.
    auto shelving = [](float (MVTrack::*read)() const, void (MVTrack::*write)(float), const char* action) {
        return std::pair { [read](
                               MVTrack& t) { return V(int64_t(int16Truncating((t.*read)() * 256 * 0.125))); },
            changing(action, [read, write](MVTrack& t, const V& v, HXScriptCommand&) {
                float db = float(
                    double(std::clamp<int64_t>(v.propertyList().integerValue(), -256, 256)) / 256 * 8);
                if ((t.*read)() == db)
                    return false;
                (t.*write)(db);
                return true;
            }) };
    };
    auto [bass, setBass] = shelving(&MVTrack::bass, &MVTrack::setBass, "Track Bass");
    c.getSet("bassGain", bass, "integer", setBass);
    auto [treble, setTreble] = shelving(&MVTrack::treble, &MVTrack::setTreble, "Track Treble");
    c.getSet("trebleGain", treble, "integer", setTreble);
    c.getSet(
        "gain", [](MVTrack& t) { return V(double(t.gain())); }, "real",
        changing("Track Gain", [](MVTrack& t, const V& v, HXScriptCommand& command) {
            double gain = v.propertyList().realValue();
            if (!(gain >= 0) || !std::isfinite(gain)) {
                command.fail(HXScriptParameterError, "A gain is a number from 0 on.");
                return false;
            }
            if (t.gain() == float(gain))
                return false;
            t.setGain(float(gain));
            return true;
        }));
    c.getSet(
        "muted", [](MVTrack& t) { return V(t.isMuted()); }, "boolean",
        changing("Mute Track", [](MVTrack& t, const V& v, HXScriptCommand&) {
            if (t.isMuted() == v.propertyList().boolValue())
                return false;
            t.setMuted(v.propertyList().boolValue());
            return true;
        }));
    c.get("trackAudioSampleRate", [](MVTrack& t) {
        auto sound = soundDescription(t);
        return V(sound ? sound->sampleRate : 0.0);
    });
}

void addTiming(HXScriptClass<MVTrack>& c)
{
    c.get("trackDataRate", [](MVTrack& t) {
        // Bytes a second over the time the track lasts.
        int64_t duration = t.duration();
        if (!t.media() || duration <= 0)
            return V(int64_t(0));
        return V(int64_t(double(t.media()->dataSize()) * t.timeScale() / double(duration)));
    });
    // Only a streaming track of a playing movie has statistics, and movies here never stream: -1.
    auto streaming = [](MVTrack&) { return V(-1.0); };
    c.get("streamingBitRate", streaming);
    c.get("streamingQuality", streaming);
    c.getSet(
        "startTime", [](MVTrack& t) { return V(attributeTime(t, "time")); }, "integer",
        changing("Track Start", [](MVTrack& t, const V& v, HXScriptCommand& command) {
            int64_t start = v.propertyList().integerValue();
            if (start < 0) {
                command.fail(HXScriptParameterError, "A track cannot start before its movie.");
                return false;
            }
            auto movie = t.movie();
            if (movie && !mayGrowBy(*movie, timeDifference(start, attributeTime(t, "time")))) {
                command.fail(HXScriptParameterError, "A track cannot start that late.");
                return false;
            }
            HXPropertyList range = t.attributeForKey(MVTrackRangeAttribute);
            range.mutableDictionary()["time"]
                = HXPropertyList(MVStringFromTime(MVMakeTime(start, t.timeScale())));
            t.setAttributeForKey(range, MVTrackRangeAttribute);
            return true;
        }));
    c.get("duration", [](MVTrack& t) { return V(attributeTime(t, "duration")); });
}

// ---- Commands: the track's place in the movie, turned, scaled, skewed, moved and mirrored.

std::optional<std::pair<double, double>> pointArgument(HXScriptCommand& command, const char* key)
{
    if (!command.hasArgument(key))
        return std::nullopt;
    auto p = pointFromValue(command.argument(key));
    if (!p) {
        command.fail(HXScriptCoercionError, std::string("The argument \u201c") + key + "\u201d is a point.");
        return std::nullopt;
    }
    return std::pair { double(p->second), double(p->first) }; // (x, y)
}

template<class F> auto transforming(const char* action, F apply)
{
    return [action, apply](MVTrack& t, HXScriptCommand& command) {
        change(t, action, [&] { return apply(t, command); });
        return V();
    };
}

void addCommands(HXScriptClass<MVTrack>& c)
{
    c.command("rotateRight", transforming("Rotate", [](MVTrack& t, HXScriptCommand&) {
        MVTrackRotate(t, std::numbers::pi / 2);
        return true;
    }));
    c.command("rotateLeft", transforming("Rotate", [](MVTrack& t, HXScriptCommand&) {
        MVTrackRotate(t, -std::numbers::pi / 2);
        return true;
    }));
    c.command("rotate", transforming("Rotate", [](MVTrack& t, HXScriptCommand& command) {
        double radians = command.realArgument("By").value_or(0) * (std::numbers::pi / 180);
        auto around = pointArgument(command, "Around");
        if (command.failed())
            return false;
        if (around)
            MVTrackRotateAbout(t, radians, around->first, around->second);
        else
            MVTrackRotate(t, radians);
        return true;
    }));
    c.command("scale", transforming("Scale", [](MVTrack& t, HXScriptCommand& command) {
        double factor = command.realArgument("By").value_or(0);
        auto around = pointArgument(command, "Around").value_or(std::pair { 0.0, 0.0 });
        if (command.failed())
            return false;
        MVTrackTransformAbout(t, factor, 0, 0, factor, around.first, around.second);
        return true;
    }));
    c.command("skew", transforming("Skew", [](MVTrack& t, HXScriptCommand& command) {
        auto by = pointArgument(command, "By").value_or(std::pair { 0.0, 0.0 });
        auto around = pointArgument(command, "Around").value_or(std::pair { 0.0, 0.0 });
        if (command.failed())
            return false;
        MVTrackTransformAbout(t, 1, by.second, by.first, 1, around.first, around.second);
        return true;
    }));
    c.command("translate", transforming("Move", [](MVTrack& t, HXScriptCommand& command) {
        auto by = pointArgument(command, "By");
        if (!by)
            return false;
        MVTrackBox box = MVTrackDisplayedBox(t);
        MVTrackSetOffset(t, box.x + by->first, box.y + by->second);
        return true;
    }));
    c.command("flipHorizontal", transforming("Flip", [](MVTrack& t, HXScriptCommand&) {
        MVTrackFlipX(t);
        return true;
    }));
    c.command("flipVertical", transforming("Flip", [](MVTrack& t, HXScriptCommand&) {
        MVTrackFlipY(t);
        return true;
    }));
    // The track alone, exported as the movie's export command exports the movie.
    c.command("export", [](MVTrack& t, HXScriptCommand& command) {
        if (auto movie = t.movie())
            MVPScriptedExport::Export(command, movie, shared(t));
        return V();
    });
}

void addElements(HXScriptClass<MVTrack>& c)
{
    c.elements("annotationElements",
        [](MVTrack& t) { return MVPAnnotationScripting::annotationsOf(reference(shared(t))); });
    c.elementMake("annotationElements", "annotation",
        [](MVTrack& t, const V& v, std::optional<int64_t>, HXScriptCommand& command) {
            return MVPAnnotationScripting::insertAnnotation(reference(shared(t)), v, command);
        });
    c.elementRemove("annotationElements", [](MVTrack& t, int64_t index, HXScriptCommand& command) {
        MVPAnnotationScripting::removeAnnotation(reference(shared(t)), index, command);
    });
    // Three views of the same samples: their insertions and removals are the same too.
    const std::tuple<const char*, const char*, FrameFactory> kinds[]
        = { { "frames", "frame", MVPModelFrameScripting::frame },
              { "textFrames", "textFrame", MVPTextFrameScripting::textFrame },
              { "chapters", "chapter", MVPTextFrameScripting::chapter } };
    for (auto [key, kind, make] : kinds) {
        c.elements(key, [make](MVTrack& t) { return framesOf(t, make); });
        c.elementMake(
            key, kind, [make](MVTrack& t, const V& v, std::optional<int64_t> i, HXScriptCommand& command) {
                return insertFrame(t, v, i, command, make);
            });
        c.elementRemove(key, removeFrame);
    }
    c.getSet(
        "contents",
        [](MVTrack& t) {
            HXScriptValue::List list;
            for (const auto& f : frameObjects(t))
                list.push_back(f.object().as<MVPModelFrame>()->contents());
            return V(std::move(list));
        },
        "any", setContents);
}

} // namespace

uint32_t MapTransferModeToEnum(int64_t mode)
{
    switch (mode) {
    case 0:
        return fourCC("tmcp");
    case 32:
        return fourCC("tmbl");
    case 36:
        return fourCC("tmtr");
    case 64:
        return fourCC("tmdc");
    case 256:
        return fourCC("tmsa");
    case 257:
        return fourCC("tmwa");
    case 258:
        return fourCC("tmba");
    case 259:
        return fourCC("tmcm");
    case 260:
        return fourCC("tmab");
    default:
        return fourCC("tmuk");
    }
}

int64_t MapEnumToTransferMode(uint32_t code)
{
    for (int64_t mode : { 0, 32, 36, 64, 256, 257, 258, 259, 260 })
        if (MapTransferModeToEnum(mode) == code)
            return mode;
    return -1;
}

namespace {

// The ISO 639-2/T codes of the script language names, in the order of their classic numbers.
constexpr const char* kLanguageCodes[] = { "eng", "fra", "deu", "ita", "nld", "swe", "spa", "dan", "por",
    "nor", "heb", "jpn", "ara", "fin", "ell", "isl", "mlt", "tur", "hrv", "zho", "urd", "hin", "tha", "kor",
    "lit", "pol", "hun", "est", "lav", "sme", "fao", "fas", "rus", "zho", "nld", "gle", "sqi" };

} // namespace

std::string languageName(uint16_t language)
{
    const auto& names = MVPMovieDocScripting::movieLanguages();
    int64_t number = language;
    // A language stored as ISO letters reads as the first classic language of those letters.
    if (auto letters = MVLanguageCodeFromPacked(language)) {
        number = -1;
        for (size_t i = 0; i < std::size(kLanguageCodes) && number < 0; ++i)
            if (*letters == kLanguageCodes[i])
                number = int64_t(i);
    }
    return number >= 0 && number < int64_t(names.size()) ? names[size_t(number)]
                                                         : std::string("SystemDefault");
}

std::optional<uint16_t> languageForName(const std::string& name)
{
    const auto& names = MVPMovieDocScripting::movieLanguages();
    auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())
        return std::nullopt;
    return uint16_t(it - names.begin());
}

int transparencyForColor(const std::array<uint16_t, 3>& rgb)
{
    return int(100.0 - 100.0 * (double(rgb[0]) + rgb[1] + rgb[2]) / 196605.0);
}

uint16_t greyForTransparency(double percent)
{
    percent = std::isnan(percent) ? 0 : std::clamp(percent, 0.0, 100.0);
    return uint16_t((percent / -100.0 + 1.0) * 65535.0);
}

std::optional<HXScriptObjectSpecifier> specifier(const MVTrack& track)
{
    auto doc = MVPMovieDocScripting::documentForMovie(track.movie().get());
    auto container = doc ? MVPMovieDocScripting::classDescription().objectSpecifier(doc.get()) : std::nullopt;
    if (!container || track.index() < 1)
        return std::nullopt;
    return HXScriptObjectSpecifier::index(
        "tracks", track.index() - 1, std::make_shared<HXScriptObjectSpecifier>(*container));
}

const HXScriptClass<MVTrack>& classDescription()
{
    static const HXScriptClass<MVTrack> cls = [] {
        HXScriptClass<MVTrack> c("track");
        addIdentity(c);
        addReferences(c);
        addPicture(c);
        addSound(c);
        addTiming(c);
        addElements(c);
        addCommands(c);
        c.specifier([](MVTrack& t) { return specifier(t); });
        return c;
    }();
    return cls;
}

HXScriptReference reference(const std::shared_ptr<MVTrack>& track)
{
    return classDescription().reference(track);
}

const HXScriptClass<MVPScriptMadeTrack>& madeTrackClassDescription()
{
    static const HXScriptClass<MVPScriptMadeTrack> cls = [] {
        // A track still to be made: it answers only what it will be made of.
        HXScriptClass<MVPScriptMadeTrack> c("track");
        c.get("payload", [](MVPScriptMadeTrack& t) { return t.payload; });
        return c;
    }();
    return cls;
}

HXScriptReference madeTrack(HXScriptValue payload)
{
    auto made = std::make_shared<MVPScriptMadeTrack>();
    made->payload = std::move(payload);
    return madeTrackClassDescription().reference(made);
}

} // namespace MVPTrackScripting
