#pragma once
// The info rows of a movie document: a fixed table of labelled values (source, format, frame rate, data
// size, current time ...) and the movie's annotation texts. The document builds the rows once, fills
// their values, refreshes the changing ones while the movie plays, and posts
// "kMVPMediaAttributesHaveChangedNotification" (object the document) after each refresh.
//
// The row texts are built by the functions below from the movie and what the document knows of it, so
// the info panel, the recording window and the tests share them.
#include "platform/drawing/geometry.h"
#include "platform/mvkit/movie.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kMVPMediaAttributesHaveChangedNotification
    = "kMVPMediaAttributesHaveChangedNotification";

// One labelled info row. Either part may be missing (the empty row has neither).
struct MVPAttributePair {
    std::optional<std::string> label;
    std::optional<std::string> value;

    static MVPAttributePair attributePairWithLabel(
        std::optional<std::string> label, std::optional<std::string> value)
    {
        return { std::move(label), std::move(value) };
    }
    void setLabel(std::optional<std::string> text) { label = std::move(text); }
    void setValue(std::optional<std::string> text) { value = std::move(text); }
    bool operator==(const MVPAttributePair&) const = default;
};

namespace MVPMediaAttributes {

// Row indexes.
enum Row : int {
    SourceRow = 0,
    FormatRow = 1,
    FPSRow = 2,
    PlayingFPSRow = 3,
    DataSizeRow = 4,
    DataRateRow = 5,
    CurrentTimeRow = 6,
    DurationRow = 7,
    NormalSizeRow = 8,
    CurrentSizeRow = 9,
    BitRateRow = 10,
    QualityRow = 11,
    EmptyRow = 12,
    VisualContextRow = 13,
    RowCount = 14,
};

// The rows with their labels and no values.
std::vector<MVPAttributePair> makeRows();

// What the texts need beside the movie.
struct Context {
    HXSize naturalSize {}; // as the document keeps it
    HXSize displayedSize {}; // the movie view's size; zero when not shown
    bool timeModeTC = false; // times as time code
};

// A movie longer than one second: its duration value is greater than its time scale.
bool isLongerThanOneSecond(const MVMovie& movie);
// The movie's frame rate (frames per second of its first enabled video track); 0 for none.
double staticFrameRate(const MVMovie& movie);
// While playing, the rate pictures are being shown at; here the same as the static rate.
double dynamicFrameRate(const MVMovie& movie);
bool isStreaming(const MVMovie& movie);

std::optional<std::string> sourceString(const MVMovie& movie);
// The format text of one track, shared by the info rows and the movie's format summary: the codec with
// the channels and sample rate of sound, the codec with the picture size of video, the chapter text for a
// text track of a movie with chapters (else nothing), and the codec name of any other track. Empty when
// the track has no sample description.
std::string trackFormatString(const MVMovie& movie, const MVTrack& track);
std::optional<std::string> formatString(const MVMovie& movie, const Context& context);
std::optional<std::string> fpsString(const MVMovie& movie);
std::optional<std::string> playingFPSString(const MVMovie& movie);
std::optional<std::string> dataSizeString(const MVMovie& movie);
std::optional<std::string> dataRateString(const MVMovie& movie);
std::optional<std::string> currentTimeString(const MVMovie& movie, const Context& context);
std::optional<std::string> durationString(const MVMovie& movie, const Context& context);
std::optional<std::string> normalSizeString(const Context& context);
std::optional<std::string> currentSizeString(const Context& context);
// Whether `size` is the natural size at `scale`, as a window shows it: each side the scaled one or that
// rounded to whole pixels (a 161-wide movie at half size is 81 wide), give or take what a size worked back
// from a scale factor picks up on the way.
bool isNaturalSizeAtScale(HXSize size, HXSize naturalSize, double scale);
// The size with a note when it is the natural size, its half or its double.
std::string stringForMovieDisplaySize(HXSize size, HXSize naturalSize);
std::optional<std::string> bitRateString(const MVMovie& movie);
std::optional<std::string> qualityString(const MVMovie& movie);
std::optional<std::string> visualContextString(const MVMovie& movie);
// "%ld" of a whole rate, else "%3.2lf", with the locale's decimal separator.
std::string frameRateText(double rate);

// The annotation texts of the movie and its enabled tracks of interest, in the fixed order of types.
std::vector<std::string> annotationStrings(const MVMovie& movie);

} // namespace MVPMediaAttributes
