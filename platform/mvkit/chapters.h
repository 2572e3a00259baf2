#pragma once
// Chapters: a text track that other tracks refer to through a 'chap' track reference; each text sample
// is a chapter, named by its text, starting where the sample starts in the track.
//
// Text import: a string made into text samples, one line (separated by CR, LF or CR LF) per sample of
// one second.
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"

#include <memory>
#include <string>
#include <vector>

struct MVChapter {
    std::string name;
    MVTime startTime;
    bool operator==(const MVChapter& other) const
    {
        return name == other.name && MVTimeEqual(startTime, other.startTime);
    }
};

// The text track referenced by the first 'chap' reference of any track of the movie; null when none.
std::shared_ptr<MVTrack> MVMovieChapterTrack(const MVMovie& movie);
bool MVMovieHasChapters(const MVMovie& movie);
// How the transport controls treat the movie's chapters: MVMovieChapterModeClip when its chapter track holds
// chapters (the bar's outer buttons go chapter by chapter and the timeline shows the current chapter), else
// MVMovieChapterModeNone.
inline constexpr int MVMovieChapterModeNone = 0;
inline constexpr int MVMovieChapterModeClip = 1;
int MVMovieChapterMode(const MVMovie& movie);
// The chapters in time order, at the movie's time scale.
std::vector<MVChapter> MVMovieChapters(const MVMovie& movie);
// Replaces the movie's chapters: a new, disabled text track ('tx3g' descriptions, times at scale 600),
// referenced through 'chap' by every enabled sound and video track. Each chapter lasts until the next one
// starts, the last until the movie ends. Chapters must start within the movie, in increasing order.
// Posts MVMovieChapterListDidChangeNotification and MVMovieEditedNotification; registers its undo.
std::shared_ptr<MVTrack> MVMovieSetChapters(
    MVMovie& movie, const std::vector<MVChapter>& chapters, HXError* outError);

// Text samples in `track` (or a new text track in parallel when null) at movie time `time`, described as
// the track's first sample is (classic text in a new track). Answers the track used and the movie time
// added; nothing for an empty string.
struct MVTextImportResult {
    std::shared_ptr<MVTrack> track;
    int64_t durationAdded = 0;
};
MVTextImportResult MVImportText(
    MVMovie& movie, const std::string& text, std::shared_ptr<MVTrack> track, int64_t time);
