#include "recording/capture_document.h"

#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/event.h"
#include "platform/winkit/menu.h"
#include "recording/capture_window_controller.h"

namespace {

std::function<bool()>& scriptCommandProbe()
{
    static auto* probe = new std::function<bool()>();
    return *probe;
}

} // namespace

std::shared_ptr<MVPCaptureDocument> MVPCaptureDocument::initWithTemplateType(int32_t templateType)
{
    auto doc = std::make_shared<MVPCaptureDocument>(Token(), templateType);
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPCaptureDocumentWillOpenNotification, doc));
    return doc;
}

MVPCaptureDocument::MVPCaptureDocument(Token, int32_t templateType)
    : _templateType(templateType)
    , _uniqueID(MVPMovieDocument::newDocumentUniqueID())
{
}

MVPCaptureDocument::~MVPCaptureDocument() = default;

void MVPCaptureDocument::setScriptCommandProbe(std::function<bool()> probe)
{
    scriptCommandProbe() = std::move(probe);
}

std::string MVPCaptureDocument::displayName() const
{
    auto& probe = scriptCommandProbe();
    if (probe && probe())
        return _templateType == 0 ? "Audio Recording" : "Movie Recording";
    return HXDocument::displayName();
}

void MVPCaptureDocument::makeWindowControllers()
{
    auto controller = MVPCaptureWindowController::init();
    _captureWindowController = controller;
    addWindowController(controller);
}

std::shared_ptr<HXWindow> MVPCaptureDocument::captureWindow() const
{
    auto controller = captureWindowController();
    return controller ? controller->window() : nullptr;
}

std::vector<MVPAttributePair> MVPCaptureDocument::attributes() const
{
    auto controller = captureWindowController();
    return controller ? controller->attributes() : std::vector<MVPAttributePair> {};
}

std::vector<MVPAttributePair> MVPCaptureDocument::information() const
{
    auto controller = captureWindowController();
    return controller ? controller->information() : std::vector<MVPAttributePair> {};
}

std::shared_ptr<MVPDocumentInfoPanel> MVPCaptureDocument::movieInfo()
{
    if (!_movieInfo)
        _movieInfo = MVPDocumentInfoPanel::panelForDocument(std::static_pointer_cast<HXDocument>(shared_from_this()));
    return _movieInfo;
}

void MVPCaptureDocument::showMovieInfo(HXObject*)
{
    if (auto info = movieInfo())
        info->showHidePanel();
}

bool MVPCaptureDocument::validateMenuItem(HXMenuItem& item)
{
    const std::string& action = item.action().name();
    return !(action == "saveDocument:" || action == "saveDocumentAs:" || action == "revertDocumentToSaved:"
        || action == "printDocument:" || action == "runPageLayout:");
}

// ---- Scripting -------------------------------------------------------------------------------------------

std::shared_ptr<MVPCaptureDocument> MVPCaptureDocument::handleStartCommand()
{
    auto self = std::static_pointer_cast<MVPCaptureDocument>(shared_from_this());
    if (auto controller = captureWindowController()) {
        if (controller->state() == MVPCaptureStatePaused)
            controller->resumeRecording();
        else if (controller->state() == MVPCaptureStatePreviewing)
            controller->startRecording();
    }
    return self;
}

std::shared_ptr<MVPCaptureDocument> MVPCaptureDocument::handlePauseCommand()
{
    auto self = std::static_pointer_cast<MVPCaptureDocument>(shared_from_this());
    if (auto controller = captureWindowController())
        if (controller->state() == MVPCaptureStateRecording)
            controller->pauseRecording();
    return self;
}

std::shared_ptr<MVPCaptureDocument> MVPCaptureDocument::handleStopCommand(
    std::function<void(std::shared_ptr<MVPMovieDocument>)> resume)
{
    auto self = std::static_pointer_cast<MVPCaptureDocument>(shared_from_this());
    auto controller = captureWindowController();
    if (!controller)
        return self;
    auto state = controller->state();
    if (state != MVPCaptureStateRecording && state != MVPCaptureStatePaused)
        return self;
    // Handed over before the stop: a file that finishes at once still answers the command.
    if (resume)
        controller->setSuspendedStopCommand(std::move(resume));
    controller->stopRecording();
    return self;
}

// ---- Closing ---------------------------------------------------------------------------------------------

void MVPCaptureDocument::canCloseDocument(std::function<void(bool shouldClose)> completion)
{
    auto controller = captureWindowController();
    bool canClose = !controller || controller->canCloseDocument();
    if (!canClose) {
        HXBeep();
        completion(false);
        return;
    }
    if (!isDocumentEdited() || !controller
        || (controller->state() != MVPCaptureStateRecording && controller->state() != MVPCaptureStatePaused)) {
        completion(true);
        return;
    }
    auto alert = HXAlert::alertWithMessageText(HXLocalizedString("mvpCaptureClose"), HXLocalizedString("mvpKeep"),
        HXLocalizedString("mvpDontKeep"), HXLocalizedString("mvpCancel"), HXLocalizedString("mvpCaptureCloseExplanation"));
    // Command-D answers "Don't Keep".
    for (auto& button : alert->buttons()) {
        if (button->title() == HXLocalizedString("mvpDontKeep")) {
            button->setKeyEquivalent("d");
            button->setKeyEquivalentModifierMask(HXCommandKeyMask);
        }
    }
    std::weak_ptr<MVPCaptureDocument> weak = std::static_pointer_cast<MVPCaptureDocument>(shared_from_this());
    alert->beginSheetModalForWindow(captureWindow(), [weak, completion](long returnCode) {
        if (auto self = weak.lock())
            self->canCloseDocumentAlertDidEnd(returnCode, completion);
        else
            completion(false);
    });
}

void MVPCaptureDocument::canCloseDocumentAlertDidEnd(long returnCode, std::function<void(bool)> invocation)
{
    if (returnCode == HXAlertOtherReturn) {
        invocation(false); // Cancel: the recording goes on
        return;
    }
    if (auto alert = HXAlert::currentAlert())
        if (alert->window())
            alert->window()->orderOut(nullptr);
    auto controller = captureWindowController();
    if (!controller) {
        invocation(true);
        return;
    }
    controller->stopRecordingAndCloseWithInvocation(invocation, returnCode != HXAlertAlternateReturn);
}

void MVPCaptureDocument::close()
{
    // A document closes once; its will-close is announced once, matching its will-open.
    if (!_announcedClose) {
        _announcedClose = true;
        auto self = std::static_pointer_cast<MVPCaptureDocument>(shared_from_this());
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVPCaptureDocumentWillCloseNotification, self));
    }
    HXDocument::close();
}
