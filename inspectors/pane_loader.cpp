#include "inspectors/pane_loader.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/file_manager.h"

#include <algorithm>
#include <memory>
#include <string>

#include <unicode/ucol.h>
#include <unicode/uloc.h>

namespace MVPPaneLoader {

namespace {

void logSkipped(const std::string& path, const std::string& why)
{
    HXLog("Pane bundle \"" + path + "\" skipped: " + why);
}

std::string infoString(const HXBundle* bundle, const char* key)
{
    if (!bundle)
        return {};
    HXPropertyList value = bundle->objectForInfoDictionaryKey(key);
    return value.isString() ? value.stringValue() : std::string();
}

} // namespace

std::vector<std::string> searchFolders()
{
    std::vector<std::string> folders { HXBundle::mainBundle()->builtInPlugInsPath() };
    for (const std::string& library :
        HXSearchPathForDirectoriesInDomains(HXAllLibrariesDirectory, HXAllDomainsMask, true))
        folders.push_back(library + "/" + MVPPropertyPanesFolder);
    return folders;
}

MVPPaneClass paneClassOfBundle(const std::string& path, MVPPaneHost* host)
{
    // Plain files (a stray note beside the panes) are no bundles; nothing to say about them.
    auto bundle = HXBundle::bundleWithPath(path);
    if (!bundle)
        return nullptr;
    HXError error;
    if (!bundle->load(&error)) {
        std::string why = error.localizedDescription();
        if (std::string reason = error.localizedFailureReason(); !reason.empty())
            why += " (" + reason + ")";
        logSkipped(path, why);
        return nullptr;
    }
    auto version
        = reinterpret_cast<MVPPaneInterfaceVersionFunction>(bundle->symbol(MVPPaneInterfaceVersionSymbol));
    auto principal
        = reinterpret_cast<MVPPanePrincipalClassFunction>(bundle->symbol(MVPPanePrincipalClassSymbol));
    if (!version || !principal) {
        logSkipped(path,
            std::string("its code has no ")
                + (version ? MVPPanePrincipalClassSymbol : MVPPaneInterfaceVersionSymbol) + " entry point");
        return nullptr;
    }
    if (int v = version(); v != kMVPPaneInterfaceVersion) {
        logSkipped(path,
            "it was built for pane interface version " + std::to_string(v) + ", this player speaks version "
                + std::to_string(kMVPPaneInterfaceVersion));
        return nullptr;
    }
    MVPPaneClass factory = principal();
    if (!factory) {
        logSkipped(path, "it answers no pane class");
        return nullptr;
    }
    factory->setBundle(bundle);
    factory->setHost(host);
    return factory;
}

std::vector<MVPPaneClass> inspectorClassesAtPath(const std::string& folder, MVPPaneHost* host)
{
    std::vector<MVPPaneClass> classes;
    // Names are joined to the folder rather than changing the process's current directory, which other
    // threads (decoders, device queries) rely on.
    auto names = HXFileManager::defaultManager().contentsOfDirectoryAtPath(folder);
    if (!names)
        return classes;
    for (const std::string& name : *names) {
        MVPPaneClass factory = paneClassOfBundle(folder + "/" + name, host);
        // The same bundle reached twice (a link to it) gives its class once.
        if (factory && std::find(classes.begin(), classes.end(), factory) == classes.end())
            classes.push_back(factory);
    }
    return classes;
}

int sortRank(const HXBundle* bundle)
{
    std::string order = infoString(bundle, MVPropertyInspectorSortOrderKey);
    if (order == MVOrderFirst)
        return -1;
    if (order == MVOrderLast)
        return 1;
    return 0;
}

std::string inspectorName(const HXBundle* bundle)
{
    return infoString(bundle, MVPropertyInspectorNameKey);
}

int localizedCompare(const std::string& a, const std::string& b)
{
    UErrorCode status = U_ZERO_ERROR;
    // Without a language (LANG=C) ICU picks the POSIX order, capitals first; users expect the common one.
    std::string locale = uloc_getDefault();
    if (locale.rfind("en_US_POSIX", 0) == 0)
        locale.clear();
    std::unique_ptr<UCollator, decltype(&ucol_close)> collator(
        ucol_open(locale.c_str(), &status), ucol_close);
    if (U_SUCCESS(status) && collator) {
        UCollationResult r = ucol_strcollUTF8(
            collator.get(), a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), &status);
        if (U_SUCCESS(status))
            return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
    }
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool precedes(MVPPaneClass a, MVPPaneClass b)
{
    const HXBundle* bundleA = a ? a->bundle().get() : nullptr;
    const HXBundle* bundleB = b ? b->bundle().get() : nullptr;
    int rankA = sortRank(bundleA), rankB = sortRank(bundleB);
    if (rankA != rankB)
        return rankA < rankB;
    // A missing name counts as the empty one, whichever side lacks it, so the order stays strict.
    return localizedCompare(inspectorName(bundleA), inspectorName(bundleB)) < 0;
}

void sortInspectorClasses(std::vector<MVPPaneClass>& classes)
{
    std::stable_sort(classes.begin(), classes.end(), precedes);
}

} // namespace MVPPaneLoader
