#pragma once
// The movie document's profiling hooks: the playback frame-rate profile and the window-resize profile.
// Each runs only while its environment switch is set, and ends the application once its results are
// written.
//
//   "MVPLAYERPLAYBACKPROFILE" (results to "MVPLAYERPLAYBACKRESULTSPATH"): from the first play to the first
//   stop, frame-rate samples every half second and the memory at the stop.
//   "MVPLAYERRESIZEPROFILE" (results to "MVPLAYERRESIZERESULTSPATH"): the player window is halved and
//   doubled over and over for the movie's duration (while playing it with "MVPLAYERPLAYISPLAYBACKRESIZE"),
//   counting the resizes.
#include <memory>

class MVPMovieDocument;
class HXNotification;

namespace MVPProfilingHooks {

// Starts the half-second frame-rate samples of the document's movie.
void profileFPS(MVPMovieDocument& document);
// The movie's frame rate as played: the pictures its playback put on screen since the probe's last look,
// per second of the clock (so a playback that drops pictures shows a lower rate). Before any picture
// reaches a screen (a playback without a view) the nominal rate scaled by how far the movie time moved.
struct FrameRateProbe {
    double lastMovieSeconds = -1;
    double lastWallSeconds = 0;
    int64_t lastDrawn = -1;
};
// One sample, taken only while the movie plays.
void currentFPS(MVPMovieDocument& document, FrameRateProbe& probe);
// The rate of the document's movie changed (called while "MVPLAYERPLAYBACKPROFILE" is set).
void playerPlaybackTest(MVPMovieDocument& document, const HXNotification& notification);
// Runs the resize profile (once the player window is in front).
void playerResizeTest(MVPMovieDocument& document);
// Counts the player window's resizes while a resize profile runs.
void observeWindowResizes(MVPMovieDocument& document);
void windowDidResize(MVPMovieDocument& document);

} // namespace MVPProfilingHooks
