// vmpack: makes, lists, verifies and extracts payload entries.
//
//   vmpack pack [--time FILETIME] [--level N] DIR OUT
//                                           one entry from a folder tree, at
//                                           level 1 (fastest) to 3 (smallest,
//                                           the default)
//   vmpack list ENTRY                       the catalogue
//   vmpack verify ENTRY                     size, checksum and every file's CRC
//   vmpack extract ENTRY DIR                folders and files with their times
//
// Every failure is one line on stderr and exit status 1; pack leaves no
// partial output behind, and a corrupt entry is reported as such, never
// crashed on.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vmpack/codepage.h"
#include "vmpack/entry_builder.h"
#include "vmpack/entry_reader.h"
#include "vmpack/host_files.h"
#include "vmpack/tool_fatal.h"

namespace {

constexpr char kUsage[] =
    "usage: vmpack pack [--time FILETIME] [--level 1|2|3] DIR OUT\n"
    "       vmpack list ENTRY\n"
    "       vmpack verify ENTRY\n"
    "       vmpack extract ENTRY DIR\n";

int fail(const std::string& line) {
  fprintf(stderr, "vmpack: %s\n", line.c_str());
  return 1;
}

int corrupt(const std::string& path, const std::string& problem) {
  return fail(path + ": corrupt entry: " + problem);
}

bool parseTime(const char* text, uint64_t* time) {
  if (*text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *time = value;
  return true;
}

// A FILETIME as UTC date and time, for listings.
std::string timeText(uint64_t time) {
  const uint64_t ticksPerSecond = 10000000;
  const int64_t unixEpochSeconds = 11644473600;
  int64_t seconds = static_cast<int64_t>(time / ticksPerSecond) - unixEpochSeconds;
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t secondOfDay = seconds - days * 86400;
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
           static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(secondOfDay / 3600),
           static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60));
  return text;
}

// Reads an entry file and its catalogue; a failed check of the decoder from
// here on means the entry is corrupt.
int openEntryFile(const std::string& path, std::vector<uint8_t>* entry, EntryCatalogue* catalogue) {
  std::string error;
  if (!readWholeFile(path, entry, &error)) return fail(error);
  reportFailedChecksAs("vmpack: " + path + ": corrupt entry: its stream contradicts itself");
  std::string problem;
  if (!readEntryCatalogue(*entry, catalogue, &problem)) return corrupt(path, problem);
  return 0;
}

bool parseLevel(const char* text, int* level) {
  if (text[0] < '1' || text[0] > '0' + kBestLevel || text[1] != '\0') return false;
  *level = text[0] - '0';
  return true;
}

int pack(int argc, char** argv) {
  uint64_t fixedTime = 0;
  bool timeGiven = false;
  int level = kBestLevel;
  int at = 2;
  for (; at < argc && strncmp(argv[at], "--", 2) == 0; at += 2) {
    if (strcmp(argv[at], "--time") == 0) {
      if (at + 1 >= argc || !parseTime(argv[at + 1], &fixedTime)) return fail("--time needs a FILETIME: a number of 100-ns ticks since 1601");
      timeGiven = true;
    } else if (strcmp(argv[at], "--level") == 0) {
      if (at + 1 >= argc || !parseLevel(argv[at + 1], &level)) {
        return fail("--level needs a level from 1 (fastest) to " + std::to_string(kBestLevel) + " (smallest)");
      }
    } else {
      fputs(kUsage, stderr);
      return 1;
    }
  }
  if (argc - at != 2) {
    fputs(kUsage, stderr);
    return 1;
  }
  std::string folder = argv[at];
  std::string output = argv[at + 1];
  EntryContents contents;
  std::string error;
  if (!readFolderTree(folder, timeGiven ? &fixedTime : nullptr, &contents, &error)) return fail(error);
  std::vector<uint8_t> entry;
  if (!buildEntry(contents, parseOptionsForLevel(level), &entry, &error)) return fail(folder + ": " + error);
  if (!writeWholeFile(output, entry, &error)) return fail(error);
  return 0;
}

int list(const std::string& path) {
  std::vector<uint8_t> entry;
  EntryCatalogue catalogue;
  if (int status = openEntryFile(path, &entry, &catalogue)) return status;
  for (const std::string& name : catalogue.folders) printf("folder  %s\n", windows1252ToUtf8(name).c_str());
  for (const CatalogueFile& file : catalogue.files) {
    printf("file    %10d  %s  %08" PRIx32 "  %s\n", static_cast<int>(file.size), timeText(file.time).c_str(),
           file.contentCrc, windows1252ToUtf8(file.name).c_str());
  }
  printf("%zu folders, %zu files, %llu bytes of content in %zu bytes\n", catalogue.folders.size(),
         catalogue.files.size(), static_cast<unsigned long long>(catalogue.contentBytes), entry.size());
  return 0;
}

int verify(const std::string& path) {
  std::vector<uint8_t> entry;
  EntryCatalogue catalogue;
  if (int status = openEntryFile(path, &entry, &catalogue)) return status;
  std::vector<uint8_t> content;
  std::string problem;
  if (!decodeEntryContents(entry, catalogue, &content, &problem)) return corrupt(path, problem);
  printf("%s: ok: %zu folders, %zu files, %llu bytes of content in %zu bytes\n", path.c_str(),
         catalogue.folders.size(), catalogue.files.size(), static_cast<unsigned long long>(catalogue.contentBytes),
         entry.size());
  return 0;
}

int extract(const std::string& path, const std::string& folder) {
  std::vector<uint8_t> entry;
  EntryCatalogue catalogue;
  if (int status = openEntryFile(path, &entry, &catalogue)) return status;
  std::vector<uint8_t> content;
  std::string problem;
  // Everything is decoded and checked before the first file is written.
  if (!decodeEntryContents(entry, catalogue, &content, &problem)) return corrupt(path, problem);
  // A name that could climb out of the folder never reaches the disk.
  for (const std::string& name : catalogue.folders) {
    if (!nameProblem(name).empty()) return corrupt(path, "folder \"" + displayName(name) + "\": " + nameProblem(name));
  }
  for (const CatalogueFile& file : catalogue.files) {
    if (!nameProblem(file.name).empty()) {
      return corrupt(path, "file \"" + displayName(file.name) + "\": " + nameProblem(file.name));
    }
  }
  reportFailedChecksAs("");
  std::string error;
  if (!writeEntryTree(folder, catalogue, content, &error)) return fail(path + ": " + error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc >= 2 ? argv[1] : "";
  if (command == "pack") return pack(argc, argv);
  if (command == "list" && argc == 3) return list(argv[2]);
  if (command == "verify" && argc == 3) return verify(argv[2]);
  if (command == "extract" && argc == 4) return extract(argv[2], argv[3]);
  fputs(kUsage, stderr);
  return 1;
}
