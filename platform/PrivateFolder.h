#pragma once

#include "platform/Paths.h"

// Makes the vendor folder and the program's private folder inside it (mode 0700), with any
// missing parents. Failures are silent: only autostart needs the folder, and it reports its own
// failure.
void makePrivateFolder(const TPaths& paths);
