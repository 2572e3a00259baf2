#pragma once
// MVPCaptureDocument: the document behind one recording window (an audio or a movie recording). It has no
// file while it lives; its window controller records, and the movie document of the finished file takes
// over its unique identifier, so a script that named the recording names the result. It announces itself
// when it is made and when it closes, so that the application knows whether a recording is open.
#include "document/document_info_panel.h"
#include "document/media_attributes.h"
#include "platform/winkit/document.h"

#include <cstdint>
#include <functional>
#include <memory>

class MVPCaptureWindowController;
class MVPMovieDocument;

inline constexpr const char* MVPCaptureDocumentWillOpenNotification
    = "MVPCaptureDocumentWillOpenNotification";
inline constexpr const char* MVPCaptureDocumentWillCloseNotification
    = "MVPCaptureDocumentWillCloseNotification";

class MVPCaptureDocument : public HXDocument, public MVPInfoPanelDocument {
public:
    // A recording document of the template (0 audio recording, 1 movie recording) with the next document
    // unique identifier; posts the will-open notification with the document as object. The caller adds it
    // to the document controller, makes its window controllers and shows it.
    static std::shared_ptr<MVPCaptureDocument> initWithTemplateType(int32_t templateType);

    struct Token {
        explicit Token() = default;
    };
    MVPCaptureDocument(Token, int32_t templateType);
    ~MVPCaptureDocument() override;

    int32_t templateType() const { return _templateType; }
    uint64_t uniqueID() const { return _uniqueID; }
    // While a script command runs: "Audio Recording" / "Movie Recording"; otherwise the document's own name.
    std::string displayName() const override;
    // Tells whether a script command is being executed now (the scripting runtime installs it).
    static void setScriptCommandProbe(std::function<bool()> probe);

    void makeWindowControllers() override;
    std::shared_ptr<MVPCaptureWindowController> captureWindowController() const { return _captureWindowController.lock(); }
    std::shared_ptr<HXWindow> captureWindow() const;

    // The info panel's rows come from the window controller.
    std::vector<MVPAttributePair> attributes() const;
    std::vector<MVPAttributePair> information() const;
    std::shared_ptr<MVPDocumentInfoPanel> movieInfo() override;
    void showMovieInfo(HXObject* sender);

    // Save, save as, revert, print and page setup have nothing to act on.
    bool validateMenuItem(HXMenuItem& item) override;

    // Scripting commands; each answers this document. A stop given with `resume` while recording or paused
    // is suspended: `resume` is called with the finished movie's document (null when there is none).
    std::shared_ptr<MVPCaptureDocument> handleStartCommand();
    std::shared_ptr<MVPCaptureDocument> handlePauseCommand();
    std::shared_ptr<MVPCaptureDocument> handleStopCommand(std::function<void(std::shared_ptr<MVPMovieDocument>)> resume = {});

    // The close guard: refused (with a beep) while the file is being finished; asked with a keep / don't
    // keep / cancel sheet while recording or paused; at once otherwise.
    void canCloseDocument(std::function<void(bool shouldClose)> completion) override;
    // Posts the will-close notification, then closes as any document.
    void close() override;

private:
    void canCloseDocumentAlertDidEnd(long returnCode, std::function<void(bool)> invocation);

    int32_t _templateType = 0;
    uint64_t _uniqueID = 0;
    std::weak_ptr<MVPCaptureWindowController> _captureWindowController;
    std::shared_ptr<MVPDocumentInfoPanel> _movieInfo;
    bool _announcedClose = false;
};
