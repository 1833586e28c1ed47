// Describes the payload appended to an executable (a Linux program or a
// Windows PE alike: the payload is found through the trailer at the file's
// end, and no header of the executable is consulted), read with the
// launcher's own rules: the trailer, the plain header, the directory name,
// the file set header and the file set's records. The first rule the bytes
// break ends the report with the message the launcher would show.
#ifndef TULORA_TOOLS_PAYLOADINSPECT_PAYLOAD_REPORT_H
#define TULORA_TOOLS_PAYLOADINSPECT_PAYLOAD_REPORT_H

#include <cstdint>
#include <span>
#include <string>

namespace tulora::payloadinspect {

struct PayloadReport {
  std::string text;     // what was found, line by line
  const char* failure;  // the launcher's message for the rule broken; null when none
};

// `file` is the whole executable.
PayloadReport DescribePayload(std::span<const uint8_t> file);

}  // namespace tulora::payloadinspect

#endif  // TULORA_TOOLS_PAYLOADINSPECT_PAYLOAD_REPORT_H
