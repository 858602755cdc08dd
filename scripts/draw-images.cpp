// Draws every picture of the resource bundle and the Windows icon.
// Usage: kestrune_draw_images <image directory> <icon file>

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

const QColor muted(0xA6, 0xA8, 0xC0);
const QColor hover_face(0x3B, 0x3E, 0x5E);
const QColor danger(0xE5, 0x48, 0x4D);
const QColor accent(0x6C, 0x7B, 0xFF);

using Drawing = std::function<void(QPainter&, const QSizeF&)>;

QImage draw(int width, int height, const Drawing& drawing)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing(painter, QSizeF(width, height));
    return image;
}

QPen line_pen(const QColor& colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The rounded face a title-bar button shows while hovered.
void hover_plate(QPainter& painter, const QColor& colour)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(2, 2, 26, 26), 6, 6);
}

void minimise_glyph(QPainter& painter, const QColor& colour)
{
    painter.setPen(line_pen(colour, 2));
    painter.drawLine(QPointF(10, 15.5), QPointF(20, 15.5));
}

void close_glyph(QPainter& painter, const QColor& colour)
{
    painter.setPen(line_pen(colour, 2));
    painter.drawLine(QPointF(10.5, 10.5), QPointF(19.5, 19.5));
    painter.drawLine(QPointF(19.5, 10.5), QPointF(10.5, 19.5));
}

void home_glyph(QPainter& painter, const QColor& colour)
{
    painter.setPen(line_pen(colour, 1.8));
    painter.setBrush(Qt::NoBrush);
    QPainterPath house;
    house.moveTo(8.5, 14.5);
    house.lineTo(15, 8.5);
    house.lineTo(21.5, 14.5);
    house.moveTo(10.5, 13);
    house.lineTo(10.5, 21.5);
    house.lineTo(19.5, 21.5);
    house.lineTo(19.5, 13);
    painter.drawPath(house);
    painter.drawLine(QPointF(15, 21.5), QPointF(15, 17.5));
}

// A round badge with a white glyph, readable on light menus and on the dark window alike.
void badge(QPainter& painter, const QSizeF& size, const QColor& colour)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(QPointF(0, 0), size).adjusted(1, 1, -1, -1));
}

void zoom_icon(QPainter& painter, const QSizeF& size)
{
    badge(painter, size, QColor(0x4C, 0x7D, 0xF0));
    painter.setPen(line_pen(Qt::white, 2.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(14, 14), 6.5, 6.5);
    painter.drawLine(QPointF(19, 19), QPointF(24, 24));
    painter.setPen(line_pen(Qt::white, 2));
    painter.drawLine(QPointF(11, 14), QPointF(17, 14));
    painter.drawLine(QPointF(14, 11), QPointF(14, 17));
}

void about_icon(QPainter& painter, const QSizeF& size)
{
    badge(painter, size, QColor(0x2F, 0xA8, 0x72));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
    painter.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1.5, 1.5);
}

void quit_icon(QPainter& painter, const QSizeF& size)
{
    badge(painter, size, danger);
    painter.setPen(line_pen(Qt::white, 2.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(9, 9.5, 14, 14), 125 * 16, 290 * 16);
    painter.drawLine(QPointF(16, 7.5), QPointF(16, 15));
}

void status_light(QPainter& painter, const QColor& colour)
{
    painter.setPen(Qt::NoPen);
    QColor halo = colour;
    halo.setAlpha(60);
    painter.setBrush(halo);
    painter.drawEllipse(QPointF(16, 16), 15, 15);
    painter.setBrush(colour);
    painter.drawEllipse(QPointF(16, 16), 11, 11);
    painter.setBrush(QColor(255, 255, 255, 90));
    painter.drawEllipse(QPointF(13, 12.5), 4, 3);
}

void check_face(QPainter& painter, bool checked)
{
    const QRectF box(1, 1, 14, 14);
    if (!checked) {
        painter.setPen(line_pen(QColor(0x8D, 0x90, 0xAD), 1.4));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(line_pen(Qt::white, 1.8));
    QPainterPath tick;
    tick.moveTo(4.5, 8.2);
    tick.lineTo(7, 10.7);
    tick.lineTo(11.6, 5.6);
    painter.drawPath(tick);
}

// A white eighth note with a short wave beside it, the program's mark.
void note_mark(QPainter& painter, const QRectF& area)
{
    painter.save();
    painter.translate(area.topLeft());
    painter.scale(area.width() / 64, area.height() / 64);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.save();
    painter.translate(24, 44);
    painter.rotate(-20);
    painter.drawEllipse(QPointF(0, 0), 7.5, 5.5);
    painter.restore();
    painter.drawRect(QRectF(29, 14, 3.4, 30));
    QPainterPath flag;
    flag.moveTo(29, 14);
    flag.cubicTo(36, 18, 44, 20, 42, 31);
    flag.cubicTo(40, 25, 36, 23, 32.4, 22.5);
    flag.closeSubpath();
    painter.drawPath(flag);
    painter.setPen(line_pen(QColor(255, 255, 255, 200), 2.4));
    painter.setBrush(Qt::NoBrush);
    QPainterPath wave;
    wave.moveTo(40, 42);
    wave.cubicTo(43, 36, 46, 36, 48, 42);
    wave.cubicTo(50, 48, 53, 48, 56, 42);
    painter.drawPath(wave);
    painter.restore();
}

void app_logo(QPainter& painter, const QSizeF& size)
{
    const QRectF tile(QPointF(0, 0), size);
    QLinearGradient gradient(tile.topLeft(), tile.bottomRight());
    gradient.setColorAt(0, QColor(0x8A, 0x63, 0xFF));
    gradient.setColorAt(1, QColor(0x3F, 0x7D, 0xFF));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    const qreal radius = size.width() * 0.22;
    painter.drawRoundedRect(tile.adjusted(1, 1, -1, -1), radius, radius);
    note_mark(painter, tile);
}

void side_waves(QPainter& painter, const QColor& colour)
{
    painter.setPen(line_pen(colour, 2));
    const qreal heights[] = {8, 16, 24, 14, 6};
    for (int i = 0; i < 5; ++i) {
        const qreal h = heights[i];
        painter.drawLine(QPointF(14 + i * 7, 44.5 - h / 2), QPointF(14 + i * 7, 44.5 + h / 2));
        painter.drawLine(QPointF(153 - i * 7, 44.5 - h / 2), QPointF(153 - i * 7, 44.5 + h / 2));
    }
}

void error_banner(QPainter& painter, const QSizeF&)
{
    side_waves(painter, QColor(0x5A, 0x5D, 0x80));
    QLinearGradient gradient(QPointF(55, 10), QPointF(112, 80));
    gradient.setColorAt(0, QColor(0xFF, 0x8A, 0x65));
    gradient.setColorAt(1, danger);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(QPointF(83.5, 44.5), 34, 34);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(80, 24, 7, 27), 3.5, 3.5);
    painter.drawEllipse(QPointF(83.5, 61), 4.2, 4.2);
}

void about_banner(QPainter& painter, const QSizeF&)
{
    side_waves(painter, QColor(0x6C, 0x70, 0xA8));
    painter.save();
    painter.translate(83.5 - 36, 44.5 - 36);
    app_logo(painter, QSizeF(72, 72));
    painter.restore();
}

Drawing player_logo(const QColor& colour, const QString& letters)
{
    return [colour, letters](QPainter& painter, const QSizeF& size) {
        const QRectF tile(QPointF(0, 0), size);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRoundedRect(tile.adjusted(1, 1, -1, -1), 9, 9);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(letters.size() > 1 ? 15 : 22);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(tile, Qt::AlignCenter, letters);
    };
}

Drawing button(void (*glyph)(QPainter&, const QColor&), bool hovered, const QColor& plate = hover_face)
{
    return [glyph, hovered, plate](QPainter& painter, const QSizeF&) {
        if (hovered) {
            hover_plate(painter, plate);
        }
        glyph(painter, hovered ? Qt::white : muted);
    };
}

struct Picture
{
    const char* name;
    int width;
    int height;
    Drawing drawing;
};

// A Windows icon file holding one 256 x 256 image, stored as PNG as Windows Vista and later read.
bool write_icon(const QImage& image, const QString& path)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(1);
    // Width and height 0 stand for 256.
    out << quint8(0) << quint8(0) << quint8(0) << quint8(0) << quint16(1) << quint16(32)
        << quint32(png.size()) << quint32(6 + 16);
    out.writeRawData(png.constData(), png.size());
    return out.status() == QDataStream::Ok;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <image directory> <icon file>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    const Picture pictures[] = {
        {"3.png", 64, 64, app_logo},
        {"qqmusic.png", 40, 40, player_logo(QColor(0x2D, 0xB8, 0x6A), QStringLiteral("QQ"))},
        {"kugou.png", 40, 40, player_logo(QColor(0x1E, 0x9B, 0xE0), QStringLiteral("KG"))},
        {"neteasemusic.png", 40, 40, player_logo(QColor(0xD8, 0x32, 0x3C), QStringLiteral("NE"))},
        {"quanmin.png", 40, 40, player_logo(QColor(0x14, 0xA8, 0x9A), QStringLiteral("WS"))},
        {"kuwo.png", 40, 40, player_logo(QColor(0xE0, 0x94, 0x00), QStringLiteral("KW"))},
        {"baidumusic.png", 40, 40, player_logo(QColor(0x3D, 0x55, 0xE0), QStringLiteral("BD"))},
        {"xiami.png", 40, 40, player_logo(QColor(0xFF, 0x6A, 0x13), QStringLiteral("XM"))},
        {"foobar.png", 40, 40, player_logo(QColor(0x66, 0x70, 0x85), QStringLiteral("fb"))},
        {"fanxing.png", 40, 40, player_logo(QColor(0xE0, 0x40, 0x7B), QStringLiteral("FX"))},
        {"status_enable.png", 32, 32,
         [](QPainter& p, const QSizeF&) { status_light(p, QColor(0x34, 0xC7, 0x7B)); }},
        {"status_disable.png", 32, 32,
         [](QPainter& p, const QSizeF&) { status_light(p, QColor(0xEF, 0x4D, 0x5A)); }},
        {"error_title.png", 167, 89, error_banner},
        {"about_title.png", 167, 89, about_banner},
        {"zoom.png", 32, 32, zoom_icon},
        {"about.png", 32, 32, about_icon},
        {"quit.png", 32, 32, quit_icon},
        {"min.png", 30, 30, button(minimise_glyph, false)},
        {"min_hover.png", 30, 30, button(minimise_glyph, true)},
        {"close.png", 30, 30, button(close_glyph, false)},
        {"close_hover.png", 30, 30, button(close_glyph, true, danger)},
        {"home.png", 30, 30, button(home_glyph, false)},
        {"home_hover.png", 30, 30, button(home_glyph, true)},
        {"auto_check.png", 16, 16, [](QPainter& p, const QSizeF&) { check_face(p, true); }},
        {"auto_uncheck.png", 16, 16, [](QPainter& p, const QSizeF&) { check_face(p, false); }},
    };
    for (const Picture& picture : pictures) {
        const QString path = out.filePath(QLatin1String(picture.name));
        if (!draw(picture.width, picture.height, picture.drawing).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    if (!write_icon(draw(256, 256, app_logo), QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
