// Panorama movies in the movie model: the nodes and hot spots read from a movie file, the view kept inside
// each node's extents, going to nodes and back, hot spots, zooming and nudging, and movies that are not
// panoramas or whose panorama is damaged.
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie_delegate.h"
#include "platform/mvkit/panorama/panorama_controller.h"
#include "platform/mvkit/panorama/panorama_images.h"
#include "tests/platform/mvkit/panorama_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace movara::test;

class PanoramaMovieTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXRunLoop::main().setClock(clock);
        auto path = panoramaFixturePath();
        if (path.empty())
            GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";
        HXError error;
        movie = MVMovie::movieWithFile(path.string(), &error);
        ASSERT_TRUE(movie) << error.localizedDescription();
    }
    void TearDown() override { HXRunLoop::main().setClock(nullptr); }

    MVPanoramaController& panorama() { return *movie->panoramaController(); }

    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<MVMovie> movie;
};

TEST_F(PanoramaMovieTest, NodesAndHotspotsComeFromTheFile)
{
    EXPECT_TRUE(movie->isVRMovie());
    EXPECT_TRUE(movie->hasVRController());
    EXPECT_EQ(movie->naturalSize(), (std::pair<double, double>(320, 240)));
    auto nodes = movie->nodes();
    ASSERT_EQ(nodes.size(), 2u);
    struct Expected {
        uint32_t id;
        const char* name;
        bool cubic;
        std::vector<std::string> hotspots;
        std::vector<std::string> types;
    };
    const Expected expected[] = { { 1, "Yard", false, { "Door", "Sign" }, { "link", "url " } },
        { 2, "Room", true, { "Back" }, { "link" } } };
    for (size_t i = 0; i < 2; ++i) {
        const auto& n = *nodes[i];
        EXPECT_EQ(n.index(), int(i + 1));
        EXPECT_EQ(n.uniqueID(), expected[i].id);
        EXPECT_EQ(n.name(), expected[i].name);
        EXPECT_EQ(n.type(), "pano");
        EXPECT_EQ(n.isCubic(), expected[i].cubic);
        EXPECT_EQ(n.parent(), movie);
        ASSERT_EQ(n.hotspots().size(), expected[i].hotspots.size());
        for (size_t k = 0; k < n.hotspots().size(); ++k) {
            EXPECT_EQ(n.hotspots()[k]->name(), expected[i].hotspots[k]);
            EXPECT_EQ(n.hotspots()[k]->type(), expected[i].types[k]);
            EXPECT_EQ(n.hotspots()[k]->index(), int(k + 1));
            EXPECT_EQ(n.hotspots()[k]->parent(), nodes[i]);
        }
    }
    EXPECT_EQ(nodes[0]->tiltRange(), (MVAngleRange { -45, 45 }));
    EXPECT_EQ(nodes[1]->fieldOfViewRange(), (MVAngleRange { 10, 120 }));
    EXPECT_EQ(nodes[1]->time(), 600);

    // The view opens at the default node with its default view.
    EXPECT_EQ(movie->currentNode(), nodes[0]);
    EXPECT_FLOAT_EQ(movie->panAngle(), 180);
    EXPECT_FLOAT_EQ(movie->tiltAngle(), 0);
    EXPECT_FLOAT_EQ(movie->fieldOfView(), 60);
    EXPECT_EQ(movie->hotspotCount(), 2);
    EXPECT_EQ(movie->constraints(0), (std::pair<float, float>(0, 360)));
    EXPECT_EQ(movie->constraints(1), (std::pair<float, float>(-45, 45)));
    EXPECT_EQ(movie->constraints(2), (std::pair<float, float>(10, 80)));
    EXPECT_EQ(movie->constraints(3), (std::pair<float, float>(0, 0)));
}

TEST_F(PanoramaMovieTest, TheViewStaysInsideTheNode)
{
    struct Case {
        uint32_t node;
        float pan, tilt, fieldOfView; // asked for, in this order
        float wantPan, wantTilt, wantFieldOfView;
    };
    const Case cases[] = {
        { 1, 180, 0, 100, 180, 0, 80 }, // the node's widest view
        { 1, 180, 0, 5, 180, 0, 10 }, // its narrowest
        { 1, 180, 40, 60, 180, 15, 60 }, // the view's top stays on the cylinder (45 − 30)
        { 1, 180, -40, 20, 180, -35, 20 },
        { 1, -30, 0, 60, 330, 0, 60 }, // pan goes round
        { 1, 400, 0, 60, 40, 0, 60 },
        { 2, 0, 90, 60, 0, 90, 60 }, // a cube is closed: straight up is allowed
        { 2, 0, -120, 130, 0, -90, 120 },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(movie->goToNode(c.node));
        movie->setPanAngle(c.pan);
        movie->setFieldOfView(c.fieldOfView);
        movie->setTiltAngle(c.tilt);
        EXPECT_FLOAT_EQ(movie->panAngle(), c.wantPan) << c.node << " " << c.pan;
        EXPECT_FLOAT_EQ(movie->tiltAngle(), c.wantTilt) << c.node << " " << c.tilt;
        EXPECT_FLOAT_EQ(movie->fieldOfView(), c.wantFieldOfView) << c.node << " " << c.fieldOfView;
    }
    // Widening the view pulls the tilt back onto the picture; numbers that are not numbers change nothing.
    movie->goToNode(1);
    movie->setFieldOfView(20);
    movie->setTiltAngle(35);
    movie->setFieldOfView(60);
    EXPECT_FLOAT_EQ(movie->tiltAngle(), 15);
    movie->setPanAngle(NAN);
    movie->setTiltAngle(INFINITY);
    movie->setFieldOfView(NAN);
    EXPECT_FLOAT_EQ(movie->panAngle(), 180);
    EXPECT_FLOAT_EQ(movie->tiltAngle(), 15);
    EXPECT_FLOAT_EQ(movie->fieldOfView(), 60);
}

TEST_F(PanoramaMovieTest, APartialPanoramaKeepsTheWholeViewOnItsPicture)
{
    auto nodes = panoramaFixtureNodes();
    nodes.resize(1);
    nodes[0].panorama.minPan = 90;
    nodes[0].panorama.maxPan = 270;
    nodes[0].information.hotspots.clear();
    nodes[0].hotspotFrames.clear();
    auto partial = MVMakePanoramaMovie(nodes, 0, 400, 300, nullptr);
    ASSERT_TRUE(partial);
    auto& c = *partial->panoramaController();
    c.setViewAspect(4.0 / 3.0);
    c.setFieldOfView(60);
    // Half the view's width is atan(tan 30° × 4/3) ≈ 37.59°.
    const float half = float(std::atan(std::tan(30 * M_PI / 180) * 4.0 / 3.0) * 180 / M_PI);
    c.setPanAngle(0);
    EXPECT_NEAR(c.panAngle(), 90 + half, 1e-3);
    c.setPanAngle(300);
    EXPECT_NEAR(c.panAngle(), 270 - half, 1e-3);
    c.setPanAngle(200);
    EXPECT_FLOAT_EQ(c.panAngle(), 200);
}

TEST_F(PanoramaMovieTest, NodesAndTheWayBack)
{
    std::vector<std::string> posted;
    std::vector<std::string> statuses;
    auto& center = HXNotificationCenter::defaultCenter();
    auto t1 = center.addObserver(MVMoviePanoramaViewDidChangeNotification, movie.get(),
        [&](const HXNotification& n) { posted.push_back(n.name()); });
    auto t2 = center.addObserver(
        MVMovieStatusStringPostedNotification, movie.get(), [&](const HXNotification& n) {
            statuses.push_back(n.userInfo().at(MVMovieStatusStringNotificationParameter).stringValue());
        });

    movie->setPanAngle(100);
    EXPECT_TRUE(movie->goToNode(2));
    EXPECT_EQ(movie->currentNode()->name(), "Room");
    EXPECT_FLOAT_EQ(movie->fieldOfView(), 90) << "the node's default view";
    EXPECT_EQ(movie->hotspotCount(), 1);
    EXPECT_FALSE(movie->goToNode(99));
    EXPECT_EQ(movie->currentNode()->name(), "Room");

    movie->gotoPreviousNode();
    EXPECT_EQ(movie->currentNode()->name(), "Yard");
    EXPECT_FLOAT_EQ(movie->panAngle(), 100) << "back where the viewer looked before";
    movie->gotoPreviousNode(); // nothing further back
    EXPECT_EQ(movie->currentNode()->name(), "Yard");

    EXPECT_EQ(statuses, (std::vector<std::string> { "Room", "Yard" }))
        << "the time display shows the node's name";
    EXPECT_EQ(posted.size(), 3u) << "pan, the node, and back";
    center.removeObserver(t1);
    center.removeObserver(t2);
}

class LinkCatcher : public MVMovieDelegate {
public:
    bool movieLinkToURL(MVMovie&, const HXURL& url) override
    {
        links.push_back(url.absoluteString());
        return true;
    }
    std::vector<std::string> links;
};

TEST_F(PanoramaMovieTest, HotspotsLinkToNodesAndAddresses)
{
    auto& c = panorama();
    // The door is round pan 180, straight ahead in the opening view.
    auto door = c.hotspotAtPoint(320, 240, 160, 120);
    ASSERT_TRUE(door);
    EXPECT_EQ(door->name(), "Door");
    EXPECT_FALSE(c.hotspotAtPoint(320, 240, 5, 120)) << "pan 180 + 37: nothing there";
    EXPECT_TRUE(door->triggerHotspot());
    EXPECT_EQ(movie->currentNode()->name(), "Room");
    EXPECT_FLOAT_EQ(movie->panAngle(), 0) << "the room's own default view";

    // The way back opens the yard at the pan the link gives.
    auto back = movie->currentNode()->hotspots().front();
    EXPECT_TRUE(back->triggerHotspot());
    EXPECT_EQ(movie->currentNode()->name(), "Yard");
    EXPECT_FLOAT_EQ(movie->panAngle(), 90);

    // An address goes to the movie's delegate; without one nothing happens.
    auto sign = movie->currentNode()->hotspots()[1];
    EXPECT_FALSE(sign->triggerHotspot());
    auto catcher = std::make_shared<LinkCatcher>();
    movie->setDelegate(catcher);
    EXPECT_TRUE(sign->triggerHotspot());
    EXPECT_EQ(catcher->links, (std::vector<std::string> { "https://example.com/sign" }));
    EXPECT_EQ(movie->currentNode()->name(), "Yard");

    EXPECT_FALSE(movie->hotspotsVisible());
    movie->setHotspotsVisible(true);
    EXPECT_TRUE(movie->hotspotsVisible());
}

TEST_F(PanoramaMovieTest, ZoomStepsThenGoesOnUntilStoppedOrAtItsLimit)
{
    ASSERT_FLOAT_EQ(movie->fieldOfView(), 60);
    movie->zoom(-1); // in
    const float afterStep = movie->fieldOfView();
    EXPECT_NEAR(afterStep, 60 * std::exp(-0.2), 0.01) << "one step at once";
    clock->advance(0.5);
    const float afterHalfSecond = movie->fieldOfView();
    EXPECT_NEAR(afterHalfSecond, afterStep * std::exp(-0.75 * 0.5), 0.5) << "on, at speed 5";
    movie->zoom(0);
    clock->advance(0.5);
    EXPECT_FLOAT_EQ(movie->fieldOfView(), afterHalfSecond) << "stopped";

    movie->setZoomRate(10);
    movie->zoom(1); // out, to the node's widest
    clock->advance(5);
    EXPECT_FLOAT_EQ(movie->fieldOfView(), 80);
    movie->zoom(0);

    struct Speed {
        float asked, kept;
    };
    for (auto s : { Speed { 20, 10 }, Speed { 0, 1 }, Speed { 3.5f, 3.5f }, Speed { NAN, 3.5f } }) {
        movie->setPanTiltSpeed(s.asked);
        EXPECT_FLOAT_EQ(movie->panTiltSpeed(), s.kept) << s.asked;
    }
}

TEST_F(PanoramaMovieTest, NudgesMoveAStepTowardsTheirDirection)
{
    // At speed 5 a step is a tenth of the view: 6 degrees of the 60-degree opening view.
    struct Case {
        float angle, pan, tilt;
    };
    const float d = 6 * std::sqrt(0.5f);
    const Case cases[] = { { 0, 174, 0 }, { 90, 180, 6 }, { 180, 186, 0 }, { 270, 180, -6 },
        { 45, 180 - d, d }, { 225, 180 + d, -d } };
    for (const auto& c : cases) {
        movie->setPanAngle(180);
        movie->setTiltAngle(0);
        movie->nudge(c.angle);
        EXPECT_NEAR(movie->panAngle(), c.pan, 1e-3) << c.angle;
        EXPECT_NEAR(movie->tiltAngle(), c.tilt, 1e-3) << c.angle;
    }
}

TEST_F(PanoramaMovieTest, ANodesPicturesAreDecoded)
{
    auto source = panorama().currentSource();
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->cubic);
    ASSERT_EQ(source->faces.size(), 1u);
    EXPECT_EQ(source->faces[0].width, 72);
    ASSERT_EQ(source->hotspotMaps.size(), 1u);
    const auto& map = source->hotspotMaps[0];
    EXPECT_EQ(map.ids[size_t(10 * 72 + 35)], 1);
    EXPECT_EQ(map.ids[size_t(10 * 72 + 2)], 2);
    EXPECT_EQ(map.ids[size_t(10 * 72 + 50)], 0);

    movie->goToNode(2);
    source = panorama().currentSource();
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->cubic);
    ASSERT_EQ(source->faces.size(), 6u);
    // The right face is green (ffmpeg's "green" is 0, 128, 0).
    const uint8_t* right = source->faces[1].pixels.data() + 4 * (4 * 8 + 4);
    EXPECT_LT(right[2], 20);
    EXPECT_NEAR(right[1], 128, 8);
    MVImageBuffer view;
    EXPECT_TRUE(panorama().renderView(64, 48, view));
    EXPECT_EQ(view.width, 64);
}

TEST(PanoramaMovie, HotspotPixelsWithoutARecordAreNoHotspot)
{
    auto nodes = panoramaFixtureNodes();
    if (nodes.empty())
        GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";
    nodes[0].information.hotspots.pop_back(); // the sign's pixels stay, its record goes
    auto movie = MVMakePanoramaMovie(nodes, 0, 320, 240, nullptr);
    ASSERT_TRUE(movie);
    auto source = movie->panoramaController()->currentSource();
    ASSERT_TRUE(source);
    const auto& ids = source->hotspotMaps.at(0).ids;
    EXPECT_EQ(ids[size_t(10 * 72 + 2)], 0) << "where the sign was";
    EXPECT_EQ(ids[size_t(10 * 72 + 35)], 1) << "the door";
}

TEST(PanoramaMovie, OtherMoviesAreNoPanoramas)
{
    auto plain = MVMovie::movie();
    plain->newTrack(MVFourCC("vide"), 600, 160, 120);
    EXPECT_FALSE(plain->isVRMovie());
    EXPECT_FALSE(plain->hasVRController());
    EXPECT_TRUE(plain->nodes().empty());
    EXPECT_FALSE(plain->currentNode());
    EXPECT_FALSE(plain->goToNode(1));
    plain->setPanAngle(30);
    plain->zoom(1);
    plain->nudge(90);
    EXPECT_EQ(plain->panAngle(), 0);
    EXPECT_EQ(plain->fieldOfView(), 0);
    EXPECT_EQ(plain->hotspotCount(), 0);
    EXPECT_EQ(plain->constraints(1), (std::pair<float, float>(0, 0)));
}

TEST(PanoramaMovie, WithoutAControllerItIsStillAPanorama)
{
    auto movie = makePanoramaFixtureMovie();
    if (!movie)
        GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";
    movie->setControllerType(MVMovieControllerTypeNone);
    EXPECT_TRUE(movie->isVRMovie());
    EXPECT_FALSE(movie->hasVRController());
}

TEST(PanoramaMovie, DamagedPanoramasLoseOnlyWhatIsDamaged)
{
    auto movie = makePanoramaFixtureMovie();
    if (!movie)
        GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";
    auto nodeTrack = movie->tracksOfMediaType(MVNodeMediaType).front();
    auto panoTrack = movie->tracksOfMediaType(MVPanoramaMediaType).front();
    const MVBytes garbage = { 0, 0, 0, 40, 'n', 'd', 'h', 'd', 1 };

    // The first node's information is damaged: the second node is still there, and the start.
    auto media = nodeTrack->media();
    ASSERT_TRUE(media->replaceSample(0, garbage, media->sampleDescription(1)));
    auto nodes = movie->nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->name(), "Room");
    EXPECT_EQ(movie->currentNode(), nodes[0]);

    // Its panorama data too: nothing is left, the movie is no panorama.
    ASSERT_TRUE(panoTrack->media()->replaceSample(1, garbage, panoTrack->media()->sampleDescription(1)));
    EXPECT_FALSE(movie->isVRMovie());

    // Pictures that are missing: the nodes stay, the view cannot be drawn and says why.
    auto second = makePanoramaFixtureMovie();
    second->removeTrack(second->tracksOfMediaType(MVFourCC("vide")).front());
    ASSERT_TRUE(second->isVRMovie());
    MVImageBuffer view;
    HXError error;
    EXPECT_FALSE(second->panoramaController()->renderView(32, 24, view, &error));
    EXPECT_EQ(error.code(), MVStatusBadPanorama);
    EXPECT_TRUE(second->goToNode(2));
}

} // namespace
