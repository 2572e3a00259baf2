// MVMovie's saving calls, over the flows of movie_writer.
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/codec_parameters_description.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_writer.h"
#include "platform/mvkit/track.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

MVMovieHeader MVMovie::headerForWriting() const
{
    MVMovieHeader h = _header;
    auto s = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    uint64_t now = uint64_t(s.count()) + 2082844800u;
    if (h.creationTime == 0)
        h.creationTime = now;
    h.modificationTime = now;
    h.timeScale = uint32_t(_timeScale);
    h.duration = uint64_t(durationValue());
    h.version = h.duration > UINT32_MAX ? 1 : 0;
    h.preferredRate = int32_t(std::lround(_preferredRate * 65536.0));
    h.preferredVolume = int16_t(std::lround(_preferredVolume * 256.0));
    h.matrix = _matrix;
    auto units = [this](MVTime t) { return uint32_t(std::clamp<int64_t>(movieUnits(t), 0, UINT32_MAX)); };
    h.posterTime = units(_posterTime);
    h.currentTime = units(_currentTime);
    h.selectionTime = units(_selection.time);
    h.selectionDuration = units(_selection.duration);
    h.previewTime = units(_preview.time);
    h.previewDuration = units(_preview.duration);
    h.nextTrackID = nextTrackID();
    return h;
}

static bool flattenAttribute(const HXPropertyList::Dictionary& attributes)
{
    auto it = attributes.find(MVMovieFlatten);
    return it == attributes.end() || it->second.boolValue();
}

// A save that waited for the rest of a long file, and whose wait the user cancelled, stops there.
static bool canceledWhileLoading(HXError* outError)
{
    if (outError)
        *outError = HXError::withDescription(HXOSStatusErrorDomain, -128, "The save was canceled.");
    return false;
}

// A track of a codec no movie-file description names (imported with the program's own description)
// would be a track no other program plays, or one it takes for something else: such a movie is not
// saved as a movie file, and the error names the first such track and says what to do instead.
static bool refuseOwnDescriptions(const MVMovie& movie, HXError* outError)
{
    constexpr int64_t kMovieNotUsable = -2010; // "The movie cannot be used for this."
    const auto& tracks = movie.tracks();
    for (size_t i = 0; i < tracks.size(); ++i) {
        const auto& media = tracks[i]->media();
        if (!media)
            continue;
        for (const auto& description : media->sampleDescriptions()) {
            if (!MVIsCodecParametersDescription(description))
                continue;
            auto parameters = MVCodecParametersOfDescription(description, media->mediaType());
            std::string codec = parameters ? parameters->codecName : std::string("unknown");
            if (const AVCodecDescriptor* d = avcodec_descriptor_get_by_name(codec.c_str()); d && d->long_name)
                codec = d->long_name;
            const char* kind = media->mediaType() == MVFourCC("vide") ? "video" : "sound";
            if (outError)
                *outError = HXError::withDescription(HXOSStatusErrorDomain, kMovieNotUsable,
                    "Track " + std::to_string(i + 1) + " (" + kind + ", " + codec
                        + ") cannot be stored in a movie file: movie files have no description of its "
                          "codec, and other programs would not play it. Export the movie to MPEG-4, or "
                          "its sound to a sound file, instead: that converts it.");
            return false;
        }
    }
    return true;
}

static bool keepsOwnDescriptions(const HXPropertyList::Dictionary& attributes)
{
    auto it = attributes.find(MVMovieKeepsOwnDescriptions);
    return it != attributes.end() && it->second.boolValue();
}

bool MVMovie::writeToFile(
    const std::string& path, const HXPropertyList::Dictionary& attributes, HXError* outError)
{
    if (!finishLoading())
        return canceledWhileLoading(outError);
    if (!keepsOwnDescriptions(attributes) && !refuseOwnDescriptions(*this, outError))
        return false;
    if (isStreaming()) {
        // A stream keeps no samples: a file of it would hold nothing that plays.
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, -2102, "A stream cannot be saved: it plays only as it arrives.");
        return false;
    }
    auto mode
        = flattenAttribute(attributes) ? mvmodel::SaveMode::SelfContained : mvmodel::SaveMode::Reference;
    return mvmodel::writeMovie(*this, path, mode, outError);
}

bool MVMovie::writeToDataReference(
    const MVDataReference& reference, const HXPropertyList::Dictionary& attributes, HXError* outError)
{
    if (!finishLoading())
        return canceledWhileLoading(outError);
    if (reference.kind() != MVDataReference::Kind::File) {
        if (outError)
            *outError
                = HXError::withDescription(HXOSStatusErrorDomain, -50, "Movies are written to files only.");
        return false;
    }
    return writeToFile(reference.referenceFilePath(), attributes, outError);
}

bool MVMovie::canUpdateMovieFile() const
{
    // Only a movie file can take a new header; an imported file of another kind cannot, nor can a
    // fragmented one, whose fragments would still add their samples to the new header's.
    const auto& atoms = _openedFile.topLevelAtoms;
    auto has = [&atoms](uint32_t type) {
        return std::any_of(
            atoms.begin(), atoms.end(), [type](const MVAtomLocation& a) { return a.type == type; });
    };
    bool movieFile = has(MVFourCC("moov")) && !has(MVFourCC("moof"));
    return movieFile && !_filePath.empty() && ::access(_filePath.c_str(), W_OK) == 0;
}

bool MVMovie::updateMovieFile(HXError* outError)
{
    if (!finishLoading())
        return canceledWhileLoading(outError);
    if (!refuseOwnDescriptions(*this, outError))
        return false;
    if (!mvmodel::updateMovieFile(*this, outError))
        return false;
    _changed = false;
    return true;
}

MVBytes MVMovie::movieFormatRepresentation() const
{
    return MVSerializeMovieAtom(mvmodel::describeMovie(*this, mvmodel::SaveMode::Reference, {}, true));
}

bool MVMovie::canSerialize() const
{
    for (const auto& reference : dataReferences())
        if (reference.kind() == MVDataReference::Kind::Memory
            || reference.kind() == MVDataReference::Kind::None)
            return false;
    return true;
}

int64_t MVMovie::dataSize() const
{
    return int64_t(mvmodel::selfContainedDataSize(*this));
}

void MVMovie::setDataReference(const MVDataReference& reference)
{
    _defaultDataReference = reference;
    _filePath = reference.referenceFilePath();
    _openedFile = {};
    if (!_filePath.empty()) {
        if (auto layout = MVReadMovieFile(_filePath, nullptr)) {
            layout->movie = {};
            _openedFile = std::move(*layout);
        }
    }
}

void MVMovie::adoptFile(const std::string& path, const MVMovieFileDescription& file, bool keepUndo)
{
    // Keep the track objects (callers hold them); take the media and edits as the file has them.
    const auto& tracks = file.movie.tracks;
    for (size_t i = 0; i < _tracks.size() && i < tracks.size(); ++i) {
        auto fresh = MVTrack::trackWithDescription(tracks[i], _timeScale, path);
        _tracks[i]->media()->restoreState(fresh->media()->state());
        _tracks[i]->setEdits(fresh->edits());
    }
    bool ownFile = _filePath == path;
    if (ownFile) {
        auto reread = file;
        reread.movie = {};
        _openedFile = reread;
    }
    // After a rewrite, undo would bring back sample places in the file that no longer exist; an update
    // in place only appends, so what undo brings back is still there.
    if (_undoManager && !keepUndo)
        _undoManager->removeAllActionsWithTarget(this);
}
