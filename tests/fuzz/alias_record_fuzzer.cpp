// Feeds arbitrary bytes to the reader of alias records (the data references of reference movies); what it
// reads must serialise and read back the same.
#include "platform/mvkit/atoms/alias_record.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MVBytes bytes(data, data + size);
    auto record = MVParseAliasRecord(bytes);
    if (!record)
        return 0;
    MVBytes written = MVSerializeAliasRecord(*record);
    auto again = MVParseAliasRecord(written);
    if (!again || !(MVSerializeAliasRecord(*again) == written))
        std::abort();
    return 0;
}
