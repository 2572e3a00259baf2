#include "platform/mvkit/stream.h"

#include "platform/mvkit/atoms/four_char_code.h"

#include <cmath>
#include <cstdio>

MVStream::MVStream(Description description, std::shared_ptr<const MVStreamingStatistics> statistics)
    : _description(std::move(description))
    , _statistics(std::move(statistics))
{
}

bool MVStream::isVideo() const
{
    return _description.mediaType == MVFourCC("vide");
}

bool MVStream::isAudio() const
{
    return _description.mediaType == MVFourCC("soun");
}

std::string MVAudioFormatSummary(const std::string& codecName, int channelCount, double sampleRate)
{
    std::string text = codecName;
    if (channelCount == 1)
        text += ", Mono";
    else if (channelCount == 2)
        text += ", Stereo";
    else if (channelCount > 2)
        text += ", " + std::to_string(channelCount) + " channels";
    if (sampleRate > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.3f", sampleRate / 1000.0);
        text += std::string(", ") + rate + " kHz";
    }
    return text;
}

std::string MVStream::audioFormatString() const
{
    return MVAudioFormatSummary(_description.codecName, _description.channelCount, _description.sampleRate);
}

std::string MVStream::videoFormatString() const
{
    return _description.codecName;
}

int32_t MVStream::packetsLostPercent() const
{
    if (!_statistics || _statistics->bytesReceived == 0)
        return -1;
    return int32_t(std::lround(_statistics->percentLost * 65536.0));
}
