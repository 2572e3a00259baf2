#pragma once
// MVPThroughputPane: the statistics of a streaming track: once a second while the movie plays it samples
// the data rate, packet loss and buffer duration, shows each one's current, average and maximum value
// and draws the last 128 samples of each as a graph.
#include "streaming_network_graph_view.h"
#include "streaming_network_history.h"

#include "inspectors/pane_interface.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/form.h"


class MVPThroughputPane : public MVPPropertyInspector {
public:
    static constexpr uint32_t historySize = 128;

    MVPThroughputPane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle);
    ~MVPThroughputPane() override;

    std::shared_ptr<HXView> view() override;
    void startInspection() override;
    void stopInspection() override;

    void startTimer();
    void stopTimer();
    bool isTimerRunning() const { return _gatherStatisticsTimer && _gatherStatisticsTimer->isValid(); }
    void gatherStatistics();
    bool isPlaying() const;

    const std::shared_ptr<HXForm>& dataRateForm() const { return _dataRateForm; }
    const std::shared_ptr<HXForm>& packetLossForm() const { return _packetLossForm; }
    const std::shared_ptr<HXForm>& bufferSizeForm() const { return _bufferSizeForm; }
    const std::shared_ptr<MVPStreamingNetworkGraphView>& packetLossGraphView() const { return _packetLossGraphView; }
    const std::shared_ptr<MVPStreamingNetworkGraphView>& dataRateGraphView() const { return _dataRateGraphView; }
    const std::shared_ptr<MVPStreamingNetworkGraphView>& bufferSizeGraphView() const { return _bufferSizeGraphView; }
    const std::shared_ptr<MVPStreamingNetworkHistory>& dataRateHistory() const { return _dataRateHistory; }

private:
    void rateChanged(const HXNotification& notification);

    std::shared_ptr<MVTrack> _track;
    std::shared_ptr<HXBundle> _bundle;
    std::shared_ptr<HXTimer> _gatherStatisticsTimer;
    std::shared_ptr<MVPStreamingNetworkHistory> _dataRateHistory, _packetLossHistory, _bufferSizeHistory;
    bool _isPlaying = false;
    std::optional<HXObserverToken> _rateObserver;
    std::shared_ptr<HXForm> _dataRateForm, _packetLossForm, _bufferSizeForm;
    std::shared_ptr<HXView> _view;
    std::shared_ptr<MVPStreamingNetworkGraphView> _dataRateGraphView, _packetLossGraphView, _bufferSizeGraphView;
};

class MVPThroughputPaneFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPThroughputPane"; }
    bool canInspectObject(const MVPInspectedObject& object) override;
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};
