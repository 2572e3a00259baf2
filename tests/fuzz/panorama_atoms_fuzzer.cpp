// Feeds arbitrary bytes to the panorama readers as panorama data, node information and a node list; what
// they read must write out and read back to the same bytes.
#include "platform/mvkit/panorama/panorama_atoms.h"

#include <cstdlib>

namespace {

template<class T, class Parse, class Serialize> void roundTrip(const MVBytes& bytes, Parse parse, Serialize serialize)
{
    std::optional<T> read = parse(bytes);
    if (!read)
        return;
    MVBytes once = serialize(*read);
    std::optional<T> again = parse(once);
    if (!again || serialize(*again) != once)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MVBytes bytes(data, data + size);
    roundTrip<MVPanoramaSampleData>(bytes, MVParsePanoramaSample, MVSerializePanoramaSample);
    roundTrip<MVNodeInformation>(bytes, MVParseNodeInformation, MVSerializeNodeInformation);
    roundTrip<MVPanoramaWorld>(bytes, MVParsePanoramaWorld, MVSerializePanoramaWorld);
    return 0;
}
