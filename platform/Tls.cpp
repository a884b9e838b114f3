#include "platform/Tls.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

bool detectTlsAvailable() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  bool curlHasTls = info != nullptr && (info->features & CURL_VERSION_SSL) != 0;
  return curlHasTls && OPENSSL_init_ssl(0, nullptr) == 1;
}
