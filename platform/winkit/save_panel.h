#pragma once
// HXSavePanel: asks where to save: a name, and a folder chosen by browsing the real folders of the
// machine (a list of the folder's contents and a pop-up of the folders above it). The program may give
// a starting folder and name, the file types allowed (the first one is added to a name without one),
// an accessory view of its own, and a delegate that vets names. It runs modally or as a sheet.
//
// The folder last chosen is kept in the user's defaults ("HXNavLastRootDirectory") and is where the next
// panel starts unless told otherwise.
#include "platform/winkit/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HXButton;
class HXPopUpButton;
class HXScrollView;
class HXTableView;
class HXTextField;
class HXSavePanel;

inline constexpr const char* HXNavLastRootDirectoryKey = "HXNavLastRootDirectory";

class HXSavePanelDelegate {
public:
    virtual ~HXSavePanelDelegate() = default;
    // False keeps the panel open (the delegate has said why).
    virtual bool isValidFilename(HXSavePanel& panel, const std::string& path) { (void)panel, (void)path; return true; }
    // Whether an entry of the folder is listed (and, for open panels, can be chosen).
    virtual bool shouldShowFilename(HXSavePanel& panel, const std::string& path) { (void)panel, (void)path; return true; }
    virtual void directoryDidChange(HXSavePanel& panel, const std::string& path) { (void)panel, (void)path; }
    virtual void selectionDidChange(HXSavePanel& panel) { (void)panel; }
};

class HXSavePanel : public HXPanel {
public:
    HXSavePanel();
    ~HXSavePanel() override;
    static std::shared_ptr<HXSavePanel> savePanel();

    // What the panel asks for.
    const std::string& prompt() const { return _prompt; }
    void setPrompt(const std::string& prompt);
    const std::string& message() const { return _message; }
    void setMessage(const std::string& message);
    const std::string& nameFieldLabel() const { return _nameFieldLabel; }
    void setNameFieldLabel(const std::string& label);
    std::string nameFieldStringValue() const;
    void setNameFieldStringValue(const std::string& name);
    // The folder shown; a folder that cannot be read is refused (false) and the panel stays where it is.
    const std::string& directory() const { return _directory; }
    bool setDirectory(const std::string& path);
    // Extensions without the dot; empty: anything.
    const std::vector<std::string>& allowedFileTypes() const { return _allowedFileTypes; }
    void setAllowedFileTypes(const std::vector<std::string>& types);
    std::string requiredFileType() const { return _allowedFileTypes.empty() ? std::string() : _allowedFileTypes.front(); }
    void setRequiredFileType(const std::string& type) { setAllowedFileTypes(type.empty() ? std::vector<std::string> {} : std::vector<std::string> { type }); }
    bool allowsOtherFileTypes() const { return _allowsOtherFileTypes; }
    void setAllowsOtherFileTypes(bool flag) { _allowsOtherFileTypes = flag; }
    bool canCreateDirectories() const { return _canCreateDirectories; }
    void setCanCreateDirectories(bool flag);
    bool treatsFilePackagesAsDirectories() const { return _treatsFilePackagesAsDirectories; }
    void setTreatsFilePackagesAsDirectories(bool flag) { _treatsFilePackagesAsDirectories = flag; }
    bool showsHiddenFiles() const { return _showsHiddenFiles; }
    void setShowsHiddenFiles(bool flag);
    std::shared_ptr<HXView> accessoryView() const { return _accessoryView; }
    void setAccessoryView(const std::shared_ptr<HXView>& view);
    std::shared_ptr<HXSavePanelDelegate> panelDelegate() const { return _panelDelegate.lock(); }
    void setPanelDelegate(const std::shared_ptr<HXSavePanelDelegate>& delegate) { _panelDelegate = delegate; }

    // The answer: the full path chosen (with the required extension), valid after OK.
    const std::string& filename() const { return _filename; }
    const std::string& URL() const { return _filename; }

    // Running. runModal answers HXModalResponseOK or HXModalResponseCancel.
    virtual long runModal();
    long runModalForDirectory(const std::string& path, const std::string& name);
    void beginSheetModalForWindow(const std::shared_ptr<HXWindow>& window, std::function<void(long)> handler);
    // The buttons: OK checks the answer and closes the panel when it is good.
    virtual void ok(HXObject* sender = nullptr);
    void cancel(HXObject* sender = nullptr);
    bool isRunning() const { return _running; }

    // Tests (and scripted runs) answer the panel from here once it shows.
    static void setPanelDidAppearHandler(std::function<void(HXSavePanel&)> handler);

    // The entries listed now (names within the directory), folders first.
    const std::vector<std::string>& listedNames() const { return _entries; }
    bool isListedNameEnabled(size_t index) const;
    // Goes into a listed folder (by name); false when there is none.
    bool openListedFolder(const std::string& name);
    // Makes a folder in the current directory and goes there; false (with a beep) when it cannot.
    bool newFolder(const std::string& name);
    // The panel's controls (made on first use).
    std::shared_ptr<HXTableView> fileList();
    std::shared_ptr<HXTextField> nameField();
    std::shared_ptr<HXButton> okButton();
    std::shared_ptr<HXButton> cancelButton();

protected:
    // Open panels hide the name field and choose from the list.
    virtual bool showsNameField() const { return true; }
    virtual bool isEntryEnabled(const std::string& path, bool isDirectory) const;
    virtual void listSelectionChanged();
    virtual void listDoubleClicked(long row);
    void build();
    void layout();
    void reloadList();
    void finish(long code);
    bool hasAllowedExtension(const std::string& name) const;
    std::string pathOfListedName(const std::string& name) const;
    bool isListedDirectory(size_t index) const { return index < _isDirectory.size() && _isDirectory[index]; }
    void setFilename(const std::string& path) { _filename = path; }
    std::shared_ptr<HXWindow> sheetWindow() const { return _sheetParentWindow.lock(); }

private:
    class ListSource;
    void rebuildPathPopUp();
    void pathChosen();

    std::string _prompt = "Save";
    std::string _message;
    std::string _nameFieldLabel = "Save As:";
    std::string _directory;
    std::vector<std::string> _allowedFileTypes;
    bool _allowsOtherFileTypes = false;
    bool _canCreateDirectories = true;
    bool _treatsFilePackagesAsDirectories = false;
    bool _showsHiddenFiles = false;
    std::shared_ptr<HXView> _accessoryView;
    std::weak_ptr<HXSavePanelDelegate> _panelDelegate;
    std::string _filename;
    bool _running = false;
    bool _asSheet = false;
    std::weak_ptr<HXWindow> _sheetParentWindow;
    std::function<void(long)> _sheetHandler;

    std::vector<std::string> _entries;
    std::vector<bool> _isDirectory;
    std::shared_ptr<ListSource> _source;
    std::shared_ptr<HXTextField> _messageLabel;
    std::shared_ptr<HXTextField> _nameLabel;
    std::shared_ptr<HXTextField> _nameField;
    std::shared_ptr<HXPopUpButton> _pathPopUp;
    std::shared_ptr<HXScrollView> _scroll;
    std::shared_ptr<HXTableView> _list;
    std::shared_ptr<HXButton> _newFolderButton;
    std::shared_ptr<HXButton> _okButton;
    std::shared_ptr<HXButton> _cancelButton;
    bool _built = false;
};
