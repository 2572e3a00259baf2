#pragma once
// MVTableView: a table view whose Delete key asks its data source to delete the selected rows.
#include "platform/winkit/table_view.h"

#include <optional>

class MVTableView;

class MVTableViewDataSource {
public:
    virtual ~MVTableViewDataSource() = default;
    // Nothing (std::nullopt) means "does not answer"; true that the rows were deleted.
    virtual std::optional<bool> mvTableViewDeleteObjectsAtRows(MVTableView& view, const HXIndexSet& rows)
    {
        (void)view, (void)rows;
        return std::nullopt;
    }
};

class MVTableView : public HXTableView {
public:
    explicit MVTableView(HXRect frame = HXZeroRect);

    std::shared_ptr<MVTableViewDataSource> requestDataSource() const { return _requestSource.lock(); }
    void setRequestDataSource(const std::shared_ptr<MVTableViewDataSource>& source)
    {
        _requestSource = source;
    }

    void keyDown(const HXEvent& event) override;

private:
    std::weak_ptr<MVTableViewDataSource> _requestSource;
};
