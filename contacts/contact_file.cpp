#include "contacts/contact_file.h"

#include "contacts/sheet_reader.h"
#include "contacts/table_reader.h"
#include "contacts/vcard_reader.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

ContactFormat detectContactFormat(QByteArrayView file)
{
    switch (detectSheetFormat(file)) {
        case SheetFormat::Xlsx:
            return ContactFormat::Xlsx;
        case SheetFormat::Ods:
            return ContactFormat::Ods;
        case SheetFormat::None:
            break;
    }
    // The first line that holds something, in whatever encoding the file is.
    const QString start = decodeText(file.first(std::min<qsizetype>(file.size(), 4096))).trimmed();
    return start.startsWith(u"BEGIN:VCARD"_s, Qt::CaseInsensitive) ? ContactFormat::VCard : ContactFormat::Csv;
}

bool readContacts(QByteArrayView file, ContactList* list, QString* error, ContactFormat* format)
{
    const ContactFormat found = detectContactFormat(file);
    if (format) {
        *format = found;
    }
    switch (found) {
        case ContactFormat::VCard:
            *list = readVCards(file);
            return true;
        case ContactFormat::Csv:
            *list = readCsv(file);
            return true;
        case ContactFormat::Xlsx:
        case ContactFormat::Ods:
            break;
    }
    return readSheet(file, list, error);
}

bool readContactFile(const QString& path, ContactList* list, QString* error, ContactFormat* format)
{
    QFile file(path);
    // The reason goes into a message for the user: a Chinese sentence, with the system's own words in brackets.
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = u"无法打开文件（%1）"_s.arg(file.errorString());
        }
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) {
            *error = u"无法读取文件（%1）"_s.arg(file.errorString());
        }
        return false;
    }
    return readContacts(bytes, list, error, format);
}

} // namespace telvane::contacts
