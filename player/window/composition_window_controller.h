#pragma once
// MVPVitrelCompController: the composition document's window — the composition view in a bevel, five
// transport buttons, a resize indicator, and the save panel's accessory that asks for the length to
// render. The document makes it through the maker the player installs (installDocumentWindowMaker) and
// speaks to it as MVPVitrelCompWindow (document/composition_document.h).
#include "document/composition_document.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/window_controller.h"

#include <memory>
#include <vector>

class HXImageView;
class HXTextField;
class ImageButton;
class MVPMovieWindowBevelView;

class MVPVitrelCompController : public HXWindowController, public MVPVitrelCompWindow {
public:
    static constexpr const char* interfaceName = "VitrelCompWindow";

    // Makes the composition document's windows from now on.
    static void installDocumentWindowMaker();

    MVPVitrelCompController();
    ~MVPVitrelCompController() override;

    void windowDidLoad() override;
    std::shared_ptr<MVPVitrelCompDocument> compositionDocument() const;
    const std::shared_ptr<MVPVCView>& vcView() const { return _vcView; }

    // Transport.
    void play() override;
    void pause() override;
    void rewind() override;
    void playButtonPushed(HXObject* sender = nullptr);
    void rewindButtonPushed(HXObject* sender = nullptr);
    bool shouldPlay() const { return _shouldPlay; }
    void renderingStarted();
    void updateButtons();
    const std::shared_ptr<ImageButton>& playPauseButton() const { return _playPauseButton; }

    // The render time survives hiding, miniaturizing and full screen.
    void rememberPlayState();
    void restorePlayState();
    void viewWillEnterFullScreen() override { rememberPlayState(); }
    void viewDidEnterFullScreen() override { restorePlayState(); }
    void viewWillExitFullScreen() override { rememberPlayState(); }
    void viewDidExitFullScreen() override { restorePlayState(); }

    // Space clicks the play/pause button.
    void keyDown(const HXEvent& event) override;

    // Seconds of movie a save renders (15 at start), and the save panel's accessory that edits it.
    double saveDuration() const override { return _saveDuration; }
    void setSaveDuration(double seconds);
    std::shared_ptr<HXView> saveAccessoryView() override;

    // The options the composition is loaded with: safe mode for one that came from the network.
    static HXPropertyList::Dictionary compositionLoadOptions(const HXURL& documentURL);

private:
    friend struct MVPVitrelCompWindowInterface;

    std::shared_ptr<MVPVCView> _vcView;
    std::shared_ptr<MVPMovieWindowBevelView> _bevelView;
    std::shared_ptr<HXImageView> _resizeIndicator;
    std::shared_ptr<ImageButton> _beginningButton;
    std::shared_ptr<ImageButton> _rewindButton;
    std::shared_ptr<ImageButton> _playPauseButton;
    std::shared_ptr<ImageButton> _forwardButton;
    std::shared_ptr<ImageButton> _endButton;
    std::shared_ptr<HXView> _saveAccessoryView;
    std::shared_ptr<HXTextField> _saveDurationField;
    double _saveDuration = defaultSaveDuration;
    bool _shouldPlay = false;
    double _renderTime = 0;
    std::vector<HXObserverToken> _observers;
};
