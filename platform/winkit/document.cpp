#include "platform/winkit/document.h"

#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/page_layout.h"
#include "platform/winkit/window_controller.h"

#include <algorithm>

HXDocument::HXDocument()
{
    setActionHandler("saveDocument:", [this](HXObject* sender) { saveDocument(sender); });
    setActionHandler("performClose:", [this](HXObject*) {
        if (auto w = windowForSheet())
            w->performClose();
    });
}

HXDocument::~HXDocument() = default;

HXPrintInfo& HXDocument::printInfo()
{
    if (!_printInfo)
        _printInfo = HXPrintInfo::sharedPrintInfo();
    return *_printInfo;
}

void HXDocument::runPageLayout(HXObject*)
{
    auto panel = HXPageLayout::pageLayout();
    std::weak_ptr<HXDocument> weak = std::static_pointer_cast<HXDocument>(shared_from_this());
    panel->beginSheetWithPrintInfo(printInfo(), windowForSheet(), [weak, panel](long code) {
        if (auto document = weak.lock(); document && code == HXModalResponseOK)
            document->setPrintInfo(panel->printInfo());
    });
}

void HXDocument::setFileURL(const HXURL& url)
{
    _fileURL = url;
    _fileName = url.isFileURL() ? url.path() : std::string();
    for (auto& c : _windowControllers)
        c->synchronizeWindowTitleWithDocumentName();
}

void HXDocument::setFileName(const std::string& path)
{
    if (path.empty()) {
        _fileURL = HXURL();
        _fileName.clear();
    } else {
        _fileURL = HXURL::fileURLWithPath(path);
        _fileName = path;
    }
    for (auto& c : _windowControllers)
        c->synchronizeWindowTitleWithDocumentName();
}

std::string HXDocument::displayName() const
{
    if (!_fileName.empty()) {
        std::string name = _fileName;
        while (name.size() > 1 && name.back() == '/')
            name.pop_back();
        auto slash = name.find_last_of('/');
        return slash == std::string::npos ? name : name.substr(slash + 1);
    }
    if (_untitledNumber <= 1)
        return "Untitled";
    return "Untitled " + std::to_string(_untitledNumber);
}

bool HXDocument::readFromURL(const HXURL&, const std::string& type, HXError* error)
{
    if (error)
        *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileReadUnknownError,
            "Documents of type \u201c" + type + "\u201d cannot be read.");
    return false;
}

bool HXDocument::writeToURL(const HXURL&, const std::string& type, HXError* error)
{
    if (error)
        *error = HXError::withDescription(HXBaseKitErrorDomain, HXFileWriteUnknownError,
            "Documents of type \u201c" + type + "\u201d cannot be saved.");
    return false;
}

bool HXDocument::saveDocument(HXObject*)
{
    HXError error;
    if (_fileName.empty()) {
        error = HXError::withDescription(HXBaseKitErrorDomain, HXFileWriteUnknownError,
            "The document \u201c" + displayName() + "\u201d has no file to be saved to.");
        presentError(error);
        return false;
    }
    if (!writeToURL(_fileURL, _fileType, &error)) {
        presentError(error);
        return false;
    }
    updateChangeCount(HXChangeCleared);
    return true;
}

void HXDocument::updateChangeCount(HXDocumentChangeType change)
{
    switch (change) {
    case HXChangeDone:
    case HXChangeRedone:
        ++_changeCount;
        break;
    case HXChangeUndone:
        --_changeCount;
        break;
    case HXChangeCleared:
    case HXChangeReadOtherContents:
        _changeCount = 0;
        break;
    case HXChangeAutosaved:
        break;
    }
    for (auto& c : _windowControllers)
        c->setDocumentEdited(isDocumentEdited());
}

void HXDocument::makeWindowControllers()
{
    std::string name = windowNibName();
    if (name.empty())
        return;
    addWindowController(std::make_shared<HXWindowController>(name, shared_from_this()));
}

void HXDocument::addWindowController(const std::shared_ptr<HXWindowController>& controller)
{
    if (!controller || std::find(_windowControllers.begin(), _windowControllers.end(), controller) != _windowControllers.end())
        return;
    _windowControllers.push_back(controller);
    controller->setDocument(std::static_pointer_cast<HXDocument>(shared_from_this()));
}

void HXDocument::removeWindowController(const std::shared_ptr<HXWindowController>& controller)
{
    std::erase(_windowControllers, controller);
}

void HXDocument::showWindows()
{
    auto controllers = _windowControllers;
    for (auto& c : controllers)
        c->showWindow();
}

std::shared_ptr<HXWindow> HXDocument::windowForSheet() const
{
    for (auto& c : _windowControllers) {
        if (auto w = c->window(); w && w->isVisible())
            return w;
    }
    return _windowControllers.empty() ? nullptr : _windowControllers.front()->window();
}

void HXDocument::shouldCloseWindowController(const std::shared_ptr<HXWindowController>& controller,
    std::function<void(bool)> completion)
{
    bool closesDocument = controller->shouldCloseDocument() || _windowControllers.size() <= 1;
    if (!closesDocument) {
        completion(true);
        return;
    }
    canCloseDocument(std::move(completion));
}

void HXDocument::canCloseDocument(std::function<void(bool)> completion)
{
    if (!isDocumentEdited()) {
        completion(true);
        return;
    }
    auto self = std::static_pointer_cast<HXDocument>(shared_from_this());
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText("Do you want to save the changes you made in the document \u201c" + displayName() + "\u201d?");
    alert->setInformativeText("Your changes will be lost if you don't save them.");
    alert->addButtonWithTitle("Save");
    alert->addButtonWithTitle("Cancel");
    alert->addButtonWithTitle("Don't Save");
    alert->beginSheetModalForWindow(windowForSheet(), [self, completion](long code) {
        if (code == HXAlertSecondButtonReturn || code == HXModalResponseAbort) {
            completion(false);
        } else if (code == HXAlertThirdButtonReturn) {
            completion(true);
        } else if (!self->fileName().empty()) {
            completion(self->saveDocument());
        } else {
            self->chooseSaveLocation([self, completion](std::string path) {
                if (path.empty()) {
                    completion(false);
                    return;
                }
                self->setFileName(path);
                completion(self->saveDocument());
            });
        }
    });
}

void HXDocument::close()
{
    if (_closed)
        return;
    _closed = true;
    auto self = std::static_pointer_cast<HXDocument>(shared_from_this());
    auto controllers = _windowControllers;
    for (auto& c : controllers) {
        c->close();
        removeWindowController(c);
    }
    if (HXDocumentController::hasSharedDocumentController())
        HXDocumentController::sharedDocumentController()->removeDocument(self);
}

bool HXDocument::presentError(const HXError& error)
{
    HXAlert::alertWithError(willPresentError(error))->runModal();
    return false;
}

void HXDocument::presentError(const HXError& error, const std::shared_ptr<HXWindow>& window,
    std::function<void(bool)> completion)
{
    HXAlert::alertWithError(willPresentError(error))->beginSheetModalForWindow(window, [completion](long) {
        if (completion)
            completion(false);
    });
}
