#pragma once
// MVPPacketInfoPane: what a hint track's hint information ("hinf" user data) says of the packets it
// describes: packet count, largest packet size and duration, peak and average bit rate and the payload.
#include "inspectors/pane_interface.h"

#include "platform/winkit/matrix.h"

#include <utility>
#include <vector>

inline constexpr const char* kMVPHintPacketCountKey = "PacketCount";
inline constexpr const char* kMVPHintMaxPacketSizeKey = "MaxPacketSize";
inline constexpr const char* kMVPHintMaxPacketDurationKey = "MaxPacketDuration";
inline constexpr const char* kMVPHintMaxBitRateKey = "MaxBitRate";
inline constexpr const char* kMVPHintAverageBitRateKey = "AverageBitRate";
inline constexpr const char* kMVPHintPayloadTypeKey = "PayloadType";

// The track is a hint track with hint information.
bool MVPTrackIsHinted(const MVTrack& track);

// The hint information's values as (key, text) rows in the order of the keys above. `formats` gives the
// text of the "bytes", "milliseconds" and "bits/sec" formats (each with one %d); `durationSeconds` is
// the track's duration. Atoms too short for their values, or running past the data, are not read.
using MVPHintRows = std::vector<std::pair<std::string, std::string>>;
MVPHintRows MVPHintRowsFromData(
    const MVBytes& hinf, double durationSeconds, const std::function<std::string(const std::string&)>& formats);

class MVPPacketInfoPane : public MVPPropertyInspector {
public:
    MVPPacketInfoPane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle);

    std::shared_ptr<HXView> view() override;
    void startInspection() override;
    void configureViewForHints(const MVPHintRows& hints);

    const std::shared_ptr<HXMatrix>& matrix() const { return _view; }

private:
    std::shared_ptr<MVTrack> _track;
    std::shared_ptr<HXBundle> _bundle;
    std::shared_ptr<HXMatrix> _view;
};

class MVPPacketInfoPaneFactory : public MVPPropertyInspectorFactory {
public:
    std::string className() const override { return "MVPPacketInfoPane"; }
    bool canInspectObject(const MVPInspectedObject& object) override;
    std::shared_ptr<MVPPropertyInspector> propertyInspectorForObject(const MVPInspectedObject& object) override;
};
