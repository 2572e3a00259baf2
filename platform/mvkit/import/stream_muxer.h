#pragma once
// One stream of an imported file written by libavformat's movie muxer, to memory or to a file.
//
// The muxer knows how every codec it takes is described in a movie ('avcC' from start-code parameter
// sets, 'hvcC', 'av1C', 'vpcC', 'dOps', 'dfLa', 'esds', 'dac3', ...) and how packets must be rewritten
// for it (start codes to length prefixes, ADTS headers stripped), so the import lets it do both and
// reads what it wrote with our own atom reader. "mov" is tried first; codecs only the MPEG-4 flavour
// takes (Opus, FLAC, Vorbis, ...) fall back to "mp4".
//
// Codecs no movie-file description names are written under this program's own format code ('MVav',
// codec_parameters_description.h): the muxer stores their packets as they are and gives the track a
// plain description, which the import replaces with the full one.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct AVStream;
struct AVPacket;
struct AVFormatContext;

class MVStreamMuxer {
public:
    // How the stream is described: as movie files describe its codec, or under the program's own code.
    enum class Description { Movie, Own };
    // A muxer for one stream with `source`'s codec parameters, writing to `path` (memory when empty).
    // Nothing, with the muxer's reason in `why`, when neither flavour takes the codec.
    static std::unique_ptr<MVStreamMuxer> create(const AVStream* source, const std::string& path,
        std::string* why, Description description = Description::Movie);
    ~MVStreamMuxer();
    MVStreamMuxer(const MVStreamMuxer&) = delete;
    MVStreamMuxer& operator=(const MVStreamMuxer&) = delete;

    // Writes a packet whose times are in the source stream's time base (the packet is left unref'd).
    // False, with the reason in `why`, when the muxer refuses it.
    bool write(AVPacket* packet, std::string* why);
    // Writes the movie header; false when the muxer could not.
    bool finish(std::string* why);
    // What went to memory (a muxer writing to memory only).
    const std::vector<uint8_t>& bytes() const { return _memory; }

private:
    MVStreamMuxer() = default;
    bool open(const AVStream* source, const char* format, const std::string& path, std::string* why,
        Description description);
    void close();
    static int writeMemory(void* opaque, uint8_t* data, int size);
    static int64_t seekMemory(void* opaque, int64_t offset, int whence);

    AVFormatContext* _context = nullptr;
    int _sourceTimeBaseNum = 1;
    int _sourceTimeBaseDen = 1;
    bool _toMemory = false;
    bool _finished = false;
    int64_t _lastDts = INT64_MIN; // AV_NOPTS_VALUE: none written yet
    std::vector<uint8_t> _memory;
    size_t _position = 0;
    // Opus: the decode times of the first packet and of the last 32, in the muxer's time base.
    int64_t _firstOpusDts = 0;
    std::deque<int64_t> _recentOpusDts;
};
