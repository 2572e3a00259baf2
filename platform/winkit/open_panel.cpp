#include "platform/winkit/open_panel.h"

#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/table_view.h"

#include <algorithm>

HXOpenPanel::HXOpenPanel()
{
    setTitle("Open");
    setPrompt("Open");
    setCanCreateDirectories(false);
}

std::shared_ptr<HXOpenPanel> HXOpenPanel::openPanel()
{
    auto panel = std::make_shared<HXOpenPanel>();
    panel->build();
    return panel;
}

void HXOpenPanel::setCanChooseFiles(bool flag)
{
    _canChooseFiles = flag;
    reloadList();
}

void HXOpenPanel::setCanChooseDirectories(bool flag)
{
    _canChooseDirectories = flag;
    reloadList();
}

void HXOpenPanel::setAllowsMultipleSelection(bool flag)
{
    _allowsMultipleSelection = flag;
    fileList()->setAllowsMultipleSelection(flag);
}

bool HXOpenPanel::isEntryEnabled(const std::string& path, bool isDirectory) const
{
    if (isDirectory)
        return true;  // entered even when it cannot be chosen
    (void)path;
    return _canChooseFiles;
}

void HXOpenPanel::listSelectionChanged()
{
    HXSavePanel::listSelectionChanged();
    okButton()->setEnabled(fileList()->numberOfSelectedRows() > 0 || _canChooseDirectories);
}

void HXOpenPanel::listDoubleClicked(long row)
{
    if (row < 0 || size_t(row) >= listedNames().size())
        return;
    if (isListedDirectory(size_t(row))) {
        setDirectory(pathOfListedName(listedNames()[size_t(row)]));
        return;
    }
    if (isListedNameEnabled(size_t(row)))
        ok();
}

void HXOpenPanel::selectListedNames(const std::vector<std::string>& names)
{
    HXIndexSet rows;
    for (const auto& name : names) {
        auto it = std::find(listedNames().begin(), listedNames().end(), name);
        if (it != listedNames().end())
            rows.insert(long(it - listedNames().begin()));
    }
    fileList()->selectRowIndexes(rows, false);
}

void HXOpenPanel::ok(HXObject*)
{
    auto list = fileList();
    std::vector<std::string> chosen;
    for (long row : list->selectedRowIndexes()) {
        bool isDirectory = isListedDirectory(size_t(row));
        if (isDirectory && !_canChooseDirectories) {
            // A folder that cannot be chosen is opened instead (one at a time).
            if (list->numberOfSelectedRows() == 1) {
                setDirectory(pathOfListedName(listedNames()[size_t(row)]));
                return;
            }
            continue;
        }
        if (!isDirectory && !_canChooseFiles)
            continue;
        chosen.push_back(pathOfListedName(listedNames()[size_t(row)]));
    }
    if (chosen.empty() && _canChooseDirectories && list->numberOfSelectedRows() == 0)
        chosen.push_back(directory());
    if (chosen.empty()) {
        HXBeep();
        return;
    }
    if (auto d = panelDelegate())
        for (const auto& path : chosen)
            if (!d->isValidFilename(*this, path))
                return;
    _filenames = chosen;
    setFilename(chosen.front());
    finish(HXModalResponseOK);
}

long HXOpenPanel::runModal()
{
    _filenames.clear();
    return HXSavePanel::runModal();
}

long HXOpenPanel::runModalForTypes(const std::vector<std::string>& types)
{
    setAllowedFileTypes(types);
    _filenames.clear();
    return runModal();
}

long HXOpenPanel::runModalForDirectory(const std::string& path, const std::string& name, const std::vector<std::string>& types)
{
    setAllowedFileTypes(types);
    if (!path.empty())
        setDirectory(path);
    if (!name.empty())
        selectListedNames({ name });
    _filenames.clear();
    return runModal();
}
