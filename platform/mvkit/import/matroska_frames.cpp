#include "platform/mvkit/import/matroska_frames.h"

#include "platform/mvkit/atoms/atom_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>

namespace {

constexpr uint32_t kEBML = 0x1A45DFA3;
constexpr uint32_t kSegment = 0x18538067;
constexpr uint32_t kCluster = 0x1F43B675;
constexpr uint32_t kTracks = 0x1654AE6B;
constexpr uint32_t kTrackEntry = 0xAE;
constexpr uint32_t kTrackNumber = 0xD7;
constexpr uint32_t kContentEncodings = 0x6D80;
constexpr uint32_t kCodecDelay = 0x56AA; // nanoseconds the decoder's output is late by
constexpr uint32_t kTrackTimecodeScale = 0x23314F;
constexpr uint32_t kInfo = 0x1549A966;
constexpr uint32_t kTimecodeScale = 0x2AD7B1;
constexpr uint32_t kTimecode = 0xE7;
constexpr uint32_t kSimpleBlock = 0xA3;
constexpr uint32_t kBlockGroup = 0xA0;
constexpr uint32_t kBlock = 0xA1;
constexpr uint32_t kBlockDuration = 0x9B;
constexpr uint32_t kDiscardPadding = 0x75A2;
constexpr uint32_t kReferenceBlock = 0xFB;
// Elements that only stand at the segment's level: one of them ends a cluster of unknown size.
const std::set<uint32_t> kSegmentChildren
    = { kCluster, kTracks, 0x1C53BB6B /* Cues */, 0x114D9B74 /* SeekHead */, 0x1549A966 /* Info */,
          0x1043A770 /* Chapters */, 0x1254C367 /* Tags */, 0x1941A469 /* Attachments */ };
constexpr uint64_t kUnknownSize = UINT64_MAX;

// The file through a window, so the small headers of hundreds of thousands of blocks cost a few reads.
// The window starts small (opening a file reads only its head and first clusters) and grows as the
// reading goes on.
class Window {
public:
    explicit Window(std::shared_ptr<const MVByteSource> source)
        : _source(std::move(source))
        , _fileSize(_source->size())
    {
    }
    uint64_t fileSize() const { return _fileSize; }
    // The `n` bytes at `position`; nothing past the end of the file or when the read fails.
    const uint8_t* bytes(uint64_t position, size_t n)
    {
        if (position > _fileSize || n > _fileSize - position)
            return nullptr;
        if (position < _start || position + n > _start + _length) {
            size_t want = std::max(n, _next);
            want = size_t(std::min<uint64_t>(want, _fileSize - position));
            if (want > _capacity) {
                _buffer.reset(new uint8_t[want]); // not zeroed: every byte is read over
                _capacity = want;
            }
            _length = 0;
            if (!_source->read(position, _buffer.get(), want))
                return nullptr;
            _start = position;
            _length = want;
            _next = std::min(_next * 2, kLargest);
        }
        return _buffer.get() + (position - _start);
    }

private:
    static constexpr size_t kFirst = size_t(64) << 10;
    static constexpr size_t kLargest = size_t(4) << 20;
    std::shared_ptr<const MVByteSource> _source;
    uint64_t _fileSize;
    uint64_t _start = 0;
    size_t _length = 0;
    size_t _capacity = 0;
    size_t _next = kFirst;
    std::unique_ptr<uint8_t[]> _buffer;
};

struct Element {
    uint32_t id = 0;
    uint64_t dataStart = 0;
    uint64_t size = 0; // kUnknownSize when unknown
    uint64_t end() const { return size == kUnknownSize ? kUnknownSize : dataStart + size; }
};

// A variable-length number at `p`, of which `available` bytes can be read: `keepMarker` for IDs. Its
// length in `length`; nothing when invalid.
std::optional<uint64_t> parseNumber(
    const uint8_t* p, size_t available, bool keepMarker, size_t maxLength, size_t* length)
{
    if (available == 0 || p[0] == 0)
        return std::nullopt;
    size_t n = size_t(__builtin_clz(uint32_t(p[0])) - 23); // leading zeros in the byte, plus one
    if (n > maxLength || n > available)
        return std::nullopt;
    uint64_t value = keepMarker ? p[0] : (p[0] & (0xFF >> n));
    bool allOnes = (p[0] & (0xFF >> n)) == (0xFF >> n);
    for (size_t i = 1; i < n; ++i) {
        value = value << 8 | p[i];
        allOnes = allOnes && p[i] == 0xFF;
    }
    *length = n;
    if (!keepMarker && allOnes)
        return kUnknownSize;
    return value;
}

std::optional<uint64_t> readNumber(
    Window& w, uint64_t position, bool keepMarker, size_t maxLength, size_t* length)
{
    size_t available = size_t(std::min<uint64_t>(9, w.fileSize() - std::min(position, w.fileSize())));
    const uint8_t* p = w.bytes(position, available);
    return p ? parseNumber(p, available, keepMarker, maxLength, length) : std::nullopt;
}

std::optional<Element> readElement(Window& w, uint64_t position)
{
    // An ID of up to 4 bytes and a size of up to 8, read at once.
    size_t available = size_t(std::min<uint64_t>(12, w.fileSize() - std::min(position, w.fileSize())));
    const uint8_t* p = w.bytes(position, available);
    size_t idLength = 0, sizeLength = 0;
    auto id = p ? parseNumber(p, available, true, 4, &idLength) : std::nullopt;
    if (!id)
        return std::nullopt;
    auto size = parseNumber(p + idLength, available - idLength, false, 8, &sizeLength);
    if (!size)
        return std::nullopt;
    Element e { uint32_t(*id), position + idLength + sizeLength, *size };
    if (e.size != kUnknownSize && e.size > w.fileSize() - std::min(e.dataStart, w.fileSize()))
        return std::nullopt; // runs past the end of the file
    return e;
}

std::optional<uint64_t> readUnsigned(Window& w, const Element& e)
{
    if (e.size > 8)
        return std::nullopt;
    const uint8_t* p = w.bytes(e.dataStart, size_t(e.size));
    if (!p)
        return std::nullopt;
    uint64_t value = 0;
    for (size_t i = 0; i < e.size; ++i)
        value = value << 8 | p[i];
    return value;
}

// A signed integer element (two's complement in as many bytes as it has).
std::optional<int64_t> readSigned(Window& w, const Element& e)
{
    auto value = readUnsigned(w, e);
    if (!value || e.size == 0)
        return value ? std::optional<int64_t>(0) : std::nullopt;
    const unsigned bits = unsigned(e.size) * 8;
    if (bits < 64 && (*value >> (bits - 1)) & 1)
        *value |= ~uint64_t(0) << bits;
    return int64_t(*value);
}

using Frames = std::map<uint64_t, std::vector<MVMatroskaFrame>>;

struct TrackFacts {
    std::vector<uint64_t> numbers; // in entry order
    std::set<uint64_t> unusable; // frames libavformat would change (decompress, decrypt, rescale)
    std::map<uint64_t, uint64_t> codecDelays; // nanoseconds, which libavformat takes off the times
};

bool readTracks(Window& w, const Element& tracks, TrackFacts& facts)
{
    for (uint64_t at = tracks.dataStart; at < tracks.end();) {
        auto entry = readElement(w, at);
        if (!entry || entry->size == kUnknownSize)
            return false;
        if (entry->id == kTrackEntry) {
            std::optional<uint64_t> number;
            bool unusable = false;
            uint64_t delay = 0;
            for (uint64_t c = entry->dataStart; c < entry->end();) {
                auto child = readElement(w, c);
                if (!child || child->size == kUnknownSize)
                    return false;
                if (child->id == kTrackNumber)
                    number = readUnsigned(w, *child);
                else if (child->id == kCodecDelay)
                    delay = readUnsigned(w, *child).value_or(0);
                unusable = unusable || child->id == kContentEncodings || child->id == kTrackTimecodeScale;
                c = child->end();
            }
            if (!number)
                return false;
            facts.numbers.push_back(*number);
            if (unusable)
                facts.unusable.insert(*number);
            if (delay > 0)
                facts.codecDelays[*number] = delay;
        }
        at = entry->end();
    }
    return true;
}

// One block (SimpleBlock or Block) of `size` bytes at `start`; false when it is laced or damaged.
bool readBlock(Window& w, uint64_t start, uint64_t size, int64_t clusterTime, bool simple, bool referenced,
    int64_t duration, Frames& frames, int64_t discardPadding = 0)
{
    size_t numberLength = 0;
    auto track = readNumber(w, start, false, 8, &numberLength);
    if (!track || *track == kUnknownSize || size < numberLength + 3)
        return false;
    const uint8_t* p = w.bytes(start + numberLength, 3);
    if (!p)
        return false;
    int16_t relative = int16_t(uint16_t(p[0] << 8 | p[1]));
    uint8_t flags = p[2];
    if (flags & 0x06)
        return false; // laced
    uint64_t header = numberLength + 3;
    if (size - header > UINT32_MAX)
        return false;
    frames[*track].push_back({ start + header, uint32_t(size - header), clusterTime + relative, duration,
        simple ? (flags & 0x80) != 0 : !referenced, discardPadding });
    return true;
}

bool readBlockGroup(Window& w, const Element& group, int64_t clusterTime, Frames& frames)
{
    std::optional<Element> block;
    bool referenced = false;
    int64_t duration = 0;
    int64_t discardPadding = 0;
    for (uint64_t at = group.dataStart; at < group.end();) {
        auto child = readElement(w, at);
        if (!child || child->size == kUnknownSize)
            return false;
        if (child->id == kBlock)
            block = child;
        else if (child->id == kReferenceBlock)
            referenced = true;
        else if (child->id == kBlockDuration)
            duration = int64_t(readUnsigned(w, *child).value_or(0));
        else if (child->id == kDiscardPadding)
            discardPadding = readSigned(w, *child).value_or(0);
        at = child->end();
    }
    return !block
        || readBlock(w, block->dataStart, block->size, clusterTime, false, referenced, duration, frames,
            std::max<int64_t>(discardPadding, 0));
}

// The blocks of a cluster; where it ends (a cluster of unknown size ends at the next segment-level
// element). Nothing when a block cannot be taken.
std::optional<uint64_t> readCluster(Window& w, const Element& cluster, uint64_t segmentEnd, Frames& frames)
{
    int64_t clusterTime = 0;
    uint64_t end = std::min(cluster.end(), segmentEnd);
    uint64_t at = cluster.dataStart;
    while (at < end) {
        auto child = readElement(w, at);
        if (!child)
            return cluster.size == kUnknownSize && at >= w.fileSize() ? std::optional<uint64_t>(at)
                                                                      : std::nullopt;
        if (cluster.size == kUnknownSize && kSegmentChildren.count(child->id))
            return at;
        if (child->size == kUnknownSize)
            return std::nullopt;
        if (child->id == kTimecode)
            clusterTime = int64_t(readUnsigned(w, *child).value_or(0));
        else if (child->id == kSimpleBlock) {
            if (!readBlock(w, child->dataStart, child->size, clusterTime, true, false, 0, frames))
                return std::nullopt;
        } else if (child->id == kBlockGroup) {
            if (!readBlockGroup(w, *child, clusterTime, frames))
                return std::nullopt;
        }
        at = child->end();
    }
    return end;
}

constexpr uint32_t kDuration = 0x4489;

double readFloat(Window& w, const Element& e)
{
    const uint8_t* p = e.size == 4 || e.size == 8 ? w.bytes(e.dataStart, size_t(e.size)) : nullptr;
    if (!p)
        return 0;
    uint64_t bits = 0;
    for (size_t i = 0; i < e.size; ++i)
        bits = bits << 8 | p[i];
    if (e.size == 4) {
        uint32_t narrow = uint32_t(bits);
        float f = 0;
        std::memcpy(&f, &narrow, sizeof f);
        return double(f);
    }
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

} // namespace

struct MVMatroskaScanner::State {
    explicit State(std::shared_ptr<const MVByteSource> source)
        : window(std::move(source))
    {
    }
    Window window;
    uint64_t segmentEnd = 0;
    uint64_t at = 0; // the next segment-level element
    TrackFacts facts;
    uint64_t timecodeScale = 1000000;
    double duration = 0; // in ticks
    std::map<uint64_t, int64_t> delayTicks; // per track
    bool failed = false;
};

MVMatroskaScanner::MVMatroskaScanner() = default;
MVMatroskaScanner::~MVMatroskaScanner() = default;

std::unique_ptr<MVMatroskaScanner> MVMatroskaScanner::open(std::shared_ptr<const MVByteSource> source)
{
    if (!source)
        return nullptr;
    std::unique_ptr<MVMatroskaScanner> scanner(new MVMatroskaScanner);
    const uint64_t fileSize = source->size();
    scanner->_state = std::make_unique<State>(std::move(source));
    State& s = *scanner->_state;
    Window& w = s.window;
    auto header = readElement(w, 0);
    if (!header || header->id != kEBML || header->size == kUnknownSize)
        return nullptr;
    auto segment = readElement(w, header->end());
    if (!segment || segment->id != kSegment)
        return nullptr;
    s.segmentEnd = std::min(segment->end(), fileSize);
    bool tracksRead = false;
    uint64_t at = segment->dataStart;
    while (at < s.segmentEnd) {
        auto e = readElement(w, at);
        if (!e)
            return nullptr; // damaged or cut short: libavformat recovers what it can
        if (e->id == kCluster)
            break;
        if (e->size == kUnknownSize)
            return nullptr;
        if (e->id == kTracks) {
            if (tracksRead || !readTracks(w, *e, s.facts))
                return nullptr;
            tracksRead = true;
        }
        if (e->id == kInfo)
            for (uint64_t c = e->dataStart; c < e->end();) {
                auto child = readElement(w, c);
                if (!child || child->size == kUnknownSize)
                    return nullptr;
                if (child->id == kTimecodeScale)
                    s.timecodeScale = readUnsigned(w, *child).value_or(0);
                else if (child->id == kDuration)
                    s.duration = readFloat(w, *child);
                c = child->end();
            }
        at = e->end();
    }
    // Tracks after the clusters would mean reading the whole file before knowing what it holds.
    if (!tracksRead || s.timecodeScale == 0)
        return nullptr;
    s.at = at;
    // Times as libavformat gives them: a track's codec delay, in ticks, taken off.
    for (const auto& [track, delay] : s.facts.codecDelays)
        s.delayTicks[track] = int64_t((delay + s.timecodeScale / 2) / s.timecodeScale);
    return scanner;
}

const std::vector<uint64_t>& MVMatroskaScanner::trackNumbers() const
{
    return _state->facts.numbers;
}

double MVMatroskaScanner::statedDuration() const
{
    double seconds = _state->duration * double(_state->timecodeScale) / 1e9;
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

double MVMatroskaScanner::ticksPerSecond() const
{
    return 1e9 / double(_state->timecodeScale);
}

uint64_t MVMatroskaScanner::position() const
{
    return _state->at;
}

MVMatroskaScanner::Step MVMatroskaScanner::readClusters(uint64_t until, Frames& frames)
{
    State& s = *_state;
    if (s.failed)
        return Step::Failed;
    Window& w = s.window;
    auto fail = [&] {
        s.failed = true;
        return Step::Failed;
    };
    while (s.at < s.segmentEnd && s.at < until) {
        auto e = readElement(w, s.at);
        if (!e)
            return fail();
        if (e->id == kCluster) {
            Frames cluster;
            auto next = readCluster(w, *e, s.segmentEnd, cluster);
            if (!next)
                return fail();
            for (auto& [track, list] : cluster) {
                if (s.facts.unusable.count(track))
                    return fail();
                auto delay = s.delayTicks.find(track);
                auto& out = frames[track];
                for (auto& f : list) {
                    if (delay != s.delayTicks.end())
                        f.time -= delay->second;
                    out.push_back(f);
                }
            }
            s.at = *next;
            continue;
        }
        // A second head (tracks, time scale) after the clusters is more than this way reads.
        if (e->size == kUnknownSize || e->id == kTracks || e->id == kInfo)
            return fail();
        s.at = e->end();
    }
    return s.at >= s.segmentEnd ? Step::Done : Step::More;
}

std::optional<MVMatroskaFrames> MVReadMatroskaFrames(std::shared_ptr<const MVByteSource> source)
{
    auto scanner = MVMatroskaScanner::open(std::move(source));
    if (!scanner)
        return std::nullopt;
    MVMatroskaFrames out;
    if (scanner->readClusters(UINT64_MAX, out.frames) != MVMatroskaScanner::Step::Done)
        return std::nullopt;
    out.trackNumbers = scanner->trackNumbers();
    return out;
}
