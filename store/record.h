#pragma once

#include "store/fields.h"

#include <QString>

#include <array>
#include <string>

namespace telvane::store {

// One record's field values as GBK bytes, in field order.
using Record = std::array<std::string, kFieldCount>;

// The seven texts of a record as the windows show them, in field order.
using RecordTexts = std::array<QString, kFieldCount>;

} // namespace telvane::store
