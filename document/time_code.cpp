#include "document/time_code.h"

#include <algorithm>

namespace {

uint32_t readBE32(const std::vector<uint8_t>& d, size_t at)
{
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | uint32_t(d[at + 3]);
}

void appendBE32(std::vector<uint8_t>& d, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        d.push_back(uint8_t(v >> shift));
}

// Frames the drop-frame label skips at the start of a minute: 2 per 30 nominal frames per second.
int64_t droppedPerMinute(const MVTimeCodeDefinition& d)
{
    if (!(d.flags & MVTimeCodeDropFrameFlag) || d.framesPerSecond == 0 || d.framesPerSecond % 30 != 0)
        return 0;
    return d.framesPerSecond / 15;
}

int64_t framesPerDay(const MVTimeCodeDefinition& d)
{
    int64_t fps = d.framesPerSecond;
    int64_t drop = droppedPerMinute(d);
    return 24 * 6 * (10 * 60 * fps - 9 * drop);
}

int64_t clampField(int64_t v, int64_t limit)
{
    return std::clamp(v, -limit, limit);
}

} // namespace

std::optional<MVTimeCodeDefinition> MVTimeCodeDefinitionFromDescriptionData(const std::vector<uint8_t>& data)
{
    // reserved (4), flags (4), time scale (4), frame duration (4), frames per second (1), reserved (1)
    if (data.size() < 17)
        return std::nullopt;
    MVTimeCodeDefinition d;
    d.flags = readBE32(data, 4);
    d.timeScale = int32_t(readBE32(data, 8));
    d.frameDuration = int32_t(readBE32(data, 12));
    d.framesPerSecond = data[16];
    if (d.framesPerSecond == 0 || d.timeScale <= 0 || d.frameDuration <= 0)
        return std::nullopt;
    return d;
}

std::vector<uint8_t> MVTimeCodeDescriptionData(const MVTimeCodeDefinition& definition)
{
    std::vector<uint8_t> d;
    appendBE32(d, 0);
    appendBE32(d, definition.flags);
    appendBE32(d, uint32_t(definition.timeScale));
    appendBE32(d, uint32_t(definition.frameDuration));
    d.push_back(definition.framesPerSecond);
    d.push_back(0);
    return d;
}

MVTimeCode::MVTimeCode(const MVTimeCodeDefinition& definition, int64_t sampleNumber)
    : _definition(definition)
{
    setSampleNumber(sampleNumber);
}

void MVTimeCode::setDropFrame(bool dropFrame)
{
    if (dropFrame)
        _definition.flags |= MVTimeCodeDropFrameFlag;
    else
        _definition.flags &= ~MVTimeCodeDropFrameFlag;
    relabel();
}

void MVTimeCode::setSampleNumber(int64_t sampleNumber)
{
    _sampleNumber = sampleNumber;
    relabel();
}

void MVTimeCode::relabel()
{
    int64_t fps = _definition.framesPerSecond;
    _negative = _sampleNumber < 0;
    _hours = 0;
    _minutes = _seconds = _frames = 0;
    if (fps == 0)
        return;
    // The magnitude, kept from overflowing for INT64_MIN.
    int64_t n = _negative ? -(_sampleNumber + 1) + 1 : _sampleNumber;
    if (n < 0)
        n = INT64_MAX;
    if (_definition.flags & MVTimeCode24HourMaxFlag)
        n %= framesPerDay(_definition);
    if (int64_t drop = droppedPerMinute(_definition)) {
        int64_t perMinute = 60 * fps - drop;
        int64_t perTenMinutes = 10 * 60 * fps - 9 * drop;
        int64_t tens = n / perTenMinutes;
        int64_t rest = n % perTenMinutes;
        n += 9 * drop * tens;
        if (rest > drop)
            n += drop * ((rest - drop) / perMinute);
    }
    _frames = int(n % fps);
    _seconds = int(n / fps % 60);
    _minutes = int(n / (fps * 60) % 60);
    _hours = n / (fps * 3600);
}

int64_t MVTimeCode::sampleNumberForLabel(
    const MVTimeCodeDefinition& definition, int64_t hours, int64_t minutes, int64_t seconds, int64_t frames)
{
    int64_t fps = definition.framesPerSecond;
    if (fps == 0)
        return 0;
    hours = clampField(hours, 10'000'000);
    minutes = clampField(minutes, 1'000'000'000);
    seconds = clampField(seconds, 1'000'000'000);
    frames = clampField(frames, 1'000'000'000);
    // The label as a count of nominal frames; out-of-range fields carry.
    int64_t label = ((hours * 60 + minutes) * 60 + seconds) * fps + frames;
    bool negative = label < 0;
    if (negative)
        label = -label;
    int64_t n = label;
    if (int64_t drop = droppedPerMinute(definition)) {
        int64_t totalMinutes = label / (fps * 60);
        int64_t inMinute = label % (fps * 60);
        // A label the count skips names the first frame after it.
        if (totalMinutes % 10 != 0 && inMinute < drop)
            n += drop - inMinute;
        n -= drop * (totalMinutes - totalMinutes / 10);
    }
    return negative ? -n : n;
}

void MVTimeCode::setLabel(int64_t hours, int64_t minutes, int64_t seconds, int64_t frames)
{
    int64_t n = sampleNumberForLabel(_definition, hours, minutes, seconds, frames);
    setSampleNumber(_negative ? -n : n);
}

std::string MVTimeCode::stringValue() const
{
    // Written digit by digit: the display asks for it many times a second.
    std::string text;
    text.reserve(16);
    if (_negative)
        text.push_back('-');
    auto two = [&text](int64_t v) {
        text.push_back(char('0' + v / 10 % 10));
        text.push_back(char('0' + v % 10));
    };
    if (_hours >= 100)
        text += std::to_string(_hours);
    else
        two(_hours);
    text.push_back(':');
    two(_minutes);
    text.push_back(':');
    two(_seconds);
    text.push_back(isDropFrame() ? ';' : ':');
    two(_frames);
    return text;
}
