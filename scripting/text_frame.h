#pragma once
// MVPTextFrame: a frame of a text track — classic text ('text') or timed text ('tx3g') — whose text and
// presentation a script reads and writes: the sample's own text and atoms (highlight, highlight colour,
// drop shadow, scroll delay) and the description's defaults (font, size, styles, colours, text box,
// justification, display flags). Each change is made on the frame's own copies of the sample and its
// description and written back at once, replacing the sample in the track (same time, same duration),
// as one step of the movie's undo.
//
// MVPModelChapter: a text frame of a movie's chapter track, named by its text.
#include "platform/mvkit/sample_text_description.h"
#include "scripting/model_frame.h"

#include <array>
#include <optional>
#include <string>
#include <variant>

class MVPTextFrame : public MVPModelFrame {
public:
    static std::shared_ptr<MVPTextFrame> textFrameWithIndex(int32_t index, std::shared_ptr<MVTrack> parent);
    static std::shared_ptr<MVPTextFrame> textFrameWithPayload(HXScriptValue payload);

    // The description of the frame's sample, as its copy holds it; nothing when it is no text description.
    using Description = std::variant<MVTextSampleDescription, MVText3GSampleDescription>;
    std::optional<Description> description();
    // Laid out as timed text (what the atoms of its sample follow too).
    bool isText3G();
    // Of the format 'tx3g' (a 'text' description may still be laid out as timed text).
    bool isTimedFormat();

    // The text, its line ends as a text view shows them (see MVPTextFrameText); nothing without a text
    // sample.
    std::optional<std::string> sampleData();
    // Replaces the text (an empty text changes nothing), keeping the atoms after it.
    void setSampleData(const std::string& text, HXScriptCommand& command);

    // The atom of `type` in the sample copy (header included); nothing when there is none.
    std::optional<MVBytes> getClassicAtom(uint32_t type);
    // Writes `data` as the atom of `type` (after its header), added at the end of the sample when missing.
    void setClassicAtom(uint32_t type, const MVBytes& data, HXScriptCommand& command);
    // Changes the description copy through `change` (answering whether it changed anything) and saves.
    template<class F> void changeDescription(F change, HXScriptCommand& command)
    {
        auto d = description();
        if (!d)
            return failNotText(command);
        if (!change(*d))
            return;
        _textDescription = serialize(*d);
        _dirty = true;
        save(command);
    }

    HXScriptValue contents() override;
    void setContents(const HXScriptValue& value, HXScriptCommand& command) override;

protected:
    MVPTextFrame() = default;
    // Fetches the copies when missing; false when the frame has no sample.
    bool load();
    void save(HXScriptCommand& command);
    void failNotText(HXScriptCommand& command) const;
    MVBytes serialize(const Description& description) const;

    bool _dirty = false;
    std::optional<MVBytes> _sample;
    std::optional<MVBytes> _textDescription;
};

class MVPModelChapter : public MVPTextFrame {
public:
    static std::shared_ptr<MVPModelChapter> chapterWithIndex(int32_t index, std::shared_ptr<MVTrack> parent);
    static std::shared_ptr<MVPModelChapter> chapterWithPayload(HXScriptValue payload);

private:
    MVPModelChapter() = default;
};

// The text of a sample's bytes as it reads: UTF-16 with a byte-order mark, UTF-8, else the classic 8-bit
// encoding; line ends as a text view shows them, keeping the count of characters: a lone LF becomes CR, a CR
// right after an LF goes, and CR LF becomes a blank and CR (CR and a blank when `rightJustified`).
std::string MVPTextFrameText(const std::string& bytes, bool rightJustified);

// The font ID of a timed-text description's font table that lists `name` (compared ignoring case and
// accents; an entry may list several names separated by commas); 0 when none does.
uint16_t GetText3GFNum(const std::string& name, const MVText3GSampleDescription& description);
// The name of font `fontID` in the table: the last name its entry lists; empty when there is none.
std::string GetText3GFontName(uint16_t fontID, const MVText3GSampleDescription& description);

namespace MVPTextFrameScripting {

const HXScriptClass<MVPModelFrame>& textFrameClassDescription();
const HXScriptClass<MVPModelFrame>& chapterClassDescription();
HXScriptValue textFrame(const std::shared_ptr<MVTrack>& track, int32_t index);
HXScriptValue chapter(const std::shared_ptr<MVTrack>& track, int32_t index);

} // namespace MVPTextFrameScripting
