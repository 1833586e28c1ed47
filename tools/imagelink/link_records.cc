#include "tools/imagelink/link_records.h"

#include <cstring>

#include "image/link_symbols.h"

namespace tulora::imagelink {
namespace {

uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A NUL-terminated text inside a fixed-width field.
bool FieldText(const uint8_t* field, size_t width, std::string& out) {
  const void* nul = std::memchr(field, 0, width);
  if (!nul) return false;
  out.assign(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(nul) - field);
  return true;
}

class RecordReader {
 public:
  RecordReader(const ElfObject& object, LinkRecords& out, std::string& error)
      : object_(object), out_(out), error_(error) {}

  bool Fail(const std::string& item, const std::string& problem) {
    error_ = item + ": " + problem;
    return false;
  }

  // The data of the record section `name`, a whole number of `size`-byte
  // records.
  bool Section(const char* name, size_t size, std::span<const uint8_t>& data) {
    for (const ElfSection& s : object_.sections) {
      if (s.name != name) continue;
      if (s.type != SHT_PROGBITS || s.data.size() % size != 0 || s.data.empty())
        return Fail(std::string("section '") + name + "'",
                    std::to_string(s.data.size()) + " bytes are not a whole number of " +
                        std::to_string(size) + "-byte records");
      data = s.data;
      return true;
    }
    return Fail(std::string("section '") + name + "'",
                "missing: the image build compiles image/link_tables.cc into the application");
  }

  bool Texts(const std::string& item,
             std::initializer_list<std::pair<const uint8_t*, size_t>> fields,
             std::initializer_list<std::string*> texts) {
    auto text = texts.begin();
    for (auto [field, width] : fields)
      if (!FieldText(field, width, **text++))
        return Fail(item, "a text is not ended inside its field");
    return true;
  }

  bool Reserve(const std::string& item, const std::string& symbol, image::FixupGroup group,
               uint32_t value) {
    if (symbol.empty()) return Fail(item, "empty symbol name");
    if (!out_.reserved.emplace(symbol, ReservedNumber{group, value}).second)
      return Fail(item, "symbol '" + symbol + "' named twice");
    return true;
  }

  // Reads every record of the section `name` with `read`, stopping at the
  // first refusal; each record is named "<kind> record <index>".
  template <class Record>
  bool EachRecord(const char* name, const char* kind,
                  bool (RecordReader::*read)(const uint8_t*, size_t, const std::string&)) {
    std::span<const uint8_t> data;
    if (!Section(name, sizeof(Record), data)) return false;
    for (size_t i = 0; i * sizeof(Record) < data.size(); ++i) {
      const std::string item = std::string(kind) + " record " + std::to_string(i);
      if (!(this->*read)(data.data() + i * sizeof(Record), i, item)) return false;
    }
    return true;
  }

  // Records that carry their own index must stand in that order.
  bool InOrder(const std::string& item, const char* label, uint32_t number, size_t i) {
    if (number == i) return true;
    return Fail(item, label + std::string(" ") + std::to_string(number) + ", expected " +
                          std::to_string(i));
  }

  bool DllRecord(const uint8_t* r, size_t i, const std::string& item) {
    std::string symbol;
    image::DllFunction f;
    uint32_t entry = LoadU32(r + offsetof(LinkDllRecord, entry));
    if (!InOrder(item, "entry number", entry, i)) return false;
    if (!Texts(item,
               {{r + offsetof(LinkDllRecord, symbol), 48},
                {r + offsetof(LinkDllRecord, dllName), 48},
                {r + offsetof(LinkDllRecord, functionName), 48}},
               {&symbol, &f.dllName, &f.functionName}))
      return false;
    if (f.functionName.empty()) return Fail(item, "empty function name");
    out_.dllFunctions.push_back(f);
    return Reserve(item, symbol, image::FIXUP_DLL_ENTRY, entry);
  }

  bool LibraryRecord(const uint8_t* r, size_t i, const std::string& item) {
    std::string symbol;
    image::LibraryRow row;
    uint32_t number = LoadU32(r + offsetof(LinkLibraryRecord, row));
    row.major = LoadU32(r + offsetof(LinkLibraryRecord, major));
    row.minor = LoadU32(r + offsetof(LinkLibraryRecord, minor));
    if (!InOrder(item, "row", number, i)) return false;
    if (!Texts(item,
               {{r + offsetof(LinkLibraryRecord, symbol), 48},
                {r + offsetof(LinkLibraryRecord, name), 32},
                {r + offsetof(LinkLibraryRecord, guid), 36},
                {r + offsetof(LinkLibraryRecord, displayName), 64}},
               {&symbol, &row.name, &row.guid, &row.displayName}))
      return false;
    bool hex = row.guid.size() == image::LIBRARY_GUID_DIGITS &&
               row.guid.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!hex) return Fail(item, "GUID '" + row.guid + "' is not 32 hexadecimal digits");
    if (row.name.empty() || row.name.find('\r') != std::string::npos ||
        row.displayName.find('\r') != std::string::npos)
      return Fail(item, "library name empty or a text holds a carriage return");
    out_.libraries.push_back(row);
    return Reserve(item, symbol, image::FIXUP_LIBRARY_ROW, number);
  }

  bool TypeRecord(const uint8_t* r, size_t, const std::string& item) {
    std::string symbol;
    if (!Texts(item, {{r + offsetof(LinkTypeRecord, symbol), 48}}, {&symbol})) return false;
    return Reserve(item, symbol, image::FIXUP_LIBRARY_TYPE,
                   LoadU32(r + offsetof(LinkTypeRecord, code)));
  }

 private:
  const ElfObject& object_;
  LinkRecords& out_;
  std::string& error_;
};

}  // namespace

bool IsRecordSection(const std::string& name) {
  return name == TULORA_LINK_DLL_SECTION || name == TULORA_LINK_LIBRARY_SECTION ||
         name == TULORA_LINK_TYPE_SECTION;
}

bool ReadLinkRecords(const ElfObject& object, LinkRecords& out, std::string& error) {
  out = LinkRecords{};
  RecordReader reader(object, out, error);
  return reader.EachRecord<LinkDllRecord>(TULORA_LINK_DLL_SECTION, "DLL table",
                                          &RecordReader::DllRecord) &&
         reader.EachRecord<LinkLibraryRecord>(TULORA_LINK_LIBRARY_SECTION, "library",
                                              &RecordReader::LibraryRecord) &&
         reader.EachRecord<LinkTypeRecord>(TULORA_LINK_TYPE_SECTION, "type",
                                           &RecordReader::TypeRecord);
}

}  // namespace tulora::imagelink
