// Measures the payload codec on a corpus folder (bench/make_corpus.sh):
// packed size against gzip -9 and xz -9 on the same bytes, packing speed,
// and decoding speed of the program's decoder against zlib's inflate in the
// same process (when the bench is built with zlib) and gzip -d.
//
// usage: codec_bench CORPUS_FOLDER [WORK_FOLDER]
#include <algorithm>
#include <sys/resource.h>
#include <sys/time.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#ifdef VM_HAVE_ZLIB
#include <zlib.h>
#endif

#include "vmpack/entry_builder.h"
#include "vmpack/entry_reader.h"
#include "vmpack/host_files.h"

namespace fs = std::filesystem;

namespace {

// Processor time of this process and of the programs it ran, so that other
// work on a shared machine does not count.
double processorSeconds() {
  rusage self;
  rusage children;
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(children.ru_utime) + seconds(children.ru_stime);
}

double secondsOf(const std::function<void()>& work) {
  double start = processorSeconds();
  work();
  return processorSeconds() - start;
}

// The fastest of a few runs, so that a busy machine disturbs the figure less.
double bestSecondsOf(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double seconds = secondsOf(work);
    if (seconds < best) best = seconds;
  }
  return best;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

uintmax_t sizeOf(const std::string& path) {
  std::error_code ignored;
  return fs::file_size(path, ignored);
}

bool run(const std::string& command) { return system(command.c_str()) == 0; }

struct Figures {
  std::string name;
  size_t rawBytes = 0;
  size_t packedBytes = 0;
  uintmax_t gzipBytes = 0;
  uintmax_t gzipPerFileBytes = 0;
  uintmax_t xzBytes = 0;
  double packSeconds = 0;
  double gzipSeconds = 0;  // gzip -9 and xz -9 of the same bytes, as processes
  double xzSeconds = 0;
  double decodeSeconds = 0;
  double gunzipSeconds = 0;
  double inflateSeconds = 0;  // 0: not measured
  // Size and packing time at each level, the default's among them.
  size_t levelBytes[kBestLevel] = {};
  double levelSeconds[kBestLevel] = {};
};

#ifdef VM_HAVE_ZLIB
// zlib's inflate of the same bytes compressed at level 9, into memory as the
// program's decoder decodes: the figure the decoder is held against.
double inflateSecondsOf(const std::vector<uint8_t>& raw) {
  uLongf packedSize = compressBound(raw.size());
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), raw.size(), 9) != Z_OK) return 0;
  std::vector<uint8_t> unpacked(raw.size());
  bool inflated = true;
  double seconds = bestSecondsOf(5, [&] {
    uLongf unpackedSize = unpacked.size();
    inflated = uncompress(unpacked.data(), &unpackedSize, packed.data(), packedSize) == Z_OK && inflated;
  });
  // Checked after the timing: the decoder's figure holds no comparison either.
  return inflated && unpacked == raw ? seconds : 0;
}
#endif

// Packs and decodes one set of files; gzip and xz get the same bytes in path
// order, the order a tar of the folder would give them.
bool measure(const std::string& name, EntryContents contents, const std::string& work, Figures* figures) {
  figures->name = name;
  std::vector<EntryFile> pathOrder = contents.files;
  std::sort(pathOrder.begin(), pathOrder.end(), [](const EntryFile& a, const EntryFile& b) { return a.name < b.name; });
  std::vector<uint8_t> raw;
  for (const EntryFile& file : pathOrder) raw.insert(raw.end(), file.content.begin(), file.content.end());
  figures->rawBytes = raw.size();

  std::vector<uint8_t> entry;
  std::string error;
  bool built = false;
  figures->packSeconds = secondsOf([&] { built = buildEntry(contents, parseOptionsForLevel(kBestLevel), &entry, &error); });
  if (!built) {
    fprintf(stderr, "codec_bench: %s: %s\n", name.c_str(), error.c_str());
    return false;
  }
  figures->packedBytes = entry.size();
  figures->levelBytes[kBestLevel - 1] = entry.size();
  figures->levelSeconds[kBestLevel - 1] = figures->packSeconds;
  for (int level = 1; level < kBestLevel; ++level) {
    std::vector<uint8_t> levelEntry;
    double seconds = secondsOf([&] { built = buildEntry(contents, parseOptionsForLevel(level), &levelEntry, &error); });
    if (!built) {
      fprintf(stderr, "codec_bench: %s at level %d: %s\n", name.c_str(), level, error.c_str());
      return false;
    }
    figures->levelBytes[level - 1] = levelEntry.size();
    figures->levelSeconds[level - 1] = seconds;
  }

  EntryCatalogue catalogue;
  std::string problem;
  std::vector<uint8_t> decoded;
  if (!readEntryCatalogue(entry, &catalogue, &problem)) {
    fprintf(stderr, "codec_bench: %s: %s\n", name.c_str(), problem.c_str());
    return false;
  }
  bool decodedOk = true;
  figures->decodeSeconds = bestSecondsOf(5, [&] { decodedOk = decodeEntryContents(entry, catalogue, &decoded, &problem); });
  if (!decodedOk || decoded.size() != raw.size()) {
    fprintf(stderr, "codec_bench: %s: the entry does not decode: %s\n", name.c_str(), problem.c_str());
    return false;
  }

  std::string rawPath = work + "/" + name + ".raw";
  if (!writeBytes(rawPath, raw)) return false;
  bool compressed = true;
  figures->gzipSeconds = secondsOf([&] { compressed = run("gzip -9 -c '" + rawPath + "' > '" + rawPath + ".gz'"); });
  figures->xzSeconds = secondsOf([&] { compressed = compressed && run("xz -9 -c '" + rawPath + "' > '" + rawPath + ".xz'"); });
  if (!compressed) {
    fprintf(stderr, "codec_bench: gzip or xz failed\n");
    return false;
  }
  figures->gzipBytes = sizeOf(rawPath + ".gz");
  // Each file on its own, as an installer that compresses file by file would
  // store them: gzip writes one member per file.
  std::string filesFolder = work + "/" + name + ".files";
  fs::remove_all(filesFolder);
  fs::create_directories(filesFolder);
  for (size_t i = 0; i < pathOrder.size(); ++i) {
    if (!writeBytes(filesFolder + "/" + std::to_string(i), pathOrder[i].content)) return false;
  }
  if (!run("gzip -9 -c '" + filesFolder + "'/* > '" + rawPath + ".files.gz'")) return false;
  figures->gzipPerFileBytes = sizeOf(rawPath + ".files.gz");
  figures->xzBytes = sizeOf(rawPath + ".xz");
  figures->gunzipSeconds = bestSecondsOf(5, [&] { run("gzip -d -c '" + rawPath + ".gz' > /dev/null"); });
#ifdef VM_HAVE_ZLIB
  figures->inflateSeconds = inflateSecondsOf(raw);
#endif
  return true;
}

EntryContents filesUnder(const EntryContents& all, const std::string& prefix) {
  EntryContents part;
  for (const EntryFile& file : all.files) {
    if (file.name.compare(0, prefix.size(), prefix) == 0) part.files.push_back(file);
  }
  return part;
}

double megabytesPerSecond(size_t bytes, double seconds) { return seconds > 0 ? bytes / 1e6 / seconds : 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: codec_bench CORPUS_FOLDER [WORK_FOLDER]\n");
    return 1;
  }
  std::string work = argc >= 3 ? argv[2] : fs::temp_directory_path().string();
  EntryContents all;
  std::string error;
  const uint64_t fixedTime = 0;
  if (!readFolderTree(argv[1], &fixedTime, &all, &error)) {
    fprintf(stderr, "codec_bench: %s\n", error.c_str());
    return 1;
  }
  std::vector<Figures> rows;
  for (const auto& part : {std::make_pair(std::string("corpus"), std::string()), std::make_pair(std::string("binaries"), std::string("bin\\")),
                           std::make_pair(std::string("texts"), std::string("text\\"))}) {
    EntryContents contents = part.second.empty() ? all : filesUnder(all, part.second);
    if (contents.files.empty()) continue;
    Figures figures;
    if (!measure(part.first, contents, work, &figures)) return 1;
    rows.push_back(figures);
  }
  printf("%-9s %9s %9s %9s %9s %9s %8s %8s %8s %9s %9s %9s %9s %9s %9s %8s\n", "files", "raw", "vmpack", "gzip -9",
         "gz/file", "xz -9", "vm/gzip", "vm/gzf", "vm/xz", "pack MB/s", "gzip MB/s", "xz MB/s", "dec MB/s",
         "zlib MB/s", "gunzip", "dec/zlib");
  for (const Figures& f : rows) {
    double inflateSpeed = megabytesPerSecond(f.rawBytes, f.inflateSeconds);
    double decodeSpeed = megabytesPerSecond(f.rawBytes, f.decodeSeconds);
    printf("%-9s %9zu %9zu %9ju %9ju %9ju %8.3f %8.3f %8.3f %9.2f %9.2f %9.2f %9.1f %9.1f %9.1f %8.2f\n",
           f.name.c_str(), f.rawBytes, f.packedBytes, f.gzipBytes, f.gzipPerFileBytes, f.xzBytes,
           static_cast<double>(f.packedBytes) / f.gzipBytes, static_cast<double>(f.packedBytes) / f.gzipPerFileBytes,
           static_cast<double>(f.packedBytes) / f.xzBytes, megabytesPerSecond(f.rawBytes, f.packSeconds),
           megabytesPerSecond(f.rawBytes, f.gzipSeconds), megabytesPerSecond(f.rawBytes, f.xzSeconds), decodeSpeed,
           inflateSpeed, megabytesPerSecond(f.rawBytes, f.gunzipSeconds),
           inflateSpeed > 0 ? decodeSpeed / inflateSpeed : 0.0);
  }
  printf("\n%-9s", "level");
  for (int level = 1; level <= kBestLevel; ++level) printf(" %10s %8s %9s", ("size " + std::to_string(level)).c_str(), "/best", "MB/s");
  printf("\n");
  for (const Figures& f : rows) {
    printf("%-9s", f.name.c_str());
    for (int level = 1; level <= kBestLevel; ++level) {
      printf(" %10zu %8.4f %9.2f", f.levelBytes[level - 1],
             static_cast<double>(f.levelBytes[level - 1]) / f.levelBytes[kBestLevel - 1],
             megabytesPerSecond(f.rawBytes, f.levelSeconds[level - 1]));
    }
    printf("\n");
  }
  printf(
      "Ratios are packed sizes over the other tool's on the same bytes: gzip -9 and xz -9 compress the files\n"
      "in path order as one stream; gz/file is gzip -9 of each file on its own (one member per file).\n"
      "Speeds are MB of content per second of processor time, the best of 5 runs for decoding; packing is\n"
      "vmpack's encoder at its default level beside gzip -9 and xz -9 of the same bytes. dec is the\n"
      "program's own decoder (with the per-file CRC checks), zlib is zlib's inflate of the same bytes packed\n"
      "with zlib at level 9, into memory in this process (0: built without zlib), gunzip is gzip -d as a\n"
      "process; dec/zlib is the decoder's speed over inflate's. Below, vmpack pack --level 1 to 3 (3 is the\n"
      "default): entry size, its ratio to the default's, and packing speed, one run each.\n");
  return 0;
}
