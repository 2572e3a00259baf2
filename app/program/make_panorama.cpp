// make-panorama: writes a panorama movie from pictures (PNG or JPEG) with our own movie writer. The build
// makes the bundle's sample panorama with it from pictures the ffmpeg tool draws.
//
//   make-panorama OUTPUT.mov --size WIDTHxHEIGHT [--default-node ID] NODE...
//   NODE:  --node ID NAME (--cylinder PICTURE | --cube FRONT RIGHT BACK LEFT TOP BOTTOM)
//          [--pan MIN MAX] [--tilt MIN MAX] [--fov MIN MAX] [--view PAN TILT FOV]
//          [--hotspots PICTURE... (as many as the node's pictures, 8-bit grey)]
//          [--link HOTSPOT-ID TO-NODE-ID NAME] [--url HOTSPOT-ID URL NAME] ...
#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/panorama_builder.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

struct UsageError {
    std::string text;
};

MVBytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw UsageError { "cannot read " + path };
    return MVBytes(std::istreambuf_iterator<char>(in), {});
}

class Arguments {
public:
    Arguments(int argc, char** argv)
        : _args(argv + 1, argv + argc)
    {
    }
    bool atEnd() const { return _next >= _args.size(); }
    const std::string& peek() const { return _args[_next]; }
    std::string take(const char* what)
    {
        if (atEnd())
            throw UsageError { std::string("missing ") + what };
        return _args[_next++];
    }
    float number(const char* what)
    {
        std::string text = take(what);
        char* end = nullptr;
        float v = std::strtof(text.c_str(), &end);
        if (end == text.c_str() || *end)
            throw UsageError { std::string("not a number for ") + what + ": " + text };
        return v;
    }
    uint32_t integer(const char* what)
    {
        float v = number(what);
        if (v < 0 || v != float(uint32_t(v)))
            throw UsageError { std::string("not a whole number for ") + what };
        return uint32_t(v);
    }

private:
    std::vector<std::string> _args;
    size_t _next = 0;
};

MVHotspotRecord hotspot(uint32_t id, uint32_t type, std::string name)
{
    MVHotspotRecord h;
    h.hotspotID = id;
    h.type = type;
    h.name = std::move(name);
    return h;
}

int run(int argc, char** argv)
{
    Arguments args(argc, argv);
    std::string output = args.take("the output file");
    int width = 0, height = 0;
    uint32_t defaultNode = 0;
    std::vector<MVPanoramaNodePictures> nodes;
    while (!args.atEnd()) {
        std::string option = args.take("an option");
        if (option == "--size") {
            std::string size = args.take("the size");
            if (std::sscanf(size.c_str(), "%dx%d", &width, &height) != 2)
                throw UsageError { "the size is WIDTHxHEIGHT" };
        } else if (option == "--default-node") {
            defaultNode = args.integer("the default node");
        } else if (option == "--node") {
            MVPanoramaNodePictures n;
            n.information.nodeID = args.integer("the node ID");
            n.information.name = args.take("the node name");
            nodes.push_back(std::move(n));
        } else if (nodes.empty()) {
            throw UsageError { option + " before any --node" };
        } else if (option == "--cylinder") {
            nodes.back().panorama.panoramaType = MVPanoramaTypeCylinder;
            nodes.back().imageFrames = { readFile(args.take("the picture")) };
        } else if (option == "--cube") {
            auto& n = nodes.back();
            n.panorama.panoramaType = MVPanoramaTypeCube;
            n.panorama.minTilt = -90;
            n.panorama.maxTilt = 90;
            n.panorama.maxFieldOfView = 120;
            n.imageFrames.clear();
            for (int k = 0; k < 6; ++k)
                n.imageFrames.push_back(readFile(args.take("a face")));
            n.imageColumns = 1;
            n.imageRows = 6;
        } else if (option == "--pan") {
            nodes.back().panorama.minPan = args.number("the pan");
            nodes.back().panorama.maxPan = args.number("the pan");
        } else if (option == "--tilt") {
            nodes.back().panorama.minTilt = args.number("the tilt");
            nodes.back().panorama.maxTilt = args.number("the tilt");
        } else if (option == "--fov") {
            nodes.back().panorama.minFieldOfView = args.number("the field of view");
            nodes.back().panorama.maxFieldOfView = args.number("the field of view");
        } else if (option == "--view") {
            nodes.back().panorama.defaultPan = args.number("the pan");
            nodes.back().panorama.defaultTilt = args.number("the tilt");
            nodes.back().panorama.defaultFieldOfView = args.number("the field of view");
        } else if (option == "--hotspots") {
            auto& n = nodes.back();
            n.hotspotFrames.clear();
            for (size_t k = 0; k < n.imageFrames.size(); ++k)
                n.hotspotFrames.push_back(readFile(args.take("a hot-spot picture")));
            n.hotspotColumns = n.imageColumns;
            n.hotspotRows = n.imageRows;
        } else if (option == "--link") {
            uint32_t id = args.integer("the hot spot ID");
            MVHotspotLink link;
            link.toNodeID = args.integer("the node it links to");
            auto h = hotspot(id, MVHotspotTypeLink, args.take("the hot spot name"));
            h.link = link;
            nodes.back().information.hotspots.push_back(std::move(h));
        } else if (option == "--url") {
            uint32_t id = args.integer("the hot spot ID");
            std::string url = args.take("the URL");
            auto h = hotspot(id, MVHotspotTypeURL, args.take("the hot spot name"));
            h.url = url;
            nodes.back().information.hotspots.push_back(std::move(h));
        } else {
            throw UsageError { "unknown option " + option };
        }
    }
    if (nodes.empty())
        throw UsageError { "no --node given" };
    HXError error;
    auto movie = MVMakePanoramaMovie(nodes, defaultNode, width, height, &error);
    if (!movie || !movie->writeToFile(output, { { MVMovieFlatten, HXPropertyList(true) } }, &error)) {
        std::cerr << "make-panorama: " << error.localizedDescription() << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr
            << "make-panorama: " << e.text << "\n"
            << "usage: make-panorama OUTPUT.mov --size WxH [--default-node ID] --node ID NAME "
               "(--cylinder PICTURE | --cube F R B L T B) [--pan MIN MAX] [--tilt MIN MAX] [--fov MIN MAX] "
               "[--view PAN TILT FOV] [--hotspots PICTURE...] [--link ID TO NAME] [--url ID URL NAME] ...\n";
        return 2;
    }
}
