#pragma once
// HXWindowController: manages one window of a document (or a stand-alone window such as an inspector).
// It loads its window from a registered interface on first use, keeps the window's title in step with the
// document's display name and closes the document when its last window closes.
#include "platform/winkit/window.h"

#include <memory>
#include <string>

class HXDocument;

class HXWindowController : public HXResponder, public HXWindowDelegate {
public:
    HXWindowController() = default;
    explicit HXWindowController(const std::shared_ptr<HXWindow>& window);
    // The window comes from the interface `interfaceName`, loaded with `owner` (this controller when null).
    explicit HXWindowController(std::string interfaceName, std::shared_ptr<HXObject> owner = {});
    ~HXWindowController() override;

    // The window (loads it when needed).
    std::shared_ptr<HXWindow> window();
    void setWindow(const std::shared_ptr<HXWindow>& window);
    bool isWindowLoaded() const { return _window != nullptr; }
    virtual void loadWindow();
    virtual void windowWillLoad() { }
    virtual void windowDidLoad() { }
    const std::string& windowNibName() const { return _interfaceName; }
    std::shared_ptr<HXObject> owner() const;

    std::shared_ptr<HXDocument> document() const { return _document.lock(); }
    virtual void setDocument(const std::shared_ptr<HXDocument>& document);
    void setDocumentEdited(bool edited);

    virtual void showWindow(HXObject* sender = nullptr);
    virtual void close();

    bool shouldCloseDocument() const { return _shouldCloseDocument; }
    void setShouldCloseDocument(bool flag) { _shouldCloseDocument = flag; }
    bool shouldCascadeWindows() const { return _shouldCascadeWindows; }
    void setShouldCascadeWindows(bool flag) { _shouldCascadeWindows = flag; }

    virtual void synchronizeWindowTitleWithDocumentName();
    virtual std::string windowTitleForDocumentDisplayName(const std::string& displayName)
    {
        return displayName;
    }

    // Window delegate: closing a document window asks the document first.
    bool windowShouldClose(HXWindow& window) override;
    void windowWillClose(HXWindow& window) override;
    HXUndoManager* windowWillReturnUndoManager(HXWindow& window) override;

private:
    static void showMenuBarIn(HXWindow& window);

    std::shared_ptr<HXWindow> _window;
    std::weak_ptr<HXDocument> _document;
    std::string _interfaceName;
    std::weak_ptr<HXObject> _owner;
    bool _shouldCloseDocument = false;
    bool _shouldCascadeWindows = true;
    bool _closing = false;
};
