#include "ServerCertificate.h"

#include "SelfSignedCertificate.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

CertificateFiles ServerCertificate::locate(const std::string& data_dir, const std::string& certificate,
                                           const std::string& private_key)
{
    if (!certificate.empty() || !private_key.empty()) {
        if (certificate.empty() || private_key.empty()) {
            throw std::runtime_error("a certificate needs its key: give both --cert and --key");
        }
        return {certificate, private_key, false};
    }
    const std::filesystem::path dir(data_dir);
    CertificateFiles files{(dir / "keyd-cert.pem").string(), (dir / "keyd-key.pem").string(), false};
    if (std::filesystem::exists(files.private_key) && still_valid(files.certificate)) {
        return files;
    }
    const SelfSignedCertificate made =
        SelfSignedCertificate::make({"localhost"}, {"127.0.0.1"}, longest_validity_days, false);
    if (!made.write(files.certificate, files.private_key)) {
        throw std::runtime_error("cannot write the self-signed certificate " + files.certificate);
    }
    files.made = true;
    return files;
}

bool ServerCertificate::still_valid(const std::string& certificate)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(certificate.c_str(), "r"), &BIO_free);
    if (!file) {
        return false;
    }
    std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr),
                                                     &X509_free);
    if (!cert || X509_cmp_current_time(X509_get0_notAfter(cert.get())) <= 0) {
        return false;
    }
    // Certificates made by earlier versions could sign others and lived longer than clients accept.
    int days = 0;
    int seconds = 0;
    return (X509_get_key_usage(cert.get()) & KU_KEY_CERT_SIGN) == 0 &&
           ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(cert.get()), X509_get0_notAfter(cert.get())) ==
               1 &&
           days <= longest_validity_days;
}
