#include "platform/mvkit/atoms/alias_record.h"

#include "platform/mvkit/atoms/byte_io.h"

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string textOf(const MVBytes& b)
{
    return std::string(b.begin(), b.end());
}

// Cuts UTF-8 text to at most `max` bytes without splitting a character.
std::string cut(const std::string& s, size_t max)
{
    if (s.size() <= max)
        return s;
    size_t n = max;
    while (n > 0 && (uint8_t(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

void writeCounted(MVByteWriter& w, const std::string& text, size_t fieldSize)
{
    std::string t = cut(text, fieldSize - 1);
    w.u8(uint8_t(t.size()));
    w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(t.data()), t.size()));
    w.zeros(fieldSize - 1 - t.size());
}

std::string readCounted(MVByteReader& r, size_t fieldSize)
{
    auto field = r.bytes(fieldSize);
    size_t n = std::min<size_t>(field[0], fieldSize - 1);
    return std::string(field.begin() + 1, field.begin() + 1 + long(n));
}

std::vector<std::string> components(const fs::path& p)
{
    std::vector<std::string> out;
    for (const auto& c : p)
        if (c != "/" && !c.empty())
            out.push_back(c.string());
    return out;
}

} // namespace

static std::optional<std::string> findTag(const MVAliasRecord& r, int16_t tag)
{
    for (const auto& f : r.fields)
        if (f.tag == tag)
            return textOf(f.data);
    return std::nullopt;
}

std::optional<std::string> MVAliasRecord::posixPath() const
{
    return findTag(*this, MVAliasTagPOSIXPath);
}
std::optional<std::string> MVAliasRecord::colonPath() const
{
    return findTag(*this, MVAliasTagColonPath);
}
std::optional<std::string> MVAliasRecord::folderName() const
{
    return findTag(*this, MVAliasTagFolderName);
}

MVAliasRecord MVMakeAliasRecord(const std::string& targetPath, const std::string& aliasPath)
{
    fs::path target = fs::path(targetPath).lexically_normal();
    fs::path aliasDir = fs::path(aliasPath).lexically_normal().parent_path();
    auto t = components(target), a = components(aliasDir);
    size_t common = 0;
    while (common < a.size() && common + 1 < t.size() && a[common] == t[common])
        ++common;

    MVAliasRecord r;
    r.fileName = target.filename().string();
    r.volumeName = ""; // one tree of folders: no volume to name
    r.levelsFrom = uint16_t(std::min<size_t>(a.size() - common + 1, 0xFFFF));
    r.levelsTo = uint16_t(std::min<size_t>(t.size() - common, 0xFFFF));
    auto field = [](int16_t tag, const std::string& text) {
        return MVAliasRecord::Field { tag, MVBytes(text.begin(), text.end()) };
    };
    r.fields.push_back(field(MVAliasTagFolderName, target.parent_path().filename().string()));
    std::string colon;
    for (size_t i = 0; i < t.size(); ++i)
        colon += (i ? ":" : "") + t[i];
    r.fields.push_back(field(MVAliasTagColonPath, colon));
    r.fields.push_back(field(MVAliasTagPOSIXPath, target.string()));
    return r;
}

MVBytes MVSerializeAliasRecord(const MVAliasRecord& r)
{
    MVByteWriter w;
    w.u32(0); // user type
    w.u16(0); // record size, patched below
    w.u16(2); // version
    w.u16(r.kind);
    writeCounted(w, r.volumeName, 28);
    w.zeros(12); // volume date, file-system type, drive type, parent folder id
    writeCounted(w, r.fileName, 64);
    w.zeros(16); // file number, creation date, type, creator
    w.u16(r.levelsFrom);
    w.u16(r.levelsTo);
    w.zeros(16); // volume attributes, file-system id, reserved
    for (const auto& f : r.fields) {
        size_t length = std::min<size_t>(f.data.size(), 0xFFFF);
        w.s16(f.tag);
        w.u16(uint16_t(length));
        w.bytes(std::span<const uint8_t>(f.data.data(), length));
        if (length % 2)
            w.u8(0);
    }
    w.s16(-1);
    w.u16(0);
    auto& out = w.buffer();
    uint16_t size = uint16_t(std::min<size_t>(out.size(), 0xFFFF));
    out[4] = uint8_t(size >> 8);
    out[5] = uint8_t(size);
    return std::move(out);
}

std::optional<MVAliasRecord> MVParseAliasRecord(const MVBytes& bytes)
{
    try {
        MVByteReader rd(bytes);
        MVAliasRecord r;
        rd.skip(8);
        r.kind = rd.u16();
        r.volumeName = readCounted(rd, 28);
        rd.skip(12);
        r.fileName = readCounted(rd, 64);
        rd.skip(16);
        r.levelsFrom = rd.u16();
        r.levelsTo = rd.u16();
        rd.skip(16);
        while (rd.remaining() >= 4) {
            int16_t tag = rd.s16();
            uint16_t length = rd.u16();
            if (tag == -1)
                break;
            MVAliasRecord::Field f { tag, rd.copy(length) };
            if (length % 2 && !rd.atEnd())
                rd.skip(1);
            r.fields.push_back(std::move(f));
        }
        return r;
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
}

MVDataReferenceEntry MVMakeSelfDataReference()
{
    return MVDataReferenceEntry { MVFourCC("alis"), 0, MVDataReferenceSelfReferenceFlag, {} };
}

MVDataReferenceEntry MVMakeFileDataReference(const std::string& targetPath, const std::string& moviePath)
{
    return MVDataReferenceEntry { MVFourCC("alis"), 0, 0,
        MVSerializeAliasRecord(MVMakeAliasRecord(targetPath, moviePath)) };
}

MVDataReferenceEntry MVMakeURLDataReference(const std::string& url)
{
    MVBytes data(url.begin(), url.end());
    data.push_back(0);
    return MVDataReferenceEntry { MVFourCC("url "), 0, 0, std::move(data) };
}

std::optional<std::string> MVResolveDataReference(
    const MVDataReferenceEntry& entry, const std::string& moviePath)
{
    if (entry.flags & MVDataReferenceSelfReferenceFlag)
        return moviePath;
    if (entry.type == MVFourCC("url ")) {
        std::string url(entry.data.begin(), std::find(entry.data.begin(), entry.data.end(), uint8_t(0)));
        if (url.rfind("file://", 0) == 0)
            return url.substr(7);
        return std::nullopt;
    }
    if (entry.type != MVFourCC("alis"))
        return std::nullopt;
    auto record = MVParseAliasRecord(entry.data);
    if (!record)
        return std::nullopt;
    auto absolute = record->posixPath();
    if (absolute && record->levelsFrom >= 1 && record->levelsTo >= 1) {
        // The movie's folder, up (levelsFrom − 1), then the last levelsTo components of the path.
        fs::path base = fs::path(moviePath).parent_path();
        for (int i = 1; i < record->levelsFrom; ++i)
            base = base.parent_path();
        auto parts = components(*absolute);
        if (record->levelsTo <= parts.size()) {
            fs::path relative = base;
            for (size_t i = parts.size() - record->levelsTo; i < parts.size(); ++i)
                relative /= parts[i];
            std::error_code ec;
            if (fs::exists(relative, ec))
                return relative.string();
        }
    }
    if (absolute)
        return absolute;
    return std::nullopt;
}
