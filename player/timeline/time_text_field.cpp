#include "player/timeline/time_text_field.h"

#include "platform/drawing/image.h"

#include <cmath>
#include <cstdio>

namespace {

// Colours and fonts of the three looks.
constexpr double kMovieTimeTextGreyScaleValue = 0.282353;
constexpr double kMovieTimeTextAlpha = 1.0;
constexpr double kMovieTimeTextFSGreyScaleValue = 0.0;
constexpr double kMovieTimeTextFSAlpha = 0.8;
constexpr double kCaptureTimeTextGreyScaleValue = 0.0;
constexpr double kCaptureTimeTextAlpha = 0.7;
constexpr double kCaptureBevelTimeTextGreyScaleValue = 1.0;
constexpr double kCaptureBevelTimeTextAlpha = 0.5;
constexpr double kMovieTimeTextFontSize = 10;
constexpr double kMovieTimeTextFSFontSize = 9;
constexpr double kCaptureTimeTextFontSize = 10;
constexpr double kMovieTimeTextFSYOffset = 1;

HXColor plainColor()
{
    return HXColor::colorWithCalibratedWhite(kMovieTimeTextGreyScaleValue, kMovieTimeTextAlpha);
}

} // namespace

std::shared_ptr<MVPTimeTextField> MVPTimeTextField::timeTextFieldWithFrame(HXRect frame, unsigned style)
{
    return std::make_shared<MVPTimeTextField>(frame, style);
}

MVPTimeTextField::MVPTimeTextField(HXRect frame, unsigned style)
    : HXTextField(frame)
{
    setStyle(style);
    setEditable(false);
    setSelectable(false);
    setDrawsBackground(false);
    setBezeled(false);
    setBordered(false);
    setStringValue(timeText(MVZeroTime));
}

void MVPTimeTextField::setStyle(unsigned style)
{
    _style = style;
    if (style == 2) {
        setFont(HXFont::fontWithName("Helvetica-Bold", kCaptureTimeTextFontSize));
        setTextColor(plainColor());
    } else if (style == 1) {
        setFont(HXFont::fontWithName("LucidaGrande-Bold", kMovieTimeTextFSFontSize));
        setTextColor(
            HXColor::colorWithCalibratedWhite(kMovieTimeTextFSGreyScaleValue, kMovieTimeTextFSAlpha));
    } else {
        setFont(HXFont::fontWithName("Helvetica", kMovieTimeTextFontSize));
        setTextColor(plainColor());
    }
    setNeedsDisplay(true);
}

std::string MVPTimeTextField::timeText(MVTime time)
{
    double seconds = 0;
    if (!MVGetTimeInterval(time, &seconds) || !std::isfinite(seconds))
        seconds = 0;
    // Far beyond any movie, but kept where the arithmetic stays exact.
    seconds = std::fmin(std::fabs(seconds), 1e15) * (seconds < 0 ? -1 : 1);
    bool negative = seconds <= -1;
    double magnitude = std::fabs(seconds);
    long long hours = (long long)std::trunc(magnitude / 3600);
    long long minutes = (long long)std::trunc((magnitude - double(hours) * 3600) / 60);
    long long rest = (long long)std::trunc(magnitude - double(hours) * 3600 - double(minutes) * 60);
    char text[64];
    std::snprintf(text, sizeof text, "%s%02lld:%02lld:%02lld", negative ? "-" : "", hours, minutes, rest);
    return text;
}

void MVPTimeTextField::setTime(MVTime time)
{
    std::string text = timeText(time);
    if (text == stringValue())
        return;
    setStringValue(text);
    display();
}

void MVPTimeTextField::drawRect(HXRect dirtyRect)
{
    HXRect b = bounds();
    if (_style == 1) {
        if (auto background = HXImage::imageNamed("FSLCDTimeBackground.tif"))
            background->drawInRect(b, HXZeroRect, HXCompositeSourceOver, 1.0);
        cell()->drawInteriorWithFrame(
            HXMakeRect(0, kMovieTimeTextFSYOffset, b.size.width, b.size.height), *this);
    } else if (_style == 2) {
        // The bevel under the text, then the text: the colours change for this drawing only.
        auto textCell = cell();
        textCell->setTextColorForDrawing(HXColor::colorWithCalibratedWhite(
            kCaptureBevelTimeTextGreyScaleValue, kCaptureBevelTimeTextAlpha));
        textCell->drawInteriorWithFrame(HXMakeRect(0, 1, b.size.width, b.size.height), *this);
        textCell->setTextColorForDrawing(
            HXColor::colorWithCalibratedWhite(kCaptureTimeTextGreyScaleValue, kCaptureTimeTextAlpha));
        textCell->drawInteriorWithFrame(HXMakeRect(0, 0, b.size.width, b.size.height), *this);
        textCell->setTextColorForDrawing(plainColor());
    } else {
        HXTextField::drawRect(dirtyRect);
    }
}
