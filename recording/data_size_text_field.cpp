#include "recording/data_size_text_field.h"

#include "platform/basekit/bundle.h"
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"

namespace {

const HXColor& textColour()
{
    static const HXColor colour = HXColor::colorWithCalibratedWhite(0.0, 0.7);
    return colour;
}

const HXColor& embossColour()
{
    static const HXColor colour = HXColor::colorWithCalibratedWhite(1.0, 0.5);
    return colour;
}

const char* unitKey(int index)
{
    static const char* keys[] = { "mvpMovieDataSizeUnitsBytes", "mvpMovieDataSizeUnitsKiloBytes",
        "mvpMovieDataSizeUnitsMegaBytes", "mvpMovieDataSizeUnitsGigaBytes", "mvpMovieDataSizeUnitsTeraBytes",
        "mvpMovieDataSizeUnitsPetaBytes" };
    return index >= 0 && index <= 5 ? keys[index] : "mvpMovieDataSizeUnitsExaBytes";
}

} // namespace

std::shared_ptr<MVPDataSizeTextField> MVPDataSizeTextField::dataSizeTextFieldWithFrame(HXRect frame)
{
    return std::make_shared<MVPDataSizeTextField>(frame);
}

MVPDataSizeTextField::MVPDataSizeTextField(HXRect frame)
    : HXTextField(frame)
{
    setEditable(false);
    setSelectable(false);
    setDrawsBackground(false);
    setBordered(false);
    setBezeled(false);
    cell()->setFont(HXFont::fontWithName("Helvetica-Bold", 10));
    setTextColor(textColour());
    cell()->setAlignment(HXRightTextAlignment);
    setDataSize(0);
}

std::string MVPDataSizeTextField::dataSizeString(uint64_t bytes)
{
    uint64_t k = bytes / 1024;
    int index = 1;
    while (k >= 1024000 && index <= 4) {
        k /= 1024;
        ++index;
    }
    uint64_t whole, tenth;
    if (index == 1) {
        whole = k / 1024;
        tenth = ((k % 1024) * 10) / 1024;
        index = 2;
    } else if (k > 999) {
        whole = k / 1024;
        tenth = ((k % 1024) * 10) / 1024;
        ++index;
    } else {
        whole = k;
        tenth = 0;
    }
    return std::to_string(int(whole)) + "." + std::to_string(int(tenth)) + " " + HXLocalizedString(unitKey(index));
}

void MVPDataSizeTextField::setDataSize(uint64_t bytes)
{
    std::string text = dataSizeString(bytes);
    if (text == stringValue())
        return;
    setStringValue(text);
    setNeedsDisplay(true);
}

void MVPDataSizeTextField::drawRect(HXRect)
{
    HXRect b = bounds();
    // The emboss under the text, then the text: the colours change for this drawing only.
    cell()->setTextColorForDrawing(embossColour());
    cell()->drawWithFrame(HXMakeRect(0, 1, b.size.width, b.size.height), *this);
    cell()->setTextColorForDrawing(textColour());
    cell()->drawWithFrame(HXMakeRect(0, 0, b.size.width, b.size.height), *this);
}
