#include "common/ByteOrder.h"

#include <gtest/gtest.h>

TEST(ByteOrder, FieldsAreLittleEndianAtAnyOffset) {
  uint8_t buffer[7] = {};
  StoreU16LE(buffer + 1, 0xA1B2);
  StoreU32LE(buffer + 3, 0x01020304);
  EXPECT_EQ(buffer[1], 0xB2);
  EXPECT_EQ(buffer[2], 0xA1);
  EXPECT_EQ(buffer[3], 0x04);
  EXPECT_EQ(buffer[6], 0x01);
  EXPECT_EQ(LoadU16LE(buffer + 1), 0xA1B2);
  EXPECT_EQ(LoadU32LE(buffer + 3), 0x01020304u);
}
