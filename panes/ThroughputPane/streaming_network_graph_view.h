#pragma once
// MVPStreamingNetworkGraphView: one streaming statistic as a bar graph of its samples, one point a
// sample with the newest at the right edge; samples on the bad side of the threshold are drawn red.
#include "streaming_network_history.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/winkit/view.h"

class MVPStreamingNetworkGraphView : public HXView {
public:
    using HXView::HXView;
    static float undefinedGraphValue() { return -1.0f; }
    static HXColor goodColor();
    static HXColor errorColor();

    void setDataSource(const std::shared_ptr<MVPStreamingGraphDataSource>& source);
    std::shared_ptr<MVPStreamingGraphDataSource> dataSource() const { return _dataSource.lock(); }
    void reloadData();

    const HXBezierPath& okPath() const { return _okPath; }
    const HXBezierPath& errorPath() const { return _errorPath; }

    bool isOpaque() const override { return true; }
    void drawRect(HXRect dirtyRect) override;

private:
    std::weak_ptr<MVPStreamingGraphDataSource> _dataSource;
    HXBezierPath _okPath, _errorPath;
};
