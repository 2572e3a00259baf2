#pragma once
// Export for Web: the movie of a document turned into a small web site in a folder of its own — one
// encoded movie per chosen target (desktop web, phone over Wi-Fi, phone over a cellular network), a
// poster image, a reference movie that lets a player pick the right encoding, and a read-me page showing
// how to embed the movie. The sheet asks for a name, a folder, the targets and the poster frame; Export
// writes the poster, the page and the reference movie at once and queues one job per target.
//
// The sheet's settings persist in the user defaults "MVPExportRefMovieForWebOutputFolder",
// "MVPExportRefMovieForWebExportTargets" and "MVPExportRefMovieForWebPosterImageSource".
#include "platform/basekit/property_list.h"
#include "platform/winkit/formatter.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window_controller.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HXBundle;
class HXButton;
class HXMatrix;
class HXPopUpButton;
class MVMovie;

inline constexpr const char* MVPExportRefMovieForWebExportTargetWeb
    = "MVPExportRefMovieForWebExportTargetWeb";
inline constexpr const char* MVPExportRefMovieForWebExportTargetCellumaCell
    = "MVPExportRefMovieForWebExportTargetCellumaCell";
inline constexpr const char* MVPExportRefMovieForWebExportTargetCelluma
    = "MVPExportRefMovieForWebExportTargetCelluma";

// The name field's text with every ':' and '/' made a '-' (unchanged when it has neither).
std::string replaceColonsAndSlashesInFileName(const std::string& name);

// Keeps a file-name field free of ':' and '/': typing one shows a '-' in its place.
class MVPFileNameFormatter : public HXFormatter {
public:
    std::string stringForObjectValue(const HXPropertyList& value) const override
    {
        return value.stringValue();
    }
    bool getObjectValue(
        HXPropertyList& value, const std::string& string, std::string* errorDescription) const override;
    bool isPartialStringValid(const std::string& partialString, std::string* newString,
        std::string* errorDescription) const override;
};

class MVPExportRefMovieForWebWindowController : public HXWindowController, public HXTextFieldDelegate {
public:
    // `displayName` is the document's; `resources` holds the target list, the exporter settings and the
    // page template (the application's bundle unless given).
    MVPExportRefMovieForWebWindowController(std::shared_ptr<MVMovie> movie, std::string displayName,
        std::shared_ptr<HXBundle> resources = nullptr);
    ~MVPExportRefMovieForWebWindowController() override;

    static void registerDefaults();

    // Begins the sheet on `window`; `didEnd` gets 1 after an export, 0 after Cancel.
    void beginSheet(const std::shared_ptr<HXWindow>& window, std::function<void(long)> didEnd);

    // Actions.
    void showContextHelp(HXObject* sender);
    void cancel(HXObject* sender);
    void startExport(HXObject* sender);
    void chooseFolder(HXObject* sender);
    void chooseFolderDidEnd(long returnCode, const std::string& path);
    void toggleExportTarget(HXObject* sender);
    void controlTextDidChange(HXTextField& control) override;
    void updateExportButton();
    void saveDialogState();

    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    const std::string& folder() const { return _folder; }

    // Outlets.
    std::shared_ptr<HXTextField> nameField() { return (void)window(), _nameField; }
    std::shared_ptr<HXPopUpButton> folderField() { return (void)window(), _folderField; }
    std::shared_ptr<HXButton> exportForCellumaCheckbox() { return (void)window(), _exportForCellumaCheckbox; }
    std::shared_ptr<HXButton> exportForCellumaCellCheckbox()
    {
        return (void)window(), _exportForCellumaCellCheckbox;
    }
    std::shared_ptr<HXButton> exportForWebCheckbox() { return (void)window(), _exportForWebCheckbox; }
    std::shared_ptr<HXMatrix> posterImageSourceRadioButtons()
    {
        return (void)window(), _posterImageSourceRadioButtons;
    }
    std::shared_ptr<HXButton> exportButton() { return (void)window(), _exportButton; }

    // The size of the poster and the page: the movie's, fitted into 1128 × 480 when larger.
    static std::pair<double, double> exportSize(double width, double height);
    // The page: the template with its placeholders filled in one pass (inserted text is never read again).
    static std::string pageFromTemplate(const std::string& page, const std::string& baseName, double width,
        double height, const std::vector<std::string>& movieFileNames);
    // Text with the markup characters & < > " ' as entities.
    static std::string escapeEntities(const std::string& text);

    void windowDidLoad() override;

private:
    // The interface "ExportRefMovieForWeb": the sheet's views, connected to this controller.
    void buildWindow();
    struct Target {
        std::string key;
        HXPropertyList::Dictionary entry; // from the target list
        HXPropertyList::Dictionary settings; // the exporter settings file
        std::string fileName; // base name + suffix + "." + extension
    };
    bool collectTargets(const std::string& baseName, std::vector<Target>& targets);
    bool confirmReplacing(const std::string& folderPath, const std::vector<std::string>& names);
    bool makeFolder(const std::string& folderPath);
    bool writePoster(const std::string& path, double width, double height);
    void showFailure(const std::string& informativeKey, const std::string& informativeFallback,
        const std::string& argument, const HXError* error);
    void endSheet(long returnCode);
    std::string localized(const std::string& key, const std::string& fallback) const;

    std::shared_ptr<HXTextField> _nameField;
    std::shared_ptr<HXPopUpButton> _folderField;
    std::shared_ptr<HXButton> _exportForCellumaCheckbox;
    std::shared_ptr<HXButton> _exportForCellumaCellCheckbox;
    std::shared_ptr<HXButton> _exportForWebCheckbox;
    std::shared_ptr<HXMatrix> _posterImageSourceRadioButtons;
    std::shared_ptr<HXButton> _exportButton;
    std::string _folder;

    std::shared_ptr<MVMovie> _movie;
    std::string _displayName;
    std::shared_ptr<HXBundle> _resources;
    std::function<void(long)> _didEnd;
};
