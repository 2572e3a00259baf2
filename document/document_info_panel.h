#pragma once
// The info panel as the documents see it. The panel (MovieInfo) is made above the documents, in the
// inspectors, which install its maker with setMaker() when the program starts; without a maker a document
// has no panel. A document kind that has an info panel derives from MVPInfoPanelDocument.
#include <functional>
#include <memory>

class HXDocument;

class MVPDocumentInfoPanel {
public:
    virtual ~MVPDocumentInfoPanel() = default;

    // Shows the panel (attached to its document), or hides it when it shows.
    virtual void showHidePanel() = 0;
    // Closes the panel as its close button does.
    virtual void hidePanel() = 0;
    virtual bool isVisible() const = 0;
    // Whether the menu item that shows the panel is enabled.
    virtual bool shouldMenuItemBeValid() const = 0;

    using Maker = std::function<std::shared_ptr<MVPDocumentInfoPanel>(const std::shared_ptr<HXDocument>&)>;
    static void setMaker(Maker maker);
    // A new panel bound to `document` (which keeps it); null when no maker is installed.
    static std::shared_ptr<MVPDocumentInfoPanel> panelForDocument(const std::shared_ptr<HXDocument>& document);
};

// A document that has an info panel of its own (movie, composition and recording documents).
class MVPInfoPanelDocument {
public:
    virtual ~MVPInfoPanelDocument() = default;
    // The document's panel, made on first use (null when there is no maker).
    virtual std::shared_ptr<MVPDocumentInfoPanel> movieInfo() = 0;
};
