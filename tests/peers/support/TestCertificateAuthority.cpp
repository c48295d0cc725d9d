#include "tests/peers/support/TestCertificateAuthority.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <cstdlib>
#include <stdexcept>

namespace peers {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

Key makeKey(bool rsa = false) {
  Key key(rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!key) throw std::runtime_error("cannot make a key");
  return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

Certificate makeCertificate(const std::string& commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                            long notBeforeSeconds, long notAfterSeconds, long serial) {
  Certificate certificate(X509_new(), X509_free);
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), notBeforeSeconds);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), notAfterSeconds);
  X509_set_pubkey(certificate.get(), key);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : name);
  X509* signer = issuer ? issuer : certificate.get();
  if (issuer) {
    addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate.get(), signer, NID_subject_alt_name, ("DNS:" + commonName).c_str());
  } else {
    addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  }
  if (!X509_sign(certificate.get(), issuerKey ? issuerKey : key, EVP_sha256())) throw std::runtime_error("cannot sign");
  return certificate;
}

void write(const std::filesystem::path& path, X509* certificate) {
  FILE* file = std::fopen(path.c_str(), "w");
  PEM_write_X509(file, certificate);
  std::fclose(file);
}

void write(const std::filesystem::path& path, EVP_PKEY* key) {
  FILE* file = std::fopen(path.c_str(), "w");
  PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(file);
}

}  // namespace

struct TestCertificateAuthority::Keys {
  Key key = makeKey();
  Certificate certificate{nullptr, X509_free};
  long serial = 1;
};

TestCertificateAuthority::TestCertificateAuthority() : keys_(std::make_unique<Keys>()) {
  keys_->certificate = makeCertificate("Fluvio Test CA", keys_->key.get(), nullptr, nullptr, -3600, 7 * 24 * 3600, 1);
  write(certificateFile(), keys_->certificate.get());
}

TestCertificateAuthority::~TestCertificateAuthority() = default;

NginxRTMPServer::TLSCertificate TestCertificateAuthority::issue(const std::string& name, const std::string& hostName,
                                                                std::chrono::hours notBefore,
                                                                std::chrono::hours notAfter) {
  return issueWith(KeyKind::ec, name, hostName, notBefore, notAfter);
}

NginxRTMPServer::TLSCertificate TestCertificateAuthority::issueRSA(const std::string& name,
                                                                   const std::string& hostName) {
  return issueWith(KeyKind::rsa, name, hostName, std::chrono::hours(-1), std::chrono::hours(24));
}

NginxRTMPServer::TLSCertificate TestCertificateAuthority::issueWith(KeyKind kind, const std::string& name,
                                                                    const std::string& hostName,
                                                                    std::chrono::hours notBefore,
                                                                    std::chrono::hours notAfter) {
  Key key = makeKey(kind == KeyKind::rsa);
  const auto seconds = [](std::chrono::hours hours) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(hours).count());
  };
  Certificate certificate = makeCertificate(hostName, key.get(), keys_->certificate.get(), keys_->key.get(),
                                            seconds(notBefore), seconds(notAfter), ++keys_->serial);
  NginxRTMPServer::TLSCertificate files{directory_.path() / (name + ".pem"), directory_.path() / (name + ".key")};
  write(files.certificate, certificate.get());
  write(files.key, key.get());
  return files;
}

TrustedCertificateFile::TrustedCertificateFile(const std::filesystem::path& file) {
  if (const char* previous = std::getenv("SSL_CERT_FILE")) previous_ = previous;
  ::setenv("SSL_CERT_FILE", file.c_str(), 1);
}

TrustedCertificateFile::~TrustedCertificateFile() {
  if (previous_) {
    ::setenv("SSL_CERT_FILE", previous_->c_str(), 1);
  } else {
    ::unsetenv("SSL_CERT_FILE");
  }
}

}  // namespace peers
