#include "resources/pictures.h"

#include <QFile>
#include <QImage>
#include <QString>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace telvane::resources {

QPixmap picture(QStringView name)
{
    const QString base = u":/pictures/"_s + name.toString();
    for (const QString& path : {base + u".jpg"_s, base + u".png"_s}) {
        if (QFile::exists(path)) {
            return QPixmap(path);
        }
    }
    return {};
}

QList<QPixmap> pictureStates(QStringView base, int count)
{
    const QString prefix = base.toString() + u'_';
    if (base == u"save") {
        return {picture(prefix + u"normal"_s), picture(prefix + u"highlighted"_s), picture(prefix + u"disabled"_s)};
    }
    QList<QPixmap> states {picture(prefix + u"normal"_s), picture(prefix + u"hover"_s), picture(prefix + u"pressed"_s)};
    if (count >= 4) {
        states.append(picture(prefix + u"disabled"_s));
    }
    return states;
}

namespace {

// Qt's ico reader takes a 24-bit icon as opaque and ignores its transparency mask, which would put the Program icon
// on a black square. The icon is our own constant, one 32 x 32 image with 24-bit colour rows and a 1-bit AND mask
// (1 = transparent), both bottom-up, so it is decoded here.
QImage decodeIcon(const QByteArray& ico)
{
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(ico.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(ico.constData() + at); };
    if (ico.size() < 6 + 16 + 40 || u16(2) != 1 || u16(4) < 1) {
        return {};
    }
    const qsizetype header = u32(6 + 12);
    if (header < 0 || header + 40 > ico.size() || u16(header + 14) != 24 || u32(header + 16) != 0) {
        return QImage::fromData(ico, "ICO");
    }
    const int width = static_cast<int>(u32(header + 4));
    const int height = static_cast<int>(u32(header + 8)) / 2;
    const qsizetype colourStride = (width * 3 + 3) / 4 * 4;
    const qsizetype maskStride = (width + 31) / 32 * 4;
    const qsizetype colours = header + u32(header);
    const qsizetype mask = colours + colourStride * height;
    if (width <= 0 || height <= 0 || width > 256 || height > 256 || mask + maskStride * height > ico.size()) {
        return {};
    }
    QImage image(width, height, QImage::Format_ARGB32);
    const auto* bytes = reinterpret_cast<const uchar*>(ico.constData());
    for (int y = 0; y < height; ++y) {
        const uchar* colourRow = bytes + colours + colourStride * (height - 1 - y);
        const uchar* maskRow = bytes + mask + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const bool clear = maskRow[x / 8] & (0x80 >> (x % 8));
            const uchar* bgr = colourRow + 3 * x;
            image.setPixel(x, y, clear ? qRgba(0, 0, 0, 0) : qRgb(bgr[2], bgr[1], bgr[0]));
        }
    }
    return image;
}

} // namespace

QIcon programIcon()
{
    QFile file(u":/pictures/program.ico"_s);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QImage image = decodeIcon(file.readAll());
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

QIcon appIcon()
{
    QIcon icon;
    for (const QString& file : {u"app_icon.png"_s, u"app_icon_32.png"_s, u"app_icon_16.png"_s}) {
        icon.addFile(u":/pictures/"_s + file);
    }
    return icon;
}

QIcon listIcon()
{
    return QIcon(u":/pictures/list_icon.png"_s);
}

} // namespace telvane::resources
