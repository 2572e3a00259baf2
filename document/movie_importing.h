#pragma once
// The player's own ways of making and converting movies, used by scripting, export and the progress
// sheet: a movie made by importing a file of another container, a progress callback on a movie, and
// writing a whole movie to a data reference.
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"

#include <cstdint>
#include <memory>
#include <string>

namespace MVPMovie {

// Installs the callback that a save reports its progress to (and that can cancel it).
void setProgressProc(MVMovie& movie, MVMovieProgressProc proc);

// An empty movie into which the file the data reference names is imported. A failure answers null with
// an error of HXOSStatusErrorDomain carrying the import's status (a data reference that names no file:
// the parameter error).
std::shared_ptr<MVMovie> movieWithImporter(const MVDataReference& reference, HXError* outError);
// The same from a path.
std::shared_ptr<MVMovie> movieWithImporterFromFile(const std::string& path, HXError* outError);

// Writes the whole movie, self-contained, to the data reference; 0, or the failure's status.
int64_t convertToDataRef(MVMovie& movie, const MVDataReference& reference);

} // namespace MVPMovie
