// Reads the binary resource file: a sequence of records, each a header
// (data size, header size, type, name, data version, memory flags, language,
// version, characteristics) followed by its data, both padded to four bytes.
// The first record is an empty one that marks the file as 32-bit.
#include "sim/resource_file.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "sim/code_page.h"
#include "sim/machine.h"

#ifndef VM_PROGRAM_RESOURCES
#error "the build names the program's resource file in VM_PROGRAM_RESOURCES"
#endif

namespace {

[[noreturn]] void brokenFile(const std::string& why) {
  sim::writeToStderr(std::string("[sim] the resource file ") + VM_PROGRAM_RESOURCES + " " + why + "\n");
  abort();
}

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  size_t offset() const { return offset_; }
  bool atEnd() const { return offset_ >= bytes_.size(); }
  void seek(size_t offset) { offset_ = offset; }

  uint16_t word() {
    need(2);
    uint16_t value = static_cast<uint16_t>(bytes_[offset_] | bytes_[offset_ + 1] << 8);
    offset_ += 2;
    return value;
  }
  uint32_t dword() {
    uint32_t low = word();
    return low | static_cast<uint32_t>(word()) << 16;
  }

  // 0xFFFF and a number, or a zero-terminated UTF-16 text.
  sim::ResourceKey key() {
    uint16_t first = word();
    if (first == 0xFFFF) return sim::ResourceKey{true, word(), ""};
    std::u16string wide;
    for (uint16_t ch = first; ch != 0; ch = word()) wide += static_cast<char16_t>(ch);
    std::string text;
    if (!sim::ansiFromWide(wide.c_str(), &text)) brokenFile("holds a name outside the code page");
    return sim::ResourceKey{false, 0, text};
  }

  void alignToDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }

  std::vector<uint8_t> take(size_t size) {
    need(size);
    std::vector<uint8_t> data(bytes_.begin() + static_cast<long>(offset_),
                              bytes_.begin() + static_cast<long>(offset_ + size));
    offset_ += size;
    return data;
  }

 private:
  void need(size_t size) const {
    if (offset_ + size > bytes_.size()) brokenFile("ends inside a record");
  }

  const std::vector<uint8_t>& bytes_;
  size_t offset_ = 0;
};

std::vector<sim::ResourceRecord> readRecords() {
  std::ifstream in(VM_PROGRAM_RESOURCES, std::ios::binary);
  if (!in) brokenFile("cannot be opened");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<sim::ResourceRecord> records;
  Reader reader(bytes);
  while (!reader.atEnd()) {
    size_t start = reader.offset();
    uint32_t dataSize = reader.dword();
    uint32_t headerSize = reader.dword();
    sim::ResourceRecord record;
    record.type = reader.key();
    record.name = reader.key();
    reader.alignToDword();
    reader.dword();  // data version
    reader.word();   // memory flags
    record.language = reader.word();
    reader.seek(start + headerSize);
    record.data = reader.take(dataSize);
    reader.alignToDword();
    // The empty leading record has type and name 0.
    if (record.type.isNumber && record.type.number == 0) continue;
    records.push_back(std::move(record));
  }
  return records;
}

bool keyMatches(const sim::ResourceKey& key, const std::string& name) {
  if (!name.empty() && name[0] == '#') return key.isNumber && key.number == atoi(name.c_str() + 1);
  return !key.isNumber && strcasecmp(key.text.c_str(), name.c_str()) == 0;
}

}  // namespace

namespace sim {

const std::vector<ResourceRecord>& programResourceRecords() {
  static const std::vector<ResourceRecord> records = readRecords();
  return records;
}

const std::vector<uint8_t>* findProgramResource(int type, const std::string& name) {
  for (const ResourceRecord& record : programResourceRecords()) {
    if (record.type.isNumber && record.type.number == type && keyMatches(record.name, name)) return &record.data;
  }
  return nullptr;
}

}  // namespace sim
