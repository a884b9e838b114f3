#include "api/ApiRequest.h"

TApiSettings TApiSettings::from(const TAppSettings& settings, bool tlsAvailable) {
  TApiSettings s;
  s.ssl = settings.APISSL && tlsAvailable;
  s.authType = settings.APIAuthtype;
  s.method = settings.APIMethod;
  s.username = settings.APIUsername;
  s.password = settings.APIPassword;
  return s;
}
