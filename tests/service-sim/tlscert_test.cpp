#include "service-sim/tlscert.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;

struct CertFree {
  void operator()(X509* c) const { X509_free(c); }
};

std::unique_ptr<X509, CertFree> LoadCert(const fs::path& file) {
  FILE* f = std::fopen(file.c_str(), "r");
  if (!f) return nullptr;
  X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  return std::unique_ptr<X509, CertFree>(cert);
}

using SimCertificate = vlrtest::HomeTest;

TEST_F(SimCertificate, NamesLoopbackAndLocalhostOnly) {
  sim::CertificateFiles files = sim::EnsureCertificate(home_.Tmp());
  auto cert = LoadCert(files.cert);
  ASSERT_TRUE(cert);
  EXPECT_EQ(X509_check_host(cert.get(), "localhost", 0, 0, nullptr), 1);
  EXPECT_EQ(X509_check_ip_asc(cert.get(), "127.0.0.1", 0), 1);
  EXPECT_EQ(X509_check_host(cert.get(), "example.com", 0, 0, nullptr), 0);
  EXPECT_EQ(X509_check_ip_asc(cert.get(), "10.0.0.1", 0), 0);
  EXPECT_EQ(X509_check_purpose(cert.get(), X509_PURPOSE_SSL_SERVER, 0), 1);
  EXPECT_LT(X509_cmp_current_time(X509_get0_notBefore(cert.get())), 0);
  EXPECT_GT(X509_cmp_current_time(X509_get0_notAfter(cert.get())), 0);
}

TEST_F(SimCertificate, KeyIsPrivateToTheOwner) {
  sim::CertificateFiles files = sim::EnsureCertificate(home_.Tmp());
  struct stat st {};
  ASSERT_EQ(stat(files.key.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SimCertificate, IsMadeOnceAndKept) {
  sim::CertificateFiles first = sim::EnsureCertificate(home_.Tmp());
  std::string cert = vlrtest::ReadFile(first.cert), key = vlrtest::ReadFile(first.key);
  sim::CertificateFiles again = sim::EnsureCertificate(home_.Tmp());
  EXPECT_EQ(vlrtest::ReadFile(again.cert), cert);
  EXPECT_EQ(vlrtest::ReadFile(again.key), key);
  fs::remove(first.key);  // half a pair is useless: both are made anew
  sim::CertificateFiles remade = sim::EnsureCertificate(home_.Tmp());
  EXPECT_NE(vlrtest::ReadFile(remade.cert), cert);
  EXPECT_TRUE(fs::exists(remade.key));
  for (const auto& e : fs::directory_iterator(home_.Tmp())) EXPECT_NE(e.path().extension(), ".tmp");
}

}  // namespace
