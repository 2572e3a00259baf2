#include "streaming_network_graph_view.h"

HXColor MVPStreamingNetworkGraphView::goodColor()
{
    return HXColor::colorWithCalibratedRed(0, 0.5, 0, 1);
}

HXColor MVPStreamingNetworkGraphView::errorColor()
{
    return HXColor::colorWithCalibratedRed(0.8667, 0, 0, 1);
}

void MVPStreamingNetworkGraphView::setDataSource(const std::shared_ptr<MVPStreamingGraphDataSource>& source)
{
    _dataSource = source;
}

void MVPStreamingNetworkGraphView::reloadData()
{
    auto source = dataSource();
    if (!source) {
        _okPath = HXBezierPath::bezierPath();
        _errorPath = HXBezierPath::bezierPath();
        setNeedsDisplay(true);
        return;
    }
    uint32_t count = source->numberOfStreamingGraphValues();
    if (count == 0)
        return;
    _okPath = HXBezierPath::bezierPath();
    _errorPath = HXBezierPath::bezierPath();
    for (auto* path : { &_okPath, &_errorPath }) {
        path->setLineCapStyle(HXButtLineCapStyle);
        path->setLineWidth(1.0);
    }
    float max = source->maxGraphValue();
    bool threshold = source->hasErrorThreshold();
    float limit = threshold ? source->errorThreshold() : 0;
    bool exceedingIsGood = threshold && source->exceedingErrorThresholdIsGood();
    HXRect b = bounds();
    // A maximum of 0 (all samples 0) draws only the stubs.
    double scale = max > 0 ? (b.size.height - 2) / double(max) : 0;
    double x = b.size.width;
    for (uint32_t i = 0; i < count; ++i) {
        float value = source->graphValueAtIndex(i);
        bool bad = threshold && (exceedingIsGood ? value < limit : value > limit);
        HXBezierPath& path = bad ? _errorPath : _okPath;
        double column = x - 1.5;
        path.moveToPoint({ column, 1 });
        path.lineToPoint({ column, value != 0 ? double(value) * scale + 1 : 2 });
        x -= 1;
    }
    setNeedsDisplay(true);
}

void MVPStreamingNetworkGraphView::drawRect(HXRect dirtyRect)
{
    HXColor::whiteColor().setFill();
    HXBezierPath::fillRect(dirtyRect);
    HXColor::blackColor().setStroke();
    HXBezierPath::strokeRect(bounds());
    goodColor().setStroke();
    _okPath.stroke();
    errorColor().setStroke();
    _errorPath.stroke();
}
