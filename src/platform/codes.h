#pragma once

#include <type_traits>

namespace kw {

// The number a stored file holds for an enumerator. Records keep the stored
// integer as it is (out-of-range values included), and code compares it with
// the enumerators by this: `prefs.outputFolderOpts == Code(OutputFolderOption::ChosenFolder)`.
template <typename Enum>
requires std::is_enum_v<Enum>
constexpr std::underlying_type_t<Enum> Code(Enum value)
{
    return static_cast<std::underlying_type_t<Enum>>(value);
}

} // namespace kw
