#pragma once

#include <QLineEdit>
#include <QString>

namespace telvane::widgets {

// A one-line edit box whose input limit counts the GB18030 bytes of its text, as the directory stores it: a Chinese
// character takes two bytes, a character outside GBK four. What the user types, pastes, drops or commits from an
// input method is cut at a character boundary so the text never exceeds the limit; a typed key that does not fit is
// refused. With lower-casing on, the Latin letters A-Z are turned into a-z as they arrive.
// setText() from the program is taken as it is, whatever its length or letters.
class ByteLimitedLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ByteLimitedLineEdit(int maxBytes, QWidget* parent = nullptr);

    int maxBytes() const { return m_maxBytes; }
    void setLowerCaseLatin(bool on) { m_lowerCaseLatin = on; }
    bool lowerCaseLatin() const { return m_lowerCaseLatin; }

private:
    class Validator;
    friend class Validator;

    int m_maxBytes;
    bool m_lowerCaseLatin = false;
    // The text as it stood before the change being validated.
    QString m_previousText;
};

} // namespace telvane::widgets
