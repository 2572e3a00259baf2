#pragma once
// MVPMovieDocScripting: a movie document as the scripting object "movie": its properties (mostly the
// movie's, some of its full-screen settings and panels), its elements (tracks, files, internet
// locations, windows ...) and its commands (movie_doc_commands.cpp). A key this class does not define is
// the movie's attribute of that name.
#include "platform/basekit/scripting_command.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class MVMovie;
class MVTrack;
class MVPMovieDocument;

namespace MVPMovieDocScripting {

const HXScriptClass<MVPMovieDocument>& classDescription();
HXScriptReference reference(const std::shared_ptr<MVPMovieDocument>& document);

// The language names scripts use, at the positions of the movie's classic language numbers (0...36).
const std::vector<std::string>& movieLanguages();

// The four-character codes of a load state, a full-screen size mode (read, write) and the controller type.
uint32_t loadStateCode(int64_t loadState);
uint32_t presentationSizeCode(int64_t mode);
int64_t presentationSizeForCode(uint32_t code);
uint32_t controllerTypeCode(uint32_t controllerType);
uint32_t controllerTypeForCode(uint32_t code);

// The scale a window shows the movie at, as a code ('norm', 'half', 'doub', 'fits', 'cust'): from the
// movie's current and natural sizes and, when not full screen, the visible frame of the window's screen
// (none: no screen); `fullScreenSize` is the presentation size code while full screen (0 when not).
struct ScaleInputs {
    double width = 0, height = 0; // current size
    double naturalWidth = 0, naturalHeight = 0;
    uint32_t fullScreenSize = 0;
    std::optional<std::pair<double, double>> visibleFrameSize;
};
uint32_t scaleCode(const ScaleInputs& inputs);

// The 3x3 matrix of the movie from a script's three lists of three numbers; nothing for another shape.
std::optional<std::array<int32_t, 9>> matrixFromValue(const HXScriptValue& value);

// Marks the document's movie changed (the document's change count follows the edit notification).
void movieChanged(MVPMovieDocument& document);

// The movie document whose movie is `movie` (the very object), among the shared document
// controller's documents in its order; null when none.
std::shared_ptr<MVPMovieDocument> documentForMovie(const MVMovie* movie);

// Registers the document's commands on `cls` (movie_doc_commands.cpp).
void addCommands(HXScriptClass<MVPMovieDocument>& cls);

} // namespace MVPMovieDocScripting
