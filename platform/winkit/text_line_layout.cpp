#include "platform/winkit/text_line_layout.h"

namespace winkit {

namespace {

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

size_t nextBoundary(const std::string& s, size_t i)
{
    ++i;
    while (i < s.size() && isContinuationByte(s[i]))
        ++i;
    return i;
}

// Wraps the paragraph [start, end) into `lines`.
void wrapParagraph(const std::string& s, size_t start, size_t end, double width, const TextMeasure& measure,
    std::vector<TextLine>& lines)
{
    auto fits = [&](size_t from, size_t to) {
        return measure(std::string_view(s).substr(from, to - from)) <= width;
    };
    size_t pos = start;
    while (pos < end && nextBoundary(s, pos) < end && !fits(pos, end)) {
        // The last break (after a run of spaces) whose words, without the spaces, fit.
        size_t breakAt = 0;
        for (size_t i = pos; i < end; ++i) {
            if (s[i] != ' ')
                continue;
            size_t wordEnd = i;
            while (i + 1 < end && s[i + 1] == ' ')
                ++i;
            if (wordEnd > pos && !fits(pos, wordEnd))
                break;
            if (i + 1 < end)
                breakAt = i + 1;
        }
        if (breakAt == 0) {
            // A word longer than the width: break inside it, keeping at least one character per line.
            breakAt = nextBoundary(s, pos);
            for (size_t next = nextBoundary(s, breakAt); breakAt < end && next <= end && fits(pos, next);
                 next = nextBoundary(s, next))
                breakAt = next;
        }
        lines.push_back({ { pos, breakAt - pos }, true });
        pos = breakAt;
    }
    lines.push_back({ { pos, end - pos }, false });
}

} // namespace

std::vector<TextLine> layOutTextLines(const std::string& text, double width, const TextMeasure& measure)
{
    std::vector<TextLine> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (width > 0 && measure)
            wrapParagraph(text, start, end, width, measure, lines);
        else
            lines.push_back({ { start, end - start }, false });
        if (nl == std::string::npos)
            return lines;
        start = nl + 1;
    }
}

size_t lineIndexForCharacter(const std::vector<TextLine>& lines, size_t index)
{
    size_t line = 0;
    for (size_t i = 1; i < lines.size() && lines[i].range.location <= index; ++i)
        line = i;
    return line;
}

} // namespace winkit
