#pragma once

#include <string>

struct CertificateFiles
{
    std::string certificate;
    std::string private_key;
    // Made by this call, rather than given or found from an earlier start.
    bool made = false;
};

// Where the service's TLS certificate comes from: the files given on the command line, else a
// self-signed one for 127.0.0.1 and localhost kept in the data directory, made on the first
// start and again once it has expired or no longer meets what clients accept of a server
// certificate (no longer than 397 days, unable to sign other certificates).
class ServerCertificate
{
public:
    // It starts a minute in the past, against clocks slightly behind; the whole span still stays
    // under 397 days.
    static constexpr int longest_validity_days = 396;

    // Throws std::runtime_error when only one of the two files is given or the pair cannot be made.
    static CertificateFiles locate(const std::string& data_dir, const std::string& certificate,
                                   const std::string& private_key);

private:
    static bool still_valid(const std::string& certificate);
};
