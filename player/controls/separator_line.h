#pragma once
// SeparatorLine: a box drawn as a separator whose line is plain white, for dark panels.
#include "platform/winkit/box.h"

class SeparatorLine : public HXBox {
public:
    using HXBox::HXBox;
    void drawRect(HXRect dirtyRect) override;
};
