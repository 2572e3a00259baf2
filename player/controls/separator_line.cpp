#include "player/controls/separator_line.h"

void SeparatorLine::drawRect(HXRect dirtyRect)
{
    // Only when it differs: setting the colour asks for drawing again.
    HXColor white = HXColor::colorWithCalibratedWhite(1.0, 1.0);
    if (!(borderColor() == white))
        setBorderColor(white);
    HXBox::drawRect(dirtyRect);
}
