#pragma once

#include <string>

// The program's four-part file version, "major.minor.release.build" (compiled in from the
// project version).
std::string FileVersionText();
