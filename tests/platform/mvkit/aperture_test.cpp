// The aperture mode of a movie: the size each mode gives a video track's box (from the picture's pixel
// aspect ratio and clean aperture, or the sizes a conformed track stores), the movie's size following
// the mode with its notifications, and the movie view drawing by the movie's mode.
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/aperture.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace {

void put32(MVBytes& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(uint8_t(value >> shift));
}

// A 720 × 480 picture whose pixels are 10:11 (narrow), with a clean aperture of 704 × 480 in its
// middle, in a track whose stored box is 640 × 480; with `conformed` the track also stores the sizes of
// each mode ('tapt').
std::shared_ptr<MVMovie> apertureMovie(bool conformed)
{
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 640, 480);
    MVVideoSampleDescription video;
    video.width = 720;
    video.height = 480;
    MVBytes pasp, clap;
    put32(pasp, 10), put32(pasp, 11);
    for (uint32_t v : { 704u, 1u, 480u, 1u, 0u, 1u, 0u, 1u })
        put32(clap, v);
    video.extensions = { { MVFourCC("pasp"), pasp }, { MVFourCC("clap"), clap } };
    MVSampleDescription description;
    description.format = MVFourCC("jpeg");
    description.data = MVSerializeVideoSampleDescription(video);
    track->media()->addSample(MVBytes(16, 0), 600, 1, MVSampleDescriptionBytes(description), 0);
    track->insertMedia(0, 0, 600);
    if (conformed) {
        // Clean 650 × 480, production 660 × 480, encoded 720 × 480, as a writer may round them.
        MVBytes tapt;
        const std::pair<uint32_t, uint32_t> sizes[]
            = { { MVFourCC("clef"), 650 }, { MVFourCC("prof"), 660 }, { MVFourCC("enof"), 720 } };
        for (auto [type, width] : sizes)
            put32(tapt, 20), put32(tapt, type), put32(tapt, 0), put32(tapt, width << 16), put32(tapt, 480u << 16);
        auto& stored = const_cast<MVTrackDescription&>(track->storedDescription());
        stored.unknownChildren.push_back({ MVFourCC("tapt"), tapt });
    }
    movie->setChanged(false);
    return movie;
}

TEST(ApertureModes, EachModeGivesTheTrackItsSize)
{
    using Size = std::optional<std::pair<double, double>>;
    struct Case {
        const char* name;
        MVApertureMode mode;
        Size fromPicture; // from 'pasp' and 'clap'
        Size conformed; // from 'tapt'
    };
    const Case cases[] = {
        { "classic: the stored box", MVApertureMode::Classic, std::nullopt, std::nullopt },
        { "clean: the clean aperture, shaped", MVApertureMode::Clean, Size({ 640, 480 }), Size({ 650, 480 }) },
        { "production: all of it, shaped", MVApertureMode::Production, Size({ 654.5454545454545, 480 }),
            Size({ 660, 480 }) },
        { "encoded pixels: as coded", MVApertureMode::EncodedPixels, Size({ 720, 480 }), Size({ 720, 480 }) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto plain = apertureMovie(false)->tracks().front();
        auto fromPicture = MVTrackApertureDimensions(*plain, c.mode);
        ASSERT_EQ(fromPicture.has_value(), c.fromPicture.has_value());
        if (fromPicture) {
            EXPECT_NEAR(fromPicture->first, c.fromPicture->first, 1e-6);
            EXPECT_NEAR(fromPicture->second, c.fromPicture->second, 1e-6);
        }
        EXPECT_EQ(MVTrackApertureDimensions(*apertureMovie(true)->tracks().front(), c.mode), c.conformed);
        EXPECT_EQ(MVApertureModeForName(MVApertureModeName(c.mode)), c.mode);
    }
    EXPECT_EQ(MVApertureModeForName("no such mode"), MVApertureMode::Clean);
}

TEST(ApertureModes, TheMovieAndItsViewFollowTheMode)
{
    auto movie = apertureMovie(false);
    auto track = movie->tracks().front();
    int sizeChanges = 0, modeChanges = 0;
    auto& center = HXNotificationCenter::defaultCenter();
    auto sizeToken = center.addObserver(
        MVMovieNaturalSizeDidChangeNotification, movie.get(), [&](const HXNotification&) { ++sizeChanges; });
    auto modeToken = center.addObserver(
        MVMovieApertureModeDidChangeNotification, movie.get(), [&](const HXNotification&) { ++modeChanges; });
    auto view = std::make_shared<MVMovieView>(HXMakeRect(0, 0, 320, 240));
    view->setMovie(movie);
    EXPECT_EQ(view->apertureMode(), MVApertureMode::Clean) << "a movie that names no mode";

    movie->setAttributeForKey(HXPropertyList(std::string(MVMovieApertureModeEncodedPixels)), MVMovieApertureModeAttribute);
    EXPECT_EQ(movie->naturalSize(), (std::pair<double, double>(720, 480)));
    EXPECT_EQ(view->apertureMode(), MVApertureMode::EncodedPixels);
    EXPECT_EQ((std::pair { sizeChanges, modeChanges }), (std::pair { 1, 1 }));

    movie->setAttributeForKey(HXPropertyList(std::string(MVMovieApertureModeClassic)), MVMovieApertureModeAttribute);
    EXPECT_EQ(movie->naturalSize(), (std::pair<double, double>(640, 480)));
    EXPECT_EQ(view->apertureMode(), MVApertureMode::Classic);
    EXPECT_EQ(track->header().width, 640u << 16) << "the stored box is what a save writes";

    movie->setAttributeForKey(HXPropertyList(std::string(MVMovieApertureModeClean)), MVMovieApertureModeAttribute);
    EXPECT_EQ(movie->naturalSize(), (std::pair<double, double>(640, 480)));
    EXPECT_EQ((std::pair { sizeChanges, modeChanges }), (std::pair { 2, 3 })) << "the clean box is the stored one";
    EXPECT_FALSE(movie->hasChanged()) << "a way of showing the movie, not an edit";

    // Dimensions set by hand hold until the mode is set again.
    track->setDimensions(100, 50);
    EXPECT_EQ(movie->naturalSize(), (std::pair<double, double>(100, 50)));
    center.removeObserver(sizeToken);
    center.removeObserver(modeToken);
}

} // namespace
