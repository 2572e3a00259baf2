#pragma once
// MVPAppScripting: the application object, root of what scripts see: its movies, recordings, windows,
// favorites, recent items and displays, the preferences scripts may read and write, and the commands
// that are not addressed to one movie (open location, image sequences, reference movies, recordings).
// It keeps no state: every list is made when asked for.
#include "platform/basekit/scripting_command.h"

#include <cstdint>
#include <optional>
#include <string>

class HXApplication;
class MVPMovieDocument;

namespace MVPAppScripting {

const HXScriptClass<HXApplication>& classDescription();
// The shared application as a script's root object (nothing without one).
HXScriptReference root();

// The code of a connection speed in bits per second ('288 ' for one not in the table).
uint32_t connectionSpeedCode(int64_t bitsPerSecond);
// The leading number of a version text ("7.6.2" -> 7.6).
double versionNumber(const std::string& version);

// The sample duration and time scale of an image sequence's frames, from the script's frames per second
// or seconds per frame (both optional); nothing for a rate that is not a positive number.
struct FrameTiming {
    int64_t duration = 0;
    int32_t timeScale = 0;
};
std::optional<FrameTiming> imageSequenceTiming(std::optional<double> framesPerSecond, std::optional<double> secondsPerFrame);

} // namespace MVPAppScripting
