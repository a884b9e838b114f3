#pragma once

#include <map>
#include <optional>
#include <string>

// The process environment, behind a seam so that a missing or odd TMP can be tested.
class IEnv {
 public:
  virtual ~IEnv() = default;
  // The variable's value, or nothing when it is unset.
  virtual std::optional<std::string> get(const std::string& name) const = 0;
};

class TSystemEnv final : public IEnv {
 public:
  std::optional<std::string> get(const std::string& name) const override;
};
