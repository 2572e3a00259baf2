// Text search over a movie's text tracks, sample by sample in track time.
#include "platform/basekit/strings.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/text_track_reader.h"

#include <algorithm>
#include <optional>

namespace {

constexpr int caseSensitiveFlag = 2;
constexpr int backwardFlag = 4;
constexpr int wrapFlag = 8;

bool isTextTrack(const MVTrack& t)
{
    uint32_t type = t.mediaType();
    return type == MVFourCC("text") || type == MVFourCC("sbtl") || type == MVFourCC("subt");
}

// A text sample as shown by the track: its start in track time and its text.
struct Shown {
    int64_t start;
    std::string text;
};

std::vector<Shown> shownTexts(const MVTrack& track)
{
    std::vector<Shown> out;
    int64_t t = 0;
    uint16_t flags = MVNextTimeMediaSample | MVNextTimeEdgeOK;
    for (int guard = 0; guard < 1000000; ++guard) {
        auto next = track.nextInterestingTime(t, flags);
        if (next.time < 0 || (guard > 0 && next.time <= t))
            break;
        auto sample = track.media()->getSample(track.trackTimeToMediaTime(next.time));
        // The text as the player shows it (decoded by the sample's format).
        std::string text;
        if (sample) {
            auto description = MVSampleDescriptionFromBytes(sample->description);
            uint32_t format = description ? description->format : MVFourCC("tx3g");
            text = MVTextTrackReader::textFromSample(sample->bytes, format).value_or("");
        }
        out.push_back({ next.time, std::move(text) });
        t = next.time;
        flags = MVNextTimeMediaSample;
    }
    return out;
}

// The byte offsets where `needle` starts in `text`, in order, overlapping matches included. Without
// `caseSensitive` letters match whatever their case, accented and non-Latin ones too.
std::vector<size_t> matchStarts(std::string_view text, std::string_view needle, bool caseSensitive)
{
    std::vector<size_t> starts;
    unsigned options = caseSensitive ? 0u : unsigned(HXString::CaseInsensitive);
    size_t pos = 0;
    while (pos < text.size()) {
        HXRange r = HXString::rangeOfString(text.substr(pos), needle, options);
        if (!r.found())
            break;
        starts.push_back(pos + r.location);
        // On past the first character of this match.
        pos += r.location + 1;
        while (pos < text.size() && (static_cast<uint8_t>(text[pos]) & 0xC0) == 0x80)
            ++pos;
    }
    return starts;
}

} // namespace

MVMovie::TextHit MVMovie::findText(
    const std::string& text, int trackIndex, MVTime startTime, int32_t offset, int flags) const
{
    TextHit none;
    if (text.empty() || _tracks.empty())
        return none;
    bool caseSensitive = flags & caseSensitiveFlag;
    bool backward = flags & backwardFlag;
    bool wrap = flags & wrapFlag;
    int64_t start = std::max<int64_t>(0, movieUnits(startTime));
    int first = std::clamp(trackIndex, 1, trackCount());

    // Positions in search order: (track, sample) pairs walked forward or backward from the start,
    // then, with wrap-around, the rest.
    struct Place {
        int track;
        size_t sample;
    };
    std::vector<std::vector<Shown>> texts(_tracks.size());
    for (size_t i = 0; i < _tracks.size(); ++i)
        if (isTextTrack(*_tracks[i]))
            texts[i] = shownTexts(*_tracks[i]);
    std::vector<Place> order;
    for (size_t i = 0; i < _tracks.size(); ++i)
        for (size_t k = 0; k < texts[i].size(); ++k)
            order.push_back({ int(i + 1), k });
    if (order.empty())
        return none;
    // The place shown at the start (searched from `offset`), else the first place after it (before it,
    // searching backward).
    auto startOf = [&](const Place& p) { return texts[size_t(p.track - 1)][p.sample].start; };
    auto isBefore
        = [&](const Place& p) { return p.track < first || (p.track == first && startOf(p) < start); };
    size_t count = order.size();
    std::optional<size_t> current;
    for (size_t i = 0; i < count; ++i) {
        const auto& p = order[i];
        const auto& list = texts[size_t(p.track - 1)];
        if (p.track == first && startOf(p) <= start
            && (p.sample + 1 == list.size() || list[p.sample + 1].start > start))
            current = i;
    }
    int64_t from;
    if (current) {
        from = int64_t(*current);
    } else if (!backward) {
        from = int64_t(std::find_if_not(order.begin(), order.end(), isBefore) - order.begin());
    } else {
        from = int64_t(std::find_if_not(order.begin(), order.end(), isBefore) - order.begin()) - 1;
    }
    // With wrap-around the walk comes back to the place it started from, to search the part of its text
    // the first visit left out (before the offset forward, after it backward): a single hit is found
    // again.
    size_t steps = count + (wrap && current ? 1 : 0);
    for (size_t step = 0; step < steps; ++step) {
        int64_t i = backward ? from - int64_t(step) : from + int64_t(step);
        if (i < 0 || i >= int64_t(count)) {
            if (!wrap)
                break;
            i = (i % int64_t(count) + int64_t(count)) % int64_t(count);
        }
        const auto& place = order[size_t(i)];
        const auto& shown = texts[size_t(place.track - 1)][place.sample];
        bool atStart = step == 0 && current.has_value();
        // At the start place a forward search takes the first hit at or after the offset, a backward
        // one the last hit before it; elsewhere the first (or last) hit of the text.
        auto starts = matchStarts(shown.text, text, caseSensitive);
        std::optional<size_t> found;
        if (!backward) {
            auto it = starts.begin();
            if (atStart)
                it = std::lower_bound(starts.begin(), starts.end(), size_t(std::max<int32_t>(0, offset)));
            if (it != starts.end())
                found = *it;
        } else {
            auto end = starts.end();
            if (atStart)
                end = std::lower_bound(starts.begin(), starts.end(), size_t(std::max<int32_t>(0, offset)));
            if (end != starts.begin())
                found = *(end - 1);
        }
        if (found)
            return { MVMakeTime(shown.start, _timeScale), place.track, int32_t(*found) };
    }
    return none;
}

MVTime MVMovie::frameStartTime(MVTime time) const
{
    int64_t t = movieUnits(time);
    int64_t best = -1;
    for (auto& track : _tracks) {
        if (!track->isEnabled())
            continue;
        auto r = track->nextInterestingTime(t, MVNextTimeMediaSample | MVNextTimeEdgeOK, -1.0);
        if (r.time >= 0)
            best = std::max(best, r.time);
    }
    return MVMakeTime(best >= 0 ? best : t, _timeScale);
}
