#pragma once

#include "store/record.h"

#include <string>

namespace telvane::query {

// A result row as the Main window and telvane-cli show it: the ordinal in the Result list, then every field of the
// record in field order, each after one blank; fields are neither padded nor cut. A row is one line: a tab or a run
// of line breaks inside a field shows as one space. GBK bytes.
std::string resultRow(int ordinal, const store::Record& record);

} // namespace telvane::query
