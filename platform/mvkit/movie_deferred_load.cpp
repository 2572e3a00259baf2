// A long file opened from its first part: the import read the head of the file and its first clusters,
// and the movie plays from them while a thread of its own reads the rest. When the rest is there, the
// tracks get all their samples on the main thread (or sooner, when an edit, a copy or a save needs them)
// and the movie is complete.
//
// Until then the movie is as long as its file says, and the player waits where the first part ends.
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/playback_supply.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

// What the player may play of a movie whose tracks end early: up to where they end.
class FirstPartSupply : public MVPlaybackSupply {
public:
    explicit FirstPartSupply(int64_t until)
        : _until(until)
    {
    }
    int64_t availableUntil(int64_t time) override { return std::max(time, _until); }
    int64_t until() const { return _until; }
    bool isFinished() const override { return false; }

private:
    int64_t _until;
};

} // namespace

struct MVMovie::DeferredLoad {
    std::shared_ptr<MVImportContinuation> continuation;
    std::thread thread;
    // Written by the thread before it ends; read after it is joined.
    std::optional<MVImportContinuation::Completion> completion;
    HXError error;
    std::string path;
    int64_t statedDuration = 0; // movie units
    std::vector<std::weak_ptr<MVTrack>> tracks; // those the import made, in its order
    std::shared_ptr<FirstPartSupply> supply;
    std::atomic<bool> read { false }; // the thread has done its reading

    ~DeferredLoad()
    {
        continuation->cancel();
        if (thread.joinable())
            thread.join();
    }
};

void MVMovie::startDeferredLoad(
    std::shared_ptr<MVImportContinuation> continuation, double statedSeconds, const std::string& path)
{
    auto load = std::make_shared<DeferredLoad>();
    load->continuation = std::move(continuation);
    load->path = path;
    if (std::isfinite(statedSeconds) && statedSeconds > 0 && statedSeconds < 1e9)
        load->statedDuration = int64_t(std::llround(statedSeconds * _timeScale));
    int64_t firstPartEnd = INT64_MAX;
    for (auto& t : _tracks) {
        load->tracks.push_back(t);
        if (t->isEnabled())
            firstPartEnd = std::min(firstPartEnd, t->duration());
    }
    load->supply = std::make_shared<FirstPartSupply>(firstPartEnd == INT64_MAX ? 0 : firstPartEnd);
    std::weak_ptr<MVMovie> weak = weak_from_this();
    // The thread sees only the continuation and the fields it fills; the movie hears of the end on the
    // main thread.
    DeferredLoad* raw = load.get();
    load->thread = std::thread([raw, weak] {
        raw->completion = raw->continuation->finish(&raw->error);
        raw->read = true;
        HXRunLoop::performOnMainThread([weak] {
            if (auto movie = weak.lock())
                movie->finishLoading();
        });
    });
    _deferredLoad = std::move(load);
}

bool MVMovie::finishLoading() const
{
    if (!_deferredLoad)
        return true;
    // Taken first: whoever hears of the completion may edit at once.
    auto load = std::move(_deferredLoad);
    // What waits for the rest (an edit, a save, a script) shows how far the reading is; a cancel leaves
    // the movie with its first part, as a file cut short would be.
    bool cancelled = false;
    if (_progressProc && !load->read) {
        cancelled = _progressProc(MVMovieProgressMessage::Open, MVMovieProgressOperation::Import,
                        load->continuation->progress())
            != 0;
        while (!load->read) {
            if (cancelled)
                load->continuation->cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!cancelled)
                cancelled = _progressProc(MVMovieProgressMessage::Percent, MVMovieProgressOperation::Import,
                                load->continuation->progress())
                    != 0;
        }
        _progressProc(MVMovieProgressMessage::Close, MVMovieProgressOperation::Import, 1);
    }
    if (load->thread.joinable())
        load->thread.join();
    std::const_pointer_cast<MVMovie>(shared_from_this())->applyDeferredLoad(*load);
    return !cancelled;
}

void MVMovie::applyDeferredLoad(DeferredLoad& load)
{
    if (!load.completion) {
        // The rest could not be read: the movie keeps what it has, and says so.
        HXLog("The rest of " + load.path + " could not be read: " + load.error.localizedDescription());
        _loadError = load.error;
    } else {
        auto& tracks = load.completion->tracks;
        for (size_t i = 0; i < tracks.size() && i < load.tracks.size(); ++i) {
            auto track = load.tracks[i].lock();
            if (!track || track->trackID() != tracks[i].header.trackID)
                continue;
            auto whole = MVTrack::trackWithDescription(tracks[i], _timeScale, load.path);
            track->media()->restoreState(whole->media()->state());
            track->media()->storedDescription() = whole->media()->storedDescription();
            track->setEdits(whole->edits());
        }
        for (auto& lease : load.completion->cacheLeases)
            _importCacheLeases.push_back(std::move(lease));
        for (const auto& problem : load.completion->problems)
            HXLog(load.path + ": " + problem);
    }
    // The tracks changed under whoever shows or plays them (not an edit of the user's: nothing to save).
    postNotification(MVMovieEditedNotification);
    setLoadState(MVMovieLoadStateComplete);
}

std::shared_ptr<MVPlaybackSupply> MVMovie::firstPartSupply() const
{
    return _deferredLoad ? _deferredLoad->supply : nullptr;
}

int64_t MVMovie::firstPartEndWhileLoading() const
{
    return _deferredLoad ? _deferredLoad->supply->until() : 0;
}

int64_t MVMovie::statedDurationWhileLoading() const
{
    return _deferredLoad ? _deferredLoad->statedDuration : 0;
}
