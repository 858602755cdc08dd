#include "ListenClips.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun
{
    int exit_code = -1;
    QString out;
    QString err;
};

ToolRun run_tool(const QStringList& files)
{
    QProcess tool;
    tool.start(KESTRUNE_LISTEN_TOOL, files);
    tool.waitForFinished(60000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromUtf8(tool.readAllStandardOutput()), QString::fromUtf8(tool.readAllStandardError())};
}

class ListenToolTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

TEST_F(ListenToolTest, AnswersEveryReadableFileAndFailsForTheOthers)
{
    const std::vector<float> song = ListenClips::render(ListenClips::song({6, true}));
    ASSERT_TRUE(ListenClips::write(path("song.flac").toStdString(), song, 2));
    ASSERT_TRUE(ListenClips::write(path("empty.wav").toStdString(), {}, 2));
    QFile text(path("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are words, not sound\n");
    text.close();

    const ToolRun bad =
        run_tool({path("notes.wav"), path("song.flac"), path("missing.ogg"), path("empty.wav")});
    EXPECT_EQ(bad.exit_code, 2);
    // Unreadable files get no line; the others one each, in order.
    const QStringList lines = bad.out.split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], "");
    const QStringList song_fields = lines[0].split('\t');
    ASSERT_EQ(song_fields.size(), 3);
    EXPECT_EQ(song_fields[0], path("song.flac"));
    EXPECT_EQ(song_fields[1].toStdString(), "F# Minor");
    EXPECT_TRUE(QRegularExpression("^(0\\.[5-9][0-9]|1\\.00)$").match(song_fields[2]).hasMatch())
        << song_fields[2].toStdString();
    EXPECT_EQ(lines[1].toStdString(), (path("empty.wav") + "\t-\t0.00").toStdString());
    EXPECT_TRUE(bad.err.contains(path("notes.wav")));
    EXPECT_TRUE(bad.err.contains(path("missing.ogg")));

    const ToolRun good = run_tool({path("empty.wav"), path("song.flac")});
    EXPECT_EQ(good.exit_code, 0);
    EXPECT_EQ(good.out.count('\n'), 2);
    EXPECT_TRUE(good.err.isEmpty());
}

} // namespace
