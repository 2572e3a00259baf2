#pragma once
// MVOutlineView: an outline view that turns Delete, Return and Home/End into requests to its data source:
// Delete (or forward delete) asks to delete the selected rows, with a confirmation; Command-Delete deletes
// them without one; Return or Enter opens them; Home and End scroll to the first and last row.
#include "platform/winkit/outline_view.h"

#include <optional>

class MVOutlineView;

// The requests, each answered only by a data source that handles it: nothing (std::nullopt) means "does
// not answer", true that the request was carried out.
class MVOutlineViewDataSource {
public:
    virtual ~MVOutlineViewDataSource() = default;
    virtual std::optional<bool> mvOutlineViewDeleteObjectsAtRows(MVOutlineView& view, const HXIndexSet& rows)
    {
        (void)view, (void)rows;
        return std::nullopt;
    }
    virtual std::optional<bool> mvOutlineViewDeleteObjectsAtRows(
        MVOutlineView& view, const HXIndexSet& rows, bool confirmDialog)
    {
        (void)view, (void)rows, (void)confirmDialog;
        return std::nullopt;
    }
    virtual std::optional<bool> mvOutlineViewOpenObjectsAtRows(MVOutlineView& view, const HXIndexSet& rows)
    {
        (void)view, (void)rows;
        return std::nullopt;
    }
};

class MVOutlineView : public HXOutlineView {
public:
    explicit MVOutlineView(HXRect frame = HXZeroRect);

    // The object the requests go to (usually the outline's data source too).
    std::shared_ptr<MVOutlineViewDataSource> requestDataSource() const { return _requestSource.lock(); }
    void setRequestDataSource(const std::shared_ptr<MVOutlineViewDataSource>& source)
    {
        _requestSource = source;
    }

    void keyDown(const HXEvent& event) override;
    bool performKeyEquivalent(const HXEvent& event) override;
    // Rows leave as links, to this program or any other.
    unsigned draggingSourceOperationMaskForLocal(bool isLocal) override;

private:
    // The rows a request is about: none unless rows are selected and the view has the keyboard focus.
    bool canSendRequest() const;

    std::weak_ptr<MVOutlineViewDataSource> _requestSource;
};
