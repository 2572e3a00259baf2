#include "platform/mvkit/data_reference.h"

#include "platform/mvkit/atoms/alias_record.h"

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

} // namespace

// Alias records are laid out by the atom layer; these add the model's path rules.
MVBytes MVAliasRecordForPath(const std::string& path, const std::string& movieFilePath)
{
    std::string target = standardPath(path);
    std::string from = movieFilePath.empty() ? target : standardPath(movieFilePath);
    return MVSerializeAliasRecord(MVMakeAliasRecord(target, from));
}

std::string MVPathFromAliasRecord(const MVBytes& record, const std::string& movieFilePath)
{
    MVDataReferenceEntry entry;
    entry.type = MVAliasDataReferenceType;
    entry.flags = 0;
    entry.data = record;
    auto path
        = MVResolveDataReference(entry, movieFilePath.empty() ? std::string() : standardPath(movieFilePath));
    return path ? *path : std::string();
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
