// Play lists as users write them: the text of a list in, the songs it gives and what is said of
// the lines that give none out.
#include "control/playlist_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/system_platform.h"
#include "support/temp_dir.h"

namespace tessaro::testing {
namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

TEST(PlayListReader, GivesTheSongsItsLinesName) {
  FileTree tree;
  const std::string folder = tree.path("");
  for (const char* song : {"a.mid", "sub/b.mid", "notes.txt", "cafe.mid", "d.m3u/x", "e.m3u"})
    tree.file(song);
  tree.file("sub/in.m3u", "b.mid\n");
  tree.file("sub/back.m3u", "../l.m3u\nb.mid\n");
  for (int i = 1; i <= 8; ++i)  // n1.m3u names n2.m3u, ..., n8.m3u names a.mid
    tree.file("n" + std::to_string(i) + ".m3u",
              i < 8 ? "n" + std::to_string(i + 1) + ".m3u\n" : "a.mid");
  const std::string l = "tessaro: l.m3u:";
  const struct {
    std::string text;  // of the list; {T} is its folder
    std::string songs;
    std::string said;  // on the error stream
    std::string list = "l.m3u";
  } rows[] = {
      {"a.mid\nsub/b.mid\n", "a.mid sub/b.mid ", ""},
      {"{T}a.mid", "a.mid ", ""},
      {"#EXTM3U\n#EXTINF:93,Artist - Title\n\n \t\n# sub/b.mid\na.mid", "a.mid ", ""},
      {"a.mid\r\nsub/b.mid\r\n", "a.mid sub/b.mid ", ""},
      {"\xEF\xBB\xBF"
       "a.mid\n",
       "a.mid ", ""},
      {"http://example.com/a.mid\n", "",
       l + "1: http://example.com/a.mid: a URL; only files are played\n"},
      {"gone.mid\na.mid\n", "a.mid ", l + "1: gone.mid: no such file\n"},
      {"sub\n", "", l + "1: sub: is a directory\n"},
      {"notes.txt\n", "", l + "1: notes.txt: not a MIDI file (.mid)\n"},
      {std::string(5000, 'x') + "\na.mid", "a.mid ",
       l + "1: a line longer than 4095 bytes: skipped\n"},
      {"sub/in.m3u\na.mid\n", "sub/b.mid a.mid ", ""},
      {"a.mid\n./l.m3u\n", "a.mid ", l + "2: ./l.m3u: the list includes itself: not read again\n"},
      {"sub/back.m3u\n", "sub/b.mid ",
       "tessaro: sub/back.m3u:1: ../l.m3u: the list includes itself: not read again\n"},
      {"n1.m3u\n", "",
       "tessaro: n7.m3u:1: n8.m3u: lists within lists more than 8 deep: not read\n"},
      {[] {
         std::string text;
         for (int i = 0; i < 1000; ++i) text += "e.m3u\n";
         return text;
       }(),
       "", l + "1000: e.m3u: more than 1000 lists: not read\n"},
      {"caf\xC3\xA9.mid\n", "cafe.mid ", "", "l.m3u8"},  // the system's name of the letter
      {"", "", "tessaro: none.m3u: no such file\n", "none.m3u"},
      {"", "", "tessaro: d.m3u: is a directory\n", "d.m3u"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    if (!row.text.empty()) tree.file(row.list, replaced(row.text, "{T}", folder));
    SystemFileSystem files;
    Log log;
    log.startCapture();
    PlayListReader reader(files, log, {},
                          [](const std::string& name) { return replaced(name, "\xC3\xA9", "e"); });
    std::string songs;
    for (const std::string& song : reader.songsOf(tree.path(row.list))) songs += song + " ";
    EXPECT_EQ(replaced(songs, folder, ""), row.songs);
    EXPECT_EQ(replaced(log.capturedErrors(), folder, ""), row.said);
  }
}

}  // namespace
}  // namespace tessaro::testing
