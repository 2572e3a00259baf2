#include "fullscreen/presentation_settings_window_controller.h"

#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_screen_view.h"
#include "platform/basekit/bundle.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/box.h"
#include "platform/winkit/button.h"
#include "platform/winkit/button_cell.h"
#include "platform/winkit/color_well.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/text_field.h"

#include <algorithm>

namespace {

constexpr double kWidth = 420;
constexpr double kButtonsHeight = 50;
constexpr double kSizeColourHeight = 70;
constexpr double kModeHeight = 60;

std::string localized(const std::string& key, const std::string& fallback)
{
    auto bundle = HXBundle::mainBundle();
    std::string text = bundle ? bundle->localizedStringForKey(key, fallback) : fallback;
    return text.empty() ? fallback : text;
}

} // namespace

std::shared_ptr<FSPresentationSettingsWindowController>
FSPresentationSettingsWindowController::fsPresentationSettingsWindowController()
{
    return std::make_shared<FSPresentationSettingsWindowController>();
}

FSPresentationSettingsWindowController::FSPresentationSettingsWindowController()
{
    setShouldCascadeWindows(false);
    setActionHandler(HXSelector("savePanelSettings:"), [this](HXObject* sender) { savePanelSettings(sender); });
    setActionHandler(HXSelector("presentationMonitorDoubleClicked:"),
        [this](HXObject* sender) { presentationMonitorDoubleClicked(sender); });
}

int64_t FSPresentationSettingsWindowController::normalizedSize(int64_t size)
{
    uint16_t mode = uint16_t(uint64_t(size) & 0xFFFF);
    if (mode >= FSPresentationModeLetterbox && mode <= FSPresentationModePanoramic)
        return FSPresentationModeDefault;
    return mode;
}

void FSPresentationSettingsWindowController::setPresentationSettings(const FSPresentationSettings& settings)
{
    _settings = settings;
    if (_settings.size)
        _settings.size = normalizedSize(*_settings.size);
}

void FSPresentationSettingsWindowController::setPresentationSetting(
    const HXPropertyList& value, const std::string& key)
{
    if (key == FullscreenPreferenceSize && value.isNumber()) {
        _settings.setValueForKey(HXPropertyList(normalizedSize(value.integerValue())), key);
        return;
    }
    _settings.setValueForKey(value, key);
}

void FSPresentationSettingsWindowController::loadWindow()
{
    const double height = kButtonsHeight + kSizeColourHeight + kModeHeight + kDisplaySectionHeight;
    auto window = std::make_shared<HXPanel>(HXRect { { 0, 0 }, { kWidth, height } }, HXTitledWindowMask);
    setWindow(window);
    auto content = window->contentView();
    auto self = shared_from_this();

    _sizeColourView = std::make_shared<HXBox>(HXRect { { 10, height - kSizeColourHeight }, { kWidth - 20, kSizeColourHeight - 5 } });
    _sizeColourView->setAutoresizingMask(0);
    content->addSubview(_sizeColourView);
    _movieSizePopUpButton = std::make_shared<HXPopUpButton>(HXRect { { 10, 30 }, { 200, 22 } });
    const std::pair<const char*, int64_t> sizes[] = { { "Actual Size", FSPresentationModeActualSize },
        { "Double Size", FSPresentationModeDoubleSize }, { "Half Size", FSPresentationModeHalfSize },
        { "Full Screen", FSPresentationModeDefault }, { "Current Size", FSPresentationModeCurrentSize } };
    for (auto [title, tag] : sizes) {
        _movieSizePopUpButton->addItemWithTitle(localized(title, title));
        _movieSizePopUpButton->lastItem()->setTag(tag);
    }
    _sizeColourView->addSubview(_movieSizePopUpButton);
    _backgroundColorWell = std::make_shared<HXColorWell>(HXRect { { 230, 30 }, { 44, 22 } });
    _sizeColourView->addSubview(_backgroundColorWell);

    _modeView = std::make_shared<HXBox>(HXRect { { 10, height - kSizeColourHeight - kModeHeight }, { kWidth - 20, kModeHeight - 5 } });
    content->addSubview(_modeView);
    _modeMatrix = std::make_shared<HXMatrix>(HXRect { { 10, 5 }, { 200, 44 } }, HXRadioModeMatrix, HXCellFactory {}, 2, 1);
    // Each choice as wide as the box leaves room: "Slide Show Mode" is more than a default cell holds.
    _modeMatrix->setCellSize({ 200, 22 });
    const std::pair<const char*, long> modes[] = { { "Normal Mode", 0 }, { "Slide Show Mode", 1 } };
    for (long row = 0; row < 2; ++row) {
        if (auto cell = _modeMatrix->cellAtRowColumn(row, 0)) {
            cell->setTag(modes[row].second);
            cell->setTitle(localized(modes[row].first, modes[row].first));
        }
    }
    _modeView->addSubview(_modeMatrix);

    _captureAllDisplaysCheckBox = std::make_shared<HXButton>(
        HXRect { { 20, kButtonsHeight + 70 }, { 200, 20 } }, localized("Blank other displays", "Blank other displays"));
    _captureAllDisplaysCheckBox->setButtonType(HXSwitchButton);
    content->addSubview(_captureAllDisplaysCheckBox);
    _fsScreenView = std::make_shared<FSPresentationScreenView>(HXRect { { 240, kButtonsHeight + 5 }, { 160, 90 } });
    content->addSubview(_fsScreenView);

    _cancelButton = std::make_shared<HXButton>(HXRect { { kWidth - 200, 12 }, { 90, 26 } }, localized("Cancel", "Cancel"));
    _cancelButton->setTag(kCancelTag);
    _playButton = std::make_shared<HXButton>(HXRect { { kWidth - 100, 12 }, { 90, 26 } }, localized("Play", "Play"));
    _playButton->setTag(kPlayTag);
    for (const auto& button : { _cancelButton, _playButton }) {
        button->setTarget(self);
        button->setAction(HXSelector("savePanelSettings:"));
        content->addSubview(button);
    }
}

bool FSPresentationSettingsWindowController::movieIsInteractive(const MVMovie* movie)
{
    bool streaming = movie && movie->URL() && !movie->URL()->isFileURL();
    return movie && (movie->attributeForKey(MVMovieIsInteractiveAttribute).boolValue() || streaming);
}

void FSPresentationSettingsWindowController::beginSettingsSheetWithMovie(
    const std::shared_ptr<MVMovie>& movie, const std::shared_ptr<HXWindow>& parent, DidEnd didEnd)
{
    beginSettingsSheet(movieIsInteractive(movie.get()), parent, std::move(didEnd));
}

void FSPresentationSettingsWindowController::beginSettingsSheet(
    bool interactive, const std::shared_ptr<HXWindow>& parent, DidEnd didEnd)
{
    if (!isWindowLoaded())
        loadWindow();
    auto sheet = window();
    _didEnd = std::move(didEnd);

    _movieSizePopUpButton->selectItemWithTag(long(_settings.size.value_or(FSPresentationModeActualSize)));
    _backgroundColorWell->setColor(_settings.color.value_or(HXColor::blackColor()));

    HXRect frame = sheet->frame();
    auto available = FSPresentationManager::fsPresentationManager().availableScreens();
    bool showDisplays = available.size() > 1;
    if (_fsScreenView->isHidden() == showDisplays) {
        _fsScreenView->setHidden(!showDisplays);
        _captureAllDisplaysCheckBox->setHidden(!showDisplays);
        double change = showDisplays ? kDisplaySectionHeight : -kDisplaySectionHeight;
        frame.size.height += change;
        frame.origin.y -= change;
    }
    if (showDisplays) {
        _captureAllDisplaysCheckBox->setState(_settings.captureAllDisplays.value_or(false) ? HXOnState : HXOffState);
        _fsScreenView->setSelectedScreen(_settings.screen);
        _fsScreenView->updateScreens();
    }
    bool showMode = !interactive;
    if (_modeView->isHidden() == showMode) {
        double change = showMode ? _modeView->frame().size.height : -_modeView->frame().size.height;
        _sizeColourView->setAutoresizingMask(showMode ? 0u : unsigned(HXViewMinYMargin));
        _modeView->setHidden(!showMode);
        frame.size.height += change;
        frame.origin.y -= change;
    }
    if (showMode)
        _modeMatrix->selectCellWithTag(_settings.slideShowMode.value_or(false) ? 1 : 0);
    sheet->setFrame(frame, false);
    // Place the sections from the bottom up after the changes of height.
    double y = kButtonsHeight;
    if (showDisplays)
        y += kDisplaySectionHeight;
    if (showMode) {
        _modeView->setFrameOrigin({ 10, y });
        y += kModeHeight;
    }
    _sizeColourView->setFrameOrigin({ 10, y });

    _fsScreenView->setTarget(shared_from_this());
    _fsScreenView->setDoubleAction(HXSelector("presentationMonitorDoubleClicked:"));
    _running = true;
    if (parent)
        parent->beginSheet(sheet, [](long) { });
    else
        sheet->makeKeyAndOrderFront();
}

void FSPresentationSettingsWindowController::savePanelSettings(HXObject* sender)
{
    auto* item = dynamic_cast<HXValidatedUserInterfaceItem*>(sender);
    long tag = item ? item->tag() : kCancelTag;
    if (tag == kPlayTag) {
        std::optional<HXScreen> screen;
        if (!_fsScreenView->isHidden()) {
            screen = _fsScreenView->selectedScreen();
        } else {
            auto available = FSPresentationManager::fsPresentationManager().availableScreens();
            if (!available.empty())
                screen = available.front();
        }
        _settings.screen = screen;
        if (auto selected = _movieSizePopUpButton->selectedItem())
            _settings.size = int64_t(selected->tag());
        _settings.slideShowMode = !_modeView->isHidden() && _modeMatrix->selectedTag() == 1;
        _settings.color = _backgroundColorWell->color();
        _settings.captureAllDisplays = _captureAllDisplaysCheckBox->state() == HXOnState;
    }
    auto sheet = window();
    if (auto parent = sheet->sheetParent())
        parent->endSheet(sheet, tag);
    sheet->orderOut();
    _running = false;
    // The completion may let go of this controller.
    auto keep = shared_from_this();
    if (auto didEnd = std::move(_didEnd)) {
        _didEnd = nullptr;
        didEnd(*this, tag);
    }
}

void FSPresentationSettingsWindowController::presentationMonitorDoubleClicked(HXObject*)
{
    savePanelSettings(_playButton.get());
}
