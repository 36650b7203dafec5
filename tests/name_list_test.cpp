// Lists of song names (--files-from FILE, "-"): the bytes of a list in, the names out, and the
// files and pipes a list is read from, which never hold the reading beyond a stop request.
#include "app/name_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "support/smf.h"
#include "support/system_platform.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#endif

namespace tessaro::testing {
namespace {

std::string describe(const NameList& list) {
  std::string text;
  for (const std::string& name : list.names) text += "[" + name + "]";
  for (const NameList::Skipped& s : list.skipped)
    text += " skipped " + std::to_string(s.line) + ": " + s.why;
  if (!list.failure.empty()) text += " failed: " + list.failure;
  if (list.full) text += " full";
  return text;
}

// The same bytes whole and one at a time: a line split between reads is one line.
TEST(NameList, BytesInNamesOut) {
  const std::string tooLong = "longer than 4096 bytes: no song name; skipped";
  const struct {
    std::string bytes;
    std::string names;
  } rows[] = {
      {"a.mid\nb c.mid\n", "[a.mid][b c.mid]"},
      {"a.mid\r\nb.mid", "[a.mid][b.mid]"},
      {"\n\n  \n\t\r\na.mid\n\n", "[a.mid]"},
      {" lead and trail .mid \n", "[ lead and trail .mid ]"},
      {"-x.mid\n/xg\n--help\n", "[-x.mid][/xg][--help]"},
      {"\xEF\xBB\xBF"
       "a.mid\n\xEF\xBB\xBF"
       "b.mid\n",
       "[a.mid][\xEF\xBB\xBF"
       "b.mid]"},
      {"caf\xC3\xA9.mid\n", "[caf\xC3\xA9.mid]"},
      {std::string(4096, 'n') + "\nb.mid\n", "[" + std::string(4096, 'n') + "][b.mid]"},
      {"a.mid\n" + std::string(4097, 'n') + "\nb.mid", "[a.mid][b.mid] skipped 2: " + tooLong},
      {"a.mid\n" + std::string(100000, 'n'), "[a.mid] skipped 2: " + tooLong},
      {std::string("a.mid\nMThd\0\0\0\x06\n", 13),
       "[a.mid] failed: line 2 is not text (a list holds one song name a line)"},
      {"a.mid\n\x1b[1mb.mid\n",
       "[a.mid] failed: line 2 is not text (a list holds one song name a line)"},
      {"", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes.substr(0, 40));
    NameList whole;
    NameListSplitter all(whole);
    all.feed(row.bytes.data(), row.bytes.size());
    all.finish();
    EXPECT_EQ(describe(whole), row.names);
    NameList pieces;
    NameListSplitter one(pieces);
    for (char c : row.bytes) one.feed(&c, 1);
    one.finish();
    EXPECT_EQ(describe(pieces), row.names);
  }
}

TEST(NameList, EndlessListStopsAtItsBound) {
  NameList list;
  NameListSplitter splitter(list);
  const std::string line = "y\n";
  size_t lines = 0;
  while (splitter.feed(line.data(), line.size()) && lines < 2 * nameListNameLimit) ++lines;
  EXPECT_TRUE(list.full);
  EXPECT_EQ(list.names.size(), nameListNameLimit);
  EXPECT_EQ(lines, nameListNameLimit);
}

// Lists are read in the places of their words; a list that cannot be read ends the run.
TEST(NameList, ListsAreReadInTheirPlaces) {
  TempFile list(Bytes{'p', '.', 'm', 'i', 'd', '\n'}, "l.txt");
  TempFile binary(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6}, "song.mid");
  const struct {
    std::vector<std::string> words;
    bool read;
    std::string queued;
    std::string errors;
  } rows[] = {
      {{"a.mid", "--files-from", list.path(), "b.mid"}, true, "a.mid p.mid b.mid", ""},
      {{"--files-from=" + list.path(), "--files-from", list.path()}, true, "p.mid p.mid", ""},
      {{"--files-from", list.dir() + "/none", "a.mid"},
       false,
       "",
       "tessaro: " + list.dir() + "/none: no such file\n"},
      {{"--files-from", binary.path()},
       false,
       "",
       "tessaro: " + binary.path() + ": line 1 is not text (a list holds one song name a line)\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.words[0]);
    SystemFileSystem files;
    Log log;
    log.startCapture();
    std::vector<std::string> words{"tessaro"};
    words.insert(words.end(), row.words.begin(), row.words.end());
    CommandLine line = parseCommandLine(words, {});
    ASSERT_EQ(readNameLists(
                  line, files, [] { return false; }, log),
              row.read);
    EXPECT_EQ(log.capturedErrors(), row.errors);
    if (!row.read) continue;
    std::string queued;
    for (const CommandLine::Item& item : line.items)
      queued += (queued.empty() ? "" : " ") + item.word;
    EXPECT_EQ(queued, row.queued);
  }
}

#ifndef _WIN32
// The system's own files and pipes. A FIFO without a writer holds an ordinary open for ever:
// here the reading waits for one only until the stop request.
TEST(NameList, FilesPipesAndDevicesOfTheSystem) {
  TempFile list(Bytes{'a', '.', 'm', 'i', 'd', '\n', 'b', '.', 'm', 'i', 'd', '\n'}, "list.txt");
  const std::string fifo = list.dir() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  SystemFileSystem files;
  auto never = [] { return false; };

  EXPECT_EQ(describe(readNameList(files, list.path(), never)), "[a.mid][b.mid]");
  EXPECT_EQ(describe(readNameList(files, list.dir(), never)), " failed: is a directory");
  EXPECT_EQ(describe(readNameList(files, "/dev/zero", never)), " failed: is a device, not a file");
  EXPECT_EQ(describe(readNameList(files, list.dir() + "/none", never)), " failed: no such file");

  int asked = 0;
  NameList waiting = readNameList(files, fifo, [&] { return ++asked >= 3; });
  EXPECT_TRUE(waiting.stopped);
  EXPECT_TRUE(waiting.names.empty());

  // A writer that comes, writes and goes: its names are read to the end of the pipe.
  std::thread writer([&] {
    int fd = ::open(fifo.c_str(), O_WRONLY);
    if (fd < 0) return;
    const char text[] = "p.mid\nq.mid\n";
    (void)!::write(fd, text, sizeof text - 1);
    ::close(fd);
  });
  NameList piped = readNameList(files, fifo, never);
  writer.join();
  EXPECT_EQ(describe(piped), "[p.mid][q.mid]");
}
#endif

}  // namespace
}  // namespace tessaro::testing
