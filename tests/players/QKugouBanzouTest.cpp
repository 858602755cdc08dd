#include "QKugouBanzou.h"

#include "TestEventLoop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>

#include <gtest/gtest.h>

namespace {

class QKugouBanzouTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("FXbanzou"))); }

    QTemporaryDir home;
    // Polled by the test alone; the environment spells the variable in other letters.
    QKugouBanzou reader{{QStringLiteral("PATH=/bin"), "AppData=" + home.path(), QStringLiteral("APPDATA=/x")},
                        0};

    QString poll()
    {
        reader.refresh_log();
        return reader.current_song();
    }

    void write(const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::Append)
    {
        QFile log(home.path() + QStringLiteral("/FXbanzou/log.txt"));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly | mode));
        ASSERT_EQ(log.write(bytes), bytes.size());
    }

    static QByteArray line(const QString& text)
    {
        return QTextCodec::codecForName("GBK")->fromUnicode(text) + "\r\n";
    }

    static QByteArray opened(const QString& file)
    {
        return line("[12:00:01] PlayCtrl OnOpened SongName:" + file);
    }
};

} // namespace

TEST_F(QKugouBanzouTest, LatestAnnouncedSongIsKeptWithoutExtensionOrLineEnd)
{
    EXPECT_EQ(reader.log_path(), home.path() + QStringLiteral("/FXbanzou/log.txt"));
    EXPECT_EQ(poll(), QString());
    // Created after the reader: read from its start. The later announcement of a poll wins.
    write(opened("周杰伦 - 晴天.mp3") + opened("周杰伦 - 稻香.mp3") + line("volume 80"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 稻香"));
    write(opened("周杰伦 - 七里香.mp3") + line("OnOpened FileName:a.mp3") + line("OnClosed SongName:b.mp3") +
          line("onopened SongName:c.mp3") + line("OnOpened SongName:"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 七里香"));
    write(line("OnOpened SongName:D:\\伴奏:周杰伦 - 简单爱.live.mp3"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 简单爱.live"));
    write(opened("陈奕迅 - 十年"));
    EXPECT_EQ(poll(), QStringLiteral("陈奕迅 - 十年"));
    // "周杰伦 - 晴天" as the program writes it.
    write("OnOpened SongName:\xd6\xdc\xbd\xdc\xc2\xd7 - \xc7\xe7\xcc\xec.mp3\r\n");
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    // A carriage return before the extension is a line end all the same.
    write(line("OnOpened SongName:周杰伦 - 稻香\r.mp3") + line("OnOpened SongName:周杰伦 - 七里香\r\r"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 七里香"));
}

TEST_F(QKugouBanzouTest, LogStartedAnewIsReadFromItsStart)
{
    write(QByteArray(4000, '.') + "\r\n" + opened("周杰伦 - 晴天.mp3"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    write(opened("周杰伦 - 稻香.mp3"), QIODevice::Truncate);
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 稻香"));
    write(opened("陈奕迅 - 十年.mp3"));
    EXPECT_EQ(poll(), QStringLiteral("陈奕迅 - 十年"));
}

TEST_F(QKugouBanzouTest, OverlongLineIsSkippedEvenWhileBeingWritten)
{
    const QByteArray filler(QKugouBanzou::max_poll_bytes, 'x');
    write(opened("周杰伦 - 晴天.mp3") + "OnOpened SongName:" + filler + "long.mp3\r\n");
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    // The rest of an overlong line, written later, belongs to that line.
    write("[12:00:00] " + filler);
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    write(opened("rest of the long line.mp3"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    write(opened("周杰伦 - 稻香.mp3"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天")) << "one block of the second long line";
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 稻香"));
}

// However much was written since, one poll reads one block; the rest is read by the polls that
// follow, and a line cut by a block's end is read whole by the next.
TEST_F(QKugouBanzouTest, GrownLogIsReadOneBlockPerPoll)
{
    write(QByteArray(QKugouBanzou::max_poll_bytes - 10, '\n') + opened("周杰伦 - 晴天.mp3"));
    EXPECT_EQ(poll(), QString());
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));

    const int blocks = 8;
    write(QByteArray(blocks * QKugouBanzou::max_poll_bytes, '\n') + opened("周杰伦 - 稻香.mp3"));
    for (int block = 0; block < blocks; ++block) {
        ASSERT_EQ(poll(), QStringLiteral("周杰伦 - 晴天")) << "block " << block;
    }
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 稻香"));
}

TEST_F(QKugouBanzouTest, LineBeingWrittenIsReadWhole)
{
    write(opened("周杰伦 - 晴天.mp3").left(50));
    EXPECT_EQ(poll(), QString());
    write(opened("周杰伦 - 晴天.mp3").mid(50));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    // A last line that never gets its end is taken once the log stops growing.
    write(opened("周杰伦 - 稻香.mp3").chopped(2));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 晴天"));
    EXPECT_EQ(poll(), QStringLiteral("周杰伦 - 稻香"));
}

TEST_F(QKugouBanzouTest, ProcessEnvironmentNamesTheLogPolledEverySecond)
{
    EXPECT_EQ(QKugouBanzou(QStringList{QStringLiteral("APPDATA_OLD=/old")}, 0).log_path(),
              QStringLiteral("/FXbanzou/log.txt"));
    qputenv("APPDATA", home.path().toLocal8Bit());
    const QKugouBanzou own_reader;
    qunsetenv("APPDATA");
    write(opened("周杰伦 - 晴天.mp3"));
    EXPECT_TRUE(spin_until([&] { return !own_reader.current_song().isEmpty(); }));
    EXPECT_EQ(own_reader.current_song(), QStringLiteral("周杰伦 - 晴天"));
}
