#pragma once
// The mail pane of the share sheet: the user names the attachment and picks a size preset ("mail<N>.plist"
// by the pop-up item's tag); the pane decides whether the movie must be compressed with the preset or can
// simply be flattened, shows a summary and an estimated size, and hands back the job that writes the movie
// to a temporary file and runs the mail script ("mail.zantrelscript") on it.
#include "export/view_controller.h"

#include <functional>
#include <memory>
#include <string>

class HXBundle;
class HXPopUpButton;
class HXTextField;

class ShareMailController : public ViewController {
public:
    // What the pane reads of a movie (the document's media additions fill it in).
    struct MovieFacts {
        double width = 0, height = 0;
        int64_t fileSize = 0; // format representation + the movie's data
        double frameRate = 0; // frames per second, rounded
        double duration = 0; // whole seconds
        int64_t dataRate = 0; // bytes per second
        bool isInteractive = false, hasDuration = false, hasAudio = false, hasVideo = false;
        std::string fileName; // the movie's file, "" for none
        std::string formatString; // the movie's format description
    };
    using MovieFactsProvider = std::function<MovieFacts(const MVMovie&)>;
    // How the document describes movies and sizes; the defaults use the movie alone.
    static void setMovieFactsProvider(MovieFactsProvider provider);
    static void setDataSizeFormatter(std::function<std::string(int64_t)> formatter);
    static MovieFacts defaultMovieFacts(const MVMovie& movie);

    // A pane with its view; `resources` holds the presets and the mail script (the application's bundle
    // unless given).
    static std::shared_ptr<ShareMailController> make(std::shared_ptr<HXBundle> resources = nullptr);
    explicit ShareMailController(std::shared_ptr<HXBundle> resources); // use make
    // The interface "ShareMail": makes the pane and its view for `owner` (a ParentingWindowController).
    static void registerInterface(std::shared_ptr<HXBundle> resources = nullptr);

    void setMVMovie(const std::shared_ptr<MVMovie>& movie) override;
    HXPropertyList::Dictionary parameters() override;
    void settingChanged(HXObject* sender);
    void update();
    // Facts as a test or another caller gives them (setMVMovie reads them from the movie).
    void setMovieFacts(const MovieFacts& facts);

    std::shared_ptr<HXTextField> nameTextField() const { return _nameTextField; }
    std::shared_ptr<HXPopUpButton> settingPopUpButton() const { return _settingPopUpButton; }
    std::shared_ptr<HXTextField> summaryTextField() const { return _summaryTextField; }
    std::shared_ptr<HXTextField> estimatedSizeTextField() const { return _estimatedSizeTextField; }
    const HXPropertyList::Dictionary& settings() const { return _settings; }
    bool compress() const { return _compress; }
    double cWidth() const { return _cWidth; }
    double cHeight() const { return _cHeight; }
    double cFrameRate() const { return _cFrameRate; }
    int64_t cFileSize() const { return _cFileSize; }

    // The sample rate as kilohertz text with three decimals ("44.100").
    static std::string sampleRateText(double hertz);

private:
    void buildView();
    std::string localized(const std::string& key, const std::string& fallback) const;

    std::shared_ptr<HXTextField> _nameTextField;
    std::shared_ptr<HXPopUpButton> _settingPopUpButton;
    std::shared_ptr<HXTextField> _summaryTextField;
    std::shared_ptr<HXTextField> _estimatedSizeTextField;
    std::shared_ptr<MVMovie> _movie;
    HXPropertyList::Dictionary _settings;
    bool _compress = false;
    MovieFacts _f;
    double _cWidth = 0, _cHeight = 0, _cFrameRate = 0;
    int64_t _cFileSize = 0;
    std::shared_ptr<HXBundle> _resources;
};
