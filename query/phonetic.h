#pragma once

#include <QStringList>
#include <QStringView>

// A name's pinyin for other programs that sort Chinese names by their reading (a phone's address book).
namespace telvane::query {

// One toneless syllable per character in lower case, each character's usual reading from the reading table; with
// `asSurname` the text is a family name and its first character takes its surname reading (曾 zeng, 单 shan, and a
// compound surname read as one: 尉迟 yu chi). An empty list when any character has no reading (a Latin letter, a
// symbol, a character outside GBK).
QStringList phoneticReading(QStringView text, bool asSurname);

} // namespace telvane::query
