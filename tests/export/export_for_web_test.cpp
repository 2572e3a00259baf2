// Export for Web without a movie: the file-name field's cleaning, the size of the poster and page, and
// the page made from its template.
#include "export/export_ref_movie_for_web_window_controller.h"

#include <gtest/gtest.h>

namespace {

TEST(ExportForWeb, FileNameFormatterReplacesColonsAndSlashes)
{
    struct Case {
        const char* typed;
        const char* shown;
        bool accepted;
    } cases[] = {
        { "Holiday", "Holiday", true },
        { "Day 1: Beach/Sea", "Day 1- Beach-Sea", false },
        { "a/b", "a-b", false },
        { "", "", true },
    };
    MVPFileNameFormatter formatter;
    for (const auto& c : cases) {
        std::string shown;
        EXPECT_EQ(formatter.isPartialStringValid(c.typed, &shown, nullptr), c.accepted) << c.typed;
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(replaceColonsAndSlashesInFileName(c.typed), c.shown);
    }
    HXPropertyList value;
    EXPECT_TRUE(formatter.getObjectValue(value, "x:y", nullptr));
    EXPECT_EQ(value.stringValue(), "x:y");
}

TEST(ExportForWeb, SizeFitsIn1128By480)
{
    struct Case {
        double w, h, fitW, fitH;
        const char* pageWidth;
    } cases[] = {
        { 1920, 1080, 853.333, 480, "853" },
        { 640, 360, 640, 360, "640" },
        { 2256, 480, 1128, 240, "1128" },
        { 1128, 480, 1128, 480, "1128" },
    };
    for (const auto& c : cases) {
        auto [w, h] = MVPExportRefMovieForWebWindowController::exportSize(c.w, c.h);
        EXPECT_NEAR(w, c.fitW, 0.001);
        EXPECT_NEAR(h, c.fitH, 0.001);
        auto page = MVPExportRefMovieForWebWindowController::pageFromTemplate("$(WIDTH)", "x", w, h, {});
        EXPECT_EQ(page, c.pageWidth);
    }
}

TEST(ExportForWeb, PageFromTemplate)
{
    const std::string page
        = "<t>$(TITLE)</t> $(POSTER_IMAGE_URL_ESCAPED) $(POSTER_IMAGE_JS_ESCAPED) "
          "$(POSTER_IMAGE_HTML_ESCAPED) | $(REF_MOVIE_URL_ESCAPED) $(REF_MOVIE_JS_ESCAPED) "
          "$(REF_MOVIE_HTML_ESCAPED) | $(WIDTH)x$(HEIGHT) $(UNKNOWN) $( <ul>$(EXPORT_NAMES)</ul>";
    auto filled = MVPExportRefMovieForWebWindowController::pageFromTemplate(
        page, "Tom's <b>", 640.9, 360, { "Tom's <b>.mp4", "Tom's <b>-cell.m4v" });
    EXPECT_EQ(filled,
        "<t>Tom&#39;s &lt;b&gt;</t> Tom%27s%20%3Cb%3E-poster.jpg Tom%27s%20%3Cb%3E-poster.jpg "
        "Tom&#39;s &lt;b&gt;-poster.jpg | Tom%27s%20%3Cb%3E.mov Tom%27s%20%3Cb%3E.mov Tom&#39;s "
        "&lt;b&gt;.mov | "
        "640x360 $(UNKNOWN) $( <ul>\n\t\t<li><a href=\"Tom%27s%20%3Cb%3E.mp4\">Tom&#39;s "
        "&lt;b&gt;.mp4</a></li>"
        "\n\t\t<li><a href=\"Tom%27s%20%3Cb%3E-cell.m4v\">Tom&#39;s &lt;b&gt;-cell.m4v</a></li></ul>");
    // A name that looks like a placeholder stays as it was typed.
    EXPECT_EQ(MVPExportRefMovieForWebWindowController::pageFromTemplate(
                  "$(TITLE) $(WIDTH)", "$(WIDTH)", 10, 10, {}),
        "$(WIDTH) 10");
}

} // namespace
