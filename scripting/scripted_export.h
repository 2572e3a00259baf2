#pragma once
// Exports from scripts: which exporter writes a kind of file from a movie or one of its tracks, the
// export itself (in the player, answering when it ends and telling the script's program how far it is
// meanwhile), and the exporter settings a script saves to a file and uses again.
//
// Arguments of the commands: "As" (the kind of file: a four-character code, or its text), "Using"
// ('expr': the settings the exporter was used with last), "UsingSettingsPreset" (a preset's name),
// "UsingSettingsFile" (a settings file saved before), "Replacing" (an existing file may go),
// "Destination" (the file to export to), "DestinationFile" (the settings file to write).
//
// Errors: -2005 no exporter writes that kind of file from this movie (or it has no tracks), -2107 the
// exporter has no settings used last, -10008 no preset of that name, -48 the destination exists and may
// not be replaced, -50 a destination or settings file that cannot be used, else the export's own status.
#include "platform/basekit/scripting_command.h"
#include "platform/mvkit/export/exporter.h"

#include <cstdint>
#include <memory>
#include <optional>

class MVMovie;
class MVTrack;

namespace MVPScriptedExport {

// The kind of file "As" names: a number is the code itself ('MooV' standing for the maker of the player's
// own movie exporter, 'zntl'), a text of up to four characters its code; 0 for anything else.
uint32_t targetCode(const HXScriptValue& as);
// The exporter that writes `target` files from the movie, or from `track` alone; nothing when none can.
std::optional<MVExporterDescription> CanExport(uint32_t target, const MVMovie* movie, const MVTrack* track);
// Exports the movie, or `track` alone when given, as the command's arguments say.
void Export(
    HXScriptCommand& command, const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<MVTrack>& track);
// Writes the settings the exporter for "As" was used with last to "DestinationFile".
void SaveExporterSettings(HXScriptCommand& command, const std::shared_ptr<MVMovie>& movie);

} // namespace MVPScriptedExport
