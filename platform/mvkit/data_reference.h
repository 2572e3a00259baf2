#pragma once
// MVDataReference: where media data lives — a file (by path), a URL, or bytes in memory.
//
// A value type. Two references are equal when they are of the same kind and name the same file (the
// standardised path), the same URL, or the very same memory block. The stored form of a file reference
// is an alias record ('alis') that holds the POSIX path and the relative position of the file to the
// movie that refers to it; a URL is stored as a NUL-terminated 'url ' entry.
#include "platform/basekit/url.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t MVAliasDataReferenceType = MVFourCC("alis");
inline constexpr uint32_t MVURLDataReferenceType = MVFourCC("url ");
inline constexpr uint32_t MVHandleDataReferenceType = MVFourCC("hndl");

class MVDataReference {
public:
    enum class Kind { None, File, URL, Memory, Other };

    MVDataReference() = default; // no reference (Kind::None)

    static MVDataReference dataReferenceWithReferenceToFile(const std::string& path);
    static MVDataReference dataReferenceWithReferenceToURL(const HXURL& url);
    // In-memory data; the block is shared, not copied, and may grow (samples appended to a media).
    static MVDataReference dataReferenceWithReferenceToData(std::shared_ptr<std::vector<uint8_t>> data);
    // A stored reference of the given type: 'alis' and 'url ' are decoded, any other type is kept as bytes.
    // `movieFilePath` resolves relative alias records (the path of the movie file holding the entry).
    static MVDataReference dataReferenceWithReference(
        const MVBytes& reference, uint32_t type, const std::string& movieFilePath = {});

    Kind kind() const { return _kind; }
    bool isNone() const { return _kind == Kind::None; }
    // 'alis' for files, 'url ' for URLs, 'hndl' for memory, else the stored type.
    uint32_t dataReferenceType() const;
    // The stored form: an alias record for a file (relative to `movieFilePath` when given), the URL text
    // with a trailing NUL for a URL, the raw bytes for others; empty for memory.
    MVBytes dataReference(const std::string& movieFilePath = {}) const;
    // The file path (file references and file URLs); empty otherwise.
    std::string referenceFilePath() const;
    std::optional<HXURL> referenceURL() const;
    const std::shared_ptr<std::vector<uint8_t>>& data() const { return _data; }

    const std::string& name() const { return _name; }
    void setName(const std::string& name) { _name = name; }
    const std::string& MIMEType() const { return _mimeType; }
    void setMIMEType(const std::string& type) { _mimeType = type; }

    bool operator==(const MVDataReference& other) const;

private:
    Kind _kind = Kind::None;
    std::string _path; // files: standardised absolute path
    std::string _url; // URLs: absolute string
    std::shared_ptr<std::vector<uint8_t>> _data;
    uint32_t _otherType = 0;
    MVBytes _otherBytes;
    std::string _name;
    std::string _mimeType;
};

// Alias records of file references. The record carries the file name, the absolute path in both the
// colon-separated form (tag 2) and the POSIX form (tag 18), and the number of folder levels from the
// movie's folder up to the common ancestor and from there down to the file, so a reader can find the
// file relative to the movie first.
MVBytes MVAliasRecordForPath(const std::string& path, const std::string& movieFilePath = {});
// The path an alias record leads to: the relative position when `movieFilePath` is given and the file
// exists there, else the absolute path. Empty when the record cannot be read.
std::string MVPathFromAliasRecord(const MVBytes& record, const std::string& movieFilePath = {});
