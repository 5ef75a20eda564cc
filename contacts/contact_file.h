#pragma once

#include "contacts/contact_list.h"

#include <QByteArrayView>
#include <QString>

// One entry point for a contacts file of any kind the directory takes, told apart by its content: a spreadsheet
// (.xlsx, .ods), a vCard file (its first line begins BEGIN:VCARD), or else a CSV/TXT table.
namespace telvane::contacts {

enum class ContactFormat { VCard, Csv, Xlsx, Ods };

ContactFormat detectContactFormat(QByteArrayView file);

// The records of the file's content. False, with the reason, only for a spreadsheet that cannot be read: any text
// reads as some table.
bool readContacts(QByteArrayView file, ContactList* list, QString* error = nullptr, ContactFormat* format = nullptr);
// The same for a file on disk; false also when it cannot be opened.
bool readContactFile(const QString& path, ContactList* list, QString* error = nullptr, ContactFormat* format = nullptr);

} // namespace telvane::contacts
