#include "scripting/panorama_scripting.h"

#include "document/movie_document.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/node.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/script_values.h"

#include <cmath>

namespace {

using Doc = MVPMovieDocument;
using V = HXScriptValue;
using Specifier = HXScriptObjectSpecifier;
using MVPScriptValues::fourCC;

V range(float minimum, float maximum)
{
    return V(HXScriptValue::List { V(double(minimum)), V(double(maximum)) });
}

V rangeOf(const MVAngleRange& r)
{
    return range(r.minimum, r.maximum);
}

// A number a script wrote, as an angle or a speed; nothing for a value that is no number.
std::optional<float> realOf(const V& v)
{
    if (!v.isPropertyList())
        return std::nullopt;
    const HXPropertyList& p = v.propertyList();
    if (!p.isReal() && !p.isInteger())
        return std::nullopt;
    double d = p.realValue();
    return std::isfinite(d) ? std::optional<float>(float(d)) : std::nullopt;
}

V nodeValue(const std::shared_ptr<MVNode>& node)
{
    return node ? V(MVPNodeScripting::reference(node)) : V();
}

// A node the script names: a node object of this movie.
std::shared_ptr<MVNode> nodeOf(const V& v)
{
    if (!v.isObject() || v.object().classDescription() != &MVPNodeScripting::classDescription())
        return nullptr;
    return std::static_pointer_cast<MVNode>(v.object().object());
}

// Goes to `node` in its movie; the node (null when it no longer belongs to a movie).
std::shared_ptr<MVNode> navigate(const std::shared_ptr<MVNode>& node)
{
    auto movie = node ? node->parent() : nullptr;
    if (!movie || !movie->goToNode(node->uniqueID()))
        return nullptr;
    return node;
}

} // namespace

// ---- Nodes

namespace MVPNodeScripting {

const HXScriptClass<MVNode>& classDescription()
{
    static const HXScriptClass<MVNode> cls = [] {
        HXScriptClass<MVNode> c("node");
        c.get("name", [](MVNode& n) { return V(n.name()); });
        c.get("id", [](MVNode& n) { return V(int64_t(n.uniqueID())); });
        c.get("uniqueID", [](MVNode& n) { return V(int64_t(n.uniqueID())); });
        c.get("index", [](MVNode& n) { return V(int64_t(n.index())); });
        c.get("nodeType", [](MVNode& n) { return V(int64_t(MVOSTypeForString(n.type()))); });
        // The node's own extents (where its picture reaches and how far it zooms).
        c.get("panRange", [](MVNode& n) { return rangeOf(n.panRange()); });
        c.get("tiltRange", [](MVNode& n) { return rangeOf(n.tiltRange()); });
        c.get("fieldOfViewRange", [](MVNode& n) { return rangeOf(n.fieldOfViewRange()); });
        c.elements("hotspots", [](MVNode& n) {
            HXScriptValue::List list;
            for (const auto& h : n.hotspots())
                list.emplace_back(MVPHotspotScripting::reference(h));
            return list;
        });
        c.command("navigate",
            [](MVNode& n, HXScriptCommand&) { return nodeValue(navigate(n.shared_from_this())); });
        c.specifier([](MVNode& n) -> std::optional<Specifier> {
            auto movie = n.parent();
            auto doc = MVPMovieDocScripting::documentForMovie(movie.get());
            auto container
                = doc ? MVPMovieDocScripting::classDescription().objectSpecifier(doc.get()) : std::nullopt;
            if (!container)
                return std::nullopt;
            return Specifier::index("nodes", n.index() - 1, std::make_shared<Specifier>(*container));
        });
        return c;
    }();
    return cls;
}

HXScriptReference reference(const std::shared_ptr<MVNode>& node)
{
    return classDescription().reference(node);
}

} // namespace MVPNodeScripting

// ---- Hot spots

namespace MVPHotspotScripting {

const HXScriptClass<MVHotspot>& classDescription()
{
    static const HXScriptClass<MVHotspot> cls = [] {
        HXScriptClass<MVHotspot> c("hotspot");
        c.get("name", [](MVHotspot& h) { return V(h.name()); });
        c.get("id", [](MVHotspot& h) { return V(int64_t(h.hotspotID())); });
        c.get("index", [](MVHotspot& h) { return V(int64_t(h.index())); });
        c.get("type", [](MVHotspot& h) { return V(int64_t(MVOSTypeForString(h.type()))); });
        c.command("trigger", [](MVHotspot& h, HXScriptCommand&) {
            h.triggerHotspot();
            return V();
        });
        c.specifier([](MVHotspot& h) -> std::optional<Specifier> {
            auto node = h.parent();
            auto container
                = node ? MVPNodeScripting::classDescription().objectSpecifier(node.get()) : std::nullopt;
            if (!container)
                return std::nullopt;
            return Specifier::index("hotspots", h.index() - 1, std::make_shared<Specifier>(*container));
        });
        return c;
    }();
    return cls;
}

HXScriptReference reference(const std::shared_ptr<MVHotspot>& hotspot)
{
    return classDescription().reference(hotspot);
}

} // namespace MVPHotspotScripting

// ---- The movie's panorama keys and commands

namespace MVPMovieDocScripting {

void addPanoramaProperties(HXScriptClass<Doc>& c)
{
    c.getSet(
        "currentNode", [](Doc& d) { return nodeValue(d.movie() ? d.movie()->currentNode() : nullptr); },
        "any", [](Doc&, const V& v, HXScriptCommand&) { navigate(nodeOf(v)); });
    c.get("defaultNode", [](Doc& d) {
        auto nodes = d.movie() ? d.movie()->nodes() : std::vector<std::shared_ptr<MVNode>> {};
        return nodes.empty() ? V() : nodeValue(nodes.front());
    });
    struct Angle {
        const char* key;
        float (MVMovie::*get)() const;
        void (MVMovie::*set)(float);
    };
    static const Angle angles[] = {
        { "zoomRate", &MVMovie::zoomRate, &MVMovie::setZoomRate },
        { "tiltAngle", &MVMovie::tiltAngle, &MVMovie::setTiltAngle },
        { "panTiltSpeed", &MVMovie::panTiltSpeed, &MVMovie::setPanTiltSpeed },
        { "panAngle", &MVMovie::panAngle, &MVMovie::setPanAngle },
        { "fieldOfView", &MVMovie::fieldOfView, &MVMovie::setFieldOfView },
    };
    for (const Angle& a : angles)
        c.getSet(
            a.key, [get = a.get](Doc& d) { return V(d.movie() ? double((*d.movie().*get)()) : 0.0); }, "real",
            [set = a.set](Doc& d, const V& v, HXScriptCommand&) {
                if (auto value = realOf(v); value && d.movie())
                    (*d.movie().*set)(*value);
            });
    c.getSet(
        "showHotSpots", [](Doc& d) { return V(d.movie() && d.movie()->hotspotsVisible()); }, "boolean",
        [](Doc& d, const V& v, HXScriptCommand&) {
            if (d.movie())
                d.movie()->setHotspotsVisible(v.propertyList().boolValue());
        });
    const char* ranges[] = { "panRange", "tiltRange", "fieldOfViewRange" };
    for (int kind = 0; kind < 3; ++kind)
        c.get(ranges[kind], [kind](Doc& d) {
            auto [minimum, maximum]
                = d.movie() ? d.movie()->constraints(kind) : std::pair<float, float> { 0, 0 };
            return range(minimum, maximum);
        });
    c.elements("nodes", [](Doc& d) {
        HXScriptValue::List list;
        if (d.movie())
            for (const auto& n : d.movie()->nodes())
                list.emplace_back(MVPNodeScripting::reference(n));
        return list;
    });
}

float nudgeAngleForCode(uint32_t code)
{
    static const struct {
        uint32_t code;
        float angle;
    } angles[] = { { fourCC("left"), 180 }, { fourCC("uple"), 135 }, { fourCC("up  "), 90 },
        { fourCC("upri"), 45 }, { fourCC("dori"), 315 }, { fourCC("down"), 270 }, { fourCC("dole"), 225 } };
    for (const auto& a : angles)
        if (a.code == code)
            return a.angle;
    return 0;
}

void addPanoramaCommands(HXScriptClass<Doc>& c)
{
    auto self = [](Doc& d) { return V(reference(std::static_pointer_cast<Doc>(d.shared_from_this()))); };
    c.command("zoom", [self](Doc& d, HXScriptCommand& command) {
        auto direction = command.codeArgument("Direction");
        if (command.failed())
            return V();
        if (auto movie = d.movie()) {
            // One step: a zoom started by a script has nobody to let go of a button and stop it.
            movie->zoom(direction && *direction == fourCC("inwa") ? -1.0f : 1.0f);
            movie->zoom(0);
        }
        return self(d);
    });
    c.command("nudge", [self](Doc& d, HXScriptCommand& command) {
        auto direction = command.codeArgument("Direction");
        if (command.failed())
            return V();
        if (auto movie = d.movie())
            movie->nudge(nudgeAngleForCode(direction.value_or(0)));
        return self(d);
    });
    // Navigating to a coordinate, with a mode, a transition, a speed or a direction does nothing more than
    // answer where the viewer is.
    c.command("navigate",
        [](Doc& d, HXScriptCommand&) { return nodeValue(d.movie() ? d.movie()->currentNode() : nullptr); });
}

} // namespace MVPMovieDocScripting
