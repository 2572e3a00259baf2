#pragma once
// MVPCaptureDocument: the document behind one recording window (an audio or a movie recording). It
// announces itself when it is made and when it closes, so that the application knows whether a
// recording is open.
#include "platform/winkit/document.h"

#include <cstdint>
#include <memory>

inline constexpr const char* MVPCaptureDocumentWillOpenNotification
    = "MVPCaptureDocumentWillOpenNotification";
inline constexpr const char* MVPCaptureDocumentWillCloseNotification
    = "MVPCaptureDocumentWillCloseNotification";

class MVPCaptureDocument : public HXDocument {
public:
    // A recording document of the template (0 audio recording, 1 movie recording); posts the will-open
    // notification with the document as object. The caller adds it to the document controller and shows it.
    static std::shared_ptr<MVPCaptureDocument> initWithTemplateType(int32_t templateType);

    struct Token {
        explicit Token() = default;
    };
    MVPCaptureDocument(Token, int32_t templateType);

    int32_t templateType() const { return _templateType; }
    // Posts the will-close notification, then closes as any document.
    void close() override;

private:
    int32_t _templateType = 0;
    bool _announcedClose = false;
};
