#include "platform/winkit/window_controller.h"

#include "platform/winkit/application.h"
#include "platform/winkit/document.h"
#include "platform/winkit/interface_loading.h"

namespace {
// Where the next cascaded window goes (top left, screen coordinates); zero until the first window.
HXPoint cascadePoint;
} // namespace

HXWindowController::HXWindowController(const std::shared_ptr<HXWindow>& window)
    : _window(window)
{
}

HXWindowController::HXWindowController(std::string interfaceName, std::shared_ptr<HXObject> owner)
    : _interfaceName(std::move(interfaceName))
    , _owner(owner)
{
}

HXWindowController::~HXWindowController() = default;

std::shared_ptr<HXObject> HXWindowController::owner() const
{
    if (auto o = _owner.lock())
        return o;
    return std::const_pointer_cast<HXObject>(shared_from_this());
}

std::shared_ptr<HXWindow> HXWindowController::window()
{
    if (!_window && !_interfaceName.empty())
        loadWindow();
    if (_window && _window->windowController().get() != this)
        setWindow(_window); // a window given to the constructor is hooked up on first use
    return _window;
}

void HXWindowController::loadWindow()
{
    windowWillLoad();
    std::vector<std::shared_ptr<HXObject>> objects;
    // The interface connects the window through setWindow (the owner reaches us as its outlet target).
    if (!HXInterfaceLoader::loadInterfaceNamed(_interfaceName, owner(), &objects))
        HXLog("HXWindowController: no interface named " + _interfaceName);
    if (!_window) {
        for (auto& o : objects) {
            if (auto w = std::dynamic_pointer_cast<HXWindow>(o)) {
                setWindow(w);
                break;
            }
        }
    }
    if (!_window)
        return;
    windowDidLoad();
    if (auto doc = document())
        doc->windowControllerDidLoadNib(*this);
}

void HXWindowController::setWindow(const std::shared_ptr<HXWindow>& window)
{
    _window = window;
    if (!window)
        return;
    auto self = std::static_pointer_cast<HXWindowController>(shared_from_this());
    window->setWindowController(self);
    if (!window->delegate())
        window->setDelegate(self);
    if (document()) {
        showMenuBarIn(*window);
        synchronizeWindowTitleWithDocumentName();
    }
}

void HXWindowController::showMenuBarIn(HXWindow& window)
{
    // A document's windows show the menu; its panels (a sheet, a heads-up panel) belong to one of them
    // and show none of their own.
    if (!dynamic_cast<HXPanel*>(&window))
        window.setStyleMask(window.styleMask() | HXMenuBarWindowMask);
}

void HXWindowController::setDocument(const std::shared_ptr<HXDocument>& document)
{
    _document = document;
    if (_window && document) {
        showMenuBarIn(*_window);
        synchronizeWindowTitleWithDocumentName();
    }
}

void HXWindowController::setDocumentEdited(bool edited)
{
    if (_window)
        _window->setDocumentEdited(edited);
}

void HXWindowController::showWindow(HXObject*)
{
    auto w = window();
    if (!w)
        return;
    if (_shouldCascadeWindows && !w->isVisible())
        cascadePoint = w->cascadeTopLeftFromPoint(cascadePoint);
    w->makeKeyAndOrderFront();
}

void HXWindowController::close()
{
    if (_window)
        _window->close();
}

void HXWindowController::synchronizeWindowTitleWithDocumentName()
{
    auto doc = document();
    if (!doc || !_window)
        return;
    _window->setTitle(windowTitleForDocumentDisplayName(doc->displayName()));
    _window->setRepresentedFilename(doc->fileName());
    _window->setDocumentEdited(doc->isDocumentEdited());
}

bool HXWindowController::windowShouldClose(HXWindow& window)
{
    auto doc = document();
    if (!doc)
        return true;
    bool last = doc->windowControllers().size() <= 1;
    if (!last && !_shouldCloseDocument)
        return true;
    // The document decides, perhaps after asking; the window closes when it agrees.
    std::weak_ptr<HXWindow> weakWindow = std::static_pointer_cast<HXWindow>(window.shared_from_this());
    auto self = std::static_pointer_cast<HXWindowController>(shared_from_this());
    doc->shouldCloseWindowController(self, [weakWindow](bool shouldClose) {
        if (!shouldClose)
            return;
        if (auto w = weakWindow.lock())
            w->close();
    });
    return false;
}

void HXWindowController::windowWillClose(HXWindow&)
{
    auto doc = document();
    if (!doc || _closing)
        return;
    _closing = true;
    auto self = std::static_pointer_cast<HXWindowController>(shared_from_this());
    bool closeDocument = _shouldCloseDocument || doc->windowControllers().size() <= 1;
    doc->removeWindowController(self);
    if (closeDocument && !doc->isClosed())
        doc->close();
    _closing = false;
}

HXUndoManager* HXWindowController::windowWillReturnUndoManager(HXWindow&)
{
    auto doc = document();
    return doc ? doc->undoManager() : nullptr;
}
