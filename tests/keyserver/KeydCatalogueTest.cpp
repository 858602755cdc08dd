#include "Catalogue.h"
#include "CatalogueImporter.h"
#include "CsvReader.h"
#include "TextNormaliser.h"

#include <QFile>
#include <QTemporaryDir>
#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

namespace {

std::vector<CsvRecord> records_of(const std::string& text)
{
    CsvReader reader(text);
    std::vector<CsvRecord> records;
    CsvRecord record;
    while (reader.next(record)) {
        records.push_back(record);
    }
    return records;
}

std::string file_text(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

class CatalogueImporterTest : public ::testing::Test
{
protected:
    std::vector<std::string> songs_named(const std::string& name)
    {
        std::vector<std::string> found;
        for (const CatalogueSong& song : catalogue.find(name, "", 10)) {
            found.push_back(song.name + "|" + song.singer + "|" + song.keynote);
        }
        return found;
    }

    QTemporaryDir dir;
    Catalogue catalogue{dir.filePath("catalogue.db").toStdString()};
    CatalogueImporter importer{catalogue};
};

TEST(CsvReaderTest, QuotedFieldsKeepCommasQuotesAndLineBreaksAndLinesAreCounted)
{
    const std::vector<CsvRecord> records =
        records_of("\xEF\xBB\xBF# comment\r\nname,singer\r\n\r\n\"a, \"\"b\"\"\",\"two\nlines\"\r\nlast,\n");
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(2, records[0].line);
    EXPECT_EQ((std::vector<std::string>{"a, \"b\"", "two\nlines"}), records[1].fields);
    EXPECT_EQ(4, records[1].line);
    EXPECT_EQ((std::vector<std::string>{"last", ""}), records[2].fields);
    EXPECT_EQ(6, records[2].line);
}

TEST(CsvReaderTest, BrokenQuotingIsReportedOnItsRecordOnly)
{
    const std::vector<CsvRecord> records = records_of("a\"b,c\n\"x\"y,z\nfine,row\n\"never closed\n");
    ASSERT_EQ(4u, records.size());
    EXPECT_FALSE(records[0].error.empty());
    EXPECT_FALSE(records[1].error.empty());
    EXPECT_TRUE(records[2].error.empty());
    EXPECT_EQ(4, records[3].line);
    EXPECT_EQ("quoted field is never closed", records[3].error);
}

TEST_F(CatalogueImporterTest, GoodRowsGoInAndBadRowsAreReportedByLine)
{
    const ImportReport report = importer.import("# fictional songs\n"
                                                "keynote,Name,singer\n"
                                                "Gb Minor,夜航的鲸,顾北辰\n"
                                                "C Major,\"Lanterns, Low\",Atlas\n"
                                                "C Major,\"Two\nLines\",Atlas\n"
                                                "Gb,Broken Key,Someone\n"
                                                "D Major,Too,Many,Fields\n"
                                                "E Minor, \xE3\x80\x80 ,Nameless\n"
                                                "C major,Lower Case Scale,Someone\n"
                                                "Bb Major,  Salt & Saffron ,Ines Dorrow\n");
    EXPECT_EQ(3u, report.imported);
    EXPECT_EQ(3u, report.added);
    std::vector<int> lines;
    for (const ImportProblem& problem : report.problems) {
        lines.push_back(problem.line);
    }
    EXPECT_EQ((std::vector<int>{5, 7, 8, 9, 10}), lines);
    EXPECT_NE(std::string::npos, report.problems[1].reason.find("\"Gb\""));
    EXPECT_EQ((std::vector<std::string>{"夜航的鲸|顾北辰|Gb Minor"}), songs_named("夜航的鲸"));
    EXPECT_EQ((std::vector<std::string>{"Salt & Saffron|Ines Dorrow|Bb Major"}),
              songs_named("salt & saffron"));
    EXPECT_EQ((std::vector<std::string>{"Lanterns, Low|Atlas|C Major"}), songs_named("lanterns, low"));
}

TEST_F(CatalogueImporterTest, WhollyBadFileChangesNothing)
{
    importer.import("name,singer,keynote\nKept,Singer,A Minor\n");
    const ImportReport report = importer.import("name,singer,keynote\nKept,Singer,H Minor\nOther,,Gb\n");
    EXPECT_EQ(0u, report.imported);
    EXPECT_EQ(2u, report.problems.size());
    EXPECT_EQ((std::vector<std::string>{"Kept|Singer|A Minor"}), songs_named("kept"));
    EXPECT_EQ(1u, catalogue.song_count());
}

TEST_F(CatalogueImporterTest, HeaderWithoutTheThreeColumnsImportsNothing)
{
    const ImportReport report = importer.import("# nothing\n\nname,artist,keynote\nA,B,C Major\n");
    ASSERT_EQ(1u, report.problems.size());
    EXPECT_EQ(3, report.problems[0].line);
    EXPECT_EQ(0u, catalogue.song_count());
}

TEST_F(CatalogueImporterTest, ReimportedSongTakesTheNewKeynote)
{
    importer.import("name,singer,keynote\nEcho Town,Su He,A Major\n");
    const ImportReport report = importer.import("name,singer,keynote\nＥＣＨＯ town ,su he,A Minor\n");
    EXPECT_EQ(0u, report.added);
    EXPECT_EQ((std::vector<std::string>{"ＥＣＨＯ town|su he|A Minor"}), songs_named("echo town"));
}

TEST_F(CatalogueImporterTest, DemoCatalogueIsWhollyValid)
{
    const ImportReport report = importer.import(file_text(KEYD_DEMO_CATALOGUE));
    EXPECT_TRUE(report.problems.empty());
    EXPECT_GE(report.imported, 35u);
    EXPECT_EQ(report.imported, catalogue.song_count());
}

TEST(TextNormaliserTest, FoldsCaseFullWidthLettersAndSurroundingBlanks)
{
    EXPECT_EQ("paper moon", TextNormaliser::normalise("\xE3\x80\x80 ＰＡＰＥＲ Ｍoon\t "));
    EXPECT_EQ("七号风铃(live)", TextNormaliser::normalise("七号风铃（ＬＩＶＥ）"));
    EXPECT_EQ("a  b", TextNormaliser::normalise("A  B"));
}

TEST(CatalogueTest, ForeignDatabaseIsRefusedAndLeftAlone)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("other.db").toStdString();
    {
        SQLite::Database other(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        other.exec("CREATE TABLE cookies(name TEXT)");
    }
    EXPECT_THROW(Catalogue{path}, CatalogueError);
    SQLite::Database other(path);
    EXPECT_FALSE(other.tableExists("songs"));
}

TEST(CatalogueTest, CatalogueOfTheFirstVersionGainsTheWaitingList)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("catalogue.db").toStdString();
    {
        Catalogue catalogue(path);
        catalogue.store({{0, "Kept", "Singer", "A Minor"}});
    }
    {
        SQLite::Database first(path, SQLite::OPEN_READWRITE);
        first.exec("DROP TABLE wanted; DROP TABLE proposals; PRAGMA user_version = 1");
    }
    Catalogue catalogue(path);
    EXPECT_EQ(1u, catalogue.find("kept", "", 10).size());
    catalogue.note_miss("Missing", "");
    ASSERT_EQ(1u, catalogue.waiting(10).size());
    EXPECT_EQ(1, catalogue.waiting(10)[0].lookups);
}

} // namespace
