#pragma once

#include "contacts/contact_list.h"

#include <QByteArrayView>

// Reads the vCard files phones and address books write: version 2.1 (quoted-printable values with soft line breaks,
// CHARSET on a property, bare types such as TEL;CELL, base64 photos over several lines), 3.0 and 4.0, folded lines,
// escaped characters, several cards in one file, group prefixes (item1.TEL with its item1.X-ABLabel). A file without
// a byte-order mark that is not valid UTF-8 is read as GB18030, as older phones write it.
//
// One record per card: the formatted name (else family and given name), the first part of the organisation, the
// notes, and the telephone numbers by type (work → office, home → home, cell → mobile; a number without a type, or
// one whose field is taken, goes to the first empty phone field and then into the remark). Photos, addresses,
// e-mail addresses and every other property are left out; so is a card that holds none of the seven fields, which
// the report counts.
namespace telvane::contacts {

ContactList readVCards(QByteArrayView file);

} // namespace telvane::contacts
