// The window controller's part of saving and sharing: the save panel's accessory that chooses between
// a reference movie and a self-contained one and shows the size of each, and handing the movie's file
// or address to other programs as file names or text.
#include "player/window/window_controller.h"

#include "document/movie_document.h"
#include "core/string_additions.h"

#include "platform/basekit/bundle.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button_cell.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/save_panel.h"
#include "platform/winkit/text_field.h"

#include <algorithm>

namespace {

constexpr double kFoldedHeight = 58;
constexpr double kUnfoldedHeight = 160;

std::string localized(const char* key, const char* english)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, english, {});
}

} // namespace

std::shared_ptr<HXView> MVPWindowController::saveAsAccessoryView(int64_t normalFileSize, int64_t selfContainedFileSize)
{
    if (!_saveAsAccessoryView) {
        auto view = std::make_shared<HXView>(HXMakeRect(0, 0, 420, kFoldedHeight));
        auto matrix = std::make_shared<HXMatrix>(HXMakeRect(12, 6, 280, 46), HXRadioModeMatrix, nullptr, 2, 1);
        matrix->setCellSize({ 280, 22 });
        const struct {
            const char* key;
            const char* english;
        } titles[] = { { "mvpSaveAsReferenceMovie", "Save as a reference movie" },
            { "mvpSaveAsSelfContainedMovie", "Make movie self-contained" } };
        for (long row = 0; row < 2; ++row) {
            auto cell = matrix->cellAtRowColumn(row, 0);
            cell->setTitle(localized(titles[row].key, titles[row].english));
            cell->setTag(row); // 0: reference, 1: self-contained
        }
        matrix->setTarget(std::static_pointer_cast<HXObject>(shared_from_this()));
        matrix->setAction("flattenOption:");
        auto normal = HXTextField::labelWithString("", HXMakeRect(300, 30, 110, 20));
        auto selfContained = HXTextField::labelWithString("", HXMakeRect(300, 8, 110, 20));
        view->addSubview(matrix);
        view->addSubview(normal);
        view->addSubview(selfContained);
        _saveAsAccessoryView = view;
        _saveAsFileFlattenMatrix = matrix;
        _saveAsNormalFileSizeTextField = normal;
        _saveAsSelfContainedFileSizeTextField = selfContained;
        // The document's choice shows as the selected row.
        auto doc = movieDocument();
        matrix->selectCellWithTag(!doc || doc->flatten() ? 1 : 0);
    }
    _saveAsNormalFileSizeTextField->setStringValue(HXString_MVAdditions::stringForDataSize(normalFileSize));
    _saveAsSelfContainedFileSizeTextField->setStringValue(
        HXString_MVAdditions::stringForDataSize(selfContainedFileSize));
    return _saveAsAccessoryView;
}

void MVPWindowController::flattenOption(HXObject*)
{
    auto doc = movieDocument();
    if (!doc || !_saveAsFileFlattenMatrix)
        return;
    auto selected = _saveAsFileFlattenMatrix->selectedCell();
    doc->setFlatten(selected && selected->tag() == 1);
}

void MVPWindowController::tiltSaveOptions(HXObject*)
{
    if (!_saveAsAccessoryView)
        return;
    bool updates = HXApplication::hasSharedApplication();
    if (updates)
        HXApp().disableScreenUpdates();
    HXSize size = _saveAsAccessoryView->frame().size;
    size.height = size.height > kFoldedHeight ? kFoldedHeight : kUnfoldedHeight;
    _saveAsAccessoryView->setFrameSize(size);
    _saveAsAccessoryView->setNeedsDisplay(true);
    // The panel lays its accessory out only when it is given one: give it again.
    if (auto doc = movieDocument())
        if (auto panel = doc->currentSavePanel()) {
            auto view = _saveAsAccessoryView;
            panel->setAccessoryView(nullptr);
            panel->setAccessoryView(view);
        }
    if (updates)
        HXApp().enableScreenUpdates();
}

// ---- Handing the movie to other programs ----

bool MVPWindowController::isValidRequestorForSendType(const std::string& sendType) const
{
    auto m = movie();
    return sendType == HXStringPboardType || (sendType == HXFilenamesPboardType && m && !m->fileName().empty());
}

bool MVPWindowController::writeSelectionToPasteboard(HXPasteboard& pasteboard, const std::vector<std::string>& types) const
{
    auto wants = [&](const char* type) { return std::find(types.begin(), types.end(), type) != types.end(); };
    auto m = movie();
    if (!m)
        return false;
    const std::string& fileName = m->fileName();
    if (!fileName.empty() && wants(HXFilenamesPboardType)) {
        pasteboard.declareTypes({ HXFilenamesPboardType }, nullptr);
        return pasteboard.setPropertyList(
            HXPropertyList(HXPropertyList::Array { HXPropertyList(fileName) }), HXFilenamesPboardType);
    }
    auto url = m->URL();
    if ((!fileName.empty() || url) && wants(HXStringPboardType)) {
        pasteboard.declareTypes({ HXStringPboardType }, nullptr);
        return pasteboard.setString(fileName.empty() ? url->absoluteString() : fileName, HXStringPboardType);
    }
    return false;
}
