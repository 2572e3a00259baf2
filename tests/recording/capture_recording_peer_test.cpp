// Real recordings from the generated stand-in devices, read back by ffprobe and opened as movies.
#include "recording_test_support.h"

#include "document/movie_document.h"
#include "recording/capture_document.h"
#include "recording/capture_session.h"
#include "recording/capture_window_controller.h"
#include "recording/compression_settings.h"
#include "platform/mvkit/atoms/four_char_code.h"

#include <filesystem>
#include <thread>

#include <sys/stat.h>
#include <sstream>

using namespace movara::test;
using namespace movara::test::recording;
namespace fs = std::filesystem;

namespace {

struct Probe {
    std::vector<std::string> codecs; // per stream, in order
    double duration = 0;
};

Probe probe(const std::string& path)
{
    auto result = runCommand({ "ffprobe", "-v", "error", "-show_entries", "stream=codec_name:format=duration", "-of",
        "default=noprint_wrappers=1", path });
    Probe p;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("codec_name=", 0) == 0)
            p.codecs.push_back(line.substr(11));
        else if (line.rfind("duration=", 0) == 0)
            p.duration = std::atof(line.c_str() + 9);
    }
    return p;
}

class CaptureRecordingPeerTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        if (!haveProgram("ffprobe"))
            GTEST_SKIP() << "ffprobe is needed";
        MVCaptureDevice::setBackend(std::make_shared<MVCaptureStandInBackend>());
    }

    void TearDown() override
    {
        closeDocuments();
        RecordingTest::TearDown();
    }

    void closeDocuments()
    {
        for (auto& doc : HXDocumentController::sharedDocumentController()->documents())
            keep.push_back(doc);
        for (auto& doc : keep)
            if (!doc->isClosed())
                doc->close();
        keep.clear();
    }

    std::shared_ptr<MVPKitCaptureWindowController> open(int32_t templateType)
    {
        recording = MVPCaptureDocument::initWithTemplateType(templateType);
        HXDocumentController::sharedDocumentController()->addDocument(recording);
        recording->makeWindowControllers();
        recording->showWindows();
        keep.push_back(recording);
        return std::dynamic_pointer_cast<MVPKitCaptureWindowController>(recording->captureWindowController());
    }

    // Records about `seconds` of the devices' time, then stops.
    void record(MVPKitCaptureWindowController& controller, double seconds)
    {
        controller.startRecording();
        ASSERT_EQ(controller.state(), MVPCaptureStateRecording);
        ASSERT_TRUE(runUntil([&] { return controller.movieFileOutput()->recordedDuration() >= seconds; }, 20));
    }

    std::shared_ptr<MVPCaptureDocument> recording;
    std::vector<std::shared_ptr<HXDocument>> keep;
};

TEST_F(CaptureRecordingPeerTest, AMovieRecordingIsAMovieOtherProgramsRead)
{
    auto controller = open(1);
    ASSERT_TRUE(controller);
    record(*controller, 1.0);
    std::string file = controller->outputFile();
    EXPECT_EQ(fs::path(file).filename(), "Movie Recording.mov");

    std::shared_ptr<MVPMovieDocument> result;
    bool answered = false;
    recording->handleStopCommand([&](std::shared_ptr<MVPMovieDocument> movie) {
        answered = true;
        result = movie;
    });
    EXPECT_EQ(controller->state(), MVPCaptureStateStopping);
    ASSERT_TRUE(runUntil([&] { return answered; }, 20));

    Probe p = probe(file);
    EXPECT_EQ(p.codecs.size(), 2u);
    EXPECT_NE(std::find(p.codecs.begin(), p.codecs.end(), "aac"), p.codecs.end());
    EXPECT_TRUE(std::find(p.codecs.begin(), p.codecs.end(), "h264") != p.codecs.end()
        || std::find(p.codecs.begin(), p.codecs.end(), "mpeg4") != p.codecs.end());
    EXPECT_GT(p.duration, 0.8);
    EXPECT_LT(p.duration, 3.0);

    // The finished file opened as a movie that answers to the recording's identifier; the recording closed.
    ASSERT_TRUE(result);
    EXPECT_EQ(result->uniqueID(), recording->uniqueID());
    EXPECT_EQ(result->fileName(), file);
    EXPECT_FALSE(result->isDocumentEdited());
    EXPECT_TRUE(recording->isClosed());
    auto& documents = HXDocumentController::sharedDocumentController()->documents();
    EXPECT_NE(std::find(documents.begin(), documents.end(), result), documents.end());
}

// A sound device that gives its first sound only after the picture has started (a sound card that opens
// late on a busy machine) still has its track in the file, which starts once both are there.
TEST_F(CaptureRecordingPeerTest, ASoundDeviceThatOpensLateIsStillRecorded)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg feeds the late sound device";
    const fs::path fifo = folder / "late-sound";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto backend = std::make_shared<TestCaptureBackend>();
    MVCaptureDeviceInfo picture = deviceInfo("test:picture", "Picture", MVMediaTypeVideo);
    picture.linkedDeviceUIDs = { "test:late-sound" };
    MVCaptureDeviceInfo sound = deviceInfo("test:late-sound", "Late Sound", MVMediaTypeSound);
    sound.inputFormat = "s16le";
    sound.url = fifo.string();
    sound.options = { { "sample_rate", "44100" }, { "ch_layout", "mono" } };
    backend->setDevices({ picture, sound });
    MVCaptureDevice::setBackend(backend);

    // The sound's device cannot open before its writer does, 0.8 s from now; it then plays in real time.
    std::thread feeder([fifo] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        runCommand({ "ffmpeg", "-nostdin", "-v", "quiet", "-re", "-f", "lavfi", "-i", "sine=duration=6", "-f",
            "s16le", "-ac", "1", "-ar", "44100", "-y", fifo.string() });
    });
    auto controller = open(1);
    ASSERT_TRUE(controller);
    record(*controller, 1.0);
    std::string file = controller->outputFile();
    controller->stopRecording();
    EXPECT_TRUE(runUntil([&] { return recording->isClosed(); }, 20));
    closeDocuments(); // the sound device's reader ends, so the feeder does too
    feeder.join();

    Probe p = probe(file);
    EXPECT_EQ(p.codecs.size(), 2u) << "picture and sound";
    EXPECT_NE(std::find(p.codecs.begin(), p.codecs.end(), "aac"), p.codecs.end());
    EXPECT_GT(p.duration, 0.8);
}

TEST_F(CaptureRecordingPeerTest, TimePausedIsLeftOutOfTheFile)
{
    auto controller = open(0);
    ASSERT_TRUE(controller);
    record(*controller, 0.6);
    controller->pauseRecording();
    runUntil([] { return false; }, 1.0); // a second of pause
    controller->resumeRecording();
    double before = controller->movieFileOutput()->recordedDuration();
    ASSERT_TRUE(runUntil([&] { return controller->movieFileOutput()->recordedDuration() >= before + 0.5; }, 20));
    std::string file = controller->outputFile();
    controller->stopRecording();
    ASSERT_TRUE(runUntil([&] { return recording->isClosed(); }, 20));

    Probe p = probe(file);
    ASSERT_EQ(p.codecs, std::vector<std::string> { "aac" }) << "a sound recording has sound only";
    EXPECT_GT(p.duration, 0.9);
    EXPECT_LT(p.duration, 1.8) << "the paused second is not recorded";
    EXPECT_GT(controller->movieFileOutput()->recordedFileSize(), 1000u);
}

} // namespace

namespace {

// A recording of the stand-in camera alone with `options` on its picture connection, about `seconds` long.
std::string recordWithOptions(const TempDir& dir, const std::string& name, const MVCaptureCompressionOptions& options,
    double seconds)
{
    auto camera = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeVideo, nullptr);
    if (!camera)
        return {};
    auto input = MVCaptureDeviceInput::deviceInputWithDevice(camera, nullptr);
    auto session = std::make_shared<MVCaptureSession>();
    auto output = std::make_shared<MVCaptureMovieFileOutput>();
    if (!input || !session->addInput(input, nullptr) || !session->addOutput(output, nullptr))
        return {};
    for (auto& connection : input->connections())
        connection->setEnabled(connection->mediaType() == MVMediaTypeVideo);
    output->defaultConnectionForMediaType(MVMediaTypeVideo)->setCompressionOptions(options);
    const std::string path = (dir / name).string();
    writeFile(path, "");
    session->startRunning();
    output->recordToOutputFileURL(path);
    runUntil([&] { return output->recordedDuration() >= seconds; }, 20);
    output->recordToOutputFileURL({});
    output->waitUntilFinished();
    session->stopRunning();
    camera->close();
    return path;
}

} // namespace

TEST_F(CaptureRecordingPeerTest, PicturesAreEncodedWithTheCodecRateAndSizeOfTheSettings)
{
    TempDir dir;
    MVCaptureCompressionOptions low;
    low.videoCodec = MVPCaptureEncoderForCodecType(MVFourCC("mp4v"));
    low.width = 80;
    low.height = 60;
    low.bitRate = 20000;
    low.keyFrameInterval = 5;
    MVCaptureCompressionOptions high = low;
    high.bitRate = 2000000;
    const std::string lowFile = recordWithOptions(dir, "low.mov", low, 1.5);
    const std::string highFile = recordWithOptions(dir, "high.mov", high, 1.5);
    ASSERT_FALSE(lowFile.empty());
    ASSERT_FALSE(highFile.empty());
    for (const auto& file : { lowFile, highFile }) {
        auto result = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
            "stream=codec_name,width,height", "-of", "csv=p=0", file });
        EXPECT_EQ(result.output, "mpeg4,80,60\n") << file;
    }
    // The same pictures at a hundred times the data rate take much more room.
    EXPECT_GT(fs::file_size(highFile), 3 * fs::file_size(lowFile));
    // A key frame at least every five pictures.
    auto frames = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "frame=key_frame",
        "-of", "csv=p=0", lowFile });
    std::istringstream lines(frames.output);
    size_t pictures = 0, sinceKey = 0, longestRun = 0;
    for (std::string line; std::getline(lines, line); ++pictures) {
        sinceKey = std::atoi(line.c_str()) == 1 ? 0 : sinceKey + 1;
        longestRun = std::max(longestRun, sinceKey);
    }
    EXPECT_GT(pictures, 10u);
    EXPECT_LE(longestRun, 4u);
}
