#include "recording/capture_document.h"

#include "platform/basekit/notification_center.h"

std::shared_ptr<MVPCaptureDocument> MVPCaptureDocument::initWithTemplateType(int32_t templateType)
{
    auto doc = std::make_shared<MVPCaptureDocument>(Token(), templateType);
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPCaptureDocumentWillOpenNotification, doc));
    return doc;
}

MVPCaptureDocument::MVPCaptureDocument(Token, int32_t templateType)
    : _templateType(templateType)
{
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
