// The payload container appended to the executable: trailer, plain header,
// XOR-scrambled body, zlib-compressed file set.
//
// End of the executable file:
//   ... | payload (L bytes) | PayloadTrailer (8 bytes: L, PAYLOAD_MAGIC)
// Payload:
//   PayloadHeader (PAYLOAD_MAGIC, directory id, key) | scrambled body
// Restored body:
//   directory name + NUL | FileSetHeader (FILESET_MAGIC, inflated size) |
//   zlib stream of the file set
// File set (inflated): FileSetRecords back to back:
//   name + NUL | u32 size | contents
//
// All integers are 32-bit little-endian. Everything here is pure: it works on
// bytes the caller has read and checks every size and offset it uses, so it
// can be given anything.
#ifndef TULORA_LAUNCHER_PAYLOAD_H
#define TULORA_LAUNCHER_PAYLOAD_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tulora::launcher {

inline constexpr uint32_t PAYLOAD_MAGIC = 0x829AB7A5u;
inline constexpr uint32_t FILESET_MAGIC = 0x033E0F0Du;

inline constexpr size_t TRAILER_SIZE = 8;
inline constexpr size_t PAYLOAD_HEADER_SIZE = 12;
inline constexpr size_t FILESET_HEADER_SIZE = 8;
// Rule 1: the trailer must start at file offset 1000 or later.
inline constexpr uint32_t MIN_TRAILER_POSITION = 1000;

// The launcher's messages, exactly as shown.
namespace messages {
inline constexpr const char* kCantOpenFile = "Can't open file!";
inline constexpr const char* kInvalidData = "Invalid data in the file!";
inline constexpr const char* kReadFailed = "Failed to read data from the file!";
inline constexpr const char* kNoMemory = "Insufficient memory!";
inline constexpr const char* kPayloadReadFailed = "Failed to read file or invalid data in file!";
inline constexpr const char* kNoTempDirectory = "Can't retrieve the temporary directory!";
inline constexpr const char* kDecompressFailed = "Failed to decompress data!";
inline constexpr const char* kNoKernel = "Not found the kernel library!";
inline constexpr const char* kKernelLoadFailed = "Failed to load kernel library!";
inline constexpr const char* kKernelInvalid = "The kernel library is invalid!";
inline constexpr const char* kKernelInterfaceInvalid =
    "The interface of kernel library is invalid!";
// Added by this launcher: refusals that protect the extraction directory.
inline constexpr const char* kBadExtractionDirectory = "Invalid extraction directory!";
inline constexpr const char* kPathTooLong = "The extraction path is too long!";
}  // namespace messages

struct PayloadTrailer {
  uint32_t length;  // L: payload bytes in front of the trailer
  uint32_t magic;
};

struct PayloadHeader {
  uint32_t magic;
  uint32_t directoryId;
  uint32_t key;
};

struct FileSetHeader {
  uint32_t magic;
  uint32_t inflatedSize;  // a signed count, greater than 0
};

// One record of the inflated file set; name and contents point into it.
struct FileSetRecord {
  std::string_view name;
  uint32_t size;
  const uint8_t* contents;
};

uint32_t ReadLe32(const uint8_t* p);
void WriteLe32(uint8_t* p, uint32_t value);

// Rule 1. `trailerPosition` is P, the file size minus 8 (negative when the
// file is shorter than 8 bytes). Null when it passes, else the message.
const char* CheckTrailerPosition(int64_t trailerPosition);

// Rules 3 and 4 on the 8 trailer bytes: magic, then 4 <= L < P (signed).
// On success stores L.
const char* CheckTrailer(std::span<const uint8_t, TRAILER_SIZE> trailer, int64_t trailerPosition,
                         uint32_t& length);

// The part of rule 6 that concerns the bytes: the payload's first word.
const char* CheckPayloadMagic(std::span<const uint8_t> payload);

// Scrambles or restores (the same XOR) the body of a payload in place: body
// byte j takes key byte (j + 1) mod 4. Payloads of 12 bytes or fewer have no
// body and are left untouched.
void ScrambleBody(std::span<uint8_t> payload);

// The layout of a restored body, found by CheckBody.
struct BodyLayout {
  std::string directoryName;   // stored name, or "V_N" + id in uppercase hex
  size_t fileSetHeaderOffset;  // payload offset of the FileSetHeader
  uint32_t inflatedSize;
  size_t streamOffset;  // payload offset of the zlib stream
};

// "V_N" followed by the id in uppercase hexadecimal without leading zeros.
std::string DefaultDirectoryName(uint32_t directoryId);

// Rule 7 on a restored payload: L - 20 > 0, the name's NUL and the 8 bytes
// of the FileSetHeader inside the payload, FILESET_MAGIC, inflated size > 0
// as a signed number. Also picks the directory name; a stored name that is
// not a plain name (IsPlainName) is refused like a broken header.
const char* CheckBody(std::span<const uint8_t> payload, BodyLayout& layout);

// Rule 9: inflates `stream` in one call into `out`, a buffer of exactly the
// declared size. Succeeds only when the stream ends, with a matching
// Adler-32, within that size; `produced` is then the byte count produced
// (which may be less than declared). Bytes after the stream are ignored.
// "Insufficient memory!" when the inflater's own state cannot be allocated.
const char* InflateFileSet(std::span<const uint8_t> stream, uint8_t* out, size_t declaredSize,
                           size_t& produced);

// True when `name` is "ostra.vlr" or "ostra.vlb", ASCII case ignored.
bool IsKernelLibraryName(std::string_view name);

// True when a name stays inside the folder it is put in: no "/" or "\",
// not "." or "..". The directory name and every record name must be one.
// (An empty record name is allowed here; it cannot be created as a file and
// is skipped like any file that cannot be created.)
bool IsPlainName(std::string_view name);

// The records of an inflated file set and the kernel library's name.
struct FileSet {
  std::vector<FileSetRecord> records;
  std::string kernelName;  // last matching record's name, as stored; empty if none
};

// Walks the whole set before anything is written. A record that runs past
// the end of the data (name without NUL, size field or contents cut short)
// or whose name could leave the extraction directory rejects the whole set
// with "Invalid data in the file!". An empty set is valid (and has no
// kernel library).
const char* WalkFileSet(std::span<const uint8_t> data, FileSet& set);

// --- writer -----------------------------------------------------------------

struct PayloadFile {
  std::string name;
  std::vector<uint8_t> contents;
};

struct PayloadOptions {
  uint32_t directoryId = 0;
  uint32_t key = 0;
  std::string directoryName;  // empty: the body carries no name
};

// The serialised file set (records back to back).
std::vector<uint8_t> SerializeFileSet(const std::vector<PayloadFile>& files);

// The payload and its trailer, ready to append to an executable. The file
// set goes into the zlib stream in stored blocks, without compression: the
// launcher inflates the set at every start, and inflating deflated data of
// some 370 KiB cost a start about 1.5 ms, where stored blocks cost a copy
// (0.15 ms). The executable is larger by what compression saved (about
// 180 KiB for the Linux program, 460 KiB for the Windows one).
std::vector<uint8_t> BuildPayload(const std::vector<PayloadFile>& files,
                                  const PayloadOptions& options);

// Assembles a payload and trailer from a ready file set blob, for tests that
// need broken streams or headers: `stream` is stored as the zlib stream as
// given, `inflatedSize` as the declared size.
std::vector<uint8_t> BuildRawPayload(const PayloadOptions& options, uint32_t fileSetMagic,
                                     uint32_t inflatedSize, std::span<const uint8_t> stream);

}  // namespace tulora::launcher

#endif  // TULORA_LAUNCHER_PAYLOAD_H
