#include "contacts/encoding.h"

#include "text/gbk.h"

#include <QStringDecoder>

#include <string_view>

namespace telvane::contacts {

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return TextEncoding::Utf8Bom;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return TextEncoding::Utf16Le;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return TextEncoding::Utf16Be;
    }
    const std::string_view view(bytes.data(), static_cast<std::size_t>(bytes.size()));
    return text::isValidUtf8(view) ? TextEncoding::Utf8 : TextEncoding::Gb18030;
}

qsizetype bomLength(TextEncoding encoding)
{
    switch (encoding) {
        case TextEncoding::Utf8Bom:
            return 3;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return 2;
        case TextEncoding::Utf8:
        case TextEncoding::Gb18030:
            break;
    }
    return 0;
}

QString decodeText(QByteArrayView bytes, TextEncoding* found)
{
    const TextEncoding encoding = detectEncoding(bytes);
    if (found) {
        *found = encoding;
    }
    const QByteArrayView body = bytes.sliced(bomLength(encoding));
    switch (encoding) {
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be: {
            QStringDecoder decoder(encoding == TextEncoding::Utf16Le ? QStringDecoder::Utf16LE
                                                                     : QStringDecoder::Utf16BE,
                                   QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            QString text = decoder.decode(body);
            // An odd last byte is half a character: the decoder keeps it back, the file shows it as a bad one.
            if (body.size() % 2 != 0) {
                text += QChar(QChar::ReplacementCharacter);
            }
            return text;
        }
        case TextEncoding::Gb18030:
            return text::fromGbk(std::string_view(body.data(), static_cast<std::size_t>(body.size())));
        case TextEncoding::Utf8:
        case TextEncoding::Utf8Bom:
            break;
    }
    return fromUtf8(body);
}

QString fromUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace telvane::contacts
