// The settings file under faults: read-only files and folders, two instances closing one after the
// other, writers racing each other, and a writer killed at any moment. A failed save loses only
// the unsaved values and never damages the file.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "settings/Profile.h"
#include "settings/SettingsStore.h"
#include "support/ProfileKinds.h"
#include "support/TestFiles.h"
#include "tests/fault/FaultSupport.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velmora {
namespace {

namespace fs = std::filesystem;

GeneratorSettings Record(const std::string& tag, std::int32_t number) {
  GeneratorSettings s;
  s.Input = tag + "\\input \x82\xa0.csv";
  s.Output = tag + "\\out";
  s.Template = tag + "\\template.html";
  s.ReplaceLead = tag + "[";
  s.ReplaceTail = "]" + tag;
  s.ReplaceDefault = tag + " default";
  s.ReplaceFormat = number;
  s.RuleLead = tag + "-";
  s.RuleTail = "." + tag;
  s.Rule = number;
  s.RuleNumber = static_cast<std::uint32_t>(number) * 1000u;
  s.FieldSeparator = number;
  s.FieldBreak = number;
  return s;
}

class SettingsFault : public test::ProfileKindTest {
 protected:
  void SetUp() override {
    test::ProfileKindTest::SetUp();
    if (IsSkipped()) return;
    path = platform::AbsolutePath(dir / "velmora.ini");
  }
  GeneratorSettings Load(const std::string& file) const {
    GeneratorSettings s;
    LoadSettings(s, file, *MakeProfile());
    return s;
  }
  void Save(const GeneratorSettings& s, const std::string& file) const {
    SaveSettings(s, file, *MakeProfile());
  }

  test::TempDir dir;
  std::string path;
};

TEST_P(SettingsFault, ReadOnlyFileKeepsEveryByteAndTheSaveFailsSilently) {
  Save(Record("old", 1), path);
  const std::string before = test::ReadBytes(path) + "; a comment of the user\r\n";
  test::WriteBytes(path, before);
  test::MakeReadOnly(path);

  Save(Record("new", 2), path);

  EXPECT_EQ(test::ReadBytes(path), before);
  EXPECT_EQ(Load(path), Record("old", 1));
}

TEST_P(SettingsFault, ReadOnlyFolderLosesOnlyTheUnsavedValues) {
  Save(Record("old", 1), path);
  const std::string before = test::ReadBytes(path);
  fs::permissions(dir.Path(), fs::perms::owner_write | fs::perms::group_write |
                                  fs::perms::others_write, fs::perm_options::remove);

  Save(Record("new", 2), path);

  // A user whom the system lets write anyway gets the new values; nobody gets a damaged file.
  const GeneratorSettings loaded = Load(path);
  if (test::ReadBytes(path) == before) {
    EXPECT_EQ(loaded, Record("old", 1));
  } else {
    EXPECT_EQ(loaded, Record("new", 2));
  }
  fs::permissions(dir.Path(), fs::perms::owner_all, fs::perm_options::add);
}

TEST_P(SettingsFault, FolderInPlaceOfTheFileIsLeftAloneAndGivesTheDefaults) {
  fs::create_directory(path);
  Save(Record("new", 2), path);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_TRUE(fs::is_empty(path));
  GeneratorSettings defaults;
  defaults.ReplaceLead = "[$_";
  defaults.ReplaceTail = "_$]";
  defaults.RuleTail = ".html";
  EXPECT_EQ(Load(path), defaults);
}

TEST_P(SettingsFault, InstanceClosingLastDecidesWhatTheFileHolds) {
  // Both windows loaded the same file; the one closing last writes over the other's values.
  Save(Record("first", 1), path);
  Save(Record("second", 2), path);
  EXPECT_EQ(Load(path), Record("second", 2));
  const std::string bytes = test::ReadBytes(path);
  for (const char* key : {"Input=", "Lead=", "Number="}) {
    std::size_t count = 0;
    for (std::size_t at = bytes.find(key); at != std::string::npos; at = bytes.find(key, at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, std::string(key) == "Lead=" ? 2u : 1u) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, SettingsFault, test::ProfileKinds(), test::ProfileKindName);

#ifndef _WIN32

// The settings as one snapshot of the file's bytes shows them (a load reads the file once per key,
// so it could mix two versions of a file that is replaced meanwhile).
GeneratorSettings LoadSnapshot(const std::string& path, const test::TempDir& dir) {
  const std::string snapshot = dir / "snapshot.ini";
  test::WriteBytes(snapshot, test::ReadBytes(path));
  GeneratorSettings s;
  LoadSettings(s, snapshot, *MakePortableProfile());
  return s;
}

pid_t StartSaving(const std::string& path, const std::vector<GeneratorSettings>& records) {
  pid_t child = fork();
  if (child == 0) {
    auto profile = MakePortableProfile();
    for (std::size_t i = 0;; ++i) SaveSettings(records[i % records.size()], path, *profile);
  }
  return child;
}

TEST(SettingsWriter, RacingWritersNeverTearTheFile) {
  test::TempDir dir;
  const std::string path = dir / "velmora.ini";
  const GeneratorSettings a = Record("a", 1);
  const GeneratorSettings b = Record("bb", 22);
  SaveSettings(a, path, *MakePortableProfile());
  const pid_t first = StartSaving(path, {a});
  const pid_t second = StartSaving(path, {b});
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  int seenA = 0;
  int seenB = 0;
  for (int i = 0; i < 400; ++i) {
    const GeneratorSettings seen = LoadSnapshot(path, dir);
    if (seen == a) {
      ++seenA;
    } else if (seen == b) {
      ++seenB;
    } else {
      ADD_FAILURE() << "a torn file:\n" << test::ReadBytes(dir / "snapshot.ini");
      break;
    }
  }
  kill(first, SIGKILL);
  kill(second, SIGKILL);
  waitpid(first, nullptr, 0);
  waitpid(second, nullptr, 0);
  EXPECT_GT(seenA + seenB, 0);
  const GeneratorSettings last = LoadSnapshot(path, dir);
  EXPECT_TRUE(last == a || last == b);
}

TEST(SettingsWriter, WriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  test::TempDir dir;
  const std::string path = dir / "velmora.ini";
  const GeneratorSettings a = Record("a", 1);
  const GeneratorSettings b = Record("bb", 22);
  SaveSettings(b, path, *MakePortableProfile());
  const std::string bytesB = test::ReadBytes(path);
  SaveSettings(a, path, *MakePortableProfile());
  const std::string bytesA = test::ReadBytes(path);
  ASSERT_NE(bytesA, bytesB);

  std::mt19937 random(20261207);
  for (int round = 0; round < 40; ++round) {
    const pid_t writer = StartSaving(path, {b, a});
    ASSERT_GT(writer, 0);
    usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(random));
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    const std::string bytes = test::ReadBytes(path);
    ASSERT_TRUE(bytes == bytesA || bytes == bytesB) << "round " << round << ":\n" << bytes;
  }
}

// The portable writer acts as the system's profile writer would: it changes only a file that the
// user may write, whoever may write its folder; it keeps the file's owner, group, mode and hard
// links; and it writes into the file itself where the folder takes no new file. Root may write
// everything, so the saves run as another user; without root only the user's own files are tried.
TEST(SettingsWriter, ChangesOnlyAFileTheUserMayWriteAndKeepsWhatTheFileIs) {
  const bool root = geteuid() == 0;
  constexpr uid_t kNobody = 65534;
  const uid_t user = root ? kNobody : geteuid();
  const gid_t group = root ? kNobody : getegid();
  struct Case {
    const char* what;
    bool usersFolder;  // else root's
    mode_t folderMode;
    bool usersFile;  // else root's
    mode_t fileMode;
    bool secondName;
    bool saved;
  };
  const Case cases[] = {
      {"the user's file in the user's folder", true, 0755, true, 0640, false, true},
      {"the user's file in a folder the user may not write", false, 0755, true, 0604, false, true},
      {"another's file that the user may not write, in a folder everybody may write", false,
       0777, false, 0644, false, false},
      {"another's file that the user may write", true, 0755, false, 0666, false, true},
      {"the user's file with a second name", true, 0755, true, 0644, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!root && (!c.usersFolder || !c.usersFile)) continue;
    test::TempDir dir;
    const std::string folder = dir / "settings";
    fs::create_directory(folder);
    const std::string path = folder + "/velmora.ini";
    SaveSettings(Record("old", 1), path, *MakePortableProfile());
    if (c.secondName) {
      ASSERT_EQ(link(path.c_str(), (folder + "/other.ini").c_str()), 0);
    }
    ASSERT_EQ(chown(path.c_str(), c.usersFile ? user : 0, c.usersFile ? group : 0), 0);
    ASSERT_EQ(chmod(path.c_str(), c.fileMode), 0);
    ASSERT_EQ(chown(folder.c_str(), c.usersFolder ? user : 0, c.usersFolder ? group : 0), 0);
    ASSERT_EQ(chmod(folder.c_str(), c.folderMode), 0);
    const std::string before = test::ReadBytes(path);
    struct stat old {};
    ASSERT_EQ(stat(path.c_str(), &old), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (root && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
      SaveSettings(Record("new", 2), path, *MakePortableProfile());
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    if (c.saved) {
      GeneratorSettings loaded;
      LoadSettings(loaded, path, *MakePortableProfile());
      EXPECT_EQ(loaded, Record("new", 2));
    } else {
      EXPECT_EQ(test::ReadBytes(path), before);
    }
    struct stat now {};
    ASSERT_EQ(stat(path.c_str(), &now), 0);
    EXPECT_EQ(now.st_uid, old.st_uid);
    EXPECT_EQ(now.st_gid, old.st_gid);
    EXPECT_EQ(now.st_mode, old.st_mode);
    EXPECT_EQ(now.st_nlink, old.st_nlink);
    if (c.secondName) {
      EXPECT_EQ(test::ReadBytes(folder + "/other.ini"), test::ReadBytes(path));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              c.secondName ? 2 : 1)
        << "the save left a file behind";
    chmod(folder.c_str(), 0755);
  }
}

// A settings file that its user may write but not read (or that fails to read) keeps its other
// lines: the writer must not replace it by a file made from nothing.
TEST(SettingsWriter, FileThatCannotBeReadIsLeftAsItIs) {
  test::TempDir dir;
  const std::string folder = dir / "settings";
  fs::create_directory(folder);
  const std::string path = folder + "/velmora.ini";
  const std::string before =
      "[Settings]\r\nInput=old.csv\r\n; the user's own comment\r\n[Other]\r\nkey=value\r\n";
  test::WriteBytes(path, before);
  const bool root = geteuid() == 0;
  constexpr uid_t kNobody = 65534;
  // Root reads every file, so the save runs as another user who owns the folder and the file.
  if (root) {
    ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
  }
  ASSERT_EQ(chmod(path.c_str(), 0200), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (root && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    if (platform::ReadWholeFile(path).ok()) _exit(3);  // the file must be unreadable here
    // The save fails with the reason why the file could not be read.
    const platform::Status saved = SaveSettings(Record("new", 2), path, *MakePortableProfile());
    _exit(saved.ok() || saved.error() != EACCES ? 4 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 4) << "the save did not fail with the read's refusal";
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the file could be read, or the user could not be changed";
  chmod(path.c_str(), 0600);
  EXPECT_EQ(test::ReadBytes(path), before);
}

// A settings file that the disk has no room to rewrite keeps every byte: the new file beside it
// fails, and writing over the old one would fail part-way and cut it. A limit on the size of the
// files this process writes stands in for the full disk.
TEST(SettingsWriter, FullDiskKeepsTheOldFileWhole) {
  test::TempDir dir;
  const std::string path = dir / "velmora.ini";
  std::string before;
  for (int i = 0; i < 100; ++i) before += "Key" + std::to_string(i) + "=value\r\n";
  const std::string after = "[Settings]\r\n" + before + before;
  test::WriteBytes(path, before);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{before.size() + 100, before.size() + 100};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    const platform::Status replaced = platform::ReplaceFileContents(path, after);
    _exit(replaced.ok() ? 3 : replaced.error() != EFBIG ? 4 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 4) << "the failure does not carry the system's EFBIG";
  EXPECT_NE(WEXITSTATUS(status), 3) << "the file was written in spite of the limit";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(test::ReadBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

#endif

}  // namespace
}  // namespace velmora
