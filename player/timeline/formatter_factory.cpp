#include "player/timeline/formatter_factory.h"

#include "player/timeline/fake_frame_formatter.h"
#include "player/timeline/frame_formatter.h"
#include "player/timeline/time_code_formatter.h"
#include "player/timeline/time_formatter.h"

std::shared_ptr<GenericFormatter> FormatterFactory::formatterOfType(int mode)
{
    switch (mode) {
    case 1:
        return std::make_shared<TimeFormatter>(mode);
    case 2:
        return std::make_shared<TimeCodeFormatter>(mode);
    case 3:
        return std::make_shared<DropFrameFormatter>(mode);
    case 4:
        return std::make_shared<FrameFormatter>(mode);
    case 5:
        return std::make_shared<FakeFrameFormatter>(mode);
    default:
        return nullptr;
    }
}
