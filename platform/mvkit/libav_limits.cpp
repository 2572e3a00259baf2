#include "platform/mvkit/libav_limits.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <mutex>

void MVLimitLibavAllocations()
{
    static std::once_flag once;
    std::call_once(once, [] { av_max_alloc(size_t(256) << 20); });
}
