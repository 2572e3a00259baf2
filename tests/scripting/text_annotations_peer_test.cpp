// Every text-frame property and every annotation code, written by scripts through the player's socket,
// saved, and read back by ffprobe and ffmpeg: the bytes of the timed-text and classic text descriptions and
// samples, the decoded subtitles, and the movie's tags.
#include "scripting_test_support.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/user_data.h"
#include "scripting/model_annotation.h"
#include "scripting/script_values.h"

#include <cstring>
#include <sstream>

namespace movara::scriptingtest {
namespace {

using Bytes = std::vector<uint8_t>;

// The bytes of the hex dumps ffprobe prints after `field=` (the first one from `from` on).
Bytes hexDump(const std::string& text, const std::string& field)
{
    Bytes out;
    auto at = text.find(field + "=\n");
    if (at == std::string::npos)
        return out;
    std::istringstream lines(text.substr(at + field.size() + 2));
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 10 || line[8] != ':')
            break;
        std::string hex = line.substr(10, 40);
        for (size_t i = 0; i + 1 < hex.size(); ++i) {
            if (hex[i] == ' ')
                continue;
            out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
            ++i;
        }
    }
    return out;
}

uint32_t be(const Bytes& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | (at + size_t(i) < b.size() ? b[at + size_t(i)] : 0);
    return v;
}

// The data of the atom of `type` in a text sample; empty when there is none.
Bytes atom(const Bytes& sample, const char (&type)[5])
{
    size_t at = 2 + be(sample, 0, 2);
    while (at + 8 <= sample.size()) {
        size_t size = be(sample, at, 4);
        if (size < 8 || at + size > sample.size())
            break;
        if (be(sample, at + 4, 4) == MVPScriptValues::fourCC(type))
            return Bytes(sample.begin() + long(at + 8), sample.begin() + long(at + size));
        at += size;
    }
    return {};
}

// A colour record as scripts read it: red, green, blue, 16 bits each in the machine's order.
HXPropertyList rgb(uint16_t r, uint16_t g, uint16_t b)
{
    uint16_t c[3] = { r, g, b };
    std::vector<uint8_t> bytes(6);
    std::memcpy(bytes.data(), c, 6);
    return HXPropertyList(HXData(std::move(bytes)));
}

HXPropertyList list(std::initializer_list<HXPropertyList> items)
{
    return HXPropertyList(Array(items));
}

class TextAnnotationsPeerTest : public ScriptingTest {
protected:
    void SetUp() override
    {
        ScriptingTest::SetUp();
        movara::test::writeFile(folder / "subs.srt",
            "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n2\n00:00:01,000 --> 00:00:02,000\nAgain\n");
        auto made = movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
            "testsrc=size=160x120:rate=10:duration=2", "-i", (folder / "subs.srt").string(), "-map", "0",
            "-map", "1", "-c:v", "mpeg4", "-c:s", "mov_text", (folder / "subs.mp4").string() });
        ASSERT_EQ(made.status, 0);
        delegate->openFiles({ (folder / "subs.mp4").string() }, true);
        for (auto& d : documents())
            if (d->movie() && d->movie()->fileName() == (folder / "subs.mp4").string())
                doc = d;
        ASSERT_TRUE(doc);
    }

    // Saves the movie and answers ffprobe's dump of subtitle stream `stream`: its description after the
    // header and its first sample.
    std::pair<Bytes, Bytes> probe(int stream)
    {
        auto saved = folder / ("saved" + std::to_string(++saves) + ".mov");
        auto reply = command(
            "saveSelfContained", frontMovie(), { { "DestinationFile", HXPropertyList(saved.string()) } });
        EXPECT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        lastSaved = saved;
        std::string s = "s:" + std::to_string(stream);
        auto streams = movara::test::runCommand({ "ffprobe", "-v", "error", "-select_streams", s,
            "-show_streams", "-show_data", saved.string() });
        auto packets = movara::test::runCommand({ "ffprobe", "-v", "error", "-select_streams", s,
            "-show_packets", "-show_data", "-read_intervals", "%+#1", saved.string() });
        return { hexDump(streams.output, "extradata"), hexDump(packets.output, "data") };
    }

    movara::test::TempDir folder;
    std::shared_ptr<MVPMovieDocument> doc;
    std::filesystem::path lastSaved;
    int saves = 0;
};

TEST_F(TextAnnotationsPeerTest, EveryTextFramePropertyIsWrittenAsOthersReadIt)
{
    // A classic text track after ffmpeg's timed-text one.
    auto made = script({ { "event", HXPropertyList("make") }, { "target", frontMovie().propertyList() },
        { "key", HXPropertyList("tracks") }, { "data", HXPropertyList("Classic one\rClassic two") } });
    ASSERT_FALSE(made.contains("errorNumber")) << made["error"].stringValue();
    const int classicTrack = int(made["result"]["$specifier"]["value"].integerValue());

    struct Case {
        const char* key;
        bool timed; // the timed-text frame, else the classic one
        HXPropertyList written;
        HXPropertyList read;
        // The description after its 16-byte header and the first sample, as ffprobe dumps them.
        std::function<bool(const Bytes& description, const Bytes& sample)> saved;
    };
    using namespace MVPScriptValues;
    const Case cases[] = {
        { "contents", true, HXPropertyList("Bonjour \u00e0 tous"), HXPropertyList("Bonjour \u00e0 tous"),
            [](const Bytes&, const Bytes& s) {
                return std::string(s.begin() + 2, s.begin() + 2 + long(be(s, 0, 2))) == "Bonjour \u00e0 tous";
            } },
        { "defaultFontSize", true, HXPropertyList(24), HXPropertyList(24),
            [](const Bytes& d, const Bytes&) { return d[25] == 24; } },
        // Timed text keeps bold, italic and underline only.
        { "defaultFontStyles", true, list({ code("bold"), code("outl"), code("shad") }),
            list({ code("bold") }), [](const Bytes& d, const Bytes&) { return d[24] == 0x1; } },
        { "foregroundColor", true, list({ HXPropertyList(65535), HXPropertyList(32768), HXPropertyList(0) }),
            rgb(65535, 128 * 257, 0),
            [](const Bytes& d, const Bytes&) { return be(d, 26, 4) == 0xFF8000FF; } },
        { "backgroundColor", true, list({ HXPropertyList(0), HXPropertyList(65535), HXPropertyList(0) }),
            rgb(0, 65535, 0), [](const Bytes& d, const Bytes&) { return be(d, 6, 4) == 0x00FF00FF; } },
        { "justification", true, code("cent"), code("cent"),
            [](const Bytes& d, const Bytes&) { return d[4] == 1; } },
        { "scroll", true, list({ code("tfsi"), code("tfck") }), list({ code("tfsi") }),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) == 0x820; } },
        // Anti-aliasing is not among the flags timed text keeps.
        { "antialias", true, HXPropertyList(true), HXPropertyList(false),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) == 0x820; } },
        { "position", true, record(10, 20), record(10, 20),
            [](const Bytes& d, const Bytes&) { return be(d, 10, 2) == 10 && be(d, 12, 2) == 20; } },
        { "dimensions", true, record(30, 100), record(30, 100),
            [](const Bytes& d, const Bytes&) { return be(d, 14, 2) == 40 && be(d, 16, 2) == 120; } },
        { "highlight", true, record(5, 2), record(5, 2),
            [](const Bytes&, const Bytes& s) {
                auto a = atom(s, "hlit");
                return a.size() >= 4 && be(a, 0, 2) == 2 && be(a, 2, 2) == 5;
            } },
        { "highlightColor", true, list({ HXPropertyList(65535), HXPropertyList(0), HXPropertyList(0) }),
            rgb(65535, 0, 0),
            [](const Bytes&, const Bytes& s) { return be(atom(s, "hclr"), 0, 4) == 0xFF0000FF; } },
        { "dropShadowOffset", true, record(3, 4), record(3, 4),
            [](const Bytes&, const Bytes& s) { return be(atom(s, "drpo"), 0, 4) == 0x00030004; } },
        { "dropShadowTransparency", true, HXPropertyList(50), HXPropertyList(50),
            [](const Bytes&, const Bytes& s) { return be(atom(s, "drpt"), 0, 2) == 50; } },
        { "scrollDelay", true, HXPropertyList(600), HXPropertyList(600),
            [](const Bytes&, const Bytes& s) { return be(atom(s, "dlay"), 0, 4) == 600; } },

        { "contents", false, HXPropertyList("Line A"), HXPropertyList("Line A"),
            [](const Bytes&, const Bytes& s) {
                return std::string(s.begin() + 2, s.begin() + 2 + long(be(s, 0, 2))) == "Line A";
            } },
        { "defaultFontSize", false, HXPropertyList(18), HXPropertyList(18),
            [](const Bytes& d, const Bytes&) { return be(d, 34, 2) == 18; } },
        { "defaultFontStyles", false, list({ code("bold"), code("ital"), code("undl"), code("outl") }),
            list({ code("bold"), code("ital"), code("undl"), code("outl") }),
            [](const Bytes& d, const Bytes&) { return d[32] == 0xF; } },
        { "defaultFont", false, HXPropertyList("monospace"), HXPropertyList("Monospace"),
            [](const Bytes& d, const Bytes&) { return be(d, 30, 2) == 4; } },
        { "foregroundColor", false, list({ HXPropertyList(1), HXPropertyList(2), HXPropertyList(3) }),
            rgb(1, 2, 3),
            [](const Bytes& d, const Bytes&) {
                return be(d, 36, 2) == 1 && be(d, 38, 2) == 2 && be(d, 40, 2) == 3;
            } },
        { "backgroundColor", false, list({ HXPropertyList(4), HXPropertyList(5), HXPropertyList(6) }),
            rgb(4, 5, 6),
            [](const Bytes& d, const Bytes&) {
                return be(d, 8, 2) == 4 && be(d, 10, 2) == 5 && be(d, 12, 2) == 6;
            } },
        { "justification", false, code("rght"), code("rght"),
            [](const Bytes& d, const Bytes&) { return be(d, 4, 4) == 0xFFFFFFFF; } },
        { "antialias", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x2000; } },
        { "clipToTextBox", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x4; } },
        { "shrinkTextBox", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x10; } },
        { "dropShadow", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x1000; } },
        { "keyed", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x4000; } },
        { "inverseHighlighting", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x8000; } },
        { "textColorHighlighting", false, HXPropertyList(true), HXPropertyList(true),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x10000; } },
        { "autoScale", false, HXPropertyList(false), HXPropertyList(false),
            [](const Bytes& d, const Bytes&) { return be(d, 0, 4) & 0x2; } },
        { "scroll", false, list({ code("tfso"), code("tfsh"), code("tfsr"), code("tfsc"), code("tffh") }),
            list({ code("tfso"), code("tfsh"), code("tfsr"), code("tfsc"), code("tffh") }),
            [](const Bytes& d, const Bytes&) { return (be(d, 0, 4) & 0xFE0) == 0x7C0; } },
        { "highlight", false, record(6, 1), record(6, 1),
            [](const Bytes&, const Bytes& s) {
                auto a = atom(s, "hlit");
                return be(a, 0, 4) == 1 && be(a, 4, 4) == 6;
            } },
        { "highlightColor", false, list({ HXPropertyList(7), HXPropertyList(8), HXPropertyList(9) }),
            rgb(7, 8, 9),
            [](const Bytes&, const Bytes& s) {
                auto a = atom(s, "hclr");
                return be(a, 0, 2) == 7 && be(a, 2, 2) == 8 && be(a, 4, 2) == 9;
            } },
    };
    auto frame = [&](bool timed) {
        return Specifier::index(
            "textFrames", 0, ptr(Specifier::index("tracks", timed ? 1 : classicTrack, ptr(frontMovie()))));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.timed ? " of timed text" : " of classic text"));
        auto reply = set(Specifier::property(c.key, ptr(frame(c.timed))), c.written);
        ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        EXPECT_EQ(get(Specifier::property(c.key, ptr(frame(c.timed))))["result"], c.read);
    }
    EXPECT_EQ(get(Specifier::property("kind", ptr(frame(true))))["result"], HXPropertyList("tx3g"));
    EXPECT_EQ(get(Specifier::property("kind", ptr(frame(false))))["result"], HXPropertyList("text"));

    auto timed = probe(0);
    auto classic = probe(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.timed ? " of timed text, saved" : " of classic text, saved"));
        const auto& [description, sample] = c.timed ? timed : classic;
        ASSERT_GE(description.size(), 30u);
        ASSERT_GE(sample.size(), 2u);
        EXPECT_TRUE(c.saved(description, sample));
    }
}

TEST_F(TextAnnotationsPeerTest, FfmpegDecodesTheTextsWritten)
{
    // Texts and the atoms after them change samples only: the track keeps its one description, which is
    // what ffmpeg decodes subtitles of.
    auto frame = [](int index) {
        return Specifier::index("textFrames", index, ptr(Specifier::index("tracks", 1, ptr(frontMovie()))));
    };
    ASSERT_FALSE(set(Specifier::property("contents", ptr(frame(0))), HXPropertyList("Bonjour \u00e0 tous"))
                     .contains("errorNumber"));
    ASSERT_FALSE(set(Specifier::property("highlight", ptr(frame(0))), MVPScriptValues::record(3, 0))
                     .contains("errorNumber"));
    ASSERT_FALSE(set(Specifier::property("contents", ptr(frame(1))), HXPropertyList("Encore"))
                     .contains("errorNumber"));
    probe(0);
    auto srt = movara::test::runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-i", lastSaved.string(), "-map", "0:s:0", "-f", "srt", "-" });
    // The first text, its first three characters highlighted as ffmpeg shows a highlight.
    EXPECT_NE(srt.output.find("00:00:00,000 --> 00:00:01,000\n"), std::string::npos) << srt.output;
    EXPECT_NE(srt.output.find(">Bon<"), std::string::npos) << srt.output;
    EXPECT_NE(srt.output.find(">jour \u00e0 tous<"), std::string::npos) << srt.output;
    EXPECT_NE(srt.output.find("00:00:01,000 --> 00:00:02,000\nEncore"), std::string::npos) << srt.output;
}

TEST_F(TextAnnotationsPeerTest, EveryAnnotationCodeIsWrittenAsOthersReadIt)
{
    const auto& codes = MVPAnnotationScripting::annotationCodes();
    ASSERT_EQ(codes.size(), 40u);
    int shown = 0;
    for (const auto& [code, name] : codes) {
        SCOPED_TRACE(name);
        const std::string text = "text of " + name;
        auto reply = script({ { "event", HXPropertyList("make") }, { "target", frontMovie().propertyList() },
            { "key", HXPropertyList("annotationElements") },
            { "data",
                HXPropertyList(
                    Dict { { "name", HXPropertyList(name) }, { "fullText", HXPropertyList(text) } }) } });
        ASSERT_FALSE(reply.contains("errorNumber")) << reply["error"].stringValue();
        auto annotation = Specifier::name("annotationElements", name, ptr(frontMovie()));
        EXPECT_EQ(reply["result"]["$specifier"]["key"].stringValue(), "annotationElements");
        EXPECT_EQ(reply["result"]["$specifier"]["value"].stringValue(), name);
        EXPECT_EQ(get(Specifier::property("fullText", ptr(annotation)))["result"], HXPropertyList(text));

        // ffprobe finds the item; the codes it has a name for, it reads with their text.
        probe(0);
        auto tags = movara::test::runCommand({ "ffprobe", "-v", "error", "-export_all", "1", "-show_entries",
            "format_tags", "-of", "json", lastSaved.string() });
        const std::string letters { char(code >> 16), char(code >> 8), char(code) };
        bool withText = tags.output.find("\"" + text + "\"") != std::string::npos;
        EXPECT_TRUE(withText || tags.output.find("[169]" + letters) != std::string::npos) << tags.output;
        shown += withText;
        // Our own reading of the saved file has it, under its code.
        HXError error;
        auto reopened = MVMovie::movieWithFile(lastSaved.string(), &error);
        ASSERT_TRUE(reopened) << error.localizedDescription();
        EXPECT_EQ(MVUserDataGetText(reopened->userData(), code), text);

        // Removed by name, the item goes.
        EXPECT_FALSE(
            script({ { "event", HXPropertyList("delete") }, { "target", annotation.propertyList() } })
                .contains("errorNumber"));
        EXPECT_FALSE(MVUserDataGetText(doc->movie()->userData(), code));
    }
    EXPECT_GE(shown, 20) << "the common codes are read with their texts";

    // A name outside the table names nothing to write.
    auto unknown = script({ { "event", HXPropertyList("make") }, { "target", frontMovie().propertyList() },
        { "key", HXPropertyList("annotationElements") },
        { "data",
            HXPropertyList(
                Dict { { "name", HXPropertyList("Mood") }, { "fullText", HXPropertyList("calm") } }) } });
    EXPECT_EQ(unknown["errorNumber"].integerValue(), HXScriptParameterError);

    // An empty text removes the item; the removal is undone with the Edit menu.
    auto copyright = Specifier::name("annotationElements", "Copyright", ptr(frontMovie()));
    script({ { "event", HXPropertyList("make") }, { "target", frontMovie().propertyList() },
        { "key", HXPropertyList("annotationElements") },
        { "data",
            HXPropertyList(
                Dict { { "name", HXPropertyList("Copyright") }, { "fullText", HXPropertyList("Us") } }) } });
    set(Specifier::property("fullText", ptr(copyright)), HXPropertyList(""));
    EXPECT_FALSE(MVUserDataGetText(doc->movie()->userData(), 0xA9637079));
    doc->movie()->undoManager()->undo();
    EXPECT_EQ(MVUserDataGetText(doc->movie()->userData(), 0xA9637079), "Us");
}

} // namespace
} // namespace movara::scriptingtest
