// The streaming statistics pane: the sample history, the graph's good and bad bars, and sampling only
// while the movie plays and the pane is shown.
#include "throughput_pane.h"

#include "pane_test_support.h"

#include "platform/mvkit/track.h"
#include "platform/winkit/form_cell.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

// The bars of a path as (x, top) pairs.
std::vector<std::pair<double, double>> bars(const HXBezierPath& path)
{
    std::vector<std::pair<double, double>> out;
    for (int i = 0; i + 1 < path.elementCount(); i += 2) {
        HXPoint from, to;
        path.elementAtIndex(i, &from);
        path.elementAtIndex(i + 1, &to);
        EXPECT_EQ(from.y, 1);
        EXPECT_EQ(from.x, to.x);
        out.emplace_back(to.x, to.y);
    }
    return out;
}

} // namespace

TEST(ThroughputPane, HistoryKeepsTheLastSamples)
{
    auto history = MVPStreamingNetworkHistory::history(128, -1.0f);
    ASSERT_TRUE(history);
    EXPECT_EQ(history->max(), -1.0f);
    EXPECT_EQ(history->average(), -1.0f);
    EXPECT_EQ(history->numberOfStreamingGraphValues(), 0u);
    EXPECT_FALSE(MVPStreamingNetworkHistory::history(0, -1.0f));

    history->addSample(1000); // drops out after 128 more
    for (int i = 1; i <= 128; ++i)
        history->addSample(float(i));
    EXPECT_EQ(history->numberOfStreamingGraphValues(), 128u);
    EXPECT_FLOAT_EQ(history->average(), 64.5f) << "the mean of 1 … 128 only";
    EXPECT_EQ(history->max(), 128.0f) << "the old maximum fell off";
    EXPECT_EQ(history->graphValueAtIndex(0), 128.0f) << "newest first";
    EXPECT_EQ(history->graphValueAtIndex(127), 1.0f);

    struct Case {
        MVPThresholdType type;
        float threshold, expected;
        bool has;
    } cases[] = { { MVPThresholdFixed, 10, 10, true }, { MVPThresholdRelative, 0.5f, 64, true },
        { MVPThresholdNone, 1, 128, false } };
    for (const auto& c : cases) {
        auto h = MVPStreamingNetworkHistory::history(128, -1.0f, false, c.threshold, c.type);
        for (int i = 1; i <= 128; ++i)
            h->addSample(float(i));
        EXPECT_EQ(h->errorThreshold(), c.expected) << c.type;
        EXPECT_EQ(h->hasErrorThreshold(), c.has) << c.type;
    }
}

TEST(ThroughputPane, GraphDrawsBadSamplesInTheErrorPath)
{
    auto movie = MVMovie::movie();
    MVPThroughputPane pane(movie->newTrack(MVMediaTypeStream, 600), paneBundle("ThroughputPane"));
    pane.view();
    struct Case {
        const char* what;
        std::shared_ptr<MVPStreamingNetworkGraphView> graph;
        std::vector<float> samples; // oldest first
        size_t good, bad;
    } cases[] = {
        { "loss of exactly 10 is good, 10.5 bad", pane.packetLossGraphView(), { 10.0f, 10.5f, 3.0f }, 2, 1 },
        { "buffer of 0.2 is bad", pane.bufferSizeGraphView(), { 0.2f, 0.25f, 1.0f }, 2, 1 },
        { "data rate has no threshold", pane.dataRateGraphView(), { 0.0f, 1e6f, 5.0f }, 3, 0 },
    };
    for (const auto& c : cases) {
        auto history = std::dynamic_pointer_cast<MVPStreamingNetworkHistory>(c.graph->dataSource());
        ASSERT_TRUE(history) << c.what;
        for (float v : c.samples)
            history->addSample(v);
        c.graph->reloadData();
        EXPECT_EQ(bars(c.graph->okPath()).size(), c.good) << c.what;
        EXPECT_EQ(bars(c.graph->errorPath()).size(), c.bad) << c.what;
    }
    // The newest sample at the right edge, one point apart, scaled to the height.
    auto loss = bars(pane.packetLossGraphView()->okPath());
    double width = pane.packetLossGraphView()->bounds().size.width;
    double height = pane.packetLossGraphView()->bounds().size.height;
    EXPECT_EQ(loss[0].first, width - 1.5);
    EXPECT_DOUBLE_EQ(loss[0].second, 3.0 * (height - 2) / 10.5 + 1);
    EXPECT_EQ(loss[1].first, width - 3.5);

    // All zeros: one-point stubs, no division by a zero maximum.
    auto zeros = MVPStreamingNetworkHistory::history(128, -1.0f);
    MVPStreamingNetworkGraphView graph(HXRect { {}, { 130, 60 } });
    graph.setDataSource(zeros);
    for (int i = 0; i < 3; ++i)
        zeros->addSample(0);
    graph.reloadData();
    for (auto [x, top] : bars(graph.okPath()))
        EXPECT_EQ(top, 2) << x;
    EXPECT_EQ(bars(graph.okPath()).size(), 3u);
}

TEST(ThroughputPane, SamplesOnlyWhilePlayingAndShown)
{
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVMediaTypeStream, 600);
    MVPThroughputPaneFactory factory;
    factory.setBundle(paneBundle("ThroughputPane"));
    EXPECT_TRUE(factory.canInspectObject(MVPInspectedObject(track)));
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(movie->newTrack(MVFourCC("vide"), 600, 64, 48))));
    auto pane = std::dynamic_pointer_cast<MVPThroughputPane>(factory.propertyInspectorForObject(MVPInspectedObject(track)));
    ASSERT_TRUE(pane);
    track->setAttributeForKey(2048.0 * 8, MVTrackStreamingBitsPerSecondAttribute);
    track->setAttributeForKey(12.5, MVTrackStreamingPercentLostAttribute);
    track->setAttributeForKey(1.5, MVTrackStreamingBufferDurationAttribute);
    pane->startInspection();
    EXPECT_TRUE(pane->isTimerRunning());

    // Stopped: nothing sampled, current values empty.
    pane->gatherStatistics();
    EXPECT_EQ(pane->dataRateHistory()->sampleCount(), 0u);
    EXPECT_EQ(pane->dataRateForm()->cellWithTag(0)->stringValue(), "");

    movie->setRate(1.0f);
    EXPECT_TRUE(pane->isTimerRunning());
    pane->gatherStatistics();
    EXPECT_EQ(pane->dataRateHistory()->sampleCount(), 1u);
    EXPECT_EQ(pane->dataRateForm()->cellWithTag(0)->stringValue(), "16.00");
    EXPECT_EQ(pane->packetLossForm()->cellWithTag(2)->stringValue(), "12.50");
    EXPECT_EQ(pane->bufferSizeForm()->cellWithTag(1)->stringValue(), "1.50");
    EXPECT_EQ(bars(pane->packetLossGraphView()->errorPath()).size(), 1u);

    movie->setRate(0);
    EXPECT_FALSE(pane->isTimerRunning());
    EXPECT_EQ(pane->packetLossForm()->cellWithTag(0)->stringValue(), "");
    EXPECT_EQ(pane->packetLossForm()->cellWithTag(2)->stringValue(), "12.50") << "average and maximum stay";

    // Hidden: playing again starts nothing.
    pane->stopInspection();
    movie->setRate(1.0f);
    EXPECT_FALSE(pane->isTimerRunning());
    movie->setRate(0);
}
