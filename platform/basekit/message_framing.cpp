#include "platform/basekit/message_framing.h"

#include <cstring>

namespace {

// Frames carry their length in 32 bits.
constexpr size_t kLargestEncodableFrame = 0xFFFFFFFFu;

} // namespace

std::string HXMessageFraming::frame(std::string_view payload)
{
    std::string out;
    if (payload.size() > kLargestEncodableFrame)
        return out;
    uint32_t length = uint32_t(payload.size());
    out.reserve(headerSize + payload.size());
    out.push_back(char((length >> 24) & 0xFF));
    out.push_back(char((length >> 16) & 0xFF));
    out.push_back(char((length >> 8) & 0xFF));
    out.push_back(char(length & 0xFF));
    out.append(payload);
    return out;
}

std::string HXMessageFraming::encode(const HXPropertyList& message)
{
    return frame(message.toXML());
}

HXMessageFraming::HXMessageFraming(size_t maximumFrameSize, bool parsesPropertyLists)
    : _maximumFrameSize(maximumFrameSize)
    , _parsesPropertyLists(parsesPropertyLists)
{
}

void HXMessageFraming::failWith(const std::string& reason)
{
    _failed = true;
    _error = HXError::withDescription(HXBaseKitErrorDomain, HXMessageFrameError, reason);
    _buffer.clear();
    _offset = 0;
}

bool HXMessageFraming::feed(std::string_view bytes)
{
    if (_failed)
        return false;
    // Drop what earlier frames consumed before the buffer grows again.
    if (_offset > 0 && (_offset == _buffer.size() || _offset > 65536)) {
        _buffer.erase(0, _offset);
        _offset = 0;
    }
    _buffer.append(bytes);
    while (_buffer.size() - _offset >= headerSize) {
        const auto* p = reinterpret_cast<const unsigned char*>(_buffer.data() + _offset);
        size_t length = (size_t(p[0]) << 24) | (size_t(p[1]) << 16) | (size_t(p[2]) << 8) | size_t(p[3]);
        // Refused on sight of the header: the body of an oversized frame is never buffered.
        if (length > _maximumFrameSize) {
            failWith("A message frame of " + std::to_string(length) + " bytes exceeds the limit of "
                + std::to_string(_maximumFrameSize) + " bytes.");
            return false;
        }
        if (_buffer.size() - _offset - headerSize < length)
            break;
        Item item;
        item.payload.assign(_buffer, _offset + headerSize, length);
        _offset += headerSize + length;
        if (_parsesPropertyLists) {
            HXError parseError;
            auto message = length == 0 ? std::nullopt : HXPropertyList::fromXML(item.payload, &parseError);
            if (!message) {
                failWith(
                    "A message frame of " + std::to_string(length) + " bytes does not hold a property list.");
                if (length > 0)
                    _error.setUnderlyingError(parseError);
                return false;
            }
            item.message = std::move(*message);
        }
        _ready.push_back(std::move(item));
    }
    if (_offset == _buffer.size()) {
        _buffer.clear();
        _offset = 0;
    }
    return true;
}

bool HXMessageFraming::finish()
{
    if (_failed)
        return false;
    size_t pending = bufferedSize();
    if (pending > 0) {
        if (pending < headerSize) {
            failWith("The stream ended inside a message frame's length (" + std::to_string(pending)
                + " of 4 bytes).");
        } else {
            const auto* p = reinterpret_cast<const unsigned char*>(_buffer.data() + _offset);
            size_t length = (size_t(p[0]) << 24) | (size_t(p[1]) << 16) | (size_t(p[2]) << 8) | size_t(p[3]);
            failWith("The stream ended inside a message frame (" + std::to_string(pending - headerSize)
                + " of " + std::to_string(length) + " bytes).");
        }
        return false;
    }
    return true;
}

std::optional<HXPropertyList> HXMessageFraming::nextMessage()
{
    if (_ready.empty())
        return std::nullopt;
    HXPropertyList message = std::move(_ready.front().message);
    _ready.pop_front();
    return message;
}

std::optional<std::string> HXMessageFraming::nextPayload()
{
    if (_ready.empty())
        return std::nullopt;
    std::string payload = std::move(_ready.front().payload);
    _ready.pop_front();
    return payload;
}
