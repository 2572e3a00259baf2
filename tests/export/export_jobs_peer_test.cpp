// Export jobs in the real worker: a queued export session makes the file it names; a canceled export
// stops and leaves nothing behind, not even its partial file.
#include "job_test_support.h"
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "export/document_export.h"
#include "platform/mvkit/export/export_session.h"
#include "platform/mvkit/movie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> folderContents(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ExportJobsPeer, QueuedSessionWritesItsFileAndCancelLeavesNothing)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir temp;
    auto source = temp / "source.mov";
    ASSERT_TRUE(movie::makeMovie(source, 4));
    HXError error;
    auto movie = MVMovie::movieWithFile(source.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto out = temp / "out";
    fs::create_directory(out);

    auto session = MVExportSession::create(movie);
    session->setExporter(MVExporter::exporterOfKind(MVExporterKind::MPEG4));
    session->setTargetPath((out / "whole.mp4").string());
    auto job = MVPDocumentExport::exportSessionJob(*session);
    ASSERT_TRUE(job);

    JobManager manager(INT_MAX, helperProgram);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto done = manager.newJobWithParams(*job, delegate);
    manager.startJob(done, false);
    ASSERT_TRUE(runUntil([&] { return isFinal(done); }, 60));
    ASSERT_EQ(done->state(), JobState::Complete) << done->errorMessage();
    auto streams = movie::probeStreams(out / "whole.mp4");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].codec, "h264");
    EXPECT_EQ(streams[0].frames, 40);

    // Canceled once it reports progress.
    session->setTargetPath((out / "stopped.mp4").string());
    auto stopped = manager.newJobWithParams(*MVPDocumentExport::exportSessionJob(*session), delegate);
    bool canceled = false;
    delegate->onEvent = [&](const std::string& event, const std::shared_ptr<Job>& j) {
        if (j == stopped && event == "message" && !canceled
            && delegate->messages.back().contains("progress")) {
            canceled = true;
            manager.cancelJob(stopped);
        }
    };
    manager.startJob(stopped, false);
    ASSERT_TRUE(runUntil([&] { return isFinal(stopped); }, 60));
    EXPECT_EQ(stopped->state(), JobState::Canceled);
    EXPECT_EQ(folderContents(out), std::vector<std::string> { "whole.mp4" });
}

} // namespace
