#pragma once
// MVPTrackPlaybackOptionsPane: a track's chapter track, alternate track, language, cache hint and
// preload, through the undoable key-value setter.
#include "key_value_pane.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/pop_up_button.h"

class MVPTrackPlaybackOptionsPane : public MVPKeyValuePane {
public:
    MVPTrackPlaybackOptionsPane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle, MVPPaneHost* host);
    ~MVPTrackPlaybackOptionsPane() override;

    std::shared_ptr<HXView> view() override;
    void startInspection() override;
    void stopInspection() override;

    // Keys: "chapterTrackID", "alternateTrackID", "language", "cacheHint", "preload".
    HXPropertyList valueForKey(const std::string& key) const override;

    void setupChapterMenu();
    void setupAlternateMenu();
    // The languages of the track's kind of code, the track's own selected (named by its extended
    // language tag when it has one).
    void setupLanguageMenu();
    std::shared_ptr<HXPopUpButton> chapterPopup, alternatePopup, languagePopup;

protected:
    void takeValueForKey(const HXPropertyList& value, const std::string& key) override;
    bool validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current) override;

private:
    void setLanguage(uint16_t code);
    void fillTrackMenu(HXPopUpButton& popup, const std::vector<std::shared_ptr<MVTrack>>& tracks, uint32_t selected);

    std::shared_ptr<MVTrack> _track;
    std::shared_ptr<HXBundle> _bundle;
    MVPPaneHost* _host = nullptr;
    std::shared_ptr<HXView> _view;
    std::vector<HXObserverToken> _observers;
};
