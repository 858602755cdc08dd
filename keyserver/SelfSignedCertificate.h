#pragma once

#include <string>
#include <vector>

// A certificate and private key made on the spot, for a key service that was given none and for
// the test suite's HTTPS peers. EC P-256 keeps generation fast.
class SelfSignedCertificate
{
public:
    // Valid from now for the given number of days, for every DNS name and IP address given
    // (as subjectAltName entries). A certificate that may not sign others is a plain server
    // certificate, which clients still trust when given it as their CA file. Throws
    // std::runtime_error when OpenSSL fails.
    static SelfSignedCertificate make(const std::vector<std::string>& dns_names,
                                      const std::vector<std::string>& ip_addresses, int valid_days = 825,
                                      bool signs_certificates = true);

    const std::string& certificate_pem() const { return cert_pem; }
    const std::string& private_key_pem() const { return key_pem; }

    // Writes both files; the key file is made readable by its owner only. False on any failure.
    bool write(const std::string& cert_path, const std::string& key_path) const;

private:
    std::string cert_pem;
    std::string key_pem;
};
