#include "player/timeline/frame_formatter.h"

#include <algorithm>
#include <cstdio>

std::string FrameFormatter::textForTimeCode(const MVTimeCode& timeCode) const
{
    int64_t frame = timeCode.sampleNumber();
    if (!_absoluteFrameMode)
        frame -= firstTimeCode().sampleNumber();
    char text[48];
    std::snprintf(text, sizeof text, "%lld F", (long long)frame);
    return text;
}

std::optional<std::string> FrameFormatter::formatTime()
{
    if (!_media || !timeCodeTrack())
        return TimeCodeFormatter::formatTime();
    return textForTimeCode(timeCode());
}

std::optional<std::string> FrameFormatter::formatTimeAt(int64_t movieTimeValue) const
{
    if (!_media || !timeCodeTrack())
        return TimeCodeFormatter::formatTimeAt(movieTimeValue);
    return textForTimeCode(
        _media->timeCodeAtTime(std::max<int64_t>(_media->mediaTimeForTrackTime(movieTimeValue), 0)));
}

std::string FrameFormatter::maxTimeString()
{
    if (!_media || !timeCodeTrack())
        return TimeCodeFormatter::maxTimeString();
    char text[48];
    std::snprintf(text, sizeof text, "%lld F", (long long)lastTimeCode().sampleNumber());
    return text;
}

int FrameFormatter::selectionMode() const
{
    int mode = TimeCodeFormatter::selectionMode();
    return mode == 1 ? 0 : mode;
}

bool FrameFormatter::select(int index, bool doubleClick)
{
    bool answer = TimeCodeFormatter::select(index, doubleClick);
    if (TimeCodeFormatter::selectionMode() == 1) {
        _selStart = 0;
        _selEnd = -1;
    }
    return answer;
}

bool FrameFormatter::incrementField(int step)
{
    if (!_media || !timeCodeTrack())
        return false;
    MVTimeCode code = timeCode();
    code.setSampleNumber(std::max(code.sampleNumber() + step, firstTimeCode().sampleNumber()));
    _timeCode = code;
    _editState = FieldEdit;
    _modified = true;
    _timeString = textForTimeCode(code);
    return true;
}

void FrameFormatter::applyEdit()
{
    // A commit reads the text in every state, so Return on an unedited field goes to the frame shown.
    if (_movie && _media && timeCodeTrack())
        if (auto time = committedTime(_timeString, _editState))
            _movie->setCurrentTime(*time);
    endEdit();
}

std::optional<MVTime> FrameFormatter::committedTime(const std::string& text, int state) const
{
    if (!_movie || !_media || !timeCodeTrack())
        return std::nullopt;
    if (state == FieldEdit) // stepped with the arrows
        return movieTimeShowing(timeCode());
    auto parsed = dotParse(text);
    if (!parsed)
        return std::nullopt;
    const auto& p = *parsed;
    int64_t sign = p[0];
    bool hasNumber = p.size() > 1;
    MVTimeCode code = _media->currentTimeCode();
    if (sign != 0) {
        if (!hasNumber)
            return std::nullopt;
        code.setSampleNumber(addClamped(code.sampleNumber(), multiplyClamped(sign, p[1])));
    } else {
        if (!hasNumber)
            return std::nullopt;
        int64_t frame = _absoluteFrameMode ? p[1] : addClamped(p[1], firstTimeCode().sampleNumber());
        code.setSampleNumber(frame);
    }
    return movieTimeShowing(code);
}
