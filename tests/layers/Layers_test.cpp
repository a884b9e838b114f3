// Every source file includes only headers of its own folder and of the layers below it, so a
// logic library can never come to depend on widgets or on the program that wires it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What each folder may include besides itself, lowest layer first.
const std::map<std::string, std::set<std::string>>& layerTable() {
  static const std::map<std::string, std::set<std::string>> table = {
      {"base", {}},
      {"platform", {"base"}},
      {"core", {"base", "platform"}},
      {"signalling", {"base", "platform", "core"}},
      {"net", {"base", "platform", "core"}},
      {"video", {"base", "platform", "core"}},
      {"api", {"base", "platform", "core"}},
      {"audio", {"base", "platform", "core", "api"}},
      {"ui", {"base", "platform", "core", "signalling", "net", "video", "api", "audio"}},
      {"app", {"base", "platform", "core", "signalling", "net", "video", "api", "audio", "ui"}},
      {"tools/panel-sim", {"base"}},
  };
  return table;
}

// The folder of the layer table a path (relative to the source root) belongs to.
std::string layerOf(const std::string& relative) {
  std::string best;
  for (const auto& [folder, allowed] : layerTable())
    if (relative.rfind(folder + "/", 0) == 0 && folder.size() > best.size()) best = folder;
  return best;
}

struct TViolation {
  std::string file;
  std::string include;
};

// The quoted includes of every C++ source under the layered folders, checked against the table.
std::vector<TViolation> checkTree(const fs::path& root) {
  static const std::regex includeLine(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<TViolation> out;
  for (const auto& [folder, allowed] : layerTable()) {
    if (!fs::exists(root / folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string relative = fs::relative(entry.path(), root).string();
      const std::string layer = layerOf(relative);
      if (layer != folder) continue;  // a deeper folder of its own, checked on its turn
      std::ifstream in(entry.path());
      std::string line;
      while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_search(line, match, includeLine)) continue;
        const std::string included = match[1];
        const std::string target = layerOf(included);
        // A header must be named from the source root, so that its layer can be told.
        if (target.empty() || (target != layer && allowed.count(target) == 0))
          out.push_back({relative, included});
      }
    }
  }
  return out;
}

fs::path sourceRoot() {
  const char* dir = std::getenv("OSTREL_SOURCE_DIR");
  return dir != nullptr ? fs::path(dir) : fs::path(OSTREL_SOURCE_DIR_FALLBACK);
}

}  // namespace

TEST(LayersTest, EveryIncludeStaysWithinItsLayer) {
  const fs::path root = sourceRoot();
  ASSERT_TRUE(fs::exists(root / "base")) << root;
  for (const TViolation& v : checkTree(root))
    ADD_FAILURE() << v.file << " includes \"" << v.include << "\", which its layer may not use";
}

// The check itself: a planted include from a lower layer to a higher one, and one that hides its
// folder, are both caught; an include of a lower layer is not.
TEST(LayersTest, TheCheckCatchesAWrongInclude) {
  const fs::path root = fs::temp_directory_path() / ("ostrel-layers-" + std::to_string(getpid()));
  fs::create_directories(root / "base");
  fs::create_directories(root / "video");
  std::ofstream(root / "base" / "Text.h") << "#pragma once\n#include \"video/JpegImage.h\"\n";
  std::ofstream(root / "video" / "JpegImage.h")
      << "#pragma once\n#include \"base/Text.h\"\n#include \"JpegImage.h\"\n";
  std::vector<TViolation> found = checkTree(root);
  fs::remove_all(root);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].file, "base/Text.h");
  EXPECT_EQ(found[0].include, "video/JpegImage.h");
  EXPECT_EQ(found[1].file, "video/JpegImage.h");
  EXPECT_EQ(found[1].include, "JpegImage.h");
}
