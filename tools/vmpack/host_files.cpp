#include "vmpack/host_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "vmpack/codepage.h"

namespace fs = std::filesystem;

namespace {

// FILETIME counts 100-ns ticks from 1601-01-01; the Unix epoch is this many
// ticks later.
constexpr int64_t kUnixEpochTicks = 116444736000000000;
typedef std::chrono::duration<int64_t, std::ratio<1, 10000000>> Ticks;
constexpr uint64_t kFileSizeLimit = uint64_t{1} << 31;

// The file clock counts from an epoch of its own. Its distance to the system
// clock is a whole number of seconds in every standard library, so rounding
// the measured distance gives it exactly and both directions of the
// conversion agree.
std::chrono::seconds fileClockOffset() {
  static const std::chrono::seconds offset = [] {
    auto file = fs::file_time_type::clock::now().time_since_epoch();
    auto system = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::round<std::chrono::seconds>(std::chrono::duration_cast<std::chrono::nanoseconds>(file) -
                                                    std::chrono::duration_cast<std::chrono::nanoseconds>(system));
  }();
  return offset;
}

std::string hostText(const fs::path& path) { return path.u8string(); }

std::string extensionKey(const std::string& name) {
  size_t separator = name.rfind('\\');
  size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos || (separator != std::string::npos && dot < separator)
                              ? std::string()
                              : name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(upperWindows1252(static_cast<unsigned char>(c)));
  return extension;
}

std::string upperName(const std::string& name) {
  std::string folded;
  for (char c : name) folded.push_back(static_cast<char>(upperWindows1252(static_cast<unsigned char>(c))));
  return folded;
}

std::string baseName(const std::string& name) {
  size_t separator = name.rfind('\\');
  return separator == std::string::npos ? name : name.substr(separator + 1);
}

// The catalogue name of a path below the packed folder.
bool catalogueName(const fs::path& relative, std::string* name, std::string* error) {
  name->clear();
  for (const fs::path& level : relative) {
    std::string ansi;
    if (!utf8ToWindows1252(hostText(level), &ansi)) {
      *error = hostText(relative) + ": the name cannot be written in the Windows-1252 code page";
      return false;
    }
    // A backslash inside a host name would split it into two levels.
    if (ansi.find('\\') != std::string::npos) {
      *error = hostText(relative) + ": the name holds a backslash, which Windows does not allow in names";
      return false;
    }
    if (!name->empty()) name->push_back('\\');
    name->append(ansi);
  }
  return true;
}

bool scanFolder(const fs::path& root, const fs::path& relative, const uint64_t* fixedTime, EntryContents* contents,
                std::string* error) {
  std::error_code failure;
  fs::directory_iterator it(root / relative, failure);
  if (failure) {
    *error = hostText(root / relative) + ": cannot read the folder: " + failure.message();
    return false;
  }
  std::vector<fs::path> children;
  for (; it != fs::directory_iterator(); it.increment(failure)) {
    if (failure) break;
    children.push_back(relative / it->path().filename());
  }
  if (failure) {
    *error = hostText(root / relative) + ": cannot read the folder: " + failure.message();
    return false;
  }
  std::sort(children.begin(), children.end());
  for (const fs::path& child : children) {
    fs::path full = root / child;
    std::string name;
    if (!catalogueName(child, &name, error)) return false;
    fs::file_status status = fs::status(full, failure);
    if (failure) {
      *error = hostText(full) + ": " + failure.message();
      return false;
    }
    if (fs::is_directory(status)) {
      contents->folders.push_back(name);
      if (!scanFolder(root, child, fixedTime, contents, error)) return false;
    } else if (fs::is_regular_file(status)) {
      uintmax_t size = fs::file_size(full, failure);
      if (failure) {
        *error = hostText(full) + ": " + failure.message();
        return false;
      }
      if (size >= kFileSizeLimit) {
        *error = hostText(full) + ": the file is " + std::to_string(size) + " bytes; files must be smaller than 2 GiB";
        return false;
      }
      if (size == 0) {
        *error = hostText(full) + ": the file is empty, and a payload entry cannot carry an empty file";
        return false;
      }
      EntryFile file;
      file.name = name;
      if (!readWholeFile(hostText(full), &file.content, error)) return false;
      if (fixedTime != nullptr) {
        file.time = *fixedTime;
      } else if (!fileTimeOf(hostText(full), &file.time)) {
        *error = hostText(full) + ": cannot read the file's modification time";
        return false;
      }
      contents->files.push_back(std::move(file));
    } else {
      *error = hostText(full) + ": neither a file nor a folder";
      return false;
    }
  }
  return true;
}

// A catalogue name as a host path below the folder, or false when a level
// could climb out of it or is not a plain name.
bool hostPathOf(const fs::path& folder, const std::string& name, fs::path* path) {
  if (!nameProblem(name).empty()) return false;
  *path = folder;
  size_t levelStart = 0;
  for (;;) {
    size_t separator = name.find('\\', levelStart);
    std::string level = name.substr(levelStart, separator == std::string::npos ? std::string::npos : separator - levelStart);
    *path /= fs::u8path(windows1252ToUtf8(level));
    if (separator == std::string::npos) return true;
    levelStart = separator + 1;
  }
}

}  // namespace

void sortFilesForPacking(std::vector<EntryFile>* files) {
  std::stable_sort(files->begin(), files->end(), [](const EntryFile& a, const EntryFile& b) {
    std::string extensionA = extensionKey(a.name);
    std::string extensionB = extensionKey(b.name);
    if (extensionA != extensionB) return extensionA < extensionB;
    std::string baseA = upperName(baseName(a.name));
    std::string baseB = upperName(baseName(b.name));
    if (baseA != baseB) return baseA < baseB;
    return upperName(a.name) < upperName(b.name);
  });
}

bool readFolderTree(const std::string& folder, const uint64_t* fixedTime, EntryContents* contents,
                    std::string* error) {
  fs::path root = fs::u8path(folder);
  std::error_code failure;
  if (!fs::is_directory(root, failure)) {
    *error = folder + ": no such folder";
    return false;
  }
  contents->folders.clear();
  contents->files.clear();
  if (!scanFolder(root, fs::path(), fixedTime, contents, error)) return false;
  // Sorted names put every parent before its children: a prefix sorts first.
  std::sort(contents->folders.begin(), contents->folders.end());
  sortFilesForPacking(&contents->files);
  return true;
}

bool writeEntryTree(const std::string& folder, const EntryCatalogue& catalogue, const std::vector<uint8_t>& content,
                    std::string* error) {
  fs::path root = fs::u8path(folder);
  std::vector<fs::path> folderPaths;
  std::vector<fs::path> filePaths;
  for (const std::string& name : catalogue.folders) {
    fs::path path;
    if (!hostPathOf(root, name, &path)) {
      *error = "folder name \"" + windows1252ToUtf8(name) + "\" is not a plain relative name";
      return false;
    }
    folderPaths.push_back(path);
  }
  for (const CatalogueFile& file : catalogue.files) {
    fs::path path;
    if (!hostPathOf(root, file.name, &path)) {
      *error = "file name \"" + windows1252ToUtf8(file.name) + "\" is not a plain relative name";
      return false;
    }
    filePaths.push_back(path);
  }
  std::error_code failure;
  fs::create_directories(root, failure);
  for (const fs::path& path : folderPaths) {
    fs::create_directories(path, failure);
    if (failure) {
      *error = hostText(path) + ": cannot create the folder: " + failure.message();
      return false;
    }
  }
  size_t offset = 0;
  for (size_t i = 0; i < catalogue.files.size(); ++i) {
    const fs::path& path = filePaths[i];
    size_t size = static_cast<size_t>(catalogue.files[i].size);
    // A file's folder may come from an entry extracted before this one.
    fs::create_directories(path.parent_path(), failure);
    std::vector<uint8_t> bytes(content.begin() + static_cast<std::ptrdiff_t>(offset),
                               content.begin() + static_cast<std::ptrdiff_t>(offset + size));
    offset += size;
    if (!writeWholeFile(hostText(path), bytes, error)) return false;
    if (!setFileTime(hostText(path), catalogue.files[i].time)) {
      *error = hostText(path) + ": cannot set the file's time";
      return false;
    }
  }
  return true;
}

bool fileTimeOf(const std::string& path, uint64_t* time) {
  std::error_code failure;
  fs::file_time_type written = fs::last_write_time(fs::u8path(path), failure);
  if (failure) return false;
  auto sinceUnixEpoch = written.time_since_epoch() - fileClockOffset();
  int64_t ticks = std::chrono::floor<Ticks>(sinceUnixEpoch).count() + kUnixEpochTicks;
  *time = ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
  return true;
}

bool setFileTime(const std::string& path, uint64_t time) {
  // FILETIME reaches far past what the file clock can count; such times are
  // refused rather than wrapped.
  if (time > static_cast<uint64_t>(INT64_MAX)) return false;
  Ticks sinceUnixEpoch(static_cast<int64_t>(time) - kUnixEpochTicks);
  auto sinceFileEpoch = std::chrono::duration_cast<fs::file_time_type::duration>(sinceUnixEpoch) + fileClockOffset();
  std::error_code failure;
  fs::last_write_time(fs::u8path(path), fs::file_time_type(sinceFileEpoch), failure);
  return !failure;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  if (!in) {
    *error = path + ": cannot open the file: " + strerror(errno);
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = path + ": cannot read the file";
    return false;
  }
  return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  fs::path target = fs::u8path(path);
  fs::path temporary = target;
  temporary += ".vmpack-partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      *error = path + ": cannot write the file";
      return false;
    }
  }
  std::error_code failure;
  fs::rename(temporary, target, failure);
  if (failure) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    *error = path + ": cannot write the file: " + failure.message();
    return false;
  }
  return true;
}
