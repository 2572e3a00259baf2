#pragma once
// The About panel: the program's version and copyright.
#include <string>

namespace MVPAboutPanel {

// The version shown for a "SourceVersion" digit string: the last two digits are the third part, the two
// before them the second, all before those the first ("7650200" -> "765.2", "7650000" -> "765",
// "7650201" -> "765.2.1"). A value that is not a digit string with at least one digit before the last four
// gives the empty text (the version is unknown).
std::string versionStringFromSourceVersion(const std::string& sourceVersion);

// "SourceVersion" of the main bundle's version.plist, formatted; "Engineering Build" without one.
std::string applicationVersion();

// Shows the panel (modal).
void orderFrontAboutPanel();

} // namespace MVPAboutPanel
