#pragma once
// The marks of the store's text form, which its reader and its writer share.
#include <string_view>

namespace registry::store {

inline constexpr std::string_view kHeader = "REGEDIT4";
// Written last: a store cut short anywhere, even at a line boundary, lacks it.
inline constexpr std::string_view kTrailer = "; end";

} // namespace registry::store
