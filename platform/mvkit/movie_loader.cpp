#include "platform/mvkit/movie_loader.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_delegate.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

int interrupted(void* opaque)
{
    return static_cast<std::atomic<bool>*>(opaque)->load() ? 1 : 0;
}

HXError networkError(int code, const std::string& url)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    HXError e = HXError::withDescription(
        HXOSStatusErrorDomain, -2000, std::string("The movie cannot be fetched: ") + text);
    e.userInfo()[HXURLErrorKey] = url;
    return e;
}

// Opening failed before the server answered: no route, refused, timed out, or (EIO from the name lookup)
// no such host.
bool isUnreachable(int code)
{
    for (int e : { ECONNREFUSED, ETIMEDOUT, ENETUNREACH, EHOSTUNREACH, ENETDOWN, EHOSTDOWN, ECONNRESET, EIO })
        if (code == AVERROR(e))
            return true;
    return false;
}

} // namespace

std::shared_ptr<MVMovieLoader> MVMovieLoader::start(
    const std::shared_ptr<MVMovie>& movie, const std::string& url, const std::string& cachePath)
{
    auto loader = std::shared_ptr<MVMovieLoader>(new MVMovieLoader());
    loader->_movie = movie;
    loader->_url = url;
    loader->_cachePath = cachePath;
    // The worker holds the loader weakly through the movie; it only needs its own fields, which the
    // destructor keeps alive by joining first.
    loader->_thread = std::thread([raw = loader.get()] { raw->run(); });
    return loader;
}

MVMovieLoader::~MVMovieLoader()
{
    cancel();
}

void MVMovieLoader::cancel()
{
    _cancelled = true;
    if (_thread.joinable() && _thread.get_id() != std::this_thread::get_id())
        _thread.join();
}

void MVMovieLoader::run()
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(_cachePath).parent_path(), ec);
    AVIOInterruptCB callback { interrupted, &_cancelled };
    AVIOContext* in = nullptr;
    int status = avio_open2(&in, _url.c_str(), AVIO_FLAG_READ, &callback, nullptr);
    if (status < 0) {
        HXError error = networkError(status, _url);
        if (isUnreachable(status))
            error.userInfo()[MVNetworkUnreachableErrorKey] = true;
        deliverEnd(false, error);
        return;
    }
    std::ofstream out(_cachePath, std::ios::binary | std::ios::trunc);
    std::vector<unsigned char> buffer(1 << 16);
    bool haveHeader = false;
    uint64_t received = 0, lastTry = 0;
    HXError error;
    bool ok = out.good();
    while (ok && !_cancelled) {
        int n = avio_read(in, buffer.data(), int(buffer.size()));
        if (n == AVERROR_EOF || n == 0)
            break;
        if (n < 0) {
            error = networkError(n, _url);
            ok = false;
            break;
        }
        out.write(reinterpret_cast<const char*>(buffer.data()), n);
        out.flush();
        ok = out.good();
        received += uint64_t(n);
        // Try the header now and then while the data arrives: a movie whose header comes first is
        // usable before the transfer ends.
        if (!haveHeader && received - lastTry >= (1 << 18)) {
            lastTry = received;
            MVMovieFileReadOptions growing;
            growing.fileMayGrow = true;
            if (auto file = MVReadMovieFile(_cachePath, nullptr, growing);
                file && !file->movie.tracks.empty()) {
                haveHeader = true;
                deliverHeader(std::move(*file));
            }
        }
    }
    avio_closep(&in);
    out.close();
    if (_cancelled)
        return;
    if (ok && !haveHeader) {
        HXError readError;
        auto file = MVReadMovieFile(_cachePath, &readError);
        std::optional<MVImportResult> imported;
        if (!file && (imported = MVImportMovieFile(_cachePath, nullptr)))
            file = imported->file;
        if (file && (!file->movie.tracks.empty() || (imported && !imported->subtitles.empty()))) {
            haveHeader = true;
            deliverHeader(std::move(*file), imported ? &*imported : nullptr);
        } else {
            ok = false;
            error = readError.code()
                ? readError
                : HXError::withDescription(HXOSStatusErrorDomain, -2100, "The data is not a movie.");
        }
    }
    if (!ok && error.domain().empty())
        error
            = HXError::withDescription(HXOSStatusErrorDomain, -2000, "The movie's data could not be stored.");
    deliverEnd(ok, error);
}

void MVMovieLoader::deliverHeader(MVMovieFileDescription file, MVImportResult* imported)
{
    std::weak_ptr<MVMovie> weak = _movie;
    std::string path = _cachePath;
    auto subtitles = imported ? std::move(imported->subtitles) : std::vector<MVImportedSubtitles> {};
    auto leases = imported ? std::move(imported->cacheLeases) : std::vector<std::shared_ptr<void>> {};
    HXRunLoop::performOnMainThread(
        [weak, path, file = std::move(file), subtitles = std::move(subtitles), leases = std::move(leases)] {
            if (auto movie = weak.lock())
                movie->networkHeaderArrived(file, path, subtitles, leases);
        });
}

void MVMovieLoader::deliverEnd(bool ok, HXError error)
{
    std::weak_ptr<MVMovie> weak = _movie;
    HXRunLoop::performOnMainThread([weak, ok, error] {
        if (auto movie = weak.lock())
            movie->networkTransferEnded(ok, error);
    });
}
