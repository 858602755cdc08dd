#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QString read_text(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(Resources, EveryPictureLoadsAtItsSize)
{
    const std::pair<const char*, QSize> pictures[] = {
        {"3.png", {64, 64}},
        {"qqmusic.png", {40, 40}},
        {"kugou.png", {40, 40}},
        {"neteasemusic.png", {40, 40}},
        {"quanmin.png", {40, 40}},
        {"kuwo.png", {40, 40}},
        {"baidumusic.png", {40, 40}},
        {"xiami.png", {40, 40}},
        {"foobar.png", {40, 40}},
        {"fanxing.png", {40, 40}},
        {"status_enable.png", {32, 32}},
        {"status_disable.png", {32, 32}},
        {"error_title.png", {167, 89}},
        {"about_title.png", {167, 89}},
        {"zoom.png", {32, 32}},
        {"about.png", {32, 32}},
        {"quit.png", {32, 32}},
        {"min.png", {30, 30}},
        {"min_hover.png", {30, 30}},
        {"close.png", {30, 30}},
        {"close_hover.png", {30, 30}},
        {"home.png", {30, 30}},
        {"home_hover.png", {30, 30}},
        {"auto_check.png", {16, 16}},
        {"auto_uncheck.png", {16, 16}},
    };
    for (const auto& [name, size] : pictures) {
        const QImage image(QStringLiteral(":/Kestrune/Resources/img/") + QLatin1String(name));
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), size) << name;
    }
}

TEST(Resources, StyleSheetIsTheSourceFileAndEveryImageItNamesExists)
{
    const QString sheet = read_text(QStringLiteral(":/Kestrune/app.css"));
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_EQ(sheet, read_text(QStringLiteral(KESTRUNE_APP_DIR "/app.css")));

    int urls = 0;
    auto matches = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(sheet);
    for (; matches.hasNext(); ++urls) {
        const QString path = matches.next().captured(1);
        EXPECT_FALSE(QImage(path).isNull()) << path.toStdString();
    }
    EXPECT_EQ(urls, 8);
}

TEST(Resources, WindowsIconHoldsOne256PixelImage)
{
    QFile file(QStringLiteral(KESTRUNE_APP_DIR "/Kestrune.ico"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QDataStream in(bytes);
    in.setByteOrder(QDataStream::LittleEndian);
    quint16 reserved, type, count, planes, bits;
    quint8 width, height, colours, entry_reserved;
    quint32 size, offset;
    in >> reserved >> type >> count >> width >> height >> colours >> entry_reserved >> planes >> bits >>
        size >> offset;
    ASSERT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(std::make_tuple(reserved, type, count, width, height, planes, bits),
              std::make_tuple(0, 1, 1, 0, 0, 1, 32));
    ASSERT_EQ(offset + size, quint32(bytes.size()));
    EXPECT_EQ(QImage::fromData(bytes.mid(offset, size), "PNG").size(), QSize(256, 256));
}

} // namespace
