#include "core/string_format_additions.h"

#include "platform/basekit/strings.h"

namespace HXString_MVFormatAdditions {

namespace {

// The text being built, as pieces that remember whether they came from the format or from an
// argument; only format pieces are searched for placeholders.
struct Piece {
    std::string text;
    bool fromFormat;
};

bool replaceFirst(std::vector<Piece>& pieces, const std::string& placeholder, const std::string& replacement)
{
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (!pieces[p].fromFormat)
            continue;
        size_t at = pieces[p].text.find(placeholder);
        if (at == std::string::npos)
            continue;
        std::string before = pieces[p].text.substr(0, at);
        std::string after = pieces[p].text.substr(at + placeholder.size());
        pieces[p] = { std::move(before), true };
        pieces.insert(pieces.begin() + std::ptrdiff_t(p) + 1, { replacement, false });
        pieces.insert(pieces.begin() + std::ptrdiff_t(p) + 2, { std::move(after), true });
        return true;
    }
    return false;
}

} // namespace

std::string stringWithOrderedFormat(std::string_view format, const std::vector<HXPropertyList>& arguments)
{
    std::vector<Piece> pieces { { std::string(format), true } };
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string placeholder = "{%" + std::to_string(i) + "}";
        if (!replaceFirst(pieces, placeholder, HXString::description(arguments[i])))
            break;
    }
    std::string result;
    for (const Piece& piece : pieces)
        result += piece.text;
    return result;
}

} // namespace HXString_MVFormatAdditions
