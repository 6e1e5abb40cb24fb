// Power failures: what a disk keeps when the power goes. The program's
// writes through its C runtime streams reach the disk only when it flushes
// them (flushFileToDisk); until then a power failure takes them away again.
// Names are kept as they stand: a file made, moved or deleted stays so, as a
// file system's own log keeps them.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>

#include "sim/machine.h"

namespace {

struct PowerState {
  // Files the program wrote to and did not flush since, by host path, with
  // what the disk holds of each: its bytes at the last flush, or before the
  // first open for writing.
  std::map<std::string, std::string> lastFlushed;
  int changes = 0;
  int cutAt = 0;  // the change before which the power fails, 0: none
};

PowerState& powerState() {
  static PowerState state;
  return state;
}

sim::ResetHook clearPowerState([] { powerState() = PowerState(); });

std::string hostContent(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void losePower() {
  for (const auto& file : powerState().lastFlushed) {
    struct stat info;
    if (stat(file.first.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    std::ofstream out(file.first, std::ios::binary | std::ios::trunc);
    out << file.second;
  }
  _exit(0);
}

}  // namespace

namespace sim {

void cutPowerAtDiskChange(int change) { powerState().cutAt = change < 1 ? 0 : powerState().changes + change; }

int diskChanges() { return powerState().changes; }

void writeOutDiskCache() { powerState().lastFlushed.clear(); }

void noteDiskChange() {
  if (++powerState().changes == powerState().cutAt) losePower();
}

void noteAboutToWrite(const std::string& host) {
  if (powerState().lastFlushed.count(host) != 0) return;
  // A file made now holds nothing on the disk yet; one that was there holds
  // what it held.
  struct stat info;
  powerState().lastFlushed[host] = stat(host.c_str(), &info) == 0 ? hostContent(host) : std::string();
}

void forgetUnflushed(const std::string& host) { powerState().lastFlushed.erase(host); }

void noteRenamed(const std::string& from, const std::string& to) {
  std::map<std::string, std::string>& files = powerState().lastFlushed;
  files.erase(to);
  auto found = files.find(from);
  if (found == files.end()) return;
  files[to] = found->second;
  files.erase(from);
}

}  // namespace sim
