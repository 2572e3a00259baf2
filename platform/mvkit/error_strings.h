#pragma once
// MVLocalizedStringFromErrorCode: the media layer's words for its status codes (the numbers that jobs,
// exports and movie files report), in the user's language where the application's strings table has
// them (the code's key, as "mvKitError-36" for -36), else in English.
#include <cstdint>
#include <optional>
#include <string>

// Nothing for a code the media layer does not know (and for 0, which is no error).
std::optional<std::string> MVLocalizedStringFromErrorCode(int64_t code);
