#pragma once
// The recent-items list as it is kept in the user defaults: an array of dictionaries, most recent first,
// each holding the item's display name, a longer name for telling apart items of the same name, and the
// item's data reference as its stored bytes and four-character type. These are the list's rules without
// any menu or document: building an entry, adding one, trimming to a limit, and the menu titles.
#include "platform/basekit/property_list.h"
#include "platform/mvkit/data_reference.h"

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* MVPRecentDocumentsUserDefault = "MVPRecentDocumentsUserDefault";
inline constexpr const char* MVPRecentDocumentNameAttribute = "name";
inline constexpr const char* MVPRecentDocumentAltNameAttribute = "altname";
inline constexpr const char* MVPRecentDocumentDataRefAttribute = "dataRef";
inline constexpr const char* MVPRecentDocumentDataRefTypeAttribute = "dataRefType";

namespace MVPRecentDocuments {

using Entry = HXPropertyList::Dictionary;
using List = HXPropertyList::Array;

// The longer name of an item: for a file "name - .../folder/file", for a URL "name - absolute URL",
// for anything else empty.
std::string altNameForDataReference(const std::string& name, const MVDataReference& reference);

// The entry {"name", "altname", "dataRef", "dataRefType"} of a reference shown under `name`.
Entry entryForDataReference(const std::string& name, const MVDataReference& reference);

// The data reference an entry (recent item or favorite) stands for; nothing when its keys are missing or
// its bytes cannot be read.
std::optional<MVDataReference> dataReferenceOfEntry(const Entry& entry);

// Whether the entry has the keys an addition needs ("name", "dataRef" and "dataRefType").
bool hasRequiredKeys(const Entry& entry);

// A limit as the preferences hold it: anything below zero keeps no items.
size_t clampedLimit(int64_t limit);

// Puts `entry` at the top: an equal entry moves there; a new one is inserted and the list is cut to
// `limit` from the end. False when the entry lacks a required key (the list is unchanged).
bool addEntry(List& list, const Entry& entry, size_t limit);

// Drops entries from the end until at most `limit` remain; true when any went.
bool trimToLimit(List& list, size_t limit);

// How many entries are shown under `name`.
size_t countOfEntriesNamed(const List& list, const std::string& name);

// The title an entry gets in the Open Recent menu: its longer name when another entry has the same name
// and the longer name is not empty, else its name.
std::string menuTitleOfEntry(const List& list, const Entry& entry);

} // namespace MVPRecentDocuments
