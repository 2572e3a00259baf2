// Movie files whose tables claim more than the file holds, opened in the real program by a script: each is
// refused, or opens and plays what it has, without the player growing by what the file claims. A sample
// larger than the whole file is impossible: that movie is refused as damaged, at once.
#include "player_user.h"

#include "core/movie_error.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace movara::apptest;
namespace fs = std::filesystem;

// The peak resident size of `pid` so far, in bytes.
uint64_t peakResidentBytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    return 0;
}

void put32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = char(value >> (24 - 8 * i));
}

void put16(std::string& bytes, size_t at, uint16_t value)
{
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value);
}

// Where the atom of `type` starts (its size field); the fixture has one of each.
size_t atom(const std::string& bytes, const char* type)
{
    size_t at = bytes.find(type);
    EXPECT_NE(at, std::string::npos) << type;
    return at == std::string::npos ? 0 : at - 4;
}

std::optional<HXPropertyList> script(const Dict& request, double timeout)
{
    Dict r = request;
    r[MVPRequestCommandKey] = HXPropertyList("script");
    return MVPRequestServer::sendRequest(HXPropertyList(std::move(r)), timeout);
}

TEST(HostileMoviesAppTest, ClaimsBeyondTheFileAreRefusedOrPlayWhatItHoldsWithoutTheMemoryTheyClaim)
{
    struct Case {
        const char* name;
        std::function<void(std::string&)> damage;
        bool refused = false; // as damaged; else it may open
    };
    const Case cases[] = {
        // First, what opening and playing an undamaged movie costs on this machine (decoder threads, the
        // sanitizer's quarantine): the damaged ones may cost that, not what they claim.
        { "the undamaged movie", [](std::string&) {} },
        { "the first sample claims 4 GB", [](std::string& b) { put32(b, atom(b, "stsz") + 20, 0xF0000000u); },
            true },
        { "every sample claims 1 GB", [](std::string& b) { put32(b, atom(b, "stsz") + 12, 0x40000000u); },
            true },
        { "the last sample claims twice the file",
            [](std::string& b) {
                size_t stsz = atom(b, "stsz");
                uint32_t count = uint32_t(uint8_t(b[stsz + 16])) << 24 | uint32_t(uint8_t(b[stsz + 17])) << 16
                    | uint32_t(uint8_t(b[stsz + 18])) << 8 | uint32_t(uint8_t(b[stsz + 19]));
                put32(b, stsz + 20 + 4 * (count - 1), uint32_t(b.size() * 2));
            },
            true },
        { "two billion sample sizes in a table of four",
            [](std::string& b) { put32(b, atom(b, "stsz") + 16, 0x7FFFFFFFu); } },
        { "two billion samples of one duration",
            [](std::string& b) { put32(b, atom(b, "stts") + 16, 0x7FFFFFFFu); } },
        { "a billion chunk offsets", [](std::string& b) { put32(b, atom(b, "stco") + 12, 0x40000000u); } },
        { "a billion sample-to-chunk entries",
            [](std::string& b) { put32(b, atom(b, "stsc") + 12, 0x40000000u); } },
        { "a header longer than the file", [](std::string& b) { put32(b, atom(b, "moov"), 0x7FFFFFF0u); } },
        { "a track longer than its header", [](std::string& b) { put32(b, atom(b, "trak"), 0x7FFFFFF0u); } },
        { "a picture of 65535 by 65535",
            [](std::string& b) {
                size_t tkhd = atom(b, "tkhd");
                uint32_t size = uint32_t(uint8_t(b[tkhd])) << 24 | uint32_t(uint8_t(b[tkhd + 1])) << 16
                    | uint32_t(uint8_t(b[tkhd + 2])) << 8 | uint32_t(uint8_t(b[tkhd + 3]));
                put32(b, tkhd + size - 8, 0xFFFF0000u);
                put32(b, tkhd + size - 4, 0xFFFF0000u);
                size_t entry = atom(b, "avc1");
                put16(b, entry + 32, 0xFFFF);
                put16(b, entry + 34, 0xFFFF);
            } },
    };
    movara::test::TempDir folder;
    auto good = folder / "good.mov";
    makeTestMovie(good);
    const std::string original = movara::test::readFile(good);
    std::optional<uint64_t> undamagedGrowth;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = folder / (std::string(c.name) + ".mov");
        std::string bytes = original;
        c.damage(bytes);
        movara::test::writeFile(path, bytes);

        PlayerUser user;
        pid_t pid = user.start({ "--no-featured-movie" });
        user.documentsOnceRunning();
        uint64_t before = peakResidentBytes(pid);
        ASSERT_GT(before, 0u);

        auto begin = std::chrono::steady_clock::now();
        auto opened = script({ { "event", HXPropertyList("open") },
                                 { "direct", HXPropertyList(Array { HXPropertyList(path.string()) }) } },
            10);
        ASSERT_TRUE(opened) << "no answer to the open";
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
        if (c.refused) {
            // The script hears why at once, as the alert would have said it; no window opens.
            EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
            ASSERT_TRUE(opened->contains(MVPRequestErrorKey)) << "opened";
            EXPECT_EQ((*opened)["errorNumber"].integerValue(), MVPMovieErrorCouldNotOpenMovie);
            EXPECT_NE((*opened)[MVPRequestErrorKey].stringValue().find("damaged"), std::string::npos)
                << (*opened)[MVPRequestErrorKey].stringValue();
        }
        if (!opened->contains(MVPRequestErrorKey)) {
            // Opened: it plays, steps and shows its frames without reading what the file does not hold.
            Dict movie { { "form", HXPropertyList("index") }, { "key", HXPropertyList("movies") },
                { "value", HXPropertyList(int64_t(0)) } };
            for (const char* event : { "play", "stepForward", "stepForward", "stepBackward", "stop" })
                EXPECT_TRUE(
                    script({ { "event", HXPropertyList(event) }, { "target", HXPropertyList(movie) } }, 10))
                    << event;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        } else {
            EXPECT_NE((*opened)["errorNumber"].integerValue(), 0);
        }
        // Still answering, and not grown by what the file claims.
        EXPECT_EQ(user.documentsOnceRunning().size(), opened->contains(MVPRequestErrorKey) ? 0u : 1u);
        uint64_t growth = peakResidentBytes(pid) - before;
        if (!undamagedGrowth)
            undamagedGrowth = growth;
        EXPECT_LT(growth, *undamagedGrowth + (uint64_t(64) << 20))
            << growth / (1 << 20) << " MB more, where the undamaged movie took " << *undamagedGrowth / (1 << 20);
        // The player warns that the movie may not play smoothly, and the quit asks about saving a movie
        // that lost samples on the way in: answered as a user would.
        ASSERT_TRUE(user.request("quit"));
        int status = -1;
        for (int i = 0; i < 300 && status == -1; ++i) {
            for (const char* button : { "Continue", "Don't Save" })
                user.request("answerAlert", { { "button", HXPropertyList(button) } });
            status = user.waitForExit(pid, 0.1);
        }
        EXPECT_EQ(status, 0);
    }
}

} // namespace
