#include "platform/winkit/save_panel.h"

#include "platform/basekit/file_manager.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/key_view_loop.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/table_view.h"
#include "platform/winkit/text_field.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr double kWidth = 480;
constexpr double kMargin = 20;

std::function<void(HXSavePanel&)>& appearHandler()
{
    static std::function<void(HXSavePanel&)> handler;
    return handler;
}

std::string lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

}  // namespace

// The list of the folder's entries.
class HXSavePanel::ListSource : public HXTableViewDataSource, public HXTableViewDelegate {
public:
    explicit ListSource(HXSavePanel& panel)
        : _panel(panel)
    {
    }
    long numberOfRowsInTableView(HXTableView&) override { return long(_panel._entries.size()); }
    HXPropertyList objectValueForTableColumn(HXTableView&, HXTableColumn*, long row) override
    {
        const auto& name = _panel._entries.at(size_t(row));
        return _panel.isListedDirectory(size_t(row)) ? name + "/" : name;
    }
    void willDisplayCell(HXTableView&, HXCell& cell, HXTableColumn*, long row) override
    {
        cell.setEnabled(_panel.isListedNameEnabled(size_t(row)));
    }
    bool shouldSelectRow(HXTableView&, long row) override { return _panel.isListedNameEnabled(size_t(row)); }
    bool shouldEditTableColumn(HXTableView&, HXTableColumn*, long) override { return false; }
    void tableViewSelectionDidChange(HXTableView&) override { _panel.listSelectionChanged(); }

private:
    HXSavePanel& _panel;
};

HXSavePanel::HXSavePanel()
    : HXPanel(HXMakeRect(0, 0, kWidth, 380), HXTitledWindowMask | HXClosableWindowMask | HXResizableWindowMask)
{
    setTitle("Save");
    std::string last = HXUserDefaults::standardUserDefaults().objectForKey(HXNavLastRootDirectoryKey).stringValue();
    _directory = !last.empty() && HXFileManager::defaultManager().isDirectoryAtPath(last) ? last : homeFolder();
    setActionHandler("ok:", [this](HXObject* sender) { ok(sender); });
    setActionHandler("cancel:", [this](HXObject* sender) { cancel(sender); });
    setActionHandler("_pathChosen:", [this](HXObject*) { pathChosen(); });
    setActionHandler("_listDoubleClicked:", [this](HXObject*) {
        if (_list)
            listDoubleClicked(_list->clickedRow());
    });
    setActionHandler("_newFolder:", [this](HXObject*) { newFolder("untitled folder"); });
}

HXSavePanel::~HXSavePanel() = default;

std::shared_ptr<HXSavePanel> HXSavePanel::savePanel()
{
    auto panel = std::make_shared<HXSavePanel>();
    panel->build();
    return panel;
}

void HXSavePanel::setPanelDidAppearHandler(std::function<void(HXSavePanel&)> handler) { appearHandler() = std::move(handler); }

std::shared_ptr<HXTableView> HXSavePanel::fileList()
{
    build();
    return _list;
}

std::shared_ptr<HXTextField> HXSavePanel::nameField()
{
    build();
    return _nameField;
}

std::shared_ptr<HXButton> HXSavePanel::okButton()
{
    build();
    return _okButton;
}

std::shared_ptr<HXButton> HXSavePanel::cancelButton()
{
    build();
    return _cancelButton;
}

void HXSavePanel::build()
{
    if (_built)
        return;
    _built = true;
    auto self = std::static_pointer_cast<HXObject>(shared_from_this());
    auto content = contentView();
    _messageLabel = HXTextField::labelWithString(_message, HXMakeRect(kMargin, 0, kWidth - 2 * kMargin, 18));
    _nameLabel = HXTextField::labelWithString(_nameFieldLabel, HXMakeRect(kMargin, 0, 80, 20));
    _nameLabel->setAlignment(HXRightTextAlignment);
    _nameField = std::make_shared<HXTextField>(HXMakeRect(kMargin + 86, 0, 250, 22));
    _pathPopUp = std::make_shared<HXPopUpButton>(HXMakeRect(kMargin, 0, 250, 24));
    _pathPopUp->setTarget(self);
    _pathPopUp->setAction("_pathChosen:");
    _newFolderButton = std::make_shared<HXButton>(HXMakeRect(kWidth - kMargin - 110, 0, 110, 26), "New Folder");
    _newFolderButton->setTarget(self);
    _newFolderButton->setAction("_newFolder:");
    _list = std::make_shared<HXTableView>(HXMakeRect(0, 0, kWidth - 2 * kMargin, 100));
    auto column = std::make_shared<HXTableColumn>("name");
    column->setTitle("Name");
    column->setWidth(kWidth - 2 * kMargin - 20);
    column->setEditable(false);
    _list->addTableColumn(column);
    _list->setAllowsMultipleSelection(false);
    _list->setTarget(self);
    _list->setDoubleAction("_listDoubleClicked:");
    _scroll = std::make_shared<HXScrollView>(HXMakeRect(kMargin, 0, kWidth - 2 * kMargin, 160));
    _scroll->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    _cancelButton = std::make_shared<HXButton>(HXMakeRect(0, 0, 96, 28), "Cancel");
    _cancelButton->setTarget(self);
    _cancelButton->setAction("cancel:");
    _cancelButton->setKeyEquivalent("\x1b");
    _okButton = std::make_shared<HXButton>(HXMakeRect(0, 0, 96, 28), _prompt);
    _okButton->setTarget(self);
    _okButton->setAction("ok:");
    _okButton->setKeyEquivalent("\r");
    for (const auto& v : std::vector<std::shared_ptr<HXView>> { _messageLabel, _nameLabel, _nameField, _pathPopUp, _newFolderButton,
             _scroll, _cancelButton, _okButton })
        content->addSubview(v);
    _scroll->setDocumentView(_list);
    _source = std::make_shared<ListSource>(*this);
    _list->setDelegate(_source);
    _list->setDataSource(_source);
    layout();
    reloadList();
}

// Top to bottom: message, name, path and New Folder, the list, the accessory view, the buttons.
void HXSavePanel::layout()
{
    if (!_built)
        return;
    auto content = contentView();
    double width = content->bounds().size.width;
    double y = content->bounds().size.height - kMargin;
    bool hasMessage = !_message.empty();
    _messageLabel->setHidden(!hasMessage);
    if (hasMessage) {
        _messageLabel->setStringValue(_message);
        y -= 18;
        _messageLabel->setFrame({ { kMargin, y }, { width - 2 * kMargin, 18 } });
        y -= 10;
    }
    bool name = showsNameField();
    _nameLabel->setHidden(!name);
    _nameField->setHidden(!name);
    if (name) {
        y -= 22;
        _nameLabel->setStringValue(_nameFieldLabel);
        _nameLabel->setFrame({ { kMargin, y + 1 }, { 80, 20 } });
        _nameField->setFrame({ { kMargin + 86, y }, { std::min(260.0, width - 2 * kMargin - 86), 22 } });
        y -= 12;
    }
    y -= 26;
    _pathPopUp->setFrame({ { kMargin, y }, { std::min(260.0, width - 2 * kMargin - 120), 26 } });
    _newFolderButton->setHidden(!_canCreateDirectories);
    _newFolderButton->setFrame({ { width - kMargin - 110, y }, { 110, 26 } });
    y -= 8;
    double buttonsTop = kMargin + 28 + 12;
    double accessoryHeight = _accessoryView ? _accessoryView->frame().size.height + 10 : 0;
    if (_accessoryView) {
        _accessoryView->setFrameOrigin({ std::max(kMargin, (width - _accessoryView->frame().size.width) / 2), buttonsTop });
        if (_accessoryView->superview() != content)
            content->addSubview(_accessoryView);
    }
    double listBottom = buttonsTop + accessoryHeight;
    _scroll->setFrame({ { kMargin, listBottom }, { width - 2 * kMargin, std::max(60.0, y - listBottom) } });
    _okButton->setTitle(_prompt);
    _okButton->setFrame({ { width - kMargin - 96, kMargin }, { 96, 28 } });
    _cancelButton->setFrame({ { width - kMargin - 96 - 8 - 96, kMargin }, { 96, 28 } });
    HXRecalculateKeyViewLoop(*content);
    setInitialFirstResponder(name ? std::static_pointer_cast<HXView>(_nameField) : std::static_pointer_cast<HXView>(_list));
}

void HXSavePanel::setPrompt(const std::string& prompt)
{
    _prompt = prompt;
    layout();
}

void HXSavePanel::setMessage(const std::string& message)
{
    _message = message;
    layout();
}

void HXSavePanel::setNameFieldLabel(const std::string& label)
{
    _nameFieldLabel = label;
    layout();
}

std::string HXSavePanel::nameFieldStringValue() const { return _nameField ? _nameField->stringValue() : std::string(); }

void HXSavePanel::setNameFieldStringValue(const std::string& name)
{
    build();
    _nameField->setStringValue(name);
}

void HXSavePanel::setAllowedFileTypes(const std::vector<std::string>& types)
{
    _allowedFileTypes.clear();
    for (auto t : types) {
        if (!t.empty() && t.front() == '.')
            t.erase(t.begin());
        if (!t.empty())
            _allowedFileTypes.push_back(t);
    }
    reloadList();
}

void HXSavePanel::setCanCreateDirectories(bool flag)
{
    _canCreateDirectories = flag;
    layout();
}

void HXSavePanel::setShowsHiddenFiles(bool flag)
{
    _showsHiddenFiles = flag;
    reloadList();
}

void HXSavePanel::setAccessoryView(const std::shared_ptr<HXView>& view)
{
    if (_accessoryView && _accessoryView != view)
        _accessoryView->removeFromSuperview();
    _accessoryView = view;
    layout();
}

// ---- Browsing ----------------------------------------------------------------------------------------------------

bool HXSavePanel::setDirectory(const std::string& path)
{
    std::string standard = HXString::stringByStandardizingPath(path);
    if (standard.empty() || !HXFileManager::defaultManager().isDirectoryAtPath(standard)
        || !HXFileManager::defaultManager().contentsOfDirectoryAtPath(standard))
        return false;
    _directory = standard;
    reloadList();
    if (auto d = panelDelegate())
        d->directoryDidChange(*this, _directory);
    return true;
}

std::string HXSavePanel::pathOfListedName(const std::string& name) const { return HXString::stringByAppendingPathComponent(_directory, name); }

bool HXSavePanel::hasAllowedExtension(const std::string& name) const
{
    if (_allowedFileTypes.empty())
        return true;
    std::string ext = lowercase(HXString::pathExtension(name));
    for (const auto& t : _allowedFileTypes)
        if (lowercase(t) == ext)
            return true;
    return false;
}

bool HXSavePanel::isEntryEnabled(const std::string& path, bool isDirectory) const
{
    // Saving: folders can be entered; files are shown for reference only.
    (void)path;
    return isDirectory;
}

bool HXSavePanel::isListedNameEnabled(size_t index) const
{
    if (index >= _entries.size())
        return false;
    return isEntryEnabled(pathOfListedName(_entries[index]), _isDirectory[index]);
}

void HXSavePanel::reloadList()
{
    if (!_built)
        return;
    _entries.clear();
    _isDirectory.clear();
    auto& fm = HXFileManager::defaultManager();
    auto names = fm.contentsOfDirectoryAtPath(_directory).value_or(std::vector<std::string> {});
    std::vector<std::pair<std::string, bool>> listed;
    auto d = panelDelegate();
    for (const auto& name : names) {
        if (!_showsHiddenFiles && !name.empty() && name.front() == '.')
            continue;
        std::string path = pathOfListedName(name);
        bool isDirectory = fm.isDirectoryAtPath(path);
        if (!isDirectory && !hasAllowedExtension(name) && !_allowsOtherFileTypes && !showsNameField())
            continue;  // an open panel lists only what can be opened
        if (d && !d->shouldShowFilename(*this, path))
            continue;
        listed.push_back({ name, isDirectory });
    }
    std::stable_sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second)
            return a.second;
        return lowercase(a.first) < lowercase(b.first);
    });
    for (const auto& [name, isDirectory] : listed) {
        _entries.push_back(name);
        _isDirectory.push_back(isDirectory);
    }
    _list->deselectAll();
    _list->reloadData();
    rebuildPathPopUp();
}

void HXSavePanel::rebuildPathPopUp()
{
    _pathPopUp->removeAllItems();
    auto components = HXString::pathComponents(_directory);
    // The current folder first, then each folder above it.
    std::string path = _directory;
    for (size_t i = components.size(); i-- > 0;) {
        std::string title = components[i];
        _pathPopUp->addItemWithTitle(title == "/" ? "/" : title);
        _pathPopUp->lastItem()->setRepresentedObject(path);
        path = HXString::stringByDeletingLastPathComponent(path);
        if (path.empty())
            path = "/";
    }
    _pathPopUp->selectItemAtIndex(0);
}

void HXSavePanel::pathChosen()
{
    auto item = _pathPopUp->selectedItem();
    if (!item)
        return;
    if (auto* path = std::any_cast<std::string>(&item->representedObject()))
        setDirectory(*path);
}

bool HXSavePanel::openListedFolder(const std::string& name)
{
    auto it = std::find(_entries.begin(), _entries.end(), name);
    if (it == _entries.end() || !_isDirectory[size_t(it - _entries.begin())])
        return false;
    return setDirectory(pathOfListedName(name));
}

bool HXSavePanel::newFolder(const std::string& name)
{
    if (!_canCreateDirectories || name.empty() || name.find('/') != std::string::npos) {
        HXBeep();
        return false;
    }
    std::string path = pathOfListedName(name);
    // "untitled folder", "untitled folder 2" ... : never over something that is there.
    for (int n = 2; HXFileManager::defaultManager().fileExistsAtPath(path) && n < 1000; ++n)
        path = pathOfListedName(name + " " + std::to_string(n));
    if (!HXFileManager::defaultManager().createDirectoryAtPath(path, false)) {
        HXBeep();
        return false;
    }
    return setDirectory(path);
}

void HXSavePanel::listSelectionChanged()
{
    if (auto d = panelDelegate())
        d->selectionDidChange(*this);
}

void HXSavePanel::listDoubleClicked(long row)
{
    if (row >= 0 && size_t(row) < _entries.size() && _isDirectory[size_t(row)])
        setDirectory(pathOfListedName(_entries[size_t(row)]));
}

// ---- Running --------------------------------------------------------------------------------------------------------

void HXSavePanel::ok(HXObject*)
{
    build();
    std::string name = _nameField->stringValue();
    // Surrounding blanks are typing slips.
    size_t a = name.find_first_not_of(" \t"), b = name.find_last_not_of(" \t");
    name = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
    // A name with slashes is a path ("/tmp/clip.mov", "~/Movies/clip.mov", "Old/clip.mov"): its folder is
    // chosen first, and must be one. A path that ends with a slash only goes to its folder.
    if (size_t slash = name.rfind('/'); slash != std::string::npos) {
        std::string folder = name.substr(0, slash + 1);
        if (folder[0] != '/' && folder[0] != '~')
            folder = pathOfListedName(folder);
        if (!setDirectory(folder)) {
            HXBeep();
            return;
        }
        name = name.substr(slash + 1);
        _nameField->setStringValue(name);
        if (name.empty())
            return;
    }
    if (name.empty() || name == "." || name == "..") {
        HXBeep();
        return;
    }
    if (!hasAllowedExtension(name) && !(_allowsOtherFileTypes && !HXString::pathExtension(name).empty()))
        name = HXString::stringByAppendingPathExtension(name, requiredFileType());
    std::string path = pathOfListedName(name);
    bool isDirectory = false;
    if (HXFileManager::defaultManager().fileExistsAtPath(path, &isDirectory)) {
        if (isDirectory) {
            HXBeep();
            return;
        }
        auto alert = std::make_shared<HXAlert>();
        alert->setMessageText("\u201C" + name + "\u201D already exists. Do you want to replace it?");
        alert->setInformativeText("A file with the same name already exists in \u201C" + HXString::lastPathComponent(_directory)
            + "\u201D. Replacing it will overwrite its current contents.");
        alert->addButtonWithTitle("Replace");
        alert->addButtonWithTitle("Cancel");
        if (alert->runModal() != HXAlertFirstButtonReturn)
            return;
    }
    if (auto d = panelDelegate(); d && !d->isValidFilename(*this, path))
        return;
    _filename = path;
    finish(HXModalResponseOK);
}

void HXSavePanel::cancel(HXObject*) { finish(HXModalResponseCancel); }

void HXSavePanel::finish(long code)
{
    if (!_running)
        return;
    if (code == HXModalResponseOK)
        HXUserDefaults::standardUserDefaults().setObject(HXPropertyList(_directory), HXNavLastRootDirectoryKey);
    else
        _filename.clear();
    _running = false;
    if (_asSheet) {
        if (auto parent = sheetParent())
            parent->endSheet(std::static_pointer_cast<HXWindow>(shared_from_this()), code);
        return;
    }
    HXApplication::sharedApplication()->stopModalWithCode(code);
}

long HXSavePanel::runModalForDirectory(const std::string& path, const std::string& name)
{
    build();
    if (!path.empty())
        setDirectory(path);
    if (!name.empty())
        setNameFieldStringValue(name);
    return runModal();
}

long HXSavePanel::runModal()
{
    if (HXUnattendedAlerts::isActive()) {
        HXUnattendedAlerts::noteAnswered(title().empty() ? "Save" : title(), "Cancel");
        return HXModalResponseCancel;
    }
    build();
    auto self = std::static_pointer_cast<HXSavePanel>(shared_from_this());
    layout();
    center();
    _asSheet = false;
    _running = true;
    _filename.clear();
    std::weak_ptr<HXSavePanel> weak = self;
    HXRunLoop::main().perform(
        [weak] {
            auto panel = weak.lock();
            if (panel && panel->_running && appearHandler())
                appearHandler()(*panel);
        },
        0, { HXModalPanelRunLoopMode });
    makeFirstResponder(initialFirstResponder());
    long code = HXApplication::sharedApplication()->runModalForWindow(self);
    _running = false;
    orderOut();
    return code == HXModalResponseOK ? HXModalResponseOK : HXModalResponseCancel;
}

void HXSavePanel::beginSheetModalForWindow(const std::shared_ptr<HXWindow>& window, std::function<void(long)> handler)
{
    if (!window || HXUnattendedAlerts::isActive()) {
        long code = runModal();
        if (handler)
            handler(code);
        return;
    }
    build();
    auto self = std::static_pointer_cast<HXSavePanel>(shared_from_this());
    layout();
    _asSheet = true;
    _running = true;
    _filename.clear();
    window->beginSheet(self, [self, handler = std::move(handler)](long code) {
        self->_running = false;
        if (handler)
            handler(code == HXModalResponseOK ? HXModalResponseOK : HXModalResponseCancel);
    });
    if (window->attachedSheet() != self) {
        _running = false;
        return;  // the window already had a sheet
    }
    makeFirstResponder(initialFirstResponder());
    std::weak_ptr<HXSavePanel> weak = self;
    HXRunLoop::main().perform(
        [weak] {
            auto panel = weak.lock();
            if (panel && panel->_running && appearHandler())
                appearHandler()(*panel);
        },
        0, { HXRunLoopCommonModes });
}
