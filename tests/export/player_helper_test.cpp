// MVPlayerHelper, the real worker, refusing what it cannot do: every refusal ends the job "errored" with
// an error code and a message the processing window can show.
#include "job_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>

using namespace movara::test;
using namespace movara::test::jobs;

namespace {

TEST(PlayerHelper, RefusesJobsItCannotPerform)
{
    TempDir temp;
    struct Case {
        const char* name;
        HXPropertyList::Dictionary params;
        int64_t errorCode; // 0: the media layer's own (non-zero) code
        const char* messagePart;
    };
    const Case cases[] = {
        { "unknown kind", { { "MVExpType", "Transcode" } }, -4, "\"Transcode\"" },
        { "export without a movie", { { "MVExpType", "Export" } }, -50, "MVExpMovieIn" },
        { "export with an unknown exporter",
            { { "MVExpType", "Export" }, { "MVExpMovieIn", HXData(std::string("moov")) },
                { "MVExpNameOut", "/tmp/x.mp4" }, { "MVExpComponentSubType", 1 } },
            -50, "No exporter" },
        { "export session without one", { { "MVExpType", "ExportSession" } }, -50, "MVExportSession" },
        { "export session unreadable",
            { { "MVExpType", "ExportSession" }, { "MVExportSession", HXData(std::string("junk")) } }, -50,
            "cannot be read" },
        { "unknown publish step", { { "MVPublishStep", "PublishFax" } }, -4, "PublishFax" },
        { "podcast without a program", { { "MVPublishStep", "PublishPodcast" } }, -50, "CmdLinePath" },
        { "mail without a script", { { "MVPublishStep", "PublishZantrelScript" } }, -50,
            "PublishZantrelScriptScript" },
        { "mail with a relative attachment",
            { { "MVPublishStep", "PublishZantrelScript" }, { "PublishZantrelScriptScript", "exit 0" },
                { "MVExpNameOut", "/tmp/x.mov" }, { "MVPublishAttachment", "x.mov" } },
            -50, "MVPublishAttachment" },
        { "no kind", { { "description", "what?" } }, -50, "MVExpType" },
        { "flatten without a movie", { { "MVExpType", "Flatten" }, { "MVExpNameOut", "/tmp/x.mov" } }, -50,
            "MVExpMovieIn" },
        { "flatten to a relative path",
            { { "MVExpType", "Flatten" }, { "MVExpMovieIn", HXData(std::string("moov")) },
                { "MVExpNameOut", "x.mov" } },
            -50, "MVExpNameOut" },
        { "flatten of a damaged movie",
            { { "MVExpType", "Flatten" },
                { "MVExpMovieIn", HXData(std::string("\0\0\x01\0moov\0\0\0\x6cmvhd", 16)) },
                { "MVExpNameOut", (temp / "never-written.mov").string() } },
            0, "cannot be read" },
    };
    JobManager manager(INT_MAX, helperProgram);
    auto delegate = std::make_shared<RecordingDelegate>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto job = manager.newJobWithParams(c.params, delegate);
        manager.startJob(job, false);
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
        EXPECT_EQ(job->state(), JobState::Errored);
        if (c.errorCode)
            EXPECT_EQ(job->errorCode(), c.errorCode);
        else
            EXPECT_NE(job->errorCode(), 0);
        EXPECT_NE(job->errorMessage().find(c.messagePart), std::string::npos) << job->errorMessage();
        EXPECT_EQ(job->exitCode(), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "never-written.mov"));
}

TEST(PlayerHelper, RefusesToRunWithoutThePlayer)
{
    struct Case {
        std::vector<std::string> argv;
    };
    const Case cases[] = {
        { { helperProgram } },
        { { helperProgram, "notaport" } },
        { { helperProgram, "70000" } },
        // A port but no secret: it was not started by the player.
        { { helperProgram, "1" } },
    };
    for (const auto& c : cases) {
        auto result = runCommand(c.argv);
        EXPECT_EQ(result.status, 2);
    }
}

} // namespace
