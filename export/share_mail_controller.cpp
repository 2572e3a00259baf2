#include "export/share_mail_controller.h"

#include "export/mail_attachments.h"
#include "export/publish_window.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/text_field.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

constexpr const char* kInterfaceName = "ShareMail";

ShareMailController::MovieFactsProvider& factsProvider()
{
    static ShareMailController::MovieFactsProvider provider;
    return provider;
}

std::function<std::string(int64_t)>& dataSizeFormatter()
{
    static std::function<std::string(int64_t)> formatter;
    return formatter;
}

bool hasNumber(const HXPropertyList::Dictionary& d, const char* key)
{
    auto found = d.find(key);
    return found != d.end() && found->second.isNumber();
}

double numberFor(const HXPropertyList::Dictionary& d, const char* key)
{
    auto found = d.find(key);
    return found == d.end() ? 0 : found->second.realValue();
}

std::string stringFor(const HXPropertyList::Dictionary& d, const char* key)
{
    auto found = d.find(key);
    return found == d.end() ? std::string() : found->second.stringValue();
}

std::shared_ptr<HXTextField> label(HXRect frame)
{
    auto field = std::make_shared<HXTextField>(frame);
    field->setEditable(false);
    field->setBezeled(false);
    field->setDrawsBackground(false);
    return field;
}

} // namespace

void ShareMailController::setMovieFactsProvider(MovieFactsProvider provider)
{
    factsProvider() = std::move(provider);
}

void ShareMailController::setDataSizeFormatter(std::function<std::string(int64_t)> formatter)
{
    dataSizeFormatter() = std::move(formatter);
}

ShareMailController::MovieFacts ShareMailController::defaultMovieFacts(const MVMovie& movie)
{
    MovieFacts f;
    auto size = movie.currentSize();
    f.width = size.first;
    f.height = size.second;
    f.fileSize = int64_t(movie.movieFormatRepresentation().size()) + movie.dataSize();
    f.duration = movie.timeScale() > 0 ? double(movie.durationValue() / movie.timeScale()) : 0;
    double seconds = movie.timeScale() > 0 ? double(movie.durationValue()) / movie.timeScale() : 0;
    f.dataRate = seconds > 0 ? int64_t(double(movie.dataSize()) / seconds) : 0;
    for (const auto& track : movie.tracksOfMediaType(MVFourCC("vide"))) {
        if (track->media() && seconds > 0) {
            f.frameRate = std::round(double(track->media()->sampleCount()) / seconds);
            break;
        }
    }
    f.hasDuration = movie.hasDuration();
    f.hasAudio = movie.hasAudio();
    f.hasVideo = movie.hasVideo();
    f.isInteractive = movie.attributeForKey(MVMovieIsInteractiveAttribute).boolValue();
    f.fileName = movie.fileName();
    return f;
}

ShareMailController::ShareMailController(std::shared_ptr<HXBundle> resources)
    : _resources(resources ? std::move(resources) : HXBundle::mainBundle())
{
    setActionHandler("settingChanged:", [this](HXObject* s) { settingChanged(s); });
}

std::shared_ptr<ShareMailController> ShareMailController::make(std::shared_ptr<HXBundle> resources)
{
    auto pane = std::make_shared<ShareMailController>(std::move(resources));
    pane->buildView();
    return pane;
}

void ShareMailController::registerInterface(std::shared_ptr<HXBundle> resources)
{
    HXInterfaceLoader::registerInterface(kInterfaceName, [resources](const std::shared_ptr<HXObject>& owner) {
        auto pane = make(resources);
        if (auto parent = std::dynamic_pointer_cast<ParentingWindowController>(owner))
            parent->setChild(pane);
        return std::vector<std::shared_ptr<HXObject>> { pane };
    });
}

std::string ShareMailController::localized(const std::string& key, const std::string& fallback) const
{
    return _resources->localizedStringForKey(key, fallback, "Export");
}

void ShareMailController::buildView()
{
    auto view = std::make_shared<HXView>(HXMakeRect(0, 0, 480, 150));
    auto nameLabel = label(HXMakeRect(20, 118, 110, 18));
    nameLabel->setStringValue(localized("mvpShareMailName", "Movie name:"));
    _nameTextField = std::make_shared<HXTextField>(HXMakeRect(135, 116, 325, 22));
    auto sizeLabel = label(HXMakeRect(20, 86, 110, 18));
    sizeLabel->setStringValue(localized("mvpShareMailSize", "Size:"));
    _settingPopUpButton = std::make_shared<HXPopUpButton>(HXMakeRect(135, 82, 325, 26));
    const std::pair<const char*, const char*> presets[] = { { "mvpShareMailSmall", "Small" },
        { "mvpShareMailMedium", "Medium" }, { "mvpShareMailLarge", "Large" } };
    long tag = 1;
    for (const auto& [key, title] : presets) {
        _settingPopUpButton->addItemWithTitle(localized(key, title));
        _settingPopUpButton->lastItem()->setTag(tag++);
    }
    _settingPopUpButton->selectItemAtIndex(0);
    _settingPopUpButton->setTarget(shared_from_this());
    _settingPopUpButton->setAction("settingChanged:");
    _summaryTextField = label(HXMakeRect(135, 34, 325, 44));
    _estimatedSizeTextField = label(HXMakeRect(135, 10, 325, 18));
    for (auto v : std::vector<std::shared_ptr<HXView>> { nameLabel, _nameTextField, sizeLabel,
             _settingPopUpButton, _summaryTextField, _estimatedSizeTextField })
        view->addSubview(v);
    setView(view);
}

void ShareMailController::setMVMovie(const std::shared_ptr<MVMovie>& movie)
{
    _movie = movie;
    if (!movie)
        return;
    setMovieFacts(factsProvider() ? factsProvider()(*movie) : defaultMovieFacts(*movie));
}

void ShareMailController::setMovieFacts(const MovieFacts& facts)
{
    _f = facts;
    _nameTextField->setStringValue(_f.fileName.empty()
            ? localized("mvpShareDefaultName", "My Movie")
            : HXString::stringByDeletingPathExtension(HXString::lastPathComponent(_f.fileName)));
    update();
}

void ShareMailController::settingChanged(HXObject*)
{
    update();
}

std::string ShareMailController::sampleRateText(double hertz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", hertz / 1000.0);
    return text;
}

void ShareMailController::update()
{
    auto item = _settingPopUpButton->itemAtIndex(_settingPopUpButton->indexOfSelectedItem());
    long tag = item ? item->tag() : 0;
    // A preset that is missing is an empty one: the movie is flattened.
    auto preset
        = HXPropertyList::readFromFile(_resources->pathForResource("mail" + std::to_string(tag), "plist"));
    _settings = preset && preset->isDictionary() ? preset->dictionaryValue() : HXPropertyList::Dictionary {};

    _cWidth = _f.width;
    _cHeight = _f.height;
    _cFrameRate = _f.frameRate;
    _cFileSize = _f.fileSize;
    _compress = false;
    bool canCompress = !_f.isInteractive && _f.hasDuration;
    double rate = double(_f.dataRate);
    double videoRate = numberFor(_settings, "MVExpVideoDataRate");
    double audioRate = numberFor(_settings, "MVExpAudioDataRate");
    bool wanted = false;
    if (stringFor(_settings, "MVExpType") == "Export") {
        // Above 1.4 times the limit, compared in tenths so that a rate of exactly 1.4 times stays below.
        if (_f.hasAudio && _f.hasVideo)
            wanted = hasNumber(_settings, "MVExpDataRateCutoff")
                && rate * 10 > numberFor(_settings, "MVExpDataRateCutoff") * 14;
        else if (_f.hasVideo)
            wanted = rate * 10 > videoRate * 14;
        else if (_f.hasAudio)
            wanted = rate > audioRate * 2;
    }

    std::string summary;
    if (wanted && canCompress) {
        _compress = true;
        if (_f.hasVideo) {
            double k = 1;
            double W = numberFor(_settings, "MVExpWidth"), H = numberFor(_settings, "MVExpHeight");
            double a = _f.height > 0 ? _f.width / _f.height : 1;
            if (W > 0 && H > 0 && (_f.width > W || _f.height > H)) {
                if (W / H > a) {
                    _cHeight = H;
                    _cWidth = H * a;
                } else {
                    _cWidth = W;
                    _cHeight = W / a;
                }
                k = (_cWidth * _cHeight) / (W * H);
            }
            double F = numberFor(_settings, "MVExpFrameRate");
            if (F > 0 && F < _f.frameRate)
                _cFrameRate = F;
            // Without a frame rate in the preset the movie keeps its own, and only the size counts.
            double v = F > 0 ? _cFrameRate / F * k : k;
            _cFileSize = int64_t((audioRate + videoRate * v) * _f.duration);
            _settings["MVExpVideoDataRate"] = videoRate * v;
            summary = HXString::format(
                          localized("mvpShareVideoSummary", "Video: %1$@, %2$d \u00D7 %3$d, %4$d fps"),
                          std::vector<HXPropertyList> { stringFor(_settings, "MVExpVideoCodec"),
                              int64_t(_cWidth), int64_t(_cHeight), int64_t(_cFrameRate) })
                + "\n";
        } else {
            _cFileSize = int64_t(audioRate * _f.duration);
        }
        if (_f.hasAudio) {
            std::string channels = int(numberFor(_settings, "MVExpAudioNumChannels")) == 1
                ? localized("mvpSoundMono", "Mono")
                : localized("mvpSoundStereo", "Stereo");
            summary += HXString::format(localized("mvpShareAudioSummary", "Audio: %1$@, %2$@, %3$@ kHz"),
                std::vector<HXPropertyList> { stringFor(_settings, "MVExpAudioCodec"), channels,
                    sampleRateText(numberFor(_settings, "MVExpAudioSampleRate")) });
        }
    } else {
        _settings["MVExpType"] = "Flatten";
        summary = _f.formatString;
    }
    _settings["MVExpWidth"] = _cWidth;
    _settings["MVExpHeight"] = _cHeight;
    _settings["MVExpFrameRate"] = _cFrameRate;
    _estimatedSizeTextField->setStringValue(dataSizeFormatter()
            ? dataSizeFormatter()(_cFileSize)
            : HXString::format("%.1f MB", std::vector<HXPropertyList> { double(_cFileSize) / 1048576.0 }));
    _summaryTextField->setStringValue(summary);
}

HXPropertyList::Dictionary ShareMailController::parameters()
{
    // Each share writes into a folder of its own, so that two shares of the same name never meet and a
    // name cannot reach outside it.
    std::string name
        = HXString::stringByReplacingOccurrencesOfString(_nameTextField->stringValue(), "/", "-");
    if (name.empty() || name == "." || name == "..")
        name = localized("mvpShareDefaultName", "My Movie");
    // The mail program gets a copy kept in the program's cache folder: it may read it only when the
    // message is sent, and nothing of the job stays in the temporary folder once the job has ended.
    std::string why;
    std::string attachments = MVPMailAttachments::makeFolder(&why);
    if (attachments.empty())
        return HXPropertyList::Dictionary {
            { "ErrorTitle",
                localized("mvpShareMailNoAttachmentFolder", "The movie cannot be shared by mail") },
            { "ErrorMessage",
                HXString::format(localized("mvpShareMailNoAttachmentFolderMessage",
                                     "A folder for the attachment cannot be made in the cache folder: %@."),
                    std::vector<std::string> { why }) },
        };
    std::string folder
        = HXString::stringByAppendingPathComponent(HXTemporaryDirectory(), "movara-share-XXXXXX");
    if (!::mkdtemp(folder.data()))
        folder = HXTemporaryDirectory();
    _settings["MVExpNameOut"] = HXString::stringByAppendingPathComponent(folder, name + ".mov");
    _settings["MVPublishAttachment"] = HXString::stringByAppendingPathComponent(attachments, name + ".mov");
    _settings["description"] = HXString::format(
        localized("mvpShareToMail", "Mail \u201C%@\u201D"), std::vector<std::string> { name });
    _settings["MVPublishStep"] = "PublishZantrelScript";
    _settings["MVExpNameOutTemporary"] = true;
    std::ifstream script(_resources->pathForResource("mail", "zantrelscript"), std::ios::binary);
    _settings["PublishZantrelScriptScript"]
        = std::string((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
    return _settings;
}
