// Language names of tracks, the language and subtitle choosers, and the Language and Subtitles menus of
// a movie document, on movies made in memory.
#include "movie_document_test_support.h"

#include "document/language_window_controller.h"
#include "document/subtitles_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/locale.h"
#include "platform/mvkit/sample_text_description.h"
#include "platform/winkit/menu.h"

using namespace movara::test::document;

namespace {

// A language as the media header stores it: three ISO letters, five bits each.
uint16_t packed(const char (&code)[4])
{
    return uint16_t((code[0] - 0x60) << 10 | (code[1] - 0x60) << 5 | (code[2] - 0x60));
}

std::string nameOf(const std::string& identifier)
{
    return HXLocale::displayNameForIdentifier(identifier).value_or("<none>");
}

std::shared_ptr<MVTrack> addSound(
    MVMovie& movie, const char (&language)[4], bool enabled, bool excluded = false)
{
    auto track = movie.newTrack(MVFourCC("soun"), 44100);
    track->setLanguage(packed(language));
    track->setEnabled(enabled);
    track->setExcludedFromAutoSelection(excluded);
    return track;
}

std::shared_ptr<MVTrack> addSubtitles(MVMovie& movie, const char (&language)[4], bool enabled)
{
    auto track = movie.newTrack(MVFourCC("sbtl"), 600);
    int64_t at = track->media()->addSample(
        MVMakeTextSample("words"), 600, 1, MVSerializeText3GSampleDescription({}), 0);
    track->insertMedia(0, at, 600);
    track->setLanguage(packed(language));
    track->setEnabled(enabled);
    return track;
}

void setLanguageTag(MVTrack& track, const std::string& tag)
{
    MVBytes payload = { 0, 0, 0, 0 };
    payload.insert(payload.end(), tag.begin(), tag.end());
    payload.push_back(0);
    track.media()->storedDescription().unknownChildren.push_back({ MVFourCC("elng"), payload });
}

struct ItemView {
    std::string title;
    std::string action;
    long tag;
    bool checked;
    bool separator;
    bool operator==(const ItemView&) const = default;
};

std::vector<ItemView> itemsOf(const HXMenu& menu)
{
    std::vector<ItemView> items;
    for (const auto& item : menu.itemArray())
        items.push_back({ item->isSeparatorItem() ? std::string() : item->title(),
            item->action() ? item->action().name() : std::string(), item->isSeparatorItem() ? 0 : item->tag(),
            item->state() == HXOnState, item->isSeparatorItem() });
    return items;
}

ItemView trackItem(const std::string& title, const char* action, const MVTrack& track, bool checked)
{
    return { title, action, long(track.trackID()), checked, false };
}

const ItemView kSeparator { "", "", 0, false, true };

TEST(LanguageNames, TagsGiveTheirComponents)
{
    std::string unknown = HXLocalizedString("mvpSoundUnknown");
    const std::pair<const char*, std::string> cases[] = {
        { "zh-Hant-TW", nameOf("zh_Hant_TW") }, // language, script and country
        { "fr_ca", nameOf("fr_CA") }, // the country upper-cased
        { "SR-cyrl", nameOf("sr_Cyrl") }, // a script in the second place
        { "en", nameOf("en") },
        { "en-US-x-private", nameOf("en") }, // more parts: the language only
        { "eng", unknown }, // a three-letter language is no component
        { "english-US", unknown }, // no language, so no locale
        { "", unknown },
    };
    for (const auto& [tag, name] : cases)
        EXPECT_EQ(stringForLanguageTag(tag), name) << tag;
    EXPECT_NE(nameOf("en"), "en"); // a real name, not the code back
}

TEST(LanguageNames, CodesAreClassicNumbersOrPackedLetters)
{
    const std::pair<int64_t, std::optional<std::string>> cases[] = {
        { 0, std::nullopt }, // three NULs, not the classic English
        { 1, nameOf("fr") }, { 2, nameOf("de") }, { 33, nameOf("zh_Hans") },
        { 100, std::nullopt }, // an unused classic number
        { 0x656E6700, nameOf("en") }, // "eng"
        { 0x66726100, nameOf("fr") }, // "fra"
        { 2000, std::nullopt }, // no letters in the high bytes
        { 0x31323300, std::nullopt }, // "123"
        { 0x71717100, std::nullopt }, // "qqq": letters, but no language
    };
    for (const auto& [code, name] : cases)
        EXPECT_EQ(stringForLanguageCode(code), name) << std::hex << code;
}

class LanguageChoiceTest : public DocumentTest { };

TEST_F(LanguageChoiceTest, TheChooserSortsSplitsAndFindsTheEnabledTrack)
{
    auto movie = MVMovie::movie();
    auto french = addSound(*movie, "fra", true);
    auto english = addSound(*movie, "eng", false);
    auto german = addSound(*movie, "deu", false, true);
    auto chooser = MVPLanguageWindowController::languageWindowControllerWithMovie(movie);
    bool englishFirst = nameOf("en") < nameOf("fr");
    auto sorted = englishFirst ? std::vector { english, french } : std::vector { french, english };
    EXPECT_EQ(chooser->languageTracks(), sorted);
    EXPECT_EQ(chooser->excludedTracks(), std::vector { german });
    EXPECT_EQ(chooser->currentLanguageTrack(), french);
    EXPECT_EQ(chooser->localeStringForLanguageTrack(*german), nameOf("de"));

    // With nothing enabled there is no current track (not the one found last time).
    french->setEnabled(false);
    movie->movieChanged();
    EXPECT_EQ(chooser->currentLanguageTrack(), nullptr);

    // A tag names the track before its code does.
    setLanguageTag(*english, "en-GB");
    EXPECT_EQ(chooser->localeStringForLanguageTrack(*english), nameOf("en_GB"));
    setLanguageTag(*french, "xx-YY"); // a tag without a name: the code then
    EXPECT_EQ(chooser->localeStringForLanguageTrack(*french), nameOf("fr"));

    chooser->setMovie(nullptr);
    EXPECT_TRUE(chooser->languageTracks().empty());
}

TEST_F(LanguageChoiceTest, OneOrNoLanguageGivesOneDisabledItem)
{
    struct Case {
        const char* name;
        int soundTracks;
        const char* title;
    };
    const Case cases[] = { { "no sound", 0, "mvpSoundNone" }, { "one language", 1, "mvpLanguageDefault" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto movie = MVMovie::movie();
        for (int i = 0; i < c.soundTracks; ++i)
            addSound(*movie, "eng", true);
        addSubtitles(*movie, "eng", false);
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        auto menu = MVPMovieDocument::makeChooseLanguageMenu();
        menu->addItemWithTitle("stale", "setLanguage:");
        doc->updateChooseLanguageMenuItems(*menu);
        ASSERT_EQ(menu->numberOfItems(), 1);
        auto item = menu->itemAtIndex(0);
        EXPECT_EQ(item->title(), HXLocalizedString(c.title));
        EXPECT_EQ(item->action().name(), "chooseLanguage:");
        EXPECT_EQ(item->state(), HXOnState);
        EXPECT_FALSE(item->isEnabled());
    }
}

TEST_F(LanguageChoiceTest, TheLanguageMenuListsAndSwitchesTracks)
{
    auto movie = MVMovie::movie();
    auto english = addSound(*movie, "eng", true);
    auto french = addSound(*movie, "fra", false);
    auto fallback = addSound(*movie, "spa", false);
    fallback->setReference(english, MVFourCC("fall"), 1);
    auto commentary = addSound(*movie, "eng", false, true);
    commentary->setAttributeForKey(std::string("Commentary"), MVTrackDisplayNameAttribute);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    auto menu = MVPMovieDocument::makeChooseLanguageMenu();
    doc->updateChooseLanguageMenuItems(*menu);

    std::vector<ItemView> expected;
    for (const auto& track : doc->languageWindowController()->languageTracks())
        if (track != fallback)
            expected.push_back(
                trackItem(nameOf(track == french ? "fr" : "en"), "setLanguage:", *track, track == english));
    expected.push_back(kSeparator);
    expected.push_back(trackItem("Commentary", "setLanguage:", *commentary, false));
    EXPECT_EQ(itemsOf(*menu), expected);

    auto edits = count(MVMovieEditedNotification, movie.get());
    auto frenchItem = menu->itemWithTag(long(french->trackID()));
    ASSERT_TRUE(frenchItem);
    EXPECT_TRUE(doc->performAction("setLanguage:", frenchItem.get()));
    EXPECT_TRUE(french->isEnabled());
    EXPECT_FALSE(english->isEnabled());
    EXPECT_EQ(*edits, 1);
    EXPECT_EQ(doc->languageWindowController()->currentLanguageTrack(), french);
    doc->updateChooseLanguageMenuItems(*menu);
    EXPECT_EQ(menu->itemWithTag(long(french->trackID()))->state(), HXOnState);
    EXPECT_EQ(menu->itemWithTag(long(english->trackID()))->state(), HXOffState);
}

TEST_F(LanguageChoiceTest, TheSubtitlesMenuShowsHidesAndSwitches)
{
    auto movie = MVMovie::movie();
    addSound(*movie, "eng", true);
    auto english = addSubtitles(*movie, "eng", false);
    auto german = addSubtitles(*movie, "deu", false);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    auto menu = MVPMovieDocument::makeSubtitlesMenu();
    ASSERT_EQ(menu->numberOfItems(), 1);
    auto off = menu->itemAtIndex(0);
    menu->addItemWithTitle("stale", "setSubtitlesLanguage:");
    doc->updateSubtitlesMenuItems(*menu);
    bool englishFirst = nameOf("en") < nameOf("de");
    auto first = englishFirst ? english : german;
    auto second = englishFirst ? german : english;
    auto title = [&](const std::shared_ptr<MVTrack>& t) { return nameOf(t == english ? "en" : "de"); };
    std::vector<ItemView> expected
        = { itemsOf(*menu)[0], kSeparator, trackItem(title(first), "setSubtitlesLanguage:", *first, false),
              trackItem(title(second), "setSubtitlesLanguage:", *second, false) };
    EXPECT_EQ(itemsOf(*menu), expected);
    EXPECT_EQ(menu->itemAtIndex(0), off);
    EXPECT_EQ(off->action().name(), "setSubtitlesVisible:");

    // Choosing a language shows it.
    EXPECT_TRUE(
        doc->performAction("setSubtitlesLanguage:", menu->itemWithTag(long(german->trackID())).get()));
    EXPECT_TRUE(movie->subtitlesVisible());
    EXPECT_TRUE(german->isEnabled());
    EXPECT_FALSE(english->isEnabled());
    doc->updateSubtitlesMenuItems(*menu);
    EXPECT_EQ(menu->itemWithTag(long(german->trackID()))->state(), HXOnState);

    // The first item hides them, whatever it says.
    EXPECT_TRUE(doc->performAction("setSubtitlesVisible:", off.get()));
    EXPECT_FALSE(movie->subtitlesVisible());
    doc->updateSubtitlesMenuItems(*menu);
    EXPECT_EQ(menu->itemWithTag(long(german->trackID()))->state(), HXOffState);

    // A movie without subtitles keeps only the first item.
    doc->setMovie(MVMovie::movie());
    doc->updateSubtitlesMenuItems(*menu);
    EXPECT_EQ(menu->numberOfItems(), 1);
}

TEST_F(LanguageChoiceTest, TheLanguageItemIsOfferedWhenTheChooserHasAChoice)
{
    struct Case {
        const char* name;
        std::function<void(MVMovie&)> build;
        bool enabled;
    };
    const Case cases[] = {
        { "one sound track", [](MVMovie& m) { addSound(m, "eng", true); }, false },
        { "two sound tracks",
            [](MVMovie& m) {
                addSound(m, "eng", true);
                addSound(m, "fra", false);
            },
            true },
        { "one offered and one excluded",
            [](MVMovie& m) {
                addSound(m, "eng", true);
                addSound(m, "eng", false, true);
            },
            true },
        { "an alternate group without sound",
            [](MVMovie& m) {
                for (int i = 0; i < 2; ++i)
                    m.newTrack(MVFourCC("vide"), 600, 64, 48)->setAlternateGroup(1);
            },
            true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto movie = MVMovie::movie();
        c.build(*movie);
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        HXMenuItem item("Language", "setLanguage:", "");
        EXPECT_EQ(doc->validateMenuItem(item), c.enabled);
    }
}

TEST_F(LanguageChoiceTest, ReplacingTheMovieGivesTheChoosersTheNewOne)
{
    auto first = MVMovie::movie();
    addSound(*first, "eng", true);
    addSound(*first, "fra", false);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(first);
    auto chooser = doc->languageWindowController();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->languageTracks().size(), 2u);
    auto second = MVMovie::movie();
    addSound(*second, "deu", true);
    doc->setMovie(second);
    EXPECT_EQ(doc->languageWindowController(), chooser);
    EXPECT_EQ(chooser->movie(), second);
    EXPECT_TRUE(chooser->languageTracks().empty()); // a single sound track is no choice
    EXPECT_EQ(doc->subtitlesController()->movie(), second);
}

} // namespace
