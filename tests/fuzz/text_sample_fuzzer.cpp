// Feeds arbitrary bytes to the readers of text tracks: as a sample description of either kind of text
// (classic and timed text), and as a text sample (its string and the atoms after it). Descriptions that
// read must write out and read back the same.
#include "platform/mvkit/sample_text_description.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MVBytes bytes(data, data + size);
    if (auto d = MVParseTextSampleDescription(bytes)) {
        MVBytes written = MVSerializeTextSampleDescription(*d);
        auto again = MVParseTextSampleDescription(written);
        if (!again || !(MVSerializeTextSampleDescription(*again) == written))
            std::abort();
    }
    if (auto d = MVParseText3GSampleDescription(bytes)) {
        MVBytes written = MVSerializeText3GSampleDescription(*d);
        auto again = MVParseText3GSampleDescription(written);
        if (!again || !(MVSerializeText3GSampleDescription(*again) == written))
            std::abort();
    }
    if (auto text = MVTextSampleString(bytes)) {
        for (uint32_t type : { MVFourCC("styl"), MVFourCC("hlit"), MVFourCC("hclr"), MVFourCC("krok"),
                 MVFourCC("dlay"), MVFourCC("href"), MVFourCC("tbox"), MVFourCC("blnk"), MVFourCC("twrp") })
            MVTextSampleAtom(bytes, type);
        if (text->size() < 0xFFFF)
            (void)MVTextSampleString(MVMakeTextSample(*text));
    }
    return 0;
}
