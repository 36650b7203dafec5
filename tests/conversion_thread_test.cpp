// Songs converted on several threads at once, each with its own session, clock and output,
// while the main thread shows the progress: the files are those one thread writes, byte for
// byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "render/conversion.h"
#include "support/corpus.h"
#include "support/system_platform.h"
#include "support/temp_dir.h"
#include "support/virtual_platform.h"

namespace tessaro::testing {
namespace {

TEST(ParallelConversion, WritesWhatOneThreadWrites) {
  std::map<std::string, std::string> written[2];
  for (int run = 0; run < 2; ++run) {
    render::ConversionTask task;
    task.songs = corpusSongs();
    task.output = makeTempDir("tessaro-parallel-") + "/";
    task.jobs = run == 0 ? 1 : 4;
    VirtualClock wall;
    SystemOutputFiles files;
    Log log;
    log.startCapture();
    render::ConversionContext context{files, nullptr, wall, log};
    EXPECT_EQ(render::runConversion(task, context), render::someFailed);
    EXPECT_NE(log.captured().find("70 of 72 songs converted"), std::string::npos);
    for (const auto& entry : std::filesystem::directory_iterator(task.output)) {
      std::ifstream in(entry.path(), std::ios::binary);
      written[run][entry.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
    }
    std::filesystem::remove_all(task.output);
  }
  EXPECT_EQ(written[0].size(), 70u);  // the cut track of the missing-byte song plays
  EXPECT_TRUE(written[0] == written[1]);
}

}  // namespace
}  // namespace tessaro::testing
