#include "ListenClips.h"

#include <QFile>
#include <QProcess>
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
    EXPECT_EQ(bad.out.toStdString(),
              (path("song.flac") + "\tF# Minor\t1.00\n" + path("empty.wav") + "\t-\t0.00\n").toStdString());
    EXPECT_TRUE(bad.err.contains(path("notes.wav")));
    EXPECT_TRUE(bad.err.contains(path("missing.ogg")));

    const ToolRun good = run_tool({path("empty.wav"), path("song.flac")});
    EXPECT_EQ(good.exit_code, 0);
    EXPECT_EQ(good.out.count('\n'), 2);
    EXPECT_TRUE(good.err.isEmpty());
}

} // namespace
