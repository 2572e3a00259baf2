#pragma once
#include "platform/winkit/view.h"

#include <memory>

// MVPSliderDragIndicatorView: the mark that shows where media dragged over the slider would go in.
class MVPSliderDragIndicatorView : public HXView {
public:
    explicit MVPSliderDragIndicatorView(HXRect frame)
        : HXView(frame)
    {
    }
    static std::shared_ptr<MVPSliderDragIndicatorView> sliderDragIndicatorViewWithFrame(HXRect frame)
    {
        return std::make_shared<MVPSliderDragIndicatorView>(frame);
    }
    bool isOpaque() const override { return false; }
    void drawRect(HXRect dirtyRect) override;
};
