#pragma once
// TimeCodeFormatter and DropFrameFormatter: the movie's time code as hours, minutes, seconds and frames
// ("01:00:00:00", drop frame "01:00:00;02"), read from its time-code track; "----N/A----" without one.
//
// A commit reads the fields (or a typed [+|-]hours.minutes.seconds.frames from the right) as a time-code
// label and moves the movie to where the track shows it. A relative entry carries between fields (+30
// seconds at 00:00:45:00 is 00:01:15:00); an entry before the track's first frame lands on it, one after
// its last frame on the last. Origin and maximum do not apply: time code is absolute.
#include "player/timeline/generic_formatter.h"
#include "document/time_code_media.h"

class TimeCodeFormatter : public GenericFormatter {
public:
    explicit TimeCodeFormatter(int type)
        : GenericFormatter(type)
    {
    }

    void setMovie(std::shared_ptr<MVMovie> movie) override;
    // Looked up when the movie is given; none once the track has left the movie.
    std::shared_ptr<MVTrack> timeCodeTrack() const override
    {
        auto track = _timeCodeTrack.lock();
        return track && _movie && track->movie() == _movie ? track : nullptr;
    }
    // The held time code, or the one at the movie's current time when none is held.
    MVTimeCode timeCode() const;
    void setTimeCode(const MVTimeCode& timeCode) { _timeCode = timeCode; }
    void setTimeCodeFlags(MVTimeCode& timeCode) const { timeCode.setDropFrame(isDropFrame()); }
    virtual bool isDropFrame() const { return false; }

    void updateTime() override;
    std::optional<std::string> formatTime() override;
    std::string maxTimeString() override;
    int maxValueForField(int index) const override;

protected:
    std::optional<MVTime> committedTime(const std::string& text, int state) const override;
    std::optional<std::string> formatTimeAt(int64_t movieTimeValue) const override;
    // The movie time showing `timeCode`, kept within the frames the track shows.
    std::optional<MVTime> movieTimeShowing(MVTimeCode timeCode) const;
    // The time codes at the track's first and last units.
    MVTimeCode firstTimeCode() const;
    MVTimeCode lastTimeCode() const;

    std::weak_ptr<MVTrack> _timeCodeTrack;
    std::optional<MVTimeCodeMedia> _media;
    std::optional<MVTimeCode> _timeCode;
};

class DropFrameFormatter : public TimeCodeFormatter {
public:
    explicit DropFrameFormatter(int type)
        : TimeCodeFormatter(type)
    {
    }

    bool isDropFrame() const override { return true; }
};
