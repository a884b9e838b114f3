#include "tools/panel-sim/TlsContext.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& what) {
  char reason[256] = "unknown reason";
  if (unsigned long code = ERR_get_error()) ERR_error_string_n(code, reason, sizeof reason);
  throw std::runtime_error("TLS: cannot " + what + ": " + reason);
}

}  // namespace

TTlsContext::TTlsContext() {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!key) fail("make a key");
  std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
  if (!certificate) fail("make a certificate");
  X509* c = certificate.get();
  X509_set_version(c, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(c), 1);
  // A day back, so that a clock slightly behind ours still accepts it.
  X509_gmtime_adj(X509_getm_notBefore(c), -86400);
  X509_gmtime_adj(X509_getm_notAfter(c), 365L * 86400);
  X509_NAME* name = X509_get_subject_name(c);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("panel-sim"), -1, -1, 0);
  X509_set_issuer_name(c, name);
  X509_set_pubkey(c, key.get());
  if (X509_sign(c, key.get(), EVP_sha256()) == 0) fail("sign the certificate");

  m_context.reset(SSL_CTX_new(TLS_server_method()));
  if (!m_context) fail("make a TLS context");
  if (SSL_CTX_use_certificate(m_context.get(), c) != 1 ||
      SSL_CTX_use_PrivateKey(m_context.get(), key.get()) != 1)
    fail("use the certificate");
}
