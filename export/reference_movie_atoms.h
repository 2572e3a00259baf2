#pragma once
// Reference movies: a small movie file that holds no media, only a list of alternate movies, each with
// its location and the conditions under which a player should pick it (a network data rate, a phone
// check). Export for Web writes one next to the movies it encodes; scripts save one from a list.
//
// The file is built as a tree of atom nodes, each a property-list dictionary:
//   "MVPAtomTypeKey"     the four-character type as a 32-bit signed number ('moov' = 0x6D6F6F76)
//   "MVPAtomContentsKey" data (a leaf: the payload) or an array of atom nodes (a container)
// and the serialised tree, the bare 'moov' atom, is the whole file:
//   'moov' > 'rmra' > one 'rmda' per alternate > 'rdrf' (location), 'rmdr' (data rate), 'rmvc' (phone).
// These files are written only; the player never reads them back.
#include "platform/basekit/property_list.h"
#include "platform/basekit/url.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* MVPAtomTypeKey = "MVPAtomTypeKey";
inline constexpr const char* MVPAtomContentsKey = "MVPAtomContentsKey";

// A new atom node of `type` whose contents are data (a leaf) or an array of nodes (a container).
HXPropertyList MVPMovieAtomDictionaryCreate(uint32_t type, HXPropertyList contents);

// The tree 'moov' > 'rmra' with no alternates yet. When `outRecords` is given it receives the 'rmra'
// child array, owned by the tree and valid as long as it lives, to which callers append descriptors.
std::shared_ptr<HXPropertyList> MVPRefMovieDictionaryCreateEmpty(
    HXPropertyList::Array** outRecords = nullptr);

// One 'rmda' node from the attributes:
//   "URL"      (required) the location as URL text, relative or absolute, stored as a 'url ' reference
//   "dataRate" (optional) a number, the data rate written into 'rmdr'
//   "version"  (optional) "Celluma" adds the phone check 'rmvc'; other texts add nothing
// `url`, when given, is a URL object that takes the place of "URL": it is stored as the media layer's
// data reference for it (an alias record for a file). Nullopt when there is no usable location.
std::optional<HXPropertyList> MVPRefMovieDescriptorDictionaryCreateWithAttributes(
    const HXPropertyList::Dictionary& attributes, const std::optional<HXURL>& url = std::nullopt);

// The serialised bytes of the tree below `root`; nullopt when the root itself is no atom node. A child
// that is no atom node is left out of its parent.
std::optional<HXData> MVPMovieAtomDataCreateFromDictionary(const HXPropertyList& root);

// `text` (UTF-8) with every byte outside letters, digits and "-._~" percent-escaped, so that the result
// is one relative-URL path segment: "My Movie (1).mov" becomes "My%20Movie%20%281%29.mov".
std::string MVPRefMovieCreateFullyEscapedURLString(std::string_view text);
