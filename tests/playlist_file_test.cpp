// Play lists as users write them: the text of a list in, the songs it gives and what is said of
// the lines that give none out.
#include "control/playlist_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/system_platform.h"
#include "support/temp_dir.h"

namespace tessaro::testing {
namespace {

struct ListRow {
  const char* name;
  std::string text;                                       // of the list; {T} is its folder
  std::vector<std::pair<std::string, std::string>> more;  // further files and their text
  std::vector<std::string> songs;
  std::string said;  // on the error stream
  std::string list = "l.m3u";
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

std::string lines(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\n";
  return text;
}

TEST(PlayListReader, GivesTheSongsItsLinesName) {
  const std::string n = "tessaro: l.m3u:";
  const ListRow rows[] = {
      {"names relative to the list's folder", "a.mid\nsub/b.mid\n", {}, {"a.mid", "sub/b.mid"}, ""},
      {"an absolute name as it stands", "{T}a.mid", {}, {"a.mid"}, ""},
      {"comments, extended tags and blank lines",
       "#EXTM3U\n#EXTINF:93,Artist - Title\na.mid\n\n  \t\n# sub/b.mid\n",
       {},
       {"a.mid"},
       ""},
      {"CR LF line ends", "a.mid\r\nsub/b.mid\r\n", {}, {"a.mid", "sub/b.mid"}, ""},
      {"a byte-order mark",
       "\xEF\xBB\xBF"
       "a.mid\n",
       {},
       {"a.mid"},
       ""},
      {"a URL",
       "http://example.com/a.mid\na.mid",
       {},
       {"a.mid"},
       n + "1: http://example.com/a.mid: a URL; only files are played\n"},
      {"a missing entry", "gone.mid\na.mid\n", {}, {"a.mid"}, n + "1: gone.mid: no such file\n"},
      {"a directory", "sub\n", {}, {}, n + "1: sub: is a directory\n"},
      {"no MIDI file", "notes.txt\n", {}, {}, n + "1: notes.txt: not a MIDI file (.mid)\n"},
      {"a line too long",
       std::string(5000, 'x') + "\na.mid\n",
       {},
       {"a.mid"},
       n + "1: a line longer than 4095 bytes: skipped\n"},
      {"a list within the list, its names relative to its own folder",
       "sub/in.m3u\na.mid\n",
       {{"sub/in.m3u", "b.mid\n"}},
       {"sub/b.mid", "a.mid"},
       ""},
      {"a list that includes itself",
       "a.mid\n./l.m3u\n",
       {},
       {"a.mid"},
       n + "2: ./l.m3u: the list includes itself: not read again\n"},
      {"lists that include each other",
       "sub/in.m3u\n",
       {{"sub/in.m3u", "../l.m3u\nb.mid\n"}},
       {"sub/b.mid"},
       "tessaro: sub/in.m3u:1: ../l.m3u: the list includes itself: not read again\n"},
      {"lists nested too deep",
       "n1.m3u\n",
       {{"n1.m3u", "n2.m3u"},
        {"n2.m3u", "n3.m3u"},
        {"n3.m3u", "n4.m3u"},
        {"n4.m3u", "n5.m3u"},
        {"n5.m3u", "n6.m3u"},
        {"n6.m3u", "n7.m3u"},
        {"n7.m3u", "n8.m3u\na.mid"},
        {"n8.m3u", "a.mid"}},
       {"a.mid"},
       "tessaro: n7.m3u:1: n8.m3u: lists within lists more than 8 deep: not read\n"},
      {"too many lists read",
       lines("e.m3u", 1001),
       {{"e.m3u", ""}},
       {},
       n + "1000: e.m3u: more than 1000 lists: not read\n" + n +
           "1001: e.m3u: more than 1000 lists: not read\n"},
      {"names of a UTF-8 list as the system takes them",
       "caf\xC3\xA9.mid\n",
       {{"cafe.mid", ""}},
       {"cafe.mid"},
       "",
       "l.m3u8"},
      {"a list that cannot be read", "", {}, {}, "tessaro: none.m3u: no such file\n", "none.m3u"},
      {"a directory named as a list",
       "",
       {{"d.m3u/x", ""}},
       {},
       "tessaro: d.m3u: is a directory\n",
       "d.m3u"},
  };
  for (const ListRow& row : rows) {
    SCOPED_TRACE(row.name);
    FileTree tree;
    const std::string folder = tree.path("");
    tree.file("a.mid");
    tree.file("sub/b.mid");
    tree.file("notes.txt");
    if (row.list != "none.m3u") tree.file("l.m3u", replaced(row.text, "{T}", folder));
    if (row.list == "l.m3u8") tree.file(row.list, row.text);
    for (const auto& [name, text] : row.more) tree.file(name, text);
    SystemFileSystem files;
    Log log;
    log.startCapture();
    PlayListReader reader(files, log, {}, [](const std::string& name) {
      return replaced(name, "\xC3\xA9", "e");  // the system's name of an accented letter
    });
    std::vector<std::string> songs = reader.songsOf(tree.path(row.list));
    for (std::string& song : songs) song = replaced(song, folder, "");
    EXPECT_EQ(songs, row.songs);
    EXPECT_EQ(replaced(log.capturedErrors(), folder, ""), row.said);
  }
}

TEST(PlayListReader, KnowsListsByTheirExtension) {
  for (const char* name : {"a.m3u", "B.M3U", "dir/c.M3u8"}) EXPECT_TRUE(isPlayListName(name));
  for (const char* name : {"a.mid", "a.m3u.mid", "m3u", "a.m3", "a.m3u9"})
    EXPECT_FALSE(isPlayListName(name)) << name;
}

}  // namespace
}  // namespace tessaro::testing
