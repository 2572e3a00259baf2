// Saving the movie document: in place when its file can be updated, else through the save panel; a
// synchronous write under the progress sheet or, for large self-contained movies, a background job under
// the job sheet.
//
// Whatever happens, a save never costs the user's work: the writers replace a file only when the new one
// is whole, a failed or cancelled save leaves the file and the document's edited state as they were and
// says why, a background Save To leaves the document on its own file, and the did-save handler is told
// on every path, so that a close or a quit waiting for it goes on.
#include "document/movie_document.h"

#include "core/movie_error.h"
#include "document/persistence.h"
#include "export/job_progress_window_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/process_info.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/media_keys.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/window_controller.h"
#include "document/movie_progress_window_controller.h"

#include <filesystem>

namespace {

std::string lastPathComponent(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

std::string pathExtension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    return extension.empty() ? extension : extension.substr(1);
}

bool mediaKeyEnabled(const char* type)
{
    auto values = MVMediaKeys::mediaKeys().mediaKeysForType(type);
    return !values.empty() && values.front() == "enable";
}

// The save panel asks the document about the names typed in it.
class SavePanelDelegate : public HXSavePanelDelegate {
public:
    explicit SavePanelDelegate(std::weak_ptr<MVPMovieDocument> document)
        : _document(std::move(document))
    {
    }
    bool isValidFilename(HXSavePanel&, const std::string& path) override
    {
        auto document = _document.lock();
        return !document || document->panelIsValidFilename(path);
    }

private:
    std::weak_ptr<MVPMovieDocument> _document;
};

} // namespace

void MVPMovieDocument::registerSavingActions()
{
    setActionHandler("saveDocument:", [this](HXObject* sender) { saveDocument(sender); });
    setActionHandler("saveDocumentAs:", [this](HXObject* sender) { saveDocumentAs(sender); });
    setActionHandler("saveDocumentTo:", [this](HXObject* sender) { saveDocumentTo(sender); });
    setActionHandler("revertDocumentToSaved:", [this](HXObject* sender) { revertDocumentToSaved(sender); });
}

// ---- Entries ----

bool MVPMovieDocument::saveDocument(HXObject*)
{
    // Done at once (in place, or written without a panel) answers true; a panel or a background job
    // answers later, to the handlers of saveDocumentWithDelegate.
    auto result = std::make_shared<std::optional<bool>>();
    performSaveOperation(HXSaveOperation, [result](MVPMovieDocument&, bool didSave) { *result = didSave; });
    return result->value_or(false);
}

void MVPMovieDocument::saveDocumentAs(HXObject*)
{
    performSaveOperation(HXSaveAsOperation, nullptr);
}

void MVPMovieDocument::saveDocumentTo(HXObject*)
{
    performSaveOperation(HXSaveToOperation, nullptr);
}

void MVPMovieDocument::saveDocumentWithDelegate(DidSaveHandler didSave)
{
    performSaveOperation(HXSaveOperation, std::move(didSave));
}

void MVPMovieDocument::performSaveOperation(HXSaveOperationType operation, DidSaveHandler didSave)
{
    auto finish = [this, &didSave](bool ok) {
        if (didSave)
            didSave(*this, ok);
    };
    // One save at a time: a panel or a background save already under way answers this one with NO.
    if (!_movie || (_savePanel && _savePanel->isRunning()) || !_flatteningFileName.empty()) {
        finish(false);
        return;
    }
    MVPPersistence::saveMetaDataItemsFromMovie(*this);
    _movie->setPreferredVolume(_movie->volume());
    _movie->setPreferredMuted(_movie->isMuted());

    if (operation == HXSaveOperation && _movie->canUpdateMovieFile()) {
        HXError error;
        bool ok = _movie->updateMovieFile(&error);
        if (ok) {
            updateChangeCount(HXChangeCleared);
        } else {
            if (HXApplication::hasSharedApplication())
                HXApplication::sharedApplication()->beep();
            presentSaveError(MVPMovieErrorWithCode(MVPMovieErrorCouldNotSaveMovie, _movie, error));
        }
        finish(ok);
        return;
    }

    if (!_savePanel)
        _savePanel = HXSavePanel::savePanel();
    auto panel = _savePanel;
    prepareSavePanel(panel);
    std::string proposed
        = fileName().empty() ? displayName() : std::filesystem::path(fileName()).stem().string();
    panel->setNameFieldStringValue(proposed);
    // The panel starts where the program's panels start: the front document's folder, else the last one.
    if (HXDocumentController::hasSharedDocumentController())
        panel->setDirectory(HXDocumentController::sharedDocumentController()->currentDirectory());
    else if (!fileName().empty())
        panel->setDirectory(std::filesystem::path(fileName()).parent_path().string());
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    auto answered = std::make_shared<bool>(false);
    panel->beginSheetModalForWindow(windowForSheet(), [weak, panel, operation, didSave, answered](long code) {
        *answered = true;
        if (auto document = weak.lock())
            document->savePanelDidEnd(*panel, code, operation, didSave);
    });
    // A window that already shows a sheet takes no panel: the save ends here, unsaved.
    if (!*answered && !panel->isRunning())
        savePanelDidEnd(*panel, HXModalResponseCancel, operation, std::move(didSave));
}

bool MVPMovieDocument::prepareSavePanel(const std::shared_ptr<HXSavePanel>& panel)
{
    _savePanel = panel;
    if (!_savePanelDelegate)
        _savePanelDelegate = std::make_shared<SavePanelDelegate>(
            std::static_pointer_cast<MVPMovieDocument>(shared_from_this()));
    panel->setPanelDelegate(_savePanelDelegate);
    // The player window's accessory: save as a reference movie (the header alone) or self-contained (the
    // header and the data). A movie without tracks has none.
    std::shared_ptr<HXView> accessory;
    auto controller = playerWindow();
    if (controller && _movie && !_movie->tracks().empty()) {
        auto headerLength = int64_t(_movie->movieFormatRepresentation().size());
        accessory = controller->saveAsAccessoryView(headerLength, _movie->dataSize() + headerLength);
    }
    panel->setAccessoryView(accessory);
    panel->setRequiredFileType("mov");
    return true;
}

void MVPMovieDocument::savePanelDidEnd(
    HXSavePanel& panel, long returnCode, HXSaveOperationType operation, DidSaveHandler didSave)
{
    panel.orderOut();
    // The panel is down before the writing starts: the document has no save panel up any more.
    if (&panel == _savePanel.get())
        _savePanel.reset();
    if (returnCode == HXModalResponseOK && !panel.filename().empty()) {
        saveToURL(HXURL::fileURLWithPath(panel.filename()), "mov", operation, std::move(didSave));
        return;
    }
    if (didSave)
        didSave(*this, false);
}

void MVPMovieDocument::saveToURL(
    const HXURL& url, const std::string&, HXSaveOperationType operation, DidSaveHandler didSave)
{
    // While the file is being written the program must not be ended without asking (a background save
    // holds its own for the job it runs).
    auto& process = HXProcessInfo::processInfo();
    process.disableSuddenTermination();
    writeToURL(url, operation, std::move(didSave));
    process.enableSuddenTermination();
}

// ---- Writing ----

bool MVPMovieDocument::shouldSaveInBackground(const SavePathChoice& c)
{
    // A movie whose header does not carry all of it (samples held in memory) can only be written here.
    if (!c.canSerialize)
        return false;
    if (c.onlyAsync)
        return true;
    bool forbidden = c.forceSynchronousSave || c.noAsync;
    return !forbidden && c.flatten && c.size > backgroundSaveThreshold;
}

MVPMovieDocument::SavePathChoice MVPMovieDocument::savePathChoice() const
{
    SavePathChoice c;
    if (_movie) {
        c.size = int64_t(_movie->movieFormatRepresentation().size()) + _movie->dataSize();
        c.canSerialize = _movie->canSerialize();
    }
    c.onlyAsync = mediaKeyEnabled("MVPlayerSaveAsOnlyAsync");
    c.noAsync = mediaKeyEnabled("MVPlayerSaveAsNoAsync");
    c.forceSynchronousSave = _forceSynchronousSave;
    c.flatten = _flatten;
    return c;
}

bool MVPMovieDocument::writeToURL(const HXURL& url, HXSaveOperationType operation, DidSaveHandler didSave)
{
    if (!_movie || !url.isFileURL()) {
        presentSaveError(MVPMovieErrorWithCode(MVPMovieErrorCouldNotSaveMovie, _movie,
            HXError::withDescription(HXOSStatusErrorDomain, -50, "Movies are saved to files only.")));
        if (didSave)
            didSave(*this, false);
        return false;
    }
    if (shouldSaveInBackground(savePathChoice()))
        return beginBackgroundSave(url, operation, std::move(didSave));
    return writeSynchronously(url, operation, didSave);
}

bool MVPMovieDocument::writeSynchronously(
    const HXURL& url, HXSaveOperationType operation, const DidSaveHandler& didSave)
{
    const std::string path = url.path();
    auto progress = movieProgressWindowController();
    progress->setMovie(_movie);
    progress->setMovieWindow(windowForSheet());
    _syncSaveUserCanceled = false;
    auto& center = HXNotificationCenter::defaultCenter();
    auto token = center.addObserver(this, MVPMovieProgressUserCanceledNotification, progress.get(),
        [this](const HXNotification&) { movieProgressUserCanceled(); });
    HXError error;
    // Keep the movie while it writes: nothing may swap it out from under the writer.
    auto movie = _movie;
    bool ok = movie->writeToDataReference(
        MVDataReference::dataReferenceWithReferenceToFile(path), { { MVMovieFlatten, _flatten } }, &error);
    center.removeObserver(token);

    if (!ok) {
        // The writer leaves the target as it was (a cancel included): nothing to clean up here, and the
        // document keeps its changes.
        presentSaveError(MVPMovieErrorWithCode(MVPMovieErrorCouldNotSaveMovie, movie, error));
    } else if (operation != HXSaveToOperation && !_syncSaveUserCanceled) {
        HXError openError;
        ok = installSavedFile(path, &openError);
        if (!ok)
            presentSaveError(openError);
    }
    if (didSave)
        didSave(*this, ok);
    return ok;
}

bool MVPMovieDocument::installSavedFile(const std::string& path, HXError* outError)
{
    // The document becomes the document of the written file, read back as any file is: a file that
    // cannot be read back leaves the document on its movie, still edited.
    if (!readFromFile(path, pathExtension(path), outError))
        return false;
    updateChangeCount(HXChangeCleared);
    if (auto controller = currentWindowController())
        controller->synchronizeWindowTitleWithDocumentName();
    return true;
}

HXPropertyList::Dictionary MVPMovieDocument::flattenJobParameters(const std::string& path) const
{
    HXPropertyList::Dictionary params;
    params["MVExpMovieIn"] = HXData(_movie ? _movie->movieFormatRepresentation() : MVBytes {});
    params["MVExpNameOut"] = path;
    params["description"] = HXLocalizedString("mvpFlatten", {}) + " " + lastPathComponent(path);
    params["MVExpType"] = "Flatten";
    return params;
}

bool MVPMovieDocument::beginBackgroundSave(
    const HXURL& url, HXSaveOperationType operation, DidSaveHandler didSave)
{
    _flatteningFileName = url.path();
    auto params = flattenJobParameters(_flatteningFileName);
    exitFullScreen();
    auto controller = JobProgressWindowController::jobProgressWindowControllerWithParams(params);
    _flattenJobController = controller;
    std::weak_ptr<MVPMovieDocument> weak = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    auto ended = std::make_shared<bool>(false);
    auto end = [weak, operation, didSave, ended](long code) {
        if (*ended)
            return;
        *ended = true;
        if (auto document = weak.lock())
            document->flattenSheetDidEnd(code, operation, didSave);
    };
    // The end comes from the job however it ends, whether or not its sheet could be shown.
    controller->onEnd = end;
    controller->start();
    // A job that could not even start has ended already: its sheet never shows.
    if (controller->returnCode())
        return true;
    auto current = currentWindowController();
    auto parent = current ? current->window() : windowForSheet();
    HXApplication::sharedApplication()->beginSheet(controller->window(), parent, nullptr);
    return true;
}

void MVPMovieDocument::flattenSheetDidEnd(
    long returnCode, HXSaveOperationType operation, const DidSaveHandler& didSave)
{
    auto controller = std::move(_flattenJobController);
    if (controller && controller->isWindowLoaded())
        controller->window()->orderOut();
    // The job manager is still telling the controller how its job ended: let it go once that is over.
    if (controller)
        HXRunLoop::main().performAfterDelay(controller.get(), 0, [controller] {});
    std::string path = std::exchange(_flatteningFileName, {});
    bool ok = false;
    if (returnCode == 0) {
        ok = true;
        // Save To wrote a copy: the document stays on its own file.
        if (operation != HXSaveToOperation) {
            HXError error;
            ok = installSavedFile(path, &error);
            if (!ok)
                presentSaveError(error);
        }
    } else if (returnCode != 1) {
        // A failed job leaves the document as it was (on its file, with its changes) and says why.
        HXError status = HXError::withDescription(HXOSStatusErrorDomain, returnCode,
            "The movie could not be written to \u201c" + lastPathComponent(path) + "\u201d.");
        presentSaveError(MVPMovieErrorWithCode(MVPMovieErrorCouldNotSaveMovie, _movie, status));
    }
    if (didSave)
        didSave(*this, ok);
}

void MVPMovieDocument::presentSaveError(const HXError& error)
{
    presentError(error, windowForSheet(), {});
}

// ---- Panel, progress, revert, closing ----

bool MVPMovieDocument::panelIsValidFilename(const std::string& path)
{
    if (lastPathComponent(path).find(':') == std::string::npos)
        return true;
    showAlert(
        HXLocalizedString("mvpSaveAsFailed", {}), HXLocalizedString("mvpSaveAsFailedError", {}), {}, {});
    return false;
}

std::shared_ptr<MVPMovieProgressWindowController> MVPMovieDocument::movieProgressWindowController()
{
    if (!_movieProgressWindowController)
        _movieProgressWindowController
            = MVPMovieProgressWindowController::movieProgressWindowControllerWithMovie(_movie, movieWindow());
    return _movieProgressWindowController;
}

void MVPMovieDocument::syncProgressSheetToMovie()
{
    // The sheet follows the installed movie: the old one keeps no procedure of it, nor is kept by it.
    if (_movieProgressWindowController) {
        _movieProgressWindowController->setMovie(_movie);
        _movieProgressWindowController->setMovieWindow(movieWindow());
    }
}

void MVPMovieDocument::setMovieProgressWindowController(
    std::shared_ptr<MVPMovieProgressWindowController> controller)
{
    if (controller == _movieProgressWindowController)
        return;
    auto old = std::exchange(_movieProgressWindowController, std::move(controller));
    // The sheet that goes takes its procedure off the movie; the one that stays puts its own back.
    if (old && old->movie()) {
        old->setMovie(nullptr);
        if (_movieProgressWindowController && _movieProgressWindowController->movie())
            _movieProgressWindowController->setMovie(_movieProgressWindowController->movie());
    }
}

void MVPMovieDocument::revertDocumentToSaved(HXObject*)
{
    if (fileName().empty())
        return;
    revertToSavedFromFile(fileName(), fileType());
}

bool MVPMovieDocument::revertToSavedFromFile(const std::string& path, const std::string& type)
{
    HXError error;
    // Reading installs the file's movie and syncs the windows to it; a file that cannot be read leaves
    // the document as it was.
    if (!readFromFile(path, type, &error)) {
        presentError(error, windowForSheet(), {});
        return false;
    }
    updateChangeCount(HXChangeCleared);
    return true;
}

void MVPMovieDocument::canCloseDocument(std::function<void(bool shouldClose)> completion)
{
    if (!isDocumentEdited()) {
        completion(true);
        return;
    }
    auto self = std::static_pointer_cast<MVPMovieDocument>(shared_from_this());
    auto alert = std::make_shared<HXAlert>();
    alert->setMessageText(
        "Do you want to save the changes you made in the document \u201c" + displayName() + "\u201d?");
    alert->setInformativeText("Your changes will be lost if you don't save them.");
    alert->addButtonWithTitle("Save");
    alert->addButtonWithTitle("Cancel");
    alert->addButtonWithTitle("Don't Save");
    alert->beginSheetModalForWindow(windowForSheet(), [self, completion](long code) {
        if (code == HXAlertSecondButtonReturn || code == HXModalResponseAbort) {
            completion(false);
        } else if (code == HXAlertThirdButtonReturn) {
            completion(true);
        } else {
            // Closing goes on when the save has ended, and only when it saved.
            self->saveDocumentWithDelegate(
                [completion](MVPMovieDocument&, bool didSave) { completion(didSave); });
        }
    });
}
