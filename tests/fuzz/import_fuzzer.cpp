// Feeds arbitrary bytes to the import of other containers through libavformat. The import reads them
// from memory as it reads a file: libavformat through the import's own I/O context, and our reading of
// packets as byte ranges of the source from the same bytes. The import's cache movies go to a private
// folder emptied after each input.
#include "platform/mvkit/import/movie_importer.h"

#include <cstdlib>
#include <filesystem>
#include <string>
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
    // No extension: libavformat tells the container by its contents alone.
    auto reader = MVImportReader::fromMemory(std::span<const uint8_t>(data, size), "input");
    (void)MVImportCanRead(*reader);
    HXError error;
    auto result = MVImportMovie(reader, &error);
    if (result)
        for (const auto& track : result->file.movie.tracks)
            (void)track.media.information.sampleTable.sampleSizes.size();
    std::error_code ec;
    std::filesystem::remove_all(cache / "movara-player", ec);
    return 0;
}
