#pragma once
// HXMessageFraming: messages between processes as frames. A frame is a 4-byte big-endian length followed by
// that many bytes of an XML property list; there is no other header and no terminator.
//
// An instance is an incremental decoder: feed it bytes in chunks of any size and take whole messages out.
// A length above the maximum frame size, a payload that is no property list, or (at the end of the stream)
// an unfinished frame is an HXMessageFrameError; after an error the decoder stays failed and ignores input.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

class HXMessageFraming {
public:
    static constexpr size_t defaultMaximumFrameSize = 16u * 1024u * 1024u;
    static constexpr size_t headerSize = 4;

    // A frame holding `message` as XML.
    static std::string encode(const HXPropertyList& message);
    // A frame holding `payload` as it is.
    static std::string frame(std::string_view payload);

    // `parsesPropertyLists` false makes the decoder hand out raw payloads only (nextPayload).
    explicit HXMessageFraming(
        size_t maximumFrameSize = defaultMaximumFrameSize, bool parsesPropertyLists = true);

    void setMaximumFrameSize(size_t size) { _maximumFrameSize = size; }
    size_t maximumFrameSize() const { return _maximumFrameSize; }

    // Adds bytes; false once the decoder has failed.
    bool feed(std::string_view bytes);
    // The end of the stream: an error when part of a frame is still buffered.
    bool finish();

    bool hasMessage() const { return !_ready.empty(); }
    size_t messageCount() const { return _ready.size(); }
    // The next whole message (property-list mode), or nullopt.
    std::optional<HXPropertyList> nextMessage();
    // The next whole payload, unparsed, or nullopt.
    std::optional<std::string> nextPayload();

    bool hasFailed() const { return _failed; }
    const HXError& error() const { return _error; }
    // Bytes of an unfinished frame held back (0 between frames).
    size_t bufferedSize() const { return _buffer.size() - _offset; }

private:
    void failWith(const std::string& reason);

    struct Item {
        std::string payload;
        HXPropertyList message;
    };

    size_t _maximumFrameSize;
    bool _parsesPropertyLists;
    std::string _buffer;
    size_t _offset = 0;
    std::deque<Item> _ready;
    bool _failed = false;
    HXError _error;
};
