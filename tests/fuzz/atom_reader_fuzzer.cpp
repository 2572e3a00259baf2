// Feeds arbitrary bytes to the movie-file reader, then uses what it read: sample lookups, the writer, and
// reading the written header again.
#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/atom_reader.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/atoms/sample_table.h"
#include "platform/mvkit/atoms/user_data_values.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto src = MVByteSource::fromMemory(std::span<const uint8_t>(data, size));
    HXError error;
    auto file = MVReadMovieFile(*src, &error);
    if (!file)
        return 0;
    for (const auto& track : file->movie.tracks) {
        const auto& table = track.media.information.sampleTable;
        MVSampleTableIndex index(table);
        uint32_t n = index.sampleCount();
        for (uint32_t s : { 0u, n / 3, n ? n - 1 : 0u, n }) {
            index.timingForSample(s);
            index.locationForSample(s);
            index.syncSampleAtOrBefore(s);
        }
        index.sampleForDecodeTime(index.duration() / 2);
        if (n < 100000)
            index.expand();
        for (const auto& d : table.sampleDescriptions) {
            MVParseVideoSampleDescription(d);
            MVParseSoundSampleDescription(d);
            MVSampleDescriptionExtension(d, MVFourCC("avcC"));
        }
        for (const auto& entry : track.media.information.dataInformation.entries)
            MVParseAliasRecord(entry.data);
        if (track.userData)
            for (const auto& item : track.userData->items)
                MVParseInternationalText(item.data);
    }
    MVBytes written = MVSerializeMovieAtom(file->movie);
    auto again = MVParseMovieAtom(written, &error);
    // What the writer wrote, the reader reads back the same.
    if (!again || !(MVSerializeMovieAtom(*again) == written))
        std::abort();
    return 0;
}
