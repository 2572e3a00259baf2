#include "platform/mvkit/chapters.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/sample_text_description.h"
#include "platform/mvkit/user_data.h"

#include <algorithm>
#include <optional>

std::shared_ptr<MVTrack> MVMovieChapterTrack(const MVMovie& movie)
{
    for (auto& t : movie.tracks())
        if (auto chapters = t->referenceTrack(MVFourCC("chap"), 1);
            chapters && chapters->movie().get() == &movie)
            return chapters;
    return nullptr;
}

bool MVMovieHasChapters(const MVMovie& movie)
{
    return !MVMovieChapters(movie).empty();
}

int MVMovieChapterMode(const MVMovie& movie)
{
    return MVMovieHasChapters(movie) ? MVMovieChapterModeClip : MVMovieChapterModeNone;
}

std::vector<MVChapter> MVMovieChapters(const MVMovie& movie)
{
    std::vector<MVChapter> out;
    auto track = MVMovieChapterTrack(movie);
    if (!track)
        return out;
    int64_t t = 0;
    uint16_t flags = MVNextTimeMediaSample | MVNextTimeEdgeOK;
    std::optional<int64_t> lastSample;
    for (;;) {
        auto next = track->nextInterestingTime(t, flags);
        if (next.time < 0)
            break;
        int64_t media = track->trackTimeToMediaTime(next.time);
        if (auto sample = track->media()->getSample(media)) {
            // A cut inside a chapter leaves two edits on its sample, one after the other: still one chapter.
            if (sample->time != lastSample) {
                auto text = MVTextSampleString(sample->bytes);
                out.push_back({ text.value_or(std::string()), MVMakeTime(next.time, movie.timeScale()) });
            }
            lastSample = sample->time;
        } else {
            lastSample.reset();
        }
        t = next.time;
        flags = MVNextTimeMediaSample;
    }
    return out;
}

static MVBytes chapterDescription()
{
    MVText3GSampleDescription d;
    d.displayFlags = 0;
    return MVSerializeText3GSampleDescription(d);
}

std::shared_ptr<MVTrack> MVMovieSetChapters(
    MVMovie& movie, const std::vector<MVChapter>& chapters, HXError* outError)
{
    int64_t total = movie.durationValue();
    std::vector<int64_t> starts;
    for (auto& c : chapters) {
        int64_t start
            = MVTimeIsNumeric(c.startTime) ? MVTimeInScale(c.startTime, movie.timeScale()).timeValue : -1;
        if (start < 0 || start >= total || (!starts.empty() && start <= starts.back())) {
            if (outError)
                *outError = HXError::withDescription(
                    HXOSStatusErrorDomain, -50, "Chapters must start within the movie, one after another.");
            return nullptr;
        }
        starts.push_back(start);
    }
    auto before = movie.newEditState();
    auto old = MVMovieChapterTrack(movie);
    std::vector<std::shared_ptr<MVTrack>> referers;
    for (auto& t : movie.tracks())
        if (t != old && t->isEnabled() && (t->mediaType() == MVFourCC("vide") || t->hasAudio()))
            referers.push_back(t);
    if (old)
        movie.removeTrack(old);
    std::shared_ptr<MVTrack> track;
    if (!chapters.empty()) {
        track = movie.newTrack(MVFourCC("text"), 600);
        track->setEnabled(false);
        auto description = chapterDescription();
        auto media = track->media();
        media->beginEdits();
        for (size_t i = 0; i < chapters.size(); ++i) {
            int64_t end = i + 1 < chapters.size() ? starts[i + 1] : total;
            int64_t duration = MVTimeInScale(MVMakeTime(end - starts[i], movie.timeScale()), 600).timeValue;
            media->addSample(
                MVMakeTextSample(chapters[i].name), std::max<int64_t>(1, duration), 1, description, 0);
        }
        media->endEdits();
        // The track starts with the first chapter.
        if (starts.front() > 0)
            track->insertEmptySegment(0, starts.front());
        track->insertMedia(starts.front(), 0, media->duration());
    }
    for (auto& t : referers) {
        while (t->referenceCount(MVFourCC("chap")) > 0)
            t->setReference(nullptr, MVFourCC("chap"), 1);
        if (track)
            t->setReference(track, MVFourCC("chap"), 1);
    }
    // The chapter list some files also keep in their user data would give other programs the old chapters.
    while (MVUserDataRemoveItem(movie.userData(), MVFourCC("chpl"), 1)) { }
    HXNotificationCenter::defaultCenter().postNotificationName(
        MVMovieChapterListDidChangeNotification, &movie);
    movie.registerEdit(std::move(before), "Chapters");
    return track;
}

MVTextImportResult MVImportText(
    MVMovie& movie, const std::string& text, std::shared_ptr<MVTrack> track, int64_t time)
{
    MVTextImportResult result;
    if (text.empty() || time < 0)
        return result;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        lines.pop_back();
    auto before = movie.newEditState();
    if (!track)
        track = movie.newTrack(MVFourCC("text"), 600);
    auto media = track->media();
    // Lines added to a track with text already are described as its first text is (timed text stays
    // timed text); a new track gets a classic description.
    MVBytes description = media->sampleDescription(1);
    if (description.empty()) {
        MVTextSampleDescription d;
        d.defaultTextBox
            = { 0, 0, int16_t(std::max(1.0, track->height())), int16_t(std::max(1.0, track->width())) };
        description = MVSerializeTextSampleDescription(d);
    }
    int64_t mediaStart = media->duration();
    media->beginEdits();
    for (auto& line : lines)
        media->addSample(MVMakeTextSample(line), media->timeScale(), 1, description, 0);
    media->endEdits();
    int64_t added = media->duration() - mediaStart;
    if (added > 0)
        track->insertMedia(time, mediaStart, added);
    result.track = track;
    result.durationAdded = MVTimeInScale(MVMakeTime(added, media->timeScale()), movie.timeScale()).timeValue;
    movie.registerEdit(std::move(before), "Import Text");
    return result;
}
