#pragma once
// MVPSubtitlesController: the subtitle tracks a movie offers (see MVPLanguageChooser).
#include "document/language_window_controller.h"

class MVPSubtitlesController : public MVPLanguageChooser {
public:
    static std::shared_ptr<MVPSubtitlesController> subtitlesControllerWithMovie(
        const std::shared_ptr<MVMovie>& movie);
    ~MVPSubtitlesController() override;

    // Shows `track` as the subtitles.
    void setLanguageFromTrack(const std::shared_ptr<MVTrack>& track) override;
    // Shows the first subtitle track of `language`.
    void setLanguage(int64_t language) override;

protected:
    std::vector<std::shared_ptr<MVTrack>> tracksToScan() const override;
};
