// tulora-payloadinspect EXECUTABLE
// Prints the payload an executable carries (see payload_report.h). Exit
// code 0 when the launcher would accept it, 1 when it breaks a rule (the
// report then ends with the launcher's message), 2 on bad usage.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/payloadinspect/payload_report.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tulora-payloadinspect EXECUTABLE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) {
    std::fprintf(stderr, "tulora-payloadinspect: error: cannot read %s\n", argv[1]);
    return 1;
  }
  const tulora::payloadinspect::PayloadReport report =
      tulora::payloadinspect::DescribePayload(bytes);
  std::fputs(report.text.c_str(), stdout);
  return report.failure == nullptr ? 0 : 1;
}
