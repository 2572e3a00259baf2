#include "platform/mvkit/streaming/network_deadline.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

#include <chrono>

namespace {

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

void MVNetworkDeadline::arm(double seconds)
{
    _timedOut = false;
    _limit = steadyNow() + seconds;
}

int MVNetworkDeadline::interrupted(void* opaque)
{
    auto* self = static_cast<MVNetworkDeadline*>(opaque);
    if (self->_cancelled)
        return 1;
    if (steadyNow() > self->_limit.load()) {
        self->_timedOut = true;
        return 1;
    }
    return 0;
}

std::string MVNetworkDeadline::errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool MVNetworkDeadline::isUnreachable(int code)
{
    for (int e : { ECONNREFUSED, ETIMEDOUT, ENETUNREACH, EHOSTUNREACH, ENETDOWN, EHOSTDOWN, ECONNRESET, EIO })
        if (code == AVERROR(e))
            return true;
    return false;
}
