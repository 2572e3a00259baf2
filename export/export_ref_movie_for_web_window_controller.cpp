#include "export/export_ref_movie_for_web_window_controller.h"

#include "export/document_export.h"
#include "export/reference_movie_atoms.h"
#include "export/sheet_presentation.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/mvkit/export/exporter.h"
#include "platform/mvkit/export/jpeg_encoder.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_frame_image.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/help_manager.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/open_panel.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>

namespace {

constexpr const char* kInterfaceName = "ExportRefMovieForWeb";
constexpr const char* kOutputFolderKey = "MVPExportRefMovieForWebOutputFolder";
constexpr const char* kExportTargetsKey = "MVPExportRefMovieForWebExportTargets";
constexpr const char* kPosterImageSourceKey = "MVPExportRefMovieForWebPosterImageSource";
constexpr double kMaxWidth = 1128, kMaxHeight = 480;
constexpr long kPosterFromCurrentFrame = 1;

std::string standardizedFolder(const std::string& path)
{
    return HXString::stringByStandardizingPath(HXString::stringByExpandingTildeInPath(path));
}

bool isDirectory(const std::string& path)
{
    bool directory = false;
    return HXFileManager::defaultManager().fileExistsAtPath(path, &directory) && directory;
}

// The user's videos folder, made when it is missing: a new account may have none yet, and the first
// export must not fail for it.
std::string moviesFolder()
{
    std::string folder = standardizedFolder(HXMoviesDirectory());
    if (!isDirectory(folder))
        HXFileManager::defaultManager().createDirectoryAtPath(folder, true);
    return folder;
}

uint32_t number(const HXPropertyList::Dictionary& d, const char* key)
{
    auto found = d.find(key);
    return found == d.end() ? 0 : uint32_t(found->second.integerValue());
}

} // namespace

std::string replaceColonsAndSlashesInFileName(const std::string& name)
{
    if (name.find_first_of(":/") == std::string::npos)
        return name;
    std::string cleaned = name;
    std::replace(cleaned.begin(), cleaned.end(), ':', '-');
    std::replace(cleaned.begin(), cleaned.end(), '/', '-');
    return cleaned;
}

bool MVPFileNameFormatter::getObjectValue(
    HXPropertyList& value, const std::string& string, std::string*) const
{
    value = string;
    return true;
}

bool MVPFileNameFormatter::isPartialStringValid(
    const std::string& partialString, std::string* newString, std::string*) const
{
    std::string cleaned = replaceColonsAndSlashesInFileName(partialString);
    if (newString)
        *newString = cleaned;
    return cleaned == partialString;
}

void MVPExportRefMovieForWebWindowController::registerDefaults()
{
    HXUserDefaults::standardUserDefaults().registerDefaults({
        { kOutputFolderKey, HXMoviesDirectory() },
        { kExportTargetsKey,
            HXPropertyList::Array { MVPExportRefMovieForWebExportTargetCelluma,
                MVPExportRefMovieForWebExportTargetCellumaCell } },
        { kPosterImageSourceKey, 1 },
    });
}

MVPExportRefMovieForWebWindowController::MVPExportRefMovieForWebWindowController(
    std::shared_ptr<MVMovie> movie, std::string displayName, std::shared_ptr<HXBundle> resources)
    : HXWindowController(kInterfaceName)
    , _movie(std::move(movie))
    , _displayName(std::move(displayName))
    , _resources(resources ? std::move(resources) : HXBundle::mainBundle())
{
    registerDefaults();
    if (!HXInterfaceLoader::hasInterface(kInterfaceName)) {
        HXInterfaceLoader::registerInterface(kInterfaceName, [](const std::shared_ptr<HXObject>& owner) {
            auto controller = std::dynamic_pointer_cast<MVPExportRefMovieForWebWindowController>(owner);
            if (!controller)
                return std::vector<std::shared_ptr<HXObject>> {};
            controller->buildWindow();
            return std::vector<std::shared_ptr<HXObject>> { controller->_folderField->window() };
        });
    }
    std::string saved
        = standardizedFolder(HXUserDefaults::standardUserDefaults().stringForKey(kOutputFolderKey));
    _folder = !saved.empty() && isDirectory(saved) ? saved : moviesFolder();
    setActionHandler("showContextHelp:", [this](HXObject* s) { showContextHelp(s); });
    setActionHandler("cancel:", [this](HXObject* s) { cancel(s); });
    setActionHandler("startExport:", [this](HXObject* s) { startExport(s); });
    setActionHandler("chooseFolder:", [this](HXObject* s) { chooseFolder(s); });
    setActionHandler("toggleExportTarget:", [this](HXObject* s) { toggleExportTarget(s); });
}

MVPExportRefMovieForWebWindowController::~MVPExportRefMovieForWebWindowController() = default;

std::string MVPExportRefMovieForWebWindowController::localized(
    const std::string& key, const std::string& fallback) const
{
    return _resources->localizedStringForKey(key, fallback, "Export");
}

void MVPExportRefMovieForWebWindowController::buildWindow()
{
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 440, 250), HXTitledWindowMask);
    auto content = sheet->contentView();
    auto self = shared_from_this();
    auto label = [&](const std::string& text, HXRect frame) {
        auto field = std::make_shared<HXTextField>(frame);
        field->setStringValue(text);
        field->setEditable(false);
        field->setBezeled(false);
        field->setDrawsBackground(false);
        content->addSubview(field);
    };
    auto button = [&](const std::string& title, HXRect frame, HXButtonType type, const char* action) {
        auto b = std::make_shared<HXButton>(frame);
        b->setButtonType(type);
        b->setTitle(title);
        b->setTarget(self);
        b->setAction(action);
        content->addSubview(b);
        return b;
    };
    label(localized("mvpWebName", "Name:"), HXMakeRect(20, 212, 90, 18));
    _nameField = std::make_shared<HXTextField>(HXMakeRect(115, 210, 305, 22));
    content->addSubview(_nameField);
    label(localized("mvpWebFolder", "Save in:"), HXMakeRect(20, 180, 90, 18));
    _folderField = std::make_shared<HXPopUpButton>(HXMakeRect(115, 176, 305, 26));
    _folderField->setTarget(self);
    _folderField->setAction("chooseFolder:");
    content->addSubview(_folderField);
    label(localized("mvpWebExportFor", "Export for:"), HXMakeRect(20, 148, 90, 18));
    _exportForWebCheckbox = button(localized("mvpWebTargetWeb", "Computers"), HXMakeRect(115, 146, 300, 20),
        HXSwitchButton, "toggleExportTarget:");
    _exportForCellumaCheckbox = button(localized("mvpWebTargetCelluma", "Phones over Wi-Fi"),
        HXMakeRect(115, 124, 300, 20), HXSwitchButton, "toggleExportTarget:");
    _exportForCellumaCellCheckbox
        = button(localized("mvpWebTargetCellumaCell", "Phones over a cellular network"),
            HXMakeRect(115, 102, 300, 20), HXSwitchButton, "toggleExportTarget:");
    label(localized("mvpWebPoster", "Poster:"), HXMakeRect(20, 74, 90, 18));
    _posterImageSourceRadioButtons
        = std::make_shared<HXMatrix>(HXMakeRect(115, 52, 300, 40), HXRadioModeMatrix, HXCellFactory {}, 2, 1);
    _posterImageSourceRadioButtons->cellAtRowColumn(0, 0)->setTitle(
        localized("mvpWebPosterCurrent", "Current frame"));
    _posterImageSourceRadioButtons->cellAtRowColumn(0, 0)->setTag(kPosterFromCurrentFrame);
    _posterImageSourceRadioButtons->cellAtRowColumn(1, 0)->setTitle(
        localized("mvpWebPosterFrame", "Poster frame"));
    _posterImageSourceRadioButtons->cellAtRowColumn(1, 0)->setTag(2);
    content->addSubview(_posterImageSourceRadioButtons);
    button(localized("mvpCancel", "Cancel"), HXMakeRect(230, 12, 90, 28), HXMomentaryPushInButton, "cancel:");
    _exportButton = button(localized("mvpWebExport", "Export"), HXMakeRect(330, 12, 90, 28),
        HXMomentaryPushInButton, "startExport:");
    setWindow(sheet);
}

void MVPExportRefMovieForWebWindowController::windowDidLoad()
{
    _folderField->removeAllItems();
    _folderField->addItemWithTitle(HXFileManager::defaultManager().displayNameAtPath(_folder));
    _folderField->addItemWithTitle(localized("mvpWebChooseFolder", "Other\u2026"));
    _folderField->selectItemAtIndex(0);
    _nameField->setFormatter(std::make_shared<MVPFileNameFormatter>());
    _nameField->setDelegate(std::dynamic_pointer_cast<HXTextFieldDelegate>(shared_from_this()));
    _nameField->setStringValue(
        replaceColonsAndSlashesInFileName(HXString::stringByDeletingPathExtension(_displayName)));
    auto& defaults = HXUserDefaults::standardUserDefaults();
    auto saved = defaults.arrayForKey(kExportTargetsKey);
    auto chosen = [&](const char* key) {
        return std::any_of(
            saved.begin(), saved.end(), [&](const HXPropertyList& v) { return v.stringValue() == key; });
    };
    _exportForCellumaCheckbox->setState(chosen(MVPExportRefMovieForWebExportTargetCelluma));
    _exportForCellumaCellCheckbox->setState(chosen(MVPExportRefMovieForWebExportTargetCellumaCell));
    _exportForWebCheckbox->setState(chosen(MVPExportRefMovieForWebExportTargetWeb));
    if (!_posterImageSourceRadioButtons->selectCellWithTag(
            long(defaults.integerForKey(kPosterImageSourceKey))))
        _posterImageSourceRadioButtons->selectCellWithTag(kPosterFromCurrentFrame);
    updateExportButton();
}

void MVPExportRefMovieForWebWindowController::beginSheet(
    const std::shared_ptr<HXWindow>& window, std::function<void(long)> didEnd)
{
    _didEnd = std::move(didEnd);
    MVPBeginSheet(this->window(), window);
}

void MVPExportRefMovieForWebWindowController::endSheet(long returnCode)
{
    auto sheet = window();
    MVPEndSheet(sheet, returnCode);
    sheet->orderOut();
    if (auto ended = std::exchange(_didEnd, nullptr))
        ended(returnCode);
}

void MVPExportRefMovieForWebWindowController::showContextHelp(HXObject*)
{
    // The program's help book, at its page on exporting for the web.
    if (!HXHelpManager::sharedHelpManager().openHelpAnchor("mvphoneweb", {}, _resources))
        HXBeep();
}

void MVPExportRefMovieForWebWindowController::cancel(HXObject*)
{
    saveDialogState();
    endSheet(0);
}

void MVPExportRefMovieForWebWindowController::chooseFolder(HXObject*)
{
    auto panel = HXOpenPanel::openPanel();
    panel->setCanChooseFiles(false);
    panel->setCanChooseDirectories(true);
    panel->setCanCreateDirectories(true);
    panel->setPrompt(localized("mvpPreferencesChoose", "Choose"));
    long code = panel->runModalForDirectory(_folder, std::string(), std::vector<std::string> {});
    chooseFolderDidEnd(code, panel->filename());
}

void MVPExportRefMovieForWebWindowController::chooseFolderDidEnd(long returnCode, const std::string& path)
{
    window();
    if (returnCode == 1 && !path.empty()) {
        _folder = standardizedFolder(path);
        _folderField->itemAtIndex(0)->setTitle(HXFileManager::defaultManager().displayNameAtPath(_folder));
    }
    _folderField->selectItemAtIndex(0);
}

void MVPExportRefMovieForWebWindowController::toggleExportTarget(HXObject*)
{
    updateExportButton();
}

void MVPExportRefMovieForWebWindowController::controlTextDidChange(HXTextField&)
{
    updateExportButton();
}

void MVPExportRefMovieForWebWindowController::updateExportButton()
{
    window();
    bool anyTarget = _exportForCellumaCheckbox->state() == 1 || _exportForCellumaCellCheckbox->state() == 1
        || _exportForWebCheckbox->state() == 1;
    _exportButton->setEnabled(!_nameField->stringValue().empty() && anyTarget);
}

void MVPExportRefMovieForWebWindowController::saveDialogState()
{
    window();
    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setString(_folder, kOutputFolderKey);
    HXPropertyList::Array targets;
    if (_exportForCellumaCheckbox->state() == 1)
        targets.push_back(MVPExportRefMovieForWebExportTargetCelluma);
    if (_exportForCellumaCellCheckbox->state() == 1)
        targets.push_back(MVPExportRefMovieForWebExportTargetCellumaCell);
    if (_exportForWebCheckbox->state() == 1)
        targets.push_back(MVPExportRefMovieForWebExportTargetWeb);
    defaults.setObject(targets, kExportTargetsKey);
    defaults.setInteger(_posterImageSourceRadioButtons->selectedTag(), kPosterImageSourceKey);
}

std::pair<double, double> MVPExportRefMovieForWebWindowController::exportSize(double width, double height)
{
    if ((width > kMaxWidth || height > kMaxHeight) && width > 0 && height > 0) {
        double k = std::min(kMaxWidth / width, kMaxHeight / height);
        return { width * k, height * k };
    }
    return { width, height };
}

std::string MVPExportRefMovieForWebWindowController::escapeEntities(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string MVPExportRefMovieForWebWindowController::pageFromTemplate(const std::string& page,
    const std::string& baseName, double width, double height, const std::vector<std::string>& movieFileNames)
{
    auto jsEscaped = [](const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == '\\' || c == '\'')
                out += '\\';
            out += c;
        }
        return out;
    };
    std::string poster = baseName + "-poster.jpg";
    std::string reference = baseName + ".mov";
    std::string names;
    for (const auto& name : movieFileNames)
        names += "\n\t\t<li><a href=\"" + MVPRefMovieCreateFullyEscapedURLString(name) + "\">"
            + escapeEntities(name) + "</a></li>";
    const std::map<std::string, std::string> values = {
        { "TITLE", escapeEntities(baseName) },
        { "POSTER_IMAGE_URL_ESCAPED", MVPRefMovieCreateFullyEscapedURLString(poster) },
        { "POSTER_IMAGE_JS_ESCAPED", jsEscaped(MVPRefMovieCreateFullyEscapedURLString(poster)) },
        { "POSTER_IMAGE_HTML_ESCAPED", escapeEntities(poster) },
        { "REF_MOVIE_URL_ESCAPED", MVPRefMovieCreateFullyEscapedURLString(reference) },
        { "REF_MOVIE_JS_ESCAPED", jsEscaped(MVPRefMovieCreateFullyEscapedURLString(reference)) },
        { "REF_MOVIE_HTML_ESCAPED", escapeEntities(reference) },
        { "WIDTH", std::to_string(static_cast<unsigned long>(width)) },
        { "HEIGHT", std::to_string(static_cast<unsigned long>(height)) },
        { "EXPORT_NAMES", names },
    };
    std::string out;
    size_t at = 0;
    while (at < page.size()) {
        size_t open = page.find("$(", at);
        size_t close = open == std::string::npos ? std::string::npos : page.find(')', open);
        auto value = close == std::string::npos ? values.end()
                                                : values.find(page.substr(open + 2, close - open - 2));
        if (value == values.end()) {
            size_t end = open == std::string::npos ? page.size() : open + 2;
            out.append(page, at, end - at);
            at = end;
            continue;
        }
        out.append(page, at, open - at);
        out += value->second;
        at = close + 1;
    }
    return out;
}

void MVPExportRefMovieForWebWindowController::showFailure(const std::string& informativeKey,
    const std::string& informativeFallback, const std::string& argument, const HXError* error)
{
    std::shared_ptr<HXAlert> alert;
    if (error && error->code() != 0) {
        alert = HXAlert::alertWithError(*error);
    } else {
        alert = HXAlert::alertWithMessageText(localized("mvpExportFailed", "Export Failed"),
            localized("mvpOK", "OK"), {}, {},
            HXString::format(
                localized(informativeKey, informativeFallback), std::vector<std::string> { argument }));
    }
    alert->runModal();
}

bool MVPExportRefMovieForWebWindowController::collectTargets(
    const std::string& baseName, std::vector<Target>& targets)
{
    auto list = HXPropertyList::readFromFile(_resources->pathForResource("exportForWebTargets", "plist"));
    if (!list || !list->isDictionary())
        return false;
    std::vector<std::pair<const char*, bool>> chosen = {
        { MVPExportRefMovieForWebExportTargetWeb, _exportForWebCheckbox->state() == 1 },
        { MVPExportRefMovieForWebExportTargetCellumaCell, _exportForCellumaCellCheckbox->state() == 1 },
        { MVPExportRefMovieForWebExportTargetCelluma, _exportForCellumaCheckbox->state() == 1 },
    };
    for (const auto& [key, on] : chosen) {
        if (!on)
            continue;
        Target target;
        target.key = key;
        const auto& entry = (*list)[key];
        if (!entry.isDictionary())
            return false;
        target.entry = entry.dictionaryValue();
        auto settings = HXPropertyList::readFromFile(
            _resources->pathForResource(entry["SettingsFile"].stringValue(), "plist"));
        if (!settings || !settings->isDictionary())
            return false;
        target.settings = settings->dictionaryValue();
        auto exporter = MVExporter::findExporter(number(target.settings, "MVExpComponentType"),
            number(target.settings, "MVExpComponentSubType"),
            number(target.settings, "MVExpComponentManufacture"),
            number(target.settings, "MVExpComponentFlags"),
            number(target.settings, "MVExpComponentFlagsMask"));
        if (!exporter || exporter->fileNameExtension().empty())
            return false;
        target.fileName = baseName + entry["FileSuffix"].stringValue() + "." + exporter->fileNameExtension();
        targets.push_back(std::move(target));
    }
    return true;
}

bool MVPExportRefMovieForWebWindowController::confirmReplacing(
    const std::string& folderPath, const std::vector<std::string>& names)
{
    auto& files = HXFileManager::defaultManager();
    std::vector<std::string> existing;
    for (const auto& name : names)
        if (files.fileExistsAtPath(HXString::stringByAppendingPathComponent(folderPath, name)))
            existing.push_back(name);
    if (existing.empty())
        return true;
    std::string folderName = files.displayNameAtPath(folderPath);
    auto alert = HXAlert::alertWithMessageText(
        HXString::format(localized("mvpFilesExist", "Some files already exist in \u201C%@\u201D."),
            std::vector<std::string> { folderName }),
        localized("mvpReplace", "Replace"), localized("mvpCancel", "Cancel"), {},
        HXString::format(localized("mvpFilesExistExplanation",
                             "%@\n\nReplacing them overwrites their contents in \u201C%@\u201D."),
            std::vector<std::string> { HXString::componentsJoinedByString(existing, "\n"), folderName }));
    alert->setAlertStyle(HXCriticalAlertStyle);
    return alert->runModal() == HXAlertDefaultReturn;
}

bool MVPExportRefMovieForWebWindowController::makeFolder(const std::string& folderPath)
{
    auto& files = HXFileManager::defaultManager();
    bool directory = false;
    if (files.fileExistsAtPath(folderPath, &directory)) {
        if (directory)
            return true;
        std::string name = files.displayNameAtPath(folderPath);
        auto alert = HXAlert::alertWithMessageText(
            HXString::format(localized("mvpCannotReplaceFileWithFolder", "\u201C%@\u201D is a file."),
                std::vector<std::string> { name }),
            localized("mvpOK", "OK"), {}, {},
            HXString::format(
                localized("mvpCannotReplaceFileWithFolderSuggestion",
                    "A folder named \u201C%@\u201D cannot be made in its place. Choose another name."),
                std::vector<std::string> { name }));
        alert->runModal();
        return false;
    }
    HXError error;
    if (!files.createDirectoryAtPath(folderPath, false, &error)) {
        showFailure("mvpCouldNotSaveToFolder", "The files cannot be saved in \u201C%@\u201D.",
            files.displayNameAtPath(_folder), &error);
        return false;
    }
    return true;
}

bool MVPExportRefMovieForWebWindowController::writePoster(
    const std::string& path, double width, double height)
{
    long tag = _posterImageSourceRadioButtons->selectedTag();
    MVTime time = tag == kPosterFromCurrentFrame ? _movie->currentTime() : _movie->posterTime();
    HXError error;
    auto image
        = MVMovieFrameImageAtTime(_movie, time, HXSize { width, height }, MVApertureMode::Clean, &error);
    auto bitmap = image ? image->bitmapImageRep() : nullptr;
    auto jpeg = bitmap ? MVJPEGRepresentationOfBitmap(*bitmap, 0.8) : std::nullopt;
    if (!jpeg) {
        showFailure("mvpUnknownError", "The poster image cannot be made.", {}, &error);
        return false;
    }
    if (!HXFileManager::defaultManager().writeToFile(path, jpeg->view(), true, &error)) {
        showFailure("mvpCouldNotSaveToFolder", "The files cannot be saved in \u201C%@\u201D.",
            HXFileManager::defaultManager().displayNameAtPath(
                HXString::stringByDeletingLastPathComponent(path)),
            &error);
        return false;
    }
    return true;
}

void MVPExportRefMovieForWebWindowController::startExport(HXObject*)
{
    saveDialogState();
    std::string baseName = replaceColonsAndSlashesInFileName(_nameField->stringValue());
    std::string folderPath = HXString::stringByAppendingPathComponent(_folder, baseName);
    auto& files = HXFileManager::defaultManager();

    std::vector<Target> targets;
    if (baseName.empty() || !collectTargets(baseName, targets) || targets.empty()) {
        showFailure("mvpUnknownError", "An unknown error occurred.", {}, nullptr);
        endSheet(0);
        return;
    }
    std::string poster = baseName + "-poster.jpg";
    std::string reference = baseName + ".mov";
    std::vector<std::string> names = { "ReadMe.html", poster, reference };
    for (const auto& t : targets)
        names.push_back(t.fileName);
    if (!confirmReplacing(folderPath, names) || !makeFolder(folderPath))
        return; // the sheet stays for another name or folder

    // The movie at the size it is shown at, its own matrix included.
    auto current = _movie->currentSize();
    auto [width, height] = exportSize(current.first, current.second);
    if (_movie->hasVideo()
        && !writePoster(HXString::stringByAppendingPathComponent(folderPath, poster), width, height)) {
        endSheet(0);
        return;
    }

    std::ifstream templateFile(
        _resources->pathForResource("ExportRefMovieForWebTemplate", "html"), std::ios::binary);
    std::string page((std::istreambuf_iterator<char>(templateFile)), std::istreambuf_iterator<char>());
    if (!templateFile || page.empty()) {
        showFailure("mvpUnknownError", "An unknown error occurred.", {}, nullptr);
        endSheet(0);
        return;
    }
    std::vector<std::string> movieNames;
    for (const auto& t : targets)
        movieNames.push_back(t.fileName);
    HXError error;
    if (!files.writeToFile(HXString::stringByAppendingPathComponent(folderPath, "ReadMe.html"),
            pageFromTemplate(page, baseName, width, height, movieNames), true, &error)) {
        showFailure("mvpCouldNotSaveToFolder", "The files cannot be saved in \u201C%@\u201D.",
            files.displayNameAtPath(folderPath), &error);
        endSheet(0);
        return;
    }

    // The reference movie is written before any job is queued: a site whose reference movie could not
    // be written gets no encodings either.
    HXPropertyList::Array* records = nullptr;
    auto tree = MVPRefMovieDictionaryCreateEmpty(&records);
    std::vector<HXPropertyList::Dictionary> jobs;
    HXData movieData(_movie->movieFormatRepresentation());
    for (const auto& t : targets) {
        HXPropertyList::Dictionary attributes
            = { { "URL", MVPRefMovieCreateFullyEscapedURLString(t.fileName) } };
        if (auto rate = t.entry.find("DataRate"); rate != t.entry.end())
            attributes["dataRate"] = rate->second;
        if (auto version = t.entry.find("Version"); version != t.entry.end())
            attributes["version"] = version->second;
        if (auto descriptor = MVPRefMovieDescriptorDictionaryCreateWithAttributes(attributes))
            records->push_back(*descriptor);
        auto job = t.settings;
        job["MVExpMovieIn"] = movieData;
        job["MVExpNameOut"] = HXString::stringByAppendingPathComponent(folderPath, t.fileName);
        job["MVExpType"] = "Export";
        job["description"]
            = HXString::format(localized("mvpExport", "Export %@"), std::vector<std::string> { t.fileName });
        jobs.push_back(std::move(job));
    }
    auto bytes = MVPMovieAtomDataCreateFromDictionary(*tree);
    if (!bytes
        || !files.writeToFile(
            HXString::stringByAppendingPathComponent(folderPath, reference), bytes->view(), true, &error)) {
        showFailure("mvpCouldNotSaveToFolder", "The files cannot be saved in \u201C%@\u201D.",
            files.displayNameAtPath(folderPath), bytes ? &error : nullptr);
        endSheet(0);
        return;
    }
    for (const auto& job : jobs)
        MVPDocumentExport::queueJob(job);
    endSheet(1);
}
