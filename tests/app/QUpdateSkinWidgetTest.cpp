#include "QUpdateSkinWidget.h"
#include "TestEventLoop.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString resource_sheet = QStringLiteral("QWidget#resource { color: #EFEFEF; }");
const QString designer_sheet = QStringLiteral("QLabel { color: #FF0000; font-family: \"微软雅黑\"; }\n");

void write_file(const QString& path, const QString& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

class SkinReloader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir::setCurrent(work_dir.path()));
        // The text applied last is kept for the whole process; a reload without a file brings it
        // back to empty, as on a fresh start.
        reloader.update_style();
        qApp->setStyleSheet(resource_sheet);
    }

    void TearDown() override
    {
        QDir::setCurrent(original_dir);
        qApp->setStyleSheet(QString());
    }

    QString css() const { return work_dir.filePath(QStringLiteral("app.css")); }

    const QString original_dir = QDir::currentPath();
    QTemporaryDir work_dir;
    QUpdateSkinWidget reloader;
};

TEST_F(SkinReloader, MissingOrEmptyFileKeepsTheResourceSheet)
{
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), resource_sheet);
    write_file(css(), QString());
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), resource_sheet);
}

TEST_F(SkinReloader, CreatedAndChangedTextReplaceTheWholeSheetButSameTextIsNotReapplied)
{
    write_file(css(), designer_sheet);
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), designer_sheet);

    // Another sheet installed meanwhile shows whether the reloader applies its file again.
    qApp->setStyleSheet(resource_sheet);
    write_file(css(), designer_sheet);
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), resource_sheet);

    const QString changed = QStringLiteral("QLabel { color: #00FF00; }");
    write_file(css(), changed);
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), changed);
}

TEST_F(SkinReloader, EmptiedOrDeletedFileEmptiesTheAppliedSheet)
{
    write_file(css(), designer_sheet);
    reloader.update_style();
    write_file(css(), QString());
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), QString());

    write_file(css(), designer_sheet);
    reloader.update_style();
    ASSERT_EQ(qApp->styleSheet(), designer_sheet);
    ASSERT_TRUE(QFile::remove(css()));
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), QString());
}

TEST_F(SkinReloader, TheWorkingDirectoryDecidesWhichFileIsRead)
{
    QTemporaryDir other;
    const QString other_sheet = QStringLiteral("QPushButton { border: none; }");
    write_file(other.filePath(QStringLiteral("app.css")), other_sheet);
    write_file(css(), designer_sheet);
    reloader.update_style();
    ASSERT_TRUE(QDir::setCurrent(other.path()));
    reloader.update_style();
    EXPECT_EQ(qApp->styleSheet(), other_sheet);
}

TEST_F(SkinReloader, TimerReloadsAboutASecondLater)
{
    write_file(css(), designer_sheet);
    spin_for(300);
    EXPECT_EQ(qApp->styleSheet(), resource_sheet);
    EXPECT_TRUE(spin_until([] { return qApp->styleSheet() == designer_sheet; }, 3000));
}

} // namespace
