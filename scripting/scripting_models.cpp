#include "scripting/scripting_models.h"

#include "app/document_controller.h"
#include "app/recent_documents.h"
#include "document/movie_document.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "scripting/app_scripting.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/script_values.h"

namespace MVPScriptingModels {

using V = HXScriptValue;
using Specifier = HXScriptObjectSpecifier;
using MVPScriptValues::fourCC;

namespace {

std::optional<Specifier> specifierOf(const HXScriptReference& object)
{
    if (!object)
        return std::nullopt;
    return object.classDescription()->objectSpecifier(object.object().get());
}

std::shared_ptr<Specifier> shared(std::optional<Specifier> objectSpec)
{
    return objectSpec ? std::make_shared<Specifier>(std::move(*objectSpec)) : nullptr;
}

// Opens what an entry stands for, as the Open Recent and Favorites menus do: the result is the document.
V openEntry(const HXPropertyList::Dictionary& entry, HXScriptCommand& command)
{
    auto reference = MVPRecentDocuments::dataReferenceOfEntry(entry);
    auto controller = MVPMovieDocumentController::sharedController();
    if (!reference || !controller) {
        command.fail(HXScriptFailedError, "The item cannot be opened.");
        return {};
    }
    auto doc = controller->openDataReference(*reference);
    if (!doc) {
        command.fail(HXScriptFailedError, "The item could not be opened.");
        return {};
    }
    return V(MVPMovieDocScripting::reference(doc));
}

// The position of a window among the application's windows, front to back.
int64_t orderedIndex(const HXWindow& window)
{
    auto windows = HXApp().orderedWindows();
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].get() == &window)
            return int64_t(i);
    return -1;
}

// The position of a movie or recording window among the application's "orderedMovieWindows" (what its
// specifier names), -1 for any other window.
int64_t movieWindowIndex(const HXWindow& window)
{
    auto root = MVPAppScripting::root();
    const auto* element = root ? root.classDescription()->element("orderedMovieWindows") : nullptr;
    if (!element || !element->list)
        return -1;
    auto windows = element->list(root.object().get());
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].isObject() && windows[i].object().object().get() == &window)
            return int64_t(i);
    return -1;
}

} // namespace

uint32_t kindOfEntry(const HXPropertyList::Dictionary& entry)
{
    auto it = entry.find("dataRefType");
    std::string type = it == entry.end() ? std::string() : it->second.stringValue();
    if (type == "alis")
        return fourCC("alis");
    if (type == "url ")
        return fourCC("url ");
    return fourCC("unkn");
}

const HXScriptClass<MVPModelFavorite>& favoriteClassDescription()
{
    static const HXScriptClass<MVPModelFavorite> cls = [] {
        HXScriptClass<MVPModelFavorite> c("favorite");
        auto nothing = [](MVPModelFavorite&, const V&, HXScriptCommand&) {};
        c.getSet(
            "name",
            [](MVPModelFavorite& f) { return V(HXPropertyList(f._favoriteInfo["name"].stringValue())); },
            "any", nothing);
        c.getSet(
            "kind",
            [](MVPModelFavorite& f) { return MVPScriptValues::codeValue(kindOfEntry(f._favoriteInfo)); },
            "any", nothing);
        c.getSet(
            "category", [](MVPModelFavorite&) { return V("Category"); }, "any", nothing);
        c.elements("files", [](MVPModelFavorite& f) {
            HXScriptValue::List list;
            auto ref = MVPRecentDocuments::dataReferenceOfEntry(f._favoriteInfo);
            if (ref && ref->dataReferenceType() == fourCC("alis"))
                list.emplace_back(ref->referenceFilePath());
            return list;
        });
        c.elements("internetLocations", [](MVPModelFavorite& f) {
            HXScriptValue::List list;
            auto ref = MVPRecentDocuments::dataReferenceOfEntry(f._favoriteInfo);
            if (ref && ref->dataReferenceType() == fourCC("url "))
                if (auto url = ref->referenceURL())
                    list.emplace_back(internetLocation(*url, favorite(f._favoriteInfo)));
            return list;
        });
        c.command("open", [](MVPModelFavorite& f, HXScriptCommand& command) {
            return openEntry(f._favoriteInfo, command);
        });
        c.specifier([](MVPModelFavorite& f) -> std::optional<Specifier> {
            return Specifier::name("favorites", f._favoriteInfo["name"].stringValue());
        });
        return c;
    }();
    return cls;
}

const HXScriptClass<MVPModelRecentItem>& recentItemClassDescription()
{
    static const HXScriptClass<MVPModelRecentItem> cls = [] {
        HXScriptClass<MVPModelRecentItem> c("recent item");
        c.get("name", [](MVPModelRecentItem& r) {
            return V(HXPropertyList(r._recentDocumentInfo["name"].stringValue()));
        });
        c.get("kind", [](MVPModelRecentItem& r) { return V(int64_t(kindOfEntry(r._recentDocumentInfo))); });
        c.command("open", [](MVPModelRecentItem& r, HXScriptCommand& command) {
            return openEntry(r._recentDocumentInfo, command);
        });
        c.specifier([](MVPModelRecentItem& r) -> std::optional<Specifier> {
            return Specifier::name("recentItems", r._recentDocumentInfo["name"].stringValue());
        });
        return c;
    }();
    return cls;
}

const HXScriptClass<MVPModelDisplay>& displayClassDescription()
{
    static const HXScriptClass<MVPModelDisplay> cls = [] {
        HXScriptClass<MVPModelDisplay> c("display");
        auto indexOf = [](const MVPModelDisplay& d) {
            auto screens = HXScreen::screens();
            for (size_t i = 0; i < screens.size(); ++i)
                if (screens[i].screenNumber() == d._screen.screenNumber())
                    return int64_t(i);
            return int64_t(-1);
        };
        c.get("name", [](MVPModelDisplay&) { return V("my screen"); });
        c.get("id", [](MVPModelDisplay&) { return V(); });
        c.get("index", [indexOf](MVPModelDisplay& d) { return V(indexOf(d)); });
        c.get("main", [](MVPModelDisplay& d) {
            auto main = HXScreen::mainScreen();
            return V(main && main->screenNumber() == d._screen.screenNumber());
        });
        c.get("currentDepth", [](MVPModelDisplay& d) { return V(int64_t(d._screen.bitsPerPixel())); });
        c.get("position", [](MVPModelDisplay& d) {
            return MVPScriptValues::pointValue(d._screen.frame().origin.y, d._screen.frame().origin.x);
        });
        c.get("dimensions", [](MVPModelDisplay& d) {
            return MVPScriptValues::sizeValue(d._screen.frame().size.height, d._screen.frame().size.width);
        });
        c.get("presentationBackgroundColor",
            [](MVPModelDisplay&) { return MVPScriptValues::colorValue(std::array<uint16_t, 3> {}); });
        c.command("enterFullScreen", [](MVPModelDisplay&, HXScriptCommand&) { return V(); });
        c.command("exitFullScreen", [](MVPModelDisplay&, HXScriptCommand&) { return V(); });
        // Every display has the same name, so a display names itself by its position: a reference a
        // script got back finds the same display again.
        c.specifier([indexOf](MVPModelDisplay& d) -> std::optional<Specifier> {
            return Specifier::index("displays", indexOf(d));
        });
        return c;
    }();
    return cls;
}

const HXScriptClass<MVPModelInternetLocation>& internetLocationClassDescription()
{
    static const HXScriptClass<MVPModelInternetLocation> cls = [] {
        HXScriptClass<MVPModelInternetLocation> c("internet location");
        c.get("location", [](MVPModelInternetLocation& l) { return V(l._location.absoluteString()); });
        c.get("name", [](MVPModelInternetLocation& l) { return V(l._location.absoluteString()); });
        c.specifier([](MVPModelInternetLocation& l) -> std::optional<Specifier> {
            auto parent = specifierOf(l._parent);
            if (!parent)
                return std::nullopt;
            return Specifier::name("internetLocations", l._location.absoluteString(), shared(parent));
        });
        return c;
    }();
    return cls;
}

const HXScriptClass<HXWindow>& windowClassDescription()
{
    static const HXScriptClass<HXWindow> cls = [] {
        HXScriptClass<HXWindow> c("window");
        c.get("name", [](HXWindow& w) { return V(w.title()); });
        // Read as the lower-left corner, written as the top-left corner (what scripts have always done).
        c.getSet(
            "windowPosition",
            [](HXWindow& w) { return MVPScriptValues::pointValue(w.frame().origin.y, w.frame().origin.x); },
            "any",
            [](HXWindow& w, const V& v, HXScriptCommand& command) {
                auto p = MVPScriptValues::pointFromValue(v);
                if (!p) {
                    command.fail(HXScriptCoercionError, "A window position is a point record.");
                    return;
                }
                w.setFrameTopLeftPoint({ double(p->second), double(p->first) });
            });
        c.getSet(
            "windowIndex", [](HXWindow& w) { return V(orderedIndex(w)); }, "integer",
            [](HXWindow& w, const V& v, HXScriptCommand&) {
                auto windows = HXApp().orderedWindows();
                int64_t index = v.propertyList().integerValue();
                if (index <= 0 || windows.empty())
                    w.orderFront(nullptr);
                else if (index >= int64_t(windows.size()))
                    w.orderBack(nullptr);
                else if (windows[size_t(index)].get() != &w)
                    w.orderWindow(HXWindowBelow, windows[size_t(index - 1)]->windowNumber());
            });
        c.elements("movies", [](HXWindow& w) {
            HXScriptValue::List list;
            if (auto controller = w.windowController())
                if (auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(controller->document()))
                    list.emplace_back(MVPMovieDocScripting::reference(doc));
            return list;
        });
        // Named by its place among the movie windows (a panel in front of it does not count there).
        c.specifier([](HXWindow& w) -> std::optional<Specifier> {
            int64_t index = movieWindowIndex(w);
            if (index < 0)
                return std::nullopt;
            return Specifier::index("orderedMovieWindows", index);
        });
        return c;
    }();
    return cls;
}

HXScriptReference favorite(const HXPropertyList::Dictionary& entry)
{
    return favoriteClassDescription().reference(
        std::make_shared<MVPModelFavorite>(MVPModelFavorite { entry }));
}

HXScriptReference recentItem(const HXPropertyList::Dictionary& entry)
{
    return recentItemClassDescription().reference(
        std::make_shared<MVPModelRecentItem>(MVPModelRecentItem { entry }));
}

HXScriptReference display(const HXScreen& screen)
{
    return displayClassDescription().reference(std::make_shared<MVPModelDisplay>(MVPModelDisplay { screen }));
}

HXScriptReference internetLocation(const HXURL& url, HXScriptReference parent)
{
    return internetLocationClassDescription().reference(
        std::make_shared<MVPModelInternetLocation>(MVPModelInternetLocation { url, std::move(parent) }));
}

} // namespace MVPScriptingModels
