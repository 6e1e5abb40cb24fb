// Writes the seed corpus of uninstall_data_fuzz: uninstall data files made by
// UninstallList::saveTo on the simulated machine, copied to the folder named
// on the command line. Run by make_corpus.sh.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "extract/uninstall_list.h"
#include "platform/win32.h"
#include "sim/sim.h"

namespace {

struct Seed {
  const char* name;
  std::vector<std::pair<std::string, int32_t>> records;
};

const char kDataFile[] = "C:\\Target\\_vmunins.dat";

bool writeSeed(const Seed& seed, const std::filesystem::path& folder) {
  UninstallList list;
  for (const auto& record : seed.records) {
    if (!list.addRecord(record.first.c_str(), record.second)) return false;
  }
  if (!list.saveTo(kDataFile)) return false;
  std::error_code failure;
  std::filesystem::copy_file(sim::hostPath(kDataFile), folder / seed.name,
                             std::filesystem::copy_options::overwrite_existing, failure);
  return !failure;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: make_uninstall_seeds FOLDER\n", stderr);
    return 1;
  }
  startFuzzMachine();
  CreateDirectoryA("C:\\Target", nullptr);
  const std::string longest = "C:\\Target\\" + std::string(120, 'n') + "\\" + std::string(259 - 131, 'm');
  const std::vector<Seed> seeds = {
      {"empty.dat", {}},
      {"installed.dat",
       {{kDataFile, kUninstallFile},
        {"C:\\Target\\Help", kUninstallFolder},
        {"C:\\Target\\Skins\\Dark", kUninstallFolder},
        {"C:\\Target\\vm.exe", kUninstallFile},
        {"C:\\Target\\Help\\vm.hlp", kUninstallFile},
        {"C:\\Target\\Skins\\Dark\\panel.bmp", kUninstallFile}}},
      // Records a load must leave behind: outside the folder, climbing out of
      // it, or naming it without a level below.
      {"outside.dat",
       {{"C:\\Other\\x.txt", kUninstallFile},
        {"C:\\Target\\..\\Windows\\win.ini", kUninstallFile},
        {"C:\\Target2\\y.txt", kUninstallFile},
        {"C:\\Target", kUninstallFolder},
        {"c:/target/kept.txt", kUninstallFile}}},
      {"longest.dat", {{longest, kUninstallFile}, {"C:\\Target\\\xe9t\xe9 \xa0.txt", kUninstallFile}}},
  };
  std::filesystem::path folder = argv[1];
  for (const Seed& seed : seeds) {
    if (!writeSeed(seed, folder)) {
      fprintf(stderr, "make_uninstall_seeds: %s could not be written\n", seed.name);
      return 1;
    }
  }
  return 0;
}
