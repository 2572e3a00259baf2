#include "player/timeline/time_code_formatter.h"

#include <algorithm>

namespace {

const char* const kNotAvailable = "----N/A----";

} // namespace

void TimeCodeFormatter::setMovie(std::shared_ptr<MVMovie> movie)
{
    GenericFormatter::setMovie(std::move(movie));
    _timeCode.reset();
    _media.reset();
    auto track = _movie ? MVTimeCodeMedia::timeCodeTrack(*_movie) : nullptr;
    _timeCodeTrack = track;
    if (track) {
        MVTimeCodeMedia media(track);
        if (media.definition())
            _media = std::move(media);
    }
}

MVTimeCode TimeCodeFormatter::timeCode() const
{
    if (_timeCode)
        return *_timeCode;
    return _media ? _media->currentTimeCode() : MVTimeCode();
}

void TimeCodeFormatter::updateTime()
{
    if (_media)
        _timeCode = _media->currentTimeCode();
    GenericFormatter::updateTime();
}

std::optional<std::string> TimeCodeFormatter::formatTime()
{
    if (!_media || !timeCodeTrack())
        return std::string(kNotAvailable);
    MVTimeCode code = timeCode();
    setTimeCodeFlags(code);
    return code.stringValue();
}

std::optional<std::string> TimeCodeFormatter::formatTimeAt(int64_t movieTimeValue) const
{
    if (!_media || !timeCodeTrack())
        return std::string(kNotAvailable);
    MVTimeCode code
        = _media->timeCodeAtTime(std::max<int64_t>(_media->mediaTimeForTrackTime(movieTimeValue), 0));
    setTimeCodeFlags(code);
    return code.stringValue();
}

MVTimeCode TimeCodeFormatter::firstTimeCode() const
{
    return _media->timeCodeAtTime(std::max<int64_t>(_media->mediaTimeForTrackTime(0), 0));
}

MVTimeCode TimeCodeFormatter::lastTimeCode() const
{
    int64_t last = _media->track()->duration() - 1;
    return _media->timeCodeAtTime(std::max<int64_t>(_media->mediaTimeForTrackTime(last), 0));
}

std::string TimeCodeFormatter::maxTimeString()
{
    if (!_media || !timeCodeTrack())
        return kNotAvailable;
    MVTimeCode code = lastTimeCode();
    setTimeCodeFlags(code);
    return code.stringValue();
}

int TimeCodeFormatter::maxValueForField(int index) const
{
    if (index == 0)
        return std::max(int(timeCode().framesPerSecond()) - 1, 0);
    if (index == 3)
        return 99;
    return 59;
}

std::optional<MVTime> TimeCodeFormatter::movieTimeShowing(MVTimeCode timeCode) const
{
    int64_t first = firstTimeCode().sampleNumber();
    int64_t last = lastTimeCode().sampleNumber();
    if (first <= last)
        timeCode.setSampleNumber(std::clamp(timeCode.sampleNumber(), first, last));
    return _media->movieTimeForTimeCode(timeCode);
}

std::optional<MVTime> TimeCodeFormatter::committedTime(const std::string& text, int state) const
{
    if (!_movie || !_media || !timeCodeTrack())
        return std::nullopt;
    MVTimeCode code = _media->currentTimeCode();
    setTimeCodeFlags(code);
    if (state == FieldEdit) {
        auto f = scanIntegers(text, 4);
        code.setLabel(f[0], f[1], f[2], f[3]);
    } else {
        auto parsed = dotParse(text);
        if (!parsed)
            return std::nullopt;
        auto& p = *parsed;
        p.resize(5, 0);
        int64_t sign = p[0];
        if (sign == 0)
            code.setLabel(p[4], p[3], p[2], p[1]);
        else
            code.setLabel(code.hours() + sign * p[4], code.minutes() + sign * p[3],
                code.seconds() + sign * p[2], code.frames() + sign * p[1]);
    }
    return movieTimeShowing(code);
}
