#pragma once
// MVPChapterPopUpButton: the time display's chapter menu, drawn in the player window's look (style 0) or
// the full-screen heads-up look (style 1). Each item is tagged with the 1-based index of its chapter, so
// an item leads to its own chapter even when chapters without a name have no item.
#include "platform/drawing/attributed_string.h"
#include "platform/winkit/pop_up_button.h"

#include <memory>
#include <string>

class MVPChapterPopUpButton : public HXPopUpButton {
public:
    static constexpr double kChapterTextFSWidth = 78;
    static constexpr double kChapterTextXOffset = 5;
    static constexpr double kChapterTextYOffset = 1;
    static constexpr double kChapterArrowsWidth = 6;
    static constexpr double kChapterTextHeight = 13;
    static constexpr double kChapterTextFSHeight = 12;

    static std::shared_ptr<MVPChapterPopUpButton> chapterPopUpButtonWithFrame(
        HXRect frame, unsigned style = 0);
    explicit MVPChapterPopUpButton(HXRect frame = HXZeroRect, unsigned style = 0);

    unsigned style() const { return _style; }
    void setStyle(unsigned style);

    // Adds an item for chapter `chapterIndex` (1-based); titles may repeat.
    void addChapterItem(const std::string& title, long chapterIndex);

    // The width the widest title needs (78 in the heads-up look).
    double naturalWidth() const;
    // Where the selected title is drawn inside `bounds`.
    HXRect titleRectForBounds(HXRect bounds) const;
    static const HXStringAttributes& textAttributes(unsigned style);

    void drawRect(HXRect dirtyRect) override;

private:
    unsigned _style = 0;
};
