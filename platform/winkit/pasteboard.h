#pragma once
// HXPasteboard: named places where data is put for copy and paste ("HXGeneralPboard") and for drag and
// drop ("HXDragPboard"). Data is kept per type; an owner may promise types and provide them on demand.
#include "platform/basekit/property_list.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* HXGeneralPboard = "HXGeneralPboard";
inline constexpr const char* HXDragPboard = "HXDragPboard";
inline constexpr const char* HXStringPboardType = "HXStringPboardType";
inline constexpr const char* HXFilenamesPboardType = "HXFilenamesPboardType";
// Movies on the pasteboard (the media layer's own type uses the same name).
inline constexpr const char* HXMoviePboardType = "MVMoviePasteboardType";

class HXPasteboard;

class HXPasteboardOwner {
public:
    virtual ~HXPasteboardOwner() = default;
    // Asked for a promised type the first time someone reads it; write it with setData & co.
    virtual void pasteboardProvideDataForType(HXPasteboard& pasteboard, const std::string& type) = 0;
    virtual void pasteboardChangedOwner(HXPasteboard& pasteboard) { (void)pasteboard; }
};

class HXPasteboard : public std::enable_shared_from_this<HXPasteboard> {
public:
    static std::shared_ptr<HXPasteboard> generalPasteboard();
    static std::shared_ptr<HXPasteboard> pasteboardWithName(const std::string& name);
    // A pasteboard of its own (not shared by name).
    static std::shared_ptr<HXPasteboard> pasteboardWithUniqueName();

    explicit HXPasteboard(std::string name);
    const std::string& name() const { return _name; }

    // Clears the pasteboard, promises `types` and returns the new change count.
    long declareTypes(const std::vector<std::string>& types, const std::shared_ptr<HXPasteboardOwner>& owner);
    long addTypes(const std::vector<std::string>& types, const std::shared_ptr<HXPasteboardOwner>& owner);
    long clearContents();
    const std::vector<std::string>& types() const { return _types; }
    // The first of `types` the pasteboard has, or "".
    std::string availableTypeFromArray(const std::vector<std::string>& types) const;
    long changeCount() const { return _changeCount; }

    // Writing a type not declared adds it.
    bool setData(const HXData& data, const std::string& type);
    bool setString(const std::string& string, const std::string& type);
    bool setPropertyList(const HXPropertyList& plist, const std::string& type);
    std::optional<HXData> dataForType(const std::string& type);
    std::optional<std::string> stringForType(const std::string& type);
    std::optional<HXPropertyList> propertyListForType(const std::string& type);

    // File names (HXFilenamesPboardType) as a list.
    bool setFileNames(const std::vector<std::string>& paths);
    std::vector<std::string> fileNames();

private:
    void provide(const std::string& type);

    std::string _name;
    std::vector<std::string> _types;
    std::map<std::string, HXPropertyList> _values;
    std::weak_ptr<HXPasteboardOwner> _owner;
    long _changeCount = 0;
};
