#include "core/movie_error.h"

#include <gtest/gtest.h>

namespace {

std::string stringAt(const HXError& error, const char* key)
{
    auto it = error.userInfo().find(key);
    return it == error.userInfo().end() ? std::string("<absent>") : it->second.stringValue();
}

TEST(MovieError, EachCodeBuildsItsMessage)
{
    struct Case {
        int64_t code;
        std::optional<MVPMovieErrorSubject> movie;
        const char* description; // nullptr: no description of its own
    };
    const MVPMovieErrorSubject named { "Trip.mov" };
    const MVPMovieErrorSubject unnamed { "" };
    const Case cases[] = {
        { 1, std::nullopt, nullptr }, // no text for the key at all
        { 1, named, nullptr },
        { 2, std::nullopt, "Could not open." },
        { 2, named, "Could not open Trip.mov." },
        { 2, unnamed, "Could not open." },
        { 3, named, "Could not save Trip.mov (  )." }, // stray conversions print nothing
        { 4, named, "Could not paste into Trip.mov." },
        { 5, named, "Could not delete." }, // only the plain key is translated
        { 6, named, "Trip.mov may play badly." },
        { 0, std::nullopt, "Unknown error." },
        { 7, named, "Unknown error in Trip.mov." },
        { -3, std::nullopt, "Unknown error." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
            << "code " << c.code << " movie " << (c.movie ? c.movie->displayName : "<none>"));
        HXError error = MVPMovieErrorWithCode(c.code, c.movie, std::nullopt);
        EXPECT_EQ(error.domain(), "MVPMovieErrorDomain");
        EXPECT_EQ(error.code(), c.code);
        EXPECT_EQ(stringAt(error, MVPLocalizedDescriptionKey), c.description ? c.description : "<absent>");
        EXPECT_EQ(stringAt(error, MVPLocalizedRecoverySuggestionErrorKey), "<absent>");
        EXPECT_EQ(stringAt(error, MVPUnderlyingErrorKey), "<absent>");
        EXPECT_EQ(stringAt(error, MVPMovieErrorKey), c.movie ? c.movie->displayName : "<absent>");
    }
}

TEST(MovieError, KeysByCode)
{
    const std::pair<int64_t, const char*> keys[] = { { 1, "mvpCouldNotCreateMovie" },
        { 2, "mvpCouldNotOpenMovie" }, { 3, "mvpCouldNotSaveMovie" }, { 4, "mvpCouldNotPaste" },
        { 5, "mvpCouldNotDeleteSelection" }, { 6, "mvpMightExperiencePlaybackProblems" },
        { 0, "mvpUnknownError" }, { 7, "mvpUnknownError" }, { -1, "mvpUnknownError" } };
    for (const auto& [code, key] : keys)
        EXPECT_EQ(MVPMovieErrorMessageKey(code), key) << code;
}

TEST(MovieError, UnderlyingErrorBecomesTheRecoverySuggestion)
{
    HXError underlying = HXError::withDescription(HXPOSIXErrorDomain, 2, "No such file");
    HXError error = MVPMovieErrorWithCode(2, MVPMovieErrorSubject { "A" }, underlying);
    EXPECT_EQ(error.code(), 2);
    EXPECT_EQ(stringAt(error, MVPLocalizedDescriptionKey), "Could not open A.");
    EXPECT_EQ(stringAt(error, MVPLocalizedRecoverySuggestionErrorKey), "No such file");
    ASSERT_TRUE(error.hasUnderlyingError());
    EXPECT_EQ(error.underlyingError(), underlying);
}

TEST(MovieError, AnErrorOfThePlayersDomainPassesThroughWithItsOwnCode)
{
    HXError inner = MVPMovieErrorWithCode(3, std::nullopt, std::nullopt);
    HXError outer = MVPMovieErrorWithCode(2, MVPMovieErrorSubject { "B" }, inner);
    EXPECT_EQ(outer, inner);
    EXPECT_EQ(outer.code(), 3);
}

TEST(MovieError, NamesAMovieObjectByItsDisplayName)
{
    auto movie = MVMovie::movie();
    movie->setDisplayName("Holiday");
    HXError named = MVPMovieErrorWithCode(4, movie, std::nullopt);
    EXPECT_EQ(stringAt(named, MVPLocalizedDescriptionKey), "Could not paste into Holiday.");
    EXPECT_EQ(stringAt(named, MVPMovieErrorKey), "Holiday");

    HXError none = MVPMovieErrorWithCode(4, std::shared_ptr<MVMovie>(), std::nullopt);
    EXPECT_EQ(stringAt(none, MVPLocalizedDescriptionKey), "Could not paste.");
    EXPECT_EQ(stringAt(none, MVPMovieErrorKey), "<absent>");
}

} // namespace
