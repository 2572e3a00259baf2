#pragma once
// Finding, loading and ordering the pane plug-ins (see pane_interface.h for what a pane bundle is).
#include "inspectors/pane_interface.h"

#include <string>
#include <vector>

class HXBundle;

// A pane class: the factory of a loaded pane bundle (it knows its bundle and its host).
using MVPPaneClass = MVPPropertyInspectorFactory*;

namespace MVPPaneLoader {

// The folders searched, in order: the program's PlugIns/ folder, then the property-panes folder under each
// library folder (user first: $XDG_DATA_HOME, then each of $XDG_DATA_DIRS).
std::vector<std::string> searchFolders();

// The pane classes of the bundles in `folder`, in listing order. Every entry is tried; a file that is not
// a bundle folder is passed over, and a bundle whose code does not load, lacks the entry points, answers
// another interface version or no factory is skipped with a line in the log. Each factory found gets its
// bundle and `host`. A folder that cannot be read gives none.
std::vector<MVPPaneClass> inspectorClassesAtPath(const std::string& folder, MVPPaneHost* host);

// The pane class of one bundle folder, or null (logged as above, unless it is no folder at all).
MVPPaneClass paneClassOfBundle(const std::string& path, MVPPaneHost* host);

// -1 for "MVOrderFirst", +1 for "MVOrderLast", 0 for anything else in the bundle's
// "MVPropertyInspectorSortOrder" (a missing bundle included).
int sortRank(const HXBundle* bundle);
// The bundle's "MVPropertyInspectorName", "" when it has none.
std::string inspectorName(const HXBundle* bundle);
// Tab order: lower rank first; equal ranks by the locale's order of the names (a missing name sorts as
// the empty name).
bool precedes(MVPPaneClass a, MVPPaneClass b);
// Sorts stably with precedes (equal panes keep the order they were found in).
void sortInspectorClasses(std::vector<MVPPaneClass>& classes);
// The locale's order of two texts: negative, zero or positive.
int localizedCompare(const std::string& a, const std::string& b);

} // namespace MVPPaneLoader
