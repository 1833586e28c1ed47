#include "runtime/linux_winapi/body_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "runtime/memory/large_blocks.h"

namespace tulora::net {
namespace {

TEST(BodyBuffer, AppendsAcrossTheLargeBlockSizeAndMoves) {
  BodyBuffer body;
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(body.view(), "");
  std::string expected;
  for (int i = 0; body.size() < 3 * (size_t{1} << 20); ++i) {
    std::string piece(1000 + i % 5000, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(body.Append(piece.data(), piece.size()));
    expected += piece;
  }
  EXPECT_TRUE(body == expected);
  EXPECT_TRUE(rt::IsLargeBlock(body.data()));

  BodyBuffer moved = std::move(body);
  EXPECT_TRUE(body.empty());
  EXPECT_TRUE(moved == expected);
  body = std::move(moved);
  EXPECT_TRUE(body == expected);
}

TEST(BodyBuffer, ReservedRoomIsUsedWithoutMoving) {
  BodyBuffer body;
  ASSERT_TRUE(body.Reserve(4u << 20));
  const char* start = body.data();
  std::string chunk(256 << 10, 'z');
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(body.Append(chunk.data(), chunk.size()));
  EXPECT_EQ(body.data(), start);
  EXPECT_EQ(body.size(), 4u << 20);
  ASSERT_TRUE(body.Append("!", 1));
  EXPECT_EQ(body.view().substr(body.size() - 2), "z!");
}

}  // namespace
}  // namespace tulora::net
