// Draws every picture of the program into resources/pictures/: the window backgrounds, the state pictures of the
// picture buttons, and the icons; and the package's icons for the desktop's icon theme into packaging/icons/. The
// pictures are committed; the normal build never runs this tool.
//
// To regenerate them after changing this file:
//     cmake --build <build dir> --target draw-pictures
// which builds this program and runs it on the offscreen platform with resources/pictures and packaging/icons as its
// arguments.
// Chinese text needs a CJK font: the drawings ask for Noto Serif CJK SC and Noto Sans CJK SC (fonts-noto-cjk).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString serif = u"Noto Serif CJK SC"_s;
const QString sans = u"Noto Sans CJK SC"_s;

QDir outDir;

// ---- helpers ----------------------------------------------------------------------------------------------------

QImage blank(int width, int height, const QColor& fill = Qt::white)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QImage transparent(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QFont font(const QString& family, int pixelSize, bool bold, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// Text with a slight forward lean and a soft darker edge, the closest a serif face comes to a brush.
void brushText(QPainter& p, const QPointF& baseline, const QString& text, const QFont& f, const QColor& color,
               qreal lean = -0.18)
{
    QPainterPath path;
    path.addText(0, 0, f, text);
    p.save();
    p.translate(baseline);
    p.setTransform(QTransform(1, 0, lean, 1, 0, 0), true);
    p.setPen(QPen(color.darker(125), 0.6));
    p.setBrush(color);
    p.drawPath(path);
    p.restore();
}

qreal textWidth(const QString& text, const QFont& f)
{
    QPainterPath path;
    path.addText(0, 0, f, text);
    return path.boundingRect().right();
}

// Text centred in a rectangle: the path's own bounds, so Chinese glyphs sit in the middle whatever the metrics.
void centredText(QPainter& p, const QRectF& rect, const QString& text, const QFont& f, const QColor& color,
                 qreal lean = 0.0)
{
    QPainterPath path;
    path.addText(0, 0, f, text);
    const QRectF bounds = QTransform(1, 0, lean, 1, 0, 0).map(path).boundingRect();
    p.save();
    p.translate(rect.center() - bounds.center());
    p.setTransform(QTransform(1, 0, lean, 1, 0, 0), true);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(path);
    p.restore();
}

void save(const QImage& image, const QString& name)
{
    const QString path = outDir.filePath(name);
    const bool ok = name.endsWith(u".jpg"_s) ? image.convertToFormat(QImage::Format_RGB32).save(path, "JPEG", 92)
                                             : image.save(path, "PNG");
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// ---- the Main window's background ---------------------------------------------------------------------------------

void drawMainBackground()
{
    QImage image = blank(405, 210);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Thin blue frame with a pale inner line.
    p.setPen(QPen(QColor(0, 96, 192), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 404, 209));
    p.setPen(QPen(QColor(170, 205, 240), 1));
    p.drawRect(QRectF(1.5, 1.5, 402, 207));
    // Title and version, orange-red, top left, above the first row of controls (y 34).
    brushText(p, QPointF(10, 27), u"Telvane"_s, font(serif, 25, true, true), QColor(232, 74, 20));
    brushText(p, QPointF(126, 27), u"v1.4"_s, font(serif, 15, true, true), QColor(240, 110, 40));
    // A short brush stroke under the title.
    QLinearGradient stroke(10, 0, 180, 0);
    stroke.setColorAt(0, QColor(232, 74, 20, 200));
    stroke.setColorAt(1, QColor(255, 160, 80, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(stroke);
    QPainterPath swash;
    swash.moveTo(12, 30.5);
    swash.cubicTo(60, 28.5, 120, 29.5, 180, 30.5);
    swash.cubicTo(120, 31.5, 60, 31.5, 12, 32);
    p.drawPath(swash);
    p.end();
    save(image, u"main_background.jpg"_s);
}

// ---- 28 x 28 window buttons -----------------------------------------------------------------------------------------

enum class Look { Normal, Hover, Pressed };

QColor shade(Look look, const QColor& normal, const QColor& hover)
{
    switch (look) {
        case Look::Normal:
            return normal;
        case Look::Hover:
            return hover;
        case Look::Pressed:
            return hover.darker(130);
    }
    return normal;
}

// The pressed picture is the hover picture one pixel down and right, darker.
QPointF offset(Look look)
{
    return look == Look::Pressed ? QPointF(1, 1) : QPointF(0, 0);
}

void drawImportButton(Look look, const QString& name)
{
    QImage image = blank(28, 28);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(offset(look));
    const QColor c = shade(look, QColor(30, 100, 200), QColor(20, 150, 60));
    // A small sheet tile with an X across it: the spreadsheet the rows come from.
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(6, 6, 16, 16), 3, 3);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(18, 18));
    p.drawLine(QPointF(18, 10), QPointF(10, 18));
    p.end();
    save(image, name);
}

void drawHelpButton(Look look, const QString& name)
{
    QImage image = blank(28, 28);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(offset(look));
    const QColor face = shade(look, QColor(30, 100, 200), QColor(250, 200, 20));
    const QColor features = look == Look::Normal ? QColor(Qt::white) : QColor(120, 70, 0);
    QRadialGradient g(QPointF(11, 10), 12);
    g.setColorAt(0, face.lighter(135));
    g.setColorAt(1, face);
    p.setPen(QPen(face.darker(130), 1));
    p.setBrush(g);
    p.drawEllipse(QPointF(14, 14), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(features);
    p.drawEllipse(QPointF(10.5, 11.5), 1.6, 2.0);
    p.drawEllipse(QPointF(17.5, 11.5), 1.6, 2.0);
    p.setPen(QPen(features, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(8.5, 9, 11, 10), -20 * 16, -140 * 16);
    p.end();
    save(image, name);
}

void drawCloseButton(Look look, const QString& name)
{
    QImage image = blank(28, 28);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(offset(look));
    const QColor c = shade(look, QColor(30, 100, 200), QColor(220, 30, 30));
    p.setPen(QPen(c, 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(20, 20));
    p.drawLine(QPointF(20, 8), QPointF(8, 20));
    p.end();
    save(image, name);
}

// ---- text buttons (4 states)
// ------------------------------------------------------------------------------------------

enum class State { Normal, Hover, Pressed, Disabled };

void drawTextButton(int width, int height, const QString& text, int pixelSize, State state, const QString& name)
{
    QImage image = blank(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(1, 1, width - 2, height - 2);
    QLinearGradient fill(0, 0, 0, height);
    QColor border;
    QColor ink;
    switch (state) {
        case State::Normal:
            fill.setColorAt(0, QColor(255, 255, 255));
            fill.setColorAt(1, QColor(236, 244, 255));
            border = QColor(150, 190, 235);
            ink = QColor(236, 100, 20);
            break;
        case State::Hover:
            fill.setColorAt(0, QColor(255, 250, 225));
            fill.setColorAt(1, QColor(255, 228, 160));
            border = QColor(240, 160, 60);
            ink = QColor(226, 70, 10);
            break;
        case State::Pressed:
            fill.setColorAt(0, QColor(250, 205, 120));
            fill.setColorAt(1, QColor(255, 232, 175));
            border = QColor(200, 120, 30);
            ink = QColor(180, 50, 0);
            break;
        case State::Disabled:
            fill.setColorAt(0, QColor(250, 250, 250));
            fill.setColorAt(1, QColor(240, 240, 240));
            border = QColor(215, 215, 215);
            ink = QColor(200, 200, 200);
            break;
    }
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    QRectF textRect = body;
    if (state == State::Pressed) {
        textRect.translate(1, 1);
    }
    centredText(p, textRect, text, font(serif, pixelSize, true, true), ink, -0.15);
    p.end();
    save(image, name);
}

void drawTextButtons(const QString& base, int width, int height, const QString& text, int pixelSize)
{
    drawTextButton(width, height, text, pixelSize, State::Normal, base + u"_normal.jpg"_s);
    drawTextButton(width, height, text, pixelSize, State::Hover, base + u"_hover.jpg"_s);
    drawTextButton(width, height, text, pixelSize, State::Pressed, base + u"_pressed.jpg"_s);
    drawTextButton(width, height, text, pixelSize, State::Disabled, base + u"_disabled.jpg"_s);
}

// ---- the Save button ------------------------------------------------------------------------------------------------

void drawFloppy(QPainter& p, const QRectF& r, const QColor& body, const QColor& metal)
{
    QPainterPath outline;
    outline.moveTo(r.left(), r.top());
    outline.lineTo(r.right() - 3, r.top());
    outline.lineTo(r.right(), r.top() + 3);
    outline.lineTo(r.right(), r.bottom());
    outline.lineTo(r.left(), r.bottom());
    outline.closeSubpath();
    p.setPen(QPen(body.darker(140), 0.8));
    p.setBrush(body);
    p.drawPath(outline);
    p.setPen(Qt::NoPen);
    // Shutter at the top, label at the bottom.
    p.setBrush(metal);
    p.drawRect(QRectF(r.left() + 3.5, r.top() + 0.5, r.width() - 8, r.height() * 0.36));
    p.setBrush(body);
    p.drawRect(QRectF(r.right() - 6.5, r.top() + 1.5, 2, r.height() * 0.26));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(r.left() + 2.5, r.top() + r.height() * 0.55, r.width() - 5, r.height() * 0.42));
    p.setPen(QPen(body.lighter(160), 0.7));
    for (int i = 1; i <= 2; ++i) {
        const qreal y = r.top() + r.height() * 0.55 + i * r.height() * 0.13;
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
    }
}

enum class SaveLook { Normal, Highlighted, Disabled };

void drawSaveButton(SaveLook look, const QString& name)
{
    QImage image = blank(77, 26);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 26);
    QColor border;
    QColor ink;
    QColor disk;
    qreal borderWidth = 1;
    switch (look) {
        case SaveLook::Normal:
            fill.setColorAt(0, QColor(255, 255, 255));
            fill.setColorAt(1, QColor(226, 236, 250));
            border = QColor(110, 150, 210);
            ink = QColor(20, 60, 140);
            disk = QColor(40, 80, 160);
            break;
        case SaveLook::Highlighted:
            fill.setColorAt(0, QColor(255, 252, 230));
            fill.setColorAt(1, QColor(255, 226, 150));
            border = QColor(30, 100, 200);
            borderWidth = 2;
            ink = QColor(10, 40, 120);
            disk = QColor(30, 70, 170);
            break;
        case SaveLook::Disabled:
            fill.setColorAt(0, QColor(248, 248, 248));
            fill.setColorAt(1, QColor(234, 234, 234));
            border = QColor(200, 200, 200);
            ink = QColor(175, 175, 175);
            disk = QColor(185, 185, 185);
            break;
    }
    p.setPen(QPen(border, borderWidth));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5 + borderWidth / 2, 0.5 + borderWidth / 2, 76 - borderWidth, 25 - borderWidth), 4, 4);
    drawFloppy(p, QRectF(8, 5, 16, 16), disk,
               look == SaveLook::Disabled ? QColor(225, 225, 225) : QColor(200, 210, 225));
    centredText(p, QRectF(27, 1, 46, 24), u"存盘"_s, font(sans, 16, true), ink);
    p.end();
    save(image, name);
}

// ---- the Help window's background --------------------------------------------------------------------------------

void drawHelpBackground()
{
    QImage image = blank(430, 300);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 96, 192), 1));
    p.setBrush(Qt::NoBrush);
    // One thin line only: the close button (400..427, 2..29) would cut an inner one.
    p.drawRect(QRectF(0.5, 0.5, 429, 299));

    // The top-right corner (400..428, 2..30) stays white for the close button.
    const QColor red(220, 20, 20);
    const QColor darkRed(150, 10, 20);
    const QColor green(20, 130, 50);
    const QColor blue(20, 70, 190);

    brushText(p, QPointF(24, 44), u"快速电话查号程序"_s, font(serif, 22, true, true), red);
    const QFont titleFont = font(serif, 34, true, true);
    brushText(p, QPointF(64, 96), u"Telvane"_s, titleFont, darkRed);
    brushText(p, QPointF(64 + textWidth(u"Telvane"_s, titleFont) + 14, 96), u"V1.4"_s, font(serif, 22, true, true),
              darkRed);

    QLinearGradient rule(24, 0, 406, 0);
    rule.setColorAt(0, QColor(150, 10, 20, 0));
    rule.setColorAt(0.5, QColor(150, 10, 20, 160));
    rule.setColorAt(1, QColor(150, 10, 20, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(rule);
    p.drawRect(QRectF(24, 110, 382, 1.5));

    const QFont lineFont = font(serif, 15, true);
    const QString lines[] = {
        u"◆ 智能查询：键入姓名的拼音首字母，zs 即找到张三"_s,
        u"◆ 数字查询：键入号码中任意几位，电话备注一查便知"_s,
        u"◆ 批量导入：从电子表格整列复制粘贴，一次全部导入"_s,
    };
    qreal y = 148;
    for (const QString& line : lines) {
        brushText(p, QPointF(30, y), line, lineFont, green, -0.08);
        y += 34;
    }
    brushText(p, QPointF(120, 270), u"愿它帮您随时找到要找的人！"_s, font(serif, 17, true, true), blue);
    p.end();
    save(image, u"help_background.jpg"_s);
}

// ---- icons --------------------------------------------------------------------------------------------------------

// A person seen from the front: head and shoulders, centred on x, head centre at headY.
void drawPerson(QPainter& p, qreal x, qreal headY, qreal headRadius, const QColor& shirt)
{
    const QColor skin(246, 200, 160);
    const QColor hair(60, 40, 30);
    p.setPen(QPen(shirt.darker(150), headRadius * 0.12));
    p.setBrush(shirt);
    const qreal shoulders = headRadius * 2.3;
    QPainterPath body;
    body.moveTo(x - shoulders, headY + headRadius * 3.4);
    body.cubicTo(x - shoulders, headY + headRadius * 1.3, x - headRadius * 0.8, headY + headRadius * 1.1, x,
                 headY + headRadius * 1.1);
    body.cubicTo(x + headRadius * 0.8, headY + headRadius * 1.1, x + shoulders, headY + headRadius * 1.3, x + shoulders,
                 headY + headRadius * 3.4);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(QPen(skin.darker(150), headRadius * 0.12));
    p.setBrush(skin);
    p.drawEllipse(QPointF(x, headY), headRadius, headRadius * 1.08);
    p.setPen(Qt::NoPen);
    p.setBrush(hair);
    QPainterPath hairPath;
    hairPath.moveTo(x - headRadius * 1.02, headY - headRadius * 0.05);
    hairPath.cubicTo(x - headRadius * 1.1, headY - headRadius * 1.3, x + headRadius * 1.1, headY - headRadius * 1.3,
                     x + headRadius * 1.02, headY - headRadius * 0.05);
    hairPath.cubicTo(x + headRadius * 0.5, headY - headRadius * 0.55, x - headRadius * 0.5, headY - headRadius * 0.55,
                     x - headRadius * 1.02, headY - headRadius * 0.05);
    p.drawPath(hairPath);
}

QImage programIconImage()
{
    QImage image = transparent(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The screen behind.
    p.setPen(QPen(QColor(50, 50, 60), 1));
    p.setBrush(QColor(90, 95, 110));
    p.drawRoundedRect(QRectF(2.5, 1.5, 27, 20), 2, 2);
    QLinearGradient screen(0, 3, 0, 19);
    screen.setColorAt(0, QColor(120, 200, 255));
    screen.setColorAt(1, QColor(20, 90, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRect(QRectF(4.5, 3.5, 23, 16));
    p.setBrush(QColor(90, 95, 110));
    p.drawRect(QRectF(13, 21.5, 6, 3));
    p.drawRoundedRect(QRectF(8, 24, 16, 2.5), 1, 1);
    // The person in front of it.
    drawPerson(p, 16, 18, 4.6, QColor(220, 60, 40));
    p.end();
    return image;
}

void drawProgramIcon()
{
    const QImage image = programIconImage();
    // ICO written by hand: ICONDIR, one ICONDIRENTRY, a BITMAPINFOHEADER (height doubled for the mask), the 24-bit
    // colour rows bottom-up, then the 1-bit AND mask rows bottom-up (1 = transparent). 6 + 16 + 40 + 3072 + 128.
    QByteArray ico;
    auto u8 = [&](int v) { ico.append(static_cast<char>(v & 0xFF)); };
    auto u16 = [&](int v) {
        u8(v);
        u8(v >> 8);
    };
    auto u32 = [&](std::uint32_t v) {
        u16(static_cast<int>(v & 0xFFFF));
        u16(static_cast<int>(v >> 16));
    };
    constexpr int size = 32;
    constexpr std::uint32_t xorBytes = size * size * 3;
    constexpr std::uint32_t andBytes = size * (size / 8);
    constexpr std::uint32_t imageBytes = 40 + xorBytes + andBytes;
    u16(0); // reserved
    u16(1); // type: icon
    u16(1); // one image
    u8(size);
    u8(size);
    u8(0); // no palette
    u8(0);
    u16(1); // planes
    u16(24); // bits per pixel
    u32(imageBytes);
    u32(6 + 16);
    u32(40);
    u32(size);
    u32(size * 2);
    u16(1);
    u16(24);
    u32(0); // BI_RGB
    u32(xorBytes + andBytes);
    u32(0);
    u32(0);
    u32(0);
    u32(0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const QRgb px = image.pixel(x, y);
            const int a = qAlpha(px);
            // Straight colour over black where visible; black under the mask.
            const int r = a >= 128 ? qRed(px) * 255 / a : 0;
            const int g = a >= 128 ? qGreen(px) * 255 / a : 0;
            const int b = a >= 128 ? qBlue(px) * 255 / a : 0;
            u8(qMin(b, 255));
            u8(qMin(g, 255));
            u8(qMin(r, 255));
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        for (int byte = 0; byte < size / 8; ++byte) {
            int bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (qAlpha(image.pixel(byte * 8 + bit, y)) < 128) {
                    bits |= 0x80 >> bit;
                }
            }
            u8(bits);
        }
    }
    QFile file(outDir.filePath(u"program.ico"_s));
    if (ico.size() != 3262 || !file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size()) {
        std::fprintf(stderr, "cannot write program.ico (%d bytes)\n", int(ico.size()));
        std::exit(1);
    }
}

// Drawn on a 48-pixel grid and scaled for the other sizes: 32 and 16 pixels for the windows, 16 to 256 for the
// package's icons in the desktop's icon theme.
void drawAppIcon(int size, const QString& name)
{
    QImage image = transparent(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    drawPerson(p, 15, 17, 7, QColor(30, 100, 200));
    // The magnifying glass beside the person.
    p.setPen(QPen(QColor(120, 70, 20), 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 42), QPointF(33.5, 34.5));
    QRadialGradient lens(QPointF(30, 25), 10);
    lens.setColorAt(0, QColor(235, 248, 255, 230));
    lens.setColorAt(1, QColor(150, 205, 245, 220));
    p.setPen(QPen(QColor(70, 75, 90), 2.6));
    p.setBrush(lens);
    p.drawEllipse(QPointF(30, 28), 9, 9);
    p.setPen(QPen(QColor(255, 255, 255, 220), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(24.5, 22.5, 11, 11), 100 * 16, 70 * 16);
    p.end();
    save(image, name);
}

void drawListIcon()
{
    QImage image = transparent(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The list page behind, top right.
    p.setPen(QPen(QColor(90, 110, 140), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 1.5, 20, 25));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 100, 200));
    p.drawRect(QRectF(10, 2, 19.5, 4));
    for (int i = 0; i < 5; ++i) {
        const qreal y = 9 + i * 3.6;
        p.setBrush(QColor(30, 100, 200));
        p.drawRect(QRectF(12, y, 2, 2));
        p.setBrush(QColor(150, 160, 175));
        p.drawRect(QRectF(15.5, y + 0.5, 12, 1.2));
    }
    // The person in front of it, bottom left.
    drawPerson(p, 10, 19, 4.4, QColor(20, 140, 70));
    p.end();
    save(image, u"list_icon.png"_s);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: draw_pictures <resources/pictures folder> [<packaging/icons folder>]\n");
        return 2;
    }
    auto useFolder = [](const char* path) {
        outDir = QDir(QString::fromLocal8Bit(path));
        if (!outDir.exists() && !QDir().mkpath(outDir.path())) {
            std::fprintf(stderr, "cannot create %s\n", path);
            std::exit(1);
        }
    };
    useFolder(argv[1]);
    for (const QString& family : {serif, sans}) {
        const QFontInfo info {QFont(family)};
        if (info.family() != family) {
            std::fprintf(stderr, "warning: font %s not found, got %s (install fonts-noto-cjk)\n", qPrintable(family),
                         qPrintable(info.family()));
        }
    }

    drawMainBackground();
    for (auto [look, suffix] : {std::pair {Look::Normal, u"_normal.jpg"_s}, std::pair {Look::Hover, u"_hover.jpg"_s},
                                std::pair {Look::Pressed, u"_pressed.jpg"_s}}) {
        drawImportButton(look, u"import"_s + suffix);
        drawHelpButton(look, u"help"_s + suffix);
        drawCloseButton(look, u"close"_s + suffix);
    }
    drawTextButtons(u"query"_s, 44, 28, u"查询"_s, 17);
    drawTextButtons(u"entry"_s, 44, 28, u"增加"_s, 17);
    drawTextButtons(u"grid"_s, 44, 28, u"修改"_s, 17);
    drawTextButtons(u"prev"_s, 45, 26, u"上一页"_s, 13);
    drawTextButtons(u"next"_s, 45, 26, u"下一页"_s, 13);
    drawSaveButton(SaveLook::Normal, u"save_normal.jpg"_s);
    drawSaveButton(SaveLook::Highlighted, u"save_highlighted.jpg"_s);
    drawSaveButton(SaveLook::Disabled, u"save_disabled.jpg"_s);
    drawHelpBackground();
    drawProgramIcon();
    drawAppIcon(48, u"app_icon.png"_s);
    drawAppIcon(32, u"app_icon_32.png"_s);
    drawAppIcon(16, u"app_icon_16.png"_s);
    drawListIcon();
    if (argc == 3) {
        useFolder(argv[2]);
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            drawAppIcon(size, u"telvane-%1.png"_s.arg(size));
        }
    }
    return 0;
}
