// Measures the extraction engine on a corpus folder (bench/make_corpus.sh):
// the corpus packed into one entry and extracted by extractEntry into a
// folder on the host (through the simulated Windows, whose drives are host
// folders), the same entry extracted into memory, and plain `cp -r` of the
// same files, side by side.
//
// usage: extraction_bench CORPUS_FOLDER [WORK_FOLDER]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "extract/uninstall_list.h"
#include "payload/catalogue.h"
#include "extract/extraction.h"
#include "base/context.h"
#include "base/fatal.h"
#include "sim/sim.h"
#include "vmpack/entry_builder.h"
#include "vmpack/host_files.h"

namespace fs = std::filesystem;

namespace {

const int kRuns = 5;
const int kEntryId = 100;
const char kTarget[] = "C:\\Target";

// What one measure runs: `prepare` untimed, then `work` timed.
struct Measure {
  std::function<void()> prepare;
  std::function<bool()> work;
  double best;
};

// Wall-clock seconds: writing files is work the disk and the kernel do too.
// The fastest of a few runs, so that a busy machine disturbs the figure less;
// the measures take turns, run by run, so that the disk's writing back of an
// earlier run weighs on each of them alike. False when a run fails.
bool bestSecondsInTurn(std::vector<Measure>* measures) {
  for (Measure& measure : *measures) measure.best = 1e30;
  for (int i = 0; i < kRuns; ++i) {
    for (Measure& measure : *measures) {
      measure.prepare();
      auto start = std::chrono::steady_clock::now();
      if (!measure.work()) return false;
      std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
      if (seconds.count() < measure.best) measure.best = seconds.count();
    }
  }
  return true;
}

double megabytesPerSecond(uint64_t bytes, double seconds) { return seconds > 0 ? bytes / 1e6 / seconds : 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: extraction_bench CORPUS_FOLDER [WORK_FOLDER]\n");
    return 1;
  }
  std::string corpus = fs::absolute(argv[1]).string();
  std::string work = fs::absolute(argc >= 3 ? argv[2] : fs::temp_directory_path()).string() + "/extraction";
  fs::remove_all(work);
  fs::create_directories(work);

  EntryContents contents;
  std::string error;
  const uint64_t fixedTime = 126253227060000000ull;
  std::vector<uint8_t> entry;
  if (!readFolderTree(corpus, &fixedTime, &contents, &error) || !buildEntry(contents, ParseOptions(), &entry, &error)) {
    fprintf(stderr, "extraction_bench: %s\n", error.c_str());
    return 1;
  }
  uint64_t rawBytes = 0;
  for (const EntryFile& file : contents.files) rawBytes += file.content.size();

  sim::reset(work + "/machine");
  sim::addResource(kPayloadResourceType, kEntryId, entry);
  snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", kTarget);
  std::string hostTarget = work + "/machine/C/Target";

  auto freshTarget = [&] {
    fs::remove_all(hostTarget);
    fs::create_directories(hostTarget);
    uninstallList.clear();
  };
  std::string copyTarget = work + "/cp-target";
  std::vector<Measure> measures = {
      {freshTarget, [] { return extractEntry(kEntryId, nullptr) == kExtractDone; }, 0},
      {[] {},
       [] {
         uint8_t* block = nullptr;
         bool done = extractEntry(kEntryId, &block) == kExtractDone;
         freeBlock(block);
         return done;
       },
       0},
      {[&] { fs::remove_all(copyTarget); },
       [&] { return system(("cp -r '" + corpus + "' '" + copyTarget + "'").c_str()) == 0; }, 0},
  };
  if (!bestSecondsInTurn(&measures)) {
    fprintf(stderr, "extraction_bench: an extraction or the copy failed\n");
    return 1;
  }
  double folderSeconds = measures[0].best;
  double memorySeconds = measures[1].best;
  double copySeconds = measures[2].best;

  printf("\n%-9s %6s %9s %9s %14s %14s %12s %10s\n", "files", "count", "raw", "packed", "extract MB/s",
         "memory MB/s", "cp -r MB/s", "extract/cp");
  printf("%-9s %6zu %9ju %9zu %14.1f %14.1f %12.1f %10.2f\n", "corpus", contents.files.size(),
         static_cast<uintmax_t>(rawBytes), entry.size(), megabytesPerSecond(rawBytes, folderSeconds),
         megabytesPerSecond(rawBytes, memorySeconds), megabytesPerSecond(rawBytes, copySeconds),
         copySeconds / folderSeconds);
  printf(
      "MB of content per second of wall-clock time, the best of %d runs, the three measures taking turns:\n"
      "extract is extractEntry writing the files into a host folder (decoding, CRC checks, stdio writes\n"
      "through the simulated drive, file times, uninstall records); memory is the same entry decoded into\n"
      "one block; cp -r copies the corpus folder (a process of its own, started for each run); extract/cp is\n"
      "the extraction's speed over the copy's.\n",
      kRuns);
  fs::remove_all(work);
  return 0;
}
