#include "core/Version.h"

#include <cstdio>

std::string FileVersionText() {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", OSTREL_VERSION_MAJOR, OSTREL_VERSION_MINOR,
                OSTREL_VERSION_PATCH, OSTREL_VERSION_TWEAK);
  return text;
}
