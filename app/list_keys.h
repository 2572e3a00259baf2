#pragma once
// The keys the player's list views turn into requests to their data source.
#include "platform/winkit/event.h"

namespace MVListKeys {

inline constexpr char32_t kDelete = 127;
inline constexpr char32_t kEnter = 3;
inline constexpr char32_t kReturn = 13;

inline bool isDelete(char32_t key)
{
    return key == kDelete || key == HXDeleteFunctionKey;
}

inline bool isOpen(char32_t key)
{
    return key == kEnter || key == kReturn;
}

} // namespace MVListKeys
