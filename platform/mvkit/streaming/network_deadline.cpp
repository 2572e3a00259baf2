#include "platform/mvkit/streaming/network_deadline.h"

#include "platform/basekit/url.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

#include <cctype>
#include <chrono>
#include <cstdio>

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

std::string MVNetworkDeadline::errorClause(int code)
{
    std::string text = errorText(code);
    // "Connection refused" reads "connection refused" after a colon; "Server returned 400 Bad Request"
    // keeps the capitals of its status.
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0]))
        && !std::isupper(static_cast<unsigned char>(text[1])))
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string MVNetworkDeadline::serverOf(const std::string& url)
{
    auto parsed = HXURL::URLWithString(url);
    if (!parsed || parsed->host().empty())
        return "the server";
    std::string host = parsed->host();
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    if (auto port = parsed->port())
        host += ":" + std::to_string(*port);
    return "the server at " + host;
}

std::string MVNetworkDeadline::secondsText(double seconds)
{
    char number[32];
    std::snprintf(number, sizeof number, "%g", seconds);
    return std::string(number) + (seconds == 1 ? " second" : " seconds");
}

std::optional<std::string> MVNetworkDeadline::openFailureWords(
    int code, bool timedOut, double timeout, const std::string& url, const std::string& what)
{
    const std::string server = serverOf(url);
    if (timedOut)
        return server + " did not answer within " + secondsText(timeout);
    switch (code) {
    case AVERROR(ECONNREFUSED):
        return server + " refused the connection";
    case AVERROR_HTTP_NOT_FOUND:
        return server + " has nothing at this location (not found)";
    case AVERROR_HTTP_UNAUTHORIZED:
        return server + " does not let the player have this location (it asks for a name and password)";
    case AVERROR_HTTP_FORBIDDEN:
        return server + " does not let the player have this location (forbidden)";
    case AVERROR_HTTP_SERVER_ERROR:
        return server + " failed while answering (a server error)";
    case AVERROR_INVALIDDATA:
        return "what " + server + " sends is not a " + what + " the player can play";
    default:
        break;
    }
    if (isUnreachable(code))
        return server + " cannot be reached (" + errorClause(code) + ")";
    return std::nullopt;
}

std::string MVNetworkDeadline::openFailureReason(
    int code, bool timedOut, double timeout, const std::string& url, const std::string& what)
{
    return openFailureWords(code, timedOut, timeout, url, what).value_or(errorClause(code));
}
