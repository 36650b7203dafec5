// What files a conversion writes, decided before anything is written: their names and types,
// which of them exist already, and that none of them is one of the songs.
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "control/commands.h"
#include "render/conversion.h"

namespace tessaro::render {

namespace fs = std::filesystem;

namespace {

constexpr const char* audioTypes[] = {".wav", ".flac", ".ogg"};

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A type as -T gives it ("wav", ".WAV") in the form of an extension (".wav").
std::string typeNamed(const std::string& type) {
  if (type.empty()) return type;
  return lowerCase(type[0] == '.' ? type : "." + type);
}

const char* targetTag(Target target) {
  return target == Target::xg ? "xg" : target == Target::gm ? "gm" : "nc";
}

bool endsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// The types this machine writes, for the message about one it does not.
std::string typesWritten(const platform::AudioRenderers* audio) {
  std::string list = ".mid";
  for (const char* type : audioTypes)
    if (audio != nullptr && audio->writes(type)) list += std::string(", ") + type;
  return list;
}

// Per-song file names in the order of the songs, each used once.
std::vector<std::string> songFileNames(const ConversionTask& task, const std::string& type) {
  std::set<std::string> used;
  std::vector<std::string> names;
  const std::string suffix = std::string(".") + targetTag(task.settings.target) + type;
  for (const std::string& song : task.songs) {
    std::string stem = fs::path(song).stem().string();
    if (stem.empty()) stem = "song";
    std::string name = stem + suffix;
    for (int n = 2; used.count(name) != 0; ++n) name = stem + "-" + std::to_string(n) + suffix;
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

// The songs as files, to tell an output that is one of them whatever name it goes by: the same
// path once ./, .. and links are resolved, or another hard link to the same file.
class SongFiles {
 public:
  explicit SongFiles(const std::vector<std::string>& songs) : songs_(songs) {
    std::error_code error;
    for (const std::string& song : songs) {
      fs::path real = fs::canonical(song, error);
      if (!error) byPath_.emplace(real.string(), song);
    }
  }

  // The song output would be written over; empty when none.
  std::string under(const std::string& output) const {
    std::error_code error;
    if (!fs::exists(output, error)) return {};
    fs::path real = fs::canonical(output, error);
    if (auto found = byPath_.find(real.string()); !error && found != byPath_.end())
      return found->second;
    if (fs::hard_link_count(output, error) <= 1 || error) return {};
    for (const std::string& song : songs_)
      if (fs::equivalent(song, output, error)) return song;
    return {};
  }

 private:
  const std::vector<std::string>& songs_;
  std::map<std::string, std::string> byPath_;
};

std::string writtenOver(const std::string& output, const std::string& song) {
  return output + ": is one of the songs (" + song + "): it would be written over";
}

// Whether a name is taken already, by anything (a dangling link included).
bool exists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// The type of the files: *.EXT names it, a directory holds MIDI files unless -T says
// otherwise, a file's extension names it, else -T, and standard output is MIDI by default.
std::string typeOf(const ConversionTask& task, const std::string& name, bool pattern,
                   bool perSong) {
  if (pattern) return lowerCase(name.substr(1));
  const std::string chosen = typeNamed(task.type);
  if (perSong) return chosen.empty() ? ".mid" : chosen;
  if (task.output == platform::standardOutputName) return chosen.empty() ? ".mid" : chosen;
  std::string extension = lowerCase(fs::path(name).extension().string());
  return extension.empty() ? chosen : extension;
}

std::string usageProblem(const ConversionTask& task) {
  if (task.output.empty()) return "-o: needs the name of a file or a directory to write";
  if (task.jobs < 0)
    return "-j: needs a number: how many songs to convert at once (0: one per core)";
  if (task.songs.empty()) return "no song to convert: name the MIDI files after the options";
  return {};
}

}  // namespace

ConversionPlan planConversion(const ConversionTask& task, const platform::AudioRenderers* audio) {
  ConversionPlan plan;
  plan.problem = usageProblem(task);
  if (!plan.problem.empty()) return plan;
  const std::string& output = task.output;
  const bool toOutput = output == platform::standardOutputName;
  const fs::path path(output);
  const std::string name = path.filename().string();
  const bool pattern = name.size() > 2 && name.rfind("*.", 0) == 0;
  std::error_code error;
  const bool perSong =
      !toOutput && (pattern || endsWithSeparator(output) || fs::is_directory(path, error));
  const std::string type = typeOf(task, name, pattern, perSong);
  const bool audioType = type != ".mid";
  if (audioType && (audio == nullptr || !audio->writes(type))) {
    plan.problem = output + ": " +
                   (type.empty() ? std::string("no extension") : "the type " + type) +
                   " cannot be written here (the types written: " + typesWritten(audio) + ")";
    return plan;
  }
  const SongFiles songs(task.songs);
  if (!perSong) {
    if (std::string song = toOutput ? "" : songs.under(output); !song.empty()) {
      plan.problem = writtenOver(output, song);
      return plan;
    }
    plan.joined = true;
    PlannedFile file{output, {}, type, audioType, task.noClobber && !toOutput && exists(output)};
    for (size_t i = 0; i < task.songs.size(); ++i) file.songs.push_back(i);
    plan.files.push_back(std::move(file));
    return plan;
  }
  fs::path directory = pattern ? path.parent_path() : path;
  plan.directory = directory.empty() ? std::string(".") : directory.string();
  std::vector<std::string> names = songFileNames(task, type);
  for (size_t i = 0; i < names.size(); ++i) {
    std::string file = (fs::path(plan.directory) / names[i]).string();
    if (std::string song = songs.under(file); !song.empty()) {
      plan.problem = writtenOver(file, song);
      plan.files.clear();
      return plan;
    }
    plan.files.push_back({file, {i}, type, audioType, task.noClobber && exists(file)});
  }
  return plan;
}

}  // namespace tessaro::render
