#include "QKugouBanzou.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

// Nothing is read from a log that is no regular file: a device never ends and opening a pipe
// would block. Once a regular log takes its place, it is followed as usual.
TEST(QKugouBanzouSpecialFileTest, OnlyRegularFilesAreRead)
{
    const struct
    {
        const char* what;
        std::function<bool(const QString&)> make;
    } kinds[] = {
        {"a link to /dev/zero",
         [](const QString& path) { return QFile::link(QStringLiteral("/dev/zero"), path); }},
        {"a named pipe",
         [](const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }},
        {"a folder", [](const QString& path) { return QDir().mkdir(path); }},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.what);
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("FXbanzou")));
        QKugouBanzou reader({"APPDATA=" + home.path()}, 0);
        ASSERT_TRUE(kind.make(reader.log_path()));
        reader.refresh_log();
        reader.refresh_log();
        EXPECT_EQ(reader.current_song(), QString());

        ASSERT_TRUE(QFile::remove(reader.log_path()) || QDir().rmdir(reader.log_path()));
        QFile log(reader.log_path());
        ASSERT_TRUE(log.open(QIODevice::WriteOnly));
        log.write("OnOpened SongName:Jay - Sunny.mp3\r\n");
        log.close();
        reader.refresh_log();
        EXPECT_EQ(reader.current_song(), QStringLiteral("Jay - Sunny"));
    }
}
