#pragma once
// MVPMessageTextField: the one-line status text the time display scrolls in over its content, in the
// player window's look (0) or the full-screen look (1).
#include "platform/winkit/text_field.h"

#include <memory>

class MVPMessageTextField : public HXTextField {
public:
    static std::shared_ptr<MVPMessageTextField> messageTextFieldWithFrame(HXRect frame, unsigned style = 0);
    explicit MVPMessageTextField(HXRect frame = HXZeroRect, unsigned style = 0);

    unsigned style() const { return _style; }
    void setStyle(unsigned style);

    void drawRect(HXRect dirtyRect) override;

private:
    unsigned _style = 0;
};
