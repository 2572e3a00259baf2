#pragma once
// Lines of plain text for the text view: hard lines end at a line break; when a width is given, a line
// longer than it is wrapped after the last space that fits (or, in a word too long for the width, after
// the last character that fits). Ranges are byte ranges of the UTF-8 text.
#include "platform/basekit/strings.h"

#include <functional>
#include <string>
#include <vector>

namespace winkit {

struct TextLine {
    // The characters on the line: without its line break; with the spaces at a soft break, which hang
    // past the width.
    HXRange range;
    // The line was wrapped: the next line goes on with the same paragraph, and an index at its end
    // belongs to the next line (the caret shows at the start of that one).
    bool soft = false;

    size_t end() const { return range.location + range.length; }
    bool operator==(const TextLine&) const = default;
};

// The width of a piece of the text.
using TextMeasure = std::function<double(std::string_view)>;

// The lines of `text`; without wrapping when `width` <= 0. Always at least one line.
std::vector<TextLine> layOutTextLines(const std::string& text, double width, const TextMeasure& measure);

// The line that shows `index`.
size_t lineIndexForCharacter(const std::vector<TextLine>& lines, size_t index);

} // namespace winkit
