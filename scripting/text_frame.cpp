#include "scripting/text_frame.h"

#include "platform/basekit/fourcc.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/track.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/script_values.h"
#include "scripting/track_samples.h"
#include "scripting/track_scripting.h"

#include <algorithm>

using V = HXScriptValue;
using namespace MVPScriptValues;

namespace {

uint32_t readBE(const MVBytes& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | (at + size_t(i) < b.size() ? b[at + size_t(i)] : 0);
    return v;
}

void writeBE(MVBytes& b, size_t at, int width, uint32_t v)
{
    if (b.size() < at + size_t(width))
        b.resize(at + size_t(width), 0);
    for (int i = 0; i < width; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * (width - 1 - i)));
}

// The text's length as the sample says it, held to what the sample holds.
size_t textLength(const MVBytes& sample)
{
    if (sample.size() < 2)
        return 0;
    return std::min<size_t>(readBE(sample, 0, 2), sample.size() - 2);
}

// Where the atom of `type` is in the sample (offset, size); nothing when the walk does not find it. The
// walk stops at an atom smaller than its header or running past the sample.
std::optional<std::pair<size_t, size_t>> findAtom(const MVBytes& sample, uint32_t type)
{
    if (sample.size() < 2 || size_t(readBE(sample, 0, 2)) + 2 > sample.size())
        return std::nullopt;
    size_t at = 2 + readBE(sample, 0, 2);
    while (at + 8 <= sample.size()) {
        size_t size = readBE(sample, at, 4);
        if (size < 8 || size > sample.size() - at)
            return std::nullopt;
        if (readBE(sample, at + 4, 4) == type)
            return std::pair { at, size };
        at += size;
    }
    return std::nullopt;
}

template<class... F> struct Overloaded : F... {
    using F::operator()...;
};
template<class... F> Overloaded(F...) -> Overloaded<F...>;

// Colours of timed text are 8-bit: a 16-bit colour keeps its high byte (alpha opaque), and reads back × 257.
std::array<uint16_t, 3> wide(const std::array<uint8_t, 4>& c)
{
    return { uint16_t(c[0] * 257), uint16_t(c[1] * 257), uint16_t(c[2] * 257) };
}

std::array<uint8_t, 4> narrow(const std::array<uint16_t, 3>& c)
{
    return { uint8_t(c[0] >> 8), uint8_t(c[1] >> 8), uint8_t(c[2] >> 8), 255 };
}

// Display flag bits and the codes scripts use for them.
constexpr uint32_t kDoNotScale = 0x2;
constexpr uint32_t kScrollMask = 0xFE0;
constexpr uint32_t kTimedTextFlags = 0x9E0;
constexpr std::pair<const char*, uint32_t> kScrollCodes[] = { { "tfsi", 0x20 }, { "tfso", 0x40 },
    { "tfsh", 0x80 }, { "tfsr", 0x100 }, { "tfsc", 0x200 }, { "tffh", 0x400 }, { "tfck", 0x800 } };
constexpr std::pair<const char*, uint8_t> kStyleCodes[] = { { "bold", 0x1 }, { "ital", 0x2 }, { "undl", 0x4 },
    { "outl", 0x8 }, { "shad", 0x10 }, { "cond", 0x20 }, { "pexp", 0x40 } };
constexpr uint8_t kTimedTextStyles = 0x7;

// Classic font numbers, with the families that stand for them here.
constexpr std::pair<uint16_t, const char*> kClassicFonts[]
    = { { 0, "Sans" }, { 2, "Serif" }, { 4, "Monospace" } };

uint32_t flagsOf(const MVPTextFrame::Description& d)
{
    return std::visit([](const auto& x) { return x.displayFlags; }, d);
}

// Writes display flags: timed text keeps only its scroll and karaoke bits. Answers whether anything changed.
bool setFlags(MVPTextFrame::Description& d, uint32_t flags)
{
    return std::visit(Overloaded { [&](MVTextSampleDescription& x) {
                                      return std::exchange(x.displayFlags, flags) != flags;
                                  },
                          [&](MVText3GSampleDescription& x) {
                              flags &= kTimedTextFlags;
                              return std::exchange(x.displayFlags, flags) != flags;
                          } },
        d);
}

int32_t justificationOf(const MVPTextFrame::Description& d)
{
    return std::visit(
        Overloaded { [](const MVTextSampleDescription& x) { return x.textJustification; },
            [](const MVText3GSampleDescription& x) { return int32_t(x.horizontalJustification); } },
        d);
}

MVTextBox& boxOf(MVPTextFrame::Description& d)
{
    return std::visit([](auto& x) -> MVTextBox& { return x.defaultTextBox; }, d);
}

// The (vertical, horizontal) point an atom holds after its header; `fallback` when the sample has none.
std::pair<int16_t, int16_t> pointOfAtom(MVPTextFrame& f, uint32_t type, std::pair<int16_t, int16_t> fallback)
{
    auto atom = f.getClassicAtom(type);
    if (!atom || atom->size() < 12)
        return fallback;
    return { int16_t(readBE(*atom, 8, 2)), int16_t(readBE(*atom, 10, 2)) };
}

// UTF-16 text of the given byte order as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8OfUTF16(const std::string& bytes, bool bigEndian)
{
    std::string out;
    auto unit = [&](size_t i) {
        uint8_t a = uint8_t(bytes[i]), b = uint8_t(bytes[i + 1]);
        return uint32_t(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00
            && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

MVPTextFrame& textOf(MVPModelFrame& f)
{
    return static_cast<MVPTextFrame&>(f);
}

} // namespace

// ---- The frame

std::shared_ptr<MVPTextFrame> MVPTextFrame::textFrameWithIndex(int32_t index, std::shared_ptr<MVTrack> parent)
{
    std::shared_ptr<MVPTextFrame> frame(new MVPTextFrame());
    if (index > 0 && parent)
        frame->finalizePayload(std::move(parent), index);
    return frame;
}

std::shared_ptr<MVPTextFrame> MVPTextFrame::textFrameWithPayload(HXScriptValue payload)
{
    std::shared_ptr<MVPTextFrame> frame(new MVPTextFrame());
    frame->_payload = std::move(payload);
    return frame;
}

std::shared_ptr<MVPModelChapter> MVPModelChapter::chapterWithIndex(
    int32_t index, std::shared_ptr<MVTrack> parent)
{
    std::shared_ptr<MVPModelChapter> chapter(new MVPModelChapter());
    if (index > 0 && parent)
        chapter->finalizePayload(std::move(parent), index);
    return chapter;
}

std::shared_ptr<MVPModelChapter> MVPModelChapter::chapterWithPayload(HXScriptValue payload)
{
    std::shared_ptr<MVPModelChapter> chapter(new MVPModelChapter());
    chapter->_payload = std::move(payload);
    return chapter;
}

bool MVPTextFrame::load()
{
    if (_sample && _textDescription)
        return true;
    auto sample = getSample();
    if (!sample)
        return false;
    _sample = std::move(sample->bytes);
    _textDescription = std::move(sample->description);
    return true;
}

namespace {

// A description of format 'text' laid out as timed text (its font table where timed text has it), as
// some programs write their chapter tracks.
bool isTimedLayout(const MVBytes& description)
{
    return description.size() >= 56 && readBE(description, 4, 4) == MVTextSampleDescriptionFormat
        && readBE(description, 50, 4) == fourCC("ftab");
}

} // namespace

std::optional<MVPTextFrame::Description> MVPTextFrame::description()
{
    if (!load())
        return std::nullopt;
    MVBytes bytes = *_textDescription;
    if (isTimedLayout(bytes))
        writeBE(bytes, 4, 4, MVText3GSampleDescriptionFormat);
    if (auto timed = MVParseText3GSampleDescription(bytes))
        return Description(std::move(*timed));
    if (auto classic = MVParseTextSampleDescription(bytes))
        return Description(std::move(*classic));
    return std::nullopt;
}

bool MVPTextFrame::isText3G()
{
    auto d = description();
    return d && std::holds_alternative<MVText3GSampleDescription>(*d);
}

bool MVPTextFrame::isTimedFormat()
{
    return load() && readBE(*_textDescription, 4, 4) == MVText3GSampleDescriptionFormat;
}

MVBytes MVPTextFrame::serialize(const Description& description) const
{
    MVBytes bytes = std::visit(
        Overloaded { [](const MVTextSampleDescription& x) { return MVSerializeTextSampleDescription(x); },
            [](const MVText3GSampleDescription& x) { return MVSerializeText3GSampleDescription(x); } },
        description);
    // The format stays what it was.
    if (_textDescription && isTimedLayout(*_textDescription))
        writeBE(bytes, 4, 4, MVTextSampleDescriptionFormat);
    return bytes;
}

void MVPTextFrame::failNotText(HXScriptCommand& command) const
{
    command.fail(HXScriptNoSuchObjectError, "Frame " + std::to_string(_index) + " holds no text.");
}

void MVPTextFrame::save(HXScriptCommand& command)
{
    auto movie = _parent ? _parent->movie() : nullptr;
    if (!_dirty || !movie || !_sample || !_textDescription)
        return;
    const int64_t t = time(), d = duration();
    auto before = movie->newEditState();
    beginEdits();
    int64_t r = MVPTrackSamples::replaceOneSample(
        *_parent, t, *_sample, d, *_textDescription, _sampleFlags, -1, -1);
    endEdits();
    // The next access reads the track afresh.
    _sample.reset();
    _textDescription.reset();
    _dirty = false;
    forgetSample();
    if (r < 0) {
        movie->useEditState(before);
        command.fail(
            HXScriptFailedError, "The text of frame " + std::to_string(_index) + " could not be written.");
        return;
    }
    noteEdit(std::move(before), "Text");
}

std::optional<std::string> MVPTextFrame::sampleData()
{
    if (!load())
        return std::nullopt;
    std::string bytes(_sample->begin() + std::min<size_t>(2, _sample->size()),
        _sample->begin() + std::min(_sample->size(), 2 + textLength(*_sample)));
    auto d = description();
    return MVPTextFrameText(bytes, d && justificationOf(*d) == -1);
}

void MVPTextFrame::setSampleData(const std::string& text, HXScriptCommand& command)
{
    if (text.empty())
        return;
    if (!load())
        return failNotText(command);
    // Text is written as UTF-8, what timed-text readers expect of both kinds of sample.
    if (text.size() > 0xFFFF) {
        command.fail(HXScriptParameterError, "The text of a frame holds at most 65535 bytes.");
        return;
    }
    MVBytes& s = *_sample;
    size_t old = textLength(s);
    MVBytes sample { uint8_t(text.size() >> 8), uint8_t(text.size()) };
    sample.insert(sample.end(), text.begin(), text.end());
    if (s.size() > 2 + old)
        sample.insert(sample.end(), s.begin() + long(2 + old), s.end());
    s = std::move(sample);
    _dirty = true;
    save(command);
}

std::optional<MVBytes> MVPTextFrame::getClassicAtom(uint32_t type)
{
    if (!load())
        return std::nullopt;
    auto found = findAtom(*_sample, type);
    if (!found)
        return std::nullopt;
    return MVBytes(
        _sample->begin() + long(found->first), _sample->begin() + long(found->first + found->second));
}

void MVPTextFrame::setClassicAtom(uint32_t type, const MVBytes& data, HXScriptCommand& command)
{
    if (!load())
        return failNotText(command);
    MVBytes& s = *_sample;
    auto found = findAtom(s, type);
    if (found && found->second - 8 >= data.size()) {
        std::copy(data.begin(), data.end(), s.begin() + long(found->first + 8));
    } else {
        if (found)
            s.erase(s.begin() + long(found->first), s.begin() + long(found->first + found->second));
        MVBytes atom;
        writeBE(atom, 0, 4, uint32_t(8 + data.size()));
        writeBE(atom, 4, 4, type);
        atom.insert(atom.end(), data.begin(), data.end());
        s.insert(s.end(), atom.begin(), atom.end());
    }
    _dirty = true;
    save(command);
}

HXScriptValue MVPTextFrame::contents()
{
    auto text = sampleData();
    return text ? V(*text) : V();
}

void MVPTextFrame::setContents(const HXScriptValue& value, HXScriptCommand& command)
{
    if (value.isPropertyList() && value.propertyList().isString())
        setSampleData(value.propertyList().stringValue(), command);
}

// ---- Text and fonts

std::string MVPTextFrameText(const std::string& bytes, bool rightJustified)
{
    std::string text;
    if (bytes.size() >= 2 && (uint8_t(bytes[0]) == 0xFE || uint8_t(bytes[0]) == 0xFF)
        && (uint8_t(bytes[1]) == 0xFE || uint8_t(bytes[1]) == 0xFF) && bytes[0] != bytes[1]) {
        text = utf8OfUTF16(bytes.substr(2), uint8_t(bytes[0]) == 0xFE);
    } else if (HXString::isValidUTF8(bytes)) {
        text = bytes;
    } else {
        text = HXString::stringWithBytes(bytes, HXStringEncoding::HalvernRoman).value_or(bytes);
    }
    std::string out;
    out.reserve(text.size());
    char previous = 0;
    for (char c : text) {
        if (c == '\r' && previous == '\n') {
            // A CR after an LF is the same line end.
        } else if (c == '\n' && previous == '\r') {
            // CR LF: two characters still, a blank beside the line end.
            out.back() = rightJustified ? '\r' : ' ';
            out.push_back(rightJustified ? ' ' : '\r');
        } else if (c == '\n') {
            out.push_back('\r');
        } else {
            out.push_back(c);
        }
        previous = c;
    }
    return out;
}

namespace {

// The names an entry of a font table lists, in order: separated by commas, blanks and line ends before a
// name skipped.
std::vector<std::string> namesOfEntry(const std::string& names)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < names.size()) {
        while (at < names.size() && std::string_view(" \t\r\n,").find(names[at]) != std::string_view::npos)
            ++at;
        size_t end = names.find(',', at);
        if (end == std::string::npos)
            end = names.size();
        if (end > at)
            out.push_back(names.substr(at, end - at));
        at = end;
    }
    return out;
}

} // namespace

uint16_t GetText3GFNum(const std::string& name, const MVText3GSampleDescription& description)
{
    for (const auto& entry : description.fontTable)
        for (const auto& listed : namesOfEntry(entry.name))
            if (HXString::compare(listed, name, HXString::CaseInsensitive | HXString::DiacriticInsensitive)
                == 0)
                return entry.fontID;
    return 0;
}

std::string GetText3GFontName(uint16_t fontID, const MVText3GSampleDescription& description)
{
    for (const auto& entry : description.fontTable)
        if (entry.fontID == fontID) {
            auto names = namesOfEntry(entry.name);
            return names.empty() ? std::string() : names.back();
        }
    return {};
}

// ---- Scripting

namespace MVPTextFrameScripting {

namespace {

using Description = MVPTextFrame::Description;
using Frame = MVPModelFrame;

// A key read from the description: nothing for a frame that holds no text.
template<class F> auto fromDescription(F read)
{
    return [read](Frame& f) -> V {
        auto d = textOf(f).description();
        return d ? V(read(*d)) : V();
    };
}

// A setter changing the description through `change(description, value)`.
template<class F> auto toDescription(F change)
{
    return [change](Frame& f, const V& v, HXScriptCommand& command) {
        textOf(f).changeDescription([&](Description& d) { return change(d, v); }, command);
    };
}

std::array<uint16_t, 3> color(const V& v)
{
    return rgbFromValue(v).value_or(std::array<uint16_t, 3> {});
}

void addFlag(HXScriptClass<Frame>& c, const char* key, uint32_t bit, bool set = true)
{
    // "autoScale" reads YES when its bit (do not scale) is clear.
    c.getSet(key, fromDescription([bit, set](const Description& d) { return bool(flagsOf(d) & bit) == set; }),
        "boolean", toDescription([bit, set](Description& d, const V& v) {
            bool on = v.propertyList().boolValue() == set;
            return setFlags(d, on ? flagsOf(d) | bit : flagsOf(d) & ~bit);
        }));
}

// A colour of the description: 16-bit components in classic text, 8-bit ones with alpha in timed text.
void addColor(HXScriptClass<Frame>& c, const char* key,
    std::array<uint16_t, 3> MVTextSampleDescription::*classic,
    std::array<uint8_t, 4> MVText3GSampleDescription::*timed)
{
    c.getSet(key, fromDescription([classic, timed](const Description& d) {
        return colorValue(
            std::visit(Overloaded { [&](const MVTextSampleDescription& x) { return x.*classic; },
                           [&](const MVText3GSampleDescription& x) { return wide(x.*timed); } },
                d));
    }),
        "any", toDescription([classic, timed](Description& d, const V& v) {
            auto rgb = color(v);
            std::visit(Overloaded { [&](MVTextSampleDescription& x) { x.*classic = rgb; },
                           [&](MVText3GSampleDescription& x) { x.*timed = narrow(rgb); } },
                d);
            return true;
        }));
}

void addDescriptionKeys(HXScriptClass<Frame>& c)
{
    c.get("kind", [](Frame& f) {
        auto& t = textOf(f);
        return t.description() ? V(t.isTimedFormat() ? "tx3g" : "text") : V();
    });
    c.getSet(
        "defaultFont",
        [](Frame& f) -> V {
            auto d = textOf(f).description();
            if (!d)
                return {};
            return std::visit(Overloaded { [](const MVText3GSampleDescription& x) -> V {
                                              auto name = GetText3GFontName(x.fontID, x);
                                              return name.empty() ? V() : V(name);
                                          },
                                  [](const MVTextSampleDescription& x) -> V {
                                      if (!x.fontName.empty())
                                          return V(x.fontName);
                                      for (auto [number, name] : kClassicFonts)
                                          if (number == x.fontNumber)
                                              return V(name);
                                      return {};
                                  } },
                *d);
        },
        "string", toDescription([](Description& d, const V& v) {
            const std::string name = v.propertyList().stringValue();
            return std::visit(Overloaded { [&](MVText3GSampleDescription& x) {
                                              uint16_t id = GetText3GFNum(name, x);
                                              return id != 0 && std::exchange(x.fontID, id) != id;
                                          },
                                  [&](MVTextSampleDescription& x) {
                                      for (auto [number, family] : kClassicFonts)
                                          if (HXString::equalsIgnoringCase(family, name)) {
                                              x.fontNumber = number;
                                              x.fontName = family;
                                              return true;
                                          }
                                      return false;
                                  } },
                d);
        }));
    c.getSet("defaultFontSize", fromDescription([](const Description& d) {
        return std::visit([](const auto& x) { return int64_t(x.fontSize); }, d);
    }),
        "integer", toDescription([](Description& d, const V& v) {
            int64_t size = v.propertyList().integerValue();
            std::visit(Overloaded { [&](MVTextSampleDescription& x) { x.fontSize = uint16_t(size); },
                           [&](MVText3GSampleDescription& x) { x.fontSize = uint8_t(size); } },
                d);
            return true;
        }));
    c.getSet("defaultFontStyles", fromDescription([](const Description& d) {
        uint8_t face = std::visit([](const auto& x) { return x.fontFace; }, d);
        HXScriptValue::List list;
        for (auto [text, bit] : kStyleCodes)
            if (face & bit)
                list.push_back(codeValue(HXFourCharCode(text)));
        if (list.empty())
            list.push_back(code("plan"));
        return V(std::move(list));
    }),
        "list", toDescription([](Description& d, const V& v) {
            uint8_t face = 0;
            for (const auto& item : v.list())
                if (auto c = codeFromValue(item))
                    for (auto [text, bit] : kStyleCodes)
                        if (*c == HXFourCharCode(text))
                            face |= bit;
            std::visit(Overloaded { [&](MVTextSampleDescription& x) { x.fontFace = face; },
                           [&](MVText3GSampleDescription& x) { x.fontFace = face & kTimedTextStyles; } },
                d);
            return true;
        }));
    c.getSet("justification", fromDescription([](const Description& d) {
        // 0 follows the system's direction of text, which is left to right here.
        int32_t j = justificationOf(d);
        return code(j == -1 ? "rght" : j == 1 ? "cent" : "left");
    }),
        "code", toDescription([](Description& d, const V& v) {
            uint32_t c = uint32_t(v.propertyList().integerValue());
            int32_t j = c == fourCC("cent") ? 1 : c == fourCC("rght") ? -1 : 0;
            return std::visit(Overloaded { [&](MVTextSampleDescription& x) {
                                              return std::exchange(x.textJustification, j) != j;
                                          },
                                  [&](MVText3GSampleDescription& x) {
                                      x.horizontalJustification = int8_t(j);
                                      return true;
                                  } },
                d);
        }));
    addColor(c, "foregroundColor", &MVTextSampleDescription::foregroundColor,
        &MVText3GSampleDescription::foregroundColor);
    addColor(c, "backgroundColor", &MVTextSampleDescription::backgroundColor,
        &MVText3GSampleDescription::backgroundColor);
    c.getSet("position", fromDescription([](const Description& d) {
        auto box = std::visit([](const auto& x) { return x.defaultTextBox; }, d);
        return pointValue(box.top, box.left);
    }),
        "any", toDescription([](Description& d, const V& v) {
            auto p = pointFromValue(v);
            if (!p)
                return false;
            MVTextBox& box = boxOf(d);
            MVTextBox moved { p->first, p->second, int16_t(p->first + (box.bottom - box.top)),
                int16_t(p->second + (box.right - box.left)) };
            return std::exchange(box, moved) != moved;
        }));
    c.getSet("dimensions", fromDescription([](const Description& d) {
        auto box = std::visit([](const auto& x) { return x.defaultTextBox; }, d);
        return sizeValue(box.bottom - box.top, box.right - box.left);
    }),
        "any", toDescription([](Description& d, const V& v) {
            auto p = pointFromValue(v);
            if (!p)
                return false;
            MVTextBox& box = boxOf(d);
            MVTextBox sized { box.top, box.left, int16_t(box.top + p->first), int16_t(box.left + p->second) };
            return std::exchange(box, sized) != sized;
        }));
    c.getSet("scroll", fromDescription([](const Description& d) {
        HXScriptValue::List list;
        // Continuous karaoke is written, not read back.
        for (auto [text, bit] : kScrollCodes)
            if (bit != 0x800 && (flagsOf(d) & bit))
                list.push_back(codeValue(HXFourCharCode(text)));
        return V(std::move(list));
    }),
        "list", toDescription([](Description& d, const V& v) {
            uint32_t flags = flagsOf(d) & ~kScrollMask;
            for (const auto& item : v.list())
                if (auto c = codeFromValue(item))
                    for (auto [text, bit] : kScrollCodes)
                        if (*c == HXFourCharCode(text))
                            flags |= bit;
            return setFlags(d, flags);
        }));
    addFlag(c, "autoScale", kDoNotScale, false);
    addFlag(c, "clipToTextBox", 0x4);
    addFlag(c, "shrinkTextBox", 0x10);
    addFlag(c, "dropShadow", 0x1000);
    addFlag(c, "antialias", 0x2000);
    addFlag(c, "keyed", 0x4000);
    addFlag(c, "inverseHighlighting", 0x8000);
    addFlag(c, "textColorHighlighting", 0x10000);
}

void addSampleKeys(HXScriptClass<Frame>& c)
{
    auto text = [](Frame& f) -> V {
        auto t = textOf(f).sampleData();
        return t ? V(*t) : V();
    };
    auto setText = [](Frame& f, const V& v, HXScriptCommand& command) {
        textOf(f).setSampleData(v.propertyList().stringValue(), command);
    };
    c.getSet("sampleData", text, "string", setText);
    c.getSet(
        "highlight",
        [](Frame& f) -> V {
            auto& t = textOf(f);
            if (!t.description())
                return {};
            auto atom = t.getClassicAtom(fourCC("hlit"));
            int64_t start = 0, end = 0;
            if (atom && t.isText3G() && atom->size() >= 12) {
                start = readBE(*atom, 8, 2), end = readBE(*atom, 10, 2);
            } else if (atom && atom->size() >= 16) {
                start = int32_t(readBE(*atom, 8, 4)), end = int32_t(readBE(*atom, 12, 4));
            }
            return pointValue(double(end), double(start));
        },
        "any",
        [](Frame& f, const V& v, HXScriptCommand& command) {
            auto p = pointFromValue(v);
            auto& t = textOf(f);
            if (!p || !t.description())
                return;
            MVBytes data(8, 0);
            if (t.isText3G()) {
                writeBE(data, 0, 2, uint16_t(p->second));
                writeBE(data, 2, 2, uint16_t(p->first));
            } else {
                writeBE(data, 0, 4, uint32_t(int32_t(p->second)));
                writeBE(data, 4, 4, uint32_t(int32_t(p->first)));
            }
            t.setClassicAtom(fourCC("hlit"), data, command);
        });
    c.getSet(
        "highlightColor",
        [](Frame& f) -> V {
            auto& t = textOf(f);
            if (!t.description())
                return {};
            auto atom = t.getClassicAtom(fourCC("hclr"));
            std::array<uint16_t, 3> rgb {};
            if (atom && t.isText3G() && atom->size() >= 12)
                rgb = wide({ (*atom)[8], (*atom)[9], (*atom)[10], (*atom)[11] });
            else if (atom && atom->size() >= 14)
                rgb = { uint16_t(readBE(*atom, 8, 2)), uint16_t(readBE(*atom, 10, 2)),
                    uint16_t(readBE(*atom, 12, 2)) };
            return colorValue(rgb);
        },
        "any",
        [](Frame& f, const V& v, HXScriptCommand& command) {
            auto& t = textOf(f);
            if (!t.description())
                return;
            auto rgb = color(v);
            MVBytes data(6, 0);
            if (t.isText3G()) {
                auto c8 = narrow(rgb);
                std::copy(c8.begin(), c8.end(), data.begin());
            } else {
                for (size_t i = 0; i < 3; ++i)
                    writeBE(data, 2 * i, 2, rgb[i]);
            }
            t.setClassicAtom(fourCC("hclr"), data, command);
        });
    c.getSet(
        "dropShadowOffset",
        [](Frame& f) -> V {
            auto& t = textOf(f);
            if (!t.description())
                return {};
            auto [v, h] = pointOfAtom(t, fourCC("drpo"), { 1, 1 });
            return pointValue(v, h);
        },
        "any",
        [](Frame& f, const V& v, HXScriptCommand& command) {
            auto p = pointFromValue(v);
            auto& t = textOf(f);
            if (!p || !t.description())
                return;
            if (pointOfAtom(t, fourCC("drpo"), { 1, 1 }) == *p)
                return;
            MVBytes data(4, 0);
            writeBE(data, 0, 2, uint16_t(p->first));
            writeBE(data, 2, 2, uint16_t(p->second));
            t.setClassicAtom(fourCC("drpo"), data, command);
        });
    c.getSet(
        "dropShadowTransparency",
        [](Frame& f) -> V {
            auto& t = textOf(f);
            if (!t.description())
                return {};
            auto atom = t.getClassicAtom(fourCC("drpt"));
            return V(int64_t(atom && atom->size() >= 10 ? int16_t(readBE(*atom, 8, 2)) : 127));
        },
        "integer",
        [](Frame& f, const V& v, HXScriptCommand& command) {
            auto& t = textOf(f);
            if (!t.description())
                return;
            auto atom = t.getClassicAtom(fourCC("drpt"));
            int16_t now = atom && atom->size() >= 10 ? int16_t(readBE(*atom, 8, 2)) : 127;
            int16_t wanted = int16_t(v.propertyList().integerValue());
            if (now == wanted)
                return;
            MVBytes data(2, 0);
            writeBE(data, 0, 2, uint16_t(wanted));
            t.setClassicAtom(fourCC("drpt"), data, command);
        });
    c.getSet(
        "scrollDelay",
        [](Frame& f) -> V {
            auto& t = textOf(f);
            if (!t.description())
                return {};
            auto atom = t.getClassicAtom(fourCC("dlay"));
            return V(int64_t(atom && atom->size() >= 12 ? readBE(*atom, 8, 4) : 0));
        },
        "integer",
        [](Frame& f, const V& v, HXScriptCommand& command) {
            if (!textOf(f).description())
                return;
            MVBytes data(4, 0);
            writeBE(data, 0, 4, uint32_t(v.propertyList().integerValue()));
            textOf(f).setClassicAtom(fourCC("dlay"), data, command);
        });
}

HXScriptClass<Frame> textClass(const char* name)
{
    HXScriptClass<Frame> c(name);
    MVPModelFrameScripting::addFrameKeys(c);
    addDescriptionKeys(c);
    addSampleKeys(c);
    return c;
}

} // namespace

const HXScriptClass<MVPModelFrame>& textFrameClassDescription()
{
    static const HXScriptClass<Frame> cls = [] {
        auto c = textClass("textFrame");
        c.specifier([](Frame& f) -> std::optional<HXScriptObjectSpecifier> {
            auto track = f.parent() ? MVPTrackScripting::specifier(*f.parent()) : std::nullopt;
            if (!track || f.index() < 1)
                return std::nullopt;
            return HXScriptObjectSpecifier::index(
                "textFrames", f.index() - 1, std::make_shared<HXScriptObjectSpecifier>(*track));
        });
        return c;
    }();
    return cls;
}

const HXScriptClass<MVPModelFrame>& chapterClassDescription()
{
    static const HXScriptClass<Frame> cls = [] {
        auto c = textClass("chapter");
        c.getSet(
            "name",
            [](Frame& f) -> V {
                auto text = textOf(f).sampleData();
                return text ? V(*text) : V();
            },
            "string",
            [](Frame& f, const V& v, HXScriptCommand& command) {
                textOf(f).setSampleData(v.propertyList().stringValue(), command);
            });
        // A chapter is named by its name among its movie's chapters.
        c.specifier([](Frame& f) -> std::optional<HXScriptObjectSpecifier> {
            auto movie = f.parent() ? f.parent()->movie() : nullptr;
            auto doc = MVPMovieDocScripting::documentForMovie(movie.get());
            auto container
                = doc ? MVPMovieDocScripting::classDescription().objectSpecifier(doc.get()) : std::nullopt;
            auto name = textOf(f).sampleData();
            if (!container || !name)
                return std::nullopt;
            return HXScriptObjectSpecifier::name(
                "chapters", *name, std::make_shared<HXScriptObjectSpecifier>(*container));
        });
        return c;
    }();
    return cls;
}

HXScriptValue textFrame(const std::shared_ptr<MVTrack>& track, int32_t index)
{
    return V(textFrameClassDescription().reference(
        std::shared_ptr<MVPModelFrame>(MVPTextFrame::textFrameWithIndex(index, track))));
}

HXScriptValue chapter(const std::shared_ptr<MVTrack>& track, int32_t index)
{
    return V(chapterClassDescription().reference(
        std::shared_ptr<MVPModelFrame>(MVPModelChapter::chapterWithIndex(index, track))));
}

} // namespace MVPTextFrameScripting
