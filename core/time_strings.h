#pragma once
// Media times as text, and the kinds of time. Every text about a time outside the time display comes
// from here.
#include "platform/mvkit/time.h"

#include <cstdint>
#include <string>

// Splits a time into days, hours (0-23), minutes, seconds and hundredths (negative times give negative
// fields). False, and nothing written, for an indefinite time or a scale below 1. Any pointer may be null.
bool MVPCrackTime(MVTime time, int64_t* days = nullptr, int64_t* hours = nullptr, int64_t* minutes = nullptr,
    int64_t* seconds = nullptr, int64_t* hundredths = nullptr);

// The time in the form the duration calls for: "D:HH:MM:SS.hh" (a day or more, or a negative duration),
// "H:MM:SS.hh", "M:SS.hh", or "S.hh" ("0:SS.hh" with a leading zero). A time or a duration that cannot
// be divided out (indefinite, scale below 1) gives the localized "mvpIndeterminateTime".
std::string MVPStringForTimeAndDurationWithLeadingZero(MVTime time, MVTime duration, bool leadingZero);
std::string MVPStringForTimeAndDuration(MVTime time, MVTime duration);
std::string MVPStringForTime(MVTime time);

// "D:HH:MM:SS.hh" without a frame rate (0, negative or not a number); with one,
// "D:HH:MM:SS.FF/RR" or "D:HH:MM:SS.FF/RR.rr", FF the frame within the second.
std::string MVPTimeInfoString(MVTime time, float frameRate);

bool MVPTimeIsDefined(MVTime time);
bool MVPTimeIsUndefined(MVTime time);
bool MVPTimeIsDefinite(MVTime time);
bool MVPTimeIsIndefinite(MVTime time);
bool MVPTimeIsFinite(MVTime time);
bool MVPTimeIsInfinite(MVTime time);
bool MVPTimeIsPositiveInfinity(MVTime time);
bool MVPTimeIsNegativeInfinity(MVTime time);
