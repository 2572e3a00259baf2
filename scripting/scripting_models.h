#pragma once
// The small scripting objects that are neither documents nor tracks: a favorite, a recent item, a
// display, an internet location, and the scripting keys of a window. Each list of them is made anew when
// a script asks for it; an object wraps one stored value and names itself under its container.
#include "platform/basekit/scripting_command.h"
#include "platform/basekit/url.h"
#include "platform/winkit/screen.h"

#include <memory>

class HXWindow;

struct MVPModelFavorite {
    HXPropertyList::Dictionary _favoriteInfo; // {"name", "dataRef", "dataRefType"}
};

struct MVPModelRecentItem {
    HXPropertyList::Dictionary _recentDocumentInfo; // {"name", "dataRef", "dataRefType"}
};

struct MVPModelDisplay {
    HXScreen _screen;
};

struct MVPModelInternetLocation {
    HXURL _location;
    HXScriptReference _parent; // the movie or the favorite holding it
};

namespace MVPScriptingModels {

const HXScriptClass<MVPModelFavorite>& favoriteClassDescription();
const HXScriptClass<MVPModelRecentItem>& recentItemClassDescription();
const HXScriptClass<MVPModelDisplay>& displayClassDescription();
const HXScriptClass<MVPModelInternetLocation>& internetLocationClassDescription();
const HXScriptClass<HXWindow>& windowClassDescription();

HXScriptReference favorite(const HXPropertyList::Dictionary& entry);
HXScriptReference recentItem(const HXPropertyList::Dictionary& entry);
HXScriptReference display(const HXScreen& screen);
HXScriptReference internetLocation(const HXURL& url, HXScriptReference parent);

// 'alis' for an entry of a file, 'url ' for one of a URL, 'unkn' for anything else.
uint32_t kindOfEntry(const HXPropertyList::Dictionary& entry);

} // namespace MVPScriptingModels
