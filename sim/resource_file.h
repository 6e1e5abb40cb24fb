// The program's own resources as the resource compiler builds them: the
// binary resource file (.res) that the host build makes from res/setup.rc,
// read once and kept for the life of the test process.
#ifndef VM_SIM_RESOURCE_FILE_H
#define VM_SIM_RESOURCE_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// A type or a name: a number, or a text (the compiler stores names in capitals).
struct ResourceKey {
  bool isNumber;
  uint16_t number;
  std::string text;
};

struct ResourceRecord {
  ResourceKey type;
  ResourceKey name;
  uint16_t language;
  std::vector<uint8_t> data;
};

const int kResourceTypeDialog = 5;

// Every record of the resource file, in file order. A file that cannot be
// read or breaks the format ends the test process with a report: the host
// build makes it, so that is a broken build, not a condition of the machine.
const std::vector<ResourceRecord>& programResourceRecords();

// The data of the resource of a numeric type and a name given as Windows
// takes it (a text compared without regard to case, or "#<number>"), or null.
const std::vector<uint8_t>* findProgramResource(int type, const std::string& name);

}  // namespace sim

#endif  // VM_SIM_RESOURCE_FILE_H
