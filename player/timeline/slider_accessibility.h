#pragma once
// Spoken descriptions of times for the timeline slider's accessibility: a time in hours, minutes, seconds
// and frames ("AXValueDescription" of the track and its knobs), or the same as a clock text.
//
// The words are fixed English text. A frame rate of 0 or less counts 30 frames a second; a rate below one
// frame a second counts one. Times before zero, and times without a time scale, read as zero.
#include "platform/mvkit/time.h"

#include <string>

// The time as words (spoken) or as "hh:mm:ss.ff" followed by "/rate" when a frame rate was given.
std::string MVPAccessibilityTimeInfoString(MVTime time, float frameRate, bool spoken);
// The spoken form at the movie's frame rate.
std::string MVPAccessibilityCurrentTimeDescription(MVTime time, float frameRate);
// The spoken form of a duration, counted at 30 frames a second.
std::string MVPAccessibilityDurationDescription(MVTime time);

// Accessibility names the slider's elements answer beside the toolkit's.
inline constexpr const char* MVPAccessibilityTimelineSubrole = "AXTimeline";
inline constexpr const char* MVPAccessibilityValueDescriptionAttribute = "AXValueDescription";
