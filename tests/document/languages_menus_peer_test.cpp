// The Language and Subtitles menus of a movie with two audio languages and two subtitle tracks, made
// with the ffmpeg tool (and its languages read back with ffprobe), and switching tracks from them.
#include "movie_document_test_support.h"

#include "document/language_window_controller.h"
#include "platform/basekit/locale.h"
#include "platform/winkit/menu.h"
#include "test_support.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

std::string nameOf(const std::string& identifier)
{
    return HXLocale::displayNameForIdentifier(identifier).value_or("<none>");
}

std::vector<std::string> titles(const HXMenu& menu)
{
    std::vector<std::string> out;
    for (const auto& item : menu.itemArray())
        out.push_back(item->isSeparatorItem() ? "-" : item->title());
    return out;
}

std::shared_ptr<HXMenuItem> itemTitled(const HXMenu& menu, const std::string& title)
{
    for (const auto& item : menu.itemArray())
        if (!item->isSeparatorItem() && item->title() == title)
            return item;
    return nullptr;
}

// The enabled tracks of `mediaType`, by their ISO language.
std::vector<uint32_t> enabledLanguages(const MVMovie& movie, uint32_t mediaType)
{
    std::vector<uint32_t> out;
    for (const auto& track : movie.tracksOfMediaType(mediaType))
        if (track->isEnabled())
            out.push_back(track->isoLanguageCode());
    return out;
}

constexpr uint32_t kEnglish = 0x656E6700, kFrench = 0x66726100, kSpanish = 0x73706100;

class LanguagesPeerTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        writeFile(dir.path() / "en.srt", "1\n00:00:00,000 --> 00:00:01,500\nHello\n");
        writeFile(dir.path() / "es.srt", "1\n00:00:00,000 --> 00:00:01,500\nHola\n");
        path = (dir.path() / "languages.mp4").string();
        auto made = runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
            "testsrc=size=64x48:rate=10:duration=2", "-f", "lavfi", "-i", "sine=frequency=440:duration=2",
            "-f", "lavfi", "-i", "sine=frequency=660:duration=2", "-i", (dir.path() / "en.srt").string(),
            "-i", (dir.path() / "es.srt").string(), "-map", "0:v", "-map", "1:a", "-map", "2:a", "-map",
            "3:s", "-map", "4:s", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-c:s", "mov_text",
            "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=fra", "-metadata:s:s:0",
            "language=eng", "-metadata:s:s:1", "language=spa", "-t", "2", path });
        ASSERT_EQ(made.status, 0) << made.output;
        // The file says what we think it says.
        auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries",
            "stream=codec_type:stream_tags=language", "-of", "csv=p=0", path });
        ASSERT_EQ(probe.status, 0);
        EXPECT_EQ(probe.output, "video,und\naudio,eng\naudio,fra\nsubtitle,eng\nsubtitle,spa\n");
        HXError error;
        doc = MVPMovieDocument::documentWithContentsOfFile(path, MVPAnythingDocumentType, false, &error);
        ASSERT_TRUE(doc) << error.localizedDescription();
    }

    TempDir dir;
    std::string path;
    std::shared_ptr<MVPMovieDocument> doc;
};

TEST_F(LanguagesPeerTest, TheLanguageMenuOffersBothLanguagesAndSwitchesBetweenThem)
{
    auto menu = MVPMovieDocument::makeChooseLanguageMenu();
    doc->updateChooseLanguageMenuItems(*menu);
    auto english = nameOf("en"), french = nameOf("fr");
    auto expected = english < french ? std::vector { english, french } : std::vector { french, english };
    EXPECT_EQ(titles(*menu), expected);
    for (const auto& item : menu->itemArray()) {
        EXPECT_EQ(item->action().name(), "setLanguage:");
        auto track = doc->movie()->trackByID(uint32_t(item->tag()));
        ASSERT_TRUE(track);
        EXPECT_EQ(item->state() == HXOnState, track->isEnabled());
    }

    const std::pair<std::string, uint32_t> choices[] = { { french, kFrench }, { english, kEnglish } };
    for (const auto& [title, language] : choices) {
        SCOPED_TRACE(title);
        auto item = itemTitled(*menu, title);
        ASSERT_TRUE(item);
        EXPECT_TRUE(doc->performAction("setLanguage:", item.get()));
        EXPECT_EQ(enabledLanguages(*doc->movie(), MVFourCC("soun")), std::vector<uint32_t> { language });
        doc->updateChooseLanguageMenuItems(*menu);
        EXPECT_EQ(itemTitled(*menu, title)->state(), HXOnState);
    }
}

TEST_F(LanguagesPeerTest, TheSubtitlesMenuOffersBothTracksAndShowsOrHidesThem)
{
    auto menu = MVPMovieDocument::makeSubtitlesMenu();
    doc->updateSubtitlesMenuItems(*menu);
    auto english = nameOf("en"), spanish = nameOf("es");
    auto off = menu->itemAtIndex(0)->title();
    auto expected = english < spanish ? std::vector { off, std::string("-"), english, spanish }
                                      : std::vector { off, std::string("-"), spanish, english };
    EXPECT_EQ(titles(*menu), expected);

    auto spanishItem = itemTitled(*menu, spanish);
    ASSERT_TRUE(spanishItem);
    EXPECT_TRUE(doc->performAction("setSubtitlesLanguage:", spanishItem.get()));
    EXPECT_TRUE(doc->movie()->subtitlesVisible());
    EXPECT_EQ(enabledLanguages(*doc->movie(), MVFourCC("sbtl")), std::vector<uint32_t> { kSpanish });
    doc->updateSubtitlesMenuItems(*menu);
    EXPECT_EQ(itemTitled(*menu, spanish)->state(), HXOnState);
    EXPECT_EQ(itemTitled(*menu, english)->state(), HXOffState);

    EXPECT_TRUE(doc->performAction("setSubtitlesVisible:", menu->itemAtIndex(0).get()));
    EXPECT_FALSE(doc->movie()->subtitlesVisible());
    EXPECT_TRUE(enabledLanguages(*doc->movie(), MVFourCC("sbtl")).empty());
    doc->updateSubtitlesMenuItems(*menu);
    EXPECT_EQ(itemTitled(*menu, spanish)->state(), HXOffState);
}

} // namespace
