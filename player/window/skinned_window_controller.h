#pragma once
// MVPSkinWindowController: shows a movie that carries a skin in its shaped window (MVPSkinWindow). The
// skin's regions come from the movie's last skin track; the size commands keep the window's top edge and
// horizontal centre and keep it on its screen.
#include "player/window/window_controller.h"

class MVPSkinWindow;

class MVPSkinWindowController : public MVPWindowController {
public:
    MVPSkinWindowController();

    std::shared_ptr<MVPSkinWindow> skinWindow();

    MVPPlayerWindowKind playerWindowKind() const override { return MVPPlayerWindowKind::Skinned; }

    void setDocument(const std::shared_ptr<HXDocument>& document) override;
    void syncToNewMovie() override;
    void syncToChangeInMovieContent() override;
    void setScale(const HXSize& factors, bool animate) override;
    void showWindow(HXObject* sender = nullptr) override;

private:
    explicit MVPSkinWindowController(const std::shared_ptr<HXWindow>& window);
};
