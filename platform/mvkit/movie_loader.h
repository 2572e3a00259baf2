#pragma once
// MVMovieLoader: fetches a movie from a network URL on a worker thread into a cache file, and hands
// what it learns back to the movie on the main thread: the header as soon as it can be read (load states
// "loaded" and "playable"), then the end of the transfer ("playthrough OK", "complete"), or an error.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class MVMovie;
struct MVImportResult;

class MVMovieLoader : public std::enable_shared_from_this<MVMovieLoader> {
public:
    // Starts fetching `url` for `movie`; the cache file goes to `cachePath`.
    static std::shared_ptr<MVMovieLoader> start(
        const std::shared_ptr<MVMovie>& movie, const std::string& url, const std::string& cachePath);
    ~MVMovieLoader();
    // Stops the transfer and waits for the worker.
    void cancel();
    const std::string& cachePath() const { return _cachePath; }

private:
    MVMovieLoader() = default;
    void run();
    // `imported`: what an import of the whole file found besides the description (its subtitles and
    // the cache entries it reads), taken over by the movie.
    void deliverHeader(MVMovieFileDescription file, MVImportResult* imported = nullptr);
    void deliverEnd(bool ok, HXError error);

    std::weak_ptr<MVMovie> _movie;
    std::string _url;
    std::string _cachePath;
    std::atomic<bool> _cancelled { false };
    std::thread _thread;
};
