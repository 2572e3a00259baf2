// The presentation times the import gives H.264 and HEVC pictures that come with decode times only.
#include "platform/mvkit/import/picture_order.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Picture {
    std::optional<int32_t> count;
    bool key = false;
};

TEST(PictureOrder, ShowsPicturesByTheirCountAfterTheDecodersDelay)
{
    struct Case {
        const char* name;
        int delay;
        std::vector<Picture> pictures; // decode times 0, 1, 2, …
        std::vector<int64_t> shown; // presentation times, in decode order
    };
    const Case cases[] = {
        { "no reordering", 0, { { 0, true }, { 2 }, { 4 } }, { 0, 1, 2 } },
        // I P B B: each picture shown one decode later, in count order; the last after the last decode.
        { "B-frames", 1, { { 0, true }, { 6 }, { 2 }, { 4 }, { 12 }, { 8 }, { 10 } },
            { 1, 4, 2, 3, 7, 5, 6 } },
        // The first picture shown too early teaches the order to hold one back from then on.
        { "a delay the stream does not declare", 0, { { 0, true }, { 6 }, { 2 }, { 4 }, { 12 }, { 8 }, { 10 } },
            { 0, 1, 3, 4, 7, 5, 6 } },
        // Counting starts again at a key picture: what was held is shown first.
        { "two runs", 1, { { 0, true }, { 4 }, { 2 }, { 0, true }, { 4 }, { 2 } }, { 1, 3, 2, 4, 6, 5 } },
        // A key picture whose count goes on (an open group) does not end the run.
        { "an open group", 1, { { 0, true }, { 4 }, { 2 }, { 8, true }, { 6 } }, { 1, 3, 2, 5, 4 } },
        // Pictures the parser could not read are shown in decode order after those before them.
        { "pictures without a count", 0, { { 0, true }, {}, {} }, { 0, 1, 2 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MVPictureOrder order(c.delay);
        std::vector<int64_t> shown;
        auto takeAll = [&] {
            while (auto time = order.take())
                shown.push_back(*time);
        };
        for (size_t i = 0; i < c.pictures.size(); ++i) {
            order.add(int64_t(i), c.pictures[i].count, c.pictures[i].key);
            takeAll();
        }
        order.finish();
        takeAll();
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(order.waiting(), 0u);
    }
}

} // namespace
