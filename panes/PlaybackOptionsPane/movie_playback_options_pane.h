#pragma once
// The playback options panes: "Movie Settings" (controller type, aperture mode and conform switch, play
// when opened, close and quit when done, present full screen when opened) and "Track Settings" (chapter
// track, alternate track, language, cache hint and preload; track_playback_options_pane.h). Every change
// is undoable on the movie's undo manager.
#include "inspectors/pane_interface.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/button.h"
#include "platform/winkit/pop_up_button.h"

class MVPPlaybackOptionsPaneFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPPlaybackOptionsPaneFactory"; }
    bool canInspectObject(const MVPInspectedObject& object) override { return bool(object); }
    std::string propertyInspectorNameForObject(const MVPInspectedObject& object) override;
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};

// The controller types offered (the standard controller and none), as four-char codes with their titles.
struct MVPControllerKind {
    uint32_t type;
    const char* title;
};
const std::vector<MVPControllerKind>& MVPControllerKinds();

class MVPMoviePlaybackOptionsPane : public HXObject, public MVPPropertyInspector {
public:
    MVPMoviePlaybackOptionsPane(std::shared_ptr<MVMovie> movie, std::shared_ptr<HXBundle> bundle, MVPPaneHost* host);
    ~MVPMoviePlaybackOptionsPane() override;

    std::shared_ptr<HXView> view() override;
    void startInspection() override;
    void stopInspection() override;
    void refreshControls();

    // Values and undoable setters.
    uint32_t mcType() const;
    void setMCType(uint32_t type);
    void setPlayerApertureMode(uint32_t mode);
    void setConformed(bool flag);
    bool autoPlays() const;
    void setAutoPlays(bool flag);
    void setAutoCloses(bool flag);
    void setAutoQuits(bool flag);
    bool autoCaptures() const;
    void setAutoCaptures(bool flag);

    // The controls' actions (the sender's tag, represented object or state).
    void selectApertureMode(HXObject* sender);
    void selectMCType(HXObject* sender);
    void takeConformStateFrom(HXObject* sender);
    void takeAutoPlayStateFrom(HXObject* sender);
    void takeAutoCloseStateFrom(HXObject* sender);
    void takeAutoQuitStateFrom(HXObject* sender);
    void takeAutoCaptureStateFrom(HXObject* sender);

    std::shared_ptr<HXPopUpButton> controllerPopup, aperturePopup;
    std::shared_ptr<HXButton> autoPlayButton, autoCloseButton, autoQuitButton, autoCaptureButton, conformButton;

private:
    HXUndoManager* undoManager() const;
    void registerUndo(std::function<void()> action);

    std::shared_ptr<MVMovie> _movie;
    std::shared_ptr<HXBundle> _bundle;
    MVPPaneHost* _host = nullptr;
    std::shared_ptr<HXView> _view;
    HXObserverToken _editedObserver {};
    bool _observing = false;
};
