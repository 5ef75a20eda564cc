#pragma once

#include <QLineEdit>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <functional>

namespace telvane::widgets {

// A one-line edit box whose input limit counts the bytes its text takes in the store: GB18030 bytes by default (a
// Chinese character takes two bytes, a character outside GBK four), or as a measure set for the box counts them (a
// name box counts a Latin letter as the two bytes of the full-width letter it is stored as). What the user types,
// pastes, drops or commits from an input method is one line (a tab and each run of line breaks become one space)
// and is cut at a character boundary so the text never exceeds the limit; a typed key that does not fit is refused.
// With a fitter set, a text that does not fit is first offered to it whole (a telephone number without its
// separators). With lower-casing on, the Latin letters A-Z are turned into a-z as they arrive. setText() from the
// program is taken as it is, whatever its length or letters.
class ByteLimitedLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    using Measure = std::function<std::size_t(QStringView)>;
    using Fitter = std::function<QString(QStringView)>;

    explicit ByteLimitedLineEdit(int maxBytes, QWidget* parent = nullptr);

    int maxBytes() const { return m_maxBytes; }
    void setLowerCaseLatin(bool on) { m_lowerCaseLatin = on; }
    bool lowerCaseLatin() const { return m_lowerCaseLatin; }
    void setMeasure(Measure measure) { m_measure = std::move(measure); }
    void setFitter(Fitter fitter) { m_fitter = std::move(fitter); }

private:
    class Validator;
    friend class Validator;

    std::size_t measure(QStringView text) const;

    int m_maxBytes;
    bool m_lowerCaseLatin = false;
    Measure m_measure;
    Fitter m_fitter;
    // The text as it stood before the change being validated.
    QString m_previousText;
};

} // namespace telvane::widgets
