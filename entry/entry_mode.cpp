#include "entry/entry_mode.h"

#include "query/query_mode.h"
#include "store/directory_store.h"
#include "text/gbk.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace telvane::entry {

namespace {

const QColor kBoxGrey {236, 236, 236};

} // namespace

EntryMode::EntryMode(const query::MainControls& controls, store::DirectoryStore& store, query::QueryMode& queryMode)
    : m_controls(controls)
    , m_store(store)
    , m_queryMode(queryMode)
{ }

void EntryMode::enterEntryMode()
{
    m_controls.queryButton->setEnabled(true);
    m_controls.entryButton->setEnabled(false);
    m_controls.gridButton->setEnabled(true);

    QLineEdit* counter = m_controls.queryBox;
    counter->setFrame(false);
    QPalette p = counter->palette();
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Base, Qt::white);
    counter->setPalette(p);

    m_controls.saveButton->setEnabled(true);
    m_controls.saveButton->setVisible(true);
    counter->setEnabled(false);
    // Enabled in the order 姓名 手机 单位 办公 家里 小灵通 备注; field order is 姓名 单位 备注 办公 家里 手机 小灵通.
    for (int f : {0, 5, 1, 3, 4, 6, 2}) {
        m_controls.fieldBoxes[static_cast<std::size_t>(f)]->setEnabled(true);
    }
    m_controls.fieldBoxes[0]->setFocus(Qt::OtherFocusReason);
    m_controls.queryCaption->setText(u"总记录数"_s);
    showRecordCount();
    m_queryMode.clearResults();
    m_queryMode.clearRows();
    m_queryMode.clearEntryBoxes();
}

void EntryMode::showRecordCount()
{
    m_controls.queryBox->setText(QString::number(m_store.recordCount()));
}

bool EntryMode::saveEntry(QString* error)
{
    store::Record record;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const std::string typed = text::toGbk(m_controls.fieldBoxes[i]->text());
        // Names and units are kept in double-byte characters only: the letter search walks them two bytes at a
        // time.
        record[i] = i < 2 ? text::toFullWidth(typed) : typed;
    }
    if (!m_store.append(record, error)) {
        return false;
    }
    showRecordCount();
    m_queryMode.clearEntryBoxes();
    m_controls.fieldBoxes[0]->setFocus(Qt::OtherFocusReason);
    return true;
}

void EntryMode::boxGotFocus(QLineEdit* box)
{
    m_enterAdvancesFocus = true;
    query::setBackground(box, Qt::white);
    box->selectAll();
}

void EntryMode::boxLostFocus(QLineEdit* box)
{
    query::setBackground(box, kBoxGrey);
}

} // namespace telvane::entry
