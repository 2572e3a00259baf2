// Drop-frame time code checked against libavutil's time-code conversion: for every frame of a day, our
// label of the frame number is the one libavutil makes, and the label reads back to the same frame.
#include "document/time_code.h"

extern "C" {
#include <libavutil/timecode.h>
}

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct Rate {
    const char* name;
    AVRational rate;
    uint8_t framesPerSecond;
};

void PrintTo(const Rate& rate, std::ostream* os)
{
    *os << rate.name << " fps";
}

class DropFramePeerTest : public ::testing::TestWithParam<Rate> { };

TEST_P(DropFramePeerTest, EveryFrameOfADayMatches)
{
    const Rate& r = GetParam();
    AVTimecode peer {};
    ASSERT_EQ(av_timecode_init(&peer, r.rate, AV_TIMECODE_FLAG_DROPFRAME, 0, nullptr), 0);

    MVTimeCodeDefinition definition { MVTimeCodeDropFrameFlag, r.rate.num, r.rate.den, r.framesPerSecond };
    // 24 hours of drop-frame frames: 144 ten-minute blocks, each short of 9 × the dropped count.
    const int drop = r.framesPerSecond / 15;
    const int64_t frames = 24 * 6 * (10 * 60 * int64_t(r.framesPerSecond) - 9 * drop);
    char text[AV_TIMECODE_STR_SIZE];
    int64_t mismatches = 0;
    MVTimeCode code(definition);
    for (int64_t n = 0; n < frames; ++n) {
        code.setSampleNumber(n);
        std::string ours = code.stringValue();
        av_timecode_make_string(&peer, text, int(n));
        int64_t back = MVTimeCode::sampleNumberForLabel(
            definition, code.hours(), code.minutes(), code.seconds(), code.frames());
        if (ours != text || back != n) {
            // Report the first few only; a systematic fault would flood the log.
            if (++mismatches <= 5)
                ADD_FAILURE() << r.name << " frame " << n << ": ours " << ours << ", libavutil " << text
                              << ", read back " << back;
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The last frame of the day is the last label before midnight.
    code.setSampleNumber(frames - 1);
    EXPECT_EQ(code.stringValue(), r.framesPerSecond == 30 ? "23:59:59;29" : "23:59:59;59");
}

INSTANTIATE_TEST_SUITE_P(Rates, DropFramePeerTest,
    ::testing::Values(Rate { "29.97", { 30000, 1001 }, 30 }, Rate { "59.94", { 60000, 1001 }, 60 }),
    [](const auto& info) {
        return info.param.framesPerSecond == 30 ? std::string("fps29_97") : std::string("fps59_94");
    });

} // namespace
