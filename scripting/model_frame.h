#pragma once
// MVPModelFrame: one frame of a track as a script sees it — a light reference made of the track and the
// frame's position (from 1), whose time and duration are read from the track each time. Moving a frame
// or changing its duration edits the track (with undo). A frame made by a script from a text carries the
// text until a track takes it in.
#include "platform/basekit/scripting_command.h"
#include "platform/mvkit/movie.h"

#include <cstdint>
#include <memory>
#include <optional>

class MVTrack;

class MVPModelFrame : public std::enable_shared_from_this<MVPModelFrame> {
public:
    // A frame of `parent` at `index` (from 1); index 0 or no track gives an empty frame.
    static std::shared_ptr<MVPModelFrame> frameWithIndex(int32_t index, std::shared_ptr<MVTrack> parent);
    // A frame made by a script, carrying `payload` (a text) until it is inserted.
    static std::shared_ptr<MVPModelFrame> frameWithPayload(
        HXScriptValue payload, std::shared_ptr<MVTrack> parent = nullptr);
    virtual ~MVPModelFrame() = default;

    const std::shared_ptr<MVTrack>& parent() const { return _parent; }
    int32_t index() const { return _index; }
    const HXScriptValue& payload() const { return _payload; }

    // The frame's start and length in the track (movie units); time −1 when the track has fewer frames.
    int64_t time() const;
    int64_t duration() const;
    // Moves the frame (and everything after it) to `time`: later by inserting empty time before it, earlier
    // by removing the time before it. Fails (-50) for a negative time or a frame the track does not have.
    void setTime(int64_t time, HXScriptCommand& command);
    // Shows the frame's sample for `duration` (positive) movie units; what follows moves with its end.
    void setDuration(int64_t duration, HXScriptCommand& command);

    // The frame's sample (and, on the way, its description index and flags).
    std::optional<MVSample> getSample();
    int32_t getSampleDescriptionIndex();
    MVBytes getSampleDescription();
    void beginEdits();
    void endEdits();

    // What the frame holds for a script: nothing for a frame of pictures or sound (see MVPTextFrame).
    virtual HXScriptValue contents() { return {}; }
    virtual void setContents(const HXScriptValue&, HXScriptCommand&) { }

    // Binds a frame made by a script to the frame an insertion made of its payload.
    void finalizePayload(std::shared_ptr<MVTrack> track, int32_t index);

    // The movie of the frame's track marks a change and the edit since `before` goes on its undo stack.
    void noteEdit(MVMovieEditState before, const std::string& actionName) const;

protected:
    MVPModelFrame() = default;
    void forgetSample() { _descriptionIndex = 0; }

    std::shared_ptr<MVTrack> _parent;
    int32_t _index = 0;
    int32_t _descriptionIndex = 0; // 0: not known yet
    int16_t _sampleFlags = 0;
    HXScriptValue _payload;
};

namespace MVPModelFrameScripting {

// Frames, text frames and chapters are all described over MVPModelFrame (the objects of the last two are
// MVPTextFrame and MVPModelChapter).
const HXScriptClass<MVPModelFrame>& classDescription();
HXScriptReference reference(const std::shared_ptr<MVPModelFrame>& frame);
// Frame `index` of `track` as a script sees it: a text frame in a text track, else a frame.
HXScriptValue frame(const std::shared_ptr<MVTrack>& track, int32_t index);
// The frame (of any kind) a value refers to; null for anything else.
std::shared_ptr<MVPModelFrame> frameOfValue(const HXScriptValue& value);

// The keys every frame answers, registered on the class of frames of kind T (MVPModelFrame or one of its
// kinds): "index", "time", "duration" (the last two settable, moving or stretching the frame) and
// "contents".
template<class T> void addFrameKeys(HXScriptClass<T>& c)
{
    c.get("index", [](T& f) { return HXScriptValue(int64_t(f.index())); });
    c.getSet(
        "time", [](T& f) { return HXScriptValue(f.time()); }, "integer",
        [](T& f, const HXScriptValue& v, HXScriptCommand& command) {
            f.setTime(v.propertyList().integerValue(), command);
        });
    c.getSet(
        "duration", [](T& f) { return HXScriptValue(f.duration()); }, "integer",
        [](T& f, const HXScriptValue& v, HXScriptCommand& command) {
            f.setDuration(v.propertyList().integerValue(), command);
        });
    c.getSet(
        "contents", [](T& f) { return f.contents(); }, "any",
        [](T& f, const HXScriptValue& v, HXScriptCommand& command) { f.setContents(v, command); });
}

} // namespace MVPModelFrameScripting
