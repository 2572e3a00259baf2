#pragma once
// MVPButtonImageSet: the pictures of one image button, one per control state.
//
// A set is found by a base name among the image files at the top of a bundle's resources: every file whose
// name begins with the base name (ignoring case) belongs to it, and the rest of its name tells the state the
// picture is for ("PlayPressed.png", "PlayOnDisabled.png", "PlayInactive.png" ...). Sets are shared: while
// a set is alive, asking again for the same base name and bundle gives the same object; once the last user
// lets go, the next request reads the folder again.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class HXBundle;
class HXImage;

// The version of our toolkit's look, compared with 905.0 where newer artwork ("kestrel" files, images
// named with "-Kestrel") is preferred over the older one.
inline constexpr double MVPToolkitVersionNumber = 1000.0;

// A control state as the images are keyed by: value 1 on, 0 off, −1 mixed; state 1 pressed, 0 enabled,
// −1 disabled. −1 keeps its two low bits (3).
constexpr uint32_t MVPButtonImageSetKey(int value, int state, bool active, bool rollover)
{
    return (uint32_t(value) & 3u) | ((uint32_t(state) & 3u) << 2) | (active ? 16u : 0u)
        | (rollover ? 32u : 0u);
}

// What one file name says about the picture it holds.
struct MVPButtonImageFileState {
    int value = 0;
    int state = 0;
    bool active = true;
    bool rollover = false;
    bool kestrel = false; // newer artwork; used only by toolkits above 905.0
    bool operator==(const MVPButtonImageFileState&) const = default;
};

// Decodes `fileName` (a file name with its extension) as a member of the set `baseName`: nothing when the
// stem does not begin with the base name (ignoring case) or the extension is not a readable image type.
std::optional<MVPButtonImageFileState> MVPButtonImageFileStateForName(
    const std::string& fileName, const std::string& baseName);

class MVPButtonImageSet {
public:
    // The set of that base name in the main bundle's resources (or `bundle`'s). Never null: a name without
    // files gives an empty set, which is shared like any other.
    static std::shared_ptr<MVPButtonImageSet> imageSetWithBaseImageName(const std::string& baseName);
    static std::shared_ptr<MVPButtonImageSet> imageSetWithBaseImageName(
        const std::string& baseName, const std::shared_ptr<HXBundle>& bundle);
    // The set of the files of `resourcePath` (the top of the folder only) as the toolkit of version
    // `toolkitVersion` chooses them. Not shared.
    static std::shared_ptr<MVPButtonImageSet> imageSetFromResourceFolder(
        const std::string& baseName, const std::string& resourcePath, double toolkitVersion);

    // An empty set of its own, filled with setImage (not shared).
    MVPButtonImageSet() = default;
    ~MVPButtonImageSet();
    MVPButtonImageSet(const MVPButtonImageSet&) = delete;
    MVPButtonImageSet& operator=(const MVPButtonImageSet&) = delete;

    // Replaces the picture of that state, or adds it; a null image for a state without one changes nothing
    // (and for a state with one, leaves the state without a picture).
    void setImage(const std::shared_ptr<HXImage>& image, int value, int state, bool active, bool rollover);
    // The picture of exactly that state, or null; no fallback to a neighbouring state.
    std::shared_ptr<HXImage> imageForValue(int value, int state, bool active, bool rollover) const;
    bool isEmpty() const { return _internal.empty(); }
    size_t count() const { return _internal.size(); }
    // Every distinct picture of the set.
    std::vector<std::shared_ptr<HXImage>> imageEnumerator() const;

private:
    struct Entry {
        uint32_t key;
        std::shared_ptr<HXImage> image;
    };
    void setImageForKey(const std::shared_ptr<HXImage>& image, uint32_t key);

    std::vector<Entry> _internal; // sorted by key, keys unique
    // Base name and bundle path while the shared sets list this set.
    std::optional<std::pair<std::string, std::string>> _cacheKey;
};
