#pragma once
// MVPScrollView: shows the time display's own content, and swaps in a one-line message that scrolls up
// into view (and scrolls the content back in when the message goes). Two message fields are made once
// and used in turn; a change that arrives while an animation runs waits for its end, so neither a new
// message nor a hide request is lost.
#include "player/timeline/message_text_field.h"

#include "platform/winkit/view.h"

#include <memory>
#include <optional>
#include <string>

class HXScrollView;
class HXTimer;

class MVPScrollView : public HXView {
public:
    static constexpr double kScrollInterval = 0.05; // seconds per step
    static constexpr double kScrollStep = 2; // points per step

    // Without a content view the scroll view shows an empty message line until it gets one.
    static std::shared_ptr<MVPScrollView> scrollViewWithFrame(
        HXRect frame, std::shared_ptr<HXView> contentView = nullptr, unsigned style = 0);
    explicit MVPScrollView(HXRect frame = HXZeroRect, unsigned style = 0);
    ~MVPScrollView() override;

    std::shared_ptr<HXView> contentView() const { return _contentView; }
    void setContentView(std::shared_ptr<HXView> view);
    unsigned style() const { return _style; }
    void setStyle(unsigned style);

    // Shows `text` (scrolling it in, or replacing the shown message when `scroll` is false), or with
    // `show` false brings the content back.
    void showMessage(bool show, const std::string& text, bool scroll);

    std::shared_ptr<MVPMessageTextField> inactiveMessageTextField();
    std::shared_ptr<HXView> activeView() const { return _activeView; }
    bool isAnimating() const { return _scrollOutView != nullptr; }

    void viewWillMoveToSuperview(HXView* newSuperview) override;

private:
    std::shared_ptr<MVPMessageTextField> createMessageTextField();
    void scrollInView(const std::shared_ptr<HXView>& view);
    void updateScrollTimer();
    void setScrollTimer(std::shared_ptr<HXTimer> timer);
    bool messageFieldIsActive() const;

    std::shared_ptr<HXView> _contentView;
    std::shared_ptr<MVPMessageTextField> _messageTextField1;
    std::shared_ptr<MVPMessageTextField> _messageTextField2;
    std::shared_ptr<HXView> _activeView;
    std::shared_ptr<HXView> _scrollOutView;
    std::shared_ptr<HXView> _queuedView;
    std::optional<std::string> _queuedMessageString;
    std::shared_ptr<HXTimer> _scrollTimer;
    unsigned _style = 0;
};

// The page, line, home and end keys of scroll views, the same whichever way the document view is
// oriented: "down" and "end" go towards the end of the document (larger y in a flipped document, smaller
// y otherwise). A page keeps the scroll view's page-scroll amount of the last page in view, as the
// scroll view's own paging does.
namespace MVPScrollViewKeyBinding {

void scrollPageDown(HXScrollView& scrollView);
void scrollPageUp(HXScrollView& scrollView);
void scrollLineDown(HXScrollView& scrollView);
void scrollLineUp(HXScrollView& scrollView);
void scrollToBeginningOfDocument(HXScrollView& scrollView);
void scrollToEndOfDocument(HXScrollView& scrollView);

// Gives `scrollView` the six operations as actions ("scrollPageDown:", "scrollPageUp:",
// "scrollLineDown:", "scrollLineUp:", "scrollToBeginningOfDocument:", "scrollToEndOfDocument:").
void install(HXScrollView& scrollView);

} // namespace MVPScrollViewKeyBinding
