#pragma once
// Subtitle streams of imported files (SubRip, ASS/SSA, WebVTT, timed text) as text tracks, and their
// chapters as a chapter track.
//
// libavcodec decodes every text subtitle format to ASS events; the import keeps the plain text of each
// event with its display interval, and the movie gets one subtitle track ('sbtl' media, 'tx3g' samples
// kept in memory until a save writes them) per stream. Overlapping events show together, one above the
// other; the time between events is an empty sample. Subtitles drawn as pictures (DVD, Blu-ray, DVB)
// have no text to keep and are left out by the import with the reason.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct AVStream;
struct AVPacket;
class MVMovie;

struct MVSubtitleCue {
    int64_t start = 0; // microseconds from the movie's start
    int64_t end = 0;
    std::string text; // UTF-8, lines separated by '\n'
    bool operator==(const MVSubtitleCue&) const = default;
};

// The stream's language tag as a packed ISO 639-2 code (the movie's form); 0 when it has none of three
// letters.
uint16_t MVImportedStreamLanguage(const AVStream* stream);

struct MVImportedSubtitles {
    uint16_t language = 0; // packed ISO 639-2 code, 0 when unknown
    bool preferred = false; // the file marks the stream as shown by default (or forced)
    std::vector<MVSubtitleCue> cues;
};

// Decodes the packets of one text subtitle stream into cues.
class MVSubtitleStreamReader {
public:
    // Nothing, with the reason in `why`, for a stream whose subtitles are pictures or whose format
    // libavcodec cannot decode.
    static std::unique_ptr<MVSubtitleStreamReader> create(
        const AVStream* stream, int64_t movieStartMicros, std::string* why);
    ~MVSubtitleStreamReader();
    MVSubtitleStreamReader(const MVSubtitleStreamReader&) = delete;
    MVSubtitleStreamReader& operator=(const MVSubtitleStreamReader&) = delete;

    // Decodes one packet; an undecodable packet is skipped (and counted).
    void take(const AVPacket* packet);
    int skippedPackets() const { return _skipped; }
    MVImportedSubtitles result() const;

private:
    MVSubtitleStreamReader() = default;
    struct Context;
    std::unique_ptr<Context> _context;
    const AVStream* _stream = nullptr;
    int64_t _movieStart = 0;
    int _skipped = 0;
    std::vector<MVSubtitleCue> _cues;
};

// The text of an ASS event line as libavcodec gives it ("ReadOrder,Layer,Style,Name,MarginL,MarginR,
// MarginV,Effect,Text") or of a bare dialogue text: override blocks ({\i1}) removed, \N and \n as line
// breaks, \h as a space.
std::string MVPlainTextFromASS(std::string_view event);

// The display intervals of `cues` as consecutive samples from time 0: (duration in microseconds, text)
// pairs, with empty texts between cues and overlapping cues joined line by line.
std::vector<std::pair<int64_t, std::string>> MVSubtitleTimeline(const std::vector<MVSubtitleCue>& cues);

// A chapter of an imported file (Matroska's editions, Ogg and FLAC comments, MP3's ID3 frames).
struct MVImportedChapter {
    int64_t start = 0; // microseconds from the movie's start
    std::string name;
    bool operator==(const MVImportedChapter&) const = default;
};

// Gives `movie` a chapter track of `chapters` (in time order, each starting within the movie), as a movie
// file's chapters are: the transport bar and the chapter menu go by them, and a save keeps them. The movie
// is not marked changed.
void MVAddImportedChapters(MVMovie& movie, const std::vector<MVImportedChapter>& chapters);

// Adds one subtitle track per entry to `movie`, sized like its largest picture. The preferred one (else
// the first) is shown; the others wait in the Subtitles menu.
void MVAddSubtitleTracks(MVMovie& movie, const std::vector<MVImportedSubtitles>& subtitles);
