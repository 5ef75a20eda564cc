#pragma once

// Checks the contacts fuzz targets share: what a reader gives is seven one-line cells of valid text, every record
// tidied as the import stores it is one the field rules accept, and it comes back unchanged from the writer of the
// same format.
#include "contacts/contact_list.h"
#include "import/bulk_import.h"
#include "text/gbk.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace telvane::fuzzing {

inline void check(bool condition, const char* target, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "%s: %s\n", target, what);
        std::abort();
    }
}

inline bool isOneLineText(const QString& cell)
{
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const char16_t c = cell[i].unicode();
        if (c < 0x20 || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029) {
            return false;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < cell.size() && cell[i + 1].isLowSurrogate()) {
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return false;
        }
    }
    return true;
}

// Checks the records read, and returns them as the import would store them (tidied twice), empty ones left out.
inline QList<contacts::RecordTexts> checkedAndTidied(const contacts::ContactList& list, const char* target)
{
    QList<contacts::RecordTexts> tidied;
    for (const contacts::RecordTexts& record : list.records) {
        check(std::any_of(record.begin(), record.end(), [](const QString& f) { return !f.isEmpty(); }), target,
              "an empty record was read");
        import::RowCells cells;
        store::Record gbk;
        for (std::size_t k = 0; k < record.size(); ++k) {
            check(isOneLineText(record[k]), target, "a cell is not one line of valid text");
            gbk[k] = text::toGbk(record[k]);
            cells[k] = gbk[k];
        }
        store::Record stored = import::tidyRow(cells);
        import::retidyRow(stored);
        // What the import stores is what the field rules accept: one line, within its field's width.
        for (std::size_t k = 0; k < stored.size(); ++k) {
            check(stored[k].size() <= store::kFields[k].width, target, "a tidied field is wider than its field");
            check(stored[k].find_first_of("\r\n\t") == std::string::npos, target, "a tidied field is not one line");
        }
        contacts::RecordTexts texts;
        for (std::size_t k = 0; k < stored.size(); ++k) {
            texts[k] = text::fromGbk(stored[k]);
        }
        if (std::any_of(texts.begin(), texts.end(), [](const QString& f) { return !f.isEmpty(); })) {
            tidied.append(texts);
        }
    }
    return tidied;
}

} // namespace telvane::fuzzing
