// Panorama movies against ffmpeg. One picture of the whole sphere (equirectangular, drawn by ffmpeg) becomes
// a cylindrical and a cubic panorama (ffmpeg's v360 filter projects it to a cylinder and to the six faces of
// a cube); our writer makes movies of them and our reader opens them again. The view our renderer draws
// at several pans, tilts and fields of view must equal, pixel by pixel within a small tolerance, v360's
// own flat view of the original picture. ffprobe reads what we wrote, and a save keeps every node and
// hot spot.
#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/panorama_controller.h"
#include "tests/platform/mvkit/panorama_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

using namespace movara::test;

constexpr int kViewWidth = 160, kViewHeight = 120;

class PanoramaPeer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            return;
        dir = std::make_unique<TempDir>();
        sphere = (*dir / "sphere.png").string();
        // A smooth picture of the sphere, different in every direction and continuous across its seam.
        if (!draw({ "-f", "lavfi", "-i", "color=black:s=1024x512,format=rgb24", "-vf",
                "geq=r='128+100*sin(2*PI*X/W*2+0.7)*sin(PI*Y/H)':g='128+100*cos(PI*Y/H*3)':"
                "b='128+80*sin(2*PI*X/W*5+2*PI*Y/H*2)*sin(PI*Y/H)'",
                sphere }))
            return;
        // The cylinder: all the way round, 45 degrees up and down (tangent ±1), 1024 × 326 (square pixels at
        // the horizon). Its middle looks where the sphere's middle does.
        auto cylinderPicture = *dir / "cylinder.png";
        if (!draw({ "-i", sphere, "-vf", "v360=e:cylindrical:h_fov=360:v_fov=90:w=1024:h=326",
                cylinderPicture.string() }))
            return;
        // The cube's faces: the 90-degree views from pan 0, 270, 180, 90 and up and down from pan 0. Pan 0
        // looks at yaw 180 of the sphere, and pan turns left where yaw turns right.
        struct Face {
            const char* name;
            int yaw, pitch;
        };
        const Face faces[] = { { "front", 180, 0 }, { "right", -90, 0 }, { "back", 0, 0 }, { "left", 90, 0 },
            { "top", 180, 90 }, { "bottom", 180, -90 } };
        MVPanoramaNodePictures cube;
        for (const auto& f : faces) {
            auto path = *dir / (std::string(f.name) + ".png");
            if (!draw({ "-i", sphere, "-vf",
                    "v360=e:flat:h_fov=90:v_fov=90:w=256:h=256:yaw=" + std::to_string(f.yaw)
                        + ":pitch=" + std::to_string(f.pitch),
                    path.string() }))
                return;
            cube.imageFrames.push_back(bytes(path));
        }
        cube.information.nodeID = 2;
        cube.information.name = "Cube";
        cube.panorama.panoramaType = MVPanoramaTypeCube;
        cube.panorama.minTilt = -90;
        cube.panorama.maxTilt = 90;
        cube.panorama.maxFieldOfView = 120;
        cube.imageColumns = 1;
        cube.imageRows = 6;

        MVPanoramaNodePictures cylinder;
        cylinder.information.nodeID = 1;
        cylinder.information.name = "Cylinder";
        cylinder.panorama.panoramaType = MVPanoramaTypeCylinder;
        cylinder.panorama.minTilt = -45;
        cylinder.panorama.maxTilt = 45;
        cylinder.imageFrames = { bytes(cylinderPicture) };

        HXError error;
        auto made = MVMakePanoramaMovie({ cylinder, cube }, 1, kViewWidth, kViewHeight, &error);
        moviePath = (*dir / "sphere.mov").string();
        if (!made || !made->writeToFile(moviePath, { { MVMovieFlatten, HXPropertyList(true) } }, &error))
            moviePath.clear();
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override
    {
        if (moviePath.empty())
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }

    static bool draw(std::vector<std::string> args)
    {
        std::vector<std::string> argv = { "ffmpeg", "-hide_banner", "-loglevel", "error", "-y" };
        argv.insert(argv.end(), args.begin(), args.end() - 1);
        argv.insert(argv.end(), { "-frames:v", "1", args.back() });
        return runCommand(argv).status == 0;
    }
    static MVBytes bytes(const std::filesystem::path& path)
    {
        std::string s = readFile(path);
        return MVBytes(s.begin(), s.end());
    }

    // v360's flat view of the sphere at our pan, tilt and (vertical) field of view, as RGB bytes.
    static std::string referenceView(float pan, float tilt, float fieldOfView)
    {
        const double toRadians = std::numbers::pi / 180;
        double horizontal
            = 2 * std::atan(std::tan(fieldOfView * toRadians / 2) * kViewWidth / kViewHeight) / toRadians;
        char filter[200];
        std::snprintf(filter, sizeof filter,
            "v360=e:flat:yaw=%.4f:pitch=%.4f:h_fov=%.4f:v_fov=%.4f:w=%d:h=%d", 180.0 - pan, double(tilt),
            horizontal, double(fieldOfView), kViewWidth, kViewHeight);
        return runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-i", sphere, "-vf", filter,
                              "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-" })
            .output;
    }

    struct Difference {
        double mean = 0; // per channel
        double within = 0; // the share of channel values within the tolerance
        int largest = 0;
    };
    static Difference compare(const MVImageBuffer& ours, const std::string& theirs, int tolerance)
    {
        Difference d;
        if (theirs.size() != size_t(kViewWidth * kViewHeight * 3))
            return { 255, 0, 255 };
        int64_t sum = 0, inside = 0;
        for (int y = 0; y < kViewHeight; ++y)
            for (int x = 0; x < kViewWidth; ++x) {
                const uint8_t* p = ours.pixels.data() + size_t(y) * ours.bytesPerRow + size_t(x) * 4;
                const uint8_t ourRGB[3] = { p[2], p[1], p[0] };
                for (int c = 0; c < 3; ++c) {
                    int diff = std::abs(
                        int(ourRGB[c]) - int(uint8_t(theirs[size_t((y * kViewWidth + x) * 3 + c)])));
                    sum += diff;
                    inside += diff <= tolerance;
                    d.largest = std::max(d.largest, diff);
                }
            }
        const double count = double(kViewWidth) * kViewHeight * 3;
        d.mean = double(sum) / count;
        d.within = double(inside) / count;
        return d;
    }

    static inline std::unique_ptr<TempDir> dir;
    static inline std::string sphere;
    static inline std::string moviePath;
};

TEST_F(PanoramaPeer, OurViewsEqualFFmpegsProjection)
{
    HXError error;
    auto movie = MVMovie::movieWithFile(moviePath, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto controller = movie->panoramaController();
    ASSERT_TRUE(controller);
    struct View {
        uint32_t node;
        float pan, tilt, fieldOfView;
    };
    // The cylinder's views stay inside its 45 degrees up and down; the cube's go anywhere.
    const View views[] = { { 1, 180, 0, 60 }, { 1, 90, 10, 40 }, { 1, 300, -15, 30 }, { 1, 0, 20, 50 },
        { 1, 225, -5, 75 }, { 2, 0, 0, 90 }, { 2, 45, 30, 75 }, { 2, 200, -60, 60 }, { 2, 0, 85, 60 },
        { 2, 300, -89, 100 }, { 2, 135, 10, 20 } };
    for (const auto& v : views) {
        ASSERT_TRUE(controller->goToNode(v.node));
        auto source = controller->currentSource(&error);
        ASSERT_TRUE(source) << error.localizedDescription();
        MVImageBuffer ours;
        ASSERT_TRUE(MVPanoramaRenderer::render(
            *source, { v.pan, v.tilt, v.fieldOfView }, kViewWidth, kViewHeight, ours));
        auto d = compare(ours, referenceView(v.pan, v.tilt, v.fieldOfView), 3);
        SCOPED_TRACE(testing::Message()
            << "node " << v.node << " pan " << v.pan << " tilt " << v.tilt << " fov " << v.fieldOfView
            << ": mean " << d.mean << ", within " << d.within << ", largest " << d.largest);
        // A view off by half a pixel already differs by about one level on average here.
        EXPECT_LT(d.mean, 0.5);
        EXPECT_GT(d.within, 0.999);
        EXPECT_LE(d.largest, 8);
    }
}

TEST_F(PanoramaPeer, FFprobeReadsTheMovieWeWrote)
{
    auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries",
        "stream=codec_type,codec_name,width,height", "-of", "csv=p=0", moviePath });
    ASSERT_EQ(probe.status, 0);
    // The node and panorama tracks are data to ffprobe; the pictures are PNG pictures of the cylinder and
    // of a cube face.
    EXPECT_NE(probe.output.find("png,video,1024,326"), std::string::npos) << probe.output;
    EXPECT_EQ(std::count(probe.output.begin(), probe.output.end(), '\n'), 3) << probe.output;
    // And ffmpeg decodes the picture it finds there.
    auto decoded = runCommand({ "ffmpeg", "-v", "error", "-i", moviePath, "-map", "0:v:0", "-frames:v", "1",
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-" });
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.output.size(), size_t(1024 * 326 * 3));
}

TEST_F(PanoramaPeer, SavesKeepEveryNodeAndHotspot)
{
    auto fixture = panoramaFixturePath();
    MOVARA_REQUIRE_PANORAMA(fixture);
    auto describe = [](const MVMovie& m) {
        std::string text;
        for (const auto& n : m.nodes()) {
            text += std::to_string(n->uniqueID()) + " " + n->name() + " " + n->type()
                + (n->isCubic() ? " cube" : "") + " [" + std::to_string(n->fieldOfViewRange().minimum) + ","
                + std::to_string(n->fieldOfViewRange().maximum) + "]:";
            for (const auto& h : n->hotspots())
                text += " " + std::to_string(h->hotspotID()) + "/" + h->name() + "/" + h->type() + "/"
                    + (h->record().link ? std::to_string(h->record().link->toNodeID) : h->record().url);
            text += "\n";
        }
        return text;
    };
    HXError error;
    auto original = MVMovie::movieWithFile(fixture.string(), &error);
    ASSERT_TRUE(original);
    const std::string expected = describe(*original);
    ASSERT_EQ(expected,
        "1 Yard pano [10.000000,80.000000]: 1/Door/link/2 2/Sign/url /https://example.com/sign\n"
        "2 Room pano cube [10.000000,120.000000]: 1/Back/link/1\n");

    // Self-contained, as a reference movie, and updated in place after a change of its own.
    TempDir out;
    for (bool flatten : { true, false }) {
        auto path = (out / (flatten ? "flat.mov" : "reference.mov")).string();
        ASSERT_TRUE(original->writeToFile(path, { { MVMovieFlatten, HXPropertyList(flatten) } }, &error))
            << error.localizedDescription();
        auto back = MVMovie::movieWithFile(path, &error);
        ASSERT_TRUE(back) << error.localizedDescription();
        EXPECT_EQ(describe(*back), expected) << (flatten ? "self-contained" : "reference");
        EXPECT_EQ(runCommand({ "ffprobe", "-v", "error", "-show_streams", path }).status, 0);
        // The pictures still decode: a view can be drawn.
        MVImageBuffer view;
        EXPECT_TRUE(back->panoramaController()->renderView(32, 24, view));
    }
    auto copy = out / "updated.mov";
    std::filesystem::copy_file(fixture, copy);
    auto updated = MVMovie::movieWithFile(copy.string(), &error);
    ASSERT_TRUE(updated);
    updated->setPreferredVolume(0.5f);
    ASSERT_TRUE(updated->updateMovieFile(&error)) << error.localizedDescription();
    auto reread = MVMovie::movieWithFile(copy.string(), &error);
    ASSERT_TRUE(reread);
    EXPECT_EQ(describe(*reread), expected) << "updated in place";
}

} // namespace
