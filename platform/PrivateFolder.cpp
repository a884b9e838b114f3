#include "platform/PrivateFolder.h"

#include <sys/stat.h>

#include "platform/AtomicFile.h"

void makePrivateFolder(const TPaths& paths) {
  // A fresh account may not even have its data home (~/.local/share): make the whole chain.
  if (makeFolders(paths.vendorFolder())) ::mkdir(paths.privateFolder().c_str(), 0700);
}
