// The audio/video adjustments panel on the headless toolkit, with movies made by ffmpeg: the speed and
// jog mappings, which groups a movie enables, each slider acting on the movie, the resets (stored values
// or neutral ones), the jog handing back to the preferred rate, the layout without a picture group when
// pictures cannot be adjusted, following the main player window,
// hiding for a full-screen presentation on the panel's screen, and the state kept at quit.
#include "document/movie_document.h"
#include "document/persistence.h"
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/av_controls.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/media_keys.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/interface_loading.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"
#include "player/controls/detent_slider.h"
#include "test_support.h"
#include "tests/platform/mvkit/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace movara::test;

namespace {

const std::vector<HXScreen> kScreens
    = { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }),
          HXScreen(7, { { 1280, 0 }, { 1024, 768 } }, { { 1280, 0 }, { 1024, 768 } }) };

struct AnyDisplays : FSDisplayServices {
    std::optional<FSDisplayMode> currentMode(uint32_t) override
    {
        return FSDisplayMode { 1280, 800, 24, 60 };
    }
    std::vector<FSDisplayMode> availableModes(uint32_t) override { return { { 1280, 800, 24, 60 } }; }
    bool switchToMode(uint32_t, const FSDisplayMode&) override { return true; }
};

TEST(AVControlsMapping, SpeedSliderValuesGiveTheirRates)
{
    struct Case {
        double value;
        float rate;
    };
    const Case cases[] = {
        { 2.0, 0.5f }, // ½×
        { 4.0, 1.0f }, // the detent: normal speed
        { 6.0, 1.5f },
        { 7.0, 1.75f },
        { 7.5, 2.5f },
        { 8.0, 3.0f }, // 3×
        { 1.0, 0.5f }, // below the slider's low end: still half speed
        { 0.0, 0.5f },
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(AVControls::rateForSpeedValue(c.value), c.rate) << c.value;
}

TEST(AVControlsMapping, TheSpeedSliderShowsARateWhereTouchingItKeepsThatRate)
{
    // Showing a rate and reading the slider back gives the same rate wherever the slider can give it
    // (twice the speed must not come back as three times).
    for (float rate : { 0.5f, 0.75f, 1.0f, 1.5f, 1.75f, 2.0f, 2.5f, 3.0f })
        EXPECT_FLOAT_EQ(AVControls::rateForSpeedValue(AVControls::speedValueForRate(rate)), rate) << rate;
    EXPECT_EQ(AVControls::speedValueForRate(1.0f), AVControlsNormalSpeedValue);
    // Rates the slider cannot give show at its nearest reachable place, never beyond its ends.
    EXPECT_EQ(AVControls::speedValueForRate(1.9f), 7.0);
    EXPECT_EQ(AVControls::speedValueForRate(0.0f), 2.0);
}

TEST(AVControlsMapping, JogValuesGiveSignedShuttleRates)
{
    struct Case {
        double value;
        float rate;
    };
    const Case cases[] = {
        { 0, 0.0f },
        { 10, 0.3f },
        { -10, -0.3f },
        { 1, 0.25f }, // slow ones are raised to a quarter
        { -5, -0.25f },
        { 9.5, float(0.3 * 0.95 * 0.95) },
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(AVControls::shuttleRateForValue(c.value), c.rate) << c.value;
}

class AVControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install(kScreens);
        HXRunLoop::main().setClock(clock);
        FSDisplayServices::setShared(displays);
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        // The panel's title comes from the program's bundle.
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        controls = AVControls::avControls();
    }
    void TearDown() override
    {
        controls.reset();
        AVControls::releaseAVControls();
        for (auto& doc : docs)
            doc->close();
        docs.clear();
        FSDisplayServices::setShared(nullptr);
        HXDocumentController::setSharedDocumentController(nullptr);
        HXRunLoop::main().setClock(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    std::shared_ptr<MVPMovieDocument> open(MovieFixture fixture)
    {
        auto path = fixturePath(fixture);
        if (path.empty())
            return nullptr;
        auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, nullptr);
        if (!doc)
            return nullptr;
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        doc->movieWindow()->makeKeyAndOrderFront();
        docs.push_back(doc);
        return doc;
    }

    // Moves a slider as the user would: its value, then its action to its target.
    static void slide(const std::shared_ptr<HXSlider>& slider, double value)
    {
        ASSERT_TRUE(slider);
        slider->setDoubleValue(value);
        slider->sendAction();
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<AnyDisplays> displays = std::make_shared<AnyDisplays>();
    std::shared_ptr<AVControls> controls;
    std::vector<std::shared_ptr<MVPMovieDocument>> docs;
};

#define OPEN_OR_SKIP(doc, fixture)                                                                           \
    auto doc = open(fixture);                                                                                \
    if (!doc)                                                                                                \
    GTEST_SKIP() << "ffmpeg could not make " << fixtureName(fixture)

TEST_F(AVControlsTest, OpensOnTheMainPlayersMovieAndTogglesWithoutBecomingKey)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    controls->toggleAVControlsVisibility();
    ASSERT_TRUE(controls->avControlsPanel());
    EXPECT_TRUE(controls->isVisible());
    EXPECT_EQ(controls->movie(), doc->movie()) << "the movie in front at once";
    EXPECT_EQ(controls->avControlsPanel()->level(), HXFloatingWindowLevel);
    EXPECT_FALSE(controls->isKey());
    EXPECT_FALSE(controls->avControlsPanel()->canBecomeMainWindow()) << "the player window stays main";
    EXPECT_EQ(controls->avControlsPanel()->title(), "A/V Controls");
    EXPECT_EQ(controls->speedControlSlider()->detentCell()->detentAtValue(), 4.0f);
    controls->toggleAVControlsVisibility();
    EXPECT_FALSE(controls->isVisible());
    EXPECT_EQ(controls->movie(), nullptr) << "a closed panel lets go of its movie";
}

TEST_F(AVControlsTest, EveryLabelShowsItsWholeTextInsideThePanel)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    // The panel as it first opens, then the layout used where pictures cannot be filtered.
    for (bool minimal : { false, true }) {
        SCOPED_TRACE(minimal ? "without pictures" : "with pictures");
        AVControls::releaseAVControls();
        controls = AVControls::avControls();
        if (minimal) {
            ASSERT_TRUE(HXInterfaceLoader::loadInterfaceNamed(AVControlsMinimalInterfaceName, controls));
        }
        controls->toggleAVControlsVisibility();
        ASSERT_TRUE(controls->avControlsPanel());
        auto content = controls->avControlsPanel()->contentView();
        HXRect bounds = content->bounds();
        int labels = 0;
        std::vector<std::shared_ptr<HXView>> views { content };
        while (!views.empty()) {
            auto view = views.back();
            views.pop_back();
            for (const auto& sub : view->subviews())
                views.push_back(sub);
            auto field = std::dynamic_pointer_cast<HXTextField>(view);
            if (!field || field->stringValue().empty())
                continue;
            ++labels;
            HXRect frame = field->convertRectToView(field->bounds(), content.get());
            EXPECT_TRUE(HXContainsRect(bounds, frame))
                << field->stringValue() << " " << HXStringFromRect(frame);
            EXPECT_LE(field->cell()->cellSize().width, frame.size.width) << field->stringValue();
        }
        EXPECT_GT(labels, 10);
        controls->toggleAVControlsVisibility();
    }
}

TEST_F(AVControlsTest, TheLayoutWithoutPicturesHasNoPictureGroupAndALongVolumeSlider)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    // The layout used where pictures cannot be filtered, loaded before a new panel is first shown.
    controls->toggleAVControlsVisibility();
    AVControls::releaseAVControls();
    controls = AVControls::avControls();
    ASSERT_FALSE(controls->avControlsPanel());
    ASSERT_TRUE(HXInterfaceLoader::loadInterfaceNamed(AVControlsMinimalInterfaceName, controls));
    EXPECT_FALSE(controls->brightnessControlSlider());
    EXPECT_FALSE(controls->videoResetButton());
    EXPECT_FALSE(controls->videoLabel());
    EXPECT_EQ(controls->gainControlSlider()->frame().size.width, 260);
    controls->toggleAVControlsVisibility();
    ASSERT_TRUE(controls->isVisible());
    EXPECT_TRUE(controls->gainControlSlider()->isEnabled()) << "the other groups work as before";
    EXPECT_TRUE(controls->speedControlSlider()->isEnabled());
    slide(controls->gainControlSlider(), 0.5);
    EXPECT_FLOAT_EQ(doc->movie()->volume(), 0.5f);
    controls->audioResetButton()->performClick();
    EXPECT_FLOAT_EQ(doc->movie()->volume(), doc->movie()->preferredVolume());
}

TEST_F(AVControlsTest, WithoutPictureAdjustmentsThePanelIsLoadedWithoutItsPictureGroup)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    // The test program's own configuration folder holds the media keys.
    const std::string keys = MVMediaKeys::mediaKeys().path();
    std::filesystem::create_directories(std::filesystem::path(keys).parent_path());
    ASSERT_TRUE(HXPropertyList(HXPropertyList::Dictionary { { "MVImageFiltersAvailable", false } }).writeToFile(keys));
    MVMediaKeys::mediaKeys().reload();
    AVControls::releaseAVControls();
    controls = AVControls::avControls();
    controls->toggleAVControlsVisibility();
    EXPECT_FALSE(controls->brightnessControlSlider());
    EXPECT_EQ(controls->gainControlSlider()->frame().size.width, 260);
    EXPECT_TRUE(controls->gainControlSlider()->isEnabled());
    // The movie's stored adjustments no longer reach its pictures.
    doc->movie()->setVisualBrightness(0.5f);
    EXPECT_EQ(MVMoviePlayback::playbackForMovie(doc->movie())->visualAdjustments(), MVPictureAdjustments {});

    std::filesystem::remove(keys);
    MVMediaKeys::mediaKeys().reload();
    AVControls::releaseAVControls();
    controls = AVControls::avControls();
    controls->toggleAVControlsVisibility();
    EXPECT_TRUE(controls->brightnessControlSlider()) << "the whole panel again";
}

TEST_F(AVControlsTest, EnablesTheGroupsTheMovieCanTake)
{
    struct Case {
        MovieFixture fixture;
        bool audio;
        bool video;
        bool playback;
    };
    const Case cases[] = {
        { MovieFixture::H264AacMov, true, true, true },
        { MovieFixture::PcmWav, true, false, true }, // sound only
        { MovieFixture::TimecodeMov, false, true, true }, // picture only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fixtureName(c.fixture));
        auto doc = open(c.fixture);
        if (!doc)
            GTEST_SKIP() << "ffmpeg could not make " << fixtureName(c.fixture);
        if (!controls->isVisible())
            controls->toggleAVControlsVisibility();
        ASSERT_EQ(controls->movie(), doc->movie());
        EXPECT_EQ(controls->gainControlSlider()->isEnabled(), c.audio);
        EXPECT_EQ(controls->balanceControlSlider()->isEnabled(), c.audio);
        EXPECT_EQ(controls->bassControlSlider()->isEnabled(), c.audio);
        EXPECT_EQ(controls->trebleControlSlider()->isEnabled(), c.audio);
        EXPECT_EQ(controls->audioResetButton()->isEnabled(), c.audio);
        EXPECT_EQ(controls->pitchControlSlider()->isEnabled(), c.audio)
            << "the sound passes the pitch shifter";
        EXPECT_EQ(controls->brightnessControlSlider()->isEnabled(), c.video);
        EXPECT_EQ(controls->tintControlSlider()->isEnabled(), c.video);
        EXPECT_EQ(controls->videoResetButton()->isEnabled(), c.video);
        EXPECT_EQ(controls->speedControlSlider()->isEnabled(), c.playback);
        EXPECT_EQ(controls->jogControlSlider()->isEnabled(), c.playback);
        EXPECT_EQ(
            controls->audioLabel()->textColor(), c.audio ? HXColor::whiteColor() : HXColor::grayColor());
        EXPECT_EQ(
            controls->videoLabel()->textColor(), c.video ? HXColor::whiteColor() : HXColor::grayColor());
    }
    controls->setMovie(nullptr);
    EXPECT_FALSE(controls->gainControlSlider()->isEnabled());
    EXPECT_FALSE(controls->brightnessControlSlider()->isEnabled());
    EXPECT_FALSE(controls->speedControlSlider()->isEnabled());
}

TEST_F(AVControlsTest, EachSliderActsOnTheMovieAndTheResetsBringBackNeutralValues)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    controls->toggleAVControlsVisibility();
    auto movie = doc->movie();
    movie->setPreferredVolume(0.75f);
    struct Case {
        const char* name;
        std::shared_ptr<HXSlider> slider;
        double value;
        float (MVMovie::*getter)() const;
        float neutral;
        long resetTag;
    };
    const Case cases[] = {
        { "gain", controls->gainControlSlider(), 0.25, &MVMovie::volume, 0.75f, AVControlsAudioResetTag },
        { "balance", controls->balanceControlSlider(), -0.5, &MVMovie::balance, 0, AVControlsAudioResetTag },
        { "bass", controls->bassControlSlider(), 6, &MVMovie::bass, 0, AVControlsAudioResetTag },
        { "treble", controls->trebleControlSlider(), -4, &MVMovie::treble, 0, AVControlsAudioResetTag },
        { "pitch", controls->pitchControlSlider(), 300, &MVMovie::pitch, 0, AVControlsAudioResetTag },
        { "brightness", controls->brightnessControlSlider(), 0.25, &MVMovie::visualBrightness, 0,
            AVControlsVideoResetTag },
        { "colour", controls->colorControlSlider(), 1.5, &MVMovie::visualSaturation, 1,
            AVControlsVideoResetTag },
        { "contrast", controls->contrastControlSlider(), 0.5, &MVMovie::visualContrast, 1,
            AVControlsVideoResetTag },
        { "tint", controls->tintControlSlider(), 90, &MVMovie::visualHue, 0, AVControlsVideoResetTag },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        slide(c.slider, c.value);
        EXPECT_FLOAT_EQ(((*movie).*c.getter)(), float(c.value));
    }
    for (auto button : { controls->audioResetButton(), controls->videoResetButton() })
        button->performClick();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FLOAT_EQ(((*movie).*c.getter)(), c.neutral);
        EXPECT_FLOAT_EQ(float(c.slider->doubleValue()), c.neutral) << "the slider shows it";
    }

    // The speed slider plays at its rate and makes it the preferred one.
    slide(controls->speedControlSlider(), 2.0);
    EXPECT_FLOAT_EQ(movie->rate(), 0.5f);
    EXPECT_FLOAT_EQ(movie->preferredRate(), 0.5f);
    slide(controls->speedControlSlider(), 8.0);
    EXPECT_FLOAT_EQ(movie->rate(), 3.0f);
    movie->stop();
}

TEST_F(AVControlsTest, ResetsBringBackTheValuesStoredInTheMovieEachKeyOnItsOwn)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    controls->toggleAVControlsVisibility();
    auto movie = doc->movie();
    // A colour and a balance are stored in the movie; contrast and bass are not.
    movie->setVisualSaturation(1.25f);
    MVPPersistence::saveMovieColor(*movie);
    movie->setBalance(0.5f);
    MVPPersistence::saveMovieAudioBalance(*movie);
    ASSERT_FLOAT_EQ(MVPPersistence::movieColor(*movie), 1.25f);
    ASSERT_FALSE(MVPPersistence::hasMovieMetaDataItem(MVPPersistenceVisualContrastKey, *movie));
    movie->setVisualSaturation(0.2f);
    movie->setVisualContrast(1.8f);
    movie->setBalance(-1);
    movie->setBass(5);
    controls->videoResetButton()->performClick();
    controls->audioResetButton()->performClick();
    EXPECT_FLOAT_EQ(movie->visualSaturation(), 1.25f);
    EXPECT_FLOAT_EQ(movie->visualContrast(), 1.0f);
    EXPECT_FLOAT_EQ(movie->balance(), 0.5f);
    EXPECT_FLOAT_EQ(movie->bass(), 0.0f);
}

TEST_F(AVControlsTest, AJogPlaysWhileHeldThenTheMoviePlaysAtItsPreferredRate)
{
    OPEN_OR_SKIP(doc, MovieFixture::H264AacMov);
    controls->toggleAVControlsVisibility();
    auto movie = doc->movie();
    auto jog = controls->jogControlSlider();
    struct Case {
        const char* name;
        bool allFramesBefore;
        float rateBefore;
        float preferredRate; // what the movie plays at when the jog ends
    };
    const Case cases[] = {
        { "still, all frames off", false, 0.0f, 1.0f },
        { "still, all frames on", true, 0.0f, 1.0f },
        { "playing", false, 1.0f, 1.0f },
        { "still, preferring half speed", false, 0.0f, 0.5f },
        { "playing fast, preferring double speed", false, 3.0f, 2.0f },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie->setPlaysAllFrames(c.allFramesBefore);
        movie->setCurrentTime(MVMakeTime(movie->durationValue() / 2, movie->timeScale()));
        movie->setPreferredRate(c.preferredRate);
        movie->setRate(c.rateBefore);
        slide(jog, 10);
        EXPECT_FLOAT_EQ(movie->rate(), 0.3f);
        EXPECT_TRUE(movie->playsAllFrames()) << "every frame while jogging";
        slide(jog, -10);
        EXPECT_FLOAT_EQ(movie->rate(), -0.3f);
        slide(jog, 0);
        EXPECT_FLOAT_EQ(movie->rate(), c.preferredRate);
        EXPECT_EQ(movie->playsAllFrames(), c.allFramesBefore);
        movie->stop();
    }
    movie->setPreferredRate(1.0f);
    movie->stop();

    // Backwards at the start and forwards at the end change nothing.
    movie->setCurrentTime(MVMakeTime(0, movie->timeScale()));
    slide(jog, -10);
    EXPECT_FLOAT_EQ(movie->rate(), 0.0f);
    slide(jog, 0);
    movie->stop();
    movie->setCurrentTime(movie->duration());
    slide(jog, 10);
    EXPECT_FLOAT_EQ(movie->rate(), 0.0f);
    slide(jog, 0);
}

TEST_F(AVControlsTest, FollowsThePlayerWindowThatIsMainAndLetsGoOfAClosedOne)
{
    auto a = open(MovieFixture::H264AacMov);
    auto b = open(MovieFixture::MjpegPcmMov);
    if (!a || !b)
        GTEST_SKIP() << "ffmpeg could not make the movies";
    controls->toggleAVControlsVisibility();
    EXPECT_EQ(controls->movie(), b->movie());
    a->movieWindow()->makeKeyAndOrderFront();
    EXPECT_EQ(controls->movie(), a->movie());

    // A new movie in the document's player.
    auto replacement = MVMovie::movieWithFile(fixturePath(MovieFixture::H264AacMov).string(), nullptr);
    a->setMovie(replacement);
    EXPECT_EQ(controls->movie(), replacement);

    // The movie's window closes while another document stays: no slider acts on the closed movie.
    a->close();
    docs.erase(docs.begin());
    EXPECT_NE(controls->movie(), replacement);
    b->movieWindow()->makeKeyAndOrderFront();
    EXPECT_EQ(controls->movie(), b->movie());
    b->close();
    docs.clear();
    EXPECT_EQ(controls->movie(), nullptr);
    EXPECT_FALSE(controls->gainControlSlider()->isEnabled());
}

TEST_F(AVControlsTest, HidesForAFullScreenPresentationOnItsScreenAndComesBack)
{
    struct Case {
        const char* name;
        HXPoint origin;
        bool hides;
    };
    const Case cases[] = {
        { "on the presenting screen", { 300, 200 }, true },
        { "on another screen", { 1500, 200 }, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = open(MovieFixture::H264AacMov);
        if (!doc)
            GTEST_SKIP();
        if (!controls->isVisible())
            controls->toggleAVControlsVisibility();
        controls->avControlsPanel()->setFrameOrigin(c.origin);
        doc->enterFullScreenWithSettings(std::nullopt);
        ASSERT_TRUE(doc->isFullScreen());
        EXPECT_EQ(controls->isVisible(), !c.hides);
        EXPECT_EQ(controls->hidAVControls(), c.hides);
        doc->exitFullScreen();
        EXPECT_TRUE(controls->isVisible());
        EXPECT_FALSE(controls->hidAVControls());
        EXPECT_EQ(controls->movie(), doc->movie());
        EXPECT_EQ(controls->avControlsPanel()->frame().origin, c.origin);
        doc->close();
        docs.clear();
    }
}

TEST_F(AVControlsTest, QuittingNotesWhetherThePanelShowed)
{
    auto& defaults = HXUserDefaults::standardUserDefaults();
    for (bool shown : { true, false }) {
        if (controls->isVisible() != shown)
            controls->toggleAVControlsVisibility();
        HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationWillTerminateNotification);
        EXPECT_EQ(defaults.boolForKey(MVPAVControlsShowPanelDefault), shown);
    }
}

} // namespace
