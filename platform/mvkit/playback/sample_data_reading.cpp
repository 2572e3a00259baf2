#include "platform/mvkit/playback/sample_data_reading.h"

#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/streaming/network_data_cache.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

bool MVReadSampleBytes(
    int fd, uint64_t offset, uint64_t size, MVBytes& outBytes, const std::string& path, HXError* outError)
{
    auto beyondTheEnd = [&] {
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, MVStatusInvalidSample, "A sample lies beyond the end of its file.");
        return false;
    };
    // A movie still arriving over the network: bytes that are not there yet are not waited for (the
    // player waits where the data ends); asking for them fetches them first.
    if (auto cache = MVNetworkDataCache::cacheForPath(path); cache && !cache->hasRange(offset, size)) {
        cache->want(offset);
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, MVStatusInvalidSample, "The sample has not arrived yet.");
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        if (outError)
            *outError = HXError::posix(errno, path);
        return false;
    }
    uint64_t length = st.st_size > 0 ? uint64_t(st.st_size) : 0;
    if (offset > length || size > length - offset)
        return beyondTheEnd();
    outBytes.resize(size_t(size));
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, outBytes.data() + done, size_t(size) - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (outError)
                *outError = HXError::posix(errno, path);
            return false;
        }
        if (n == 0) // the file became shorter since it was measured
            return beyondTheEnd();
        done += size_t(n);
    }
    return true;
}
