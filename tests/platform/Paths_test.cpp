#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/support/Fakes.h"

namespace {

namespace fs = std::filesystem;

struct TFallbackCase {
  const char* fault;
  // Prepares <shared>/ostrel-stream-<uid> (given as `folder`) before the choice is made.
  std::function<void(const std::string& folder)> prepare;
  ETempRefusal refusal;
};

// The fallback folder holds the log and the snapshots: anything that is not a folder of ours,
// closed to everybody else, must be refused and the reason told, never used silently.
TEST(Paths, FallbackTempFolderIsOursOrRefusedWithItsReason) {
  const std::vector<TFallbackCase> cases = {
      {"a missing folder is made, closed to others", [](const std::string&) {}, ETempRefusal::None},
      {"our own folder is taken again", [](const std::string& f) { ::mkdir(f.c_str(), 0700); },
       ETempRefusal::None},
      {"a link planted in its place would redirect our writes",
       [](const std::string& f) {
         fs::create_directory(f + "-target");
         ::chmod((f + "-target").c_str(), 0700);
         fs::create_directory_symlink(f + "-target", f);
       },
       ETempRefusal::SymbolicLink},
      {"a file in its place is no folder", [](const std::string& f) { std::ofstream(f) << "x"; },
       ETempRefusal::NotAFolder},
      {"a folder others may write to lets them plant files",
       [](const std::string& f) {
         ::mkdir(f.c_str(), 0700);
         ::chmod(f.c_str(), 0733);
       },
       ETempRefusal::OpenToOthers},
      {"a folder the group may read shows our snapshots",
       [](const std::string& f) {
         ::mkdir(f.c_str(), 0700);
         ::chmod(f.c_str(), 0750);
       },
       ETempRefusal::OpenToOthers},
  };
  for (const TFallbackCase& c : cases) {
    SCOPED_TRACE(c.fault);
    QTemporaryDir shared;
    const std::string folder =
        shared.path().toStdString() + "/ostrel-stream-" + std::to_string(::getuid());
    c.prepare(folder);
    TFakeEnv env;
    TTempFolder chosen = TPaths(env, shared.path().toStdString()).chooseTempFolder();
    EXPECT_EQ(chosen.refusal, c.refusal);
    if (c.refusal == ETempRefusal::None) {
      EXPECT_EQ(chosen.folder, folder);
      EXPECT_TRUE(chosen.refusedFolder.empty());
      struct stat st {};
      ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0700u);
    } else {
      EXPECT_EQ(chosen.folder, std::nullopt);
      EXPECT_EQ(chosen.refusedFolder, folder);
    }
  }
}

TEST(Paths, FallbackOfAnotherUserIsRefused) {
  if (::getuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  QTemporaryDir shared;
  const std::string folder =
      shared.path().toStdString() + "/ostrel-stream-" + std::to_string(::getuid());
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
  TFakeEnv env;
  TTempFolder chosen = TPaths(env, shared.path().toStdString()).chooseTempFolder();
  EXPECT_EQ(chosen.refusal, ETempRefusal::OtherOwner);
  EXPECT_EQ(chosen.folder, std::nullopt);
}

TEST(Paths, FallbackThatCannotBeMadeSaysWhy) {
  QTemporaryDir shared;
  const std::string notAFolder = shared.path().toStdString() + "/file";
  std::ofstream(notAFolder) << "x";
  TFakeEnv env;
  TTempFolder chosen = TPaths(env, notAFolder).chooseTempFolder();
  EXPECT_EQ(chosen.refusal, ETempRefusal::CannotCreate);
  EXPECT_EQ(chosen.error, ENOTDIR);
  EXPECT_EQ(chosen.refusedFolder, notAFolder + "/ostrel-stream-" + std::to_string(::getuid()));
}

// What the user set is their choice, checked by nobody: a sticky shared /tmp included. Only an
// empty value or the filesystem root falls through to the next choice.
TEST(Paths, TmpAndTmpdirAreTakenAsTheyAre) {
  QTemporaryDir shared;
  const std::string fallback =
      shared.path().toStdString() + "/ostrel-stream-" + std::to_string(::getuid());
  struct TCase {
    std::map<std::string, std::string> values;
    std::string folder;
  };
  const std::vector<TCase> cases = {
      {{{"TMP", "/tmp"}, {"TMPDIR", "/var/tmp"}}, "/tmp"},
      {{{"TMP", ""}, {"TMPDIR", "/var/tmp"}}, "/var/tmp"},
      {{{"TMP", "/"}, {"TMPDIR", "/"}}, fallback},
      {{}, fallback},
  };
  for (const TCase& c : cases) {
    TFakeEnv env;
    env.values = c.values;
    TTempFolder chosen = TPaths(env, shared.path().toStdString()).chooseTempFolder();
    EXPECT_EQ(chosen.folder, c.folder);
    EXPECT_EQ(chosen.refusal, ETempRefusal::None);
  }
}

}  // namespace
