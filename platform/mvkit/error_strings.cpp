#include "platform/mvkit/error_strings.h"

#include "platform/basekit/bundle.h"

#include <map>

namespace {

// The codes the movie files, the exporters, the decoders and the workers report, and what they mean.
const std::map<int64_t, const char*>& errorTexts()
{
    static const std::map<int64_t, const char*> texts {
        { -34, "The disk is full." },
        { -36, "The file could not be read or written." },
        { -37, "The file name is not valid." },
        { -43, "The file could not be found." },
        { -47, "The file is in use." },
        { -48, "A file of that name exists already." },
        { -49, "The file is already open for writing." },
        { -50, "A setting or value is not valid." },
        { -54, "The file cannot be opened with the permissions it has." },
        { -61, "The file cannot be written: it is read-only." },
        { -108, "There is not enough memory." },
        { -128, "The operation was canceled." },
        { -2005, "No exporter can write that kind of file from this movie." },
        { -2010, "The movie cannot be used for this." },
        { -2019, "The operation was stopped." },
        { -2100, "The file is not a movie file." },
        { -2101, "The movie file is damaged." },
        { -2102, "Files of this kind cannot be imported." },
        { -2103, "The file is too large." },
        { -2107, "The exporter has no settings to save: it has not been used yet." },
        { -8960, "The media could not be compressed or decompressed." },
        { -10008, "The exporter has no preset of that name." },
    };
    return texts;
}

} // namespace

std::optional<std::string> MVLocalizedStringFromErrorCode(int64_t code)
{
    auto it = errorTexts().find(code);
    if (it == errorTexts().end())
        return std::nullopt;
    return HXBundle::mainBundle()->localizedStringForKey("mvKitError" + std::to_string(code), it->second);
}
