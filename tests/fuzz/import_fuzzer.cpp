// Feeds arbitrary bytes to the import of other containers through libavformat. The bytes live in an
// in-memory file (memfd) that the importer opens by its /proc path like any file, so libavformat's I/O,
// its demuxers and probing, and our reading of packets as byte ranges of the source all see them. The
// import's cache movies go to a private folder emptied after each input.
#include "platform/mvkit/import/movie_importer.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::filesystem::path cacheFolder()
{
    static std::filesystem::path folder = [] {
        char pattern[] = "/tmp/import-fuzz-XXXXXX";
        std::filesystem::path made = ::mkdtemp(pattern) ? pattern : "/tmp";
        ::setenv("XDG_CACHE_HOME", made.c_str(), 1);
        static std::filesystem::path removed = made;
        if (made != "/tmp")
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(removed, ec);
            });
        av_log_set_level(AV_LOG_QUIET);
        return made;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto cache = cacheFolder();
    int fd = ::memfd_create("movie", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t written = 0;
    while (written < size) {
        ssize_t n = ::write(fd, data + written, size - written);
        if (n <= 0)
            break;
        written += size_t(n);
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    (void)MVImportCanReadFile(path);
    HXError error;
    auto result = MVImportMovieFile(path, &error);
    if (result)
        for (const auto& track : result->file.movie.tracks)
            (void)track.media.information.sampleTable.sampleSizes.size();
    ::close(fd);
    std::error_code ec;
    std::filesystem::remove_all(cache / "movara-player", ec);
    return 0;
}
