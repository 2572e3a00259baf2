#include "app/recent_documents.h"

#include "platform/mvkit/atoms/four_char_code.h"

#include <algorithm>
#include <filesystem>

namespace MVPRecentDocuments {

std::string altNameForDataReference(const std::string& name, const MVDataReference& reference)
{
    switch (reference.dataReferenceType()) {
    case MVAliasDataReferenceType: {
        std::filesystem::path path(reference.referenceFilePath());
        if (path.empty())
            return {};
        return name + " - .../" + path.parent_path().filename().string() + "/" + path.filename().string();
    }
    case MVURLDataReferenceType: {
        auto url = reference.referenceURL();
        return url ? name + " - " + url->absoluteString() : std::string();
    }
    default:
        return {};
    }
}

Entry entryForDataReference(const std::string& name, const MVDataReference& reference)
{
    return Entry {
        { MVPRecentDocumentNameAttribute, HXPropertyList(name) },
        { MVPRecentDocumentAltNameAttribute, HXPropertyList(altNameForDataReference(name, reference)) },
        { MVPRecentDocumentDataRefAttribute, HXPropertyList(HXData(reference.dataReference())) },
        { MVPRecentDocumentDataRefTypeAttribute,
            HXPropertyList(MVStringForOSType(reference.dataReferenceType())) },
    };
}

std::optional<MVDataReference> dataReferenceOfEntry(const Entry& entry)
{
    auto bytes = entry.find(MVPRecentDocumentDataRefAttribute);
    auto type = entry.find(MVPRecentDocumentDataRefTypeAttribute);
    if (bytes == entry.end() || type == entry.end() || !bytes->second.isData() || !type->second.isString())
        return std::nullopt;
    std::string typeText = type->second.stringValue();
    if (typeText.size() != 4)
        return std::nullopt;
    auto reference = MVDataReference::dataReferenceWithReference(
        bytes->second.dataValue().bytes, MVOSTypeForString(typeText));
    // A stored file or URL whose bytes could not be read stays undecoded: it leads nowhere.
    if (reference.isNone() || reference.kind() == MVDataReference::Kind::Other)
        return std::nullopt;
    return reference;
}

bool hasRequiredKeys(const Entry& entry)
{
    return entry.count(MVPRecentDocumentNameAttribute) && entry.count(MVPRecentDocumentDataRefAttribute)
        && entry.count(MVPRecentDocumentDataRefTypeAttribute);
}

size_t clampedLimit(int64_t limit)
{
    return limit < 0 ? 0 : size_t(limit);
}

bool addEntry(List& list, const Entry& entry, size_t limit)
{
    if (!hasRequiredKeys(entry))
        return false;
    HXPropertyList value(entry);
    auto existing = std::find(list.begin(), list.end(), value);
    if (existing != list.end())
        list.erase(existing);
    list.insert(list.begin(), value);
    // A list that grew past a lowered limit comes down to it here, not one entry at a time.
    trimToLimit(list, limit);
    return true;
}

bool trimToLimit(List& list, size_t limit)
{
    if (list.size() <= limit)
        return false;
    list.resize(limit);
    return true;
}

size_t countOfEntriesNamed(const List& list, const std::string& name)
{
    return size_t(std::count_if(list.begin(), list.end(), [&](const HXPropertyList& e) {
        return e.isDictionary() && e.contains(MVPRecentDocumentNameAttribute)
            && e[MVPRecentDocumentNameAttribute].stringValue() == name;
    }));
}

std::string menuTitleOfEntry(const List& list, const Entry& entry)
{
    auto name = entry.find(MVPRecentDocumentNameAttribute);
    std::string title = name == entry.end() ? std::string() : name->second.stringValue();
    auto alt = entry.find(MVPRecentDocumentAltNameAttribute);
    if (alt != entry.end() && !alt->second.stringValue().empty() && countOfEntriesNamed(list, title) > 1)
        return alt->second.stringValue();
    return title;
}

} // namespace MVPRecentDocuments
