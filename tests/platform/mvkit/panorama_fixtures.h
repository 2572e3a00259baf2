#pragma once
// A tiny panorama movie for the tests, made with our own writer from pictures the `ffmpeg` command-line
// tool draws (once per test program, kept in a temporary folder until the program ends).
//
//   node 1 "Yard": a cylinder 72 × 24 all the way round, tilt −45 … 45, red rising with the column and
//                  green with the row; hot spot 1 "Door" (columns 30 … 41, round pan 180) links to node 2,
//                  hot spot 2 "Sign" (columns 0 … 5) opens https://example.com/sign.
//   node 2 "Room": a cube of 8 × 8 faces, each one colour (front red, right green, back blue, left yellow,
//                  top white, bottom grey); hot spot 1 "Back" covers the front face and links to node 1,
//                  opening it at pan 90.
// Header-only, so every test program that needs it gets it.
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/node.h"
#include "platform/mvkit/panorama/panorama_builder.h"

#include "test_support.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace movara::test {

// An encoded picture drawn by ffmpeg from a lavfi source (`filter` applied when not empty), as PNG in
// `pixelFormat`; empty when ffmpeg is missing or failed.
inline MVBytes ffmpegPicture(
    const std::string& source, const std::string& filter = {}, const std::string& pixelFormat = "rgb24")
{
    static TempDir dir;
    static int counter = 0;
    auto path = dir / ("picture" + std::to_string(++counter) + ".png");
    std::vector<std::string> argv = { "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
        "-i", source, "-frames:v", "1", "-pix_fmt", pixelFormat };
    if (!filter.empty()) {
        argv.push_back("-vf");
        argv.push_back(filter);
    }
    argv.push_back(path.string());
    if (runCommand(argv).status != 0)
        return {};
    std::string bytes = readFile(path);
    return MVBytes(bytes.begin(), bytes.end());
}

inline MVHotspotRecord panoramaFixtureHotspot(uint32_t id, uint32_t type, const std::string& name)
{
    MVHotspotRecord h;
    h.hotspotID = id;
    h.type = type;
    h.name = name;
    return h;
}

// The two nodes as the builder takes them; empty when ffmpeg cannot draw.
inline std::vector<MVPanoramaNodePictures> panoramaFixtureNodes()
{
    std::vector<MVPanoramaNodePictures> nodes(2);
    MVPanoramaNodePictures& yard = nodes[0];
    yard.information.nodeID = 1;
    yard.information.name = "Yard";
    auto door = panoramaFixtureHotspot(1, MVHotspotTypeLink, "Door");
    door.link = MVHotspotLink { 2, 0, 0, 0, 0 };
    auto sign = panoramaFixtureHotspot(2, MVHotspotTypeURL, "Sign");
    sign.url = "https://example.com/sign";
    yard.information.hotspots = { door, sign };
    yard.panorama.panoramaType = MVPanoramaTypeCylinder;
    yard.panorama.minTilt = -45;
    yard.panorama.maxTilt = 45;
    yard.panorama.minFieldOfView = 10;
    yard.panorama.maxFieldOfView = 80;
    yard.panorama.defaultPan = 180;
    yard.panorama.defaultFieldOfView = 60;
    yard.imageFrames
        = { ffmpegPicture("color=black:s=72x24", "format=rgb24,geq=r='X*255/71':g='Y*255/23':b=128") };
    yard.hotspotFrames = { ffmpegPicture(
        "color=black:s=72x24", "format=gray,geq=lum='if(between(X,30,41),1,if(lt(X,6),2,0))'", "gray") };

    MVPanoramaNodePictures& room = nodes[1];
    room.information.nodeID = 2;
    room.information.name = "Room";
    auto back = panoramaFixtureHotspot(1, MVHotspotTypeLink, "Back");
    back.link = MVHotspotLink { 1, 90, 0, 0, MVHotspotLinkHasPan };
    room.information.hotspots = { back };
    room.panorama.panoramaType = MVPanoramaTypeCube;
    room.panorama.minTilt = -90;
    room.panorama.maxTilt = 90;
    room.panorama.minFieldOfView = 10;
    room.panorama.maxFieldOfView = 120;
    room.panorama.defaultPan = 0;
    room.panorama.defaultFieldOfView = 90;
    for (const char* colour : { "red", "green", "blue", "yellow", "white", "gray" })
        room.imageFrames.push_back(ffmpegPicture(std::string("color=") + colour + ":s=8x8"));
    room.imageColumns = 1;
    room.imageRows = 6;
    room.hotspotFrames.push_back(ffmpegPicture("color=black:s=8x8", "format=gray,geq=lum=1", "gray"));
    for (int k = 0; k < 5; ++k)
        room.hotspotFrames.push_back(ffmpegPicture("color=black:s=8x8", "format=gray,geq=lum=0", "gray"));
    room.hotspotColumns = 1;
    room.hotspotRows = 6;
    for (const auto& n : nodes) {
        for (const auto& f : n.imageFrames)
            if (f.empty())
                return {};
        for (const auto& f : n.hotspotFrames)
            if (f.empty())
                return {};
    }
    return nodes;
}

// The fixture movie in memory (made anew for each call; null when ffmpeg cannot draw).
inline std::shared_ptr<MVMovie> makePanoramaFixtureMovie(HXError* outError = nullptr)
{
    static const std::vector<MVPanoramaNodePictures> nodes = panoramaFixtureNodes();
    if (nodes.empty())
        return nullptr;
    return MVMakePanoramaMovie(nodes, 1, 320, 240, outError);
}

// The fixture saved as a movie file (written once per test program; empty path when it could not be).
inline std::filesystem::path panoramaFixturePath()
{
    static TempDir dir;
    static std::filesystem::path path = [] {
        auto movie = makePanoramaFixtureMovie();
        auto file = dir / "panorama.mov";
        if (!movie
            || !movie->writeToFile(file.string(), { { MVMovieFlatten, HXPropertyList(true) } }, nullptr))
            return std::filesystem::path();
        return file;
    }();
    return path;
}

} // namespace movara::test

#define MOVARA_REQUIRE_PANORAMA(path)                                                                        \
    do {                                                                                                     \
        if ((path).empty())                                                                                  \
            GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";                                 \
    } while (false)
