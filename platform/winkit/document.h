#pragma once
// HXDocument: one document: its file, type, change count and window controllers. Closing asks first
// (canCloseDocument) when there are unsaved changes; the answer comes to a continuation, because the
// question is a sheet.
#include "platform/basekit/error.h"
#include "platform/basekit/url.h"
#include "platform/winkit/print_info.h"
#include "platform/winkit/responder.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXWindow;
class HXWindowController;
class HXUndoManager;

enum HXDocumentChangeType {
    HXChangeDone = 0,
    HXChangeUndone = 1,
    HXChangeCleared = 2,
    HXChangeReadOtherContents = 3,
    HXChangeAutosaved = 4,
    HXChangeRedone = 5,
};

enum HXSaveOperationType { HXSaveOperation = 0, HXSaveAsOperation = 1, HXSaveToOperation = 2 };

class HXDocument : public HXResponder {
public:
    HXDocument();
    ~HXDocument() override;

    // File.
    const HXURL& fileURL() const { return _fileURL; }
    virtual void setFileURL(const HXURL& url);
    // The file's path ("" for an untitled document).
    const std::string& fileName() const { return _fileName; }
    void setFileName(const std::string& path);
    const std::string& fileType() const { return _fileType; }
    virtual void setFileType(const std::string& type) { _fileType = type; }
    // The file's name without folder, or "Untitled" / "Untitled N" for a new document.
    virtual std::string displayName() const;

    // Reading and writing (subclasses). The defaults fail with an error.
    virtual bool readFromURL(const HXURL& url, const std::string& type, HXError* error);
    virtual bool writeToURL(const HXURL& url, const std::string& type, HXError* error);
    // Saves to its file; false (and presents the error) when that fails or there is no file.
    virtual bool saveDocument(HXObject* sender = nullptr);
    // Untitled documents need a place to be saved to: the default has none (override to show a save panel
    // and answer the chosen path through the continuation, or empty to cancel).
    virtual void chooseSaveLocation(std::function<void(std::string path)> completion) { completion({}); }

    // Changes.
    void updateChangeCount(HXDocumentChangeType change);
    virtual bool isDocumentEdited() const { return _changeCount != 0; }
    long changeCount() const { return _changeCount; }
    HXUndoManager* undoManager() const { return _undoManager; }
    void setUndoManager(HXUndoManager* manager) { _undoManager = manager; }

    // Windows.
    virtual void makeWindowControllers();
    // The interface the default window controller loads ("" makes none).
    virtual std::string windowNibName() const { return {}; }
    void addWindowController(const std::shared_ptr<HXWindowController>& controller);
    void removeWindowController(const std::shared_ptr<HXWindowController>& controller);
    const std::vector<std::shared_ptr<HXWindowController>>& windowControllers() const { return _windowControllers; }
    virtual void showWindows();
    // The window sheets of this document attach to: the first controller's window (null when none).
    std::shared_ptr<HXWindow> windowForSheet() const;
    virtual void windowControllerDidLoadNib(HXWindowController& controller) { (void)controller; }
    virtual void shouldCloseWindowController(const std::shared_ptr<HXWindowController>& controller,
        std::function<void(bool shouldClose)> completion);

    // Closing. canCloseDocument answers at once (true) when nothing is unsaved; otherwise it shows a sheet
    // asking whether to save, and answers after the choice: Save (saves, true unless saving failed),
    // Don't Save (true), Cancel (false).
    virtual void canCloseDocument(std::function<void(bool shouldClose)> completion);
    // Closes the windows and removes the document from the document controller.
    virtual void close();
    bool isClosed() const { return _closed; }

    // Errors: shows the error (as a sheet on the document's window when it has one). presentError returns
    // false: the error was not recovered.
    virtual bool presentError(const HXError& error);
    virtual void presentError(const HXError& error, const std::shared_ptr<HXWindow>& window,
        std::function<void(bool recovered)> completion);
    virtual HXError willPresentError(const HXError& error) { return error; }

    // Printing. The document's print info starts as a copy of the shared one; runPageLayout edits it in the
    // page set-up panel (a sheet on the document's window). printDocument prints with the print panel.
    // Documents that print install the runPageLayout: and printDocument: actions and override
    // printShowingPrintPanel; the default prints nothing.
    HXPrintInfo& printInfo();
    void setPrintInfo(const HXPrintInfo& info) { _printInfo = info; }
    void runPageLayout(HXObject* sender = nullptr);
    void printDocument(HXObject* sender = nullptr) { (void)sender, printShowingPrintPanel(true); }
    virtual void printShowingPrintPanel(bool showPanels) { (void)showPanels; }

    // Internal: numbering of untitled documents.
    void setUntitledNumber(int number) { _untitledNumber = number; }

private:
    HXURL _fileURL;
    std::string _fileName;
    std::string _fileType;
    long _changeCount = 0;
    HXUndoManager* _undoManager = nullptr;
    std::vector<std::shared_ptr<HXWindowController>> _windowControllers;
    int _untitledNumber = 0;
    bool _closed = false;
    std::optional<HXPrintInfo> _printInfo;
};
