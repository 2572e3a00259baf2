#include "player/controls/button_image_set.h"

#include "platform/basekit/bundle.h"
#include "platform/drawing/image.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace {

std::string lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool contains(const std::string& s, const char* word)
{
    return s.find(word) != std::string::npos;
}

// 1, 0 or −1 for the one word of the three that the suffix holds; 0 when it holds none or several.
int exactlyOne(const std::string& suffix, const char* plus, const char* zero, const char* minus)
{
    bool p = contains(suffix, plus), z = contains(suffix, zero), m = contains(suffix, minus);
    if (int(p) + int(z) + int(m) != 1)
        return 0;
    return p ? 1 : m ? -1 : 0;
}

// The shared sets by base name and bundle. The cache does not keep a set alive: a set takes its own entry
// out when it goes. Kept until the process ends, so that sets held by other static objects can still take
// themselves out while the program shuts down.
using SharedSets = std::map<std::pair<std::string, std::string>, std::weak_ptr<MVPButtonImageSet>>;
SharedSets& sharedSets()
{
    static auto* sets = new SharedSets;
    return *sets;
}

} // namespace

std::optional<MVPButtonImageFileState> MVPButtonImageFileStateForName(
    const std::string& fileName, const std::string& baseName)
{
    std::filesystem::path path(fileName);
    std::string stem = path.stem().string();
    std::string extension = path.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    if (stem.size() < baseName.size() || lowercase(stem.substr(0, baseName.size())) != lowercase(baseName))
        return std::nullopt;
    auto types = HXImage::imageUnfilteredFileTypes();
    if (std::find(types.begin(), types.end(), lowercase(extension)) == types.end())
        return std::nullopt;

    std::string suffix = lowercase(stem.substr(baseName.size()));
    MVPButtonImageFileState result;
    result.value = exactlyOne(suffix, "on", "off", "mixed");
    result.state = exactlyOne(suffix, "pressed", "enabled", "disabled");
    result.active = !contains(suffix, "inactive");
    result.rollover = contains(suffix, "rollover");
    result.kestrel = contains(suffix, "kestrel");
    return result;
}

std::shared_ptr<MVPButtonImageSet> MVPButtonImageSet::imageSetWithBaseImageName(const std::string& baseName)
{
    return imageSetWithBaseImageName(baseName, HXBundle::mainBundle());
}

std::shared_ptr<MVPButtonImageSet> MVPButtonImageSet::imageSetWithBaseImageName(
    const std::string& baseName, const std::shared_ptr<HXBundle>& bundle)
{
    std::string bundlePath = bundle ? bundle->bundlePath() : std::string();
    auto key = std::make_pair(baseName, bundlePath);
    auto& sets = sharedSets();
    if (auto it = sets.find(key); it != sets.end()) {
        if (auto set = it->second.lock())
            return set;
    }
    auto set = imageSetFromResourceFolder(
        baseName, bundle ? bundle->resourcePath() : std::string(), MVPToolkitVersionNumber);
    set->_cacheKey = key;
    sets[key] = set;
    return set;
}

std::shared_ptr<MVPButtonImageSet> MVPButtonImageSet::imageSetFromResourceFolder(
    const std::string& baseName, const std::string& resourcePath, double toolkitVersion)
{
    auto plain = std::make_shared<MVPButtonImageSet>();
    auto kestrel = std::make_shared<MVPButtonImageSet>();
    if (resourcePath.empty())
        return plain;

    // Sorted, so that two files decoding to one state settle the same way every time (the later name wins).
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(resourcePath, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());

    for (const auto& file : files) {
        auto decoded = MVPButtonImageFileStateForName(file.filename().string(), baseName);
        if (!decoded)
            continue;
        if (decoded->kestrel && toolkitVersion <= 905.0)
            continue;
        auto image = HXImage::initByReferencingFile(file.string());
        auto& target = decoded->kestrel ? kestrel : plain;
        target->setImage(image, decoded->value, decoded->state, decoded->active, decoded->rollover);
    }
    // Newer artwork, when there is any, replaces the older set as a whole rather than mixing with it.
    return kestrel->isEmpty() ? plain : kestrel;
}

MVPButtonImageSet::~MVPButtonImageSet()
{
    if (!_cacheKey)
        return;
    auto& sets = sharedSets();
    auto it = sets.find(*_cacheKey);
    // The entry is this set's only while it has not been replaced by a newer set of the same name.
    if (it != sets.end() && it->second.expired())
        sets.erase(it);
}

void MVPButtonImageSet::setImage(
    const std::shared_ptr<HXImage>& image, int value, int state, bool active, bool rollover)
{
    setImageForKey(image, MVPButtonImageSetKey(value, state, active, rollover));
}

void MVPButtonImageSet::setImageForKey(const std::shared_ptr<HXImage>& image, uint32_t key)
{
    auto it = std::lower_bound(
        _internal.begin(), _internal.end(), key, [](const Entry& e, uint32_t k) { return e.key < k; });
    if (it != _internal.end() && it->key == key) {
        it->image = image;
        return;
    }
    if (!image)
        return;
    _internal.insert(it, Entry { key, image });
}

std::shared_ptr<HXImage> MVPButtonImageSet::imageForValue(
    int value, int state, bool active, bool rollover) const
{
    uint32_t key = MVPButtonImageSetKey(value, state, active, rollover);
    auto it = std::lower_bound(
        _internal.begin(), _internal.end(), key, [](const Entry& e, uint32_t k) { return e.key < k; });
    if (it != _internal.end() && it->key == key)
        return it->image;
    return nullptr;
}

std::vector<std::shared_ptr<HXImage>> MVPButtonImageSet::imageEnumerator() const
{
    std::vector<std::shared_ptr<HXImage>> images;
    std::set<HXImage*> seen;
    for (const auto& entry : _internal) {
        if (entry.image && seen.insert(entry.image.get()).second)
            images.push_back(entry.image);
    }
    return images;
}
