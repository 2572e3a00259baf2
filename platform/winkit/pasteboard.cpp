#include "platform/winkit/pasteboard.h"

#include "platform/winkit/application.h"

#include <algorithm>
#include <atomic>

namespace {

std::map<std::string, std::shared_ptr<HXPasteboard>>& named()
{
    static std::map<std::string, std::shared_ptr<HXPasteboard>> boards;
    return boards;
}

// The desktop's clipboard, when the backend has one, backs the general pasteboard's text.
HXWindowServer* clipboardServer(const HXPasteboard& board)
{
    if (board.name() != HXGeneralPboard || !HXApplication::hasSharedApplication())
        return nullptr;
    auto& server = HXApplication::sharedApplication()->windowServer();
    return server.isHeadless() ? nullptr : &server;
}

}  // namespace

std::shared_ptr<HXPasteboard> HXPasteboard::generalPasteboard() { return pasteboardWithName(HXGeneralPboard); }

std::shared_ptr<HXPasteboard> HXPasteboard::pasteboardWithName(const std::string& name)
{
    auto& board = named()[name];
    if (!board)
        board = std::make_shared<HXPasteboard>(name);
    return board;
}

std::shared_ptr<HXPasteboard> HXPasteboard::pasteboardWithUniqueName()
{
    static std::atomic<int> counter { 0 };
    return std::make_shared<HXPasteboard>("HXUniquePboard-" + std::to_string(++counter));
}

HXPasteboard::HXPasteboard(std::string name)
    : _name(std::move(name))
{
}

long HXPasteboard::declareTypes(const std::vector<std::string>& types, const std::shared_ptr<HXPasteboardOwner>& owner)
{
    auto previous = _owner.lock();
    _types.clear();
    _values.clear();
    _owner = owner;
    ++_changeCount;
    if (previous && previous != owner)
        previous->pasteboardChangedOwner(*this);
    return addTypes(types, owner);
}

long HXPasteboard::addTypes(const std::vector<std::string>& types, const std::shared_ptr<HXPasteboardOwner>& owner)
{
    for (auto& t : types) {
        if (std::find(_types.begin(), _types.end(), t) == _types.end())
            _types.push_back(t);
    }
    if (owner)
        _owner = owner;
    return _changeCount;
}

long HXPasteboard::clearContents() { return declareTypes({}, nullptr); }

std::string HXPasteboard::availableTypeFromArray(const std::vector<std::string>& types) const
{
    for (auto& t : types) {
        if (std::find(_types.begin(), _types.end(), t) != _types.end())
            return t;
    }
    return {};
}

bool HXPasteboard::setPropertyList(const HXPropertyList& plist, const std::string& type)
{
    if (type.empty())
        return false;
    if (std::find(_types.begin(), _types.end(), type) == _types.end())
        _types.push_back(type);
    _values[type] = plist;
    if (type == HXStringPboardType) {
        if (auto* server = clipboardServer(*this))
            server->setClipboardText(plist.stringValue());
    }
    return true;
}

bool HXPasteboard::setData(const HXData& data, const std::string& type) { return setPropertyList(HXPropertyList(data), type); }

bool HXPasteboard::setString(const std::string& string, const std::string& type)
{
    return setPropertyList(HXPropertyList(string), type);
}

void HXPasteboard::provide(const std::string& type)
{
    if (_values.count(type) || std::find(_types.begin(), _types.end(), type) == _types.end())
        return;
    if (auto owner = _owner.lock())
        owner->pasteboardProvideDataForType(*this, type);
}

std::optional<HXPropertyList> HXPasteboard::propertyListForType(const std::string& type)
{
    if (type == HXStringPboardType) {
        if (auto* server = clipboardServer(*this)) {
            auto text = server->clipboardText();
            if (text && (!_values.count(type) || _values[type].stringValue() != *text)) {
                // Someone else copied text: it replaces what we had.
                declareTypes({ HXStringPboardType }, nullptr);
                _values[type] = HXPropertyList(*text);
            }
        }
    }
    provide(type);
    auto it = _values.find(type);
    if (it == _values.end())
        return std::nullopt;
    return it->second;
}

std::optional<HXData> HXPasteboard::dataForType(const std::string& type)
{
    auto value = propertyListForType(type);
    if (!value)
        return std::nullopt;
    if (value->isData())
        return value->dataValue();
    if (value->isString())
        return HXData(value->stringValue());
    return HXData(value->toXML());
}

std::optional<std::string> HXPasteboard::stringForType(const std::string& type)
{
    auto value = propertyListForType(type);
    if (!value)
        return std::nullopt;
    if (value->isString())
        return value->stringValue();
    if (value->isData())
        return std::string(value->dataValue().view());
    return std::nullopt;
}

bool HXPasteboard::setFileNames(const std::vector<std::string>& paths)
{
    HXPropertyList::Array array;
    for (auto& p : paths)
        array.emplace_back(p);
    return setPropertyList(HXPropertyList(array), HXFilenamesPboardType);
}

std::vector<std::string> HXPasteboard::fileNames()
{
    std::vector<std::string> paths;
    auto value = propertyListForType(HXFilenamesPboardType);
    if (!value || !value->isArray())
        return paths;
    for (auto& p : value->arrayValue()) {
        if (p.isString())
            paths.push_back(p.stringValue());
    }
    return paths;
}
