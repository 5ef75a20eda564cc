#pragma once

#include <cstddef>

namespace telvane::widgets {

class ByteLimitedLineEdit;

// Makes a box take what field 0..6 of a record holds: its limit is the field's width counted as the store keeps
// the text (a name or unit counts a Latin letter as the full-width letter it becomes), and a telephone number too
// long for its field is first tried without its separators and country code.
void limitToField(ByteLimitedLineEdit* box, std::size_t field);

} // namespace telvane::widgets
