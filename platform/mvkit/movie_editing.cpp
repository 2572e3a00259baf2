// Editing a movie: segment operations over all tracks, the selection-based edits, edit states and undo.
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/model_math.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_pasteboard.h"
#include "platform/mvkit/playback/decoder_configuration.h"

#include <algorithm>
#include <map>

namespace {

int64_t rescale(int64_t value, int32_t from, int32_t to)
{
    return from == to ? value : mvmodel::mulDivRound(value, to, from);
}

} // namespace

MVMovieEditState MVMovie::newEditState() const
{
    finishLoading();
    MVMovieEditState state;
    for (auto& t : _tracks)
        state.tracks.push_back({ t, t->edits(), t->media()->state() });
    state.selection = _selection;
    state.timeScale = _timeScale;
    return state;
}

void MVMovie::useEditState(const MVMovieEditState& state)
{
    for (auto& t : _tracks)
        t->setMovie(nullptr);
    _tracks.clear();
    _timeScale = state.timeScale;
    auto self = shared_from_this();
    for (auto& ts : state.tracks) {
        ts.track->setMovie(self);
        ts.track->setEdits(ts.edits);
        ts.track->media()->restoreState(ts.media);
        _tracks.push_back(ts.track);
    }
    _selection = state.selection;
}

void MVMovie::registerUndoForEditState(MVMovieEditState before, const std::string& actionName)
{
    if (!_undoManager || !_undoManager->isUndoRegistrationEnabled())
        return;
    std::weak_ptr<MVMovie> weak = weak_from_this();
    _undoManager->registerUndo(this, [weak, before = std::move(before), actionName] {
        auto m = weak.lock();
        if (!m)
            return;
        auto current = m->newEditState();
        m->useEditState(before);
        m->registerUndoForEditState(std::move(current), actionName);
        m->movieChanged();
    });
    // While undoing this names the redo group, and the other way round.
    _undoManager->setActionName(actionName);
}

void MVMovie::edited(MVMovieEditState before, const std::string& actionName)
{
    registerUndoForEditState(std::move(before), actionName);
    movieChanged();
}

std::shared_ptr<MVMovie> MVMovie::copySelection() const
{
    finishLoading();
    auto out = movie();
    out->_timeScale = _timeScale;
    out->_preferredRate = _preferredRate;
    out->_preferredVolume = _preferredVolume;
    out->_matrix = _matrix;
    int64_t start = movieUnits(_selection.time);
    int64_t length = movieUnits(_selection.duration);
    if (length <= 0)
        return out;
    for (auto& t : _tracks) {
        auto edits = t->editsInRange(start, length);
        if (std::none_of(edits.begin(), edits.end(), [](auto& e) { return e.mediaTime >= 0; }))
            continue;
        // The copy shares the media, so pasting it back into this movie only adds edits.
        auto copy = MVTrack::trackWithMedia(t->media(), t->trackID());
        copy->setEdits(std::move(edits));
        copy->setEnabled(t->isEnabled());
        copy->setDimensions(t->width(), t->height());
        copy->setMatrix(t->matrix());
        copy->setVolume(t->volume());
        copy->setLayer(t->layer());
        copy->setAlternateGroup(t->alternateGroup());
        copy->setMovie(out);
        out->_tracks.push_back(copy);
    }
    out->_selection = { MVMakeTime(0, _timeScale), MVMakeTime(out->durationValue(), _timeScale) };
    out->_changed = false;
    return out;
}

std::shared_ptr<MVMovie> MVMovie::copy() const
{
    auto segment = copySelection();
    MVMoviePasteboard::generalPasteboard().setMovie(segment);
    return segment;
}

std::shared_ptr<MVMovie> MVMovie::cut()
{
    auto segment = copy();
    if (_selection.duration.timeValue > 0) {
        auto before = newEditState();
        deleteSegmentQuietly(_selection);
        _selection.duration = MVMakeTime(0, _timeScale);
        edited(std::move(before), "Cut");
    }
    return segment;
}

void MVMovie::clear()
{
    if (movieUnits(_selection.duration) <= 0)
        return;
    auto before = newEditState();
    deleteSegmentQuietly(_selection);
    _selection.duration = MVMakeTime(0, _timeScale);
    edited(std::move(before), "Clear");
}

void MVMovie::trim()
{
    int64_t start = movieUnits(_selection.time);
    int64_t length = movieUnits(_selection.duration);
    if (length <= 0)
        return;
    auto before = newEditState();
    int64_t total = durationValue();
    if (start + length < total)
        deleteSegmentQuietly(
            { MVMakeTime(start + length, _timeScale), MVMakeTime(total - start - length, _timeScale) });
    if (start > 0)
        deleteSegmentQuietly({ MVMakeTime(0, _timeScale), MVMakeTime(start, _timeScale) });
    _selection = { MVMakeTime(0, _timeScale), MVMakeTime(length, _timeScale) };
    edited(std::move(before), "Trim");
}

void MVMovie::deleteSegmentQuietly(MVTimeRange range)
{
    int64_t start = movieUnits(range.time);
    int64_t length = movieUnits(range.duration);
    for (auto& t : _tracks)
        t->deleteSegment(start, length);
}

bool MVMovie::deleteSegment(MVTimeRange range)
{
    if (movieUnits(range.duration) <= 0 || movieUnits(range.time) < 0)
        return false;
    auto before = newEditState();
    deleteSegmentQuietly(range);
    edited(std::move(before), "Delete");
    return true;
}

bool MVMovie::insertEmptySegment(MVTimeRange range)
{
    int64_t start = movieUnits(range.time);
    int64_t length = movieUnits(range.duration);
    if (length <= 0 || start < 0)
        return false;
    auto before = newEditState();
    for (auto& t : _tracks)
        if (start < t->duration())
            t->insertEmptySegment(start, length);
    edited(std::move(before), "Insert");
    return true;
}

bool MVMovie::scaleSegment(MVTimeRange range, MVTime newDuration)
{
    int64_t start = movieUnits(range.time);
    int64_t length = movieUnits(range.duration);
    int64_t scaled = movieUnits(newDuration);
    if (length <= 0 || scaled <= 0 || start < 0)
        return false;
    auto before = newEditState();
    for (auto& t : _tracks)
        if (start < t->duration())
            t->scaleSegment(start, std::min(length, t->duration() - start),
                scaled * std::min(length, t->duration() - start) / length);
    edited(std::move(before), "Scale");
    return true;
}

namespace {

bool sameDescription(MVSampleDescription a, MVSampleDescription b)
{
    a.dataReferenceIndex = b.dataReferenceIndex = 1;
    return a == b;
}

// Whether a decoder set up for `target` also decodes samples described by `source`. Other programs
// (libavformat among them) give a track one decoder set up once: samples of another format are skipped,
// and samples of another configuration (picture size, sample rate, codec setup) decoded wrongly. The
// encoder's bit rates, which some descriptions also state, make no difference.
bool decodesAlike(const MVSampleDescription& target, const MVSampleDescription& source, uint32_t mediaType)
{
    if (sameDescription(target, source))
        return true;
    if (target.format != source.format)
        return false;
    auto a = MVDecoderConfigurationForDescription(target, mediaType, nullptr);
    auto b = MVDecoderConfigurationForDescription(source, mediaType, nullptr);
    return a && b && a->codecID == b->codecID && a->extradata == b->extradata && a->width == b->width
        && a->height == b->height && a->codecTag == b->codecTag && a->sampleRate == b->sampleRate
        && a->channelCount == b->channelCount && a->bitsPerSample == b->bitsPerSample
        && a->blockAlign == b->blockAlign && a->isPCM == b->isPCM && a->parameters == b->parameters;
}

// Samples of `source` may join `target` when every description of them decodes like one the target
// already has; an empty track takes anything.
bool takesSamplesOf(const MVMedia& target, const MVMedia& source)
{
    if (target.sampleCount() == 0)
        return true;
    for (auto& d : source.sampleDescriptions()) {
        const auto& own = target.sampleDescriptions();
        if (std::none_of(own.begin(), own.end(),
                [&](const MVSampleDescription& t) { return decodesAlike(t, d, target.mediaType()); }))
            return false;
    }
    return true;
}

} // namespace

std::shared_ptr<MVTrack> MVMovie::trackForPaste(const std::shared_ptr<MVTrack>& sourceTrack, size_t ordinal)
{
    for (auto& t : _tracks)
        if (t->media() == sourceTrack->media())
            return t;
    size_t seen = 0;
    for (auto& t : _tracks) {
        if (t->mediaType() != sourceTrack->mediaType())
            continue;
        if (seen++ == ordinal && t->media()->timeScale() == sourceTrack->media()->timeScale()
            && takesSamplesOf(*t->media(), *sourceTrack->media()))
            return t;
    }
    return nullptr;
}

// Puts the segments of `sourceTrack` into `target` (whose media may be another) at `at`.
static std::vector<MVTrackEdit> editsForTarget(const std::vector<MVTrackEdit>& edits, MVTrack& target,
    const MVTrack& sourceTrack, int32_t sourceScale, int32_t targetScale, bool sameSamples)
{
    std::vector<MVTrackEdit> out;
    for (auto e : edits) {
        MVTrackEdit converted = e;
        converted.duration = rescale(e.duration, sourceScale, targetScale);
        if (e.mediaTime >= 0 && !sameSamples) {
            // The samples shown, as media units of the source.
            int64_t mediaDuration = mvmodel::mulDivFloor(e.duration * int64_t(e.mediaRate),
                sourceTrack.media()->timeScale(), int64_t(sourceScale) * 0x10000);
            converted.mediaTime = target.media()->appendSamplesCovering(
                *sourceTrack.media(), e.mediaTime, std::max<int64_t>(1, mediaDuration));
        }
        out.push_back(converted);
    }
    return out;
}

bool MVMovie::insertSegment(const std::shared_ptr<MVMovie>& source, MVTimeRange sourceRange, MVTime at)
{
    if (!source)
        return false;
    int64_t srcStart = source->movieUnits(sourceRange.time);
    int64_t srcLength = source->movieUnits(sourceRange.duration);
    int64_t where = movieUnits(at);
    if (srcLength <= 0 || srcStart < 0 || where < 0)
        return false;
    auto before = newEditState();
    insertSegmentQuietly(source, srcStart, srcLength, where);
    edited(std::move(before), "Paste");
    return true;
}

int64_t MVMovie::insertSegmentQuietly(
    const std::shared_ptr<MVMovie>& source, int64_t srcStart, int64_t srcLength, int64_t where)
{
    source->finishLoading();
    finishLoading();
    int64_t length = rescale(srcLength, source->_timeScale, _timeScale);
    std::vector<std::shared_ptr<MVTrack>> touched;
    std::map<uint32_t, size_t> ordinals;
    // Pasting a movie into itself reads the source as it was before the paste.
    auto sourceTracks = source->_tracks;
    std::vector<std::vector<MVTrackEdit>> sourceEdits;
    for (auto& st : sourceTracks)
        sourceEdits.push_back(st->editsInRange(srcStart, srcLength));
    for (size_t k = 0; k < sourceTracks.size(); ++k) {
        auto& st = sourceTracks[k];
        auto& edits = sourceEdits[k];
        size_t ordinal = ordinals[st->mediaType()]++;
        if (std::none_of(edits.begin(), edits.end(), [](auto& e) { return e.mediaTime >= 0; }))
            continue;
        auto target = trackForPaste(st, ordinal);
        if (target && std::find(touched.begin(), touched.end(), target) != touched.end())
            target = nullptr;
        // A new track gets the source's media (a copy of it from another movie): the same sample times.
        bool sameSamples = !target || target->media() == st->media();
        if (!target) {
            target = MVTrack::trackWithMedia(
                source.get() == this ? st->media() : st->media()->clone(), nextTrackID());
            target->setEnabled(st->isEnabled());
            target->setDimensions(st->width(), st->height());
            target->setMatrix(st->matrix());
            target->setVolume(st->volume());
            target->setLayer(st->layer());
            target->setAlternateGroup(st->alternateGroup());
            target->setLanguage(st->language());
            target->setMovie(shared_from_this());
            _tracks.push_back(target);
        }
        target->insertEdits(
            where, editsForTarget(edits, *target, *st, source->_timeScale, _timeScale, sameSamples));
        touched.push_back(target);
    }
    for (auto& t : _tracks)
        if (std::find(touched.begin(), touched.end(), t) == touched.end() && where < t->duration())
            t->insertEmptySegment(where, length);
    _selection = { MVMakeTime(where, _timeScale), MVMakeTime(length, _timeScale) };
    return length;
}

bool MVMovie::paste(const std::shared_ptr<MVMovie>& given)
{
    auto source = given ? given : MVMoviePasteboard::generalPasteboard().movie();
    if (!source || source->durationValue() <= 0)
        return false;
    auto before = newEditState();
    int64_t where = movieUnits(_selection.time);
    if (movieUnits(_selection.duration) > 0)
        deleteSegmentQuietly(_selection);
    insertSegmentQuietly(source, 0, source->durationValue(), where);
    edited(std::move(before), "Paste");
    return true;
}

bool MVMovie::addTracksQuietly(const std::shared_ptr<MVMovie>& source, int64_t where, int64_t scaledLength)
{
    source->finishLoading();
    finishLoading();
    int64_t srcLength = source->durationValue();
    if (srcLength <= 0)
        return false;
    for (auto& st : source->_tracks) {
        auto edits = st->editsInRange(0, srcLength);
        if (edits.empty())
            continue;
        auto target = MVTrack::trackWithMedia(st->media()->clone(), nextTrackID());
        target->setEnabled(st->isEnabled());
        target->setDimensions(st->width(), st->height());
        target->setMatrix(st->matrix());
        target->setVolume(st->volume());
        target->setLanguage(st->language());
        target->setMovie(shared_from_this());
        _tracks.push_back(target);
        std::vector<MVTrackEdit> converted;
        for (auto e : edits) {
            e.duration = rescale(e.duration, source->_timeScale, _timeScale);
            converted.push_back(e);
        }
        target->insertEdits(where, converted);
        int64_t length = rescale(srcLength, source->_timeScale, _timeScale);
        if (scaledLength > 0 && scaledLength != length)
            target->scaleSegment(where, std::min(length, target->duration() - where), scaledLength);
    }
    return true;
}

bool MVMovie::add(const std::shared_ptr<MVMovie>& given)
{
    auto source = given ? given : MVMoviePasteboard::generalPasteboard().movie();
    if (!source)
        return false;
    auto before = newEditState();
    if (!addTracksQuietly(source, movieUnits(_selection.time), 0))
        return false;
    edited(std::move(before), "Add");
    return true;
}

bool MVMovie::addScaled(const std::shared_ptr<MVMovie>& given)
{
    auto source = given ? given : MVMoviePasteboard::generalPasteboard().movie();
    int64_t length = movieUnits(_selection.duration);
    if (!source || length <= 0)
        return false;
    auto before = newEditState();
    if (!addTracksQuietly(source, movieUnits(_selection.time), length))
        return false;
    edited(std::move(before), "Add Scaled");
    return true;
}
