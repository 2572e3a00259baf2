#include "streaming_network_history.h"

#include <algorithm>
#include <new>

std::shared_ptr<MVPStreamingNetworkHistory> MVPStreamingNetworkHistory::history(
    uint32_t size, float undefinedValue, bool exceedingIsGood, float threshold, MVPThresholdType type)
{
    if (size == 0)
        return nullptr;
    try {
        return std::make_shared<MVPStreamingNetworkHistory>(size, undefinedValue, exceedingIsGood, threshold, type);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

MVPStreamingNetworkHistory::MVPStreamingNetworkHistory(
    uint32_t size, float undefinedValue, bool exceedingIsGood, float threshold, MVPThresholdType type)
    : _maxHistoryValues(size)
    , _max(undefinedValue)
    , _average(undefinedValue)
    , _history(size, undefinedValue)
    , _exceedingErrorThresholdIsGood(exceedingIsGood)
    , _errorThreshold(threshold)
    , _thresholdType(type)
{
}

void MVPStreamingNetworkHistory::addSample(float value)
{
    _sum += value;
    if (_nSamples < _maxHistoryValues) {
        ++_nSamples;
        _average = _sum / float(_nSamples);
    } else {
        _sum -= _history[_maxHistoryValues - 1];
        _average = _sum / float(_maxHistoryValues);
    }
    std::copy_backward(_history.begin(), _history.begin() + (_nSamples - 1), _history.begin() + _nSamples);
    _history[0] = value;
    _max = *std::max_element(_history.begin(), _history.begin() + _nSamples);
}

float MVPStreamingNetworkHistory::graphValueAtIndex(uint32_t index) const
{
    return index < _nSamples ? _history[index] : _history.back();
}

float MVPStreamingNetworkHistory::errorThreshold() const
{
    switch (_thresholdType) {
    case MVPThresholdFixed: return _errorThreshold;
    case MVPThresholdRelative: return _max * _errorThreshold;
    case MVPThresholdNone: return _max;
    }
    return 0;
}
