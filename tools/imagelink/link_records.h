// The table records that image/link_tables.cc puts into the object: the
// DllFunctionTable, the LibraryTable and the reserved symbols that stand
// for their numbers (and for the library data type codes).
#ifndef TULORA_TOOLS_IMAGELINK_LINK_RECORDS_H
#define TULORA_TOOLS_IMAGELINK_LINK_RECORDS_H

#include <map>
#include <string>
#include <vector>

#include "image/image_format.h"
#include "tools/imagelink/elf_object.h"

namespace tulora::imagelink {

// What a reserved table symbol stands for: the number written into the
// field and the LinkFixupList group the field goes into.
struct ReservedNumber {
  image::FixupGroup group;
  uint32_t value;
};

struct LinkRecords {
  std::vector<image::LibraryRow> libraries;      // in row order
  std::vector<image::DllFunction> dllFunctions;  // names only; offsets later
  std::map<std::string, ReservedNumber> reserved;
};

// True for the sections that hold the records (dropped from the image).
bool IsRecordSection(const std::string& name);

// Reads the three record sections; each must be present. Checks every
// record: texts ended inside their fields, entries and rows numbered from 0
// without gaps, GUIDs of 32 hexadecimal digits, symbols named once.
bool ReadLinkRecords(const ElfObject& object, LinkRecords& out, std::string& error);

}  // namespace tulora::imagelink

#endif  // TULORA_TOOLS_IMAGELINK_LINK_RECORDS_H
