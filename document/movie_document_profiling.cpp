#include "document/movie_document_profiling.h"

#include "diagnostics/frame_rate_samples.h"
#include "diagnostics/perf_collector.h"
#include "document/movie_document.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <chrono>
#include <cstdlib>

namespace MVPProfilingHooks {

namespace {

constexpr const char* kPlaybackProfile = "MVPLAYERPLAYBACKPROFILE";
constexpr const char* kResizeProfile = "MVPLAYERRESIZEPROFILE";
// A movie whose length cannot be told in seconds is resized for this long.
constexpr double kDefaultResizeSeconds = 10.0;
// The resize loop reads the frame rate this often. Read at each pass of its busy loop, a reading covers a
// millisecond or so: it counts either no picture (0) or one (far above any real rate, so refused), and the
// average of what is left is 0 however well the movie plays.
constexpr double kResizeSampleSeconds = 0.25;

double wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double seconds(MVTime time, double fallback)
{
    double value = 0;
    return MVGetTimeInterval(time, &value) ? value : fallback;
}

// Frames per second of the first enabled picture track, as stored.
double nominalFrameRate(const MVMovie& movie)
{
    for (auto& track : movie.tracks()) {
        auto media = track ? track->media() : nullptr;
        if (!media || !track->isEnabled() || track->mediaType() != MVFourCC("vide"))
            continue;
        if (media->duration() > 0 && media->timeScale() > 0)
            return double(media->sampleCount()) * media->timeScale() / double(media->duration());
    }
    return 0;
}

int64_t drawnPictures(const MVMovie& movie)
{
    auto playback = MVMoviePlayback::existingPlaybackForMovie(&movie);
    return playback ? playback->player().frameCounts().drawn : 0;
}

void resetProbe(const MVMovie& movie, FrameRateProbe& probe)
{
    probe.lastMovieSeconds = seconds(movie.currentTime(), 0);
    probe.lastWallSeconds = wallSeconds();
    probe.lastDrawn = drawnPictures(movie);
}

MVPerfFrameRateSamples samplesOf(MVPMovieDocumentProfiling& fields)
{
    return { fields.avgFrameRate, fields.fpsCount, fields.lastSample };
}

void storeSamples(MVPMovieDocumentProfiling& fields, const MVPerfFrameRateSamples& samples)
{
    fields.avgFrameRate = samples.sum;
    fields.fpsCount = samples.count;
    fields.lastSample = samples.lastSample;
}

void stopSampling(MVPMovieDocument& document)
{
    if (auto& timer = document.profiling().theCurrentTimeTimer)
        timer->invalidate();
    document.setCurrentTimeTimer(nullptr);
}

// The end of a profile: memory, the average frame rate when there is one, the file, and the end of the
// application.
void finish(MVPMovieDocument& document, MVPerfCollector& collector)
{
    collector.stopMeasurementOfMainTask();
    collector.collectMemoryUsageWithLabel("playback_resident_memory");
    if (auto average = samplesOf(document.profiling()).average())
        collector.setDoubleTestValue(*average, "playback_avg_framerate");
    // What became of the pictures since the play began.
    if (auto& movie = document.movie())
        if (auto playback = MVMoviePlayback::existingPlaybackForMovie(movie.get())) {
            const MVFrameCounts& counts = playback->player().frameCounts();
            collector.setLongLongTestValue(counts.presented, "playback_frames_presented");
            collector.setLongLongTestValue(counts.drawn, "playback_frames_drawn");
            collector.setLongLongTestValue(counts.late, "playback_frames_late");
            collector.setLongLongTestValue(counts.dropped, "playback_frames_dropped");
        }
}

} // namespace

void profileFPS(MVPMovieDocument& document)
{
    auto& fields = document.profiling();
    fields.avgFrameRate = 0;
    fields.fpsCount = 0;
    auto probe = std::make_shared<FrameRateProbe>();
    if (auto& movie = document.movie())
        resetProbe(*movie, *probe);
    std::weak_ptr<MVPMovieDocument> weak
        = std::static_pointer_cast<MVPMovieDocument>(document.shared_from_this());
    auto timer = HXTimer::scheduledTimer(0.5, true,
        [weak, probe](HXTimer&) {
            if (auto doc = weak.lock())
                currentFPS(*doc, *probe);
        },
        { HXRunLoopCommonModes });
    document.setCurrentTimeTimer(timer);
}

void currentFPS(MVPMovieDocument& document, FrameRateProbe& probe)
{
    auto& movie = document.movie();
    if (!movie || !movie->isPlaying())
        return;
    double movieNow = seconds(movie->currentTime(), 0);
    double wallNow = wallSeconds();
    double elapsed = wallNow - probe.lastWallSeconds;
    if (probe.lastMovieSeconds < 0 || elapsed <= 0) {
        resetProbe(*movie, probe);
        return;
    }
    // A loop back to the start moves the movie time backwards: that look gives a negative rate, which is
    // not counted.
    const int64_t drawn = drawnPictures(*movie);
    double framesPerSecond = drawn > 0 && probe.lastDrawn >= 0
        ? double(drawn - probe.lastDrawn) / elapsed
        : nominalFrameRate(*movie) * (movieNow - probe.lastMovieSeconds) / elapsed;
    probe.lastMovieSeconds = movieNow;
    probe.lastWallSeconds = wallNow;
    probe.lastDrawn = drawn;
    auto samples = samplesOf(document.profiling());
    samples.add(framesPerSecond);
    storeSamples(document.profiling(), samples);
}

void playerPlaybackTest(MVPMovieDocument& document, const HXNotification& notification)
{
    bool playing = false;
    auto it = notification.userInfo().find(MVMovieRateDidChangeNotificationParameter);
    if (it != notification.userInfo().end())
        playing = it->second.realValue() != 0;
    else
        playing = document.movie() && document.movie()->isPlaying();

    if (playing) {
        // Every play starts the profile again, under a collector of its own.
        auto collector = MVPerfCollector::initTestingEnvVar(kPlaybackProfile);
        if (!collector)
            return;
        collector->setResultsPathFromEnvVar("MVPLAYERPLAYBACKRESULTSPATH");
        MVPerfCollector::setCollectorForTest(collector, kPlaybackProfile);
        collector->startMeasurementOfMainTask();
        if (auto& movie = document.movie())
            if (auto playback = MVMoviePlayback::existingPlaybackForMovie(movie.get()))
                playback->player().resetFrameCounts();
        profileFPS(document);
        return;
    }
    auto collector = MVPerfCollector::collectorForTest(kPlaybackProfile);
    if (!collector || !collector->isCollecting())
        return;
    stopSampling(document);
    finish(document, *collector);
    collector->writeResults();
    collector->terminateApp();
}

void playerResizeTest(MVPMovieDocument& document)
{
    auto collector = MVPerfCollector::initTestingEnvVar(kResizeProfile);
    if (!collector)
        return;
    collector->setResultsPathFromEnvVar("MVPLAYERRESIZERESULTSPATH");
    MVPerfCollector::setCollectorForTest(collector, kResizeProfile);
    auto movie = document.movie();
    auto controller = dynamic_cast<MVPDocumentPlayerWindow*>(document.playerWindowController().get());
    auto& fields = document.profiling();
    fields.avgFrameRate = 0;
    fields.fpsCount = 0;
    fields.frameResizeCount = 0;

    bool playing = std::getenv("MVPLAYERPLAYISPLAYBACKRESIZE") != nullptr && movie;
    if (playing)
        movie->play();
    collector->startMeasurementOfMainTask();
    double limit = movie ? seconds(movie->duration(), kDefaultResizeSeconds) : kDefaultResizeSeconds;
    if (!(limit > 0))
        limit = kDefaultResizeSeconds;
    double started = wallSeconds();
    FrameRateProbe probe;
    if (movie)
        resetProbe(*movie, probe);
    fields.halfSize = true; // the first step halves
    // A playing run ends at the movie's end; its time is bounded by the clock as well, so a playback that
    // stalls (or steps past its exact end) cannot keep the run going for ever.
    auto done = [&] {
        if (wallSeconds() - started >= limit + (playing ? 2.0 : 0.0))
            return true;
        return playing && movie && seconds(movie->currentTime(), 0) >= seconds(movie->duration(), limit);
    };
    while (!done()) {
        // Half and double size, without the animation the menu commands may use: an animated step would
        // be overtaken by the next one before the window moved at all.
        if (controller) {
            controller->setScale(fields.halfSize ? HXMakeSize(0.5, 0.5) : HXMakeSize(2.0, 2.0), false);
            fields.halfSize = !fields.halfSize;
        }
        if (wallSeconds() - probe.lastWallSeconds >= kResizeSampleSeconds)
            currentFPS(document, probe);
        // One pass of the main loop without waiting, so the playback moves on and the window is drawn at
        // each size.
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    }
    finish(document, *collector);
    collector->setLongTestValue(fields.frameResizeCount, "playback_avg_frameresizecount");
    collector->writeResults();
    collector->terminateApp();
}

void observeWindowResizes(MVPMovieDocument& document)
{
    auto controller = document.playerWindowController();
    auto window = controller ? controller->window() : nullptr;
    if (!window)
        return;
    std::weak_ptr<MVPMovieDocument> weak
        = std::static_pointer_cast<MVPMovieDocument>(document.shared_from_this());
    HXNotificationCenter::defaultCenter().addObserver(
        &document, HXWindowDidResizeNotification, window.get(), [weak](const HXNotification&) {
            if (auto doc = weak.lock())
                windowDidResize(*doc);
        });
}

void windowDidResize(MVPMovieDocument& document)
{
    if (MVPerfCollector::collectorForTest(kResizeProfile))
        document.profiling().frameResizeCount += 1;
}

} // namespace MVPProfilingHooks
