#pragma once

#include <optional>
#include <string>

// The help page's file name for a language: French for "FR", English otherwise (the codes
// without texts of their own read the English page).
std::string helpPageName(const std::string& language);

// Where the help page for a language is. An installed program finds it under its prefix,
// <programDir>/../share/ostrel-stream/help; a program run from its build tree finds it in the
// source tree's help folder, sourceHelpDir. The first that exists is returned, else nothing.
std::optional<std::string> findHelpPage(const std::string& language, const std::string& programDir,
                                        const std::string& sourceHelpDir);
