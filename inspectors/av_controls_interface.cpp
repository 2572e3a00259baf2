// The two layouts of the audio/video panel, "AVControls_HUD" (sound, picture and playback) and
// "AVControlsMinimal_HUD" (no picture group), built in code and connected to the panel's controller.
#include "player/controls/hud_button.h"
#include "player/controls/hud_content_view.h"
#include "player/controls/hud_image_slider.h"
#include "player/controls/hud_text.h"
#include "player/controls/hud_window.h"
#include "inspectors/av_controls.h"
#include "platform/winkit/interface_loading.h"

#include <string>
#include <vector>

namespace {

// The panel floats beside the player windows without taking key or main status from them: the reset
// buttons act on the movie of the player window that stays main, and a click reaches its control at once.
class AVControlsPanel : public HUDWindow {
public:
    using HUDWindow::HUDWindow;
    bool canBecomeKeyWindow() const override { return false; }
    bool canBecomeMainWindow() const override { return false; }
};

// The heads-up slider pictures have a fixed length: the bar of a slider is as long as its picture.
constexpr double kSliderWidth = 120;
constexpr double kWideSliderWidth = 260;
constexpr double kTitleBar = 19;
constexpr double kMargin = 12;
constexpr double kLabelWidth = 80;
constexpr double kSliderX = 100;
constexpr double kRowHeight = 16;
constexpr double kRowStep = 22;
constexpr double kMarkHeight = 12;
constexpr double kButtonWidth = 70;
constexpr double kButtonHeight = 23; // the height of the heads-up button's caps
// How far the knob's centre stays from the ends of a slider's bar (half the knob).
constexpr double kKnobInset = 5.5;

// Views placed from the top of the panel down; their y is fixed once the height is known.
struct Layout {
    struct Item {
        std::shared_ptr<HXView> view;
        double top;
    };
    std::vector<Item> items;
    double width = 0;
    double cursor = kTitleBar + 8;
    double lastRowTop = 0;

    void place(const std::shared_ptr<HXView>& view, double top) { items.push_back({ view, top }); }
};

std::shared_ptr<HXTextField> label(
    const std::string& text, HXRect frame, HXTextAlignment alignment, double size, bool bold = false)
{
    auto field = std::make_shared<HUDTextField>(frame);
    field->setBezeled(false);
    field->setStringValue(text);
    field->setAlignment(alignment);
    field->setFont(bold ? HXFont::boldSystemFontOfSize(size) : HXFont::systemFontOfSize(size));
    return field;
}

std::shared_ptr<HXTextField> groupTitle(Layout& layout, const std::string& text)
{
    auto field
        = label(text, { { kMargin, 0 }, { layout.width - 2 * kMargin, 17 } }, HXLeftTextAlignment, 12, true);
    layout.place(field, layout.cursor);
    layout.cursor += 20;
    return field;
}

// A labelled slider row; the slider sends `action` to `owner` while it moves.
template<class Slider = HUDImageSlider>
std::shared_ptr<Slider> sliderRow(Layout& layout, const std::shared_ptr<HXObject>& owner,
    const std::string& text, const char* action, double minValue, double maxValue,
    std::shared_ptr<HXTextField>* outLabel)
{
    auto field = label(text, { { kMargin, 0 }, { kLabelWidth, kRowHeight } }, HXRightTextAlignment, 11);
    auto slider = std::make_shared<Slider>(HXRect { { kSliderX, 0 }, { kSliderWidth, kRowHeight } });
    slider->setMinValue(minValue);
    slider->setMaxValue(maxValue);
    slider->setContinuous(true);
    slider->setTarget(owner);
    slider->setAction(HXSelector(action));
    layout.place(field, layout.cursor);
    layout.place(slider, layout.cursor);
    layout.lastRowTop = layout.cursor;
    layout.cursor += kRowStep;
    *outLabel = field;
    return slider;
}

// A small text under the last slider row, centred on the slider's position for `value`.
std::shared_ptr<HXTextField> markUnder(Layout& layout, const std::string& text, double value, double minValue,
    double maxValue, double width = 44)
{
    double usable = kSliderWidth - 2 * kKnobInset;
    double x = kSliderX + kKnobInset + (value - minValue) / (maxValue - minValue) * usable - width / 2;
    HXTextAlignment alignment = HXCenterTextAlignment;
    // A mark centred under the slider's right end would run off the panel ("Forward" lost its last
    // letter): it ends where the slider ends instead.
    if (x + width > layout.width - kMargin / 2) {
        x = kSliderX + kSliderWidth - width;
        alignment = HXRightTextAlignment;
    }
    auto field = label(text, { { x, 0 }, { width, kMarkHeight } }, alignment, 9);
    layout.place(field, layout.lastRowTop + kRowHeight);
    return field;
}

std::shared_ptr<HXButton> resetButton(Layout& layout, const std::shared_ptr<HXObject>& owner, long tag)
{
    auto button = std::make_shared<HUDButton>(
        HXRect { { layout.width - kMargin - kButtonWidth, 0 }, { kButtonWidth, kButtonHeight } }, "Reset");
    button->setTag(tag);
    button->setTarget(owner);
    button->setAction(HXSelector("reset:"));
    layout.place(button, layout.cursor);
    layout.cursor += kButtonHeight + 10;
    return button;
}

} // namespace

struct AVControlsInterface {
    static std::vector<std::shared_ptr<HXObject>> build(
        const std::shared_ptr<HXObject>& owner, bool withVideo)
    {
        auto controls = std::dynamic_pointer_cast<AVControls>(owner);
        if (!controls)
            return {};
        AVControls& c = *controls;
        Layout layout;
        // Without the picture group the volume slider is the long one.
        layout.width = kSliderX + (withVideo ? kSliderWidth : kWideSliderWidth) + kMargin;

        c._audioLabel = groupTitle(layout, "Audio");
        c._gainControlSlider = sliderRow(layout, owner, "Volume", "changeGain:", 0, 1, &c._gainTextLabel);
        c._balanceControlSlider
            = sliderRow(layout, owner, "Balance", "changeBalance:", -1, 1, &c._balanceTextLabel);
        c._leftTextLabel = markUnder(layout, "Left", -1, -1, 1);
        c._rightTextLabel = markUnder(layout, "Right", 1, -1, 1);
        layout.cursor += kMarkHeight - 6;
        c._bassControlSlider = sliderRow(layout, owner, "Bass", "changeBass:", -12, 12, &c._bassTextLabel);
        c._trebleControlSlider
            = sliderRow(layout, owner, "Treble", "changeTreble:", -12, 12, &c._trebleTextLabel);
        c._pitchControlSlider
            = sliderRow(layout, owner, "Pitch", "changePitch:", -1200, 1200, &c._pitchTextLabel);
        c._audioResetButton = resetButton(layout, owner, AVControlsAudioResetTag);

        if (withVideo) {
            c._videoLabel = groupTitle(layout, "Video");
            c._brightnessControlSlider
                = sliderRow(layout, owner, "Brightness", "changeBrightness:", -1, 1, &c._brightnessTextLabel);
            c._colorControlSlider
                = sliderRow(layout, owner, "Colour", "changeColor:", 0, 2, &c._colorTextLabel);
            c._contrastControlSlider
                = sliderRow(layout, owner, "Contrast", "changeContrast:", 0, 2, &c._contrastTextLabel);
            c._tintControlSlider
                = sliderRow(layout, owner, "Tint", "changeTint:", -180, 180, &c._tintTextLabel);
            c._videoResetButton = resetButton(layout, owner, AVControlsVideoResetTag);
        }

        c._playbackLabel = groupTitle(layout, "Playback");
        // Speed: ½× at 2, normal at the detent (4), 1.75× at 7, then 2× and 3× over the last step.
        auto speed = sliderRow(layout, owner, "Speed", "changeSpeed:", 2, 8, &c._speedTextLabel);
        speed->setNumberOfTickMarks(7);
        speed->setDoubleValue(AVControlsNormalSpeedValue);
        c._speedControlSlider = speed;
        c._oneHalfTextLabel = markUnder(layout, "½×", 2, 2, 8, 30);
        c._onexTextLabel = markUnder(layout, "1×", 4, 2, 8, 30);
        c._twoxTextLabel = markUnder(layout, "2×", 7, 2, 8, 30);
        c._threexTextLabel = markUnder(layout, "3×", 8, 2, 8, 30);
        layout.cursor += kMarkHeight - 6;
        c._jogControlSlider = sliderRow<HUDJogShuttleSlider>(
            layout, owner, "Jog", "shuttleMovie:", -10, 10, &c._jogTextLabel);
        c._jogControlSlider->setDoubleValue(0);
        c._reverseTextLabel = markUnder(layout, "Reverse", -10, -10, 10, 50);
        c._forwardTextLabel = markUnder(layout, "Forward", 10, -10, 10, 50);
        layout.cursor += kMarkHeight - 6;
        if (!withVideo) {
            auto gain = std::static_pointer_cast<HUDImageSlider>(c._gainControlSlider);
            gain->setWideSlider();
            gain->setFrameSize({ kWideSliderWidth, kRowHeight });
        }

        double height = layout.cursor + 4;
        HXRect content { { 0, 0 }, { layout.width, height } };
        auto panel = std::make_shared<AVControlsPanel>(
            content, HXTitledWindowMask | HXClosableWindowMask | HXUtilityWindowMask | HXHUDWindowMask);
        auto view = HUDContentView::initWithFrame(content);
        for (const auto& item : layout.items) {
            HXRect frame = item.view->frame();
            frame.origin.y = height - item.top - frame.size.height;
            item.view->setFrame(frame);
            item.view->setAutoresizingMask(HXViewMinYMargin);
            view->addSubview(item.view);
        }
        panel->setContentView(view);
        c._avControlsPanel = panel;
        return { panel };
    }

    static void registerInterfaces()
    {
        if (!HXInterfaceLoader::hasInterface(AVControlsInterfaceName))
            HXInterfaceLoader::registerInterface(AVControlsInterfaceName,
                [](const std::shared_ptr<HXObject>& owner) { return build(owner, true); });
        if (!HXInterfaceLoader::hasInterface(AVControlsMinimalInterfaceName))
            HXInterfaceLoader::registerInterface(AVControlsMinimalInterfaceName,
                [](const std::shared_ptr<HXObject>& owner) { return build(owner, false); });
    }
};

void AVControlsRegisterInterfaces()
{
    AVControlsInterface::registerInterfaces();
}
