#include "platform/mvkit/movie_writer.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/encoded_silence.h"
#include "platform/mvkit/model_math.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <random>

namespace fs = std::filesystem;

namespace mvmodel {
namespace {

using mvmodel::mulDivCeil;

constexpr uint64_t secondsFrom1904To1970 = 2082844800;

uint64_t now1904()
{
    auto s = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return uint64_t(s.count()) + secondsFrom1904To1970;
}

HXError statusError(int64_t code, const std::string& text, const std::string& path = {})
{
    HXError e = HXError::withDescription(HXOSStatusErrorDomain, code, text);
    if (!path.empty())
        e.userInfo()[HXFilePathErrorKey] = path;
    return e;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec);
}

bool writeAll(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Writes all of it or fails with errno set: a write cut short (a full disk) is tried again, so that the
// error it then gets (no space left) is the one reported.
bool pwriteAll(int fd, const void* data, size_t length, uint64_t offset)
{
    auto p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        ssize_t n = ::pwrite(fd, p, length, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        offset += uint64_t(n);
        length -= size_t(n);
    }
    return true;
}

bool preadAll(int fd, uint64_t offset, uint8_t* into, size_t length)
{
    while (length > 0) {
        ssize_t n = ::pread(fd, into, length, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into += n;
        offset += uint64_t(n);
        length -= size_t(n);
    }
    return true;
}

// Consecutive segments that continue each other in the media become one, so a flattened track does
// not copy the samples at their seam twice.
std::vector<MVTrackEdit> mergedEdits(
    const std::vector<MVTrackEdit>& edits, int32_t movieScale, int32_t mediaScale)
{
    std::vector<MVTrackEdit> out;
    mvmodel::Int128 den = mvmodel::Int128(movieScale) * 0x10000;
    for (auto& e : edits) {
        if (!out.empty()) {
            auto& p = out.back();
            bool bothEmpty = p.mediaTime < 0 && e.mediaTime < 0;
            bool continues = p.mediaTime >= 0 && e.mediaTime >= 0 && p.mediaRate == e.mediaRate
                && mvmodel::Int128(p.mediaTime) * den + mvmodel::Int128(p.duration) * p.mediaRate * mediaScale
                    == mvmodel::Int128(e.mediaTime) * den;
            if (bothEmpty || continues) {
                p.duration += e.duration;
                continue;
            }
        }
        out.push_back(e);
    }
    return out;
}

// A track's media reduced to what its edits show, and the edits mapped onto it.
struct FlatTrack {
    std::shared_ptr<MVMedia> media;
    std::vector<MVTrackEdit> edits;
};

// The samples [first, end) of a flattened media that the non-empty edit `edit` shows, over
// `mediaDuration` from its media time.
struct Segment {
    size_t edit;
    size_t first, end;
    int64_t mediaDuration;
};

// The picture shown when a segment begins is made to begin with it: one shown from before the segment's
// start (a cut inside a picture's time), or a first picture that the segment reaches only a little after
// its start (files whose sound starts before the pictures, imported so that the first picture shows from
// the start). Readers of decode order drop the first and move the second to the segment's start, with
// every picture after it. Answers whether any picture moved.
bool startSegmentsOnPictures(const MVMedia& media, std::vector<MVSampleRecord>& samples,
    const std::vector<MVTrackEdit>& edits, const std::vector<Segment>& segments)
{
    bool moved = false;
    for (const Segment& seg : segments) {
        int64_t start = edits[seg.edit].mediaTime;
        std::optional<size_t> before, after;
        auto shown = [&](size_t i) { return media.sampleTime(int64_t(i)) + samples[i].compositionOffset; };
        for (size_t i = seg.first; i < seg.end; ++i) {
            if (shown(i) <= start && (!before || shown(i) > shown(*before)))
                before = i;
            if (shown(i) > start && (!after || shown(i) < shown(*after)))
                after = i;
        }
        std::optional<size_t> picture = before;
        // Shown until the next picture: a picture before the start still shows at it unless one begins
        // in between (there is none: `after` is the next one).
        if (!picture && after && shown(*after) < start + seg.mediaDuration)
            picture = after;
        if (!picture || shown(*picture) == start)
            continue;
        int64_t offset = samples[*picture].compositionOffset + (start - shown(*picture));
        if (offset > std::numeric_limits<int32_t>::max() || offset < std::numeric_limits<int32_t>::min())
            continue;
        samples[*picture].compositionOffset = int32_t(offset);
        moved = true;
    }
    return moved;
}

// Gives the flattened track its changed samples (its own copy of the media's table) and edits.
void takeSamplesAndEdits(FlatTrack& flat, std::vector<MVSampleRecord> samples, std::vector<MVTrackEdit> edits)
{
    MVMedia::State state = flat.media->state();
    state.samples = std::move(samples);
    state.sharedSamples.reset();
    state.sharedTimes.reset();
    flat.media->restoreState(state);
    flat.edits = std::move(edits);
}

// Readers that follow an edit list in decode order (libavformat among them) give the first sample a
// segment shows, counted in decode order, the segment's start as its decode time and time the rest
// from it. That is right only where each segment's media time lies as far after that sample's decode
// time as in every other segment of the track. A cut at a reordered picture breaks it (the picture
// decoded first is not the one shown first), and those readers would show what follows the cut a frame
// or more late. So each segment's composition offsets (and its edit's media time with them) are raised
// until that distance is the same in all segments and no offset is negative, and a segment whose
// pictures would show inside the times of the one before is moved after it.
//
// The same readers take an empty edit that follows a shown one for the start of the media and show the
// pictures that begin there within its length. Where a picture track has such an edit, all its pictures
// are shown that much later in the media (and the edits follow), so that none begins there.
//
// Answers whether anything changed.
bool alignSegments(FlatTrack& flat, const std::vector<Segment>& segments, int32_t movieScale)
{
    const MVMedia& media = *flat.media;
    auto samples = media.samples();
    bool reordered
        = std::any_of(samples.begin(), samples.end(), [](auto& s) { return s.compositionOffset != 0; });
    int64_t hidden = 0;
    bool startsMoved = false;
    if (media.mediaType() == MVFourCC("vide")) {
        bool shown = false;
        for (auto& e : flat.edits) {
            if (e.mediaTime >= 0)
                shown = true;
            else if (shown)
                hidden = std::max(hidden, mulDivCeil(e.duration, media.timeScale(), movieScale));
        }
        if (reordered)
            startsMoved = startSegmentsOnPictures(media, samples, flat.edits, segments);
    }
    if (segments.empty() || (!startsMoved && hidden == 0 && (segments.size() < 2 || !reordered)))
        return false;
    std::vector<int64_t> raise(segments.size(), 0);
    std::vector<std::optional<int64_t>> lead(segments.size());
    int64_t common = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        const Segment& seg = segments[k];
        int64_t start = flat.edits[seg.edit].mediaTime;
        int32_t lowest = 0;
        for (size_t i = seg.first; i < seg.end; ++i) {
            int64_t decode = media.sampleTime(int64_t(i));
            int64_t shown = decode + samples[i].compositionOffset;
            lowest = std::min(lowest, samples[i].compositionOffset);
            if (!lead[k] && shown >= start && shown < start + seg.mediaDuration)
                lead[k] = start - decode;
        }
        raise[k] = -int64_t(lowest) + hidden;
        if (lead[k])
            common = std::max(common, *lead[k] + raise[k]);
    }
    // Changed on copies: a table that cannot say the new times is left as it was.
    auto edits = flat.edits;
    bool changed = startsMoved;
    for (size_t k = 0; k < segments.size(); ++k) {
        if (lead[k])
            raise[k] = common - *lead[k];
        if (raise[k] == 0)
            continue;
        changed = true;
        for (size_t i = segments[k].first; i < segments[k].end; ++i) {
            int64_t offset = samples[i].compositionOffset + raise[k];
            if (offset > std::numeric_limits<int32_t>::max())
                return false;
            samples[i].compositionOffset = int32_t(offset);
        }
        edits[segments[k].edit].mediaTime += raise[k];
    }
    // Spacing: no sample of a segment may show inside the times another segment's edit shows (a reader
    // would take it for one of that segment's pictures). Where one would, the later segments move on by
    // time added to the last sample before them.
    int64_t shift = 0, previousHighest = std::numeric_limits<int64_t>::min(), previousEnd = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        const Segment& seg = segments[k];
        int64_t lowest = std::numeric_limits<int64_t>::max(), highest = std::numeric_limits<int64_t>::min();
        for (size_t i = seg.first; i < seg.end; ++i) {
            int64_t shown = media.sampleTime(int64_t(i)) + shift + samples[i].compositionOffset;
            lowest = std::min(lowest, shown);
            highest = std::max(highest, shown);
        }
        int64_t start = edits[seg.edit].mediaTime + shift;
        int64_t gap
            = k == 0 ? 0 : std::max({ int64_t(0), previousHighest + 1 - start, previousEnd - lowest });
        if (gap > 0 && seg.first > 0) {
            auto& last = samples[seg.first - 1];
            if (int64_t(last.duration) + gap > int64_t(std::numeric_limits<int32_t>::max()))
                return false;
            last.duration = uint32_t(int64_t(last.duration) + gap);
            shift += gap;
            highest += gap;
            start += gap;
        }
        if (shift != 0) {
            edits[seg.edit].mediaTime += shift;
            changed = true;
        }
        previousHighest = highest;
        previousEnd = start + seg.mediaDuration;
    }
    if (!changed)
        return false;
    takeSamplesAndEdits(flat, std::move(samples), std::move(edits));
    return true;
}

// A text sample shows the same text over its whole duration, and so does a picture of a track whose
// pictures are not reordered: a segment that begins inside one (a cut in the middle of a subtitle, a
// chapter or a picture's time) begins with a shorter copy of it instead. Readers of decode order start
// each segment with its first whole sample, and would show what follows such a cut early by the part of
// the sample cut off. (Reordered pictures are moved instead: startSegmentsOnPictures.) Answers whether
// anything changed.
bool startSegmentsOnSamples(FlatTrack& flat, const std::vector<Segment>& segments)
{
    const MVMedia& media = *flat.media;
    uint32_t type = media.mediaType();
    if (type != MVFourCC("text") && type != MVFourCC("sbtl") && type != MVFourCC("subt")
        && type != MVFourCC("vide"))
        return false;
    auto samples = media.samples();
    if (std::any_of(samples.begin(), samples.end(), [](auto& s) { return s.compositionOffset != 0; }))
        return false;
    auto edits = flat.edits;
    int64_t removed = 0; // media time taken off the samples before, by now
    for (const Segment& seg : segments) {
        auto& start = edits[seg.edit].mediaTime;
        // The sample shown at the segment's start (the ones before it, from the key sample on, are only
        // decoded).
        std::optional<size_t> shown;
        for (size_t i = seg.first; i < seg.end && !shown; ++i)
            if (media.sampleTime(int64_t(i)) + int64_t(samples[i].duration) > start)
                shown = i;
        start -= removed;
        if (!shown)
            continue;
        int64_t into = start + removed - media.sampleTime(int64_t(*shown));
        if (into > 0 && into < int64_t(samples[*shown].duration)) {
            samples[*shown].duration -= uint32_t(into);
            start -= into;
            removed += into;
        }
    }
    if (removed == 0)
        return false;
    takeSamplesAndEdits(flat, std::move(samples), std::move(edits));
    return true;
}

// `aligned`: set to whether the segments' times had to be changed for readers of decode order.
FlatTrack flatten(const MVTrack& track, int32_t movieScale, bool* aligned = nullptr)
{
    const auto& source = *track.media();
    FlatTrack flat;
    flat.media = source.clone();
    flat.media->restoreState({});
    auto edits = mergedEdits(track.edits(), movieScale, source.timeScale());
    // Readers of decode order play a sound or text track's start where it has nothing to play after it
    // has played something: the media begins with silence (an empty text) for them, which no edit plays.
    bool silenced = false;
    if (uint32_t type = source.mediaType(); type == MVFourCC("soun") || type == MVFourCC("text")
        || type == MVFourCC("sbtl") || type == MVFourCC("subt")) {
        int64_t quiet = 0;
        bool shown = false;
        for (const auto& e : edits) {
            if (e.mediaTime >= 0)
                shown = true;
            else if (shown)
                quiet = std::max(quiet, mulDivCeil(e.duration, source.timeScale(), movieScale));
        }
        if (auto silence = quiet > 0 ? MVEncodedSilence(source, 1, quiet) : nullptr)
            silenced = flat.media->appendSamplesCovering(*silence, 0, silence->duration()) >= 0;
    }
    std::vector<Segment> segments;
    for (auto e : edits) {
        if (e.mediaTime >= 0) {
            int64_t mediaDuration = int64_t((mvmodel::Int128(e.duration) * e.mediaRate * source.timeScale()
                                                + (mvmodel::Int128(movieScale) * 0x10000 - 1))
                / (mvmodel::Int128(movieScale) * 0x10000));
            mediaDuration = std::max<int64_t>(1, mediaDuration);
            size_t first = size_t(flat.media->sampleCount());
            e.mediaTime = flat.media->appendSamplesCovering(source, e.mediaTime, mediaDuration);
            if (e.mediaTime < 0)
                e.mediaTime = -1; // nothing there: it plays as empty time
            else
                segments.push_back(
                    { flat.edits.size(), first, size_t(flat.media->sampleCount()), mediaDuration });
        }
        flat.edits.push_back(e);
    }
    bool changed = startSegmentsOnSamples(flat, segments) || silenced;
    changed = alignSegments(flat, segments, movieScale) || changed;
    if (aligned)
        *aligned = changed;
    return flat;
}

// The media and edits a reference movie (or an update in place) describes for `track`: the media as it
// is, unless readers of decode order would time its segments wrongly (see alignSegments); then its
// sample table reduced to what the edits show and aligned, the samples staying where they are.
FlatTrack referencedTrack(const MVTrack& track, int32_t movieScale)
{
    size_t shown = 0;
    bool emptyAfterShown = false;
    for (auto& e : track.edits()) {
        emptyAfterShown = emptyAfterShown || (e.mediaTime < 0 && shown > 0);
        shown += e.mediaTime >= 0 ? 1 : 0;
    }
    if (shown >= 2 || emptyAfterShown) {
        bool aligned = false;
        auto flat = flatten(track, movieScale, &aligned);
        if (aligned)
            return flat;
    }
    return { track.media(), track.edits() };
}

// A sample as placed in the written file.
struct Chunk {
    size_t track;
    size_t firstSample;
    size_t count;
    double time; // seconds, for interleaving
    uint64_t offset = 0;
    uint64_t size = 0;
};

void fillSampleTable(MVSampleTable& t, const std::vector<MVSampleRecord>& samples,
    const std::vector<std::pair<uint64_t, std::pair<size_t, size_t>>>& chunks)
{
    // chunks: offset, (first sample, count), in sample order.
    t.timeToSample.clear();
    t.compositionOffsets.clear();
    t.syncSamples.clear();
    t.sampleToChunk.clear();
    t.chunkOffsets.clear();
    t.sampleSizes.clear();
    bool anyOffset = false, anyNegative = false, allSync = true;
    for (auto& s : samples) {
        if (t.timeToSample.empty() || t.timeToSample.back().sampleDuration != s.duration)
            t.timeToSample.push_back({ 1, s.duration });
        else
            ++t.timeToSample.back().sampleCount;
        anyOffset = anyOffset || s.compositionOffset != 0;
        anyNegative = anyNegative || s.compositionOffset < 0;
        allSync = allSync && s.sync;
    }
    t.hasCompositionOffsets = anyOffset;
    t.compositionOffsetVersion = anyNegative ? 1 : 0;
    if (anyOffset)
        for (auto& s : samples) {
            if (t.compositionOffsets.empty() || t.compositionOffsets.back().offset != s.compositionOffset)
                t.compositionOffsets.push_back({ 1, s.compositionOffset });
            else
                ++t.compositionOffsets.back().sampleCount;
        }
    t.hasSyncSamples = !allSync;
    if (!allSync)
        for (size_t i = 0; i < samples.size(); ++i)
            if (samples[i].sync)
                t.syncSamples.push_back(uint32_t(i + 1));
    bool constant = !samples.empty()
        && std::all_of(samples.begin(), samples.end(), [&](auto& s) { return s.size == samples[0].size; });
    t.sampleCount = uint32_t(samples.size());
    t.constantSampleSize = constant ? samples[0].size : 0;
    if (!constant)
        for (auto& s : samples)
            t.sampleSizes.push_back(s.size);
    for (size_t c = 0; c < chunks.size(); ++c) {
        auto [first, count] = chunks[c].second;
        t.chunkOffsets.push_back(chunks[c].first);
        uint32_t desc = samples[first].descriptionIndex;
        if (t.sampleToChunk.empty() || t.sampleToChunk.back().samplesPerChunk != count
            || t.sampleToChunk.back().sampleDescriptionIndex != desc)
            t.sampleToChunk.push_back({ uint32_t(c + 1), uint32_t(count), desc });
    }
}

// Runs of samples that lie one after the other in one place with one description.
std::vector<std::pair<uint64_t, std::pair<size_t, size_t>>> chunksInPlace(
    const std::vector<MVSampleRecord>& s)
{
    std::vector<std::pair<uint64_t, std::pair<size_t, size_t>>> out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (!out.empty()) {
            auto& [offset, range] = out.back();
            const auto& prev = s[range.first + range.second - 1];
            if (prev.descriptionIndex == s[i].descriptionIndex
                && prev.dataOffset + prev.size == s[i].dataOffset && range.second < 1024) {
                ++range.second;
                continue;
            }
        }
        out.push_back({ s[i].dataOffset, { i, 1 } });
    }
    return out;
}

MVTrackDescription describeTrack(const MVMovie& movie, const MVTrack& track,
    const std::shared_ptr<MVMedia>& media, const std::vector<MVTrackEdit>& edits)
{
    MVTrackDescription d = track.storedDescription();
    d.childOrder.clear();
    d.header = track.header();
    d.header.trackID = track.trackID();
    int64_t duration = 0;
    for (auto& e : edits)
        duration += e.duration;
    d.header.duration = uint64_t(duration);
    if (d.header.modificationTime == 0)
        d.header.creationTime = d.header.modificationTime = now1904();
    if (!edits.empty()) {
        MVEditList list;
        for (auto& e : edits)
            list.entries.push_back({ uint64_t(e.duration), e.mediaTime, e.mediaRate });
        d.editList = list;
    } else {
        d.editList.reset();
    }
    d.references.clear();
    for (auto& r : track.references()) {
        MVTrackReference out { r.type, {} };
        for (auto& w : r.tracks)
            if (auto t = w.lock(); t && movie.trackByID(t->trackID()) == t)
                out.trackIDs.push_back(t->trackID());
        if (!out.trackIDs.empty())
            d.references.push_back(std::move(out));
    }
    d.media = media->storedDescription();
    d.media.childOrder.clear();
    d.media.information.childOrder.clear();
    d.media.header.timeScale = uint32_t(media->timeScale());
    d.media.header.duration = uint64_t(media->duration());
    d.media.header.language = media->language();
    if (d.media.header.modificationTime == 0)
        d.media.header.creationTime = d.media.header.modificationTime = d.header.creationTime;
    d.userData = track.userData().items.empty() && !track.userData().hasTerminator
        ? std::nullopt
        : std::optional<MVUserData>(track.userData());
    d.metadata = track.metadata().items.empty() ? std::nullopt : std::optional<MVMetadata>(track.metadata());
    return d;
}

MVMetadata completedMetadata(MVMetadata m)
{
    if (m.handler.componentSubtype == 0) {
        m.handler.componentSubtype = MVFourCC("mdta");
        m.isFullAtom = false;
    }
    return m;
}

// The data reference entries for `media` in a movie written to `moviePath`, and the description
// indexes remapped; samples held in memory (or anywhere but a file) go into the movie's own file.
struct ReferencePlan {
    std::vector<MVDataReferenceEntry> entries;
    std::vector<MVSampleDescription> descriptions;
    std::vector<bool> copied; // per description: its samples are copied into the file
};

// `copyOtherFiles`: samples in files other than the movie's own are copied into it too (an update in
// place: the saved movie does not come to depend on the files its pasted parts came from).
ReferencePlan planReferences(const MVMedia& media, const std::string& moviePath, bool copyOtherFiles = false)
{
    ReferencePlan plan;
    std::map<size_t, uint16_t> entryForReference; // media data reference index → entry
    auto selfEntry = [&plan]() -> uint16_t {
        for (size_t i = 0; i < plan.entries.size(); ++i)
            if (plan.entries[i].flags & MVDataReferenceSelfReferenceFlag)
                return uint16_t(i + 1);
        plan.entries.push_back(MVDataReferenceEntry {});
        return uint16_t(plan.entries.size());
    };
    for (size_t i = 0; i < media.sampleDescriptions().size(); ++i) {
        MVSampleDescription d = media.sampleDescriptions()[i];
        const MVDataReference* ref = media.dataReferenceForDescription(uint32_t(i + 1));
        bool copy = !ref || ref->kind() == MVDataReference::Kind::Memory
            || ref->kind() == MVDataReference::Kind::None
            || (copyOtherFiles && ref->kind() == MVDataReference::Kind::File
                && !sameFile(ref->referenceFilePath(), moviePath));
        if (copy) {
            d.dataReferenceIndex = selfEntry();
        } else if (ref->kind() == MVDataReference::Kind::File
            && sameFile(ref->referenceFilePath(), moviePath)) {
            d.dataReferenceIndex = selfEntry();
        } else {
            size_t key = size_t(std::find(media.dataReferences().begin(), media.dataReferences().end(), *ref)
                - media.dataReferences().begin());
            auto it = entryForReference.find(key);
            if (it == entryForReference.end()) {
                MVDataReferenceEntry e;
                e.type = ref->dataReferenceType();
                e.flags = 0;
                e.data = ref->dataReference(moviePath);
                plan.entries.push_back(e);
                it = entryForReference.emplace(key, uint16_t(plan.entries.size())).first;
            }
            d.dataReferenceIndex = it->second;
        }
        plan.descriptions.push_back(d);
        plan.copied.push_back(copy);
    }
    if (plan.entries.empty())
        selfEntry();
    return plan;
}

// Reads sample bytes from files and memory, keeping files open while a save runs.
class SampleReader {
public:
    ~SampleReader()
    {
        for (auto& [path, fd] : _files)
            ::close(fd);
    }
    bool read(const MVDataReference& ref, uint64_t offset, uint8_t* into, size_t length, HXError* outError)
    {
        if (ref.kind() == MVDataReference::Kind::Memory) {
            const auto& data = *ref.data();
            if (offset > data.size() || length > data.size() - offset)
                return fail(outError, "A sample lies outside its data.");
            std::copy_n(data.begin() + long(offset), length, into);
            return true;
        }
        std::string path = ref.referenceFilePath();
        if (path.empty())
            return fail(outError, "A sample's data cannot be reached.");
        auto it = _files.find(path);
        if (it == _files.end()) {
            int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                if (outError)
                    *outError = HXError::posix(errno, path);
                return false;
            }
            it = _files.emplace(path, fd).first;
        }
        if (!preadAll(it->second, offset, into, length))
            return fail(outError, "A sample lies outside its file: " + path);
        return true;
    }

private:
    static bool fail(HXError* outError, const std::string& text)
    {
        if (outError)
            *outError = statusError(-2101, text);
        return false;
    }
    std::map<std::string, int> _files;
};

// A temporary file in the target's folder, removed unless committed. Where the file system can, the
// file has no name at all until it is committed (O_TMPFILE), so a crash leaves nothing; elsewhere it is a
// hidden file beside the target.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
    {
        fs::path t(target);
        _hiddenName = (t.parent_path() / ("." + t.filename().string() + ".")).string();
        std::string folder = t.parent_path().empty() ? std::string(".") : t.parent_path().string();
        // Naming it later goes through /proc.
        if (::access("/proc/self/fd", X_OK) == 0)
            _fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (_fd < 0) {
            std::string pattern = _hiddenName + "XXXXXX";
            _path.assign(pattern.begin(), pattern.end());
            _path.push_back('\0');
            _fd = ::mkostemp(_path.data(), O_CLOEXEC);
            if (_fd < 0)
                return;
        }
        // The new file takes the permissions of the one it replaces (a private movie stays private),
        // and a new file those the user's umask gives.
        struct stat existing { };
        if (::stat(target.c_str(), &existing) == 0) {
            ::fchmod(_fd, existing.st_mode & 07777);
        } else {
            mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(_fd, 0666 & ~mask);
        }
    }
    ~TemporaryFile()
    {
        if (_fd >= 0)
            ::close(_fd);
        if (!_committed && !_path.empty())
            ::unlink(_path.data());
    }
    int fd() const { return _fd; }
    bool commit(const std::string& target)
    {
        bool synced = ::fsync(_fd) == 0;
        if (synced)
            reachedSaveStage("written");
        if (!synced || (_path.empty() && !giveName())) {
            ::close(_fd);
            _fd = -1;
            return false;
        }
        bool closed = ::close(_fd) == 0;
        _fd = -1;
        if (!closed || ::rename(_path.data(), target.c_str()) != 0)
            return false;
        _committed = true;
        // The rename itself reaches the disk with the folder.
        std::string folder = fs::path(target).parent_path().string();
        int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

private:
    // Links the unnamed file into the folder under a hidden name of its own, just before the rename.
    bool giveName()
    {
        std::string source = "/proc/self/fd/" + std::to_string(_fd);
        std::random_device random;
        static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = _hiddenName;
            for (int i = 0; i < 6; ++i)
                name += letters[random() % (sizeof(letters) - 1)];
            if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                _path.assign(name.begin(), name.end());
                _path.push_back('\0');
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    std::string _hiddenName;
    std::vector<char> _path; // empty while the file has no name
    int _fd = -1;
    bool _committed = false;
};

class BufferedWriter {
public:
    explicit BufferedWriter(int fd)
        : _fd(fd)
    {
        _buffer.reserve(1 << 20);
    }
    bool write(const uint8_t* p, size_t n)
    {
        if (_buffer.size() + n > (1 << 20) && !flush())
            return false;
        if (n >= (1 << 20))
            return writeAll(_fd, p, n);
        _buffer.insert(_buffer.end(), p, p + n);
        return true;
    }
    bool write(const MVBytes& b) { return write(b.data(), b.size()); }
    bool flush()
    {
        bool ok = writeAll(_fd, _buffer.data(), _buffer.size());
        _buffer.clear();
        return ok;
    }

private:
    int _fd;
    MVBytes _buffer;
};

// Once opened, the progress is closed however the save ends (a cancel or a failure included), so that
// whatever shows it can go away.
struct Progress {
    const MVMovieProgressProc& proc;
    int lastPercent = -1;
    bool opened = false;
    bool closed = false;
    explicit Progress(const MVMovieProgressProc& p)
        : proc(p)
    {
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { close(); }
    bool open()
    {
        if (!proc)
            return true;
        opened = true;
        return proc(MVMovieProgressMessage::Open, MVMovieProgressOperation::Flatten, 0) == 0;
    }
    bool percent(double fraction)
    {
        if (!proc)
            return true;
        int p = int(fraction * 100);
        if (p == lastPercent)
            return true;
        lastPercent = p;
        return proc(MVMovieProgressMessage::Percent, MVMovieProgressOperation::Flatten, fraction) == 0;
    }
    void close()
    {
        if (!opened || closed)
            return;
        closed = true;
        proc(MVMovieProgressMessage::Close, MVMovieProgressOperation::Flatten, 1);
    }
};

MVBytes atomHeader(uint32_t type, uint64_t payloadSize, bool wide)
{
    MVBytes h;
    auto put = [&h](uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            h.push_back(uint8_t(v >> (8 * i)));
    };
    if (wide) {
        put(1, 4);
        put(type, 4);
        put(payloadSize + 16, 8);
    } else {
        put(payloadSize + 8, 4);
        put(type, 4);
    }
    return h;
}

MVFileTypeHeader fileTypeFor(const MVMovie& movie, const std::optional<MVFileTypeHeader>& stored)
{
    (void)movie;
    if (stored)
        return *stored;
    return { MVFourCC("qt  "), 0x20050300, { MVFourCC("qt  ") } };
}

std::vector<FlatTrack> tracksToDescribe(const MVMovie& movie, SaveMode mode, bool asModel = false)
{
    std::vector<FlatTrack> out;
    for (auto& t : movie.tracks())
        out.push_back(mode == SaveMode::SelfContained ? flatten(*t, movie.timeScale())
                : asModel                             ? FlatTrack { t->media(), t->edits() }
                                                      : referencedTrack(*t, movie.timeScale()));
    return out;
}

MVMovieDescription describeTracks(const MVMovie& movie, const std::vector<FlatTrack>& tracks, SaveMode mode,
    const std::string& moviePath, bool copyOtherFiles = false)
{
    MVMovieDescription d;
    d.header = movie.headerForWriting();
    for (size_t ti = 0; ti < tracks.size(); ++ti) {
        const auto& t = movie.tracks()[ti];
        const auto& media = tracks[ti].media;
        auto td = describeTrack(movie, *t, media, tracks[ti].edits);
        auto& table = td.media.information.sampleTable;
        table.sampleDescriptions = media->sampleDescriptions();
        if (mode == SaveMode::Reference) {
            auto plan = planReferences(*media, moviePath, copyOtherFiles);
            td.media.information.dataInformation.entries = plan.entries;
            table.sampleDescriptions = plan.descriptions;
            fillSampleTable(table, media->samples(), chunksInPlace(media->samples()));
        } else {
            td.media.information.dataInformation.entries = { MVDataReferenceEntry {} };
            for (auto& sd : table.sampleDescriptions)
                sd.dataReferenceIndex = 1;
            fillSampleTable(table, media->samples(), chunksInPlace(media->samples()));
        }
        d.tracks.push_back(std::move(td));
    }
    if (!movie.userData().items.empty())
        d.userData = movie.userData();
    if (!movie.metadata().items.empty())
        d.metadata = completedMetadata(movie.metadata());
    return d;
}

} // namespace

MVMovieDescription describeMovie(
    const MVMovie& movie, SaveMode mode, const std::string& moviePath, bool asModel)
{
    // Every sample is written: the rest of a long file opened from its first part is read first.
    movie.finishLoading();
    return describeTracks(movie, tracksToDescribe(movie, mode, asModel), mode, moviePath);
}

namespace {

// The layout of a self-contained file: the flattened tracks and the chunks in file order.
struct Layout {
    std::vector<FlatTrack> tracks;
    std::vector<Chunk> chunks; // file order
    uint64_t dataSize = 0;
};

Layout planSelfContained(const MVMovie& movie)
{
    Layout layout;
    for (auto& t : movie.tracks())
        layout.tracks.push_back(flatten(*t, movie.timeScale()));
    for (size_t ti = 0; ti < layout.tracks.size(); ++ti) {
        const auto& media = *layout.tracks[ti].media;
        const auto& samples = media.samples();
        double scale = media.timeScale();
        // Where the track's media starts playing, to line the tracks up for interleaving.
        double shift = 0;
        int64_t at = 0;
        for (auto& e : layout.tracks[ti].edits) {
            if (e.mediaTime >= 0) {
                shift = double(at) / movie.timeScale() - double(e.mediaTime) / scale;
                break;
            }
            at += e.duration;
        }
        size_t i = 0;
        while (i < samples.size()) {
            Chunk c { ti, i, 0, shift + double(media.sampleTime(int64_t(i))) / scale };
            double limit = c.time + 0.5;
            while (i < samples.size()
                && samples[i].descriptionIndex == samples[c.firstSample].descriptionIndex
                && (c.count == 0 || shift + double(media.sampleTime(int64_t(i))) / scale < limit)
                && c.count < 4096) {
                c.size += samples[i].size;
                ++c.count;
                ++i;
            }
            layout.chunks.push_back(c);
            layout.dataSize += c.size;
        }
    }
    std::stable_sort(layout.chunks.begin(), layout.chunks.end(), [](const Chunk& a, const Chunk& b) {
        return a.time < b.time || (a.time == b.time && a.track < b.track);
    });
    return layout;
}

MVMovieDescription describeLayout(
    const MVMovie& movie, const Layout& layout, uint64_t dataStart, bool wideOffsets)
{
    MVMovieDescription d;
    d.header = movie.headerForWriting();
    std::vector<std::vector<std::pair<uint64_t, std::pair<size_t, size_t>>>> chunksPerTrack(
        layout.tracks.size());
    uint64_t offset = dataStart;
    for (auto& c : layout.chunks) {
        chunksPerTrack[c.track].push_back({ offset, { c.firstSample, c.count } });
        offset += c.size;
    }
    for (size_t ti = 0; ti < layout.tracks.size(); ++ti) {
        const auto& flat = layout.tracks[ti];
        auto td = describeTrack(movie, *movie.tracks()[ti], flat.media, flat.edits);
        auto& table = td.media.information.sampleTable;
        // Every sample now lives in this file: descriptions that differed only in where their samples
        // were (a text edited in memory, say) become one (readers take a track of one description best).
        table.sampleDescriptions.clear();
        std::vector<uint32_t> merged;
        for (auto sd : flat.media->sampleDescriptions()) {
            sd.dataReferenceIndex = 1;
            auto same = std::find(table.sampleDescriptions.begin(), table.sampleDescriptions.end(), sd);
            merged.push_back(uint32_t(same - table.sampleDescriptions.begin()) + 1);
            if (same == table.sampleDescriptions.end())
                table.sampleDescriptions.push_back(std::move(sd));
        }
        std::vector<MVSampleRecord> samples = flat.media->samples();
        for (auto& sample : samples)
            if (sample.descriptionIndex >= 1 && sample.descriptionIndex <= merged.size())
                sample.descriptionIndex = merged[sample.descriptionIndex - 1];
        td.media.information.dataInformation.entries = { MVDataReferenceEntry {} };
        auto& chunks = chunksPerTrack[ti];
        std::sort(
            chunks.begin(), chunks.end(), [](auto& a, auto& b) { return a.second.first < b.second.first; });
        fillSampleTable(table, samples, chunks);
        table.uses64BitChunkOffsets = wideOffsets;
        d.tracks.push_back(std::move(td));
    }
    if (!movie.userData().items.empty())
        d.userData = movie.userData();
    if (!movie.metadata().items.empty())
        d.metadata = completedMetadata(movie.metadata());
    return d;
}

bool copyChunk(
    SampleReader& reader, BufferedWriter& out, const FlatTrack& track, const Chunk& c, HXError* outError)
{
    const auto& samples = track.media->samples();
    MVBytes buffer;
    size_t i = c.firstSample, end = c.firstSample + c.count;
    while (i < end) {
        // One read for samples that follow each other in one place.
        const MVDataReference* ref = track.media->dataReferenceForDescription(samples[i].descriptionIndex);
        if (!ref) {
            if (outError)
                *outError = statusError(-2101, "A sample has no data reference.");
            return false;
        }
        size_t j = i + 1;
        uint64_t length = samples[i].size;
        while (j < end && samples[j].descriptionIndex == samples[i].descriptionIndex
            && samples[j].dataOffset == samples[j - 1].dataOffset + samples[j - 1].size) {
            length += samples[j].size;
            ++j;
        }
        buffer.resize(size_t(length));
        if (!reader.read(*ref, samples[i].dataOffset, buffer.data(), buffer.size(), outError))
            return false;
        if (!out.write(buffer)) {
            if (outError)
                *outError = HXError::posix(errno, "writing the movie");
            return false;
        }
        i = j;
    }
    return true;
}

bool writeSelfContained(
    MVMovie& movie, int fd, const std::string& path, HXError* outError, MVMovieFileDescription* written)
{
    Progress progress { movie.progressProc() };
    auto canceled = [&]() {
        if (outError)
            *outError = statusError(-128, "The save was canceled.", path);
        return false;
    };
    if (!progress.open())
        return canceled();
    Layout layout = planSelfContained(movie);
    MVBytes ftyp = MVSerializeFileTypeAtom(fileTypeFor(movie, std::nullopt));
    bool wideData = layout.dataSize > UINT32_MAX - 16;
    // The header's size does not depend on the offsets in it, only on their width.
    MVBytes probe = MVSerializeMovieAtom(describeLayout(movie, layout, 0, wideData));
    uint64_t dataStart = ftyp.size() + probe.size() + (wideData ? 16 : 8);
    bool wideOffsets = dataStart + layout.dataSize > UINT32_MAX;
    MVMovieDescription description = describeLayout(movie, layout, dataStart, wideOffsets);
    MVBytes moov = MVSerializeMovieAtom(description);
    if (moov.size() != probe.size()) {
        dataStart = ftyp.size() + moov.size() + (wideData ? 16 : 8);
        description = describeLayout(movie, layout, dataStart, wideOffsets);
        moov = MVSerializeMovieAtom(description);
    }
    BufferedWriter out(fd);
    bool ok = out.write(ftyp) && out.write(moov)
        && out.write(atomHeader(MVFourCC("mdat"), layout.dataSize, wideData)) && out.flush();
    if (!ok) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    reachedSaveStage("header");
    SampleReader reader;
    uint64_t done = 0;
    for (auto& c : layout.chunks) {
        if (!copyChunk(reader, out, layout.tracks[c.track], c, outError))
            return false;
        if (done == 0 && out.flush())
            reachedSaveStage("samples");
        done += c.size;
        if (!progress.percent(layout.dataSize ? double(done) / double(layout.dataSize) : 1.0))
            return canceled();
    }
    if (!out.flush()) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    progress.close();
    if (written) {
        written->fileType = fileTypeFor(movie, std::nullopt);
        written->movie = std::move(description);
    }
    return true;
}

// Samples held in memory (or by descriptions the plan copies), written as one 'mdat' at `start`.
// Their records are moved to the offsets in the file.
bool writeCopiedSamples(MVMovieDescription& d, const std::vector<FlatTrack>& tracks,
    const std::string& moviePath, int fd, uint64_t start, uint64_t* outEnd, HXError* outError,
    bool copyOtherFiles = false)
{
    // Where each copied sample goes, then the bytes, read and written a few megabytes at a time.
    struct Copy {
        const MVDataReference* ref;
        uint64_t from;
        uint32_t size;
    };
    std::vector<Copy> copies;
    uint64_t total = 0;
    for (size_t ti = 0; ti < tracks.size(); ++ti) {
        const auto& media = *tracks[ti].media;
        auto plan = planReferences(media, moviePath, copyOtherFiles);
        auto samples = media.samples();
        for (auto& s : samples) {
            if (s.descriptionIndex < 1 || s.descriptionIndex > plan.copied.size()
                || !plan.copied[s.descriptionIndex - 1])
                continue;
            const MVDataReference* ref = media.dataReferenceForDescription(s.descriptionIndex);
            if (!ref) {
                if (outError)
                    *outError = statusError(-2101, "A sample has no data reference.");
                return false;
            }
            copies.push_back({ ref, s.dataOffset, s.size });
            s.dataOffset = start + 16 + total;
            total += s.size;
        }
        fillSampleTable(d.tracks[ti].media.information.sampleTable, samples, chunksInPlace(samples));
    }
    if (copies.empty()) {
        *outEnd = start;
        return true;
    }
    MVBytes header = atomHeader(MVFourCC("mdat"), total, true);
    if (!pwriteAll(fd, header.data(), header.size(), start)) {
        if (outError)
            *outError = HXError::posix(errno, moviePath);
        return false;
    }
    SampleReader reader;
    MVBytes buffer;
    uint64_t at = start + 16;
    auto flush = [&]() {
        bool ok = pwriteAll(fd, buffer.data(), buffer.size(), at);
        at += buffer.size();
        buffer.clear();
        return ok;
    };
    for (const auto& c : copies) {
        size_t used = buffer.size();
        buffer.resize(used + c.size);
        if (!reader.read(*c.ref, c.from, buffer.data() + used, c.size, outError))
            return false;
        if (buffer.size() >= (size_t(4) << 20) && !flush()) {
            if (outError)
                *outError = HXError::posix(errno, moviePath);
            return false;
        }
    }
    if (!flush()) {
        if (outError)
            *outError = HXError::posix(errno, moviePath);
        return false;
    }
    *outEnd = start + 16 + total;
    return true;
}

bool writeReference(
    MVMovie& movie, int fd, const std::string& path, HXError* outError, MVMovieFileDescription* written)
{
    Progress progress { movie.progressProc() };
    if (!progress.open()) {
        if (outError)
            *outError = statusError(-128, "The save was canceled.", path);
        return false;
    }
    MVBytes ftyp = MVSerializeFileTypeAtom(fileTypeFor(movie, std::nullopt));
    if (!writeAll(fd, ftyp.data(), ftyp.size())) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    reachedSaveStage("header");
    movie.finishLoading();
    auto tracks = tracksToDescribe(movie, SaveMode::Reference);
    MVMovieDescription d = describeTracks(movie, tracks, SaveMode::Reference, path);
    uint64_t end = 0;
    if (!writeCopiedSamples(d, tracks, path, fd, ftyp.size(), &end, outError))
        return false;
    reachedSaveStage("samples");
    MVBytes moov = MVSerializeMovieAtom(d);
    if (!pwriteAll(fd, moov.data(), moov.size(), end)) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    if (!progress.percent(1.0)) {
        if (outError)
            *outError = statusError(-128, "The save was canceled.", path);
        return false;
    }
    progress.close();
    if (written)
        written->movie = std::move(d);
    return true;
}

} // namespace

uint64_t selfContainedDataSize(const MVMovie& movie)
{
    uint64_t total = 0;
    for (auto& t : movie.tracks()) {
        const auto& media = *t->media();
        const auto& samples = media.samples();
        for (auto& e : mergedEdits(t->edits(), movie.timeScale(), media.timeScale())) {
            if (e.mediaTime < 0)
                continue;
            int64_t mediaDuration = mulDivCeil(
                e.duration * int64_t(e.mediaRate), media.timeScale(), int64_t(movie.timeScale()) * 0x10000);
            if (auto range = media.samplesCovering(e.mediaTime, std::max<int64_t>(1, mediaDuration)))
                for (int64_t i = range->first; i <= range->second; ++i)
                    total += samples[size_t(i)].size;
        }
    }
    return total;
}

bool writeMovie(MVMovie& movie, const std::string& path, SaveMode mode, HXError* outError)
{
    // A reference movie written over a file it refers to would lose the data it points at.
    bool overSource = false;
    for (auto& ref : movie.dataReferences())
        if (ref.kind() == MVDataReference::Kind::File && sameFile(ref.referenceFilePath(), path))
            overSource = true;
    if (mode == SaveMode::Reference && overSource) {
        if (outError)
            *outError = statusError(-50, "A reference movie cannot replace a file whose data it uses.", path);
        return false;
    }
    TemporaryFile temp(path);
    if (temp.fd() < 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    reachedSaveStage("created");
    MVMovieFileDescription written;
    bool ok = mode == SaveMode::SelfContained ? writeSelfContained(movie, temp.fd(), path, outError, &written)
                                              : writeReference(movie, temp.fd(), path, outError, &written);
    if (!ok)
        return false;
    if (!temp.commit(path)) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    if (overSource) {
        // The movie's data now lives in the new file; old offsets would point at the wrong bytes.
        movie.adoptFile(path, written);
    }
    return true;
}

bool updateMovieFile(MVMovie& movie, HXError* outError, const UpdateInterruption& interruption)
{
    const std::string path = movie.fileName();
    if (!movie.canUpdateMovieFile()) {
        if (outError)
            *outError = statusError(-50, "The movie has no file to update.", path);
        return false;
    }
    auto layout = MVReadMovieFile(path, outError);
    if (!layout)
        return false;
    const MVAtomLocation* oldHeader = nullptr;
    for (auto& a : layout->topLevelAtoms)
        if (a.type == MVFourCC("moov")) {
            oldHeader = &a;
            break;
        }
    if (!oldHeader) {
        if (outError)
            *outError = statusError(-2100, "The movie file has no header to update.", path);
        return false;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    uint64_t end = 0;
    for (auto& a : layout->topLevelAtoms)
        end = std::max(end, a.offset + a.size);
    // The last atom must end where the file ends, or it would swallow what is appended: one stored
    // as running "to the end of the file", or one cut short (an unfinished download, a header of ours
    // whose writing was interrupted), gets its real size written out; its bytes stay. An unfinished
    // header of ours becomes free space, never a second header.
    if (!layout->topLevelAtoms.empty()) {
        const auto& last = layout->topLevelAtoms.back();
        uint8_t h[16] = {};
        size_t available = size_t(std::min<uint64_t>(16, layout->fileSize - last.offset));
        if (::pread(fd, h, available, off_t(last.offset)) != ssize_t(available)) {
            if (outError)
                *outError = HXError::posix(errno, path);
            return false;
        }
        auto be = [&h](size_t at, int n) {
            uint64_t v = 0;
            for (int i = 0; i < n; ++i)
                v = (v << 8) | h[at + size_t(i)];
            return v;
        };
        uint64_t declared = be(0, 4);
        if (declared == 1 && available >= 16)
            declared = be(8, 8);
        if (declared == 0 || declared > last.size) {
            bool ok = true;
            if (last.headerSize == 16) {
                uint8_t size64[8];
                for (int i = 0; i < 8; ++i)
                    size64[i] = uint8_t(last.size >> (56 - 8 * i));
                ok = pwriteAll(fd, size64, 8, last.offset + 8);
            } else if (last.size <= UINT32_MAX) {
                const uint8_t size32[4] = { uint8_t(last.size >> 24), uint8_t(last.size >> 16),
                    uint8_t(last.size >> 8), uint8_t(last.size) };
                ok = pwriteAll(fd, size32, 4, last.offset);
            } else {
                if (outError)
                    *outError = statusError(
                        -50, "The movie file cannot be updated in place; save it instead.", path);
                return false;
            }
            if (ok && last.type == MVFourCC("moov") && last.offset != oldHeader->offset)
                ok = pwriteAll(fd, "free", 4, last.offset + 4);
            if (!ok || ::fsync(fd) != 0) {
                if (outError)
                    *outError = HXError::posix(errno, path);
                return false;
            }
        }
    }
    // Bytes after the last atom that no atom header describes: kept, closed into free space of their
    // own size so that what is appended can be found.
    if (end < layout->fileSize) {
        uint64_t rest = layout->fileSize - end;
        constexpr uint32_t type = MVFourCC("free");
        rest = std::max<uint64_t>(rest, 8);
        if (rest > UINT32_MAX) {
            if (outError)
                *outError
                    = statusError(-50, "The movie file cannot be updated in place; save it instead.", path);
            return false;
        }
        const uint8_t closed[8] = { uint8_t(rest >> 24), uint8_t(rest >> 16), uint8_t(rest >> 8),
            uint8_t(rest), uint8_t(type >> 24), uint8_t(type >> 16), uint8_t(type >> 8), uint8_t(type) };
        if (!pwriteAll(fd, closed, 8, end) || ::fsync(fd) != 0) {
            if (outError)
                *outError = HXError::posix(errno, path);
            return false;
        }
        end += rest;
    }

    // Stage 1: samples the file does not hold yet.
    movie.finishLoading();
    auto tracks = tracksToDescribe(movie, SaveMode::Reference);
    MVMovieDescription d = describeTracks(movie, tracks, SaveMode::Reference, path, true);
    // A write that fails (a full disk) takes back what it appended: the file stays as it was.
    auto failed = [&](HXError error) {
        int saved = errno;
        if (::ftruncate(fd, off_t(end)) == 0)
            ::fsync(fd);
        errno = saved;
        if (outError)
            *outError = std::move(error);
        return false;
    };
    uint64_t dataEnd = end;
    HXError copyError;
    if (!writeCopiedSamples(d, tracks, path, fd, end, &dataEnd, &copyError, true))
        return failed(copyError);
    if (::fsync(fd) != 0)
        return failed(HXError::posix(errno, path));
    if (interruption.stopAfterStage == 1) {
        if (outError)
            *outError = statusError(-2019, "The update was stopped.", path);
        return false;
    }
    reachedSaveStage("update-data");
    // Stage 2: the new header after everything else.
    MVBytes moov = MVSerializeMovieAtom(d);
    size_t length = size_t(std::min<uint64_t>(moov.size(), interruption.truncateHeaderAt));
    size_t half = length / 2;
    bool halfWritten = pwriteAll(fd, moov.data(), half, dataEnd) && ::fsync(fd) == 0;
    if (halfWritten)
        reachedSaveStage("update-header-partial");
    if (!halfWritten || !pwriteAll(fd, moov.data() + half, length - half, dataEnd + half))
        return failed(HXError::posix(errno, path));
    if (::fsync(fd) != 0)
        return failed(HXError::posix(errno, path));
    if (interruption.stopAfterStage == 2 || length < moov.size()) {
        if (outError)
            *outError = statusError(-2019, "The update was stopped.", path);
        return false;
    }
    reachedSaveStage("update-header");
    // Stage 3: the old header becomes free space; readers take the first header, now the new one.
    const uint8_t freeType[4] = { 'f', 'r', 'e', 'e' };
    if (!pwriteAll(fd, freeType, 4, oldHeader->offset + 4) || ::fsync(fd) != 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    auto reread = MVReadMovieFile(path, outError);
    if (!reread)
        return false;
    movie.adoptFile(path, *reread, true);
    return true;
}

void reachedSaveStage(const char* stage)
{
    static const char* stopAt = std::getenv("MOVARA_STOP_AT_SAVE_STAGE");
    if (stopAt && std::strcmp(stopAt, stage) == 0)
        ::raise(SIGSTOP);
}

} // namespace mvmodel
