#pragma once
// MVPMetadataPane: the text annotations of a movie or track (title, artist, copyright ...) as a table
// of field and value. Fields are added from the "Add Field" menu, changed in the row's pop-up, edited and
// removed; every change goes straight into the object's user data (and, for the common fields, its
// metadata) and is undoable on the movie's undo manager.
#include "platform/winkit/button.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/pop_up_button_cell.h"
#include "platform/winkit/table_view.h"

#include "inspectors/pane_interface.h"

#include <map>
#include <optional>

// The 28 fields in menu order, with their annotation codes.
struct MVPAnnotationField {
    const char* name;
    uint32_t code;
};
const std::vector<MVPAnnotationField>& MVPAnnotationFields();
// Whether the field is offered in the menus even when the object lacks it.
bool IsDefaultAnnotation(const std::string& field);
// The code of a field; 0 for an unknown one.
uint32_t GetAnnotationTypeForKey(const std::string& field);
// User-data key format for codes starting with byte 0xA9, the common format for the others.
uint32_t MVPAnnotationKeyFormat(uint32_t code);
// The classic user-data text item that holds a field (the item other programs write and read): '©nam'
// for "name" and so on; codes that are items themselves stay as they are.
uint32_t MVPUserDataCodeForField(uint32_t code);

class MVPMetadataPane : public HXObject,
                        public MVPPropertyInspector,
                        public HXTableViewDataSource,
                        public HXTableViewDelegate,
                        public HXMenuDelegate {
public:
    MVPMetadataPane(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle);
    ~MVPMetadataPane() override;

    std::shared_ptr<HXView> view() override;
    HXSize maxViewSize() override;
    void stopInspection() override;

    const std::vector<std::string>& keyList() const { return _keyList; }
    std::optional<std::string> objectForKey(const std::string& field) const;
    const std::string& locale() const { return _mvLocale; }

    // The editing operations (each undoable).
    void setObjectForKey(const std::optional<std::string>& value, const std::string& field);
    void replaceKey(const std::string& oldField, const std::string& newField);
    void addKey(const std::string& field);
    void removeKey(const std::string& field);
    void removeKeys(const std::vector<std::string>& fields);
    void addField(HXObject* sender);
    void removeSelection(HXObject* sender);

    // The object's annotation of a field, read, written and removed in its storages.
    std::optional<std::string> annotationForKey(const std::string& field) const;
    void setAnnotationForKey(const std::string& field, const std::string& annotation);
    void removeAnnotationForKey(const std::string& field);

    // Menus: the table's field pop-up and the "Add Field" pull-down, filled for the modifier keys held.
    void updatePopUpMenu(uint32_t modifierFlags = 0);
    void updatePullDownMenu(uint32_t modifierFlags = 0);
    const std::shared_ptr<HXMenu>& popUpMenu() const { return _popUpMenu; }
    const std::shared_ptr<HXMenu>& pullDownMenu() const { return _pullDownMenu; }
    void menuNeedsUpdate(HXMenu& menu) override;

    const std::shared_ptr<HXTableView>& table() const { return _table; }
    const std::shared_ptr<HXButton>& removeButton() const { return _button; }

    long numberOfRowsInTableView(HXTableView& table) override;
    HXPropertyList objectValueForTableColumn(HXTableView& table, HXTableColumn* column, long row) override;
    void setObjectValue(HXTableView& table, const HXPropertyList& value, HXTableColumn* column, long row) override;
    void tableViewSelectionDidChange(HXTableView& table) override;
    // The field pop-up of a row shows the row's field.
    void willDisplayCell(HXTableView& table, HXCell& cell, HXTableColumn* column, long row) override;

private:
    HXUndoManager* undoManager() const;
    void registerReload();
    void fillMenu(HXMenu& menu, uint32_t modifierFlags, bool pullDown);
    MVUserData* userData() const;
    MVMetadata* metadata() const;
    void objectChanged();

    MVPInspectedObject _object;
    std::shared_ptr<HXBundle> _bundle;
    std::shared_ptr<HXView> _view;
    std::shared_ptr<HXTableView> _table;
    std::shared_ptr<HXPopUpButton> _popup;
    std::shared_ptr<HXButton> _button;
    std::shared_ptr<HXMenu> _popUpMenu;
    std::shared_ptr<HXMenu> _pullDownMenu;
    std::vector<std::string> _keyList;
    std::map<std::string, std::string> _valueDict;
    std::string _mvLocale;
};

class MVPMetadataPaneFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPMetadataPane"; }
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};
