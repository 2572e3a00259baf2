#pragma once
// FormatterFactory: the formatter of a display mode of the time-code field.
//   1 hours, minutes, seconds          TimeFormatter
//   2 time code                        TimeCodeFormatter
//   3 drop-frame time code             DropFrameFormatter
//   4 frames of the time-code track    FrameFormatter
//   5 frames from the frame rate       FakeFrameFormatter
#include "player/timeline/generic_formatter.h"

#include <memory>

class FormatterFactory {
public:
    // A new formatter; null for any other mode.
    static std::shared_ptr<GenericFormatter> formatterOfType(int mode);
};
