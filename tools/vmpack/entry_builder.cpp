#include "vmpack/entry_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "vmpack/codepage.h"
#include "vmpack/stream_encoder.h"

namespace {

constexpr uint64_t kFileSizeLimit = uint64_t{1} << 31;
constexpr char kForbiddenCharacters[] = "<>:\"/|?*";
const char* const kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                    "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

// The part of a level before its first dot, upper-cased: what Windows matches
// against its device names ("con.txt" is the console too).
std::string deviceStem(const std::string& level) {
  std::string stem;
  for (char c : level) {
    if (c == '.') break;
    stem.push_back(static_cast<char>(upperWindows1252(static_cast<unsigned char>(c))));
  }
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  return stem;
}

std::string levelProblem(const std::string& level) {
  if (level.empty()) return "has an empty level (a leading, trailing or doubled backslash)";
  if (level == "." || level == "..") return "has a level \"" + level + "\"";
  if (level.back() == ' ' || level.back() == '.') return "has a level ending in a space or a dot, which Windows drops";
  std::string stem = deviceStem(level);
  for (const char* device : kDeviceNames) {
    if (stem == device) return "has a level named after the Windows device " + stem;
  }
  return "";
}

// Names compare as Windows compares them, without regard to case.
std::string foldedName(const std::string& name) {
  std::string folded;
  for (char c : name) folded.push_back(static_cast<char>(upperWindows1252(static_cast<unsigned char>(c))));
  return folded;
}

std::string parentOf(const std::string& name) {
  size_t separator = name.rfind('\\');
  return separator == std::string::npos ? "" : name.substr(0, separator);
}

void appendUint32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void appendName(std::vector<uint8_t>* out, const std::string& name) {
  appendUint32(out, static_cast<uint32_t>(name.size()));
  out->insert(out->end(), name.begin(), name.end());
}

}  // namespace

std::string displayName(const std::string& name) { return windows1252ToUtf8(name); }

std::string nameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() >= static_cast<size_t>(kNameLengthLimit)) {
    return "the name is " + std::to_string(name.size()) + " bytes long; names must stay below " +
           std::to_string(kNameLengthLimit) + " bytes";
  }
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return "the name holds a control character";
    if (strchr(kForbiddenCharacters, c) != nullptr) {
      return std::string("the name holds the character ") + c + ", which Windows does not allow in names";
    }
  }
  size_t levelStart = 0;
  for (;;) {
    size_t separator = name.find('\\', levelStart);
    std::string level = name.substr(levelStart, separator == std::string::npos ? std::string::npos : separator - levelStart);
    std::string problem = levelProblem(level);
    if (!problem.empty()) return "the name " + problem;
    if (separator == std::string::npos) break;
    levelStart = separator + 1;
  }
  return "";
}

bool buildEntry(const EntryContents& contents, const ParseOptions& options, std::vector<uint8_t>* entry,
                std::string* error) {
  std::set<std::string> folders;
  for (const std::string& folder : contents.folders) {
    std::string problem = nameProblem(folder);
    if (!problem.empty()) {
      *error = "folder \"" + displayName(folder) + "\": " + problem;
      return false;
    }
    std::string parent = parentOf(folder);
    if (!parent.empty() && folders.count(foldedName(parent)) == 0) {
      *error = "folder \"" + displayName(folder) + "\" comes before its parent";
      return false;
    }
    if (!folders.insert(foldedName(folder)).second) {
      *error = "folder \"" + displayName(folder) + "\" is listed twice (names ignore case on Windows)";
      return false;
    }
  }
  std::set<std::string> files;
  uint64_t contentBytes = 0;
  for (const EntryFile& file : contents.files) {
    std::string shown = "file \"" + displayName(file.name) + "\"";
    std::string problem = nameProblem(file.name);
    if (!problem.empty()) {
      *error = shown + ": " + problem;
      return false;
    }
    if (file.content.empty()) {
      *error = shown + " is empty, and a payload entry cannot carry an empty file";
      return false;
    }
    if (file.content.size() >= kFileSizeLimit) {
      *error = shown + " is " + std::to_string(file.content.size()) + " bytes; files must be smaller than 2 GiB";
      return false;
    }
    std::string folded = foldedName(file.name);
    if (folders.count(folded) != 0 || !files.insert(folded).second) {
      *error = shown + " is listed twice (names ignore case on Windows)";
      return false;
    }
    contentBytes += file.content.size();
  }
  if (contentBytes > kLargestStreamContent) {
    *error = "the files hold " + std::to_string(contentBytes) + " bytes, more than the " +
             std::to_string(kLargestStreamContent) + " bytes one entry can carry";
    return false;
  }

  // totalSize and checksum are filled in at the end.
  std::vector<uint8_t> out(kBodyOffset, 0);
  appendUint32(&out, static_cast<uint32_t>(contents.folders.size()));
  appendUint32(&out, static_cast<uint32_t>(contents.files.size()));
  for (const std::string& folder : contents.folders) appendName(&out, folder);
  std::vector<uint8_t> content;
  content.reserve(contentBytes);
  for (const EntryFile& file : contents.files) {
    appendUint32(&out, static_cast<uint32_t>(file.content.size()));
    appendUint32(&out, payloadChecksum(file.content.data(), static_cast<int32_t>(file.content.size())));
    appendUint32(&out, static_cast<uint32_t>(file.time));
    appendUint32(&out, static_cast<uint32_t>(file.time >> 32));
    appendName(&out, file.name);
    content.insert(content.end(), file.content.begin(), file.content.end());
  }
  if (!contents.files.empty()) {
    std::vector<uint8_t> stream;
    if (!encodeStream(content.data(), content.size(), options, &stream, error)) return false;
    out.insert(out.end(), stream.begin(), stream.end());
  }
  if (out.size() > 0x7FFFFFFFu) {
    *error = "the entry would be " + std::to_string(out.size()) + " bytes, more than a resource of the program can be";
    return false;
  }
  uint32_t totalSize = static_cast<uint32_t>(out.size());
  for (int i = 0; i < 4; ++i) out[kTotalSizeOffset + i] = static_cast<uint8_t>(totalSize >> (8 * i));
  uint32_t checksum = payloadChecksum(out.data() + kBodyOffset, static_cast<int32_t>(out.size() - kBodyOffset));
  for (int i = 0; i < 4; ++i) out[kChecksumOffset + i] = static_cast<uint8_t>(checksum >> (8 * i));
  entry->swap(out);
  return true;
}

std::vector<uint8_t> makeEntry(const std::vector<std::string>& folders,
                               const std::vector<std::pair<std::string, std::string>>& files, uint64_t time) {
  EntryContents contents;
  contents.folders = folders;
  for (const auto& file : files) {
    contents.files.push_back(EntryFile{file.first, std::vector<uint8_t>(file.second.begin(), file.second.end()), time});
  }
  std::vector<uint8_t> entry;
  std::string error;
  if (!buildEntry(contents, ParseOptions(), &entry, &error)) {
    fprintf(stderr, "makeEntry: %s\n", error.c_str());
    abort();
  }
  return entry;
}
