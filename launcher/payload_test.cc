#include "launcher/payload.h"
#include "launcher/test_streams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <string>
#include <vector>

namespace tulora::launcher {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Trailer(uint32_t length, uint32_t magic) {
  Bytes t(8);
  WriteLe32(t.data(), length);
  WriteLe32(t.data() + 4, magic);
  return t;
}

const char* RunCheckTrailer(const Bytes& trailer, int64_t position, uint32_t& length) {
  return CheckTrailer(std::span<const uint8_t, TRAILER_SIZE>(trailer.data(), TRAILER_SIZE),
                      position, length);
}

Bytes Compress(const Bytes& data) {
  uLongf size = compressBound(data.size());
  Bytes out(size);
  EXPECT_EQ(compress(out.data(), &size, data.data(), data.size()), Z_OK);
  out.resize(size);
  return out;
}

// The payload part of BuildRawPayload's output (without the trailer).
Bytes PayloadOnly(Bytes withTrailer) {
  withTrailer.resize(withTrailer.size() - TRAILER_SIZE);
  return withTrailer;
}

TEST(PayloadTrailer, PositionAndTrailerRules) {
  EXPECT_STREQ(CheckTrailerPosition(999), messages::kInvalidData);
  EXPECT_STREQ(CheckTrailerPosition(-3), messages::kInvalidData);
  EXPECT_EQ(CheckTrailerPosition(1000), nullptr);

  struct Row {
    uint32_t length, magic;
    int64_t position;
    const char* message;
  };
  const Row rows[] = {
      {100, PAYLOAD_MAGIC, 5000, nullptr},
      {4, PAYLOAD_MAGIC, 5000, nullptr},  // smallest accepted length
      {3, PAYLOAD_MAGIC, 5000, messages::kInvalidData},
      {100, PAYLOAD_MAGIC ^ 1, 5000, messages::kInvalidData},
      {5000, PAYLOAD_MAGIC, 5000, messages::kInvalidData},  // payload from offset 0
      {4999, PAYLOAD_MAGIC, 5000, nullptr},
      {6000, PAYLOAD_MAGIC, 5000, messages::kInvalidData},
      {0x80000000u, PAYLOAD_MAGIC, 5000, messages::kInvalidData},  // negative as signed
  };
  for (const Row& row : rows) {
    uint32_t length = 0;
    const char* m = RunCheckTrailer(Trailer(row.length, row.magic), row.position, length);
    if (row.message == nullptr) {
      EXPECT_EQ(m, nullptr) << row.length;
      EXPECT_EQ(length, row.length);
    } else {
      EXPECT_STREQ(m, row.message) << row.length;
    }
  }
}

TEST(PayloadTrailer, PayloadMagic) {
  Bytes p(12);
  WriteLe32(p.data(), PAYLOAD_MAGIC);
  EXPECT_EQ(CheckPayloadMagic(p), nullptr);
  p[3] ^= 0x80;
  EXPECT_STREQ(CheckPayloadMagic(p), messages::kPayloadReadFailed);
  EXPECT_STREQ(CheckPayloadMagic(Bytes{0xA5, 0xB7}), messages::kPayloadReadFailed);
}

TEST(Scrambling, BodyBytesTakeKeyBytesOneTwoThreeZero) {
  Bytes p(12 + 9, 0);
  WriteLe32(p.data(), PAYLOAD_MAGIC);
  WriteLe32(p.data() + 4, 0x11223344);
  WriteLe32(p.data() + 8, 0xD4C3B2A1);  // key bytes k0..k3 = A1 B2 C3 D4
  ScrambleBody(p);
  const Bytes expected = {0xB2, 0xC3, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2};
  EXPECT_EQ(Bytes(p.begin() + 12, p.end()), expected);
  EXPECT_EQ(ReadLe32(p.data() + 4), 0x11223344u) << "id stays plain";
  EXPECT_EQ(ReadLe32(p.data() + 8), 0xD4C3B2A1u) << "key stays plain";
  ScrambleBody(p);
  EXPECT_EQ(Bytes(p.begin() + 12, p.end()), Bytes(9, 0)) << "restoring twice gives the input";
}

TEST(Scrambling, HeaderOnlyPayloadUntouched) {
  Bytes p = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ScrambleBody(p);
  EXPECT_EQ(p, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(DirectoryName, UppercaseHexWithoutLeadingZeros) {
  EXPECT_EQ(DefaultDirectoryName(0x2F), "V_N2F");
  EXPECT_EQ(DefaultDirectoryName(0), "V_N0");
  EXPECT_EQ(DefaultDirectoryName(0xABCDEF01), "V_NABCDEF01");
}

TEST(Body, NamelessBodyPutsFileSetHeaderAtOffset13) {
  PayloadOptions options{0x2F, 0x01020304, ""};
  Bytes payload = PayloadOnly(BuildRawPayload(options, FILESET_MAGIC, 77, Bytes(10, 0x55)));
  ScrambleBody(payload);
  BodyLayout layout;
  ASSERT_EQ(CheckBody(payload, layout), nullptr);
  EXPECT_EQ(layout.directoryName, "V_N2F");
  EXPECT_EQ(layout.fileSetHeaderOffset, 13u);
  EXPECT_EQ(layout.streamOffset, 21u);
  EXPECT_EQ(layout.inflatedSize, 77u);
}

TEST(Body, StoredNameIsUsedUnchanged) {
  PayloadOptions options{0x2F, 0x99887766, "My Dir"};
  Bytes payload = PayloadOnly(BuildRawPayload(options, FILESET_MAGIC, 5, Bytes(3, 1)));
  ScrambleBody(payload);
  BodyLayout layout;
  ASSERT_EQ(CheckBody(payload, layout), nullptr);
  EXPECT_EQ(layout.directoryName, "My Dir");
  EXPECT_EQ(layout.fileSetHeaderOffset, 12u + 7u);
}

TEST(Body, RejectedLayouts) {
  struct Row {
    const char* what;
    uint32_t magic, inflated;
    size_t streamBytes;
    size_t cutTo;  // 0: keep whole
  };
  const Row rows[] = {
      {"wrong file set magic", FILESET_MAGIC + 1, 10, 4, 0},
      {"inflated size 0", FILESET_MAGIC, 0, 4, 0},
      {"inflated size with top bit", FILESET_MAGIC, 0x80000000u, 4, 0},
      {"payload of 20 bytes", FILESET_MAGIC, 10, 0, 20},
      {"header cut short", FILESET_MAGIC, 10, 0, 19},
      {"payload of 4 bytes", FILESET_MAGIC, 10, 0, 4},
  };
  for (const Row& row : rows) {
    Bytes payload = PayloadOnly(
        BuildRawPayload({1, 0x12345678, ""}, row.magic, row.inflated, Bytes(row.streamBytes, 7)));
    if (row.cutTo) payload.resize(row.cutTo);
    ScrambleBody(payload);
    BodyLayout layout;
    EXPECT_STREQ(CheckBody(payload, layout), messages::kInvalidData) << row.what;
  }
}

TEST(Body, NameWithoutNulIsRejected) {
  Bytes payload(40, 'a');
  WriteLe32(payload.data(), PAYLOAD_MAGIC);
  WriteLe32(payload.data() + 8, 0);  // key 0: body stays as written
  BodyLayout layout;
  EXPECT_STREQ(CheckBody(payload, layout), messages::kInvalidData);
}

TEST(Inflate, DeclaredSizeBoundsTheStream) {
  const Bytes data(300, 'x');
  const Bytes stream = Compress(data);
  struct Row {
    size_t declared;
    const char* message;
    size_t produced;
  };
  const Row rows[] = {
      {300, nullptr, 300},
      {1000, nullptr, 300},  // fewer bytes than declared: only those count
      {299, messages::kDecompressFailed, 0},
  };
  for (const Row& row : rows) {
    Bytes out(row.declared);
    size_t produced = 0;
    const char* m = InflateFileSet(stream, out.data(), out.size(), produced);
    if (row.message) {
      EXPECT_STREQ(m, row.message) << row.declared;
    } else {
      ASSERT_EQ(m, nullptr) << row.declared;
      EXPECT_EQ(produced, row.produced);
      EXPECT_EQ(Bytes(out.begin(), out.begin() + produced), data);
    }
  }
}

TEST(Inflate, BrokenStreamsFail) {
  const Bytes data(64, 'q');
  Bytes badAdler = Compress(data);
  badAdler.back() ^= 1;
  Bytes cut = Compress(data);
  cut.resize(cut.size() - 6);
  Bytes withTail = Compress(data);
  withTail.insert(withTail.end(), {1, 2, 3});
  for (const Bytes& stream : {badAdler, cut, Bytes{}}) {
    Bytes out(100);
    size_t produced = 0;
    EXPECT_STREQ(InflateFileSet(stream, out.data(), out.size(), produced),
                 messages::kDecompressFailed);
  }
  Bytes out(100);
  size_t produced = 0;
  EXPECT_EQ(InflateFileSet(withTail, out.data(), out.size(), produced), nullptr)
      << "bytes after the stream are ignored";
  EXPECT_EQ(produced, 64u);
}

TEST(Inflate, MoreLengthCodesThanDeflateHasFail) {
  // 286 codes are the most there are; 287 and 288 are refused even though
  // the extra codes are unused.
  const struct {
    uint32_t hlit;
    const char* message;
  } rows[] = {{29, nullptr}, {30, messages::kDecompressFailed}, {31, messages::kDecompressFailed}};
  for (const auto& row : rows) {
    Bytes out(10);
    size_t produced = 0;
    const Bytes stream = test::OneLiteralStream(row.hlit);
    const char* m = InflateFileSet(stream, out.data(), out.size(), produced);
    if (row.message) {
      EXPECT_STREQ(m, row.message) << row.hlit;
    } else {
      ASSERT_EQ(m, nullptr) << row.hlit;
      EXPECT_EQ(Bytes(out.begin(), out.begin() + produced), Bytes{'A'});
    }
  }
}

TEST(FileSetWalk, KernelNameLastMatchWinsAsStored) {
  struct Row {
    std::vector<std::string> names;
    std::string kernel;
  };
  const Row rows[] = {
      {{"OSTRA.VLB", "ostra.vlr"}, "ostra.vlr"},
      {{"ostra.vlr", "OSTRA.VLB"}, "OSTRA.VLB"},
      {{"VThread.vlr", "Ostra.Vlr", "xtra.vlr"}, "Ostra.Vlr"},
      {{"ostra.vlx", "ostra.vl", "xostra.vlr", "ostra.vlrr"}, ""},
      {{}, ""},
  };
  for (const Row& row : rows) {
    std::vector<PayloadFile> files;
    for (const std::string& n : row.names) files.push_back({n, Bytes(n.size(), 'c')});
    const Bytes set = SerializeFileSet(files);
    FileSet walked;
    ASSERT_EQ(WalkFileSet(set, walked), nullptr);
    EXPECT_EQ(walked.kernelName, row.kernel);
    ASSERT_EQ(walked.records.size(), row.names.size());
    for (size_t i = 0; i < row.names.size(); ++i) {
      EXPECT_EQ(walked.records[i].name, row.names[i]);
      EXPECT_EQ(walked.records[i].size, row.names[i].size());
      EXPECT_EQ(walked.records[i].contents[0], 'c');
    }
  }
}

TEST(FileSetWalk, RecordsRunningPastTheEndRejectTheSet) {
  const Bytes whole = SerializeFileSet({{"a.bin", Bytes(10, 1)}, {"ostra.vlr", Bytes(5, 2)}});
  // Every cut inside the last record leaves it incomplete.
  const size_t lastStart = 5 + 1 + 4 + 10;
  for (size_t cut = lastStart + 1; cut < whole.size(); ++cut) {
    FileSet set;
    EXPECT_STREQ(WalkFileSet(std::span<const uint8_t>(whole.data(), cut), set),
                 messages::kInvalidData)
        << "cut at " << cut;
    EXPECT_TRUE(set.records.empty());
  }
  Bytes hugeSize = SerializeFileSet({{"x", Bytes(3, 0)}});
  WriteLe32(hugeSize.data() + 2, 0xFFFFFFFFu);
  FileSet set;
  EXPECT_STREQ(WalkFileSet(hugeSize, set), messages::kInvalidData);
}

TEST(FileSetWalk, NamesThatLeaveTheDirectoryRejectTheSet) {
  for (const char* bad : {"..", ".", "../x", "a/b", "a\\b", "\\x", "/etc/passwd"}) {
    const Bytes set = SerializeFileSet({{"ok.bin", Bytes(1, 0)}, {bad, Bytes(1, 0)}});
    FileSet walked;
    EXPECT_STREQ(WalkFileSet(set, walked), messages::kInvalidData) << bad;
    EXPECT_TRUE(walked.records.empty()) << bad;
  }
  for (const char* good : {"...", ".hidden", "a..b", "ostra.vlr"}) {
    EXPECT_TRUE(IsPlainName(good)) << good;
  }
}

TEST(PayloadWriter, BuildsWhatTheReaderAccepts) {
  const std::vector<PayloadFile> files = {
      {"ostra.vlr", Bytes(5000, 0xAB)}, {"VThread.vlr", Bytes{}}, {"xtra.vlr", Bytes{1, 2, 3}}};
  const Bytes out = BuildPayload(files, {0x7D10A001, 0xCAFEBABE, ""});
  ASSERT_GT(out.size(), 20u);
  uint32_t length = 0;
  const int64_t position = 2000 + static_cast<int64_t>(out.size()) - 8;  // as if after 2000 bytes
  ASSERT_EQ(RunCheckTrailer(Bytes(out.end() - 8, out.end()), position, length), nullptr);
  ASSERT_EQ(length, out.size() - 8);
  Bytes payload(out.begin(), out.end() - 8);
  ASSERT_EQ(CheckPayloadMagic(payload), nullptr);
  ScrambleBody(payload);
  BodyLayout layout;
  ASSERT_EQ(CheckBody(payload, layout), nullptr);
  EXPECT_EQ(layout.directoryName, "V_N7D10A001");
  Bytes set(layout.inflatedSize);
  size_t produced = 0;
  ASSERT_EQ(InflateFileSet(std::span<const uint8_t>(payload).subspan(layout.streamOffset),
                           set.data(), set.size(), produced),
            nullptr);
  FileSet walked;
  ASSERT_EQ(WalkFileSet(std::span<const uint8_t>(set.data(), produced), walked), nullptr);
  ASSERT_EQ(walked.records.size(), 3u);
  EXPECT_EQ(walked.kernelName, "ostra.vlr");
  EXPECT_EQ(Bytes(walked.records[0].contents, walked.records[0].contents + 5000),
            files[0].contents);
  EXPECT_EQ(walked.records[1].size, 0u);
  EXPECT_EQ(walked.records[2].contents[2], 3);
}

}  // namespace
}  // namespace tulora::launcher
