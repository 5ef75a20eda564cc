#pragma once

#include "store/fields.h"

#include <array>
#include <string>

namespace telvane::store {

// One record's field values as GBK bytes, in field order.
using Record = std::array<std::string, kFieldCount>;

} // namespace telvane::store
