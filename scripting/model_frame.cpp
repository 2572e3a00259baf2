#include "scripting/model_frame.h"

#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/text_track_reader.h"
#include "platform/mvkit/track.h"
#include "scripting/script_values.h"
#include "scripting/text_frame.h"
#include "scripting/track_samples.h"
#include "scripting/track_scripting.h"

std::shared_ptr<MVPModelFrame> MVPModelFrame::frameWithIndex(int32_t index, std::shared_ptr<MVTrack> parent)
{
    std::shared_ptr<MVPModelFrame> frame(new MVPModelFrame());
    if (index > 0 && parent) {
        frame->_index = index;
        frame->_parent = std::move(parent);
    }
    return frame;
}

std::shared_ptr<MVPModelFrame> MVPModelFrame::frameWithPayload(
    HXScriptValue payload, std::shared_ptr<MVTrack> parent)
{
    std::shared_ptr<MVPModelFrame> frame(new MVPModelFrame());
    if (!payload.isMissing()) {
        frame->_payload = std::move(payload);
        frame->_parent = std::move(parent);
    }
    return frame;
}

int64_t MVPModelFrame::time() const
{
    return _parent ? MVPTrackSamples::getIndInterestingTimeRange(*_parent, _index).time : -1;
}

int64_t MVPModelFrame::duration() const
{
    if (!_parent)
        return 0;
    auto range = MVPTrackSamples::getIndInterestingTimeRange(*_parent, _index);
    return range.time < 0 ? 0 : range.duration;
}

void MVPModelFrame::noteEdit(MVMovieEditState before, const std::string& actionName) const
{
    if (auto movie = _parent ? _parent->movie() : nullptr)
        movie->registerEdit(std::move(before), actionName);
}

void MVPModelFrame::setTime(int64_t newTime, HXScriptCommand& command)
{
    const int64_t current = time();
    auto movie = _parent ? _parent->movie() : nullptr;
    if (current < 0 || !movie) {
        command.fail(HXScriptNoSuchObjectError, "The track has no frame " + std::to_string(_index) + ".");
        return;
    }
    if (newTime < 0) {
        command.fail(HXScriptParameterError, "A frame cannot start before its track.");
        return;
    }
    if (newTime > current && !MVPScriptValues::mayGrowBy(*movie, newTime - current)) {
        command.fail(HXScriptParameterError, "A frame cannot start that late.");
        return;
    }
    if (newTime == current)
        return;
    auto before = movie->newEditState();
    // Later: empty time goes in before the frame. Earlier: the time before it goes (what lay there with it).
    if (newTime > current)
        _parent->insertEmptySegment(current, newTime - current);
    else
        _parent->deleteSegment(newTime, current - newTime);
    noteEdit(std::move(before), "Move Frame");
}

void MVPModelFrame::setDuration(int64_t newDuration, HXScriptCommand& command)
{
    const int64_t current = time();
    auto movie = _parent ? _parent->movie() : nullptr;
    if (current < 0 || !movie) {
        command.fail(HXScriptNoSuchObjectError, "The track has no frame " + std::to_string(_index) + ".");
        return;
    }
    if (newDuration <= 0) {
        command.fail(HXScriptParameterError, "A frame lasts a positive time.");
        return;
    }
    if (!MVPScriptValues::mayGrowBy(*movie, newDuration - duration())) {
        command.fail(HXScriptParameterError, "A frame cannot last that long.");
        return;
    }
    if (newDuration == duration())
        return;
    auto before = movie->newEditState();
    if (MVPTrackSamples::replaceOneSampleReference(*_parent, current, current, newDuration) < 0) {
        movie->useEditState(before);
        command.fail(HXScriptFailedError, "The frame could not be given that duration.");
        return;
    }
    forgetSample();
    noteEdit(std::move(before), "Frame Duration");
}

std::optional<MVSample> MVPModelFrame::getSample()
{
    int64_t t = time();
    if (t < 0)
        return std::nullopt;
    auto sample = MVPTrackSamples::getSample(*_parent, t);
    if (sample) {
        _descriptionIndex = sample->descriptionIndex;
        _sampleFlags = sample->flags;
    }
    return sample;
}

int32_t MVPModelFrame::getSampleDescriptionIndex()
{
    if (_descriptionIndex == 0)
        getSample();
    return _descriptionIndex;
}

MVBytes MVPModelFrame::getSampleDescription()
{
    int32_t index = getSampleDescriptionIndex();
    if (index == 0 || !_parent || !_parent->media())
        return {};
    return _parent->media()->sampleDescription(index);
}

void MVPModelFrame::beginEdits()
{
    if (_parent && _parent->media())
        _parent->media()->beginEdits();
}

void MVPModelFrame::endEdits()
{
    if (_parent && _parent->media())
        _parent->media()->endEdits();
}

void MVPModelFrame::finalizePayload(std::shared_ptr<MVTrack> track, int32_t index)
{
    _payload = {};
    _parent = std::move(track);
    _index = index;
    forgetSample();
}

namespace MVPModelFrameScripting {

const HXScriptClass<MVPModelFrame>& classDescription()
{
    static const HXScriptClass<MVPModelFrame> cls = [] {
        HXScriptClass<MVPModelFrame> c("frame");
        addFrameKeys(c);
        c.specifier([](MVPModelFrame& f) -> std::optional<HXScriptObjectSpecifier> {
            auto track = f.parent() ? MVPTrackScripting::specifier(*f.parent()) : std::nullopt;
            if (!track || f.index() < 1)
                return std::nullopt;
            return HXScriptObjectSpecifier::index(
                "frames", f.index() - 1, std::make_shared<HXScriptObjectSpecifier>(*track));
        });
        return c;
    }();
    return cls;
}

HXScriptReference reference(const std::shared_ptr<MVPModelFrame>& frame)
{
    return classDescription().reference(frame);
}

HXScriptValue frame(const std::shared_ptr<MVTrack>& track, int32_t index)
{
    if (track && MVTextTrackReader::isTextMedia(track->mediaType()))
        return MVPTextFrameScripting::textFrame(track, index);
    return HXScriptValue(reference(MVPModelFrame::frameWithIndex(index, track)));
}

std::shared_ptr<MVPModelFrame> frameOfValue(const HXScriptValue& value)
{
    if (!value.isObject())
        return nullptr;
    const auto* cls = value.object().classDescription();
    if (cls != &classDescription() && cls != &MVPTextFrameScripting::textFrameClassDescription()
        && cls != &MVPTextFrameScripting::chapterClassDescription())
        return nullptr;
    return value.object().as<MVPModelFrame>();
}

} // namespace MVPModelFrameScripting
