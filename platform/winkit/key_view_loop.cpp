#include "platform/winkit/key_view_loop.h"

#include "platform/winkit/text_view.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Whether the view could take the focus when shown: field editors lent to a field never count.
bool takesFocus(const HXView& view)
{
    if (auto* text = dynamic_cast<const HXTextView*>(&view); text && text->isFieldEditor())
        return false;
    return view.acceptsFirstResponder();
}

void collect(const std::shared_ptr<HXView>& view, std::vector<std::shared_ptr<HXView>>& out)
{
    for (const auto& sub : view->subviews()) {
        if (takesFocus(*sub))
            out.push_back(sub);
        collect(sub, out);
    }
}

}  // namespace

void HXRecalculateKeyViewLoop(HXView& root)
{
    std::vector<std::shared_ptr<HXView>> views;
    collect(std::static_pointer_cast<HXView>(root.shared_from_this()), views);
    if (views.empty())
        return;
    struct Place {
        double top;
        double left;
    };
    auto place = [](const HXView& v) {
        HXRect r = v.convertRectToView(v.bounds(), nullptr);  // base coordinates: y up
        return Place { -std::round(HXMaxY(r)), std::round(HXMinX(r)) };
    };
    std::stable_sort(views.begin(), views.end(), [&](const auto& a, const auto& b) {
        Place pa = place(*a), pb = place(*b);
        // Rows closer than a few points are one line.
        if (std::abs(pa.top - pb.top) > 4)
            return pa.top < pb.top;
        return pa.left < pb.left;
    });
    for (size_t i = 0; i < views.size(); ++i)
        views[i]->setNextKeyView(views[(i + 1) % views.size()]);
    if (auto window = root.window(); window && !window->initialFirstResponder())
        window->setInitialFirstResponder(views.front());
}

void HXRecalculateKeyViewLoop(HXWindow& window)
{
    if (auto content = window.contentView())
        HXRecalculateKeyViewLoop(*content);
}
