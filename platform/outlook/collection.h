#pragma once
// Helpers shared by the collections of the object model.
#include <cstddef>
#include <functional>
#include <string>

#include "platform/com/variant.h"

namespace outlook {

// The 0-based position that an Item(index) argument names: a number from 1 to `count`, or a
// text compared with each element's name (letter case ignored). DISP_E_BADINDEX (thrown) when
// nothing matches.
std::size_t IndexArg(const com::Variant& index, std::size_t count, const std::function<std::string(std::size_t)>& nameAt);

// Like IndexArg, but a name that matches nothing gives `count` instead of throwing.
std::size_t FindByName(const com::Variant& index, std::size_t count,
                       const std::function<std::string(std::size_t)>& nameAt);

// The automation date of now, in local time.
double NowDate();

}  // namespace outlook
