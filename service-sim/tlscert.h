#pragma once
// The certificate for --tls without --cert/--key: self-signed, for 127.0.0.1 and localhost,
// made once in the data folder so that clients can trust it with SSL_CERT_FILE=<data>/cert.pem.
#include <filesystem>

namespace sim {

struct CertificateFiles {
  std::filesystem::path cert, key;
};

// Returns <dir>/cert.pem and <dir>/key.pem, making both when either is missing.
// Throws std::runtime_error.
CertificateFiles EnsureCertificate(const std::filesystem::path& dir);

}  // namespace sim
