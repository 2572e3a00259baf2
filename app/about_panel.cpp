#include "app/about_panel.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/property_list.h"
#include "platform/winkit/alert.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace MVPAboutPanel {

namespace {

constexpr size_t kMaximumFirstPartDigits = 9; // fits an int

std::string number(const std::string& digits)
{
    // Leading zeros go, as an integer would print.
    auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

} // namespace

std::string versionStringFromSourceVersion(const std::string& sourceVersion)
{
    bool digitsOnly = std::all_of(
        sourceVersion.begin(), sourceVersion.end(), [](unsigned char c) { return std::isdigit(c); });
    if (!digitsOnly || sourceVersion.size() < 5 || sourceVersion.size() > 4 + kMaximumFirstPartDigits)
        return {};
    std::string a = sourceVersion.substr(0, sourceVersion.size() - 4);
    std::string b = sourceVersion.substr(sourceVersion.size() - 4, 2);
    std::string c = sourceVersion.substr(sourceVersion.size() - 2);
    if (b == "00" && c == "00")
        return number(a);
    if (c == "00")
        return number(a) + "." + number(b);
    return number(a) + "." + number(b) + "." + number(c);
}

std::string applicationVersion()
{
    auto bundle = HXBundle::mainBundle();
    auto plist = HXPropertyList::readFromFile(bundle->bundlePath() + "/version.plist");
    std::string version
        = plist ? versionStringFromSourceVersion((*plist)["SourceVersion"].stringValue()) : std::string();
    return version.empty() ? "Engineering Build" : version;
}

void orderFrontAboutPanel()
{
    auto alert = std::make_shared<HXAlert>();
    alert->setAlertStyle(HXInformationalAlertStyle);
    alert->setMessageText("Movara Player");
    alert->setInformativeText("Version " + applicationVersion() + "\n"
        + HXBundle::mainBundle()->localizedStringForKey("mvpCopyright"));
    alert->addButtonWithTitle("OK");
    alert->runModal();
}

} // namespace MVPAboutPanel
