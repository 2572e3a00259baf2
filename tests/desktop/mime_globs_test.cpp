// The MIME types the shared database gives file extensions, read from a small globs2 text.
#include "desktop/mime_globs.h"

#include <gtest/gtest.h>

namespace {

const char* kGlobs = "# This file was automatically generated\n"
                     "80:application/x-heavy:*.mov\n"
                     "50:video/x-movie:*.mov\n"
                     "50:text/vnd.trolltech.linguist:*.ts\n"
                     "50:video/mp2t:*.ts\n"
                     "50:audio/ogg:*.ogg\n"
                     "50:video/ogg:*.ogg\n"
                     "50:video/mp4:*.MP4\n"
                     "50:video/x-exact:*.Exact:cs\n"
                     "50:video/mp4:*.m4v\n"
                     "garbage line\n"
                     "x:video/bad:*.bad\n"
                     "50::*.empty\n"
                     "50:video/short\n";

} // namespace

TEST(MIMEGlobs, TypesOfExtensions)
{
    struct Case {
        std::vector<std::string> extensions;
        std::vector<std::string> types;
    };
    const std::vector<Case> cases {
        { { "mov" }, { "application/x-heavy" } }, // the heaviest glob wins
        { { "ogg" }, { "audio/ogg", "video/ogg" } }, // equal weights all count
        { { "ts" }, { "video/mp2t" } }, // text is never ours
        { { "mp4" }, { "video/mp4" } }, // case does not matter...
        { { "exact" }, {} }, // ...unless the glob says so
        { { "Exact" }, { "video/x-exact" } },
        { { "mp4", "m4v", "mov" }, { "video/mp4", "application/x-heavy" } }, // each type once, in order
        { { "unknown", "bad", "empty", "" }, {} }, // unknown and malformed give nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPMIMETypesForExtensions(kGlobs, c.extensions), c.types) << c.extensions.front();
}
