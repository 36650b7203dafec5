// The bash completion as bash runs it: the script sourced, the words of a command line in
// COMP_WORDS, and what the function offers, in a directory of names with spaces and quotes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tessaro::testing {
namespace {

#ifndef _WIN32

const std::string script =
    std::string(TESSARO_TEST_DATA) + "/../../scripts/completion/tessaro.bash";

// A directory with songs, SoundFonts and a directory whose names need quoting in a shell.
class CompletionDir {
 public:
  CompletionDir() : dir_(makeTempDir("tessaro-completion-")) {
    for (const char* name :
         {"my song.mid", "a'b.mid", "x [1].mid", "other.MID", "font.sf2", "font2.SF3", "notes.txt"})
      std::ofstream(dir_ + "/" + name) << "";
    std::filesystem::create_directory(dir_ + "/sub dir");
  }
  ~CompletionDir() { std::filesystem::remove_all(dir_); }

  // The completions bash offers for the words (the last one the word being completed), sorted
  // and joined by '|'.
  std::string complete(const std::vector<std::string>& words) const {
    std::string program = "source '" + script + "'\ncd '" + dir_ + "'\nCOMP_WORDS=(";
    for (const std::string& word : words) {
      std::string quoted;
      for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      program += " '" + quoted + "'";
    }
    program += ")\nCOMP_CWORD=" + std::to_string(words.size() - 1) +
               "\n_tessaro\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const std::string file = dir_ + "/.program.sh";
    std::ofstream(file) << program;
    std::FILE* out = popen(("bash --norc --noprofile '" + file + "' 2>&1").c_str(), "r");
    if (out == nullptr) return "popen failed";
    std::vector<std::string> lines;
    char buffer[4096];
    std::string text;
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, n);
    pclose(out);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
      if (end > start) lines.push_back(text.substr(start, end - start));
    std::sort(lines.begin(), lines.end());
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : "|") + line;
    return joined;
  }

 private:
  std::string dir_;
};

TEST(BashCompletion, OffersWholeNamesAndNoFilesWhereNoneFit) {
  CompletionDir dir;
  const struct {
    std::vector<std::string> words;
    std::string offered;
  } rows[] = {
      // MIDI files and directories, whole, whatever characters their names hold.
      {{"tessaro", ""}, "a'b.mid|my song.mid|other.MID|sub dir|x [1].mid"},
      {{"tessaro", "my"}, "my song.mid"},
      {{"tessaro", "my\\ s"}, "my song.mid"},
      {{"tessaro", "\"x ["}, "x [1].mid"},
      {{"tessaro", "'a"}, "a'b.mid"},
      // Values that are no file names.
      {{"tessaro", "-j", ""}, ""},
      {{"tessaro", "--jobs", ""}, ""},
      {{"tessaro", "-g", ""}, ""},
      {{"tessaro", "-r", "4"}, "44100|48000"},
      {{"tessaro", "-T", ""}, "flac|mid|ogg|wav"},
      {{"tessaro", "--type", "=", "f"}, "flac"},
      // SoundFonts, in either case, and the directories to find them in.
      {{"tessaro", "--soundfont", ""}, "font.sf2|font2.SF3|sub dir"},
      {{"tessaro", "--soundfont", "="}, "font.sf2|font2.SF3|sub dir"},
      // Outputs and lists: any name.
      {{"tessaro", "-o", "su"}, "sub dir"},
      {{"tessaro", "--files-from", "no"}, "notes.txt"},
      // Options.
      {{"tessaro", "--no"}, "--no-clobber"},
      {{"tessaro", "--so"}, "--soundfont"},
      {{"tessaro", "--l"}, "--list-ports|--loop"},
      {{"tessaro", "/x"}, "/xg"},
  };
  for (const auto& row : rows) {
    std::string words;
    for (const std::string& w : row.words) words += "[" + w + "]";
    SCOPED_TRACE(words);
    EXPECT_EQ(dir.complete(row.words), row.offered);
  }
}

#endif

}  // namespace
}  // namespace tessaro::testing
