#include "app/preferences_window.h"

#include "app/application_delegate.h"
#include "fullscreen/presentation_manager.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"
#include "platform/winkit/file_icon.h"
#include "platform/winkit/button.h"
#include "platform/winkit/color_well.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/open_panel.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

#include <algorithm>

namespace {

const HXSelector kDoPreference("doPreference:");
const HXSelector kDoPreferenceToolbarItem("doPreferenceToolbarItem:");
const HXSelector kMakeLauncherDefaultOpener("makeLauncherDefaultOpener:");

constexpr double kPaneWidth = 500;
constexpr double kRowHeight = 22;
constexpr double kTopMargin = 16;
constexpr double kProAppsGroupHeight = 30;
// The Full Screen pane: the fixed rows at the bottom, the size, colour and mode group above them.
constexpr double kFullscreenBottomHeight = 104;
constexpr double kSizeColourModeHeight = 166;

// A pane whose rows are laid out from the top.
class MVPPreferencePaneView : public HXView {
public:
    using HXView::HXView;
    bool isFlipped() const override { return true; }
};

std::string localized(const std::string& key)
{
    return HXLocalizedString(key);
}

std::shared_ptr<HXTextField> label(const std::shared_ptr<HXView>& pane, const std::string& key, HXRect frame)
{
    auto field = HXTextField::labelWithString(localized(key), frame);
    field->setAlignment(HXRightTextAlignment);
    pane->addSubview(field);
    return field;
}

// Formats a format description with the width and then the height. Only "%u", "%d", "%lu", "%ld" and
// "%%" are understood; anything else is shown as it stands, so a resource text cannot read past the two
// numbers it is given.
std::string formatSize(const std::string& format, uint64_t width, uint64_t height)
{
    std::string out;
    uint64_t values[] = { width, height };
    size_t used = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (format.compare(i, 2, "%%") == 0) {
            out += '%';
            ++i;
            continue;
        }
        size_t length = 0;
        for (const char* directive : { "%lu", "%ld", "%u", "%d" }) {
            if (format.compare(i, std::char_traits<char>::length(directive), directive) == 0) {
                length = std::char_traits<char>::length(directive);
                break;
            }
        }
        if (length == 0 || used == 2) {
            out += '%';
            continue;
        }
        out += std::to_string(values[used++]);
        i += length - 1;
    }
    return out;
}

// Selects the item tagged `tag`, or the first item when none is.
void selectTagOrFirst(HXPopUpButton& popUp, long tag)
{
    if (!popUp.selectItemWithTag(tag) && popUp.numberOfItems() > 0)
        popUp.selectItemAtIndex(0);
}

const HXPropertyList* descriptionOf(const HXMenuItem& item)
{
    return std::any_cast<HXPropertyList>(&item.representedObject());
}

} // namespace

// ---- Making ------------------------------------------------------------------------------------------

MVPPreferencesWindow::Environment MVPPreferencesWindow::standardEnvironment()
{
    Environment environment;
    environment.preferences = &MVPPreferences::preferences();
    // Stored devices are repaired against the devices the recording's list knows.
    environment.preferences->setFixedDeviceDescription(
        [](const HXPropertyList& description, const std::string& key) {
            return MVPPreferencesCaptureDeviceList::sharedCaptureDeviceList()
                .fixedDeviceDescriptionFromDeviceDescription(description, key);
        });
    environment.availableScreens
        = [] { return FSPresentationManager::fsPresentationManager().availableScreens(); };
    environment.proAppsAreInstalled = [] {
        auto delegate = MVPApplicationDelegate::sharedDelegate();
        return delegate && delegate->proAppsAreInstalled();
    };
    environment.captureDeviceList = []() -> MVPPreferencesCaptureDeviceList& {
        return MVPPreferencesCaptureDeviceList::sharedCaptureDeviceList();
    };
    environment.chooseDirectory = [](const std::shared_ptr<HXWindow>& window, const std::string& path,
                                      std::function<void(std::optional<std::string>)> answer) {
        auto chooser = HXOpenPanel::openPanel();
        chooser->setCanChooseFiles(false);
        chooser->setCanChooseDirectories(true);
        chooser->setCanCreateDirectories(true);
        chooser->setPrompt(localized("mvpPreferencesChoose"));
        chooser->setDirectory(path);
        chooser->beginSheetModalForWindow(window, [chooser, answer](long code) {
            if (code == HXModalResponseOK && !chooser->filenames().empty())
                answer(chooser->filenames().front());
            else
                answer(std::nullopt);
        });
    };
    environment.makeDefaultOpener = [](std::function<void(MVPDefaultOpener::Result)> done) {
        MVPDefaultOpener::makeLauncherDefault(std::move(done));
    };
    return environment;
}

std::shared_ptr<MVPPreferencesWindow> MVPPreferencesWindow::sharedPreferencesWindow()
{
    // Kept for the life of the process, as the preferences themselves are.
    static auto* shared = new std::shared_ptr<MVPPreferencesWindow>(
        std::make_shared<MVPPreferencesWindow>(standardEnvironment()));
    return *shared;
}

MVPPreferencesWindow::MVPPreferencesWindow(Environment environment)
    : _environment(std::move(environment))
    , _preferences(_environment.preferences ? *_environment.preferences : MVPPreferences::preferences())
{
    setActionHandler(kDoPreference, [this](HXObject* sender) { doPreference(sender); });
    setActionHandler(kDoPreferenceToolbarItem, [this](HXObject* sender) { doPreferenceToolbarItem(sender); });
    setActionHandler(kMakeLauncherDefaultOpener, [this](HXObject* sender) { makeLauncherDefaultOpener(sender); });
}

MVPPreferencesWindow::~MVPPreferencesWindow()
{
    _preferences.setCapturePaneShown(false);
    _preferences.setDevicePopUpsRefresher(nullptr);
}

std::shared_ptr<HXButton> MVPPreferencesWindow::makeCheckBox(
    const std::shared_ptr<HXView>& pane, const std::string& titleKey)
{
    auto box = std::make_shared<HXButton>(HXMakeRect(40, 0, kPaneWidth - 60, 18), localized(titleKey));
    box->setButtonType(HXSwitchButton);
    box->setTarget(shared_from_this());
    box->setAction(kDoPreference);
    pane->addSubview(box);
    return box;
}

std::shared_ptr<HXPopUpButton> MVPPreferencesWindow::makePopUp(
    const std::shared_ptr<HXView>& pane, HXRect frame, const std::vector<std::pair<std::string, long>>& items)
{
    auto popUp = std::make_shared<HXPopUpButton>(frame);
    for (auto& [title, tag] : items) {
        popUp->addItemWithTitle(localized(title));
        popUp->lastItem()->setTag(tag);
    }
    popUp->setTarget(shared_from_this());
    popUp->setAction(kDoPreference);
    pane->addSubview(popUp);
    return popUp;
}

void MVPPreferencesWindow::buildGeneralView()
{
    auto& o = _outlets;
    auto pane = std::make_shared<MVPPreferencePaneView>(HXMakeRect(0, 0, kPaneWidth, 100));
    o._generalView = pane;
    struct Row {
        std::shared_ptr<HXButton>* outlet;
        const char* title;
        const char* key;
    };
    const Row rows[] = {
        { &o._generalOpenNewPlayersCheckbox, "mvpPreferencesOpenMoviesInNewPlayers",
            kGeneralPreferenceOpenMoviesInNewPlayers },
        { &o._generalAutoPlayMoviesCheckbox, "mvpPreferencesAutoPlayMovies",
            kGeneralPreferenceAutoPlayMoviesWhenOpened },
        { &o._generalPlaySoundInFrontPlayerOnlyCheckbox, "mvpPreferencesPlaySoundInFrontPlayerOnly",
            kGeneralPreferencePlaySoundInFrontPlayerOnly },
        { &o._generalPlaySoundWhenInBackgroundCheckbox, "mvpPreferencesPlaySoundWhenInBackground",
            kGeneralPreferencePlaySoundWhenAppInBackground },
        { &o._generalShowEqualizerCheckbox, "mvpPreferencesShowEqualizer", kGeneralPreferenceShowEqualizer },
        { &o._generalShowReelspotAutomaticallyCheckbox, "mvpPreferencesShowFeaturedMovie",
            kGeneralPreferenceShowReelspotMovieAutomatically },
        { &o._generalPauseMoviesWhenLoggedOutCheckbox, "mvpPreferencesPauseMoviesWhenLoggedOut",
            kGeneralPreferencePauseMoviesWhenLoggedOut },
        { &o._generalHighQualityVideoCheckbox, "mvpPreferencesHighQualityVideo",
            kGeneralPreferenceHighQualityVideo },
        { &o._generalShowClosedCaptioning, "mvpPreferencesShowClosedCaptioning",
            kGeneralPreferenceShowClosedCaptioning },
        { &o._generalShowSubtitlesCheckbox, "mvpPreferencesShowSubtitles", kGeneralPreferenceShowSubtitles },
        { &o._generalShowTimeCodeCheckbox, "mvpPreferencesShowTimeCode", kGeneralPreferenceShowTimeCode },
        { &o._generalShowTimeCodeAbsoluteFramesCheckbox, "mvpPreferencesShowTimeCodeAbsoluteFrames",
            kGeneralPreferenceShowTimeCodeAbsoluteFrameNumbers },
        { &o._generalHideSelectionIndicators, "mvpPreferencesHideSelectionIndicators",
            kGeneralHideSelectionIndicators },
    };
    for (auto& row : rows) {
        *row.outlet = makeCheckBox(pane, row.title);
        _checkBoxKeys.emplace_back(*row.outlet, row.key);
    }
    o._generalNumberOfRecentItemsPopUpButton = makePopUp(pane, HXMakeRect(220, 0, 90, 22),
        { { "mvpPreferencesRecentItemsNone", 0 }, { "5", 5 }, { "10", 10 }, { "15", 15 }, { "20", 20 },
            { "30", 30 }, { "50", 50 } });
    _recentItemsLabel = label(pane, "mvpPreferencesNumberOfRecentItems", HXMakeRect(20, 0, 196, 18));
    // Revealed when the window is first shown.
    o._generalHideSelectionIndicators->setHidden(true);

    // The launcher as the file manager's default opener, and what came of the last request.
    o._generalDefaultOpenerButton = std::make_shared<HXButton>(
        HXMakeRect(40, 0, kPaneWidth - 80, 24), localized("mvpPreferencesMakeDefaultOpener"));
    o._generalDefaultOpenerButton->setBezelStyle(HXRoundedBezelStyle);
    o._generalDefaultOpenerButton->setTarget(shared_from_this());
    o._generalDefaultOpenerButton->setAction(kMakeLauncherDefaultOpener);
    pane->addSubview(o._generalDefaultOpenerButton);
    o._generalDefaultOpenerStatus = HXTextField::labelWithString({}, HXMakeRect(40, 0, kPaneWidth - 80, 18));
    pane->addSubview(o._generalDefaultOpenerStatus);

    // The group shown only when the professional applications are installed; kept aside until then.
    auto group = std::make_shared<MVPPreferencePaneView>(HXMakeRect(0, 0, kPaneWidth, kProAppsGroupHeight));
    o._generalProAppsCompatibilityModeView = group;
    _proAppsGroup = group;
    o._generalProAppsCompatibilityModeCheckbox
        = makeCheckBox(group, "mvpPreferencesProAppsCompatibilityMode");
    o._generalProAppsCompatibilityModeCheckbox->setFrameOrigin(HXMakePoint(40, 6));
    _checkBoxKeys.emplace_back(
        o._generalProAppsCompatibilityModeCheckbox, kGeneralPreferenceEnableProAppsColorCompatibilityMode);
    layoutGeneralView();
}

void MVPPreferencesWindow::layoutGeneralView()
{
    // Rows from the top: seven check boxes, the recent-items pop-up, five check boxes, then the
    // hide-selection check box when it shows; the professional group stays 20 points above the bottom.
    auto& o = _outlets;
    std::shared_ptr<HXButton> first[] = { o._generalOpenNewPlayersCheckbox, o._generalAutoPlayMoviesCheckbox,
        o._generalPlaySoundInFrontPlayerOnlyCheckbox, o._generalPlaySoundWhenInBackgroundCheckbox,
        o._generalShowEqualizerCheckbox, o._generalShowReelspotAutomaticallyCheckbox,
        o._generalPauseMoviesWhenLoggedOutCheckbox };
    std::shared_ptr<HXButton> second[] = { o._generalHighQualityVideoCheckbox, o._generalShowClosedCaptioning,
        o._generalShowSubtitlesCheckbox, o._generalShowTimeCodeCheckbox,
        o._generalShowTimeCodeAbsoluteFramesCheckbox };
    double y = kTopMargin;
    for (auto& box : first) {
        box->setFrameOrigin(HXMakePoint(40, y));
        y += kRowHeight;
    }
    o._generalNumberOfRecentItemsPopUpButton->setFrameOrigin(HXMakePoint(220, y));
    _recentItemsLabel->setFrameOrigin(HXMakePoint(20, y + 2));
    y += kRowHeight + 6;
    for (auto& box : second) {
        box->setFrameOrigin(HXMakePoint(40, y));
        y += kRowHeight;
    }
    o._generalHideSelectionIndicators->setFrameOrigin(HXMakePoint(40, y));
    if (!o._generalHideSelectionIndicators->isHidden())
        y += kHideSelectionGroupHeight;
    o._generalDefaultOpenerButton->setFrameOrigin(HXMakePoint(40, y + 4));
    o._generalDefaultOpenerStatus->setFrameOrigin(HXMakePoint(40, y + 28));
    double height = y + kDefaultOpenerRowHeight + kProAppsGroupBottom;
    if (_proAppsGroupInserted)
        height += kProAppsGroupHeight;
    o._generalView->setFrameSize(HXMakeSize(kPaneWidth, height));
    _proAppsGroup->setFrameOrigin(HXMakePoint(0, height - kProAppsGroupBottom - kProAppsGroupHeight));
}

void MVPPreferencesWindow::makeLauncherDefaultOpener(HXObject*)
{
    auto& o = _outlets;
    if (!_environment.makeDefaultOpener)
        return;
    o._generalDefaultOpenerButton->setEnabled(false);
    o._generalDefaultOpenerStatus->setStringValue({});
    std::weak_ptr<MVPPreferencesWindow> weak = std::static_pointer_cast<MVPPreferencesWindow>(shared_from_this());
    _environment.makeDefaultOpener([weak](MVPDefaultOpener::Result result) {
        auto self = weak.lock();
        if (!self)
            return;
        self->_outlets._generalDefaultOpenerButton->setEnabled(true);
        self->_outlets._generalDefaultOpenerStatus->setStringValue(result.message);
    });
}

void MVPPreferencesWindow::buildFullscreenView()
{
    auto& o = _outlets;
    double height = kFullscreenBottomHeight + kSizeColourModeHeight + kMultipleScreenSupportGroupHeight + 10;
    auto pane = std::make_shared<HXView>(HXMakeRect(0, 0, kPaneWidth, height));
    o._fullscreenView = pane;

    // The display group at the top: capture-all and the display picker.
    o._fullscreenCaptureAllDisplaysCheckBox = makeCheckBox(pane, "mvpPreferencesCaptureAllDisplays");
    _checkBoxKeys.emplace_back(
        o._fullscreenCaptureAllDisplaysCheckBox, kFullscreenPreferenceCaptureAllDisplays);
    o._fullscreenFSScreenView = std::make_shared<FSPresentationScreenView>(HXMakeRect(20, 0, 200, 80));
    pane->addSubview(o._fullscreenFSScreenView);

    // Sizes, background colour and mode.
    auto group = std::make_shared<HXView>(HXMakeRect(0, 0, kPaneWidth, kSizeColourModeHeight));
    o._fullscreenSizeColourModeView = group;
    pane->addSubview(group);
    const std::vector<std::pair<std::string, long>> sizes
        = { { "mvpFSSizeActual", 0 }, { "mvpFSSizeDouble", 1 }, { "mvpFSSizeHalf", 2 },
              { "mvpFSSizeCurrent", 4 }, { "mvpFSSizeFitToScreen", 16 }, { "mvpFSSizeFillScreen", 17 },
              { "mvpFSSizeStretch", 18 }, { "mvpFSSizePanoramic", 19 } };
    o._fullscreenWidescreenSizePopUpButton = makePopUp(group, HXMakeRect(220, 136, 200, 22), sizes);
    label(group, "mvpPreferencesWidescreenSize", HXMakeRect(20, 139, 196, 18));
    o._fullscreenStandardSizePopUpButton = makePopUp(group, HXMakeRect(220, 108, 200, 22), sizes);
    label(group, "mvpPreferencesStandardSize", HXMakeRect(20, 111, 196, 18));
    o._fullscreenMovieSizePopUpButton = makePopUp(group, HXMakeRect(220, 80, 200, 22), sizes);
    label(group, "mvpPreferencesMovieSize", HXMakeRect(20, 83, 196, 18));
    o._fullscreenBackgroundColorWell = std::make_shared<HXColorWell>(HXMakeRect(222, 50, 44, 22));
    o._fullscreenBackgroundColorWell->setTarget(shared_from_this());
    o._fullscreenBackgroundColorWell->setAction(kDoPreference);
    group->addSubview(o._fullscreenBackgroundColorWell);
    label(group, "mvpPreferencesBackgroundColor", HXMakeRect(20, 53, 196, 18));
    o._fullscreenModeMatrix = std::make_shared<HXMatrix>(
        HXMakeRect(220, 4, 200, 40), HXRadioModeMatrix,
        [] {
            auto cell = std::make_shared<HXButtonCell>();
            cell->setButtonType(HXRadioButton);
            return std::static_pointer_cast<HXCell>(cell);
        },
        2, 1);
    o._fullscreenModeMatrix->setCellSize(HXMakeSize(200, 18));
    const char* modes[] = { "mvpPreferencesModeNormal", "mvpPreferencesModeSlideShow" };
    for (long row = 0; row < 2; ++row) {
        auto cell = std::static_pointer_cast<HXButtonCell>(o._fullscreenModeMatrix->cellAtRowColumn(row, 0));
        cell->setTitle(localized(modes[row]));
        cell->setTag(row);
    }
    o._fullscreenModeMatrix->setTarget(shared_from_this());
    o._fullscreenModeMatrix->setAction(kDoPreference);
    group->addSubview(o._fullscreenModeMatrix);
    label(group, "mvpPreferencesMode", HXMakeRect(20, 25, 196, 18));

    // The rows at the bottom.
    o._fullscreenEnableHUDCheckbox = makeCheckBox(pane, "mvpPreferencesEnableHUD");
    o._fullscreenEnableHUDCheckbox->setFrameOrigin(HXMakePoint(40, 76));
    _checkBoxKeys.emplace_back(o._fullscreenEnableHUDCheckbox, kFullscreenPreferenceEnableHUD);
    o._fullscreenHUDFadeTimePopUpButton = makePopUp(pane, HXMakeRect(220, 46, 120, 22),
        { { "mvpPreferencesFade1", 1 }, { "mvpPreferencesFade2", 2 }, { "mvpPreferencesFade3", 3 },
            { "mvpPreferencesFade5", 5 }, { "mvpPreferencesFade10", 10 } });
    label(pane, "mvpPreferencesHUDFadeOutTime", HXMakeRect(20, 49, 196, 18));
    o._fullscreenRemainInFullScreenCheckBox = makeCheckBox(pane, "mvpPreferencesRemainInFullScreen");
    o._fullscreenRemainInFullScreenCheckBox->setFrameOrigin(HXMakePoint(40, 18));
    _checkBoxKeys.emplace_back(
        o._fullscreenRemainInFullScreenCheckBox, kFullscreenPreferenceRemainInFullScreenWhenInactive);
    layoutFullscreenDisplayGroup(true);
}

void MVPPreferencesWindow::layoutFullscreenDisplayGroup(bool shown)
{
    // The display group keeps to the top of the pane; the size group's top is the picker's bottom edge
    // when the group shows, else the top of the pane.
    auto& o = _outlets;
    double height = o._fullscreenView->frame().size.height;
    o._fullscreenCaptureAllDisplaysCheckBox->setFrameOrigin(HXMakePoint(240, height - 40));
    o._fullscreenFSScreenView->setFrameOrigin(
        HXMakePoint(20, height - kMultipleScreenSupportGroupHeight + 11));
    double top = shown ? HXMinY(o._fullscreenFSScreenView->frame()) : height;
    o._fullscreenSizeColourModeView->setFrameOrigin(HXMakePoint(0, top - kSizeColourModeHeight));
}

void MVPPreferencesWindow::buildCaptureView()
{
    auto& o = _outlets;
    auto pane = std::make_shared<HXView>(HXMakeRect(0, 0, kPaneWidth, 230));
    o._captureView = pane;
    o._captureDefaultMovieCaptureDevicePopUpButton = makePopUp(pane, HXMakeRect(220, 190, 250, 22), {});
    label(pane, "mvpPreferencesVideoDevice", HXMakeRect(20, 193, 196, 18));
    o._captureDefaultAudioCaptureDevicePopUpButton = makePopUp(pane, HXMakeRect(220, 160, 250, 22), {});
    label(pane, "mvpPreferencesAudioDevice", HXMakeRect(20, 163, 196, 18));
    o._captureFormatPopUpButton = makePopUp(pane, HXMakeRect(220, 120, 250, 22), {});
    label(pane, "mvpPreferencesCaptureFormat", HXMakeRect(20, 123, 196, 18));
    o._captureFormatDescriptionText = HXTextField::labelWithString("", HXMakeRect(222, 98, 250, 18));
    pane->addSubview(o._captureFormatDescriptionText);
    o._captureSaveCapturedFilesToPopUpButton
        = makePopUp(pane, HXMakeRect(220, 58, 250, 22), { { "", 0 }, { "mvpPreferencesOther", 1 } });
    o._captureSaveCapturedFilesToPopUpButton->menu()->insertItem(HXMenuItem::separatorItem(), 1);
    label(pane, "mvpPreferencesSaveCapturedFilesTo", HXMakeRect(20, 61, 196, 18));
    o._captureReadingDevicesProgressIndicator
        = std::make_shared<HXProgressIndicator>(HXMakeRect(222, 20, 16, 16));
    o._captureReadingDevicesProgressIndicator->setStyle(HXProgressIndicatorSpinningStyle);
    o._captureReadingDevicesProgressIndicator->setDisplayedWhenStopped(false);
    pane->addSubview(o._captureReadingDevicesProgressIndicator);
    o._captureReadingDevicesTestField = HXTextField::labelWithString(
        localized("mvpPreferencesReadingDevices"), HXMakeRect(244, 19, 220, 18));
    o._captureReadingDevicesTestField->setHidden(true);
    pane->addSubview(o._captureReadingDevicesTestField);
}

void MVPPreferencesWindow::loadInterface()
{
    auto panel = std::make_shared<HXPanel>(
        HXMakeRect(0, 0, kPaneWidth, 300), HXTitledWindowMask | HXClosableWindowMask);
    panel->setHidesOnDeactivate(false);
    _outlets._preferencesPanel = panel;
    buildGeneralView();
    buildFullscreenView();
    buildCaptureView();
    _toolbar = std::make_shared<HXToolbar>(PreferenceToolbarIdentifier);
    _toolbar->setDelegate(std::dynamic_pointer_cast<HXToolbarDelegate>(shared_from_this()));
    panel->setToolbar(_toolbar);
}

// ---- Showing -----------------------------------------------------------------------------------------

bool MVPPreferencesWindow::boolPreference(const char* key) const
{
    return _preferences.preference(key).boolValue();
}

void MVPPreferencesWindow::showPreferences()
{
    auto& o = _outlets;
    if (o._preferencesPanel) {
        o._preferencesPanel->makeKeyAndOrderFront();
        _preferences.setCapturePaneShown(_selectedView == o._captureView);
        return;
    }
    loadInterface();
    fillControls();
    // The hide-selection check box is revealed at the first showing.
    if (o._generalHideSelectionIndicators->isHidden()) {
        o._generalHideSelectionIndicators->setHidden(false);
        layoutGeneralView();
    }
    _toolbar->setSelectedItemIdentifier(PreferenceToolbarItemIdentifierGeneral);
    if (!_toolbar->isVisible())
        _toolbar->setVisible(true);
    o._preferencesPanel->setShowsToolbarButton(true);
    o._generalHideSelectionIndicators->setState(boolPreference(kGeneralHideSelectionIndicators) ? 1 : 0);
    showPreferenceView(o._generalView, localized("mvpPreferencesToolbarLabelGeneral"));
    o._preferencesPanel->center();
    o._preferencesPanel->makeKeyAndOrderFront();
    std::weak_ptr<MVPPreferencesWindow> weak
        = std::static_pointer_cast<MVPPreferencesWindow>(shared_from_this());
    _preferences.setDevicePopUpsRefresher([weak] {
        if (auto window = weak.lock())
            window->updateCaptureDevicePopups();
    });
}

void MVPPreferencesWindow::fillControls()
{
    auto& o = _outlets;
    // Check boxes of the General pane and the Full Screen pane's rows (the hide-selection and the
    // compatibility boxes are set on their own).
    for (auto& [view, key] : _checkBoxKeys) {
        auto box = std::static_pointer_cast<HXButton>(view);
        if (box == o._generalHideSelectionIndicators || box == o._generalProAppsCompatibilityModeCheckbox
            || box == o._fullscreenCaptureAllDisplaysCheckBox)
            continue;
        box->setState(boolPreference(key) ? 1 : 0);
    }
    selectTagOrFirst(*o._generalNumberOfRecentItemsPopUpButton,
        long(_preferences.preference(kGeneralPreferenceNumberOfRecentItems).integerValue()));

    if (_environment.proAppsAreInstalled && _environment.proAppsAreInstalled() && !_proAppsGroupInserted) {
        _proAppsGroupInserted = true;
        o._generalView->addSubview(o._generalProAppsCompatibilityModeView);
        o._generalProAppsCompatibilityModeView = nullptr;
        layoutGeneralView();
    }
    o._generalProAppsCompatibilityModeCheckbox->setState(
        boolPreference(kGeneralPreferenceEnableProAppsColorCompatibilityMode) ? 1 : 0);

    selectTagOrFirst(*o._fullscreenWidescreenSizePopUpButton,
        long(_preferences.preference(kFullscreenPreferenceWidescreenSize).integerValue()));
    selectTagOrFirst(*o._fullscreenStandardSizePopUpButton,
        long(_preferences.preference(kFullscreenPreferenceStandardSize).integerValue()));
    long size = long(_preferences.preference(kFullscreenPreferenceSize).integerValue());
    // "Fit to screen" is stored as 3 by older versions; the pop-up offers it as letterbox.
    selectTagOrFirst(*o._fullscreenMovieSizePopUpButton, size == 3 ? 16 : size);
    o._fullscreenModeMatrix->selectCellWithTag(boolPreference(kFullscreenPreferenceSlideShowMode) ? 1 : 0);
    auto color = HXColor::colorWithArchivedData(
        _preferences.preference(kFullscreenPreferenceBackgroundColorData).dataValue());
    o._fullscreenBackgroundColorWell->setColor(color.value_or(HXColor::blackColor()));
    fillDisplayGroup();
    bool hud = boolPreference(kFullscreenPreferenceEnableHUD);
    selectTagOrFirst(*o._fullscreenHUDFadeTimePopUpButton,
        long(_preferences.preference(kFullscreenPreferenceHUDFadeOutTime).integerValue()));
    o._fullscreenHUDFadeTimePopUpButton->setEnabled(hud);

    // Capture: the device pop-ups stay blank until the device list answers.
    for (auto& popUp :
        { o._captureDefaultMovieCaptureDevicePopUpButton, o._captureDefaultAudioCaptureDevicePopUpButton }) {
        if (popUp->numberOfItems() == 0)
            popUp->addItemWithTitle("");
        if (auto item = popUp->selectedItem())
            item->setTitle("");
    }
    fillCaptureLocation();
    fillCaptureFormats();
}

void MVPPreferencesWindow::fillDisplayGroup()
{
    auto& o = _outlets;
    auto screens = _environment.availableScreens ? _environment.availableScreens() : std::vector<HXScreen>();
    bool multiple = screens.size() > 1;
    bool hidden = o._fullscreenFSScreenView->isHidden();
    if ((hidden && multiple) || (!hidden && !multiple)) {
        double change = multiple ? kMultipleScreenSupportGroupHeight : -kMultipleScreenSupportGroupHeight;
        HXSize size = o._fullscreenView->frame().size;
        o._fullscreenView->setFrameSize(HXMakeSize(size.width, size.height + change));
        o._fullscreenCaptureAllDisplaysCheckBox->setHidden(!multiple);
        o._fullscreenFSScreenView->setHidden(!multiple);
        layoutFullscreenDisplayGroup(multiple);
    }
    if (!multiple)
        return;
    o._fullscreenCaptureAllDisplaysCheckBox->setState(
        boolPreference(kFullscreenPreferenceCaptureAllDisplays) ? 1 : 0);
    auto picker = o._fullscreenFSScreenView;
    auto number = _preferences.preference(kFullscreenPreferenceScreenNumber);
    for (auto& screen : screens)
        if (number.isNumber() && int64_t(screen.screenNumber()) == number.integerValue())
            picker->setSelectedScreen(screen);
    picker->updateScreens();
    picker->setTarget(shared_from_this());
    picker->setAction(kDoPreference);
}

void MVPPreferencesWindow::fillCaptureLocation()
{
    auto popUp = _outlets._captureSaveCapturedFilesToPopUpButton;
    std::string folder = HXString::stringByStandardizingPath(
        _preferences.preference(kCapturePreferenceDefaultSaveToLocation).stringValue());
    auto item = std::make_shared<HXMenuItem>(
        HXFileManager::defaultManager().displayNameAtPath(folder), HXSelector(), "");
    item->setRepresentedObject(folder);
    item->setImage(HXIconForFile(folder, 16));
    popUp->removeItemAtIndex(0);
    popUp->menu()->insertItem(item, 0);
    popUp->selectItemAtIndex(0);
}

void MVPPreferencesWindow::fillCaptureFormats()
{
    auto popUp = _outlets._captureFormatPopUpButton;
    _preferences.makeCaptureFormatPreferenceValid();
    popUp->removeAllItems();
    const auto& list = _preferences.captureFormatList();
    if (list.isArray()) {
        for (auto& entry : list.arrayValue()) {
            if (entry["Name"].stringValue() == "-") {
                popUp->menu()->addItem(HXMenuItem::separatorItem());
                continue;
            }
            auto item = popUp->menu()->addItemWithTitle(localized(entry["Name"].stringValue()), HXSelector());
            item->setRepresentedObject(entry["Identifier"].stringValue());
        }
    }
    std::string stored = _preferences.preference(kCapturePreferenceFormatIdentifier).stringValue();
    for (auto& item : popUp->itemArray()) {
        auto* identifier = std::any_cast<std::string>(&item->representedObject());
        if (identifier && *identifier == stored) {
            popUp->selectItem(item);
            break;
        }
    }
    updateCaptureFormatSummary();
}

void MVPPreferencesWindow::hidePreferences()
{
    // Device changes no longer refresh the pane (showing the Capture pane again still does).
    _preferences.setDevicePopUpsRefresher(nullptr);
    _preferences.setCapturePaneShown(false);
    if (_outlets._preferencesPanel)
        _outlets._preferencesPanel->close();
}

bool MVPPreferencesWindow::isVisible() const
{
    return _outlets._preferencesPanel && _outlets._preferencesPanel->isVisible();
}

void MVPPreferencesWindow::doPreferenceToolbarItem(HXObject* sender)
{
    auto* item = dynamic_cast<HXToolbarItem*>(sender);
    if (!item)
        return;
    const std::string& identifier = item->itemIdentifier();
    std::shared_ptr<HXView> view;
    if (identifier == PreferenceToolbarItemIdentifierGeneral)
        view = _outlets._generalView;
    else if (identifier == PreferenceToolbarItemIdentifierFullscreen)
        view = _outlets._fullscreenView;
    else if (identifier == PreferenceToolbarItemIdentifierCapture)
        view = _outlets._captureView;
    showPreferenceView(view, item->label());
    if (_toolbar)
        _toolbar->setSelectedItemIdentifier(identifier);
}

void MVPPreferencesWindow::showPreferenceView(const std::shared_ptr<HXView>& view, const std::string& title)
{
    auto panel = _outlets._preferencesPanel;
    if (!view || !panel || view == _selectedView)
        return;
    updatePreferenceView(view);
    auto content = panel->contentView();
    for (auto& subview : std::vector(content->subviews()))
        subview->removeFromSuperview();
    panel->setTitle(title);
    resizeWindowCurrentPreferenceView(view);
    view->setFrameOrigin(HXMakePoint(0, 0));
    content->addSubview(view);
    _selectedView = view;
    _preferences.setCapturePaneShown(view == _outlets._captureView);
}

void MVPPreferencesWindow::updatePreferenceView(const std::shared_ptr<HXView>& view)
{
    if (view && view == _outlets._captureView)
        updateCaptureDevicePopups();
}

void MVPPreferencesWindow::resizeWindowCurrentPreferenceView(const std::shared_ptr<HXView>& view)
{
    auto panel = _outlets._preferencesPanel;
    if (!panel || !view)
        return;
    // The top-left corner stays where it is.
    HXRect content = panel->contentRectForFrameRect(panel->frame());
    HXSize size = view->bounds().size;
    double top = HXMaxY(content);
    HXRect newContent = HXMakeRect(content.origin.x, top - size.height, size.width, size.height);
    panel->setFrame(
        panel->frameRectForContentRect(newContent), true, _environment.animatesResize && panel->isVisible());
}

// ---- Toolbar -----------------------------------------------------------------------------------------

std::shared_ptr<HXToolbarItem> MVPPreferencesWindow::toolbarItemWithIdentifier(
    const std::string& identifier, const std::string& labelKey, const std::string& image)
{
    auto item = std::make_shared<HXToolbarItem>(identifier);
    std::string text = localized(labelKey);
    item->setLabel(text);
    item->setToolTip(text);
    item->setImage(HXImage::imageNamed(image));
    item->setTarget(shared_from_this());
    item->setAction(kDoPreferenceToolbarItem);
    return item;
}

std::shared_ptr<HXToolbarItem> MVPPreferencesWindow::toolbarItemForItemIdentifier(
    HXToolbar&, const std::string& identifier, bool)
{
    if (identifier == PreferenceToolbarItemIdentifierGeneral)
        return toolbarItemWithIdentifier(identifier, "mvpPreferencesToolbarLabelGeneral", "General.tif");
    if (identifier == PreferenceToolbarItemIdentifierFullscreen)
        return toolbarItemWithIdentifier(
            identifier, "mvpPreferencesToolbarLabelFullscreen", "FullScreen.tif");
    if (identifier == PreferenceToolbarItemIdentifierCapture)
        return toolbarItemWithIdentifier(identifier, "mvpPreferencesToolbarLabelCapture", "Capture.tif");
    return nullptr;
}

std::vector<std::string> MVPPreferencesWindow::toolbarDefaultItemIdentifiers(HXToolbar&)
{
    return { PreferenceToolbarItemIdentifierGeneral, PreferenceToolbarItemIdentifierFullscreen,
        PreferenceToolbarItemIdentifierCapture };
}

std::vector<std::string> MVPPreferencesWindow::toolbarAllowedItemIdentifiers(HXToolbar& toolbar)
{
    return toolbarDefaultItemIdentifiers(toolbar);
}

std::vector<std::string> MVPPreferencesWindow::toolbarSelectableItemIdentifiers(HXToolbar& toolbar)
{
    return toolbarDefaultItemIdentifiers(toolbar);
}

// ---- Writing -----------------------------------------------------------------------------------------

void MVPPreferencesWindow::writePreference(const HXPropertyList& value, const char* key)
{
    _preferences.setPreference(value, key, true);
}

void MVPPreferencesWindow::doPreference(HXObject* sender)
{
    auto& o = _outlets;
    auto* view = dynamic_cast<HXView*>(sender);
    if (!view || !_selectedView || !(view == _selectedView.get() || view->isDescendantOf(*_selectedView)))
        return;

    for (auto& [control, key] : _checkBoxKeys) {
        if (control.get() == view) {
            bool on = static_cast<HXButton*>(view)->state() == 1;
            writePreference(HXPropertyList(on), key);
            if (view == o._fullscreenEnableHUDCheckbox.get())
                o._fullscreenHUDFadeTimePopUpButton->setEnabled(on);
            return;
        }
    }
    struct TagPopUp {
        std::shared_ptr<HXPopUpButton> popUp;
        const char* key;
    };
    const TagPopUp tagged[]
        = { { o._generalNumberOfRecentItemsPopUpButton, kGeneralPreferenceNumberOfRecentItems },
              { o._fullscreenWidescreenSizePopUpButton, kFullscreenPreferenceWidescreenSize },
              { o._fullscreenStandardSizePopUpButton, kFullscreenPreferenceStandardSize },
              { o._fullscreenMovieSizePopUpButton, kFullscreenPreferenceSize },
              { o._fullscreenHUDFadeTimePopUpButton, kFullscreenPreferenceHUDFadeOutTime } };
    for (auto& t : tagged) {
        if (t.popUp.get() == view) {
            writePreference(HXPropertyList(int64_t(t.popUp->selectedTag())), t.key);
            return;
        }
    }
    if (view == o._fullscreenFSScreenView.get()) {
        if (auto screen = o._fullscreenFSScreenView->selectedScreen())
            writePreference(
                HXPropertyList(int64_t(screen->screenNumber())), kFullscreenPreferenceScreenNumber);
    } else if (view == o._fullscreenModeMatrix.get()) {
        writePreference(
            HXPropertyList(o._fullscreenModeMatrix->selectedTag() != 0), kFullscreenPreferenceSlideShowMode);
    } else if (view == o._fullscreenBackgroundColorWell.get()) {
        writePreference(HXPropertyList(o._fullscreenBackgroundColorWell->color().archivedData()),
            kFullscreenPreferenceBackgroundColorData);
    } else if (view == o._captureDefaultMovieCaptureDevicePopUpButton.get()
        || view == o._captureDefaultAudioCaptureDevicePopUpButton.get()) {
        auto* popUp = static_cast<HXPopUpButton*>(view);
        const char* key = view == o._captureDefaultMovieCaptureDevicePopUpButton.get()
            ? kCapturePreferenceDefaultMovieVideoDevice
            : kCapturePreferenceDefaultMovieAudioDevice;
        auto item = popUp->selectedItem();
        const HXPropertyList* description = item ? descriptionOf(*item) : nullptr;
        if (popUp->indexOfSelectedItem() == 0 || !description)
            _preferences.setPreference(HXPropertyList(), key, false);
        else
            writePreference(*description, key);
    } else if (view == o._captureFormatPopUpButton.get()) {
        auto item = o._captureFormatPopUpButton->selectedItem();
        auto* identifier = item ? std::any_cast<std::string>(&item->representedObject()) : nullptr;
        if (identifier)
            writePreference(HXPropertyList(*identifier), kCapturePreferenceFormatIdentifier);
        updateCaptureFormatSummary();
    } else if (view == o._captureSaveCapturedFilesToPopUpButton.get()) {
        auto popUp = o._captureSaveCapturedFilesToPopUpButton;
        if (popUp->indexOfSelectedItem() != 0 && _environment.chooseDirectory) {
            std::string folder = HXString::stringByStandardizingPath(
                _preferences.preference(kCapturePreferenceDefaultSaveToLocation).stringValue());
            std::weak_ptr<MVPPreferencesWindow> weak
                = std::static_pointer_cast<MVPPreferencesWindow>(shared_from_this());
            _environment.chooseDirectory(
                o._preferencesPanel, folder, [weak](std::optional<std::string> chosen) {
                    if (auto window = weak.lock())
                        window->chooseCaptureLocationDidEnd(chosen);
                });
        }
        popUp->selectItemAtIndex(0);
    }
}

void MVPPreferencesWindow::chooseCaptureLocationDidEnd(const std::optional<std::string>& folder)
{
    if (!folder)
        return;
    writePreference(HXPropertyList(*folder), kCapturePreferenceDefaultSaveToLocation);
    fillCaptureLocation();
}

// ---- Capture devices ---------------------------------------------------------------------------------

void MVPPreferencesWindow::updateCaptureDevicePopups()
{
    auto& o = _outlets;
    if (!o._captureView)
        return;
    o._captureDefaultMovieCaptureDevicePopUpButton->setEnabled(false);
    o._captureDefaultAudioCaptureDevicePopUpButton->setEnabled(false);
    o._captureReadingDevicesTestField->setHidden(false);
    o._captureReadingDevicesProgressIndicator->startAnimation();
    if (_environment.captureDeviceList)
        _environment.captureDeviceList().requestDeviceDescriptionsWithDelegate(
            std::dynamic_pointer_cast<MVPCaptureDeviceListDelegate>(shared_from_this()));
}

void MVPPreferencesWindow::captureDeviceListDidReadAudioDeviceDescriptions(
    const HXPropertyList::Array& audio, const HXPropertyList::Array& video)
{
    auto& o = _outlets;
    auto fill = [](HXPopUpButton& popUp, const HXPropertyList::Array& devices, bool isVideo) {
        popUp.removeAllItems();
        popUp.addItemWithTitle(localized("mvpPreferencesCaptureDeviceAutomatic"));
        if (!devices.empty())
            popUp.menu()->addItem(HXMenuItem::separatorItem());
        for (auto& description : devices) {
            std::string name = description[MVPPreferencesCaptureDeviceDisplayNameKey].stringValue();
            auto item = popUp.menu()->addItemWithTitle(
                isVideo ? localizeVideoDeviceName(name) : localizeAudioDeviceName(name), HXSelector());
            item->setRepresentedObject(description);
        }
        popUp.setEnabled(popUp.numberOfItems() > 1);
        popUp.selectItemAtIndex(0);
    };
    fill(*o._captureDefaultMovieCaptureDevicePopUpButton, video, true);
    fill(*o._captureDefaultAudioCaptureDevicePopUpButton, audio, false);
    updateCaptureDevicePopUp(
        *o._captureDefaultMovieCaptureDevicePopUpButton, kCapturePreferenceDefaultMovieVideoDevice);
    updateCaptureDevicePopUp(
        *o._captureDefaultAudioCaptureDevicePopUpButton, kCapturePreferenceDefaultMovieAudioDevice);
    o._captureReadingDevicesTestField->setHidden(true);
    o._captureReadingDevicesProgressIndicator->stopAnimation();
}

void MVPPreferencesWindow::updateCaptureDevicePopUp(HXPopUpButton& popUp, const std::string& key)
{
    HXPropertyList stored = _preferences.fixedDevicePreferenceForKey(key);
    if (!stored.isDictionary())
        return;
    auto matches = [&popUp, &stored](const char* field) {
        const HXPropertyList& wanted = stored[field];
        if (!wanted.isString())
            return false;
        for (auto& item : popUp.itemArray()) {
            auto* description = descriptionOf(*item);
            if (description && (*description)[field] == wanted) {
                popUp.selectItem(item);
                return true;
            }
        }
        return false;
    };
    if (matches(MVPPreferencesCaptureDeviceUIDKey) || matches(MVPPreferencesCaptureDeviceNameKey))
        return;
    // The configured device is not here now: it stays visible, marked unavailable.
    if (popUp.numberOfItems() == 1) {
        popUp.menu()->addItem(HXMenuItem::separatorItem());
        popUp.setEnabled(true);
    }
    auto item = popUp.menu()->addItemWithTitle(stored[MVPPreferencesCaptureDeviceDisplayNameKey].stringValue()
            + localized("mvpPreferencesCaptureDeviceUnavailable"),
        HXSelector());
    item->setRepresentedObject(stored);
    popUp.selectItem(item);
}

// A device's name is looked up under its kind's key with the name appended (the table gives the stand-in
// devices' names); a name the table does not have is shown as the device gives it.
std::string MVPPreferencesWindow::localizeVideoDeviceName(const std::string& name)
{
    std::string key = "mvpPreferencesCaptureVideoDeviceName" + name;
    std::string text = localized(key);
    return text == key || text.empty() ? name : text;
}

std::string MVPPreferencesWindow::localizeAudioDeviceName(const std::string& name)
{
    std::string key = "mvpPreferencesCaptureAudioDeviceName" + name;
    std::string text = localized(key);
    return text == key || text.empty() ? name : text;
}

void MVPPreferencesWindow::updateCaptureFormatSummary()
{
    auto entry = _preferences.captureFormatWithIdentifier(
        _preferences.preference(kCapturePreferenceFormatIdentifier).stringValue());
    std::string summary;
    if (entry.isDictionary()) {
        const HXPropertyList& settings = entry["VideoSettings"];
        summary = formatSize(localized(entry["Description"].stringValue()),
            uint64_t(std::max<int64_t>(0, settings["Width"].integerValue())),
            uint64_t(std::max<int64_t>(0, settings["Height"].integerValue())));
    }
    _outlets._captureFormatDescriptionText->setStringValue(summary);
}
