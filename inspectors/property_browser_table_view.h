#pragma once
// MVPPropertyBrowserTableView: the table of the properties window. Key commands go first to the window's
// controller (so the left and right arrows switch pane tabs and the delete keys delete tracks); the table
// keeps its own row moves, and a click in an editable check-box column flips that row's value.
#include "platform/winkit/table_view.h"

#include <functional>

class HXMenu;

class MVPPropertyBrowserTableView : public HXTableView {
public:
    using HXTableView::HXTableView;

    // The controller that gets the commands first (the table's delegate).
    HXObject* commandTarget() const { return _commandTarget; }
    void setCommandTarget(HXObject* target) { _commandTarget = target; }

    // The context menu (the column menu).
    void setMenuProvider(std::function<std::shared_ptr<HXMenu>()> provider)
    {
        _menuProvider = std::move(provider);
    }

    void doCommandBySelector(HXSelector command) override;
    void rightMouseDown(const HXEvent& event) override;
    void mouseDown(const HXEvent& event) override;

    // The row commands, each followed by scrolling the row it names into view.
    void moveUp(bool modifySelection);
    void moveDown(bool modifySelection);
    void moveToBeginningOfDocument(bool modifySelection);
    void moveToEndOfDocument(bool modifySelection);
    void centerSelectionInVisibleArea();

private:
    HXObject* _commandTarget = nullptr;
    std::function<std::shared_ptr<HXMenu>()> _menuProvider;
};
