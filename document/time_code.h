#pragma once
// MVTimeCode: a time-code value — hours, minutes, seconds and frames under a time-code definition
// (nominal frames per second, drop-frame, 24-hour wrap) — and its frame number ("sample number").
//
// The frame number is what a value stands for; the fields are its label. Changing the drop-frame flag
// keeps the frame and relabels it. Drop-frame labels skip frames 0 and 1 (0 to 3 at 60 fps) at the start
// of every minute except each tenth, so that 29.97 fps time code keeps up with the clock.
//
// Text form: "HH:MM:SS:FF", or "HH:MM:SS;FF" with drop frame; a negative value starts with "-". Hours
// beyond 99 take more digits.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Flags of a time-code definition, as stored in a 'tmcd' sample description.
inline constexpr uint32_t MVTimeCodeDropFrameFlag = 0x1;
inline constexpr uint32_t MVTimeCode24HourMaxFlag = 0x2;
inline constexpr uint32_t MVTimeCodeNegativeTimesOKFlag = 0x4;
inline constexpr uint32_t MVTimeCodeCounterFlag = 0x8;

struct MVTimeCodeDefinition {
    uint32_t flags = 0;
    int32_t timeScale = 0; // units per second of the frame duration
    int32_t frameDuration = 0; // units per frame
    uint8_t framesPerSecond = 0; // nominal: 30 for 29.97

    bool operator==(const MVTimeCodeDefinition&) const = default;
};

// The definition held in the data of a 'tmcd' sample description; nothing when the data is too short
// or describes no frames.
std::optional<MVTimeCodeDefinition> MVTimeCodeDefinitionFromDescriptionData(const std::vector<uint8_t>& data);
// The data of a 'tmcd' sample description for `definition`.
std::vector<uint8_t> MVTimeCodeDescriptionData(const MVTimeCodeDefinition& definition);

class MVTimeCode {
public:
    MVTimeCode() = default;
    explicit MVTimeCode(const MVTimeCodeDefinition& definition, int64_t sampleNumber = 0);

    const MVTimeCodeDefinition& definition() const { return _definition; }
    uint8_t framesPerSecond() const { return _definition.framesPerSecond; }
    bool isDropFrame() const { return _definition.flags & MVTimeCodeDropFrameFlag; }
    // Relabels the same frame.
    void setDropFrame(bool dropFrame);

    int64_t sampleNumber() const { return _sampleNumber; }
    void setSampleNumber(int64_t sampleNumber);

    // The label. Setting a field keeps the others and moves to the frame the new label names; values
    // beyond a field's range carry into the next field (61 seconds is one minute and one second). A
    // label that drop frame skips names the next frame that is labelled.
    bool isNegative() const { return _negative; }
    int64_t hours() const { return _hours; }
    int minutes() const { return _minutes; }
    int seconds() const { return _seconds; }
    int frames() const { return _frames; }
    void setHours(int64_t hours) { setLabel(hours, _minutes, _seconds, _frames); }
    void setMinutes(int64_t minutes) { setLabel(_hours, minutes, _seconds, _frames); }
    void setSeconds(int64_t seconds) { setLabel(_hours, _minutes, seconds, _frames); }
    void setFrames(int64_t frames) { setLabel(_hours, _minutes, _seconds, frames); }
    // The frame of a label (of the sign of the value); the fields may be out of their ranges.
    void setLabel(int64_t hours, int64_t minutes, int64_t seconds, int64_t frames);

    std::string stringValue() const;

    // The frame number a label names, under `definition`, without wrapping.
    static int64_t sampleNumberForLabel(const MVTimeCodeDefinition& definition, int64_t hours,
        int64_t minutes, int64_t seconds, int64_t frames);

private:
    void relabel();

    MVTimeCodeDefinition _definition;
    int64_t _sampleNumber = 0;
    bool _negative = false;
    int64_t _hours = 0;
    int _minutes = 0;
    int _seconds = 0;
    int _frames = 0;
};
