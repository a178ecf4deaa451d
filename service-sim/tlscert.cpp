#include "service-sim/tlscert.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace sim {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
  void operator()(X509* c) const { X509_free(c); }
};
struct ExtFree {
  void operator()(X509_EXTENSION* e) const { X509_EXTENSION_free(e); }
};
struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};

[[noreturn]] void Fail(const std::string& what) {
  unsigned long code = ERR_get_error();
  char text[256] = "";
  if (code) ERR_error_string_n(code, text, sizeof text);
  throw std::runtime_error("certificate: " + what + (code ? std::string(": ") + text : std::string()));
}

void AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  std::unique_ptr<X509_EXTENSION, ExtFree> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
  if (!ext || !X509_add_ext(cert, ext.get(), -1)) Fail(std::string("extension ") + value);
}

// Writes through a temporary name and renames, so a reader never sees half a file.
template <class WriteFn>
void WritePem(const std::filesystem::path& path, mode_t mode, WriteFn write) {
  std::filesystem::path tmp = path;
  tmp += ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) throw std::runtime_error("certificate: cannot write " + tmp.string());
  std::unique_ptr<FILE, FileClose> file(fdopen(fd, "w"));
  if (!file) {
    ::close(fd);
    throw std::runtime_error("certificate: cannot write " + tmp.string());
  }
  if (!write(file.get()) || std::fflush(file.get()) != 0) Fail("write " + tmp.string());
  file.reset();
  std::filesystem::rename(tmp, path);
}

}  // namespace

CertificateFiles EnsureCertificate(const std::filesystem::path& dir) {
  CertificateFiles files{dir / "cert.pem", dir / "key.pem"};
  if (std::filesystem::exists(files.cert) && std::filesystem::exists(files.key)) return files;

  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) Fail("key generation");
  std::unique_ptr<X509, CertFree> cert(X509_new());
  if (!cert) Fail("X509_new");
  X509_set_version(cert.get(), 2);
  uint64_t serial = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) != 1) Fail("serial");
  ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), serial >> 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3650L * 24 * 3600);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("attestra-sim"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  if (!X509_set_pubkey(cert.get(), key.get())) Fail("public key");
  // Its own trust anchor: clients name this file as their CA bundle.
  AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
  AddExtension(cert.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
  AddExtension(cert.get(), NID_subject_key_identifier, "hash");
  if (!X509_sign(cert.get(), key.get(), EVP_sha256())) Fail("sign");

  WritePem(files.key, 0600, [&](FILE* f) {
    return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  });
  WritePem(files.cert, 0644, [&](FILE* f) { return PEM_write_X509(f, cert.get()) == 1; });
  return files;
}

}  // namespace sim
