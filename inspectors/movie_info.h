#pragma once
// MovieInfo: the info panel. Each document has one of its own; one more, the movie inspector, follows
// whichever document is current. The panel is made on first use and floats above the player windows.
#include <memory>

class HXDocument;
class HXPanel;

class MovieInfo : public std::enable_shared_from_this<MovieInfo> {
public:
    // A new info panel controller bound to `document` (which keeps it).
    static std::shared_ptr<MovieInfo> movieInfoForDocument(const std::shared_ptr<HXDocument>& document);
    // The single inspector-kind controller, made on first use.
    static std::shared_ptr<MovieInfo> movieInspector();

    ~MovieInfo();

    // Makes the panel on first use. When visible it hides (the inspector) or comes to the front (a
    // document's panel); when hidden it attaches to its document and shows.
    void showHidePanel();
    void hidePanel();
    bool isVisible() const;
    // The inspector always; a document's own panel only while nothing is presented full screen.
    bool shouldMenuItemBeValid() const;

    bool isInspector() const { return _isInspector; }
    // The document shown: its own, or for the inspector the one it attached to last.
    std::shared_ptr<HXDocument> document() const { return _document.lock(); }
    const std::shared_ptr<HXPanel>& panel() const { return _panel; }

private:
    MovieInfo() = default;
    void makePanel();

    bool _isInspector = false;
    std::weak_ptr<HXDocument> _document;
    std::shared_ptr<HXPanel> _panel;
};
