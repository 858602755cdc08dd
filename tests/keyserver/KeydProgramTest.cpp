#include "KeydTestServer.h"

#include "Catalogue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace {

struct ProgramRun
{
    int exit_code = -1;
    std::string out;
    std::string err;
};

class KeydProgramTest : public ::testing::Test
{
protected:
    QString path(const QString& file) const { return dir.filePath(file); }

    void write(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(file)).path());
        QFile out(path(file));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }

    QByteArray read(const QString& file) const
    {
        QFile in(path(file));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    ProgramRun run(QStringList arguments)
    {
        QProcess process;
        process.start(KEYD_PROGRAM, arguments << "--data-dir" << path("data"));
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }

    // Starts the service on a free port and returns that port once it says it is serving.
    int start(QProcess& process)
    {
        process.start(KEYD_PROGRAM, {"--port", "0", "--data-dir", path("data")});
        QElapsedTimer waited;
        waited.start();
        std::smatch port;
        while (waited.elapsed() < 20000 && process.waitForReadyRead(1000)) {
            output += process.readAllStandardOutput().toStdString();
            if (std::regex_search(output, port,
                                  std::regex("serving .* on https://127\\.0\\.0\\.1:(\\d+)/api\n"))) {
                return std::stoi(port[1]);
            }
        }
        ADD_FAILURE() << "service did not start: " << output << process.readAllStandardError().toStdString();
        return 0;
    }

    void expect_clean_stop(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(QProcess::NormalExit, process.exitStatus());
        EXPECT_EQ(0, process.exitCode());
        EXPECT_NE(std::string::npos,
                  (output + process.readAllStandardOutput().toStdString()).find("stopped"));
        output.clear();
    }

    int lookup_status(const std::string& host, int port)
    {
        httplib::SSLClient client(host, port);
        client.set_ca_cert_path(path("data/keyd-cert.pem").toStdString().c_str());
        client.enable_server_certificate_verification(true);
        client.set_connection_timeout(5);
        client.set_read_timeout(10);
        const httplib::Result result = client.Post(
            "/api/v1/emusic", KeydTestServer::request(zudata::CMD_EM_GET, "x"), "application/protobuf");
        return result ? result->status : -1;
    }

    QTemporaryDir dir;
    std::string output;
};

TEST_F(KeydProgramTest, ImportExitsNonZeroAndNamesTheLinesOfBadRows)
{
    write("songs.csv", "# invented\nname,singer,keynote\nGood,Someone,D Major\nBad,Someone,X Major\n");
    const ProgramRun partial = run({"import", path("songs.csv")});
    EXPECT_EQ(1, partial.exit_code);
    EXPECT_NE(std::string::npos, partial.err.find(path("songs.csv").toStdString() + ":4: "));
    EXPECT_NE(std::string::npos, partial.out.find("imported 1 songs (1 new)"));

    write("more.csv", "name,singer,keynote\nAlso Good,Someone,Ab Minor\n");
    EXPECT_EQ(0, run({"import", path("more.csv")}).exit_code);
    EXPECT_EQ(2, run({"import", path("missing.csv")}).exit_code);
}

TEST_F(KeydProgramTest, ExportedCatalogueImportsBackExactly)
{
    const QByteArray csv = "name,singer,keynote\n"
                           "\"Lanterns, Low\",Atlas,C Major\n"
                           "\"#1 Fan\",,Gb Minor\n"
                           "\"Say \"\"When\"\"\",顾北辰,F# Minor\n"
                           "夜航的鲸,\"#hash\",Bb Major\n";
    write("songs.csv", "# notes first\n" + csv);
    ASSERT_EQ(0, run({"import", path("songs.csv")}).exit_code);
    const ProgramRun exported = run({"export", path("first.csv")});
    EXPECT_EQ(0, exported.exit_code);
    EXPECT_NE(std::string::npos, exported.out.find("exported 4 songs"));
    EXPECT_EQ(csv, read("first.csv"));

    ASSERT_EQ(0, run({"import", path("first.csv"), "--data-dir", path("other")}).exit_code);
    ASSERT_EQ(0, run({"export", path("second.csv"), "--data-dir", path("other")}).exit_code);
    EXPECT_EQ(read("first.csv"), read("second.csv"));

    EXPECT_EQ(2, run({"export", path("no/such/dir/x.csv")}).exit_code);
}

TEST_F(KeydProgramTest, WaitingSongsAreListedAndPromotedFromTheShell)
{
    ASSERT_TRUE(QDir().mkpath(path("data")));
    {
        Catalogue catalogue(path("data/catalogue.db").toStdString());
        catalogue.note_miss("没找到的歌", "");
        for (const char* session : {"a", "b"}) {
            catalogue.propose({0, "提议的歌", "歌手甲", "F Major"}, "KuGou.exe", session, 3);
        }
    }
    const ProgramRun listed = run({"waiting"});
    EXPECT_EQ(0, listed.exit_code);
    EXPECT_EQ("id\tasked\tlookups\tproposals\tkeynote\tagreeing\tname\tsinger\n"
              "2\t2\t0\t2\tF Major\t2\t提议的歌\t歌手甲\n"
              "1\t1\t1\t0\t-\t0\t没找到的歌\t\n",
              listed.out);

    EXPECT_EQ("promoted 0 songs\n", run({"promote"}).out);
    const ProgramRun promoted = run({"promote", "--promote-after", "2"});
    EXPECT_EQ(0, promoted.exit_code);
    EXPECT_NE(std::string::npos, promoted.out.find("\tF Major\t提议的歌\t歌手甲\npromoted 1 songs\n"));
    EXPECT_EQ(std::string::npos, run({"waiting"}).out.find("提议的歌"));
    EXPECT_NE(std::string::npos, run({"export", path("all.csv")}).out.find("exported 1 songs"));
}

TEST_F(KeydProgramTest, BadSettingsStopTheStart)
{
    write("short-token", "too-short\n");
    const std::vector<QStringList> refused = {
        {"--promote-after", "0"},
        {"promote", "--promote-after", "x"},
        {"--port", "0", "--curator-token-file", path("short-token")},
        {"--port", "0", "--curator-token-file", path("missing-token")},
        {"--port", "0", "--trust-proxy", "10.0.0.0/40"},
        {"--max-connections-per-address", "0"},
    };
    for (const QStringList& arguments : refused) {
        const ProgramRun run_result = run(arguments);
        EXPECT_EQ(2, run_result.exit_code) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run_result.err.empty());
    }
}

TEST_F(KeydProgramTest, FileThatIsNotADatabaseIsReportedAndLeftUntouched)
{
    const QByteArray notes = QByteArray("my notes, not a database\n").repeated(200);
    write("data/catalogue.db", notes);
    write("songs.csv", "name,singer,keynote\nGood,Someone,D Major\n");
    for (const QStringList& arguments :
         {QStringList{"import", path("songs.csv")}, QStringList{"--port", "0"}}) {
        const ProgramRun refused = run(arguments);
        EXPECT_EQ(2, refused.exit_code);
        EXPECT_NE(std::string::npos, refused.err.find("catalogue.db is not an SQLite database"));
    }
    EXPECT_EQ(notes, read("data/catalogue.db"));
}

TEST_F(KeydProgramTest, ServiceMakesItsCertificateOnceAndStopsCleanlyOnSignals)
{
    QProcess first;
    const int port = start(first);
    EXPECT_NE(std::string::npos,
              output.find("made self-signed certificate " + path("data/keyd-cert.pem").toStdString()));
    EXPECT_EQ(200, lookup_status("127.0.0.1", port));
    const QByteArray certificate = read("data/keyd-cert.pem");
    first.terminate();
    expect_clean_stop(first);

    QProcess second;
    const int again = start(second);
    EXPECT_NE(std::string::npos, output.find("using self-signed certificate"));
    EXPECT_EQ(certificate, read("data/keyd-cert.pem"));
    EXPECT_EQ(200, lookup_status("localhost", again));
    ::kill(static_cast<pid_t>(second.processId()), SIGINT);
    expect_clean_stop(second);
}

} // namespace
