#include "query/result_row.h"

#include "text/gbk.h"

namespace telvane::query {

std::string resultRow(int ordinal, const store::Record& record)
{
    std::string line = text::decimal(ordinal);
    for (const std::string& field : record) {
        line += ' ';
        // A row is one line, also for a field another program wrote a line break or a tab into: it shows as a
        // space. (These bytes are never part of a GBK or GB18030 character.)
        for (std::size_t i = 0; i < field.size(); ++i) {
            const char c = field[i];
            if (c == '\r' || c == '\n') {
                while (i + 1 < field.size() && (field[i + 1] == '\r' || field[i + 1] == '\n')) {
                    ++i;
                }
                line += ' ';
            } else {
                line += c == '\t' ? ' ' : c;
            }
        }
    }
    return line;
}

} // namespace telvane::query
