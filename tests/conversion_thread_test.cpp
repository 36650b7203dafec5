// Songs converted on several threads at once, each with its own session, clock and output,
// while the main thread draws the progress: the files are those one thread writes, byte for
// byte, and the report is the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "render/conversion.h"
#include "support/corpus.h"
#include "support/temp_dir.h"
#include "support/virtual_platform.h"

namespace tessaro::testing {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> filesIn(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

TEST(ParallelConversion, WritesWhatOneThreadWrites) {
  std::map<std::string, std::string> written[2];
  std::set<std::string> failures[2];
  const int32_t jobs[2] = {1, 4};
  for (int run = 0; run < 2; ++run) {
    const std::string dir = makeTempDir("tessaro-parallel-");
    render::ConversionTask task;
    task.songs = corpusSongs();
    task.output = dir + "/";
    task.jobs = jobs[run];
    VirtualClock wall;
    Log log;
    log.startCapture();
    EXPECT_EQ(render::runConversion(task, nullptr, wall, log, false), render::someFailed);
    written[run] = filesIn(dir);
    fs::remove_all(dir);
    std::istringstream lines(log.captured());
    for (std::string line; std::getline(lines, line);)
      if (line.find("not converted") != std::string::npos) failures[run].insert(line);
  }
  EXPECT_EQ(written[0].size(), corpusSongs().size() - 3);
  EXPECT_TRUE(written[0] == written[1]);
  EXPECT_EQ(failures[0].size(), 3u);
  EXPECT_EQ(failures[0], failures[1]);
}

}  // namespace
}  // namespace tessaro::testing
