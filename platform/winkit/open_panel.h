#pragma once
// HXOpenPanel: asks for files (or folders) to open, chosen from the list of a real folder. Files of other
// types are not listed; folders are entered with a double click (or chosen, when folders may be).
#include "platform/winkit/save_panel.h"

class HXOpenPanel : public HXSavePanel {
public:
    HXOpenPanel();
    static std::shared_ptr<HXOpenPanel> openPanel();

    bool canChooseFiles() const { return _canChooseFiles; }
    void setCanChooseFiles(bool flag);
    bool canChooseDirectories() const { return _canChooseDirectories; }
    void setCanChooseDirectories(bool flag);
    bool allowsMultipleSelection() const { return _allowsMultipleSelection; }
    void setAllowsMultipleSelection(bool flag);
    bool resolvesAliases() const { return true; }
    void setResolvesAliases(bool) {}

    // The answer, valid after OK.
    const std::vector<std::string>& filenames() const { return _filenames; }
    const std::vector<std::string>& URLs() const { return _filenames; }
    long runModalForTypes(const std::vector<std::string>& types);
    long runModalForDirectory(const std::string& path, const std::string& name, const std::vector<std::string>& types);

    long runModal() override;
    void ok(HXObject* sender = nullptr) override;
    // Selects listed entries by name (as a click would); names not listed or not choosable are skipped.
    void selectListedNames(const std::vector<std::string>& names);

protected:
    bool showsNameField() const override { return false; }
    bool isEntryEnabled(const std::string& path, bool isDirectory) const override;
    void listSelectionChanged() override;
    void listDoubleClicked(long row) override;

private:
    bool _canChooseFiles = true;
    bool _canChooseDirectories = false;
    bool _allowsMultipleSelection = false;
    std::vector<std::string> _filenames;
};
