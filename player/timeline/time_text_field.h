#pragma once
// MVPTimeTextField: a read-only "HH:MM:SS" readout of whole seconds, in three looks — plain (0), the
// full-screen heads-up display (1) and the recording window (2, with a light bevel edge above the text).
// It redraws only when the text changes.
#include "platform/mvkit/time.h"
#include "platform/winkit/text_field.h"

#include <memory>
#include <string>

class MVPTimeTextField : public HXTextField {
public:
    static std::shared_ptr<MVPTimeTextField> timeTextFieldWithFrame(HXRect frame, unsigned style = 0);
    explicit MVPTimeTextField(HXRect frame = HXZeroRect, unsigned style = 0);

    unsigned style() const { return _style; }
    void setStyle(unsigned style);
    void setTime(MVTime time);
    // The text of a time: whole seconds, hours not wrapped; "00:00:00" for a time that is not a number
    // of seconds.
    static std::string timeText(MVTime time);

    void drawRect(HXRect dirtyRect) override;

private:
    uint32_t _style = 0;
};
