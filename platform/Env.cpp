#include "platform/Env.h"

#include <cstdlib>

std::optional<std::string> TSystemEnv::get(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}
