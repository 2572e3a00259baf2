#pragma once
// FSPresentationSettingsWindowController: the sheet on the player window where the user chooses how a
// movie is presented full screen — its size, normal or slide-show mode, the background colour, the
// display and whether the other displays are blacked out — before presenting it. The movie document makes
// it through the maker FSPresentationWindowController::installDocumentPresentationMakers() installs.
#include "document/document_windows.h"
#include "document/presentation_settings.h"
#include "platform/winkit/window_controller.h"

#include <functional>
#include <memory>

class HXButton;
class HXColorWell;
class HXMatrix;
class HXPopUpButton;
class MVMovie;
class FSPresentationScreenView;

class FSPresentationSettingsWindowController : public HXWindowController,
                                               public MVPDocumentPresentationSettingsSheet {
public:
    // The tags of the sheet's buttons (kPlayTag, kCancelTag) are MVPDocumentPresentationSettingsSheet's.
    // How much the sheet grows when it shows the display section.
    static constexpr double kDisplaySectionHeight = 100;

    using DidEnd = MVPDocumentPresentationSettingsSheet::DidEnd;

    static std::shared_ptr<FSPresentationSettingsWindowController> fsPresentationSettingsWindowController();
    FSPresentationSettingsWindowController();

    // Replaces the settings, every entry going through setPresentationSetting.
    void setPresentationSettings(const FSPresentationSettings& settings) override;
    const FSPresentationSettings& presentationSettings() const override { return _settings; }
    // Stores a setting by key; a size is normalised first: the screen-filling modes (16 to 19) become 3,
    // any other keeps its low 16 bits (the sheet offers only the sizes).
    void setPresentationSetting(const HXPropertyList& value, const std::string& key);
    HXPropertyList presentationSettingForKey(const std::string& key) const { return _settings.valueForKey(key); }
    static int64_t normalizedSize(int64_t size);

    // Fills the controls from the settings and runs the sheet on `window`; `didEnd` is told how it ended.
    void beginSettingsSheetWithMovie(const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<HXWindow>& window,
        DidEnd didEnd) override;
    // The same for a movie known to be interactive or not: an interactive or streaming movie gets no
    // choice of slide-show mode.
    void beginSettingsSheet(bool interactive, const std::shared_ptr<HXWindow>& window, DidEnd didEnd);
    static bool movieIsInteractive(const MVMovie* movie);
    // Both buttons' action: the play button (tag 1) reads the controls into the settings; either ends the
    // sheet and calls the completion with the button's tag.
    void savePanelSettings(HXObject* sender);
    // The display picker's double click: as the play button.
    void presentationMonitorDoubleClicked(HXObject* sender = nullptr);

    void loadWindow() override;

    // The controls (for the program's own tests and the preferences' look).
    const std::shared_ptr<HXPopUpButton>& movieSizePopUpButton() const { return _movieSizePopUpButton; }
    const std::shared_ptr<HXMatrix>& modeMatrix() const { return _modeMatrix; }
    const std::shared_ptr<HXView>& modeView() const { return _modeView; }
    const std::shared_ptr<HXView>& sizeColourView() const { return _sizeColourView; }
    const std::shared_ptr<HXButton>& captureAllDisplaysCheckBox() const { return _captureAllDisplaysCheckBox; }
    const std::shared_ptr<FSPresentationScreenView>& fsScreenView() const { return _fsScreenView; }
    const std::shared_ptr<HXButton>& playButton() const { return _playButton; }
    const std::shared_ptr<HXButton>& cancelButton() const { return _cancelButton; }
    const std::shared_ptr<HXColorWell>& backgroundColorWell() const { return _backgroundColorWell; }

private:
    std::shared_ptr<HXPopUpButton> _movieSizePopUpButton;
    std::shared_ptr<HXMatrix> _modeMatrix;
    std::shared_ptr<HXView> _modeView;
    std::shared_ptr<HXColorWell> _backgroundColorWell;
    std::shared_ptr<HXView> _sizeColourView;
    std::shared_ptr<HXButton> _captureAllDisplaysCheckBox;
    std::shared_ptr<FSPresentationScreenView> _fsScreenView;
    std::shared_ptr<HXButton> _playButton;
    std::shared_ptr<HXButton> _cancelButton;
    DidEnd _didEnd;
    FSPresentationSettings _settings;
    bool _running = false;
};
