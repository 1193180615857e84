#include "sim/pki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace lumivex::sim {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("pki: ") + what);
}

Key NewKey() {
  Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
  Check(key != nullptr, "key generation");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext != nullptr, "extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

Cert NewCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long serial,
             const std::string& altNames = {}) {
  Cert cert(X509_new(), X509_free);
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400L * 30);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                             -1, -1, 0);
  X509* signer = issuer ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  if (!issuer) {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  } else {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), signer, NID_subject_alt_name, altNames.c_str());
    AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
  }
  Check(X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) > 0, "signing");
  return cert;
}

std::string Pem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(n));
  BIO_free(bio);
  return text;
}

std::string Pem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(n));
  BIO_free(bio);
  return text;
}

}  // namespace

Pki MakePki(const std::string& subjectAltNames) {
  Key caKey = NewKey();
  Cert ca = NewCert(caKey.get(), "lumivex-sim CA", nullptr, nullptr, 1);
  Key serverKey = NewKey();
  Cert server = NewCert(serverKey.get(), "lumivex-sim", ca.get(), caKey.get(), 2, subjectAltNames);
  return Pki{Pem(ca.get()), Pem(server.get()), Pem(serverKey.get())};
}

}  // namespace lumivex::sim
