#include "SelfSignedCertificate.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

void check(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(std::string("certificate: ") + what + " failed");
    }
}

std::string bio_text(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(size));
}

void add_extension(X509* cert, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    check(ext != nullptr, "extension");
    const int added = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    check(added == 1, "adding extension");
}

} // namespace

SelfSignedCertificate SelfSignedCertificate::make(const std::vector<std::string>& dns_names,
                                                  const std::vector<std::string>& ip_addresses,
                                                  int valid_days, bool signs_certificates)
{
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key generation");

    CertPtr cert(X509_new());
    check(cert != nullptr, "certificate allocation");
    check(X509_set_version(cert.get(), 2) == 1, "version");

    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial) == 1, "serial");
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    check(bn != nullptr && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get())) != nullptr, "serial");
    BN_free(bn);

    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(valid_days) * 24 * 3600);
    check(X509_set_pubkey(cert.get(), key.get()) == 1, "public key");

    const std::string common_name = dns_names.empty() ? std::string("localhost") : dns_names.front();
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Kestrune"),
                               -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1, 0);
    check(X509_set_issuer_name(cert.get(), name) == 1, "issuer");

    std::string alt_names;
    for (const auto& dns : dns_names) {
        alt_names += (alt_names.empty() ? "DNS:" : ",DNS:") + dns;
    }
    for (const auto& ip : ip_addresses) {
        alt_names += (alt_names.empty() ? "IP:" : ",IP:") + ip;
    }
    if (signs_certificates) {
        // Self-signed: it is its own authority, so a client can trust it as a CA file.
        add_extension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
        add_extension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    } else {
        add_extension(cert.get(), NID_basic_constraints, "critical,CA:FALSE");
        add_extension(cert.get(), NID_key_usage, "critical,digitalSignature");
    }
    add_extension(cert.get(), NID_ext_key_usage, "serverAuth");
    if (!alt_names.empty()) {
        add_extension(cert.get(), NID_subject_alt_name, alt_names);
    }
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signing");

    SelfSignedCertificate result;
    BioPtr cert_bio(BIO_new(BIO_s_mem()));
    check(PEM_write_bio_X509(cert_bio.get(), cert.get()) == 1, "writing certificate");
    result.cert_pem = bio_text(cert_bio.get());
    BioPtr key_bio(BIO_new(BIO_s_mem()));
    check(PEM_write_bio_PrivateKey(key_bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "writing key");
    result.key_pem = bio_text(key_bio.get());
    return result;
}

bool SelfSignedCertificate::write(const std::string& cert_path, const std::string& key_path) const
{
    {
        std::ofstream out(cert_path, std::ios::binary | std::ios::trunc);
        if (!(out << cert_pem)) {
            return false;
        }
    }
    // The key file is created private, so the key is never readable by others, not even briefly.
    const int fd = ::open(key_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, 0600);
    size_t done = 0;
    while (done < key_pem.size()) {
        const ssize_t n = ::write(fd, key_pem.data() + done, key_pem.size() - done);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
}
