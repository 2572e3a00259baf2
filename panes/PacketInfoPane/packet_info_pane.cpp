#include "packet_info_pane.h"

#include "pane_views.h"

#include "platform/mvkit/track.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/text_field_cell.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t kHintInfo = MVFourCC("hinf");
constexpr uint32_t kHintMediaType = MVFourCC("hint");

uint32_t readBE32(const MVBytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
}

// `format` with its one integer placeholder replaced by `value` (64-bit: totals may pass 2^31).
std::string formatInteger(const std::string& format, int64_t value)
{
    for (const char* placeholder : { "%lld", "%ld", "%d", "%u", "%i" }) {
        size_t at = format.find(placeholder);
        if (at != std::string::npos)
            return format.substr(0, at) + std::to_string(value) + format.substr(at + std::strlen(placeholder));
    }
    return format.empty() ? std::to_string(value) : format;
}

} // namespace

bool MVPTrackIsHinted(const MVTrack& track)
{
    return track.mediaType() == kHintMediaType && MVUserDataCountItems(track.userData(), kHintInfo) > 0;
}

MVPHintRows MVPHintRowsFromData(
    const MVBytes& data, double durationSeconds, const std::function<std::string(const std::string&)>& formats)
{
    std::map<std::string, std::string> values;
    size_t offset = 0;
    while (data.size() - offset > 8) {
        uint32_t size = readBE32(data, offset);
        if (size < 8 || size > data.size() - offset)
            break;
        uint32_t type = readBE32(data, offset + 4);
        // Values are read only where the atom holds them.
        auto has = [&](size_t end) { return size >= end; };
        auto at = [&](size_t position) { return readBE32(data, offset + position); };
        if (type == MVFourCC("npck") && has(12)) {
            values[kMVPHintPacketCountKey] = std::to_string(int32_t(at(8)));
        } else if (type == MVFourCC("pmax") && has(12)) {
            values[kMVPHintMaxPacketSizeKey] = formatInteger(formats("bytes"), int32_t(at(8)));
        } else if (type == MVFourCC("dmax") && has(12)) {
            values[kMVPHintMaxPacketDurationKey] = formatInteger(formats("milliseconds"), int32_t(at(8)));
        } else if (type == MVFourCC("maxr") && has(16)) {
            if (at(8) == 1000)
                values[kMVPHintMaxBitRateKey] = formatInteger(formats("bits/sec"), int32_t(at(12)));
        } else if (type == MVFourCC("totl") && has(12)) {
            if (durationSeconds > 0) {
                int64_t bits = int64_t(at(8)) * 8;
                values[kMVPHintAverageBitRateKey]
                    = formatInteger(formats("bits/sec"), int64_t(std::llround(double(bits) / durationSeconds)));
            }
        } else if (type == MVFourCC("payt") && has(13)) {
            size_t length = data[offset + 12];
            if (13 + length <= size) {
                std::string name(data.begin() + long(offset + 13), data.begin() + long(offset + 13 + length));
                bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (unsigned char)c < 0x80; });
                if (ascii)
                    values[kMVPHintPayloadTypeKey] = name;
            }
        }
        offset += size;
    }
    MVPHintRows rows;
    for (const char* key : { kMVPHintPacketCountKey, kMVPHintMaxPacketSizeKey, kMVPHintMaxPacketDurationKey,
             kMVPHintMaxBitRateKey, kMVPHintAverageBitRateKey, kMVPHintPayloadTypeKey }) {
        auto it = values.find(key);
        if (it != values.end())
            rows.emplace_back(key, it->second);
    }
    return rows;
}

MVPPacketInfoPane::MVPPacketInfoPane(std::shared_ptr<MVTrack> track, std::shared_ptr<HXBundle> bundle)
    : _track(std::move(track))
    , _bundle(std::move(bundle))
{
}

std::shared_ptr<HXView> MVPPacketInfoPane::view()
{
    if (_view)
        return _view;
    auto prototype = [] {
        auto cell = std::make_shared<HXTextFieldCell>();
        cell->setEditable(false);
        cell->setSelectable(false);
        cell->setDrawsBackground(false);
        cell->setBordered(false);
        cell->setBezeled(false);
        return std::static_pointer_cast<HXCell>(cell);
    };
    _view = std::make_shared<HXMatrix>(HXRect { {}, { 544, 255 } }, HXTrackModeMatrix, prototype, 0, 2);
    _view->setAllowsEmptySelection(true);
    _view->setCellSize({ 272, _view->cellSize().height > 0 ? _view->cellSize().height : 17 });
    return _view;
}

void MVPPacketInfoPane::startInspection()
{
    MVPHintRows rows;
    if (auto hinf = MVUserDataGetItem(_track->userData(), kHintInfo, 1)) {
        double seconds = 0;
        if (!MVGetTimeInterval(_track->range().duration, &seconds))
            seconds = 0;
        rows = MVPHintRowsFromData(*hinf, seconds, [this](const std::string& key) { return MVPLocalizedString(_bundle, key); });
    }
    configureViewForHints(rows);
}

void MVPPacketInfoPane::configureViewForHints(const MVPHintRows& hints)
{
    view();
    _view->renewRows(long(hints.size()), 2);
    for (size_t i = 0; i < hints.size(); ++i) {
        auto label = _view->cellAtRowColumn(long(i), 0);
        auto value = _view->cellAtRowColumn(long(i), 1);
        label->setStringValue(MVPLocalizedString(_bundle, hints[i].first));
        label->setAlignment(HXRightTextAlignment);
        value->setStringValue(hints[i].second);
        value->setAlignment(HXLeftTextAlignment);
    }
    _view->setNeedsDisplay(true);
}

bool MVPPacketInfoPaneFactory::canInspectObject(const MVPInspectedObject& object)
{
    return object.isTrack() && MVPTrackIsHinted(*object.track());
}

std::shared_ptr<MVPPropertyInspector> MVPPacketInfoPaneFactory::propertyInspectorForObject(const MVPInspectedObject& object)
{
    if (!object.isTrack())
        return nullptr;
    return std::make_shared<MVPPacketInfoPane>(object.track(), bundle());
}
