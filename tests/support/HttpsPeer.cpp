#include "HttpsPeer.h"

#include "SelfSignedCertificate.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdexcept>
#include <zlib.h>

namespace {

struct CertificateFiles
{
    std::string cert;
    std::string key;
};

// Removed again when the test process ends.
struct TempDirectory
{
    TempDirectory()
    {
        const char* base = std::getenv("TMPDIR");
        path = std::string(base != nullptr ? base : "/tmp") + "/kestrune-peer-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) {
            throw std::runtime_error("cannot make a directory for the test certificates");
        }
    }
    ~TempDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

std::string temp_directory()
{
    static const TempDirectory dir;
    return dir.path;
}

CertificateFiles make_files(const std::string& name)
{
    // Named apart, as distinct authorities are: a client that trusts several finds each by name.
    const auto certificate = SelfSignedCertificate::make({name + ".localhost", "localhost"}, {"127.0.0.1"});
    CertificateFiles files{temp_directory() + "/" + name + ".pem", temp_directory() + "/" + name + ".key"};
    if (!certificate.write(files.cert, files.key)) {
        throw std::runtime_error("cannot write the test certificates");
    }
    return files;
}

const CertificateFiles& files_for(HttpsPeer::Trust trust)
{
    static const CertificateFiles trusted = make_files("trusted");
    static const CertificateFiles untrusted = make_files("untrusted");
    static const CertificateFiles system_store = make_files("system-store");
    switch (trust) {
    case HttpsPeer::Trust::Trusted:
        return trusted;
    case HttpsPeer::Trust::Untrusted:
        return untrusted;
    case HttpsPeer::Trust::SystemStore:
        break;
    }
    return system_store;
}

} // namespace

std::string HttpsPeer::Request::header(const std::string& name) const
{
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

HttpsPeer::HttpsPeer(Handler handler, Trust trust)
    : handler(std::move(handler))
{
    // Writing to a client that gave up must fail the write, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    const CertificateFiles& files = files_for(trust);
    server = std::make_unique<httplib::SSLServer>(files.cert.c_str(), files.key.c_str());
    if (!server->is_valid()) {
        throw std::runtime_error("the test peer cannot load its certificate");
    }
    auto serve = [this](const httplib::Request& req, httplib::Response& res) {
        Request copy{req.method, req.path, req.body, {}};
        for (const auto& [name, value] : req.headers) {
            copy.headers.emplace(name, value);
        }
        Handler current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(copy);
            current = this->handler;
        }
        current(copy, res);
    };
    server->Post(".*", serve);
    server->Get(".*", serve);
    bound_port = server->bind_to_any_port("127.0.0.1");
    if (bound_port <= 0) {
        throw std::runtime_error("the test peer cannot bind 127.0.0.1");
    }
    worker = std::thread([this] { server->listen_after_bind(); });
}

HttpsPeer::~HttpsPeer()
{
    server->stop();
    worker.join();
}

std::string HttpsPeer::base_url() const
{
    return "https://127.0.0.1:" + std::to_string(bound_port) + "/api";
}

std::string HttpsPeer::ca_file()
{
    return files_for(Trust::Trusted).cert;
}

std::string HttpsPeer::system_store_file()
{
    return files_for(Trust::SystemStore).cert;
}

std::string HttpsPeer::system_store_dir()
{
    static const std::string dir = [] {
        const std::string path = temp_directory() + "/system-store";
        std::filesystem::create_directories(path);
        std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(system_store_file().c_str(), "r"),
                                                       BIO_free);
        std::unique_ptr<X509, decltype(&X509_free)> cert(
            file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
        if (!cert) {
            throw std::runtime_error("cannot read the system-store certificate");
        }
        char name[16];
        std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(cert.get()));
        std::filesystem::copy_file(system_store_file(), path + "/" + name);
        return path;
    }();
    return dir;
}

std::vector<HttpsPeer::Request> HttpsPeer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void HttpsPeer::set_handler(Handler replacement)
{
    std::lock_guard<std::mutex> lock(mutex);
    handler = std::move(replacement);
}

std::string HttpsPeer::zlib_compress(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
             static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
}
