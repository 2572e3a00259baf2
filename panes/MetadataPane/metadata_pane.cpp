#include "metadata_pane.h"

#include "pane_views.h"

#include "platform/basekit/fourcc.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/metadata.h"
#include "platform/mvkit/user_data.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cfloat>
#include <cstdlib>

namespace {

constexpr uint32_t kOptionKeyMask = 0x80000;

// The language of the user's locale ("fr_CH.UTF-8" → "fr"); "en" when none is set.
std::string userLanguage()
{
    for (const char* name : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(name);
        if (!value || !*value)
            continue;
        std::string language(value);
        language = language.substr(0, language.find_first_of("_.@"));
        if (language.empty() || language == "C" || language == "POSIX")
            break;
        return language;
    }
    return "en";
}

} // namespace

uint32_t MVPUserDataCodeForField(uint32_t code)
{
    static const std::map<uint32_t, uint32_t> items {
        { MVFourCC("albm"), 0xA9616C62 }, // ©alb
        { MVFourCC("arts"), 0xA9415254 }, // ©ART
        { MVFourCC("auth"), 0xA9617574 }, // ©aut
        { MVFourCC("cmmt"), 0xA9636D74 }, // ©cmt
        { MVFourCC("comp"), 0xA9636F6D }, // ©com
        { MVFourCC("cprt"), 0xA9637079 }, // ©cpy
        { MVFourCC("cdat"), 0xA9646179 }, // ©day
        { MVFourCC("desc"), 0xA9646573 }, // ©des
        { MVFourCC("dtor"), 0xA9646972 }, // ©dir
        { MVFourCC("genr"), 0xA967656E }, // ©gen
        { MVFourCC("name"), 0xA96E616D }, // ©nam
        { MVFourCC("info"), 0xA9696E66 }, // ©inf
        { MVFourCC("keyw"), 0xA96B6579 }, // ©key
        { MVFourCC("prod"), 0xA9707264 }, // ©prd
        { MVFourCC("perf"), 0xA9707266 }, // ©prf
        { MVFourCC("oris"), 0xA9737263 }, // ©src
        { MVFourCC("orif"), 0xA9666D74 }, // ©fmt
        { MVFourCC("soft"), 0xA9737772 }, // ©swr
        { MVFourCC("wrtr"), 0xA9777274 }, // ©wrt
    };
    auto it = items.find(code);
    return it == items.end() ? code : it->second;
}

namespace {

uint32_t userDataCode(uint32_t code)
{
    return MVPUserDataCodeForField(code);
}

bool isASCII(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x80; });
}

} // namespace

const std::vector<MVPAnnotationField>& MVPAnnotationFields()
{
    static const std::vector<MVPAnnotationField> fields {
        { "Album", MVFourCC("albm") },
        { "Artist", MVFourCC("arts") },
        { "Author", MVFourCC("auth") },
        { "Comment", MVFourCC("cmmt") },
        { "Composer", MVFourCC("comp") },
        { "Copyright", MVFourCC("cprt") },
        { "Creation date", MVFourCC("cdat") },
        { "Description", MVFourCC("desc") },
        { "Director", MVFourCC("dtor") },
        { "Disclaimer", 0xA9646973 },
        { "Encoded By", 0xA9656E63 },
        { "Genre", MVFourCC("genr") },
        { "Title", MVFourCC("name") },
        { "Information", MVFourCC("info") },
        { "Keywords", MVFourCC("keyw") },
        { "Producer", MVFourCC("prod") },
        { "Track Number", 0xA974726B },
        { "Performers", MVFourCC("perf") },
        { "URL Link", 0xA975726C },
        { "Playback Requirements", 0xA9726571 },
        { "Original Artist", 0xA96F7065 },
        { "Original Source", MVFourCC("oris") },
        { "Original Format", MVFourCC("orif") },
        { "Software", MVFourCC("soft") },
        { "Product", 0xA9505244 },
        { "Warning", 0xA977726E },
        { "Writer", MVFourCC("wrtr") },
        { "Year", MVFourCC("year") },
    };
    return fields;
}

bool IsDefaultAnnotation(const std::string& field)
{
    static const std::vector<std::string> defaults { "Album", "Artist", "Author", "Comment", "Copyright",
        "Creation date", "Description", "Director", "Information", "Keywords", "Title", "Producer", "Software",
        "Year" };
    return std::find(defaults.begin(), defaults.end(), field) != defaults.end();
}

uint32_t GetAnnotationTypeForKey(const std::string& field)
{
    for (const auto& f : MVPAnnotationFields())
        if (field == f.name)
            return f.code;
    return 0;
}

uint32_t MVPAnnotationKeyFormat(uint32_t code)
{
    return (code >> 24) == 0xA9 ? MVMetadataKeyFormatUserData : MVMetadataKeyFormatCommon;
}

MVPMetadataPane::MVPMetadataPane(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle)
    : _object(object)
    , _bundle(std::move(bundle))
    , _mvLocale(userLanguage())
{
    for (const auto& field : MVPAnnotationFields()) {
        auto value = annotationForKey(field.name);
        if (value && !value->empty()) {
            _keyList.push_back(field.name);
            _valueDict[field.name] = *value;
        }
    }
}

MVPMetadataPane::~MVPMetadataPane()
{
    if (auto* manager = undoManager()) {
        if (_table)
            manager->removeAllActionsWithTarget(_table.get());
        manager->removeAllActionsWithTarget(this);
    }
}

HXUndoManager* MVPMetadataPane::undoManager() const
{
    return _object.movie() ? _object.movie()->undoManager() : nullptr;
}

MVUserData* MVPMetadataPane::userData() const
{
    if (_object.isTrack())
        return &_object.track()->userData();
    return _object.movie() ? &_object.movie()->userData() : nullptr;
}

MVMetadata* MVPMetadataPane::metadata() const
{
    if (_object.isTrack())
        return &_object.track()->metadata();
    return _object.movie() ? &_object.movie()->metadata() : nullptr;
}

void MVPMetadataPane::objectChanged()
{
    if (_object.isTrack())
        _object.track()->noteUserDataChanged();
    if (_object.movie())
        _object.movie()->movieChanged();
}

std::optional<std::string> MVPMetadataPane::annotationForKey(const std::string& field) const
{
    auto* ud = userData();
    auto* md = metadata();
    uint32_t code = GetAnnotationTypeForKey(field);
    if (!ud || !md || !code)
        return std::nullopt;
    if (auto text = MVUserDataGetText(*ud, userDataCode(code)))
        return text;
    return MVAnnotationValue(*ud, *md, MVMetadataStorageMetadata, MVPAnnotationKeyFormat(code), MVMetadataKeyBytes(code));
}

// The whole value is written: text beyond ASCII goes into the user-data item under the language's ISO code
// (stored as UTF-8) rather than the classic language number, whose 8-bit encoding would cut or garble it.
void MVPMetadataPane::setAnnotationForKey(const std::string& field, const std::string& annotation)
{
    auto* ud = userData();
    auto* md = metadata();
    uint32_t code = GetAnnotationTypeForKey(field);
    if (!ud || !md || !code || annotation.empty())
        return;
    uint32_t format = MVPAnnotationKeyFormat(code);
    MVBytes key = MVMetadataKeyBytes(code);
    uint16_t language = MVLanguageForLocale(_mvLocale);
    uint16_t iso = uint16_t(MVMetadataLocaleForIdentifier(_mvLocale) >> 16);
    if (!isASCII(annotation) && iso >= 0x400)
        language = iso;
    MVUserDataSetText(*ud, userDataCode(code), {}, MVLanguageForLocale(_mvLocale));
    MVUserDataSetText(*ud, userDataCode(code), {}, iso);
    MVUserDataSetText(*ud, userDataCode(code), annotation, language);
    if (format == MVMetadataKeyFormatCommon)
        MVSetAnnotation(*ud, *md, MVMetadataStorageMetadata, format, key, _mvLocale, annotation);
    objectChanged();
}

void MVPMetadataPane::removeAnnotationForKey(const std::string& field)
{
    auto* ud = userData();
    auto* md = metadata();
    uint32_t code = GetAnnotationTypeForKey(field);
    if (!ud || !md || !code)
        return;
    uint32_t format = MVPAnnotationKeyFormat(code);
    MVBytes key = MVMetadataKeyBytes(code);
    // Every language's entry of the item goes: the row shows one value for the field.
    MVUserDataRemoveText(*ud, userDataCode(code));
    MVRemoveAnnotation(*ud, *md, MVMetadataStorageMetadata, format, key, _mvLocale);
    objectChanged();
}

std::optional<std::string> MVPMetadataPane::objectForKey(const std::string& field) const
{
    auto it = _valueDict.find(field);
    if (it == _valueDict.end())
        return std::nullopt;
    return it->second;
}

void MVPMetadataPane::registerReload()
{
    auto* manager = undoManager();
    if (!manager || !_table)
        return;
    std::weak_ptr<HXTableView> table = _table;
    manager->registerUndo(_table.get(), [table] {
        if (auto t = table.lock())
            t->reloadData();
    });
}

void MVPMetadataPane::setObjectForKey(const std::optional<std::string>& value, const std::string& field)
{
    auto old = objectForKey(field);
    if (value)
        _valueDict[field] = *value;
    else
        _valueDict.erase(field);
    if (old) {
        registerReload();
        if (auto* manager = undoManager())
            manager->registerUndo(this, [this, old, field] { setObjectForKey(old, field); });
    }
    if (value && !value->empty())
        setAnnotationForKey(field, *value);
    else if (old && !old->empty())
        removeAnnotationForKey(field);
}

void MVPMetadataPane::replaceKey(const std::string& oldField, const std::string& newField)
{
    auto value = objectForKey(oldField);
    if (value) {
        _valueDict.erase(oldField);
        _valueDict[newField] = *value;
        if (!value->empty()) {
            removeAnnotationForKey(oldField);
            setAnnotationForKey(newField, *value);
        }
    }
    auto it = std::find(_keyList.begin(), _keyList.end(), oldField);
    if (it != _keyList.end())
        *it = newField;
    registerReload();
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this, oldField, newField] { replaceKey(newField, oldField); });
    updatePopUpMenu();
}

void MVPMetadataPane::addKey(const std::string& field)
{
    _keyList.push_back(field);
    registerReload();
    if (auto* manager = undoManager())
        manager->registerUndo(this, [this, field] { removeKey(field); });
    updatePopUpMenu();
}

void MVPMetadataPane::removeKey(const std::string& field)
{
    auto value = objectForKey(field);
    _keyList.erase(std::remove(_keyList.begin(), _keyList.end(), field), _keyList.end());
    _valueDict.erase(field);
    removeAnnotationForKey(field);
    registerReload();
    if (auto* manager = undoManager()) {
        if (value)
            manager->registerUndo(this, [this, value, field] { setObjectForKey(value, field); });
        manager->registerUndo(this, [this, field] { addKey(field); });
    }
    updatePopUpMenu();
}

void MVPMetadataPane::removeKeys(const std::vector<std::string>& fields)
{
    for (const auto& field : fields)
        removeKey(field);
}

void MVPMetadataPane::addField(HXObject* sender)
{
    auto* item = dynamic_cast<HXMenuItem*>(sender);
    if (!item || !item->representedObject().has_value())
        return;
    const auto* field = std::any_cast<std::string>(&item->representedObject());
    if (!field || std::find(_keyList.begin(), _keyList.end(), *field) != _keyList.end())
        return;
    addKey(*field);
    if (!_table)
        return;
    _table->reloadData();
    long row = long(_keyList.size()) - 1;
    _table->selectRow(row);
    long column = -1;
    for (size_t i = 0; i < _table->tableColumns().size(); ++i)
        if (_table->tableColumns()[i]->identifier() == "values")
            column = long(i);
    if (column >= 0 && _table->window())
        _table->editColumn(column, row, nullptr, true);
}

void MVPMetadataPane::removeSelection(HXObject*)
{
    if (!_table)
        return;
    std::vector<std::string> fields;
    for (long row : _table->selectedRowIndexes())
        if (row >= 0 && size_t(row) < _keyList.size())
            fields.push_back(_keyList[size_t(row)]);
    removeKeys(fields);
    _table->reloadData();
    tableViewSelectionDidChange(*_table);
}

void MVPMetadataPane::fillMenu(HXMenu& menu, uint32_t modifierFlags, bool pullDown)
{
    if (pullDown) {
        while (menu.numberOfItems() > 1)
            menu.removeItemAtIndex(menu.numberOfItems() - 1);
    } else {
        menu.removeAllItems();
    }
    bool option = modifierFlags & kOptionKeyMask;
    auto self = shared_from_this();
    for (const auto& field : MVPAnnotationFields()) {
        bool present = std::find(_keyList.begin(), _keyList.end(), field.name) != _keyList.end();
        if (!option && !present && !IsDefaultAnnotation(field.name))
            continue;
        auto item = std::make_shared<HXMenuItem>(MVPLocalizedString(_bundle, field.name), HXSelector(), "");
        item->setRepresentedObject(std::string(field.name));
        item->setEnabled(!present);
        if (pullDown) {
            item->setTarget(self);
            item->setAction("addField:");
        }
        menu.addItem(item);
    }
    menu.setAutoenablesItems(false);
}

void MVPMetadataPane::updatePopUpMenu(uint32_t modifierFlags)
{
    if (_popUpMenu)
        fillMenu(*_popUpMenu, modifierFlags, false);
}

void MVPMetadataPane::updatePullDownMenu(uint32_t modifierFlags)
{
    if (_pullDownMenu)
        fillMenu(*_pullDownMenu, modifierFlags, true);
}

void MVPMetadataPane::menuNeedsUpdate(HXMenu& menu)
{
    const HXEvent* event = HXApplication::sharedApplication()->currentEvent();
    uint32_t flags = event ? event->modifierFlags() : 0;
    if (&menu == _popUpMenu.get())
        updatePopUpMenu(flags);
    else if (&menu == _pullDownMenu.get())
        updatePullDownMenu(flags);
}

std::shared_ptr<HXView> MVPMetadataPane::view()
{
    if (_view)
        return _view;
    auto self = shared_from_this();
    auto asDelegate = std::dynamic_pointer_cast<MVPMetadataPane>(self);
    _view = std::make_shared<HXView>(HXRect { {}, { 544, 255 } });
    _view->setAutoresizesSubviews(true);
    _table = MVPMakeTable(_view, HXRect { { 8, 40 }, { 528, 207 } }, { "keys", "values" },
        { MVPLocalizedString(_bundle, "keys"), MVPLocalizedString(_bundle, "values") });
    _table->setAllowsMultipleSelection(true);
    _table->setDataSource(asDelegate);
    _table->setDelegate(asDelegate);

    auto keysCell = std::make_shared<HXPopUpButtonCell>();
    keysCell->setBordered(false);
    keysCell->setAlignment(HXRightTextAlignment);
    _popUpMenu = std::make_shared<HXMenu>();
    keysCell->setMenu(_popUpMenu);
    _popUpMenu->setDelegate(asDelegate);
    MVPTableColumn(*_table, "keys")->setDataCell(keysCell);
    MVPTableColumn(*_table, "keys")->setEditable(true);
    MVPTableColumn(*_table, "values")->setEditable(true);

    _popup = std::make_shared<HXPopUpButton>(HXRect { { 8, 8 }, { 140, 24 } }, true);
    _pullDownMenu = std::make_shared<HXMenu>();
    _pullDownMenu->addItem(std::make_shared<HXMenuItem>(MVPLocalizedString(_bundle, "Add Field"), HXSelector(), ""));
    _popup->setMenu(_pullDownMenu);
    _pullDownMenu->setDelegate(asDelegate);
    _view->addSubview(_popup);

    _button = MVPMakePushButton(HXRect { { 156, 8 }, { 100, 24 } }, MVPLocalizedString(_bundle, "Remove"));
    _button->setTarget(self);
    _button->setAction("removeSelection:");
    _button->setEnabled(false);
    _view->addSubview(_button);
    setActionHandler("removeSelection:", [this](HXObject* sender) { removeSelection(sender); });
    setActionHandler("addField:", [this](HXObject* sender) { addField(sender); });

    updatePopUpMenu();
    updatePullDownMenu();
    _table->reloadData();
    return _view;
}

HXSize MVPMetadataPane::maxViewSize()
{
    return { FLT_MAX, FLT_MAX };
}

void MVPMetadataPane::stopInspection()
{
    if (_table && _table->window() && _table->editedRow() >= 0)
        _table->endEditing(true);
}

long MVPMetadataPane::numberOfRowsInTableView(HXTableView&)
{
    return long(_keyList.size());
}

HXPropertyList MVPMetadataPane::objectValueForTableColumn(HXTableView&, HXTableColumn* column, long row)
{
    if (!column || row < 0 || size_t(row) >= _keyList.size())
        return HXPropertyList(std::string());
    const std::string& field = _keyList[size_t(row)];
    if (column->identifier() == "keys" && _popUpMenu) {
        const auto& items = _popUpMenu->itemArray();
        for (size_t i = 0; i < items.size(); ++i) {
            const auto* f = std::any_cast<std::string>(&items[i]->representedObject());
            if (f && *f == field)
                return HXPropertyList(int64_t(i));
        }
        return HXPropertyList(std::string());
    }
    if (column->identifier() == "values") {
        auto value = objectForKey(field);
        return HXPropertyList(value ? *value : std::string());
    }
    return HXPropertyList(std::string());
}

void MVPMetadataPane::setObjectValue(HXTableView&, const HXPropertyList& value, HXTableColumn* column, long row)
{
    if (!column || row < 0 || size_t(row) >= _keyList.size())
        return;
    std::string field = _keyList[size_t(row)];
    if (column->identifier() == "keys" && _popUpMenu && value.isNumber()) {
        auto item = _popUpMenu->itemAtIndex(long(value.integerValue()));
        const auto* newField = item ? std::any_cast<std::string>(&item->representedObject()) : nullptr;
        if (newField && *newField != field)
            replaceKey(field, *newField);
    } else if (column->identifier() == "values") {
        setObjectForKey(value.stringValue(), field);
    }
}

void MVPMetadataPane::willDisplayCell(HXTableView& table, HXCell& cell, HXTableColumn* column, long row)
{
    auto* popup = dynamic_cast<HXPopUpButtonCell*>(&cell);
    if (!popup || !column || column->identifier() != "keys")
        return;
    HXPropertyList index = objectValueForTableColumn(table, column, row);
    if (index.isInteger())
        popup->selectItemAtIndex(long(index.integerValue()));
}

void MVPMetadataPane::tableViewSelectionDidChange(HXTableView& table)
{
    if (_button)
        _button->setEnabled(!table.selectedRowIndexes().empty());
}

std::shared_ptr<MVPPropertyInspector> MVPMetadataPaneFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (!object)
        return nullptr;
    return std::make_shared<MVPMetadataPane>(object, bundle());
}
