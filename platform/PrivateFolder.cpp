#include "platform/PrivateFolder.h"

#include <sys/stat.h>

namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

void makePrivateFolder(const TPaths& paths) {
  std::string vendor = paths.vendorFolder();
  if (exists(vendor)) {
    if (!exists(paths.privateFolder())) ::mkdir(paths.privateFolder().c_str(), 0700);
  } else if (::mkdir(vendor.c_str(), 0700) == 0) {
    ::mkdir(paths.privateFolder().c_str(), 0700);
  }
}
