#pragma once
// Ordered-placeholder formatting for localized texts: "{%0}", "{%1}" ... name the arguments by
// position, so a translation may put them in any order.
#include "platform/basekit/property_list.h"

#include <string>
#include <string_view>
#include <vector>

namespace HXString_MVFormatAdditions {

// For i = 0, 1, 2 ... the first "{%i}" of the format is replaced by the text of argument i (as %@
// prints it); the first index without a placeholder, or without an argument, ends the work. Only
// the format's own text is searched: text that came from an argument is never substituted again.
std::string stringWithOrderedFormat(std::string_view format, const std::vector<HXPropertyList>& arguments);

} // namespace HXString_MVFormatAdditions
