#include "KeydTestServer.h"

#include "Catalogue.h"
#include "CatalogueImporter.h"
#include "ChildProcess.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string postgres_bin = "/usr/lib/postgresql/15/bin/";
const std::string haproxy_program = "/usr/sbin/haproxy";
const std::string setpriv_program = "/usr/bin/setpriv";
const std::string emusic = "/api/v1/emusic";

int free_port()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    bind(probe, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
}

bool executable(const std::string& path)
{
    return access(path.c_str(), X_OK) == 0;
}

// Two key services on one PostgreSQL database, with HAProxy before them in the documented
// configuration: it terminates TLS and names the client in X-Forwarded-For. PostgreSQL refuses to run as
// root, so under root (as in CI) it runs as "nobody". Everything lives in one temporary directory.
class KeydClusterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const std::string& program :
             {postgres_bin + "initdb", postgres_bin + "postgres", haproxy_program}) {
            if (!executable(program)) {
                GTEST_SKIP() << program << " is missing; scripts/setup installs it";
            }
        }
        as_root = geteuid() == 0;
        if (as_root && !executable(setpriv_program)) {
            GTEST_SKIP() << setpriv_program << " is missing; it runs PostgreSQL as nobody under root";
        }
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path("pg"))));
        if (as_root) {
            const passwd* nobody = getpwnam("nobody");
            ASSERT_NE(nullptr, nobody);
            ASSERT_EQ(0, chmod(dir.path().toLocal8Bit().constData(), 0711));
            ASSERT_EQ(0, chown(path("pg").c_str(), nobody->pw_uid, nobody->pw_gid));
        }
        ChildProcess initdb(postgres_options(
            "initdb", {"-D", path("pg/data"), "-U", "keyd", "--auth=trust", "-E", "UTF8", "--locale=C", "-N"},
            path("initdb.log")));
        initdb.wait_for_exit(60s);
        ASSERT_EQ("exited with 0", initdb.exit_description()) << initdb.log();
        database_port = free_port();
        start_database();
        database = "postgresql://keyd@127.0.0.1:" + std::to_string(database_port) + "/postgres";

        std::ofstream(path("secret")) << std::string(48, 'k');
        // The demo catalogue, loaded into the database from a shell as an operator would.
        ChildProcess import(keyd_options({"import", KEYD_DEMO_CATALOGUE}, "import.log"));
        import.wait_for_exit(30s);
        ASSERT_EQ("exited with 0", import.exit_description()) << import.log();

        first = start_keyd("first");
        second = start_keyd("second");
        ASSERT_NE(0, first.port);
        ASSERT_NE(0, second.port);
        start_proxy();
    }

    void TearDown() override
    {
        proxy.reset();
        // A service still running stops cleanly, with nothing for the sanitizers to report.
        for (Keyd* keyd : {&first, &second}) {
            if (keyd->process && keyd->process->running()) {
                keyd->process->stop();
                EXPECT_EQ("exited with 0", keyd->process->exit_description()) << keyd->process->log();
            }
            keyd->process.reset();
        }
        stop_database();
    }

    std::string path(const std::string& file) const
    {
        return dir.filePath(QString::fromStdString(file)).toStdString();
    }
    std::string certificate() const { return path("first/keyd-cert.pem"); }

    ChildProcess::Options postgres_options(const std::string& program, std::vector<std::string> arguments,
                                           const std::string& log) const
    {
        ChildProcess::Options options;
        options.log_path = log;
        if (as_root) {
            options.path = setpriv_program;
            arguments.insert(arguments.begin(),
                             {setpriv_program, "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                              "--pdeathsig=KILL", postgres_bin + program});
        } else {
            options.path = postgres_bin + program;
            arguments.insert(arguments.begin(), options.path);
        }
        options.arguments = arguments;
        return options;
    }

    void start_database()
    {
        database_log = path("pg/server-" + std::to_string(++database_starts) + ".log");
        postgres = std::make_unique<ChildProcess>(postgres_options(
            "postgres",
            {"-D", path("pg/data"), "-p", std::to_string(database_port), "-c", "listen_addresses=127.0.0.1",
             "-c", "unix_socket_directories=" + path("pg"), "-c", "fsync=off"},
            database_log));
        ASSERT_TRUE(wait_until(
            [&] {
                return postgres->log().find("ready to accept connections") != std::string::npos ||
                       !postgres->running();
            },
            60s));
        ASSERT_TRUE(postgres->running()) << postgres->log();
    }

    // A fast shutdown, which does not wait for the services to disconnect.
    void stop_database()
    {
        if (postgres && postgres->running()) {
            kill(postgres->pid(), SIGINT);
            wait_until([&] { return !postgres->running(); }, 30s);
        }
        postgres.reset();
    }

    ChildProcess::Options keyd_options(std::vector<std::string> arguments, const std::string& name) const
    {
        ChildProcess::Options options;
        options.path = KEYD_PROGRAM;
        arguments.insert(arguments.begin(), KEYD_PROGRAM);
        arguments.insert(arguments.end(), {"--database", database, "--data-dir", path(name),
                                           "--session-secret-file", path("secret")});
        options.arguments = arguments;
        options.log_path = path(name + ".log");
        return options;
    }

    struct Keyd
    {
        std::unique_ptr<ChildProcess> process;
        int port = 0;
    };

    // The first makes the self-signed certificate; the second serves with the same one, as the
    // proxy trusts one certificate.
    Keyd start_keyd(const std::string& name)
    {
        std::vector<std::string> arguments = {"--port",        "0",        "--promote-after", "3",
                                              "--trust-proxy", "127.0.0.1"};
        if (name != "first") {
            arguments.insert(arguments.end(), {"--cert", certificate(), "--key", path("first/keyd-key.pem")});
        }
        Keyd keyd;
        keyd.process = std::make_unique<ChildProcess>(keyd_options(arguments, name));
        std::smatch port;
        const std::regex serving("serving .* on https://127\\.0\\.0\\.1:(\\d+)/api\n");
        wait_until(
            [&] {
                const std::string log = keyd.process->log();
                return std::regex_search(log, port, serving) || !keyd.process->running();
            },
            30s);
        const std::string log = keyd.process->log();
        if (std::regex_search(log, port, serving)) {
            keyd.port = std::stoi(port[1]);
        } else {
            ADD_FAILURE() << name << " did not start: " << log;
        }
        return keyd;
    }

    void start_proxy()
    {
        {
            std::ifstream cert(certificate());
            std::ifstream key(path("first/keyd-key.pem"));
            std::ofstream(path("proxy.pem")) << cert.rdbuf() << key.rdbuf();
        }
        proxy_port = free_port();
        ChildProcess::Options options;
        options.path = haproxy_program;
        options.arguments = {haproxy_program, "-db", "-f", KEYD_HAPROXY_CONFIG};
        options.environment = {
            "KEYD_LISTEN=127.0.0.1:" + std::to_string(proxy_port), "KEYD_PEM=" + path("proxy.pem"),
            "KEYD_FIRST=127.0.0.1:" + std::to_string(first.port),
            "KEYD_SECOND=127.0.0.1:" + std::to_string(second.port), "KEYD_CA=" + certificate()};
        options.log_path = path("haproxy.log");
        proxy = std::make_unique<ChildProcess>(options);
        ASSERT_TRUE(
            wait_until([&] { return lookup(proxy_port, "七号风铃").emusic_resp().emusics_size() > 0; }, 20s))
            << proxy->log();
    }

    zudata::ZuRespond send(int port, int cmd, const std::string& name, const std::string& singer = "",
                           const std::string& keynote = "", const httplib::Headers& headers = {},
                           int* status = nullptr)
    {
        const httplib::Result result = KeydTestServer::post_to(
            port, certificate(), emusic, KeydTestServer::request(cmd, name, singer, keynote), headers);
        if (status) {
            *status = result ? result->status : 0;
        }
        zudata::ZuRespond respond;
        if (result && result->status == 200) {
            respond = KeydTestServer::decode(*result);
        }
        return respond;
    }

    zudata::ZuRespond lookup(int port, const std::string& name, int* status = nullptr)
    {
        return send(port, zudata::CMD_EM_GET, name, "", "", {}, status);
    }

    std::string first_keynote(int port, const std::string& name)
    {
        const zudata::ZuRespond respond = lookup(port, name);
        return respond.emusic_resp().emusics_size() > 0 ? respond.emusic_resp().emusics(0).music_keynote()
                                                        : "";
    }

    // Requests through the proxy come from one address, so the test keeps under the rate limit.
    static void pace() { std::this_thread::sleep_for(60ms); }

    QTemporaryDir dir;
    bool as_root = false;
    int database_port = 0;
    int database_starts = 0;
    std::string database;
    std::string database_log;
    std::unique_ptr<ChildProcess> postgres;
    Keyd first;
    Keyd second;
    int proxy_port = 0;
    std::unique_ptr<ChildProcess> proxy;
};

TEST_F(KeydClusterTest, LookupsProposalsAndPromotionWorkAcrossBothServices)
{
    // The database finds what the file finds, similar names and the singer's song first included.
    Catalogue file(path("file.db"));
    {
        QFile demo(KEYD_DEMO_CATALOGUE);
        ASSERT_TRUE(demo.open(QIODevice::ReadOnly));
        CatalogueImporter(file).import(demo.readAll().toStdString());
    }
    const std::pair<std::string, std::string> asked[] = {
        {"七号风铃", ""},           {"七号风铃 (Live)", ""},
        {"雾中灯塔", "岑小舟"},     {"ＲＯＯＦＴＯＰ semaphore", "marlo vennick"},
        {"Rooftop Semaphores", ""}, {"Paper Moon", ""},
        {"无此歌曲", ""},           {"晚风收音机", "蓝莓气泡乐团"},
    };
    const std::array<int, 3> ports = {first.port, second.port, proxy_port};
    for (std::size_t i = 0; i < std::size(asked); ++i) {
        const auto& [name, singer] = asked[i];
        std::vector<std::string> expected;
        for (const CatalogueSong& song : file.find(name, singer, KeyCommandHandler::most_songs)) {
            expected.push_back(song.name + "/" + song.singer + "/" + song.keynote);
        }
        const zudata::ZuRespond respond = send(ports[i % ports.size()], zudata::CMD_EM_GET, name, singer);
        std::vector<std::string> found;
        for (const zudata::ZuMusicKeynote& song : respond.emusic_resp().emusics()) {
            found.push_back(song.music_name() + "/" + song.music_author() + "/" + song.music_keynote());
        }
        EXPECT_EQ(expected, found) << name;
        pace();
    }

    // Each proposal reaches another service; the third one promotes the song everywhere.
    const struct
    {
        int port;
        std::string session;
        std::int64_t agreeing;
        bool promoted;
    } proposals[] = {
        {first.port, "device-a", 1, false},
        {second.port, "device-a", 1, false}, // one session counts once, whichever service it reaches
        {second.port, "device-b", 2, false},
        {proxy_port, "device-c", 3, true},
    };
    for (const auto& p : proposals) {
        const zudata::ZuRespond respond =
            send(p.port, zudata::CMD_EM_ADD, "雾港来信", "苏禾", "D Major", {{"Session-Id", p.session}});
        ASSERT_EQ(zudata::ERROR_OK, respond.err()) << p.session << ' ' << respond.errmsg();
        EXPECT_EQ(std::to_string(p.agreeing), respond.emusic_resp().emusics(0).music_index()) << p.session;
        EXPECT_EQ(p.promoted, respond.emusic_resp().emusics(0).id() != 0) << p.session;
        pace();
    }
    for (int port : {first.port, second.port}) {
        EXPECT_EQ("D Major", first_keynote(port, "雾港来信")) << port;
    }

    // A cookie handed out by one service names the same session at the other.
    const httplib::Result issued = KeydTestServer::post_to(first.port, certificate(), emusic,
                                                           KeydTestServer::request(zudata::CMD_EM_GET, "x"));
    ASSERT_TRUE(issued);
    const std::string cookie =
        issued->get_header_value("Set-Cookie").substr(0, issued->get_header_value("Set-Cookie").find(';'));
    std::int64_t agreeing = 0;
    for (int port : {first.port, second.port}) {
        const zudata::ZuRespond respond =
            send(port, zudata::CMD_EM_ADD, "纸船远航", "", "C Major", {{"Cookie", cookie}});
        ASSERT_EQ(zudata::ERROR_OK, respond.err());
        agreeing = std::stoll(respond.emusic_resp().emusics(0).music_index());
    }
    EXPECT_EQ(1, agreeing);

    // The proxy hands requests to both services.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ("F Major", first_keynote(proxy_port, "七号风铃"));
        pace();
    }
    EXPECT_NE(std::string::npos, first.process->log().find("status=200"));
    EXPECT_NE(std::string::npos, second.process->log().find("status=200"));
}

TEST_F(KeydClusterTest, KillingOneServiceLosesNoAnsweredProposal)
{
    std::vector<std::string> answered;
    for (int i = 0; i < 40; ++i) {
        if (i == 15) {
            kill(first.process->pid(), SIGKILL);
        }
        const std::string name = "无名之歌 " + std::to_string(i);
        int status = 0;
        const zudata::ZuRespond respond =
            send(proxy_port, zudata::CMD_EM_ADD, name, "", "A Minor", {{"Session-Id", "device-x"}}, &status);
        if (status == 200 && respond.err() == zudata::ERROR_OK) {
            answered.push_back(name);
        }
        pace();
    }
    // The proxy moves on to the service left, so nearly everything is answered.
    EXPECT_GE(answered.size(), 35u);

    ChildProcess waiting(keyd_options({"waiting"}, "waiting"));
    waiting.wait_for_exit(30s);
    ASSERT_EQ("exited with 0", waiting.exit_description());
    const std::string listed = waiting.log();
    for (const std::string& name : answered) {
        EXPECT_NE(std::string::npos, listed.find("\tA Minor\t1\t" + name + "\t")) << name;
    }
}

TEST_F(KeydClusterTest, LookupsFailWhileTheDatabaseIsAwayAndRecoverWithoutARestart)
{
    stop_database();
    for (int port : {first.port, second.port}) {
        const httplib::Result result = KeydTestServer::post_to(
            port, certificate(), emusic, KeydTestServer::request(zudata::CMD_EM_GET, "七号风铃"));
        ASSERT_TRUE(result) << port;
        EXPECT_EQ(500, result->status);
        EXPECT_EQ("服务器内部错误", KeydTestServer::decode(*result).errmsg());
    }

    start_database();
    for (int port : {first.port, second.port}) {
        EXPECT_TRUE(wait_until([&] { return first_keynote(port, "七号风铃") == "F Major"; }, 10s)) << port;
    }
    EXPECT_TRUE(first.process->running());
    EXPECT_TRUE(second.process->running());
}

} // namespace
