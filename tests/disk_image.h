// A picture of every folder and file of the simulated drives, to tell what a
// run of the program added, removed or changed there.
#ifndef VM_TESTS_DISK_IMAGE_H
#define VM_TESTS_DISK_IMAGE_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

// Each folder and file under the machine's root by its path below the root
// (C:\A\b.txt is "/C/A/b.txt"), a file with its content and write time.
typedef std::map<std::string, std::string> DiskImage;

const char kFolderInImage[] = "<folder>";

inline DiskImage imageOf(const std::string& root) {
  DiskImage image;
  for (const std::filesystem::directory_entry& item : std::filesystem::recursive_directory_iterator(root)) {
    std::string path = item.path().string().substr(root.size());
    // A link is what it names, whether or not that is there.
    if (item.is_symlink()) {
      image[path] = "<link to " + std::filesystem::read_symlink(item.path()).string() + ">";
    } else if (item.is_directory()) {
      image[path] = kFolderInImage;
    } else {
      std::ifstream in(item.path(), std::ios::binary);
      std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      image[path] = content + "@" + std::to_string(item.last_write_time().time_since_epoch().count());
    }
  }
  return image;
}

// Puts every folder and file under `root` back as `image` holds them, write
// times included: the disk a run found, for the next try.
inline void restoreImage(const std::string& root, const DiskImage& image) {
  for (const std::filesystem::directory_entry& item : std::filesystem::directory_iterator(root))
    std::filesystem::remove_all(item.path());
  // Folders come before what they hold in the image's order.
  for (const auto& item : image) {
    std::filesystem::path path = root + item.first;
    if (item.second == kFolderInImage) {
      std::filesystem::create_directory(path);
      continue;
    }
    size_t at = item.second.rfind('@');
    std::ofstream(path, std::ios::binary) << item.second.substr(0, at);
    std::filesystem::file_time_type::duration since(std::stoll(item.second.substr(at + 1)));
    std::filesystem::last_write_time(path, std::filesystem::file_time_type(since));
  }
}

// What was added, removed or changed, one path a line.
inline std::string differences(const DiskImage& before, const DiskImage& after) {
  std::string text;
  for (const auto& item : after) {
    auto found = before.find(item.first);
    if (found == before.end()) text += "  left behind: " + item.first + "\n";
    else if (found->second != item.second) text += "  changed: " + item.first + "\n";
  }
  for (const auto& item : before)
    if (after.count(item.first) == 0) text += "  removed: " + item.first + "\n";
  return text;
}

#endif  // VM_TESTS_DISK_IMAGE_H
