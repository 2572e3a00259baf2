#pragma once
// 'alis' data reference records: a file reference by volume, names and paths.
//
// Layout (all integers big-endian; offsets from the start of the record, which is the data of an 'alis'
// entry after its version and flags):
//   0  4   user type (0)             4  2  record size       6  2  version (2)     8  2  kind (0 file, 1
//   folder)
//  10  28  volume name: length byte + 27 bytes
//  38  4   volume creation date     42  2  file-system type  44  2  drive type     46  4  parent folder id
//  50  64  file name: length byte + 63 bytes
// 114  4   file number             118  4  file creation date 122 4 file type     126  4  file creator
// 130  2   levels up from the alias to the common folder (1 = same folder)
// 132  2   levels down from there to the target (1 = the target's own name)
// 134  4   volume attributes       138  2  volume file-system id   140  10 reserved
// 150      tagged fields: 16-bit tag, 16-bit length, data padded to an even length, until tag −1 (0xFFFF)
//          tag 0: the target's folder name; tag 2: the path with ':' between components;
//          tag 18: the absolute POSIX path, as it stands.
// Readers of our files depend on this layout (and on the entry being larger than 150 bytes, which a
// record with tagged fields always is), so it is written exactly so.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <string>
#include <vector>

struct MVAliasRecord {
    uint16_t kind = 0; // 0 file, 1 folder
    std::string volumeName;
    std::string fileName;
    uint16_t levelsFrom = 1;
    uint16_t levelsTo = 1;
    struct Field {
        int16_t tag = 0;
        MVBytes data;
        bool operator==(const Field&) const = default;
    };
    std::vector<Field> fields; // tagged fields in order (the end mark not included)

    // Tag 18 / tag 2 / tag 0 as text, when present.
    std::optional<std::string> posixPath() const;
    std::optional<std::string> colonPath() const;
    std::optional<std::string> folderName() const;
    bool operator==(const MVAliasRecord&) const = default;
};

inline constexpr int16_t MVAliasTagFolderName = 0;
inline constexpr int16_t MVAliasTagColonPath = 2;
inline constexpr int16_t MVAliasTagPOSIXPath = 18;

// A record for the file at `targetPath` (absolute), referenced from a movie at `aliasPath` (absolute):
// names, levels (relative to the movie's folder) and the tags 18, 2 and 0. Names longer than their
// fixed fields are cut at a character boundary; the tags keep them whole.
MVAliasRecord MVMakeAliasRecord(const std::string& targetPath, const std::string& aliasPath);

MVBytes MVSerializeAliasRecord(const MVAliasRecord& record);
// Nothing when the bytes are shorter than the fixed part or a field runs past the end.
std::optional<MVAliasRecord> MVParseAliasRecord(const MVBytes& bytes);

// Data reference entries.
MVDataReferenceEntry MVMakeSelfDataReference();
MVDataReferenceEntry MVMakeFileDataReference(const std::string& targetPath, const std::string& moviePath);
MVDataReferenceEntry MVMakeURLDataReference(const std::string& url);
// The file a data reference names: for a self reference `moviePath`; for 'alis' the tag-18 path, else
// the levels applied to the movie's folder with the file name; for a "file://" URL its path. Relative
// levels win over the absolute path when the file they name exists (a moved folder of movies keeps
// working). Nothing for other references.
std::optional<std::string> MVResolveDataReference(
    const MVDataReferenceEntry& entry, const std::string& moviePath);
