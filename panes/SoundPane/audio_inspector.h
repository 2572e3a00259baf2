#pragma once
// MVPAudioInspector: the audio tab of the properties window. For the movie it edits the movie's volume,
// mute, balance, bass, treble and gain; for a track with sound the same settings of the track, a "solo"
// switch and the speaker assignment of each channel (MVPTrackAudioInspector). Every edit is undoable.
#include "key_value_pane.h"

#include "platform/basekit/notification_center.h"

// Limits of the pane's keys.
struct MVPAudioRange {
    double min, max;
};
inline constexpr MVPAudioRange MVPVolumeRange { 0, 255 };
inline constexpr MVPAudioRange MVPBalanceRange { -1.0, 1.0 };
inline constexpr MVPAudioRange MVPBassRange { -8.0, 8.0 };
inline constexpr MVPAudioRange MVPTrebleRange { -8.0, 8.0 };
inline constexpr MVPAudioRange MVPGainRange { 0.0, 2.0 };

class MVPAudioInspector : public MVPKeyValuePane {
public:
    ~MVPAudioInspector() override;

    std::shared_ptr<HXView> view() override;
    void startInspection() override;
    void stopInspection() override;

    HXPropertyList valueForKey(const std::string& key) const override;

protected:
    MVPAudioInspector(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle);
    void takeValueForKey(const HXPropertyList& value, const std::string& key) override;
    // Numbers only, within the key's limits.
    bool validateValue(HXPropertyList& value, const std::string& key, const HXPropertyList& current) override;
    // Builds the view's controls (the sliders and the mute box; subclasses add theirs).
    virtual void buildView();
    virtual void didLoadView() {}

    MVPInspectedObject _object;
    std::shared_ptr<HXBundle> _bundle;
    std::shared_ptr<HXView> _view;

private:
    std::vector<HXObserverToken> _listeners;
};

class MVPMovieAudioInspector : public MVPAudioInspector {
public:
    MVPMovieAudioInspector(const MVPInspectedObject& object, std::shared_ptr<HXBundle> bundle)
        : MVPAudioInspector(object, std::move(bundle))
    {
    }
};

class MVPAudioInspectorFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPAudioInspector"; }
    bool canInspectObject(const MVPInspectedObject& object) override;
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};
