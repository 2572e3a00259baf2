#pragma once
// How the player's values travel to and from scripts.
//
// Times are numbers in the movie's time units. Positions, sizes and offsets are 4-byte records of two
// signed 16-bit values in host byte order, vertical first ({height, width}, {v, h}); a script may also
// send a list of two numbers in that order. Rectangles are 8-byte records (top, left, bottom, right).
// Colours are 6-byte records of three unsigned 16-bit values in host byte order; a script sends a list of
// three integers (0...65535) or such a record. Enumerations are four-character codes in 32-bit numbers.
// Each answer of these kinds carries its type ("point", "size", "rectangle", "color", "code") for the
// client to show it readably.
#include "platform/basekit/scripting_object.h"
#include "platform/drawing/color.h"
#include "platform/mvkit/time.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

class MVMovie;

namespace MVPScriptValues {

// The longest time, either way, a script may give a movie (in its units): 2^46, two thousand years at a
// scale of 1000, and small enough that the editing arithmetic (times in 16.16 rates, sums of two times)
// stays inside 64 bits.
inline constexpr int64_t kLongestScriptTime = int64_t(1) << 46;

// A time of the movie as a number in its time units (64-bit: long movies at fine scales keep their
// value), and a number back to a time at the movie's time scale (held to ±kLongestScriptTime).
int64_t timeValue(const MVMovie& movie, MVTime time);
MVTime timeFromValue(const MVMovie& movie, int64_t value);
// Whether the movie may grow by `added` of its time units and still last at most kLongestScriptTime.
bool mayGrowBy(const MVMovie& movie, int64_t added);
// `later` minus `earlier`, held to the 64-bit range (a script may send any two numbers).
int64_t timeDifference(int64_t later, int64_t earlier);

// Two values as a 4-byte record, vertical first; each truncated and held to the 16-bit range.
HXPropertyList record(double vertical, double horizontal);
// {v, h} from a 4-byte record or a list of two numbers; nothing for anything else.
std::optional<std::pair<int16_t, int16_t>> pointFromValue(const HXScriptValue& value);

// The same records as typed answers.
HXScriptValue pointValue(double vertical, double horizontal);
HXScriptValue sizeValue(double height, double width);
HXScriptValue rectangleValue(int16_t top, int16_t left, int16_t bottom, int16_t right);

// The 6-byte record of a colour (its calibrated RGB components × 65535, truncated).
HXPropertyList colorRecord(const HXColor& color);
HXScriptValue colorValue(const HXColor& color);
HXScriptValue colorValue(const std::array<uint16_t, 3>& rgb);
// Red, green and blue from a list of three integers (each taken as an unsigned 16-bit value, higher
// bits dropped) or a 6-byte colour record; nothing for any other value.
std::optional<std::array<uint16_t, 3>> rgbFromValue(const HXScriptValue& value);
// A list of three integers (each taken as an unsigned 16-bit value, higher bits dropped) as a
// calibrated colour with alpha 1; black for any other value.
HXColor colorFromValue(const HXScriptValue& value);

// A four-character code as a 32-bit number; the code of a value (a number, or a text of up to four
// characters), nothing when it has none.
HXScriptValue code(const char (&text)[5]);
HXScriptValue codeValue(uint32_t code);
std::optional<uint32_t> codeFromValue(const HXScriptValue& value);
uint32_t fourCC(const char (&text)[5]);

// A clamped conversion of a real to a signed 16-bit number (truncating).
int16_t int16Truncating(double value);

} // namespace MVPScriptValues
