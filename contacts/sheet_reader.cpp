#include "contacts/sheet_reader.h"

#include <orcus/format_detection.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

#include <QtGlobal>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace telvane::contacts {

namespace {

namespace iface = orcus::spreadsheet::iface;
using orcus::spreadsheet::col_t;
using orcus::spreadsheet::row_t;

constexpr col_t kMaxColumns = 1024;

QString numberText(double value)
{
    if (!std::isfinite(value)) {
        return {};
    }
    // Every whole number up to 2^53 is held exactly, and a number that long (an ID card number) is shown whole.
    if (value == std::floor(value) && std::fabs(value) <= 9007199254740992.0) {
        return QString::number(static_cast<qint64>(value));
    }
    return QString::number(value, 'g', 15);
}

using Position = std::pair<row_t, col_t>; // compares in row order, then column order

// The shared strings of the workbook: cells refer to them by index.
class Strings final : public iface::import_shared_strings
{
public:
    // An .ods cell of several paragraphs comes as one string per paragraph, and the cell then takes only the last;
    // the strings made since the last cell took its value are kept, so that the cell can have all of its lines.
    explicit Strings(bool paragraphs)
        : m_paragraphs(paragraphs)
    { }

    std::size_t append(std::string_view s) override
    {
        m_strings.emplace_back(s);
        return m_strings.size() - 1;
    }
    std::size_t add(std::string_view s) override
    {
        const auto [it, added] = m_index.try_emplace(std::string(s), m_strings.size());
        if (added) {
            m_strings.emplace_back(s);
        }
        return it->second;
    }
    void set_segment_font(std::size_t) override { }
    void set_segment_bold(bool) override { }
    void set_segment_italic(bool) override { }
    void set_segment_font_name(std::string_view) override { }
    void set_segment_font_size(double) override { }
    void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                                orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    { }
    void append_segment(std::string_view s) override { m_segments += s; }
    std::size_t commit_segments() override
    {
        const std::size_t index = append(m_segments);
        m_segments.clear();
        if (m_paragraphs) {
            m_pending.push_back(index);
        }
        return index;
    }

    // The strings made since the last call (the paragraphs read since the last cell took its value).
    std::vector<std::size_t> takePending() { return std::exchange(m_pending, {}); }

    QString text(std::size_t index) const { return index < m_strings.size() ? fromUtf8(m_strings[index]) : QString(); }

private:
    std::vector<std::string> m_strings;
    std::unordered_map<std::string, std::size_t> m_index;
    std::string m_segments;
    bool m_paragraphs;
    std::vector<std::size_t> m_pending;
};

// A cell's content: a text, or a shared string by index (the strings may not all be known yet).
struct Cell
{
    QString text;
    std::size_t sharedString = 0;
    bool shared = false;
    // .ods: the paragraphs read since the cell that took its value before this one, at `after`. Formula cells in
    // between, whose values come at the end of the file, read theirs first.
    std::vector<std::size_t> paragraphs;
    Position after {-1, -1};
};

class Sheet;

// The cached results of formula cells.
class Formula final : public iface::import_formula
{
public:
    explicit Formula(Sheet& sheet)
        : m_sheet(sheet)
    { }
    void set_position(row_t row, col_t col) override
    {
        m_row = row;
        m_col = col;
        m_text.clear();
    }
    void set_formula(orcus::spreadsheet::formula_grammar_t, std::string_view) override { }
    void set_shared_formula_index(std::size_t) override { }
    void set_result_string(std::string_view value) override { m_text = fromUtf8(value); }
    void set_result_value(double value) override { m_text = numberText(value); }
    void set_result_bool(bool value) override { m_text = value ? u"TRUE"_s : u"FALSE"_s; }
    void set_result_empty() override { m_text.clear(); }
    void commit() override;

private:
    Sheet& m_sheet;
    row_t m_row = 0;
    col_t m_col = 0;
    QString m_text;
};

class Sheet final : public iface::import_sheet
{
public:
    Sheet(Strings& strings, bool keep)
        : m_strings(strings)
        , m_keep(keep)
        , m_formula(*this)
    { }

    void put(row_t row, col_t col, Cell cell)
    {
        cell.after = m_last;
        m_last = {row, col};
        if (m_keep && row >= 0 && col >= 0 && col < kMaxColumns) {
            m_cells[{row, col}] = std::move(cell);
        }
    }
    void putFormula(row_t row, col_t col, const QString& text)
    {
        m_formulas.push_back({row, col});
        if (m_keep && row >= 0 && col >= 0 && col < kMaxColumns) {
            m_cells[{row, col}] = {text, 0, false, {}, {}};
        }
    }

    iface::import_formula* get_formula() override { return &m_formula; }
    void set_auto(row_t row, col_t col, std::string_view s) override { put(row, col, plain(fromUtf8(s))); }
    void set_string(row_t row, col_t col, orcus::spreadsheet::string_id_t index) override
    {
        put(row, col, {QString(), index, true, m_strings.takePending(), {}});
    }
    void set_value(row_t row, col_t col, double value) override { put(row, col, plain(numberText(value))); }
    void set_bool(row_t row, col_t col, bool value) override { put(row, col, plain(value ? u"TRUE"_s : u"FALSE"_s)); }
    void set_date_time(row_t row, col_t col, int year, int month, int day, int hour, int minute, double second) override
    {
        QString text =
            u"%1-%2-%3"_s.arg(year, 4, 10, QChar(u'0')).arg(month, 2, 10, QChar(u'0')).arg(day, 2, 10, QChar(u'0'));
        if (hour != 0 || minute != 0 || second != 0) {
            text += u" %1:%2:%3"_s.arg(hour, 2, 10, QChar(u'0'))
                        .arg(minute, 2, 10, QChar(u'0'))
                        .arg(static_cast<int>(second), 2, 10, QChar(u'0'));
        }
        put(row, col, plain(text));
    }
    void set_format(row_t, col_t, std::size_t) override { }
    void set_format(row_t, col_t, row_t, col_t, std::size_t) override { }
    void fill_down_cells(row_t row, col_t col, row_t count) override
    {
        const auto source = m_cells.find({row, col});
        if (source == m_cells.end()) {
            return;
        }
        const Cell cell = source->second;
        for (row_t r = 1; r <= count && r <= kMaxRows; ++r) {
            put(row + r, col, cell);
        }
    }
    orcus::spreadsheet::range_size_t get_sheet_size() const override { return {1048576, 16384}; }

    Table table() const
    {
        std::vector<Position> formulas = m_formulas;
        std::sort(formulas.begin(), formulas.end());
        Table rows;
        for (const auto& [at, cell] : m_cells) {
            const auto [row, col] = at;
            const QString text = cell.shared ? sharedText(cell, at, formulas) : cell.text;
            if (text.isEmpty()) {
                continue;
            }
            while (rows.size() <= row) {
                rows.append(QStringList());
            }
            QStringList& cells = rows[row];
            while (cells.size() <= col) {
                cells.append(QString());
            }
            cells[col] = text;
        }
        return rows;
    }

private:
    static constexpr row_t kMaxRows = 1048576;

    Cell plain(const QString& text)
    {
        m_strings.takePending(); // the paragraphs of a number's or a date's cell: the value says it
        return {text, 0, false, {}, {}};
    }

    // The text of a string cell: its paragraphs joined with line breaks, once the paragraphs of the formula cells
    // between the cell before it and this one are left to those.
    QString sharedText(const Cell& cell, Position at, const std::vector<Position>& formulas) const
    {
        const auto from = std::upper_bound(formulas.begin(), formulas.end(), cell.after);
        const auto to = std::lower_bound(formulas.begin(), formulas.end(), at);
        const auto skip = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, to - from));
        if (cell.paragraphs.size() <= skip + 1) {
            return m_strings.text(cell.sharedString);
        }
        QStringList lines;
        for (std::size_t i = skip; i < cell.paragraphs.size(); ++i) {
            lines.append(m_strings.text(cell.paragraphs[i]));
        }
        return lines.join(u'\n');
    }

    Strings& m_strings;
    bool m_keep;
    Formula m_formula;
    std::map<Position, Cell> m_cells;
    std::vector<Position> m_formulas;
    Position m_last {-1, -1}; // the cell that took its value last
};

void Formula::commit()
{
    m_sheet.putFormula(m_row, m_col, m_text);
}

// Cell addresses in A1 notation ("B12", "$B$12", "Sheet1!B12"), as .xlsx files name their cells.
class References final : public iface::import_reference_resolver
{
public:
    orcus::spreadsheet::src_address_t resolve_address(std::string_view address) override
    {
        if (const std::size_t bang = address.rfind('!'); bang != std::string_view::npos) {
            address.remove_prefix(bang + 1);
        }
        std::int64_t col = 0;
        std::int64_t row = 0;
        std::size_t i = 0;
        auto skipDollar = [&] {
            if (i < address.size() && address[i] == '$') {
                ++i;
            }
        };
        skipDollar();
        const std::size_t lettersAt = i;
        for (; i < address.size() && std::isalpha(static_cast<unsigned char>(address[i])) && col <= kMaxAddress; ++i) {
            col = col * 26 + (std::toupper(static_cast<unsigned char>(address[i])) - 'A' + 1);
        }
        const bool letters = i > lettersAt;
        skipDollar();
        const std::size_t digitsAt = i;
        for (; i < address.size() && std::isdigit(static_cast<unsigned char>(address[i])) && row <= kMaxAddress; ++i) {
            row = row * 10 + (address[i] - '0');
        }
        if (!letters || i == digitsAt || i != address.size() || row < 1 || col > kMaxAddress || row > kMaxAddress) {
            throw std::invalid_argument("not a cell address");
        }
        return {0, static_cast<row_t>(row - 1), static_cast<col_t>(col - 1)};
    }
    orcus::spreadsheet::src_range_t resolve_range(std::string_view range) override
    {
        const std::size_t colon = range.find(':');
        if (colon == std::string_view::npos) {
            const auto cell = resolve_address(range);
            return {cell, cell};
        }
        return {resolve_address(range.substr(0, colon)), resolve_address(range.substr(colon + 1))};
    }

private:
    static constexpr std::int64_t kMaxAddress = 1 << 24;
};

// Takes the first sheet; every other sheet is read and forgotten.
class Factory final : public iface::import_factory
{
public:
    explicit Factory(bool ods)
        : m_strings(ods)
    { }

    iface::import_shared_strings* get_shared_strings() override { return &m_strings; }
    iface::import_reference_resolver* get_reference_resolver(orcus::spreadsheet::formula_ref_context_t) override
    {
        return &m_references;
    }
    iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t index, std::string_view name) override
    {
        m_names.emplace(std::string(name), index);
        return get_sheet(index);
    }
    iface::import_sheet* get_sheet(std::string_view name) override
    {
        const auto found = m_names.find(std::string(name));
        return found == m_names.end() ? nullptr : get_sheet(found->second);
    }
    iface::import_sheet* get_sheet(orcus::spreadsheet::sheet_t index) override
    {
        return index == 0 ? &m_first : &m_other;
    }
    void finalize() override { }

    Table table() const { return m_first.table(); }

private:
    Strings m_strings;
    References m_references;
    Sheet m_first {m_strings, true};
    Sheet m_other {m_strings, false};
    std::map<std::string, orcus::spreadsheet::sheet_t> m_names;
};

} // namespace

SheetFormat detectSheetFormat(QByteArrayView file)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    const auto size = static_cast<std::size_t>(file.size());
    if (size < 4 || !file.startsWith("PK\x03\x04")) {
        return SheetFormat::None; // both are zip archives
    }
    try {
        switch (orcus::detect(bytes, size)) {
            case orcus::format_t::xlsx:
                return SheetFormat::Xlsx;
            case orcus::format_t::ods:
                return SheetFormat::Ods;
            default:
                break;
        }
    } catch (const std::exception&) { }
    return SheetFormat::None;
}

bool readSheetTable(QByteArrayView file, Table* table, QString* error)
{
    const SheetFormat format = detectSheetFormat(file);
    if (format == SheetFormat::None) {
        if (error) {
            *error = u"不是 .xlsx 或 .ods 电子表格文件"_s;
        }
        return false;
    }
    Factory factory(format == SheetFormat::Ods);
    try {
        const std::string_view stream(file.data(), static_cast<std::size_t>(file.size()));
        if (format == SheetFormat::Xlsx) {
            orcus::orcus_xlsx filter(&factory);
            filter.read_stream(stream);
        } else {
            orcus::orcus_ods filter(&factory);
            filter.read_stream(stream);
        }
    } catch (const std::exception& e) {
        if (error) {
            *error = u"无法读取该电子表格（%1）"_s.arg(QString::fromUtf8(e.what()));
        }
        return false;
    }
    *table = factory.table();
    return true;
}

bool readSheet(QByteArrayView file, ContactList* list, QString* error)
{
    Table table;
    if (!readSheetTable(file, &table, error)) {
        return false;
    }
    *list = contactsFromTable(table);
    return true;
}

} // namespace telvane::contacts
