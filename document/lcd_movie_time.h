#pragma once
// The movie's current time as the time display shows it. A movie keeps the time it was last set to (or
// stopped at); while its playback plays, the time moves on in the playback alone, so the display's
// readouts and its slider ask the playback then.
#include "platform/mvkit/movie.h"

MVTime MVPLCDMovieCurrentTime(const MVMovie& movie);
