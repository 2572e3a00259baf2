#include "player/timeline/generic_formatter.h"

#include "document/media_attributes.h"
#include "document/lcd_movie_time.h"
#include "document/time_code_media.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace {

bool isSeparator(char c)
{
    return c == ':' || c == ';';
}

// The value of the leading digits (after blanks); 0 without any. Kept far below overflow.
int64_t integerValue(const std::string& piece)
{
    size_t i = 0;
    while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t'))
        ++i;
    int64_t value = 0;
    for (; i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i])); ++i)
        value = std::min<int64_t>(value * 10 + (piece[i] - '0'), 1'000'000'000'000LL);
    return value;
}

} // namespace

GenericFormatter::GenericFormatter(int type)
{
    // The type only picks the class; nothing of it is kept.
    (void)type;
}

void GenericFormatter::setMovie(std::shared_ptr<MVMovie> movie)
{
    _movie = std::move(movie);
}

int32_t GenericFormatter::movieTimeScale() const
{
    return _movie ? _movie->timeScale() : 0;
}

double GenericFormatter::staticFrameRate() const
{
    return _movie ? MVPMediaAttributes::staticFrameRate(*_movie) : 0;
}

std::shared_ptr<MVTrack> GenericFormatter::timeCodeTrack() const
{
    return _movie ? MVTimeCodeMedia::timeCodeTrack(*_movie) : nullptr;
}

void GenericFormatter::updateTime()
{
    if (!_movie)
        return;
    // In the movie's own scale, so that the origin (a count in that scale) applies.
    MVTime now = MVTimeInScaleFloor(MVPLCDMovieCurrentTime(*_movie), _movie->timeScale());
    if (MVTimeIsIndefinite(now))
        now = MVMakeTime(0, _movie->timeScale());
    _time = addClamped(now.timeValue, _timeOrigin == std::numeric_limits<int64_t>::min() ? 0 : -_timeOrigin);
    _scale = now.timeScale;
}

std::string GenericFormatter::timeString()
{
    if (!_modified) {
        updateTime();
        if (!_modified)
            if (auto text = formatTime())
                _timeString = *text;
    }
    return _timeString;
}

std::string GenericFormatter::maxTimeString()
{
    auto savedTime = _time;
    auto savedScale = _scale;
    if (_movie) {
        _time = _movie->durationValue() - 1;
        // Measured before the first refresh too.
        if (_scale <= 0)
            _scale = _movie->timeScale();
    }
    auto text = formatTime();
    _time = savedTime;
    _scale = savedScale;
    return text.value_or(std::string());
}

int GenericFormatter::selectionMode() const
{
    if (_timeString.empty() || (_selStart == -1 && _selEnd == -1))
        return 0;
    if (_selStart == 0 && _selEnd == -1)
        return -1;
    return 1;
}

bool GenericFormatter::select(int index, bool doubleClick)
{
    if (doubleClick && selectionMode() != -1) {
        _selStart = 0;
        _selEnd = -1;
        return true;
    }
    int length = int(_timeString.size());
    if (length == 0) {
        _selStart = _selEnd = -1;
        return true;
    }
    // A click past the text counts as one on its last character.
    index = std::clamp(index, 0, length - 1);
    if (isSeparator(_timeString[size_t(index)])) {
        _selStart = _selEnd = -1;
    } else if (index + 1 < length && !isSeparator(_timeString[size_t(index) + 1])) {
        _selStart = index;
        _selEnd = index + 1;
    } else {
        _selStart = std::max(index - 1, 0);
        _selEnd = index;
    }
    return true;
}

bool GenericFormatter::moveField(int direction)
{
    if (selectionMode() != 1)
        return false;
    int start = _selStart + 3 * direction;
    int end = _selEnd + 3 * direction;
    if (start < 0 || end >= int(_timeString.size()))
        return false;
    _selStart = start;
    _selEnd = end;
    return true;
}

int GenericFormatter::selectedFieldIndex() const
{
    return (int(_timeString.size()) - _selStart) / 3;
}

int GenericFormatter::selectedFieldValue() const
{
    return int(integerValue(_timeString.substr(size_t(_selStart), size_t(_selEnd - _selStart + 1))));
}

void GenericFormatter::replaceSelectedField(int value)
{
    char field[16];
    std::snprintf(field, sizeof field, "%02i", value);
    _timeString.replace(size_t(_selStart), size_t(_selEnd - _selStart + 1), field);
}

int GenericFormatter::maxValueForField(int index) const
{
    (void)index;
    return 59;
}

bool GenericFormatter::incrementField(int step)
{
    if (selectionMode() != 1)
        return false;
    _editState = FieldEdit;
    _modified = true;
    int range = std::max(maxValueForField(selectedFieldIndex()), 0) + 1;
    int value = int((int64_t(selectedFieldValue()) + step) % range);
    if (value < 0)
        value += range;
    replaceSelectedField(value);
    return true;
}

bool GenericFormatter::doKeyDown(char key)
{
    static const std::string accepted = "1234567890.+-";
    if (key != 8 && (key == 0 || accepted.find(key) == std::string::npos))
        return false;
    if (selectionMode() == 1) {
        _editState = FieldEdit;
        _modified = true;
        int field = selectedFieldIndex();
        int value = selectedFieldValue();
        if (key == 8) {
            value /= 10;
        } else if (std::isdigit(static_cast<unsigned char>(key))) {
            value = (value * 10 + (key - '0')) % 100;
            if (field != 0 && value > maxValueForField(field))
                value %= 10;
        } else {
            return false;
        }
        replaceSelectedField(value);
        return true;
    }
    if (selectionMode() != -1 && _editState != FreeEntry)
        return false;
    if (_editState != FreeEntry) {
        _timeString.clear();
        _editState = FreeEntry;
        _selStart = _selEnd = -1;
    }
    if (key == 8) {
        if (!_timeString.empty())
            _timeString.pop_back();
    } else {
        _timeString.push_back(key);
    }
    _modified = true;
    return true;
}

void GenericFormatter::endEdit()
{
    _selStart = _selEnd = -1;
    _editState = NoEdit;
    _modified = false;
}

void GenericFormatter::applyEdit()
{
    if (_movie && _editState != NoEdit)
        if (auto time = committedTime(_timeString, _editState))
            _movie->setCurrentTime(*time);
    endEdit();
}

void GenericFormatter::cancelEdit()
{
    endEdit();
}

int64_t GenericFormatter::limitedValue(int64_t value) const
{
    if (_timeMaximum != 0 && value > _timeMaximum)
        value = _timeMaximum;
    // A time before the movie's start (a relative entry that went too far back) lands on the start.
    return std::max<int64_t>(value, 0);
}

std::optional<std::vector<int64_t>> GenericFormatter::dotParse(const std::string& string)
{
    if (string.empty())
        return std::nullopt;
    std::vector<int64_t> result;
    std::string rest = string;
    int64_t sign = 0;
    if (rest[0] == '+' || rest[0] == '-') {
        sign = rest[0] == '+' ? 1 : -1;
        rest.erase(0, 1);
    }
    result.push_back(sign);
    std::vector<int64_t> pieces;
    size_t from = 0;
    while (true) {
        size_t dot = rest.find('.', from);
        pieces.push_back(
            integerValue(rest.substr(from, dot == std::string::npos ? std::string::npos : dot - from)));
        if (dot == std::string::npos)
            break;
        from = dot + 1;
    }
    result.insert(result.end(), pieces.rbegin(), pieces.rend());
    return result;
}

std::vector<int64_t> GenericFormatter::scanIntegers(const std::string& string, size_t count)
{
    std::vector<int64_t> values;
    size_t i = 0;
    while (values.size() < count) {
        while (i < string.size() && (isSeparator(string[i]) || string[i] == ' ' || string[i] == '\t'))
            ++i;
        if (i >= string.size() || !std::isdigit(static_cast<unsigned char>(string[i])))
            break;
        size_t end = i;
        while (end < string.size() && std::isdigit(static_cast<unsigned char>(string[end])))
            ++end;
        values.push_back(integerValue(string.substr(i, end - i)));
        i = end;
    }
    values.resize(count, 0);
    return values;
}

int64_t GenericFormatter::multiplyClamped(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_mul_overflow(a, b, &r))
        return (a < 0) != (b < 0) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return r;
}

int64_t GenericFormatter::addClamped(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return r;
}

std::string GenericFormatter::stringForObjectValue(const HXPropertyList& value) const
{
    if (value.type() != HXPropertyList::Type::Integer)
        return {};
    return formatTimeAt(value.integerValue()).value_or(std::string());
}

bool GenericFormatter::getObjectValue(
    HXPropertyList& value, const std::string& string, std::string* errorDescription) const
{
    // Text with separators is read field by field, anything else as typed entry.
    bool fields = string.find_first_of(":;") != std::string::npos;
    auto time = _movie ? committedTime(string, fields ? FieldEdit : FreeEntry) : std::nullopt;
    if (!time) {
        if (errorDescription)
            *errorDescription = "The text is not a time of the movie.";
        return false;
    }
    value = HXPropertyList(MVTimeInScaleFloor(*time, _movie->timeScale()).timeValue);
    return true;
}
