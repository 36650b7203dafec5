// The system's output files (the Linux ones, or the Windows ones under Wine): a file is
// replaced only by a complete new one, a file abandoned leaves no trace, and the final name's
// link and permissions are kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/system_platform.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessaro::testing {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Writes text into a pending file through its stream; commits when asked. The problem, empty
// when all went well.
std::string write(const std::string& path, const std::string& text, bool commit) {
  SystemOutputFiles files;
  platform::PendingFileOpen pending = files.begin(path, ".mid");
  if (!pending.file) return "begin: " + pending.problem;
  std::FILE* stream = pending.file->stream();
  if (stream == nullptr) return "no stream";
  std::fwrite(text.data(), 1, text.size(), stream);
  std::string problem;
  if (commit && !pending.file->commit(problem)) return "commit: " + problem;
  return {};
}

TEST(OutputFiles, AFileIsReplacedOnlyWhenComplete) {
  const struct Row {
    const char* name;
    bool commit;
    const char* content;  // at the final name afterwards
  } rows[] = {
      {"committed", true, "new"},
      {"abandoned", false, "old"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string dir = makeTempDir("tessaro-outputs-");
    std::ofstream(dir + "/out.mid") << "old";
    EXPECT_EQ(write(dir + "/out.mid", "new", row.commit), "");
    EXPECT_EQ(contentOf(dir + "/out.mid"), row.content);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"out.mid"});
    fs::remove_all(dir);
  }
}

#ifndef _WIN32
// A link stays and its target is replaced; the replacement keeps the permissions of the file it
// replaces; a file the user may not write is refused (root may write anything).
TEST(OutputFiles, TheFinalNameKeepsItsLinkAndPermissions) {
  const std::string dir = makeTempDir("tessaro-outputs-");
  std::ofstream(dir + "/target.mid") << "old";
  ::chmod((dir + "/target.mid").c_str(), 0640);
  fs::create_symlink("target.mid", dir + "/link.mid");
  EXPECT_EQ(write(dir + "/link.mid", "new", true), "");
  EXPECT_TRUE(fs::is_symlink(dir + "/link.mid"));
  EXPECT_EQ(contentOf(dir + "/target.mid"), "new");
  struct stat info {};
  ASSERT_EQ(::stat((dir + "/target.mid").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  if (::geteuid() != 0) {
    ::chmod((dir + "/target.mid").c_str(), 0444);
    EXPECT_EQ(write(dir + "/target.mid", "newer", true), "begin: Permission denied");
    EXPECT_EQ(contentOf(dir + "/target.mid"), "new");
  }
  EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"link.mid", "target.mid"}));
  fs::remove_all(dir);
}
#endif

}  // namespace
}  // namespace tessaro::testing
