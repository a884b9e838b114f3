#include "platform/PrivateFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "tests/support/Fakes.h"

namespace {

namespace fs = std::filesystem;

struct TFolderCase {
  const char* fault;
  std::string existing;  // folders present under the home before the call
  bool made;
};

TEST(PrivateFolder, IsMadeWithEveryMissingParent) {
  const std::vector<TFolderCase> cases = {
      {"a fresh account has no ~/.local/share: nothing was made", "", true},
      {"the data home alone", ".local/share", true},
      {"the vendor folder without ours", ".local/share/Halvex", true},
      {"everything there already", ".local/share/Halvex/Ostrel_Stream", true},
  };
  for (const TFolderCase& c : cases) {
    SCOPED_TRACE(c.fault);
    QTemporaryDir home;
    const std::string root = home.path().toStdString();
    if (!c.existing.empty()) fs::create_directories(root + "/" + c.existing);
    TFakeEnv env;
    env.values = {{"HOME", root}};
    TPaths paths(env);
    makePrivateFolder(paths);
    EXPECT_EQ(fs::is_directory(paths.privateFolder()), c.made) << paths.privateFolder();
  }
}

TEST(PrivateFolder, AFileInTheWayIsLeftAloneSilently) {
  QTemporaryDir home;
  const std::string root = home.path().toStdString();
  std::ofstream(root + "/.local") << "not a folder";
  TFakeEnv env;
  env.values = {{"HOME", root}};
  TPaths paths(env);
  makePrivateFolder(paths);
  EXPECT_FALSE(fs::exists(paths.privateFolder()));
  EXPECT_TRUE(fs::is_regular_file(root + "/.local"));
}

}  // namespace
