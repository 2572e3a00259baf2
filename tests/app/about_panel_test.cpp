#include "app/about_panel.h"

#include <gtest/gtest.h>

namespace {

TEST(AboutPanel, VersionFromSourceVersion)
{
    struct Case {
        const char* source;
        const char* version;
    };
    const Case cases[] = {
        { "7650200", "765.2" },
        { "7650000", "765" },
        { "7650201", "765.2.1" },
        { "7650001", "765.0.1" },
        { "10000", "1" },
        { "0010203", "1.2.3" },
        // Too short to have a first part, or not digits: unknown, never a read out of range.
        { "0200", "" },
        { "12", "" },
        { "", "" },
        { "76a0200", "" },
        { " 7650200", "" },
        { "12345678901234", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(MVPAboutPanel::versionStringFromSourceVersion(c.source), c.version);
    }
}

} // namespace
