#pragma once
// MVPTrackScripting: a track of a movie as the scripting object "track" — its properties (what the
// inspector panes show and set), its elements (frames, text frames, chapters, annotations) and its
// commands (transforms, export). Every change a script makes to a track can be undone from the movie's
// Edit menu and reaches the playing movie at once.
//
// A track made by a script from a value (a text, a list of texts, a movie) is a placeholder that
// carries the value until a movie takes it in (MVPScriptMadeTrack): the movie makes the tracks, and the
// script's "make" answers the track made.
#include "platform/basekit/scripting_command.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class MVTrack;

struct MVPScriptMadeTrack {
    HXScriptValue payload; // a text, a list, or a movie document
};

namespace MVPTrackScripting {

const HXScriptClass<MVTrack>& classDescription();
HXScriptReference reference(const std::shared_ptr<MVTrack>& track);
// The track by position among its movie's tracks; nothing for a track of no open movie.
std::optional<HXScriptObjectSpecifier> specifier(const MVTrack& track);

const HXScriptClass<MVPScriptMadeTrack>& madeTrackClassDescription();
HXScriptReference madeTrack(HXScriptValue payload);

// Graphics transfer modes and the codes scripts use for them: 'tmuk' for a mode not in the table, and
// −1 for a code not in it.
uint32_t MapTransferModeToEnum(int64_t mode);
int64_t MapEnumToTransferMode(uint32_t code);

// The language names scripts use ("English" ... "Albanian", the classic language numbers 0...36): the
// name of a track's language ("SystemDefault" for one not in the list), and the number of a name.
std::string languageName(uint16_t language);
std::optional<uint16_t> languageForName(const std::string& name);

// Transparency in percent of an operation colour (0 white ... 100 black), and the grey of a percent.
int transparencyForColor(const std::array<uint16_t, 3>& rgb);
uint16_t greyForTransparency(double percent);

} // namespace MVPTrackScripting
