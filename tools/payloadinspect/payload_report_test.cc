#include "tools/payloadinspect/payload_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "launcher/payload.h"

namespace tulora::payloadinspect {
namespace {

using ::testing::HasSubstr;
using namespace tulora::launcher;

// An executable of 2000 bytes of code followed by `payload`.
std::vector<uint8_t> Executable(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> file(2000, 0x90);
  file.insert(file.end(), payload.begin(), payload.end());
  return file;
}

std::vector<uint8_t> GoodPayload(const std::string& directoryName) {
  PayloadOptions options;
  options.directoryId = 0xBEEF;
  options.key = 0x11223344;
  options.directoryName = directoryName;
  return BuildPayload({{"VThread.vlr", {1, 2, 3}}, {"OSTRA.VLB", {4}}, {"ostra.vlr", {5, 6}}},
                      options);
}

TEST(PayloadReport, ListsWhatTheLauncherWouldExtract) {
  struct Row {
    std::string directoryName;
    const char* directoryLine;
  } rows[] = {{"", "directory: \"V_NBEEF\" (from the directory id)"},
              {"runtime", "directory: \"runtime\" (stored)"}};
  for (const Row& row : rows) {
    PayloadReport report = DescribePayload(Executable(GoodPayload(row.directoryName)));
    EXPECT_EQ(report.failure, nullptr) << report.text;
    EXPECT_THAT(report.text, HasSubstr("directory id 0x0000BEEF, key 0x11223344"));
    EXPECT_THAT(report.text, HasSubstr(row.directoryLine));
    EXPECT_THAT(report.text,
                ::testing::ContainsRegex("\"VThread.vlr\" +3 bytes\n +\"OSTRA.VLB\" +1 "
                                         "bytes  \\(kernel library name\\)\n"));
    EXPECT_THAT(report.text, HasSubstr("records: 3\nkernel library: \"ostra.vlr\"\n"));
  }
}

// Each row breaks one rule; the report ends with the launcher's message.
TEST(PayloadReport, EndsWithTheMessageOfTheRuleBroken) {
  std::vector<uint8_t> good = Executable(GoodPayload(""));
  std::vector<uint8_t> badMagic = good;
  badMagic[badMagic.size() - 1] ^= 0xFF;
  std::vector<uint8_t> cutStream = Executable(BuildRawPayload(
      PayloadOptions{}, FILESET_MAGIC, 100, std::vector<uint8_t>{0x78, 0x9C, 0x01}));
  std::vector<uint8_t> noKernel = Executable(BuildPayload({{"xtra.vlr", {7}}}, PayloadOptions{}));
  std::vector<uint8_t> escaping =
      Executable(BuildPayload({{"ostra.vlr", {1}}}, PayloadOptions{0, 0, ".."}));
  struct Row {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } rows[] = {
      {"short file", std::vector<uint8_t>(500, 0), messages::kInvalidData},
      {"trailer magic", badMagic, messages::kInvalidData},
      {"cut stream", cutStream, messages::kDecompressFailed},
      {"no kernel", noKernel, messages::kNoKernel},
      {"directory ..", escaping, messages::kInvalidData},
  };
  for (const Row& row : rows) {
    PayloadReport report = DescribePayload(row.file);
    ASSERT_NE(report.failure, nullptr) << row.name;
    EXPECT_STREQ(report.failure, row.message) << row.name;
    EXPECT_THAT(report.text, ::testing::EndsWith(std::string("refused: ") + row.message + "\n"))
        << row.name;
  }
}

TEST(PayloadReport, TheProgramAsBuiltCarriesItsRuntime) {
  std::ifstream in(TULORA_PROGRAM, std::ios::binary);
  ASSERT_TRUE(in) << TULORA_PROGRAM;
  std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  PayloadReport report = DescribePayload(bytes);
  EXPECT_EQ(report.failure, nullptr) << report.text;
  for (const char* name : {"\"ostra.vlr\"", "\"VThread.vlr\"", "\"xtra.vlr\""}) {
    EXPECT_THAT(report.text, HasSubstr(name));
  }
  EXPECT_THAT(report.text, HasSubstr("kernel library: \"ostra.vlr\""));
}

}  // namespace
}  // namespace tulora::payloadinspect
