#include "KeydApp.h"

#include "Catalogue.h"
#include "CatalogueImporter.h"
#include "KeyServer.h"
#include "ServerCertificate.h"
#include "TerminationSignals.h"

#include <filesystem>
#include <fstream>
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
        }
    } catch (const std::exception& e) {
        err << "kestrune-keyd: " << e.what() << std::endl;
    }
    return exit_failed;
}

int KeydApp::serve(const KeydInvocation& invocation)
{
    std::filesystem::create_directories(invocation.data_dir);
    Catalogue catalogue(catalogue_path(invocation.data_dir));
    const CertificateFiles certificate = ServerCertificate::locate(
        invocation.data_dir, invocation.server.certificate_path, invocation.server.private_key_path);
    if (invocation.server.certificate_path.empty()) {
        out << (certificate.made ? "made" : "using") << " self-signed certificate " << certificate.certificate
            << '\n';
    }
    KeyServerConfig config = invocation.server;
    config.certificate_path = certificate.certificate;
    config.private_key_path = certificate.private_key;
    KeyServer server(catalogue, config);
    const int port = server.listen();
    {
        // Taken over before the line that tells others the service is up; gone again before
        // the server is.
        TerminationSignals signals([&server] { server.stop(); });
        out << "kestrune-keyd serving " << catalogue.song_count() << " songs (" << catalogue.report_count()
            << " reports) on https://" << config.address << ':' << port << config.base_path << std::endl;
        server.serve();
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
    std::filesystem::create_directories(invocation.data_dir);
    const std::string path = catalogue_path(invocation.data_dir);
    Catalogue catalogue(path);
    const ImportReport report = CatalogueImporter(catalogue).import(*text);
    for (const ImportProblem& problem : report.problems) {
        err << invocation.csv_path << ':' << problem.line << ": " << problem.reason << '\n';
    }
    out << "imported " << report.imported << " songs (" << report.added << " new) into " << path << "; "
        << report.problems.size() << " rows left out" << std::endl;
    return report.problems.empty() ? exit_ok : exit_rows_left_out;
}
