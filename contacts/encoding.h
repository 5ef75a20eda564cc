#pragma once

#include <QByteArrayView>
#include <QString>

// The encoding of a contacts file, found as a person would expect: a byte-order mark says it; otherwise text that is
// valid UTF-8 throughout is UTF-8 (what phones and current spreadsheets write), and anything else is GB18030, which
// older phones and Chinese spreadsheets write as "ANSI" text (a superset of GBK and GB2312).
namespace telvane::contacts {

enum class TextEncoding {
    Utf8, // no byte-order mark, valid UTF-8
    Utf8Bom,
    Utf16Le, // with its byte-order mark
    Utf16Be,
    Gb18030, // no byte-order mark, not valid UTF-8
};

TextEncoding detectEncoding(QByteArrayView bytes);
// The length of the byte-order mark the encoding starts with (0 for none).
qsizetype bomLength(TextEncoding encoding);
// The text without its byte-order mark. A byte that starts no character becomes U+FFFD.
QString decodeText(QByteArrayView bytes, TextEncoding* found = nullptr);

// UTF-8 bytes as text, a U+FEFF at their start kept as a character (Qt's own conversion drops it as a byte-order
// mark, which a value in the middle of a file is not).
QString fromUtf8(QByteArrayView bytes);

} // namespace telvane::contacts
