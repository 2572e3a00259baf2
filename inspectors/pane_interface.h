#pragma once
// The pane plug-in interface of the movie properties window.
//
// A pane is a shared object inside a bundle folder "<Name>.mvpane":
//   <Name>.mvpane/Info.plist      "HFBundleName", "HFBundleIdentifier", "HFExecutable" (the .so's file
//                                 name, "<Name>.so" when absent), "MVPropertyInspectorName" (the tab
//                                 label) and "MVPropertyInspectorSortOrder" ("MVOrderFirst", "MVOrderLast")
//   <Name>.mvpane/<Name>.so       the code; it links the platform libraries, never the player
//   <Name>.mvpane/Resources/      its strings tables and images (HXBundle::bundleForAddress finds them)
// The player looks for pane bundles in its own PlugIns/ folder, then in
// "<library folder>/Application Support/Zantrel/Movara Player/Property Panes" of $XDG_DATA_HOME and of each
// folder of $XDG_DATA_DIRS, in that order. It opens each .so with dlopen (never closing it again), checks
// that MVPPaneInterfaceVersion() answers kMVPPaneInterfaceVersion and asks MVPPanePrincipalClass() for the
// pane's factory. A pane declares both with MVP_DECLARE_PANE(FactoryClass) in one of its .cpp files.
//
// The factory answers for the pane class (which objects it inspects, the tab label, new pane instances);
// a pane instance shows one object in its view between startInspection and stopInspection. Everything
// except the two "required" members has a default, so the host may call every member of every pane.
// A pane works directly on the movie and track objects it is handed; their undo manager is the document's,
// and a pane removes its own undo actions (removeAllActionsWithTarget(this)) when it goes away.
#include "platform/basekit/bundle.h"
#include "platform/basekit/property_list.h"
#include "platform/drawing/geometry.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/view.h"

#include <memory>
#include <optional>
#include <string>

class MVDataReference;

// The version a pane is built against; a pane answering another one is not loaded.
inline constexpr int kMVPPaneInterfaceVersion = 1;

// Bundle information keys and sort-order values of a pane bundle.
inline constexpr const char* MVPropertyInspectorSortOrderKey = "MVPropertyInspectorSortOrder";
inline constexpr const char* MVPropertyInspectorNameKey = "MVPropertyInspectorName";
inline constexpr const char* MVOrderFirst = "MVOrderFirst";
inline constexpr const char* MVOrderLast = "MVOrderLast";
// The tab label of a pane bundle that names itself nowhere.
inline constexpr const char* MVPNamelessPaneLabel = "Nameless";
// Where panes live below each library folder, and the extension of a pane bundle built by this program.
inline constexpr const char* MVPPropertyPanesFolder
    = "Application Support/Zantrel/Movara Player/Property Panes";
inline constexpr const char* MVPPaneBundleExtension = "mvpane";

// The object a pane inspects: a movie (a row of the properties window's table) or one of its tracks.
// Two inspected objects are equal when they are the same movie, or the same track.
class MVPInspectedObject {
public:
    MVPInspectedObject() = default;
    MVPInspectedObject(std::shared_ptr<MVMovie> movie)
        : _movie(std::move(movie))
    {
    }
    MVPInspectedObject(std::shared_ptr<MVTrack> track)
        : _movie(track ? track->movie() : nullptr)
        , _track(std::move(track))
    {
    }

    bool isMovie() const { return _movie && !_track; }
    bool isTrack() const { return _track != nullptr; }
    explicit operator bool() const { return _movie || _track; }
    // The inspected movie, or the movie of the inspected track (null for a track outside any movie).
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    // The inspected track; null when the object is the movie.
    const std::shared_ptr<MVTrack>& track() const { return _track; }

    bool operator==(const MVPInspectedObject& other) const
    {
        return _track ? _track == other._track : (!other._track && _movie == other._movie);
    }

private:
    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<MVTrack> _track;
};

// What the player does for its panes (given to each factory before its first use).
class MVPPaneHost {
public:
    virtual ~MVPPaneHost() = default;
    // The per-movie full-screen setting `key` of the document showing `movie`; nullopt when no open
    // document shows it or the setting is absent.
    virtual std::optional<HXPropertyList> persistentFullscreenSettingForKey(
        const std::shared_ptr<MVMovie>& movie, const std::string& key)
        = 0;
    // Stores the setting in that document; false (and nothing stored) when no open document shows it.
    virtual bool setPersistentFullscreenSetting(
        const std::shared_ptr<MVMovie>& movie, const HXPropertyList& value, const std::string& key)
        = 0;
    // Opens the data reference as a movie document; true when it is shown (also when it already was).
    virtual bool createMovieDocumentWithDataRef(const MVDataReference& dataRef, bool openInNewPlayer) = 0;
    // The value the properties window's table shows for `key` of the object ("stringForList",
    // "verboseStringForList", "startTimeString", "durationInSeconds", "decoded" ...); a null property
    // list for a key the object does not answer.
    virtual HXPropertyList valueForKey(const MVPInspectedObject& object, const std::string& key) = 0;
};

// The instance side: one pane showing one object.
class MVPPropertyInspector {
public:
    virtual ~MVPPropertyInspector() = default;

    // Required: the pane's view, the same view on every call.
    virtual std::shared_ptr<HXView> view() = 0;
    // The size limits of the view inside the tab area; both default to the size of the view's bounds.
    virtual HXSize minViewSize() { return boundsSizeOfView(); }
    virtual HXSize maxViewSize() { return boundsSizeOfView(); }
    // After the view is installed, and again each time the closed window is shown again.
    virtual void startInspection() { }
    // Before the pane is dropped or the window closes.
    virtual void stopInspection() { }

private:
    HXSize boundsSizeOfView()
    {
        auto v = view();
        return v ? v->bounds().size : HXSize {};
    }
};

// The class side: the principal object of a pane bundle.
class MVPPropertyInspectorFactory {
public:
    virtual ~MVPPropertyInspectorFactory() = default;

    // Required: a stable name of the pane class, remembered as the last used pane ("MVPAudioInspector").
    virtual std::string className() const = 0;
    // Required: a new pane for the object (null when the pane cannot show it).
    virtual std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object)
        = 0;
    // Whether a tab is offered for the object; every object by default.
    virtual bool canInspectObject(const MVPInspectedObject& object)
    {
        (void)object;
        return true;
    }
    // The tab label: by default the bundle's "MVPropertyInspectorName", else its "HFBundleName", else
    // "Nameless".
    virtual std::string propertyInspectorNameForObject(const MVPInspectedObject& object)
    {
        (void)object;
        return defaultName();
    }

    // Set by the host when it loads the pane: the bundle holding the pane's code, and the player's services.
    const std::shared_ptr<HXBundle>& bundle() const { return _bundle; }
    void setBundle(std::shared_ptr<HXBundle> bundle) { _bundle = std::move(bundle); }
    MVPPaneHost* host() const { return _host; }
    void setHost(MVPPaneHost* host) { _host = host; }

    std::string defaultName() const
    {
        if (_bundle) {
            for (const char* key : { MVPropertyInspectorNameKey, kHFBundleNameKey }) {
                HXPropertyList value = _bundle->objectForInfoDictionaryKey(key);
                if (value.isString() && !value.stringValue().empty())
                    return value.stringValue();
            }
        }
        return MVPNamelessPaneLabel;
    }

private:
    std::shared_ptr<HXBundle> _bundle;
    MVPPaneHost* _host = nullptr;
};

// The entry points of a pane's shared object.
extern "C" {
using MVPPaneInterfaceVersionFunction = int (*)();
using MVPPanePrincipalClassFunction = MVPPropertyInspectorFactory* (*)();
}
inline constexpr const char* MVPPaneInterfaceVersionSymbol = "MVPPaneInterfaceVersion";
inline constexpr const char* MVPPanePrincipalClassSymbol = "MVPPanePrincipalClass";

// Declares a pane's entry points: the factory is made on first call and lives as long as the process
// (pane code is never unloaded).
#define MVP_DECLARE_PANE(FactoryClass)                                                                       \
    extern "C" __attribute__((visibility("default"))) int MVPPaneInterfaceVersion()                          \
    {                                                                                                        \
        return kMVPPaneInterfaceVersion;                                                                     \
    }                                                                                                        \
    extern "C" __attribute__((visibility("default"))) MVPPropertyInspectorFactory* MVPPanePrincipalClass()   \
    {                                                                                                        \
        static FactoryClass* factory = new FactoryClass();                                                   \
        return factory;                                                                                      \
    }
