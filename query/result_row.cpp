#include "query/result_row.h"

#include "text/gbk.h"

namespace telvane::query {

std::string resultRow(int ordinal, const store::Record& record)
{
    std::string line = text::decimal(ordinal);
    for (const std::string& field : record) {
        line += ' ';
        line += field;
    }
    return line;
}

} // namespace telvane::query
