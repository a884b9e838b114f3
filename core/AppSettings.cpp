#include "AppSettings.h"

TAppSettings AppSettings;
bool sslAvailable = false;
