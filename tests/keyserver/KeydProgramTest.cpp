#include "KeydTestServer.h"

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
