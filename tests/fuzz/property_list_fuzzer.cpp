// Feeds arbitrary bytes to the property-list reader (XML, and binary when they start with "bplist"): our
// checks of size, nesting and shared references, then libplist. Whatever is read must write out as XML
// that reads back and writes out again as the same XML (a value may lose what XML cannot carry, such as a
// date's fraction of a second, once, but no more).
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    HXError error;
    auto value = HXPropertyList::fromXML(bytes, &error);
    if (!value)
        return 0;
    auto xml = value->xmlData();
    if (!xml)
        return 0; // a string holding NUL, which XML cannot carry
    auto again = HXPropertyList::fromXML(*xml);
    if (!again)
        std::abort();
    auto xmlAgain = again->xmlData();
    if (!xmlAgain || *xmlAgain != *xml)
        std::abort();
    return 0;
}
