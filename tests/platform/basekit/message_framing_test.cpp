#include "platform/basekit/message_framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string header(uint32_t length)
{
    return { char(length >> 24), char((length >> 16) & 0xFF), char((length >> 8) & 0xFF),
        char(length & 0xFF) };
}

std::vector<std::string> drainPayloads(HXMessageFraming& decoder)
{
    std::vector<std::string> out;
    while (auto p = decoder.nextPayload())
        out.push_back(*p);
    return out;
}

TEST(MessageFramingTest, FrameIsABigEndianLengthThenThePayload)
{
    EXPECT_EQ(HXMessageFraming::frame(""), std::string("\0\0\0\0", 4));
    EXPECT_EQ(HXMessageFraming::frame("abc"), std::string("\0\0\0\3abc", 7));
    std::string big(0x0102 + 0x030000, 'x');
    EXPECT_EQ(HXMessageFraming::frame(big).substr(0, 4), std::string("\0\x03\x01\x02", 4));
}

TEST(MessageFramingTest, DecoderYieldsWholePayloadsWhateverTheChunking)
{
    const std::vector<std::string> payloads = { "first", "", std::string(70000, 'b'), "last" };
    std::string stream;
    for (const auto& p : payloads)
        stream += HXMessageFraming::frame(p);
    for (size_t chunk : { stream.size(), size_t(1), size_t(3), size_t(4), size_t(5), size_t(4096) }) {
        SCOPED_TRACE(chunk);
        HXMessageFraming decoder(HXMessageFraming::defaultMaximumFrameSize, false);
        std::vector<std::string> got;
        for (size_t offset = 0; offset < stream.size(); offset += chunk) {
            ASSERT_TRUE(decoder.feed(std::string_view(stream).substr(offset, chunk)));
            for (auto& p : drainPayloads(decoder))
                got.push_back(p);
        }
        EXPECT_EQ(got, payloads);
        EXPECT_EQ(decoder.bufferedSize(), 0u);
        EXPECT_TRUE(decoder.finish());
    }
}

TEST(MessageFramingTest, PartialFrameIsHeldUntilComplete)
{
    HXMessageFraming decoder(1024, false);
    std::string frame = HXMessageFraming::frame("payload");
    ASSERT_TRUE(decoder.feed(frame.substr(0, 6)));
    EXPECT_FALSE(decoder.hasMessage());
    EXPECT_EQ(decoder.bufferedSize(), 6u);
    ASSERT_TRUE(decoder.feed(frame.substr(6)));
    EXPECT_EQ(decoder.nextPayload(), "payload");
    EXPECT_FALSE(decoder.nextPayload());
}

TEST(MessageFramingTest, BadStreamsAreRefusedAndTheDecoderStaysFailed)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool atEnd; // found only when the stream ends
        size_t goodBefore;
    };
    std::string good = HXMessageFraming::encode(
        HXPropertyList::Dictionary { { "status", HXPropertyList("ExportState") } });
    const Case cases[] = {
        { "length above the limit", header(1025), false, 0 },
        { "length far above the limit", header(0xFFFFFFFF) + "xx", false, 0 },
        { "oversized after a good frame", good + header(4096), false, 1 },
        { "not a property list", HXMessageFraming::frame("GET / HTTP/1.0\r\n\r\n"), false, 0 },
        { "empty payload", HXMessageFraming::frame(""), false, 0 },
        { "truncated property list", HXMessageFraming::frame(good.substr(4, good.size() - 20)), false, 0 },
        { "stream ends inside the length", good + std::string("\0\0", 2), true, 1 },
        { "stream ends inside the payload", good.substr(0, 30), true, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXMessageFraming decoder(1024);
        bool fed = decoder.feed(c.bytes);
        EXPECT_EQ(fed, c.atEnd);
        if (c.atEnd) {
            EXPECT_FALSE(decoder.finish());
        }
        EXPECT_TRUE(decoder.hasFailed());
        EXPECT_EQ(decoder.error().domain(), HXBaseKitErrorDomain);
        EXPECT_EQ(decoder.error().code(), HXMessageFrameError);
        EXPECT_FALSE(decoder.error().localizedDescription().empty());
        // Messages decoded before the fault stay valid; nothing after it is read.
        EXPECT_EQ(decoder.messageCount(), c.goodBefore);
        EXPECT_FALSE(decoder.feed(good));
        EXPECT_FALSE(decoder.finish());
        EXPECT_EQ(decoder.messageCount(), c.goodBefore);
    }
}

TEST(MessageFramingTest, OversizedLengthIsRefusedBeforeItsBodyArrives)
{
    HXMessageFraming decoder;
    EXPECT_EQ(decoder.maximumFrameSize(), 16u * 1024 * 1024);
    EXPECT_FALSE(decoder.feed(header(16 * 1024 * 1024 + 1)));
    EXPECT_EQ(decoder.bufferedSize(), 0u);
}

TEST(MessageFramingTest, FrameOfExactlyTheLimitIsAccepted)
{
    HXMessageFraming decoder(16, false);
    EXPECT_TRUE(decoder.feed(HXMessageFraming::frame(std::string(16, 'x'))));
    EXPECT_EQ(decoder.nextPayload(), std::string(16, 'x'));
    decoder.setMaximumFrameSize(8);
    EXPECT_FALSE(decoder.feed(HXMessageFraming::frame(std::string(9, 'x'))));
}

TEST(MessageFramingTest, PropertyListMessagesRoundTrip)
{
    HXPropertyList::Dictionary params {
        { "MVExpType", HXPropertyList("Flatten") },
        { "MVExpNameOut", HXPropertyList("/tmp/Movie \xC3\xA9t\xC3\xA9.mov") },
        { "MVExpMovieIn", HXPropertyList(HXData(std::string("\0\x01\xFFmoov", 7))) },
        { "MVExpNameOutTemporary", HXPropertyList(true) },
        { "progress", HXPropertyList(0.25) },
        { "operation", HXPropertyList(13) },
        { "list", HXPropertyList(HXPropertyList::Array { HXPropertyList(1), HXPropertyList("two") }) },
    };
    std::string stream = HXMessageFraming::encode(params)
        + HXMessageFraming::encode(HXPropertyList::Dictionary { { "Cancel", HXPropertyList(true) } });
    EXPECT_EQ(stream.compare(4, 5, "<?xml"), 0);
    HXMessageFraming decoder;
    for (char c : stream)
        ASSERT_TRUE(decoder.feed(std::string_view(&c, 1)));
    auto first = decoder.nextMessage();
    auto second = decoder.nextMessage();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, HXPropertyList(params));
    EXPECT_TRUE((*second)["Cancel"].boolValue());
    EXPECT_FALSE(decoder.nextMessage());
}

} // namespace
