// Scripts and panorama movies: the view keys read and write the movie's view, the ranges and nodes come
// from the movie, nodes and hot spots are objects that name themselves under their parents and answer
// navigate and trigger, and zoom and nudge move the view by one step.
#include "scripting_test_support.h"

#include "platform/mvkit/movie.h"
#include "tests/platform/mvkit/panorama_fixtures.h"

#include <cmath>

namespace movara::scriptingtest {
namespace {

class PanoramaScriptingTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        auto fixture = movara::test::panoramaFixturePath();
        if (fixture.empty())
            GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";
        auto path = moviesFolder() / "panorama.mov";
        std::filesystem::copy_file(fixture, path, std::filesystem::copy_options::overwrite_existing);
        delegate->openFiles({ path.string() }, true);
        for (auto& d : documents())
            if (d->movie() && std::filesystem::path(d->movie()->fileName()).filename() == "panorama.mov")
                doc = d;
        ASSERT_TRUE(doc);
        movie = doc->movie();
        ASSERT_TRUE(movie->isVRMovie());
    }

    static Specifier node(int index) { return Specifier::index("nodes", index, ptr(frontMovie())); }
    static Specifier hotspot(int nodeIndex, int index)
    {
        return Specifier::index("hotspots", index, ptr(node(nodeIndex)));
    }
    double real(const Specifier& s) { return get(s)["result"].realValue(); }
    std::vector<double> list(const Specifier& s)
    {
        std::vector<double> out;
        auto reply = get(s);
        for (const auto& v : reply["result"].arrayValue())
            out.push_back(v.realValue());
        return out;
    }

    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVMovie> movie;
};

TEST_F(PanoramaScriptingTest, TheViewKeysAreTheMoviesView)
{
    EXPECT_EQ(real(movieProperty("panAngle")), 180);
    EXPECT_EQ(real(movieProperty("fieldOfView")), 60);
    struct Write {
        const char* key;
        double value, kept;
    };
    // Written values are kept inside the node: tilt 40 with a 60-degree view stops at 15.
    const Write writes[] = { { "panAngle", 90, 90 }, { "tiltAngle", 40, 15 }, { "fieldOfView", 30, 30 },
        { "zoomRate", 8, 8 }, { "panTiltSpeed", 12, 10 }, { "panAngle", -45, 315 } };
    for (const auto& w : writes) {
        set(movieProperty(w.key), HXPropertyList(w.value));
        EXPECT_NEAR(real(movieProperty(w.key)), w.kept, 1e-4) << w.key;
    }
    EXPECT_NEAR(movie->panAngle(), 315, 1e-4);
    set(movieProperty("panAngle"), HXPropertyList("north"));
    EXPECT_NEAR(movie->panAngle(), 315, 1e-4) << "a value that is no number changes nothing";

    set(movieProperty("showHotSpots"), HXPropertyList(true));
    EXPECT_TRUE(movie->hotspotsVisible());
    EXPECT_EQ(get(movieProperty("showHotSpots"))["result"], HXPropertyList(true));

    EXPECT_EQ(list(movieProperty("panRange")), (std::vector<double> { 0, 360 }));
    EXPECT_EQ(list(movieProperty("tiltRange")), (std::vector<double> { -45, 45 }));
    EXPECT_EQ(list(movieProperty("fieldOfViewRange")), (std::vector<double> { 10, 80 }));
}

TEST_F(PanoramaScriptingTest, NodesAndHotspotsAreObjects)
{
    EXPECT_EQ(script({ { "event", HXPropertyList("count") },
                  { "target", Specifier::every("nodes", ptr(frontMovie())).propertyList() } })["result"],
        HXPropertyList(int64_t(2)));
    auto current = get(movieProperty("currentNode"))["result"];
    EXPECT_EQ(current["$class"].stringValue(), "node");
    // The first node (the framework's index 1) is index 0 under the movie's "nodes".
    auto where = HXScriptObjectSpecifier::fromPropertyList(current["$specifier"], nullptr);
    ASSERT_TRUE(where);
    EXPECT_EQ(where->key, "nodes");
    EXPECT_EQ(where->value.integerValue(), 0);
    EXPECT_EQ(get(movieProperty("defaultNode"))["result"]["$specifier"], current["$specifier"]);

    EXPECT_EQ(get(Specifier::property("name", ptr(node(1))))["result"].stringValue(), "Room");
    EXPECT_EQ(get(Specifier::property("id", ptr(node(1))))["result"].integerValue(), 2);
    EXPECT_EQ(get(Specifier::property("nodeType", ptr(node(1))))["result"], code("pano"));
    EXPECT_EQ(list(Specifier::property("fieldOfViewRange", ptr(node(1)))), (std::vector<double> { 10, 120 }));
    EXPECT_EQ(get(Specifier::property("name", ptr(hotspot(0, 1))))["result"].stringValue(), "Sign");
    EXPECT_EQ(get(Specifier::property("type", ptr(hotspot(0, 1))))["result"], code("url "));
    auto door = get(hotspot(0, 0))["result"];
    EXPECT_EQ(door["$class"].stringValue(), "hotspot");
    auto doorSpec = HXScriptObjectSpecifier::fromPropertyList(door["$specifier"], nullptr);
    ASSERT_TRUE(doorSpec);
    EXPECT_EQ(doorSpec->key, "hotspots");
    EXPECT_EQ(doorSpec->value.integerValue(), 0);
}

TEST_F(PanoramaScriptingTest, NavigateAndTriggerMoveBetweenNodes)
{
    auto reached = command("navigate", node(1));
    EXPECT_EQ(reached["result"]["$class"].stringValue(), "node");
    EXPECT_EQ(movie->currentNode()->name(), "Room");
    // The movie's own navigate answers where the viewer is.
    auto here = command("navigate", frontMovie(), { { "ToCoordinate", HXPropertyList(int64_t(5)) } });
    EXPECT_EQ(here["result"]["$specifier"], reached["result"]["$specifier"]);

    // Setting the current node to a node object goes there.
    set(movieProperty("currentNode"), HXPropertyList(Dict { { "$specifier", node(0).propertyList() } }));
    EXPECT_EQ(movie->currentNode()->name(), "Yard");

    auto triggered = command("trigger", hotspot(0, 0));
    EXPECT_FALSE(triggered.contains("errorNumber") && triggered["errorNumber"].integerValue() != 0);
    EXPECT_EQ(movie->currentNode()->name(), "Room") << "the door leads to the room";
}

TEST_F(PanoramaScriptingTest, ZoomAndNudgeMoveOneStep)
{
    auto zoomed = command("zoom", frontMovie(), { { "Direction", code("inwa") } });
    EXPECT_EQ(zoomed["result"]["$class"].stringValue(), "movie");
    const double in = movie->fieldOfView();
    EXPECT_NEAR(in, 60 * std::exp(-0.2), 0.01);
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.2);
    EXPECT_EQ(movie->fieldOfView(), in) << "a script's zoom stops after its step";
    command("zoom", frontMovie());
    EXPECT_NEAR(movie->fieldOfView(), 60, 0.01) << "without a direction it zooms out";

    // A step is a tenth of the 60-degree view at speed 5.
    const double d = 6 * std::sqrt(0.5);
    struct Case {
        const char (&code)[5];
        double pan, tilt;
    };
    const Case cases[] = { { "left", 186, 0 }, { "up  ", 180, 6 }, { "dole", 180 + d, -d },
        { "upri", 180 - d, d }, { "abcd", 174, 0 } };
    for (const auto& c : cases) {
        movie->setPanAngle(180);
        movie->setTiltAngle(0);
        command("nudge", frontMovie(), { { "Direction", code(c.code) } });
        EXPECT_NEAR(movie->panAngle(), c.pan, 1e-3) << c.code;
        EXPECT_NEAR(movie->tiltAngle(), c.tilt, 1e-3) << c.code;
    }
}

} // namespace
} // namespace movara::scriptingtest
