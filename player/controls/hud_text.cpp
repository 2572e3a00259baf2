#include "player/controls/hud_text.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/event.h"

HUDTextField::HUDTextField(HXRect frame)
    : HXTextField(frame)
{
    setTextColor(HXColor::colorWithCalibratedWhite(0.9, 1.0));
    setEditable(false);
    setBordered(false);
    // Light text straight on the dark panel: no frame of a field around it.
    setBezeled(false);
    setSelectable(false);
    setDrawsBackground(false);
}

HUDTextView::HUDTextView(HXRect frame)
    : HXTextView(frame)
{
    setEditable(false);
    setSelectable(true);
    setDrawsBackground(false);
    setTextColor(HXColor::colorWithCalibratedWhite(0.9, 1.0));
}

bool HUDTextView::resignFirstResponder()
{
    HXTextView::resignFirstResponder();
    setSelectedRange({ 0, 0 });
    return true;
}

void HUDTextView::mouseUp(const HXEvent& event)
{
    HXTextView::mouseUp(event);
    if ((event.modifierFlags() & HXControlKeyMask) && _hasToggle)
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(HUDTextClickedNotification, this));
}

void HUDTextView::flagsChanged(const HXEvent& event)
{
    bool control = (event.modifierFlags() & HXControlKeyMask) != 0;
    setSelectable(!(control && _hasToggle && isSelectable()));
    HXTextView::flagsChanged(event);
}
