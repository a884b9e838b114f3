#include "core/AppSettings.h"

TAppSettings AppSettings;
bool sslAvailable = false;
