// The programs' block output: bytes arrive whole and in order whatever the
// block boundaries, RTF text is escaped exactly as before it was buffered,
// and a failed write is not lost in the buffer.
#include "common/output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Escaped(const std::string &text) {
  std::string memory;
  {
    programs::Output out(&memory);
    out.WriteRtfText(text.c_str());
    EXPECT_TRUE(out.Flush());
  }
  return memory;
}

TEST(RtfText, EscapesTheThreeSpecialCharactersAndEightBitBytes) {
  const std::string a15(15, 'a'), a16(16, 'a'), a40(40, 'a');
  struct Case {
    std::string text, rtf;
  } cases[] = {
      {"", ""},
      {"plain text", "plain text"},
      {"a\\b{c}d", "a\\\\b\\{c\\}d"},
      {"\\{}", "\\\\\\{\\}"},
      {"\x80\xe9\xff", "\\'80\\'e9\\'ff"},
      {"|~\x7f[]", "|~\x7f[]"},  // the neighbours of the specials stay as they are
      // Specials around the 16-byte steps of the scan, and after a long run.
      {a15 + "{", a15 + "\\{"},
      {a16 + "}", a16 + "\\}"},
      {a15 + "\xe4" + a16, a15 + "\\'e4" + a16},
      {a40 + "\\" + a40, a40 + "\\\\" + a40},
      {"{" + a40 + "\xfc", "\\{" + a40 + "\\'fc"},
  };
  for (const Case &c : cases) EXPECT_EQ(Escaped(c.text), c.rtf) << c.text;
}

TEST(RtfText, EveryByteValueAloneAndInALongRun) {
  for (int c = 1; c < 256; ++c) {
    std::string expected;
    if (c >= 0x80) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\'%02x", c);
      expected = hex;
    } else if (c == '\\' || c == '{' || c == '}') {
      expected = std::string("\\") + static_cast<char>(c);
    } else {
      expected = std::string(1, static_cast<char>(c));
    }
    const std::string byte(1, static_cast<char>(c)), run(37, 'x');
    EXPECT_EQ(Escaped(byte), expected) << c;
    EXPECT_EQ(Escaped(run + byte + run), run + expected + run) << c;
  }
}

// Many small pieces, one larger than a block, single bytes and escaped text,
// across several block boundaries, to a file and into memory.
TEST(Output, BytesArriveWholeAndInOrderAcrossBlocks) {
  std::string expected;
  auto write = [&](programs::Output &out) {
    for (int i = 0; i < 20000; ++i) out.Write("piece ");
    out.Put('\n');
    std::string large(programs::Output::kBlockSize + 123, 'L');
    out.Write(large);
    for (int i = 0; i < 5000; ++i) out.WriteRtfText("{x}\xe9");
  };
  for (int i = 0; i < 20000; ++i) expected += "piece ";
  expected += '\n';
  expected += std::string(programs::Output::kBlockSize + 123, 'L');
  for (int i = 0; i < 5000; ++i) expected += "\\{x\\}\\'e9";

  std::string memory;
  {
    programs::Output out(&memory);
    write(out);
    ASSERT_TRUE(out.Flush());
  }
  EXPECT_TRUE(memory == expected);

  FILE *file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    programs::Output out(file);
    write(out);
    ASSERT_TRUE(out.Flush());
  }
  std::rewind(file);
  std::string read(expected.size() + 1, '\0');
  read.resize(std::fread(read.data(), 1, read.size(), file));
  std::fclose(file);
  EXPECT_TRUE(read == expected);
}

TEST(Output, AtLineStartLooksAtTheLastByteAlsoAfterABlockWentOut) {
  std::string memory;
  programs::Output out(&memory);
  EXPECT_TRUE(out.AtLineStart());
  out.Write("text");
  EXPECT_FALSE(out.AtLineStart());
  out.Put('\n');
  EXPECT_TRUE(out.AtLineStart());
  out.Flush();  // the buffer is empty: the last byte sent tells
  EXPECT_TRUE(out.AtLineStart());
  out.Write(std::string(programs::Output::kBlockSize, 'x'));  // sent directly
  EXPECT_FALSE(out.AtLineStart());
  out.Write(std::string(programs::Output::kBlockSize - 1, 'y') + "\n");
  EXPECT_TRUE(out.AtLineStart());
}

TEST(Output, AFailedWriteIsReported) {
  FILE *file = std::fopen("/dev/null", "r");  // writes to it fail
  ASSERT_NE(file, nullptr);
  {
    programs::Output out(file);
    out.Write("lost");
    EXPECT_FALSE(out.Flush());
    EXPECT_TRUE(out.Failed());
  }
  std::fclose(file);
}

}  // namespace
