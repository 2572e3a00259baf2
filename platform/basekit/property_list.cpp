#include "platform/basekit/property_list.h"

#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/strings.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- Values -------------------------------------------------------------------------------------

HXDate HXDate::now()
{
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return fromUnixTime(std::chrono::duration<double>(since).count());
}

static int64_t saturatingInteger(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return std::numeric_limits<int64_t>::max();
    if (d <= -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return int64_t(d);
}

std::string HXPropertyList::stringValue() const
{
    if (auto* s = std::get_if<std::string>(&_v))
        return *s;
    return {};
}

int64_t HXPropertyList::integerValue() const
{
    switch (type()) {
    case Type::Integer:
        return std::get<int64_t>(_v);
    case Type::Real:
        return saturatingInteger(std::get<double>(_v));
    case Type::Boolean:
        return std::get<bool>(_v) ? 1 : 0;
    case Type::String:
        return HXString::longLongValue(std::get<std::string>(_v));
    default:
        return 0;
    }
}

double HXPropertyList::realValue() const
{
    switch (type()) {
    case Type::Integer:
        return double(std::get<int64_t>(_v));
    case Type::Real:
        return std::get<double>(_v);
    case Type::Boolean:
        return std::get<bool>(_v) ? 1 : 0;
    case Type::String:
        return HXString::doubleValue(std::get<std::string>(_v));
    default:
        return 0;
    }
}

bool HXPropertyList::boolValue() const
{
    switch (type()) {
    case Type::Integer:
        return std::get<int64_t>(_v) != 0;
    case Type::Real: {
        double d = std::get<double>(_v);
        return d != 0 && !std::isnan(d);
    }
    case Type::Boolean:
        return std::get<bool>(_v);
    case Type::String:
        return HXString::boolValue(std::get<std::string>(_v));
    default:
        return false;
    }
}

HXDate HXPropertyList::dateValue() const
{
    if (auto* d = std::get_if<HXDate>(&_v))
        return *d;
    return {};
}

HXData HXPropertyList::dataValue() const
{
    if (auto* d = std::get_if<HXData>(&_v))
        return *d;
    return {};
}

const HXPropertyList::Array& HXPropertyList::arrayValue() const
{
    static const Array empty;
    if (auto* a = std::get_if<Array>(&_v))
        return *a;
    return empty;
}

const HXPropertyList::Dictionary& HXPropertyList::dictionaryValue() const
{
    static const Dictionary empty;
    if (auto* d = std::get_if<Dictionary>(&_v))
        return *d;
    return empty;
}

HXPropertyList::Array& HXPropertyList::mutableArray()
{
    if (isNull())
        _v = Array();
    if (auto* a = std::get_if<Array>(&_v))
        return *a;
    // Asking a value of another type for its elements is a programming error; give a scratch array
    // rather than destroying the value.
    thread_local Array scratch;
    scratch.clear();
    return scratch;
}

HXPropertyList::Dictionary& HXPropertyList::mutableDictionary()
{
    if (isNull())
        _v = Dictionary();
    if (auto* d = std::get_if<Dictionary>(&_v))
        return *d;
    thread_local Dictionary scratch;
    scratch.clear();
    return scratch;
}

static const HXPropertyList& nullValue()
{
    static const HXPropertyList null;
    return null;
}

const HXPropertyList& HXPropertyList::operator[](const std::string& key) const
{
    if (auto* d = std::get_if<Dictionary>(&_v)) {
        auto it = d->find(key);
        if (it != d->end())
            return it->second;
    }
    return nullValue();
}

const HXPropertyList& HXPropertyList::operator[](size_t index) const
{
    if (auto* a = std::get_if<Array>(&_v); a && index < a->size())
        return (*a)[index];
    return nullValue();
}

bool HXPropertyList::contains(const std::string& key) const
{
    auto* d = std::get_if<Dictionary>(&_v);
    return d && d->count(key);
}

size_t HXPropertyList::count() const
{
    if (auto* a = std::get_if<Array>(&_v))
        return a->size();
    if (auto* d = std::get_if<Dictionary>(&_v))
        return d->size();
    return 0;
}

bool HXPropertyList::operator==(const HXPropertyList& other) const
{
    if (type() != other.type())
        return false;
    if (isReal()) {
        double a = std::get<double>(_v), b = std::get<double>(other._v);
        return a == b || (std::isnan(a) && std::isnan(b));
    }
    return _v == other._v;
}

// ---- Writing ------------------------------------------------------------------------------------

namespace {

constexpr double kUnixOffset = 978307200.0; // seconds from 1970-01-01 to 2001-01-01

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

// Dates are written to the second, within the years 1 to 9999 that readers of the form accept.
std::string formatDate(HXDate date)
{
    double unixSeconds = std::floor(date.unixTime());
    const double lowest = double(daysFromCivil(1, 1, 1)) * 86400;
    const double highest = double(daysFromCivil(9999, 12, 31)) * 86400 + 86399;
    if (std::isnan(unixSeconds))
        unixSeconds = -kUnixOffset;
    unixSeconds = std::clamp(unixSeconds, lowest, highest);
    int64_t seconds = int64_t(unixSeconds);
    int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    int64_t rest = seconds - days * 86400;
    int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<long long>(y), m,
        d, static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
        static_cast<long long>(rest % 60));
    return text;
}

// "YYYY-MM-DDTHH:MM:SS[.fraction]Z"; a shorter form (the date alone, or without seconds) is accepted.
std::optional<HXDate> parseDate(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    int fields[6] = { 0, 1, 1, 0, 0, 0 };
    const char separators[6] = { '-', '-', 'T', ':', ':', 0 };
    const int widths[6] = { 4, 2, 2, 2, 2, 2 };
    size_t pos = 0;
    int count = 0;
    for (; count < 6; ++count) {
        if (pos + widths[count] > text.size())
            return std::nullopt;
        int value = 0;
        for (int i = 0; i < widths[count]; ++i) {
            char c = text[pos + i];
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        fields[count] = value;
        pos += widths[count];
        if (pos < text.size() && count < 5 && text[pos] == separators[count]) {
            ++pos;
            continue;
        }
        ++count;
        break;
    }
    double fraction = 0;
    if (pos < text.size() && text[pos] == '.' && count == 6) {
        size_t start = pos;
        ++pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            ++pos;
        fraction = std::strtod(std::string(text.substr(start, pos - start)).c_str(), nullptr);
    }
    if (pos < text.size() && text[pos] == 'Z')
        ++pos;
    if (pos != text.size())
        return std::nullopt;
    if (fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31 || fields[3] > 23 || fields[4] > 59
        || fields[5] > 60)
        return std::nullopt;
    int64_t days = daysFromCivil(fields[0], unsigned(fields[1]), unsigned(fields[2]));
    double unixSeconds = double(days) * 86400 + fields[3] * 3600 + fields[4] * 60 + fields[5] + fraction;
    return HXDate::fromUnixTime(unixSeconds);
}

std::string formatReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    std::string s(text, result.ptr);
    // Integral values read as integers in some readers' eyes; keep them visibly real.
    if (s.find_first_of(".en") == std::string::npos)
        s += ".0";
    return s;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

class XMLWriter {
public:
    explicit XMLWriter(bool strict)
        : _strict(strict)
    {
    }

    bool write(const HXPropertyList& value, int depth)
    {
        using Type = HXPropertyList::Type;
        switch (value.type()) {
        case Type::Null:
            return true;
        case Type::String:
            line(depth, "<string>");
            return escaped(value.stringValue()) && close("</string>");
        case Type::Integer:
            line(depth, "<integer>" + std::to_string(value.integerValue()) + "</integer>\n");
            return true;
        case Type::Real:
            line(depth, "<real>" + formatReal(value.realValue()) + "</real>\n");
            return true;
        case Type::Boolean:
            line(depth, value.boolValue() ? "<true/>\n" : "<false/>\n");
            return true;
        case Type::Date:
            line(depth, "<date>" + formatDate(value.dateValue()) + "</date>\n");
            return true;
        case Type::Data:
            data(value.dataValue().view(), depth);
            return true;
        case Type::Array: {
            const auto& array = value.arrayValue();
            if (array.empty()) {
                line(depth, "<array/>\n");
                return true;
            }
            line(depth, "<array>\n");
            for (const auto& element : array)
                if (!write(element, depth + 1))
                    return false;
            line(depth, "</array>\n");
            return true;
        }
        case Type::Dictionary: {
            const auto& dictionary = value.dictionaryValue();
            bool any = false;
            for (const auto& [key, element] : dictionary) {
                if (element.isNull())
                    continue;
                if (!any)
                    line(depth, "<dict>\n");
                any = true;
                line(depth + 1, "<key>");
                if (!escaped(key) || !close("</key>") || !write(element, depth + 1))
                    return false;
            }
            line(depth, any ? "</dict>\n" : "<dict/>\n");
            return true;
        }
        }
        return true;
    }

    std::string& output() { return _out; }

private:
    void line(int depth, const std::string& text)
    {
        _out.append(size_t(depth), '\t');
        _out += text;
    }

    bool close(const char* tag)
    {
        _out += tag;
        _out += '\n';
        return true;
    }

    bool escaped(const std::string& text)
    {
        for (char c : text) {
            switch (c) {
            case '&':
                _out += "&amp;";
                break;
            case '<':
                _out += "&lt;";
                break;
            case '>':
                _out += "&gt;";
                break;
            case '\r':
                // A raw CR would be read back as LF by conforming XML readers.
                _out += "&#13;";
                break;
            case '\0':
                if (_strict)
                    return false;
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
                    char ref[8];
                    std::snprintf(ref, sizeof ref, "&#%d;", c);
                    _out += ref;
                } else {
                    _out += c;
                }
            }
        }
        return true;
    }

    void data(std::string_view bytes, int depth)
    {
        line(depth, "<data>\n");
        std::string encoded;
        encoded.reserve((bytes.size() + 2) / 3 * 4);
        for (size_t i = 0; i < bytes.size(); i += 3) {
            uint32_t n = uint32_t(static_cast<uint8_t>(bytes[i])) << 16;
            if (i + 1 < bytes.size())
                n |= uint32_t(static_cast<uint8_t>(bytes[i + 1])) << 8;
            if (i + 2 < bytes.size())
                n |= uint32_t(static_cast<uint8_t>(bytes[i + 2]));
            encoded += kBase64[(n >> 18) & 63];
            encoded += kBase64[(n >> 12) & 63];
            encoded += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
            encoded += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
        }
        for (size_t i = 0; i < encoded.size(); i += 68) {
            line(depth, encoded.substr(i, 68));
            _out += '\n';
        }
        line(depth, "</data>\n");
    }

    bool _strict;
    std::string _out;
};

const char kXMLHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
const char kXMLFooter[] = "</plist>\n";

} // namespace

std::string HXPropertyList::toXML() const
{
    XMLWriter writer(false);
    writer.output() = kXMLHeader;
    writer.write(*this, 0);
    writer.output() += kXMLFooter;
    return std::move(writer.output());
}

std::optional<std::string> HXPropertyList::xmlData(HXError* error) const
{
    XMLWriter writer(true);
    writer.output() = kXMLHeader;
    if (isNull() || !writer.write(*this, 0)) {
        if (error)
            *error = HXError::withDescription(HXBaseKitErrorDomain, HXPropertyListWriteInvalidError,
                isNull() ? "A property list cannot be empty."
                         : "The property list holds text with a NUL character, which XML cannot carry.");
        return std::nullopt;
    }
    writer.output() += kXMLFooter;
    return std::move(writer.output());
}

// ---- Reading ------------------------------------------------------------------------------------
//
// libplist does the parsing. Before it sees the bytes, a scan refuses what could exhaust the stack
// or the memory (deep nesting; binary lists whose shared references expand without bound) and
// takes the dates out: libplist hands dates out as 32-bit seconds, which cannot hold years before
// 1933 or after 2069. Each date is replaced by its ordinal number, and the real value is put back
// when the tree is converted.

namespace {

struct ReadContext {
    std::vector<HXDate> dates;
    std::string failure;
};

bool startsWith(std::string_view s, size_t pos, std::string_view prefix)
{
    return s.size() - pos >= prefix.size() && s.compare(pos, prefix.size(), prefix) == 0;
}

// The text of an integer outside the 64-bit signed range, replaced by the nearest limit; std::nullopt
// when the text is left as it is.
std::optional<std::string> clampedInteger(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    std::string_view limit = negative ? "9223372036854775808" : "9223372036854775807";
    if (text.size() < limit.size() || (text.size() == limit.size() && text <= limit))
        return std::nullopt;
    return negative ? "-9223372036854775808" : "9223372036854775807";
}

// Checks the nesting of an XML property list and swaps each <date> for its ordinal. Returns the
// text for libplist, or std::nullopt (with ctx.failure) when the input must be refused.
std::optional<std::string> prepareXML(std::string_view in, ReadContext& ctx)
{
    std::string out;
    out.reserve(in.size());
    size_t pos = 0, copied = 0;
    int depth = 0;
    while (true) {
        size_t lt = in.find('<', pos);
        if (lt == std::string_view::npos)
            break;
        auto skipTo = [&](std::string_view end) {
            size_t e = in.find(end, lt);
            pos = e == std::string_view::npos ? in.size() : e + end.size();
        };
        if (startsWith(in, lt, "<!--")) {
            skipTo("-->");
        } else if (startsWith(in, lt, "<![CDATA[")) {
            skipTo("]]>");
        } else if (startsWith(in, lt, "<?") || startsWith(in, lt, "<!")) {
            skipTo(">");
        } else if (startsWith(in, lt, "</")) {
            --depth;
            skipTo(">");
        } else {
            size_t gt = in.find('>', lt);
            if (gt == std::string_view::npos)
                break;
            pos = gt + 1;
            std::string_view name = in.substr(lt + 1, gt - lt - 1);
            name = name.substr(0, name.find_first_of(" \t\r\n/"));
            if (in[gt - 1] == '/') {
                if (name == "date") {
                    ctx.failure = "a date is empty";
                    return std::nullopt;
                }
                continue;
            }
            if (name == "integer") {
                // Our integers are 64-bit signed; larger magnitudes (which other writers may
                // produce) saturate instead of wrapping around.
                size_t end = in.find("</integer>", pos);
                if (end == std::string_view::npos)
                    break;
                if (auto clamped = clampedInteger(in.substr(pos, end - pos))) {
                    out.append(in.substr(copied, pos - copied));
                    out += *clamped;
                    copied = end;
                }
                pos = end + std::string_view("</integer>").size();
                continue;
            }
            if (name == "date") {
                size_t end = in.find("</date>", pos);
                if (end == std::string_view::npos)
                    break; // truncated: libplist refuses it
                auto date = parseDate(in.substr(pos, end - pos));
                if (!date) {
                    ctx.failure = "a date is malformed";
                    return std::nullopt;
                }
                // The ordinal as a date libplist can hold: that many seconds after the reference date.
                out.append(in.substr(copied, pos - copied));
                out += formatDate(HXDate { double(ctx.dates.size()) });
                ctx.dates.push_back(*date);
                copied = end;
                pos = end + std::string_view("</date>").size();
                continue;
            }
            if (++depth > HXPropertyList::maximumNestingDepth) {
                ctx.failure = "the property list is nested too deeply";
                return std::nullopt;
            }
        }
    }
    out.append(in.substr(copied));
    return out;
}

// The binary form: "bplist00", objects, a table of object offsets, and a 32-byte trailer.
class BinaryChecker {
public:
    BinaryChecker(std::string& bytes, ReadContext& ctx)
        : _b(bytes)
        , _ctx(ctx)
    {
    }

    bool check()
    {
        if (_b.size() < 8 + 32)
            return fail("the binary property list is truncated");
        size_t t = _b.size() - 32;
        _offsetSize = byte(t + 6);
        _refSize = byte(t + 7);
        uint64_t count = be(t + 8, 8), top = be(t + 16, 8), table = be(t + 24, 8);
        if (_offsetSize < 1 || _offsetSize > 8 || _refSize < 1 || _refSize > 8)
            return fail("the binary property list's trailer is invalid");
        if (count == 0 || count > t || top >= count || table < 8 || table > t
            || (t - table) / _offsetSize < count)
            return fail("the binary property list's object table is invalid");
        _count = size_t(count);
        _table = size_t(table);
        _objects.assign(_count, Object {});
        for (size_t i = 0; i < _count; ++i)
            if (!scan(i))
                return false;
        // Objects may overlap, so a text is looked at only once every date has been rewritten.
        for (Object& o : _objects) {
            if (!o.isText)
                continue;
            size_t unit = (byte(o.offset) >> 4) == 0x6 ? 2 : 1;
            for (size_t i = 0; i < o.textBytes && !o.hasNul; i += unit)
                o.hasNul = byte(o.text + i) == 0 && (unit == 1 || byte(o.text + i + 1) == 0);
        }
        // Dictionary keys must be text without NUL characters (libplist aborts on such a key).
        for (const Object& o : _objects) {
            if ((byte(o.offset) >> 4) != 0xD)
                continue;
            for (size_t k = 0; k < o.refCount / 2; ++k) {
                const Object& key = _objects[size_t(be(o.refs + k * _refSize, _refSize))];
                if (!key.isText || key.hasNul)
                    return fail("a dictionary key is not valid text");
            }
        }
        return walk(size_t(top));
    }

private:
    struct Object {
        size_t offset = 0;
        size_t refs = 0; // where the references start
        size_t refCount = 0; // number of references (keys and values of a dictionary)
        uint64_t payload = 0; // bytes the object costs once expanded
        uint64_t expanded = 0; // values reachable from it, counted with repetition
        int state = 0; // 0 unvisited, 1 on the walk's path, 2 done
        bool isText = false;
        bool hasNul = false;
        size_t text = 0; // where a text's characters start
        size_t textBytes = 0;
    };

    bool fail(const char* why)
    {
        _ctx.failure = why;
        return false;
    }
    uint8_t byte(size_t at) const { return static_cast<uint8_t>(_b[at]); }
    uint64_t be(size_t at, size_t n) const
    {
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v = v << 8 | byte(at + i);
        return v;
    }

    // The length of an object whose marker's low nibble is 0xF: an integer object follows.
    bool length(size_t& at, uint64_t& len)
    {
        uint8_t marker = byte(at);
        len = marker & 0x0F;
        ++at;
        if (len != 0x0F)
            return true;
        if (at >= _table || (byte(at) & 0xF0) != 0x10 || (byte(at) & 0x0F) > 3)
            return fail("an object length is malformed");
        size_t n = size_t(1) << (byte(at) & 0x0F);
        if (_table - at - 1 < n)
            return fail("an object length is truncated");
        len = be(at + 1, n);
        at += 1 + n;
        return true;
    }

    bool scan(size_t index)
    {
        Object& o = _objects[index];
        size_t at = size_t(be(_table + index * _offsetSize, _offsetSize));
        if (at < 8 || at >= _table)
            return fail("an object offset is out of range");
        o.offset = at;
        uint8_t marker = byte(at);
        const uint64_t room = _table - at;
        auto need = [&](uint64_t n) { return n <= room; };
        switch (marker >> 4) {
        case 0x0:
            o.payload = 8;
            return true;
        case 0x1: {
            o.payload = 8;
            if (!need(1 + (uint64_t(1) << (marker & 0x0F))))
                return fail("an integer is truncated");
            // A 16-byte integer holds values up to 2^64 - 1; ours stop at 2^63 - 1.
            if (marker == 0x14) {
                bool high = false;
                for (int i = 0; i < 8; ++i)
                    high = high || byte(at + 1 + i) != 0;
                if (!high && byte(at + 9) >= 0x80) {
                    _b[at + 9] = char(0x7F);
                    for (int i = 10; i < 17; ++i)
                        _b[at + i] = char(0xFF);
                }
            }
            return true;
        }
        case 0x2:
            o.payload = 8;
            return need(1 + (uint64_t(1) << (marker & 0x0F))) ? true : fail("a real is truncated");
        case 0x3: {
            if (marker != 0x33 || !need(9))
                return fail("a date is malformed");
            auto found = _dateAt.find(at);
            if (found == _dateAt.end()) {
                uint64_t bits = be(at + 1, 8);
                double value;
                std::memcpy(&value, &bits, sizeof value);
                if (!std::isfinite(value))
                    return fail("a date is not a finite number");
                double ordinal = double(_ctx.dates.size());
                _ctx.dates.push_back(HXDate { value });
                std::memcpy(&bits, &ordinal, sizeof bits);
                for (int i = 0; i < 8; ++i)
                    _b[at + 1 + i] = char(bits >> (56 - 8 * i));
                _dateAt.emplace(at, ordinal);
            }
            o.payload = 8;
            return true;
        }
        case 0x8:
            o.payload = 8;
            return need(2 + (marker & 0x0F)) ? true : fail("a reference number is truncated");
        case 0x4:
        case 0x5:
        case 0x6:
        case 0x7: {
            uint64_t len;
            if (!length(at, len))
                return false;
            if (len > room)
                return fail("a string or data object is truncated");
            uint64_t bytes = (marker >> 4) == 0x6 ? len * 2 : len;
            if (bytes > _table - at)
                return fail("a string or data object is truncated");
            if ((marker >> 4) != 0x4) {
                o.isText = true;
                o.text = at;
                o.textBytes = size_t(bytes);
            }
            // UTF-16 text may take half as much again once converted to UTF-8.
            o.payload = 8 + ((marker >> 4) == 0x6 ? bytes * 2 : bytes);
            return true;
        }
        case 0xA:
        case 0xB:
        case 0xC:
        case 0xD: {
            uint64_t len;
            if (!length(at, len))
                return false;
            uint64_t refs = (marker >> 4) == 0xD ? len * 2 : len;
            if (len > _table || refs > (_table - at) / _refSize)
                return fail("a container is truncated");
            o.refs = at;
            o.refCount = size_t(refs);
            o.payload = 8;
            for (size_t i = 0; i < o.refCount; ++i)
                if (be(at + i * _refSize, _refSize) >= _count)
                    return fail("a reference is out of range");
            return true;
        }
        default:
            return fail("an object has an unknown type");
        }
    }

    // Depth-first over the references, without recursion: cycles and deep nesting are refused, and
    // the values the tree would hold once every shared reference is copied are counted.
    bool walk(size_t top)
    {
        struct Frame {
            size_t object;
            size_t next;
        };
        std::vector<Frame> stack;
        stack.push_back({ top, 0 });
        _objects[top].state = 1;
        uint64_t payloadLimit = uint64_t(HXPropertyList::maximumInputSize) * 2;
        while (!stack.empty()) {
            Frame& f = stack.back();
            Object& o = _objects[f.object];
            if (f.next < o.refCount) {
                size_t child = size_t(be(o.refs + f.next * _refSize, _refSize));
                ++f.next;
                Object& c = _objects[child];
                if (c.state == 1)
                    return fail("the binary property list refers to itself");
                if (c.state == 0) {
                    if (int(stack.size()) >= HXPropertyList::maximumNestingDepth)
                        return fail("the property list is nested too deeply");
                    c.state = 1;
                    stack.push_back({ child, 0 });
                }
                continue;
            }
            uint64_t nodes = 1, bytes = o.payload;
            for (size_t i = 0; i < o.refCount; ++i) {
                const Object& c = _objects[size_t(be(o.refs + i * _refSize, _refSize))];
                nodes += c.expanded;
                bytes += c.payload;
                if (nodes > HXPropertyList::maximumNodeCount || bytes > payloadLimit)
                    return fail("the binary property list expands beyond the size limits");
            }
            o.expanded = nodes;
            o.payload = bytes;
            o.state = 2;
            stack.pop_back();
        }
        return true;
    }

    std::string& _b;
    ReadContext& _ctx;
    size_t _offsetSize = 0, _refSize = 0, _count = 0, _table = 0;
    std::vector<Object> _objects;
    std::map<size_t, double> _dateAt;
};

std::optional<HXPropertyList> convert(plist_t node, const ReadContext& ctx, int depth)
{
    if (!node || depth > HXPropertyList::maximumNestingDepth)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return HXPropertyList(b != 0);
    }
    case PLIST_UINT:
    case PLIST_UID: {
        uint64_t v = 0;
        if (plist_get_node_type(node) == PLIST_UID)
            plist_get_uid_val(node, &v);
        else
            plist_get_uint_val(node, &v);
        return HXPropertyList(static_cast<int64_t>(v));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return HXPropertyList(d);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        return HXPropertyList(std::string(s ? s : "", s ? size_t(length) : 0));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* d = plist_get_data_ptr(node, &length);
        return HXPropertyList(HXData(std::string_view(d ? d : "", d ? size_t(length) : 0)));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        if (sec < 0 || size_t(sec) >= ctx.dates.size())
            return std::nullopt;
        return HXPropertyList(ctx.dates[size_t(sec)]);
    }
    case PLIST_ARRAY: {
        HXPropertyList::Array array;
        uint32_t n = plist_array_get_size(node);
        array.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            auto element = convert(plist_array_get_item(node, i), ctx, depth + 1);
            if (!element)
                return std::nullopt;
            array.push_back(std::move(*element));
        }
        return HXPropertyList(std::move(array));
    }
    case PLIST_DICT: {
        HXPropertyList::Dictionary dictionary;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        bool ok = true;
        while (ok) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!key)
                break;
            auto element = convert(value, ctx, depth + 1);
            if (element)
                dictionary[key] = std::move(*element);
            else
                ok = false;
            std::free(key);
        }
        std::free(it);
        if (!ok)
            return std::nullopt;
        return HXPropertyList(std::move(dictionary));
    }
    default:
        return std::nullopt;
    }
}

HXError corruptError(const std::string& why)
{
    std::string text = "The data couldn't be read because it isn't in the correct format.";
    HXError error = HXError::withDescription(HXBaseKitErrorDomain, HXPropertyListReadCorruptError, text);
    if (!why.empty())
        error.userInfo()[HXLocalizedFailureReasonErrorKey] = HXPropertyList(why);
    return error;
}

} // namespace

std::optional<HXPropertyList> HXPropertyList::fromXML(std::string_view bytes, HXError* error)
{
    ReadContext ctx;
    auto refuse = [&](const std::string& why) -> std::optional<HXPropertyList> {
        if (error)
            *error = corruptError(why);
        return std::nullopt;
    };
    if (bytes.empty())
        return refuse("the property list is empty");
    if (bytes.size() > maximumInputSize)
        return refuse("the property list is too large");

    plist_t root = nullptr;
    std::string prepared;
    if (bytes.size() >= 8 && bytes.substr(0, 6) == "bplist") {
        prepared = std::string(bytes);
        if (!BinaryChecker(prepared, ctx).check())
            return refuse(ctx.failure);
        plist_from_bin(prepared.data(), uint32_t(prepared.size()), &root);
    } else {
        // XML readers see every CR LF pair and every lone CR as LF (a CR meant as text is
        // written "&#13;").
        std::string normalized;
        if (bytes.find('\r') != std::string_view::npos) {
            normalized.reserve(bytes.size());
            for (size_t i = 0; i < bytes.size(); ++i) {
                if (bytes[i] != '\r')
                    normalized += bytes[i];
                else if (i + 1 >= bytes.size() || bytes[i + 1] != '\n')
                    normalized += '\n';
            }
            bytes = normalized;
        }
        auto text = prepareXML(bytes, ctx);
        if (!text)
            return refuse(ctx.failure);
        prepared = std::move(*text);
        plist_from_xml(prepared.data(), uint32_t(prepared.size()), &root);
    }
    if (!root)
        return refuse("the property list is malformed or truncated");
    auto value = convert(root, ctx, 0);
    plist_free(root);
    if (!value)
        return refuse("the property list holds a value of an unknown kind");
    return value;
}

std::optional<HXPropertyList> HXPropertyList::readFromFile(const std::string& path, HXError* error)
{
    auto fileError = [&](int64_t code, int err) -> std::optional<HXPropertyList> {
        if (error) {
            HXError posix = HXError::posix(err, path);
            *error = HXError::withDescription(HXBaseKitErrorDomain, code,
                code == HXFileNoSuchFileError ? "The file \"" + HXString::lastPathComponent(path)
                        + "\" couldn't be opened because there is no such file."
                                              : "The file \"" + HXString::lastPathComponent(path)
                        + "\" couldn't be read: " + posix.localizedDescription());
            error->userInfo()[HXFilePathErrorKey] = HXPropertyList(path);
            error->setUnderlyingError(posix);
        }
        return std::nullopt;
    };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fileError(errno == ENOENT ? HXFileNoSuchFileError : HXFileReadUnknownError, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno ? errno : EINVAL;
        ::close(fd);
        return fileError(HXFileReadUnknownError, err);
    }
    std::string bytes;
    if (uint64_t(st.st_size) <= maximumInputSize)
        bytes.reserve(size_t(st.st_size));
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            return fileError(HXFileReadUnknownError, err);
        }
        if (n == 0)
            break;
        bytes.append(buffer, size_t(n));
        if (bytes.size() > maximumInputSize)
            break;
    }
    ::close(fd);
    auto value = fromXML(bytes, error);
    if (!value && error)
        error->userInfo()[HXFilePathErrorKey] = HXPropertyList(path);
    return value;
}

bool HXPropertyList::writeToFile(const std::string& path, HXError* error) const
{
    auto xml = xmlData(error);
    if (!xml)
        return false;
    return HXFileManager::defaultManager().writeToFile(path, *xml, true, error);
}
