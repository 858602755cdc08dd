#include "KeydApp.h"

#include "Catalogue.h"
#include "CatalogueImporter.h"
#include "CsvWriter.h"
#include "KeyServer.h"
#include "PostgresCatalogue.h"
#include "ServerCertificate.h"
#include "SessionIdentity.h"
#include "SongRules.h"
#include "TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

namespace {

constexpr int exit_ok = 0;
constexpr int exit_rows_left_out = 1;
constexpr int exit_failed = 2;

std::string catalogue_path(const std::string& data_dir)
{
    return (std::filesystem::path(data_dir) / "catalogue.db").string();
}

std::optional<std::string> read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return file.bad() ? std::nullopt : std::optional<std::string>(text.str());
}

// Blanks and line breaks around the token are the editor's, not the token's.
std::string without_surrounding_space(const std::string& text)
{
    const char* const space = " \t\r\n";
    const std::size_t first = text.find_first_not_of(space);
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(space) + 1 - first);
}

// Shorter tokens could be guessed by a client that simply keeps trying.
constexpr std::size_t shortest_curator_token = 16;

std::string curator_token(const std::string& path)
{
    const std::optional<std::string> text = read_file(path);
    if (!text) {
        throw std::runtime_error("cannot read the curator token file " + path);
    }
    const std::string token = without_surrounding_space(*text);
    if (token.size() < shortest_curator_token || token.find_first_of(" \t\r\n") != std::string::npos ||
        !SongRules::printable(token)) {
        throw std::runtime_error("the curator token in " + path + " must be one word of at least " +
                                 std::to_string(shortest_curator_token) + " characters");
    }
    return token;
}

// A secret shorter than this could be found by trying.
constexpr std::size_t shortest_session_secret = 32;

// The given secret file, or DIR/session-secret, made readable by its owner only on the first
// start. Services that are to take each other's cookies share the file.
std::string session_secret(const KeydInvocation& invocation)
{
    std::string path = invocation.session_secret_file;
    if (path.empty()) {
        path = (std::filesystem::path(invocation.data_dir) / "session-secret").string();
        const int made = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (made >= 0) {
            const std::string secret = SessionIdentity::random_secret() + "\n";
            const bool written =
                ::write(made, secret.data(), secret.size()) == static_cast<ssize_t>(secret.size());
            ::close(made);
            if (!written) {
                std::filesystem::remove(path);
                throw std::runtime_error("cannot write the session secret " + path);
            }
        }
    }
    const std::optional<std::string> text = read_file(path);
    if (!text) {
        throw std::runtime_error("cannot read the session secret file " + path);
    }
    const std::string secret = without_surrounding_space(*text);
    if (secret.size() < shortest_session_secret || secret.find_first_of(" \t\r\n") != std::string::npos ||
        !SongRules::printable(secret)) {
        throw std::runtime_error("the session secret in " + path + " must be one word of at least " +
                                 std::to_string(shortest_session_secret) + " characters");
    }
    return secret;
}

// Serving and importing make the data directory; the other commands expect a catalogue.
std::unique_ptr<CatalogueStore> open_catalogue(const KeydInvocation& invocation, bool make_directory = false)
{
    if (!invocation.database.empty()) {
        if (!PostgresCatalogue::names_database(invocation.database)) {
            throw std::runtime_error("--database takes a postgresql:// URI");
        }
        return std::make_unique<PostgresCatalogue>(invocation.database);
    }
    if (make_directory) {
        std::filesystem::create_directories(invocation.data_dir);
    }
    return std::make_unique<Catalogue>(catalogue_path(invocation.data_dir));
}

// Where the songs went, for messages; never the URI, which may hold a password.
std::string catalogue_name(const KeydInvocation& invocation)
{
    return invocation.database.empty() ? catalogue_path(invocation.data_dir) : "the PostgreSQL catalogue";
}

} // namespace

KeydApp::KeydApp(std::ostream& out, std::ostream& err)
    : out(out)
    , err(err)
{
}

int KeydApp::run(int argc, const char* const* argv)
{
    const KeydInvocation invocation = KeydCommandLine::parse(argc, argv);
    try {
        switch (invocation.mode) {
        case KeydInvocation::Mode::help:
            out << KeydCommandLine::usage();
            return exit_ok;
        case KeydInvocation::Mode::invalid:
            err << invocation.error << '\n' << KeydCommandLine::usage();
            return exit_failed;
        case KeydInvocation::Mode::import:
            return import(invocation);
        case KeydInvocation::Mode::serve:
            return serve(invocation);
        case KeydInvocation::Mode::export_csv:
            return export_csv(invocation);
        case KeydInvocation::Mode::waiting:
            return list_waiting(invocation);
        case KeydInvocation::Mode::promote:
            return promote(invocation);
        }
    } catch (const std::exception& e) {
        err << "kestrune-keyd: " << e.what() << std::endl;
    }
    return exit_failed;
}

int KeydApp::serve(const KeydInvocation& invocation)
{
    const std::unique_ptr<CatalogueStore> catalogue = open_catalogue(invocation, true);
    std::filesystem::create_directories(invocation.data_dir);
    const CertificateFiles certificate = ServerCertificate::locate(
        invocation.data_dir, invocation.server.certificate_path, invocation.server.private_key_path);
    if (invocation.server.certificate_path.empty()) {
        out << (certificate.made ? "made" : "using") << " self-signed certificate " << certificate.certificate
            << '\n';
    }
    KeyServerConfig config = invocation.server;
    if (!invocation.curator_token_file.empty()) {
        config.curator_token = curator_token(invocation.curator_token_file);
    }
    config.session_secret = session_secret(invocation);
    config.certificate_path = certificate.certificate;
    config.private_key_path = certificate.private_key;
    // Taken over before any thread starts, the request log's writer included, since threads
    // inherit the blocked signals; a signal that comes before the server is up stops it as soon
    // as it is.
    std::mutex server_mutex;
    KeyServer* running = nullptr;
    bool stop_early = false;
    TerminationSignals signals([&] {
        std::lock_guard<std::mutex> lock(server_mutex);
        stop_early = true;
        if (running) {
            running->stop();
        }
    });
    {
        KeyServer server(*catalogue, config);
        const int port = server.listen();
        {
            std::lock_guard<std::mutex> lock(server_mutex);
            running = &server;
            if (stop_early) {
                server.stop();
            }
        }
        out << "kestrune-keyd serving " << catalogue->song_count() << " songs (" << catalogue->report_count()
            << " reports) on https://" << config.address << ':' << port << config.base_path << std::endl;
        server.serve();
        std::lock_guard<std::mutex> lock(server_mutex);
        running = nullptr;
    }
    out << "kestrune-keyd stopped" << std::endl;
    return exit_ok;
}

int KeydApp::import(const KeydInvocation& invocation)
{
    const std::optional<std::string> text = read_file(invocation.csv_path);
    if (!text) {
        err << "kestrune-keyd: cannot read " << invocation.csv_path << '\n';
        return exit_failed;
    }
    const std::unique_ptr<CatalogueStore> catalogue = open_catalogue(invocation, true);
    const ImportReport report = CatalogueImporter(*catalogue).import(*text);
    for (const ImportProblem& problem : report.problems) {
        err << invocation.csv_path << ':' << problem.line << ": " << problem.reason << '\n';
    }
    out << "imported " << report.imported << " songs (" << report.added << " new) into "
        << catalogue_name(invocation) << "; " << report.problems.size() << " rows left out" << std::endl;
    return report.problems.empty() ? exit_ok : exit_rows_left_out;
}

int KeydApp::export_csv(const KeydInvocation& invocation)
{
    const std::vector<CatalogueSong> songs = open_catalogue(invocation)->songs();
    std::string text = CsvWriter::record({"name", "singer", "keynote"});
    for (const CatalogueSong& song : songs) {
        text += CsvWriter::record({song.name, song.singer, song.keynote});
    }
    // Written beside the target and renamed over it, so that a failed export leaves the old
    // file as it was.
    const std::string partial = invocation.csv_path + ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        if (!(file << text) || !file.flush()) {
            err << "kestrune-keyd: cannot write " << invocation.csv_path << '\n';
            std::filesystem::remove(partial);
            return exit_failed;
        }
    }
    std::error_code renamed;
    std::filesystem::rename(partial, invocation.csv_path, renamed);
    if (renamed) {
        err << "kestrune-keyd: cannot write " << invocation.csv_path << ": " << renamed.message() << '\n';
        std::filesystem::remove(partial);
        return exit_failed;
    }
    out << "exported " << songs.size() << " songs to " << invocation.csv_path << std::endl;
    return exit_ok;
}

int KeydApp::list_waiting(const KeydInvocation& invocation)
{
    const std::unique_ptr<CatalogueStore> catalogue = open_catalogue(invocation);
    out << "id\tasked\tlookups\tproposals\tkeynote\tagreeing\tname\tsinger\n";
    for (const WaitingSong& song : catalogue->waiting(std::numeric_limits<std::int64_t>::max())) {
        out << song.id << '\t' << song.asked() << '\t' << song.lookups << '\t' << song.sessions << '\t'
            << (song.keynote.empty() ? "-" : song.keynote) << '\t' << song.agreeing << '\t' << song.name
            << '\t' << song.singer << '\n';
    }
    out.flush();
    return exit_ok;
}

int KeydApp::promote(const KeydInvocation& invocation)
{
    const std::vector<CatalogueSong> promoted =
        open_catalogue(invocation)->promote_ready(invocation.server.promote_after);
    for (const CatalogueSong& song : promoted) {
        out << song.id << '\t' << song.keynote << '\t' << song.name << '\t' << song.singer << '\n';
    }
    out << "promoted " << promoted.size() << " songs" << std::endl;
    return exit_ok;
}
