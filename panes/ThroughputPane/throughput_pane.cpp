#include "throughput_pane.h"

#include "pane_views.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/form_cell.h"

#include <cstdio>

namespace {

std::string formatValue(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", double(value));
    return text;
}

float trackNumber(const MVTrack& track, const char* key)
{
    HXPropertyList value = track.attributeForKey(key);
    return value.isNumber() ? float(value.realValue()) : 0.0f;
}

} // namespace

MVPThroughputPane::MVPThroughputPane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle)
    : _track(std::move(track))
    , _bundle(std::move(bundle))
{
    float undefined = MVPStreamingNetworkGraphView::undefinedGraphValue();
    _dataRateHistory = MVPStreamingNetworkHistory::history(historySize, undefined, false, 1.0f, MVPThresholdNone);
    _packetLossHistory = MVPStreamingNetworkHistory::history(historySize, undefined, false, 10.0f, MVPThresholdFixed);
    _bufferSizeHistory = MVPStreamingNetworkHistory::history(historySize, undefined, true, 0.25f, MVPThresholdFixed);
}

MVPThroughputPane::~MVPThroughputPane()
{
    stopInspection();
}

std::shared_ptr<HXView> MVPThroughputPane::view()
{
    if (_view)
        return _view;
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });
    struct Row {
        const char* title;
        std::shared_ptr<HXForm>* form;
        std::shared_ptr<MVPStreamingNetworkGraphView>* graph;
        std::shared_ptr<MVPStreamingNetworkHistory> history;
    } rows[] = {
        { "Data Rate", &_dataRateForm, &_dataRateGraphView, _dataRateHistory },
        { "Packet Loss", &_packetLossForm, &_packetLossGraphView, _packetLossHistory },
        { "Buffer", &_bufferSizeForm, &_bufferSizeGraphView, _bufferSizeHistory },
    };
    // One column per statistic: its name, the three values, and its graph below.
    double x = 8;
    for (const auto& row : rows) {
        _view->addSubview(MVPMakeLabel(HXRect { { x, 230 }, { 170, 18 } }, MVPLocalizedString(_bundle, row.title)));
        *row.form = std::make_shared<HXForm>(HXRect { { x, 136 }, { 170, 90 } });
        long tag = 0;
        for (const char* entry : { "Current", "Average", "Maximum" })
            (*row.form)->addEntry(MVPLocalizedString(_bundle, entry))->setTag(tag++);
        (*row.form)->setEntryWidth(170);
        (*row.form)->setInterlineSpacing(2);
        _view->addSubview(*row.form);
        *row.graph = std::make_shared<MVPStreamingNetworkGraphView>(HXRect { { x, 8 }, { historySize + 2, 120 } });
        (*row.graph)->setDataSource(row.history);
        _view->addSubview(*row.graph);
        x += 178;
    }
    return _view;
}

void MVPThroughputPane::startInspection()
{
    view();
    auto movie = _track->movie();
    if (!_rateObserver && movie) {
        _rateObserver = HXNotificationCenter::defaultCenter().addObserver(MVMovieRateDidChangeNotification,
            movie.get(), [this](const HXNotification& n) { rateChanged(n); });
    }
    _isPlaying = movie && (movie->rate() != 0 || movie->isPlaying());
    startTimer();
}

// Rate changes are followed only while the pane is shown, so a closed window samples nothing.
void MVPThroughputPane::stopInspection()
{
    if (_rateObserver)
        HXNotificationCenter::defaultCenter().removeObserver(*_rateObserver);
    _rateObserver.reset();
    stopTimer();
}

void MVPThroughputPane::rateChanged(const HXNotification& notification)
{
    const auto& info = notification.userInfo();
    auto it = info.find(MVMovieRateDidChangeNotificationParameter);
    double rate = it != info.end() ? it->second.realValue() : 0;
    if (rate != 0) {
        startTimer();
        _isPlaying = true;
    } else {
        stopTimer();
        _isPlaying = false;
    }
}

void MVPThroughputPane::startTimer()
{
    stopTimer();
    _gatherStatisticsTimer = HXTimer::scheduledTimer(1.0, true, [this](HXTimer&) { gatherStatistics(); });
}

void MVPThroughputPane::stopTimer()
{
    if (_gatherStatisticsTimer)
        _gatherStatisticsTimer->invalidate();
    _gatherStatisticsTimer.reset();
    for (const auto* form : { &_dataRateForm, &_packetLossForm, &_bufferSizeForm })
        if (*form)
            (*form)->cellWithTag(0)->setStringValue("");
}

bool MVPThroughputPane::isPlaying() const
{
    if (_isPlaying)
        return true;
    auto movie = _track->movie();
    return movie && movie->isPlaying();
}

void MVPThroughputPane::gatherStatistics()
{
    if (!isPlaying())
        return;
    view();
    struct Statistic {
        float sample;
        MVPStreamingNetworkHistory& history;
        HXForm& form;
    } statistics[] = {
        { trackNumber(*_track, MVTrackStreamingBitsPerSecondAttribute) / 1024.0f, *_dataRateHistory, *_dataRateForm },
        { trackNumber(*_track, MVTrackStreamingPercentLostAttribute), *_packetLossHistory, *_packetLossForm },
        { trackNumber(*_track, MVTrackStreamingBufferDurationAttribute), *_bufferSizeHistory, *_bufferSizeForm },
    };
    for (auto& s : statistics) {
        s.history.addSample(s.sample);
        s.form.cellWithTag(0)->setStringValue(formatValue(s.sample));
        s.form.cellWithTag(1)->setStringValue(formatValue(s.history.average()));
        s.form.cellWithTag(2)->setStringValue(formatValue(s.history.max()));
    }
    _dataRateGraphView->reloadData();
    _packetLossGraphView->reloadData();
    _bufferSizeGraphView->reloadData();
}

bool MVPThroughputPaneFactory::canInspectObject(const MVPInspectedObject& object)
{
    // The tab is offered for a track whose media says it is a stream.
    return object.isTrack() && object.track()
        && object.track()->attributeForKey(MVMediaTypeAttribute).stringValue() == MVStringForOSType(MVMediaTypeStream);
}

std::shared_ptr<MVPPropertyInspector> MVPThroughputPaneFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (!object.isTrack())
        return nullptr;
    return std::make_shared<MVPThroughputPane>(object.track(), bundle());
}
