#include "core/HelpPage.h"

#include <filesystem>
#include <system_error>

std::string helpPageName(const std::string& language) {
  return language == "FR" ? "index.fr.html" : "index.en.html";
}

std::optional<std::string> findHelpPage(const std::string& language, const std::string& programDir,
                                        const std::string& sourceHelpDir) {
  namespace fs = std::filesystem;
  const std::string name = helpPageName(language);
  const fs::path installed = programDir.empty()
                                 ? fs::path()
                                 : fs::path(programDir) / ".." / "share" / "ostrel-stream" / "help";
  for (const fs::path& folder : {installed, fs::path(sourceHelpDir)}) {
    if (folder.empty()) continue;
    std::error_code error;
    const fs::path page = (folder / name).lexically_normal();
    if (fs::is_regular_file(page, error)) return page.string();
  }
  return std::nullopt;
}
