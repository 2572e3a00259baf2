#include "platform/mvkit/atoms/movie_fragments.h"

#include "platform/mvkit/atoms/sample_table.h"

#include <algorithm>
#include <map>
#include <optional>

namespace {

constexpr uint64_t kMaxFragmentHeaderSize = MVMaximumFragmentHeaderSize;
// A last fragment whose samples claim more than this many times the file is not a file cut short.
constexpr uint64_t kMaximumClaimOverFile = 16;

// 'tfhd' flags.
constexpr uint32_t kBaseDataOffsetPresent = 0x000001;
constexpr uint32_t kDescriptionIndexPresent = 0x000002;
constexpr uint32_t kDefaultDurationPresent = 0x000008;
constexpr uint32_t kDefaultSizePresent = 0x000010;
constexpr uint32_t kDefaultFlagsPresent = 0x000020;
constexpr uint32_t kDefaultBaseIsMoof = 0x020000;
// 'trun' flags.
constexpr uint32_t kDataOffsetPresent = 0x000001;
constexpr uint32_t kFirstSampleFlagsPresent = 0x000004;
constexpr uint32_t kSampleDurationPresent = 0x000100;
constexpr uint32_t kSampleSizePresent = 0x000200;
constexpr uint32_t kSampleFlagsPresent = 0x000400;
constexpr uint32_t kCompositionOffsetPresent = 0x000800;
// Sample flags: "not a sync sample", and "depends on other samples".
constexpr uint32_t kSampleNotSync = 0x00010000;
constexpr uint32_t kSampleDependsOnOthers = 0x01000000;

struct TrackDefaults {
    uint32_t descriptionIndex = 1;
    uint32_t duration = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
};

struct MovieExtends {
    std::map<uint32_t, TrackDefaults> defaults; // by track ID, from 'trex'
    std::optional<uint64_t> fragmentDuration; // 'mehd', in the movie's time scale
};

struct FragmentSample {
    uint32_t size = 0;
    uint32_t duration = 0;
    int32_t compositionOffset = 0;
    bool sync = true;
};

// A track run: samples that lie one after another from `offset`, so a chunk.
struct FragmentRun {
    uint64_t offset = 0;
    uint32_t descriptionIndex = 1;
    std::vector<FragmentSample> samples;
};

struct TrackFragment {
    size_t track = 0; // index into the movie's tracks
    std::optional<uint64_t> baseDecodeTime; // 'tfdt'
    std::vector<FragmentRun> runs;
};

MovieExtends parseMovieExtends(std::span<const uint8_t> payload)
{
    MovieExtends extends;
    MVAtomIterator it(payload);
    while (auto c = it.next()) {
        MVByteReader r(c->payload);
        if (c->header.type == MVFourCC("trex")) {
            r.skip(4); // version and flags
            uint32_t trackID = r.u32();
            TrackDefaults d;
            d.descriptionIndex = r.u32();
            d.duration = r.u32();
            d.size = r.u32();
            d.flags = r.u32();
            extends.defaults[trackID] = d;
        } else if (c->header.type == MVFourCC("mehd")) {
            uint8_t version = r.u8();
            r.skip(3);
            extends.fragmentDuration = version == 1 ? r.u64() : r.u32();
        }
    }
    return extends;
}

// Reads one 'traf'. `base` is the base data offset when 'tfhd' gives none; `dataEnd` comes back as the
// end of the data this fragment describes (the next one's implicit base). A run whose data begins inside
// `mayBeCut`: this is the file's last fragment, so its data may end with the file (a download that
// stopped short): its runs keep the samples that lie wholly inside the file, and `cut` tells that some
// did not. Elsewhere data past the end is damage.
TrackFragment parseTrackFragment(std::span<const uint8_t> payload, uint64_t moofOffset, uint64_t base,
    uint64_t fileSize, const MVMovieDescription& movie, const MovieExtends& extends,
    std::vector<std::string>& warnings, bool& known, uint64_t& dataEnd, bool mayBeCut, bool& cut)
{
    TrackFragment fragment;
    std::optional<MVAtomIterator::Child> header;
    {
        MVAtomIterator it(payload);
        while (auto c = it.next())
            if (c->header.type == MVFourCC("tfhd")) {
                header = c;
                break;
            }
    }
    if (!header)
        throw MVMalformedAtom("a track fragment without its header");
    MVByteReader h(header->payload);
    uint32_t flags = h.u32() & 0xFFFFFF;
    uint32_t trackID = h.u32();
    if (flags & kBaseDataOffsetPresent)
        base = h.u64();
    else if (flags & kDefaultBaseIsMoof)
        base = moofOffset;
    auto trex = extends.defaults.find(trackID);
    auto track = std::find_if(movie.tracks.begin(), movie.tracks.end(),
        [trackID](const MVTrackDescription& t) { return t.header.trackID == trackID; });
    known = trex != extends.defaults.end() && track != movie.tracks.end();
    if (!known)
        warnings.push_back("a fragment of track " + std::to_string(trackID)
            + (track == movie.tracks.end() ? ", which the movie does not have," : " without defaults")
            + " was left out");
    TrackDefaults d = known ? trex->second : TrackDefaults {};
    if (flags & kDescriptionIndexPresent)
        d.descriptionIndex = h.u32();
    if (flags & kDefaultDurationPresent)
        d.duration = h.u32();
    if (flags & kDefaultSizePresent)
        d.size = h.u32();
    if (flags & kDefaultFlagsPresent)
        d.flags = h.u32();
    if (known) {
        fragment.track = size_t(track - movie.tracks.begin());
        size_t descriptions = track->media.information.sampleTable.sampleDescriptions.size();
        if (d.descriptionIndex < 1 || d.descriptionIndex > descriptions)
            throw MVMalformedAtom("a fragment names sample description " + std::to_string(d.descriptionIndex)
                + " of " + std::to_string(descriptions));
    }

    uint64_t next = base; // where a run without a data offset starts
    MVAtomIterator it(payload);
    while (auto c = it.next()) {
        MVByteReader r(c->payload);
        if (c->header.type == MVFourCC("tfdt")) {
            uint8_t version = r.u8();
            r.skip(3);
            fragment.baseDecodeTime = version == 1 ? r.u64() : r.u32();
            continue;
        }
        if (c->header.type != MVFourCC("trun"))
            continue;
        r.skip(1); // version: see the composition offsets
        uint32_t runFlags = r.u24();
        uint32_t count = r.u32();
        FragmentRun run;
        run.descriptionIndex = d.descriptionIndex;
        run.offset = next;
        if (runFlags & kDataOffsetPresent) {
            if (base > fileSize && !mayBeCut)
                throw MVMalformedAtom("a track fragment's data starts past the end of the file");
            int64_t at = int64_t(base) + int64_t(r.s32());
            if (at < 0)
                throw MVMalformedAtom("a track run starts before the file");
            run.offset = uint64_t(at);
        }
        std::optional<uint32_t> firstFlags;
        if (runFlags & kFirstSampleFlagsPresent)
            firstFlags = r.u32();
        size_t recordSize = 4
            * size_t(bool(runFlags & kSampleDurationPresent) + bool(runFlags & kSampleSizePresent)
                + bool(runFlags & kSampleFlagsPresent) + bool(runFlags & kCompositionOffsetPresent));
        r.requireRecords(count, recordSize);
        // Runs of samples without records have only the file to bound them: every sample takes at least
        // a byte of it. In a file cut short, samples of a real size go on past its end: only those that
        // fit are kept. A run claiming the file many times over is damage all the same.
        uint64_t room = run.offset < fileSize ? fileSize - run.offset : 0;
        const bool sized = (runFlags & kSampleSizePresent) || d.size > 0;
        uint64_t leastSize = std::max<uint64_t>(runFlags & kSampleSizePresent ? 1 : d.size, 1);
        uint32_t fitting = count;
        if (count > room / leastSize) {
            if (!mayBeCut || !sized || uint64_t(count) * leastSize / kMaximumClaimOverFile > fileSize)
                throw MVMalformedAtom("a track run of " + std::to_string(count) + " samples at offset "
                    + std::to_string(run.offset) + " runs past the end of the file");
            if (recordSize == 0)
                fitting = uint32_t(room / leastSize);
        }
        run.samples.reserve(fitting);
        uint64_t end = run.offset;
        for (uint32_t i = 0; i < fitting; ++i) {
            FragmentSample s;
            s.duration = runFlags & kSampleDurationPresent ? r.u32() : d.duration;
            s.size = runFlags & kSampleSizePresent ? r.u32() : d.size;
            uint32_t sampleFlags = runFlags & kSampleFlagsPresent ? r.u32() : d.flags;
            if (i == 0 && firstFlags)
                sampleFlags = *firstFlags;
            if (runFlags & kCompositionOffsetPresent) {
                // Version 1 stores the offset signed, version 0 unsigned; offsets of version 0 past the
                // signed range do not occur in practice, so both are taken as their 32 bits.
                s.compositionOffset = r.s32();
            }
            s.sync = !(sampleFlags & (kSampleNotSync | kSampleDependsOnOthers));
            if (s.size > MVMaximumSampleSize)
                throw MVMalformedAtom("a sample claims " + std::to_string(s.size) + " bytes");
            end += s.size;
            if (end > fileSize) {
                if (!mayBeCut)
                    throw MVMalformedAtom("a track run's data at offset " + std::to_string(run.offset)
                        + " runs past the end of the file");
                break;
            }
            run.samples.push_back(s);
        }
        if (run.samples.size() < count) {
            // Whatever comes after this run lies past the end as well.
            cut = true;
            end = fileSize + 1;
        }
        next = end;
        if (!run.samples.empty())
            fragment.runs.push_back(std::move(run));
    }
    dataEnd = next;
    return fragment;
}

std::vector<TrackFragment> parseMovieFragment(std::span<const uint8_t> payload, uint64_t moofOffset,
    uint64_t fileSize, const MVMovieDescription& movie, const MovieExtends& extends,
    std::vector<std::string>& warnings, bool mayBeCut, bool& cut)
{
    std::vector<TrackFragment> fragments;
    // The first track fragment's data is found from the start of the 'moof', each next one's from where
    // the previous one's ends.
    uint64_t base = moofOffset;
    MVAtomIterator it(payload);
    while (auto c = it.next()) {
        if (c->header.type != MVFourCC("traf"))
            continue;
        bool known = false;
        uint64_t dataEnd = base;
        auto fragment = parseTrackFragment(
            c->payload, moofOffset, base, fileSize, movie, extends, warnings, known, dataEnd, mayBeCut, cut);
        base = dataEnd;
        if (known)
            fragments.push_back(std::move(fragment));
    }
    if (!it.trailing().empty())
        throw MVMalformedAtom("the fragment header is cut short");
    return fragments;
}

int64_t rescale(int64_t value, int64_t from, int64_t to)
{
    if (from <= 0 || to <= 0)
        return value;
    int64_t product = 0;
    if (__builtin_mul_overflow(value, to, &product) || __builtin_add_overflow(product, from / 2, &product)) {
        long double v = (long double)value * to / from;
        return v >= (long double)INT64_MAX ? INT64_MAX : v <= (long double)INT64_MIN ? INT64_MIN : int64_t(v);
    }
    return product / from;
}

// Appends fragment samples to a track's compact tables.
class TableBuilder {
public:
    explicit TableBuilder(MVSampleTable& table)
        : _table(table)
    {
        // Start from a consistent table: the samples all its tables agree on.
        MVSampleTableIndex index(_table);
        _count = index.sampleCount();
        MVTruncateSampleTable(_table, _count);
        MVSampleTableIndex consistent(_table);
        _end = consistent.duration();
        for (uint32_t k = 0; k < _count; ++k)
            if (auto timing = consistent.timingForSample(k)) {
                _presentationEnd = std::max(_presentationEnd,
                    timing->decodeTime + timing->compositionOffset + int64_t(timing->duration));
                _leastOffset = std::min<int64_t>(_leastOffset, timing->compositionOffset);
            }
        if (_table.constantSampleSize != 0 && _count > 0)
            _table.sampleSizes.assign(_count, _table.constantSampleSize);
        _table.constantSampleSize = 0;
        _table.compactSampleSizeFieldSize = 0;
        _table.sampleCount = _count;
        // The per-sample dependency bytes describe the header's samples only.
        _table.sampleDependencyFlags.reset();
    }

    bool startedEmpty() const { return _startedEmpty; }
    uint64_t firstDecodeTime() const { return _firstDecodeTime; }
    uint64_t count() const { return _count; }
    int64_t end() const { return _end; }
    // Where the last sample to be shown ends: later than `end()` when samples are shown after they
    // are decoded.
    int64_t presentationEnd() const { return std::max(_end, _presentationEnd); }

    void add(const TrackFragment& fragment, std::vector<std::string>& warnings, const std::string& name)
    {
        if (fragment.baseDecodeTime)
            placeAt(*fragment.baseDecodeTime, warnings, name);
        for (const auto& run : fragment.runs)
            addChunk(run);
    }

    // Fragments fix their samples' decode times ('tfdt'), and their headers have nowhere to say how far
    // negative composition offsets reach: pictures that would show before they are decoded show later
    // instead, the whole track by the largest such offset (as other players show such a track).
    void delayPicturesShownBeforeDecoded()
    {
        if (_leastOffset >= 0)
            return;
        int64_t shift = -_leastOffset;
        for (const auto& entry : _table.compositionOffsets)
            if (int64_t(entry.offset) + shift > INT32_MAX)
                return; // offsets this far apart are damage: they stay as they are
        for (auto& entry : _table.compositionOffsets)
            entry.offset = int32_t(int64_t(entry.offset) + shift);
        _table.compositionOffsetVersion = 0;
        _presentationEnd += shift;
        _leastOffset = 0;
    }

private:
    // Lines the next sample up with a fragment's decode time: a gap lengthens the sample before it;
    // times that go back are not followed (the samples go one after another).
    void placeAt(uint64_t decodeTime, std::vector<std::string>& warnings, const std::string& name)
    {
        // Times this far out are damage, not times: the samples go on from where they are.
        if (decodeTime > uint64_t(INT64_MAX / 4))
            return;
        if (_count == 0) {
            _startedEmpty = true;
            _firstDecodeTime = decodeTime;
            return;
        }
        int64_t relative = _startedEmpty ? int64_t(decodeTime - _firstDecodeTime) : int64_t(decodeTime);
        if ((_startedEmpty && decodeTime < _firstDecodeTime) || relative < _end) {
            if (!_warnedOverlap)
                warnings.push_back(
                    name + ": fragment decode times go back; its samples were placed in order");
            _warnedOverlap = true;
            return;
        }
        int64_t gap = relative - _end;
        if (gap == 0)
            return;
        auto& last = _table.timeToSample.back();
        if (uint64_t(last.sampleDuration) + uint64_t(gap) > UINT32_MAX) {
            warnings.push_back(name + ": a gap of " + std::to_string(gap) + " between fragments was closed");
            return;
        }
        uint32_t longer = last.sampleDuration + uint32_t(gap);
        if (last.sampleCount == 1)
            last.sampleDuration = longer;
        else {
            --last.sampleCount;
            _table.timeToSample.push_back({ 1, longer });
        }
        _end += gap;
    }

    void addChunk(const FragmentRun& run)
    {
        auto& t = _table;
        uint32_t n = uint32_t(run.samples.size());
        if (t.sampleToChunk.empty() || t.sampleToChunk.back().samplesPerChunk != n
            || t.sampleToChunk.back().sampleDescriptionIndex != run.descriptionIndex)
            t.sampleToChunk.push_back({ uint32_t(t.chunkOffsets.size() + 1), n, run.descriptionIndex });
        t.chunkOffsets.push_back(run.offset);
        for (const auto& s : run.samples) {
            if (!t.timeToSample.empty() && t.timeToSample.back().sampleDuration == s.duration
                && t.timeToSample.back().sampleCount < UINT32_MAX)
                ++t.timeToSample.back().sampleCount;
            else
                t.timeToSample.push_back({ 1, s.duration });
            if (s.compositionOffset != 0 && !t.hasCompositionOffsets) {
                t.hasCompositionOffsets = true;
                t.compositionOffsets.clear();
                if (_count > 0)
                    t.compositionOffsets.push_back({ uint32_t(_count), 0 });
            }
            if (t.hasCompositionOffsets) {
                if (!t.compositionOffsets.empty()
                    && t.compositionOffsets.back().offset == s.compositionOffset)
                    ++t.compositionOffsets.back().sampleCount;
                else
                    t.compositionOffsets.push_back({ 1, s.compositionOffset });
                if (s.compositionOffset < 0)
                    t.compositionOffsetVersion = 1;
            }
            if (!s.sync && !t.hasSyncSamples) {
                t.hasSyncSamples = true;
                t.syncSamples.clear();
                for (uint64_t k = 1; k <= _count; ++k)
                    t.syncSamples.push_back(uint32_t(k));
            }
            if (s.sync && t.hasSyncSamples)
                t.syncSamples.push_back(uint32_t(_count + 1));
            t.sampleSizes.push_back(s.size);
            ++_count;
            _presentationEnd = std::max(_presentationEnd, _end + s.compositionOffset + int64_t(s.duration));
            _leastOffset = std::min<int64_t>(_leastOffset, s.compositionOffset);
            _end += s.duration;
        }
        t.sampleCount = uint32_t(_count);
        if (run.offset > UINT32_MAX)
            t.uses64BitChunkOffsets = true;
    }

    MVSampleTable& _table;
    uint64_t _count = 0;
    int64_t _end = 0;
    int64_t _presentationEnd = 0;
    int64_t _leastOffset = 0; // the most negative composition offset, or 0
    bool _startedEmpty = false;
    uint64_t _firstDecodeTime = 0;
    bool _warnedOverlap = false;
};

// The track's media, track and edit durations after its samples grew; `delay` (movie units) is how much
// later than the movie's first fragment this track starts.
void finishTrack(MVTrackDescription& track, int64_t mediaDuration, int64_t presentationEnd,
    int64_t firstDecodeTime, int64_t delay, uint32_t movieScale)
{
    auto& mdhd = track.media.header;
    mdhd.duration = uint64_t(mediaDuration);
    if (mdhd.duration > UINT32_MAX)
        mdhd.version = 1;
    int64_t mediaScale = mdhd.timeScale;
    if (track.editList) {
        auto& entries = track.editList->entries;
        // Media times count from the first fragment's decode time, which is now time 0.
        for (auto& e : entries)
            if (e.mediaTime >= 0)
                e.mediaTime = std::max<int64_t>(0, e.mediaTime - firstDecodeTime);
        // A fragmented movie's header cannot know how long its last edit lasts and may store 0: it runs to
        // the end of what the media shows.
        if (!entries.empty() && entries.back().segmentDuration == 0 && entries.back().mediaTime >= 0)
            entries.back().segmentDuration = uint64_t(std::max<int64_t>(
                0, rescale(presentationEnd - entries.back().mediaTime, mediaScale, movieScale)));
        for (auto& e : entries)
            if (e.segmentDuration > UINT32_MAX || e.mediaTime > INT32_MAX)
                track.editList->version = 1;
    } else if (delay > 0 || presentationEnd > mediaDuration) {
        // The track starts when its first fragment does, and lasts until its last sample has been shown.
        track.editList = MVEditList {};
        if (delay > 0)
            track.editList->entries.push_back({ uint64_t(delay), -1, 0x10000 });
        track.editList->entries.push_back(
            { uint64_t(rescale(presentationEnd, mediaScale, movieScale)), 0, 0x10000 });
    }
    uint64_t trackDuration = 0;
    if (track.editList)
        for (auto& e : track.editList->entries)
            trackDuration += e.segmentDuration;
    else
        trackDuration = uint64_t(rescale(mediaDuration, mediaScale, movieScale));
    track.header.duration = trackDuration;
    if (trackDuration > UINT32_MAX)
        track.header.version = 1;
}

void removeMovieExtends(MVMovieDescription& movie, size_t unknownIndex)
{
    movie.unknownChildren.erase(movie.unknownChildren.begin() + std::ptrdiff_t(unknownIndex));
    size_t seen = 0;
    for (auto it = movie.childOrder.begin(); it != movie.childOrder.end(); ++it) {
        if (*it != 0)
            continue;
        if (seen++ == unknownIndex) {
            movie.childOrder.erase(it);
            break;
        }
    }
}

} // namespace

void MVAddMovieFragments(const MVByteSource& source, MVMovieFileDescription& file,
    const std::vector<MVMovieFragmentLocation>& fragments)
{
    auto& movie = file.movie;
    auto mvex = std::find_if(movie.unknownChildren.begin(), movie.unknownChildren.end(),
        [](const MVRawAtom& a) { return a.type == MVFourCC("mvex"); });
    if (mvex == movie.unknownChildren.end()) {
        if (!fragments.empty())
            file.warnings.push_back(std::to_string(fragments.size())
                + " movie fragments were left out: the movie header does not announce fragments");
        return;
    }
    MovieExtends extends;
    try {
        extends = parseMovieExtends(mvex->payload);
    } catch (const MVMalformedAtom& e) {
        file.warnings.push_back(std::string("the fragment defaults ('mvex') are damaged: ") + e.what());
    }
    if (fragments.empty())
        return;

    std::vector<std::optional<TableBuilder>> builders(movie.tracks.size());
    size_t kept = 0;
    bool cutShort = false;
    for (const auto& f : fragments) {
        const auto& loc = f.location;
        std::string where = "the movie fragment at offset " + std::to_string(loc.offset);
        auto leftOut = [&](const std::string& why) {
            size_t after = fragments.size() - kept - 1;
            file.warnings.push_back(where + " " + why + "; "
                + (after ? "it and the " + std::to_string(after) + " after it were" : std::string("it was"))
                + " left out, the " + std::to_string(kept) + " before it kept");
        };
        // A fragment header cut short by the end of the file has its data after it: nothing of it is
        // in the file.
        if (f.truncated && &f == &fragments.back() && f.claimedSize <= kMaxFragmentHeaderSize) {
            file.notes.push_back(where + " runs past the end of the file; it was left out, the "
                + std::to_string(kept) + " before it kept");
            break;
        }
        if (f.truncated) {
            leftOut("runs past the end of the file");
            break;
        }
        if (loc.size > kMaxFragmentHeaderSize) {
            leftOut("claims " + std::to_string(loc.size) + " bytes");
            break;
        }
        MVBytes payload(size_t(loc.size - loc.headerSize));
        if (!source.read(loc.offset + loc.headerSize, payload.data(), payload.size())) {
            leftOut("could not be read");
            break;
        }
        std::vector<TrackFragment> parsed;
        std::vector<std::string> notes;
        bool cut = false;
        try {
            parsed = parseMovieFragment(
                payload, loc.offset, file.fileSize, movie, extends, notes, &f == &fragments.back(), cut);
        } catch (const MVMalformedAtom& e) {
            leftOut(std::string("is damaged (") + e.what() + ")");
            break;
        }
        // Only a whole fragment goes in: everything that can be wrong with it was found above, but for
        // the number of samples, checked here before anything is added.
        std::map<size_t, uint64_t> added;
        for (const auto& fragment : parsed)
            for (const auto& run : fragment.runs)
                added[fragment.track] += run.samples.size();
        bool tooMany = false;
        for (auto& [i, n] : added) {
            uint64_t present = builders[i] ? builders[i]->count() : 0;
            tooMany = tooMany || present + n > MVMaximumSampleCount;
        }
        if (tooMany) {
            leftOut("has more samples than a track may have");
            break;
        }
        for (const auto& fragment : parsed) {
            size_t i = fragment.track;
            if (!builders[i])
                builders[i].emplace(movie.tracks[i].media.information.sampleTable);
            builders[i]->add(fragment, notes, "track " + std::to_string(movie.tracks[i].header.trackID));
        }
        for (auto& n : notes)
            if (file.warnings.size() < 1000)
                file.warnings.push_back(std::move(n));
        if (cut) {
            cutShort = true;
            size_t samples = 0;
            for (const auto& fragment : parsed)
                for (const auto& run : fragment.runs)
                    samples += run.samples.size();
            file.notes.push_back(where + " runs past the end of the file; the " + std::to_string(samples)
                + " samples of it that lie inside the file were kept");
        }
        ++kept;
    }

    // Tracks that began in the fragments start together at the earliest first decode time; a track
    // that starts later than that gets an empty edit for the difference.
    double earliest = 0;
    bool any = false;
    for (size_t i = 0; i < builders.size(); ++i) {
        if (!builders[i] || !builders[i]->startedEmpty())
            continue;
        double scale = std::max<uint32_t>(movie.tracks[i].media.header.timeScale, 1);
        double start = double(builders[i]->firstDecodeTime()) / scale;
        earliest = any ? std::min(earliest, start) : start;
        any = true;
    }
    uint64_t movieDuration = 0;
    for (size_t i = 0; i < movie.tracks.size(); ++i) {
        auto& track = movie.tracks[i];
        if (builders[i]) {
            builders[i]->delayPicturesShownBeforeDecoded();
            int64_t first = builders[i]->startedEmpty() ? int64_t(builders[i]->firstDecodeTime()) : 0;
            double scale = std::max<uint32_t>(track.media.header.timeScale, 1);
            double late = builders[i]->startedEmpty()
                ? (double(first) / scale - earliest) * movie.header.timeScale + 0.5
                : 0;
            int64_t delay = late > 0 && late < double(uint64_t(1) << 53) ? int64_t(late) : 0;
            finishTrack(track, builders[i]->end(), builders[i]->presentationEnd(), first, delay,
                movie.header.timeScale);
        }
        movieDuration = std::max(movieDuration, track.header.duration);
    }
    bool allKept = kept == fragments.size() && !cutShort;
    movie.header.duration = extends.fragmentDuration && allKept ? *extends.fragmentDuration : movieDuration;
    if (movie.header.duration > UINT32_MAX)
        movie.header.version = 1;
    // The movie is an ordinary one now; written back it must not announce fragments.
    removeMovieExtends(movie, size_t(mvex - movie.unknownChildren.begin()));
}
