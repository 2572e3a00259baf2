#pragma once
// MVPStreamingNetworkHistory: the last samples of one streaming statistic, newest first, with their
// average and maximum, and the threshold past which a sample counts as bad. It is the data source of a
// graph view.
#include <cstdint>
#include <memory>
#include <vector>

// What a graph view asks of its data.
class MVPStreamingGraphDataSource {
public:
    virtual ~MVPStreamingGraphDataSource() = default;
    virtual uint32_t numberOfStreamingGraphValues() const = 0;
    virtual float graphValueAtIndex(uint32_t index) const = 0; // 0: the newest
    virtual float maxGraphValue() const = 0;
    virtual bool exceedingErrorThresholdIsGood() const = 0;
    virtual float errorThreshold() const = 0;
    virtual bool hasErrorThreshold() const = 0;
};

enum MVPThresholdType : int32_t {
    MVPThresholdFixed = 0, // the threshold itself
    MVPThresholdRelative = 1, // the threshold times the maximum
    MVPThresholdNone = 2,
};

class MVPStreamingNetworkHistory : public MVPStreamingGraphDataSource {
public:
    // Null when `size` is 0 or the samples cannot be held.
    static std::shared_ptr<MVPStreamingNetworkHistory> history(uint32_t size, float undefinedValue,
        bool exceedingErrorThresholdIsGood = false, float errorThreshold = 1.0f,
        MVPThresholdType thresholdType = MVPThresholdNone);

    void addSample(float value);
    float average() const { return _average; }
    float max() const { return _max; }
    uint32_t sampleCount() const { return _nSamples; }

    uint32_t numberOfStreamingGraphValues() const override { return std::min(_nSamples, _maxHistoryValues); }
    float graphValueAtIndex(uint32_t index) const override;
    float maxGraphValue() const override { return _max; }
    bool exceedingErrorThresholdIsGood() const override { return _exceedingErrorThresholdIsGood; }
    float errorThreshold() const override;
    bool hasErrorThreshold() const override { return _thresholdType != MVPThresholdNone; }

    MVPStreamingNetworkHistory(uint32_t size, float undefinedValue, bool exceedingIsGood, float threshold,
        MVPThresholdType type);

private:
    uint32_t _maxHistoryValues;
    uint32_t _nSamples = 0;
    float _max;
    float _average;
    float _sum = 0;
    std::vector<float> _history;
    bool _exceedingErrorThresholdIsGood;
    float _errorThreshold;
    MVPThresholdType _thresholdType;
};
