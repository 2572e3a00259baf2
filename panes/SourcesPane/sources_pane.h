#pragma once
// MVPSourcesPane: the list of the data references a movie or track draws its media from, with a name
// and a source for each; a double click opens the selected references as movies, "reveal:" shows the
// referenced files in the file manager.
#include "key_value_pane.h"

#include "platform/mvkit/data_reference.h"
#include "platform/winkit/table_view.h"

#include <functional>

class MVPSourcesPane : public HXObject, public MVPPropertyInspector, public HXTableViewDataSource {
public:
    MVPSourcesPane(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle, MVPPaneHost* host);

    std::shared_ptr<HXView> view() override;
    // No upper bound: the list grows with the window.
    HXSize maxViewSize() override;

    const std::vector<MVDataReference>& dataRefs() const { return _dataRefs; }
    const std::shared_ptr<HXTableView>& table() const { return _table; }

    // The texts of the two columns for a reference.
    std::string sourceForReference(const MVDataReference& ref) const;
    std::string nameForReference(const MVDataReference& ref) const;
    // The kind name of a reference, localized.
    std::string kindName(const MVDataReference& ref) const;

    void open(HXObject* sender);
    void reveal(HXObject* sender);
    // What reveal: calls for each file (the desktop's file manager unless replaced).
    std::function<bool(const std::string&)> selectFileInFileViewer;

    long numberOfRowsInTableView(HXTableView& table) override;
    HXPropertyList objectValueForTableColumn(HXTableView& table, HXTableColumn* column, long row) override;

private:
    std::vector<MVDataReference> _dataRefs;
    std::shared_ptr<HXBundle> _bundle;
    MVPPaneHost* _host = nullptr;
    std::shared_ptr<HXView> _view;
    std::shared_ptr<HXTableView> _table;
};

class MVPSourcesPaneFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPSourcesPane"; }
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};
