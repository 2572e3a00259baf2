// Links inside movies (href tracks and timed-text links): reading them and resolving them against the
// movie. How a player follows them is checked with the application (tests/app/replace_links_test.cpp).
#include "movie_document_test_support.h"
#include "movie_links_test_support.h"

#include "test_support.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

TEST(MovieLinks, HrefSampleTexts)
{
    struct Case {
        const char* text;
        std::optional<MVMovieLink> link;
    };
    const Case cases[] = {
        { "<http://example.org/a.mov>", MVMovieLink { "http://example.org/a.mov", "" } },
        { "  <b.mov>T<myself>\n", MVMovieLink { "b.mov", "myself" } },
        { "<b.mov>t< _blank >", MVMovieLink { "b.mov", "_blank" } },
        { "A<auto.mov>", MVMovieLink { "auto.mov", "" } },
        { "<b.mov>T<unclosed", MVMovieLink { "b.mov", "" } },
        { "b.mov", std::nullopt },
        { "<>", std::nullopt },
        { "<b.mov", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVParseHrefSampleText(c.text), c.link) << c.text;
}

TEST(MovieLinks, TimedTextLinkAtoms)
{
    EXPECT_EQ(MVTextSampleLinkURL(MVMakeTextSample("click here", MVMakeTextLinkAtom(0, 10, "b.mov#myself"))),
        "b.mov#myself");
    EXPECT_FALSE(MVTextSampleLinkURL(MVMakeTextSample("no link")));
    MVBytes cut = MVMakeTextSample("click", MVMakeTextLinkAtom(0, 5, "http://example.org/long.mov"));
    cut.resize(cut.size() - 8); // the atom's size now runs past the sample
    EXPECT_FALSE(MVTextSampleLinkURL(cut));
}

TEST(MovieLinks, TheLinkShownAtATime)
{
    auto movie = hrefMovie({ "<a.mov>", "<b.mov>T<myself>" });
    auto subtitles = addTextTrack(*movie,
        { MVMakeTextSample("plain"), MVMakeTextSample("linked", MVMakeTextLinkAtom(0, 6, "c.mov")),
            MVMakeTextSample("linked", MVMakeTextLinkAtom(0, 6, "d.mov")) },
        nullptr, MVFourCC("sbtl"));
    EXPECT_EQ(MVMovieLinkAtTime(*movie, seconds(0.5)), (MVMovieLink { "a.mov", "" }));
    EXPECT_EQ(MVMovieLinkAtTime(*movie, seconds(1.5)), (MVMovieLink { "b.mov", "myself" }));
    // Past the href track, the subtitles' own link.
    EXPECT_EQ(MVMovieLinkAtTime(*movie, seconds(2.5)), (MVMovieLink { "d.mov", "" }));
    EXPECT_FALSE(MVMovieLinkAtTime(*movie, seconds(9)));
    EXPECT_FALSE(MVMovieLinkAtTime(*movie, MVIndefiniteTime));
    subtitles->setEnabled(false); // text that is not shown cannot be clicked
    EXPECT_FALSE(MVMovieLinkAtTime(*movie, seconds(2.5)));
    // The href track is no subtitle track.
    auto list = movie->subtitleTracks();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], subtitles);
}

TEST(MovieLinks, LinksResolveAgainstTheMovie)
{
    TempDir dir;
    auto path = (dir.path() / "a.mov").string();
    auto written = hrefMovie({ "<x.mov>" });
    HXError error;
    ASSERT_TRUE(written->writeToFile(path, {}, &error)) << error.localizedDescription();
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    std::string folder = HXURL::fileURLWithPath(dir.path().string(), true).absoluteString();
    struct Case {
        MVMovieLink link;
        std::string url;
    };
    const Case cases[] = {
        { { "b.mov", "" }, folder + "b.mov" },
        { { "b.mov", "myself" }, folder + "b.mov#myself" },
        { { "b.mov#_blank", "myself" }, folder + "b.mov#_blank" },
        { { "http://example.org/c.mov", "" }, "http://example.org/c.mov" },
        { { "#chapter2", "" }, "#chapter2" },
    };
    for (const auto& c : cases) {
        auto url = MVMovieURLForLink(*movie, c.link);
        ASSERT_TRUE(url) << c.link.url;
        EXPECT_EQ(url->absoluteString(), c.url) << c.link.url;
    }
    // Without a delegate nobody follows the link.
    EXPECT_FALSE(MVMovieFollowLinkAtTime(*movie, seconds(0.5)));
}

} // namespace
