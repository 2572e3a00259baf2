#include "platform/mvkit/data_reference.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string standardPath(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec)
        p = path;
    return p.lexically_normal().string();
}

void putBE(MVBytes& out, uint64_t v, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out.push_back(i >= 8 ? 0 : uint8_t(v >> (8 * i)));
}

uint64_t getBE(const MVBytes& in, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | in[at + size_t(i)];
    return v;
}

void putPascal(MVBytes& out, const std::string& text, size_t fieldSize)
{
    size_t n = std::min(text.size(), fieldSize - 1);
    out.push_back(uint8_t(n));
    out.insert(out.end(), text.begin(), text.begin() + long(n));
    out.insert(out.end(), fieldSize - 1 - n, 0);
}

void putTag(MVBytes& out, uint16_t tag, const std::string& text)
{
    putBE(out, tag, 2);
    putBE(out, text.size(), 2);
    out.insert(out.end(), text.begin(), text.end());
    if (text.size() % 2)
        out.push_back(0);
}

constexpr size_t aliasFixedSize = 150;

} // namespace

// The alias record: user type (4), record size (2), version 2 (2), kind 0 = file (2), volume name
// (28, counted), volume date (4), file system (2), drive type (2), parent folder id (4), file name (64,
// counted), file number (4), file date (4), file type (4), creator (4), levels up from the movie (2),
// levels down to the file (2), volume attributes (4), volume file system id (2), reserved (10), then
// tagged items: tag (2), length (2), bytes padded to even; tag −1 ends the list.
MVBytes MVAliasRecordForPath(const std::string& path, const std::string& movieFilePath)
{
    std::string target = standardPath(path);
    fs::path targetPath(target);
    int16_t up = -1, down = -1;
    if (!movieFilePath.empty()) {
        fs::path from = fs::path(standardPath(movieFilePath)).parent_path();
        fs::path rel = targetPath.lexically_relative(from);
        if (!rel.empty()) {
            int ups = 0, downs = 0;
            for (auto& part : rel) {
                if (part == "..")
                    ++ups;
                else
                    ++downs;
            }
            up = int16_t(ups + 1);
            down = int16_t(downs);
        }
    }
    MVBytes r;
    putBE(r, 0, 4);
    putBE(r, 0, 2); // size, patched below
    putBE(r, 2, 2);
    putBE(r, 0, 2);
    putPascal(r, "", 28);
    putBE(r, 0, 4 + 2 + 2 + 4);
    putPascal(r, targetPath.filename().string(), 64);
    putBE(r, 0, 16);
    putBE(r, uint16_t(up), 2);
    putBE(r, uint16_t(down), 2);
    putBE(r, 0, 16);
    // Tag 2: the path with ':' for '/' (a reader turns them back), tag 18: the POSIX path.
    std::string colon = target;
    for (auto& c : colon)
        if (c == '/')
            c = ':';
    putTag(r, 0, targetPath.parent_path().filename().string());
    putTag(r, 2, colon);
    putTag(r, 18, target);
    putBE(r, 0xFFFF, 2);
    putBE(r, 0, 2);
    uint64_t size = std::min<uint64_t>(r.size(), 0xFFFF);
    r[4] = uint8_t(size >> 8);
    r[5] = uint8_t(size);
    return r;
}

std::string MVPathFromAliasRecord(const MVBytes& record, const std::string& movieFilePath)
{
    if (record.size() < aliasFixedSize)
        return {};
    size_t nameLength = std::min<size_t>(record[50], 63);
    std::string fileName(record.begin() + 51, record.begin() + 51 + long(nameLength));
    int16_t up = int16_t(getBE(record, 130, 2));
    int16_t down = int16_t(getBE(record, 132, 2));
    std::string absolute, colonPath;
    size_t pos = aliasFixedSize;
    while (record.size() - pos >= 4) {
        uint16_t tag = uint16_t(getBE(record, pos, 2));
        size_t length = size_t(getBE(record, pos + 2, 2));
        pos += 4;
        if (tag == 0xFFFF || record.size() - pos < length)
            break;
        std::string text(record.begin() + long(pos), record.begin() + long(pos + length));
        if (tag == 18)
            absolute = text;
        else if (tag == 2)
            colonPath = text;
        pos += length + (length % 2);
    }
    if (absolute.empty() && !colonPath.empty()) {
        absolute = colonPath;
        for (auto& c : absolute)
            if (c == ':')
                c = '/';
        if (absolute.front() != '/')
            absolute.insert(absolute.begin(), '/');
    }
    // The relative position first: a movie moved with its media still finds them.
    if (!movieFilePath.empty() && up > 0 && down > 0 && !absolute.empty()) {
        fs::path from = fs::path(standardPath(movieFilePath)).parent_path();
        for (int i = 1; i < up; ++i)
            from = from.parent_path();
        fs::path abs(absolute);
        std::vector<fs::path> parts(abs.begin(), abs.end());
        if (parts.size() >= size_t(down)) {
            fs::path candidate = from;
            for (size_t i = parts.size() - size_t(down); i < parts.size(); ++i)
                candidate /= parts[i];
            std::error_code ec;
            if (fs::exists(candidate, ec))
                return candidate.lexically_normal().string();
        }
    }
    if (!absolute.empty())
        return absolute;
    if (!fileName.empty() && !movieFilePath.empty())
        return (fs::path(standardPath(movieFilePath)).parent_path() / fileName).string();
    return {};
}

MVDataReference MVDataReference::dataReferenceWithReferenceToFile(const std::string& path)
{
    MVDataReference r;
    r._kind = Kind::File;
    r._path = standardPath(path);
    r._name = fs::path(r._path).filename().string();
    return r;
}

MVDataReference MVDataReference::dataReferenceWithReferenceToURL(const HXURL& url)
{
    if (url.isFileURL())
        return dataReferenceWithReferenceToFile(url.path());
    MVDataReference r;
    r._kind = Kind::URL;
    r._url = url.absoluteString();
    r._name = url.lastPathComponent();
    return r;
}

MVDataReference MVDataReference::dataReferenceWithReferenceToData(std::shared_ptr<std::vector<uint8_t>> data)
{
    MVDataReference r;
    r._kind = Kind::Memory;
    r._data = data ? std::move(data) : std::make_shared<std::vector<uint8_t>>();
    return r;
}

MVDataReference MVDataReference::dataReferenceWithReference(
    const MVBytes& reference, uint32_t type, const std::string& movieFilePath)
{
    if (type == MVAliasDataReferenceType) {
        std::string path = MVPathFromAliasRecord(reference, movieFilePath);
        if (!path.empty())
            return dataReferenceWithReferenceToFile(path);
    } else if (type == MVURLDataReferenceType) {
        std::string text(reference.begin(), reference.end());
        text = text.substr(0, text.find('\0'));
        if (auto url = HXURL::URLWithString(text)) {
            if (!url->isFileURL() && url->scheme().empty() && !movieFilePath.empty()) {
                // A relative URL names a file beside the movie.
                return dataReferenceWithReferenceToFile(
                    (fs::path(standardPath(movieFilePath)).parent_path() / url->path()).string());
            }
            return dataReferenceWithReferenceToURL(*url);
        }
    }
    MVDataReference r;
    r._kind = Kind::Other;
    r._otherType = type;
    r._otherBytes = reference;
    return r;
}

uint32_t MVDataReference::dataReferenceType() const
{
    switch (_kind) {
    case Kind::File:
        return MVAliasDataReferenceType;
    case Kind::URL:
        return MVURLDataReferenceType;
    case Kind::Memory:
        return MVHandleDataReferenceType;
    case Kind::Other:
        return _otherType;
    case Kind::None:
        break;
    }
    return 0;
}

MVBytes MVDataReference::dataReference(const std::string& movieFilePath) const
{
    switch (_kind) {
    case Kind::File:
        return MVAliasRecordForPath(_path, movieFilePath);
    case Kind::URL: {
        MVBytes b(_url.begin(), _url.end());
        b.push_back(0);
        return b;
    }
    case Kind::Other:
        return _otherBytes;
    default:
        return {};
    }
}

std::string MVDataReference::referenceFilePath() const
{
    return _kind == Kind::File ? _path : std::string();
}

std::optional<HXURL> MVDataReference::referenceURL() const
{
    if (_kind == Kind::File)
        return HXURL::fileURLWithPath(_path);
    if (_kind == Kind::URL)
        return HXURL::URLWithString(_url);
    return std::nullopt;
}

bool MVDataReference::operator==(const MVDataReference& other) const
{
    if (_kind != other._kind)
        return false;
    switch (_kind) {
    case Kind::None:
        return true;
    case Kind::File:
        return _path == other._path;
    case Kind::URL:
        return _url == other._url;
    case Kind::Memory:
        return _data == other._data;
    case Kind::Other:
        return _otherType == other._otherType && _otherBytes == other._otherBytes;
    }
    return false;
}
