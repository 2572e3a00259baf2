#pragma once
// MVCaptureView: the live picture of a capture session, scaled into the view. Its delegate may replace the
// picture about to be shown (the recording window freezes it on the last frame while the file is finished).
#include "platform/winkit/view.h"

#include <functional>
#include <memory>

class HXImage;
class MVCaptureSession;

class MVPCaptureView : public HXView {
public:
    using HXView::HXView;

    void setCaptureSession(std::shared_ptr<MVCaptureSession> session) { _session = std::move(session); }
    const std::shared_ptr<MVCaptureSession>& captureSession() const { return _session; }
    // view:willDisplayImage: of the delegate.
    void setWillDisplayImage(std::function<std::shared_ptr<HXImage>(std::shared_ptr<HXImage>)> hook)
    {
        _willDisplayImage = std::move(hook);
    }
    bool isOpaque() const override { return true; }
    void drawRect(HXRect dirtyRect) override;

private:
    std::shared_ptr<MVCaptureSession> _session;
    std::function<std::shared_ptr<HXImage>(std::shared_ptr<HXImage>)> _willDisplayImage;
};
