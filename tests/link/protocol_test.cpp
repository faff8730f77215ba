// Frames, their TCP lines, the rewriting of server replies, the names of learned pad codes and
// the slots of the code table.
#include <gtest/gtest.h>

#include <string>

#include "datafile/hex_text.h"
#include "link/code_table.h"
#include "link/frames.h"
#include "datafile/pad_keys.h"
#include "tests/link/link_fakes.h"

namespace kavro {
namespace {

using test::B;
using test::Bytes;

Bytes Block(int first, int count) {
  Bytes b;
  for (int i = 0; i < count; ++i) b.push_back(static_cast<unsigned char>(first + i));
  return b;
}

TEST(Frames, EveryFrameHasItsBytes) {
  EXPECT_EQ(Bytes(kPreamble.begin(), kPreamble.end()), B("XXXXX"));
  EXPECT_EQ(LearnRequestFrame(), B("L0"));
  EXPECT_EQ(OutputFrame(0x0F, 0x01), (Bytes{0x0F, 0x01}));
  EXPECT_EQ(InputFrame(0x1F), (Bytes{0x1F}));
  EXPECT_EQ(InputDataRequestFrame(), (Bytes{0x40}));

  const Bytes full = Block(1, 29);
  Bytes expected{'S'};
  expected.insert(expected.end(), full.begin(), full.end());
  EXPECT_EQ(IrSendFrame(full), expected);
}

TEST(Frames, IrSendFrameIsAlways30BytesZeroFilled) {
  const Bytes frame = IrSendFrame(Block(0xA0, 10));
  ASSERT_EQ(frame.size(), 30u);
  EXPECT_EQ(frame[0], 'S');
  EXPECT_EQ(frame[10], 0xA9);
  for (int i = 11; i < 30; ++i) EXPECT_EQ(frame[i], 0) << i;
  Bytes bare(30, 0);
  bare[0] = 'S';
  EXPECT_EQ(IrSendFrame({}), bare);
  // Never more than the signal block.
  EXPECT_EQ(IrSendFrame(Block(0, 40)).size(), 30u);
}

TEST(Frames, HexIsTwoUpperCaseDigitsPerByte) {
  EXPECT_EQ(BytesToHexText(Bytes{0x00, 0x0A, 0xFF, 0x5a}), "000AFF5A");
  EXPECT_EQ(BytesToHexText(Bytes{}), "");
}

TEST(TcpLines, LearnRequestAndRawL0BecomeRavizC) {
  EXPECT_EQ(FrameToLine(LearnRequestFrame()), "RAVIZ C\r\n");
  EXPECT_EQ(FrameToLine(B("L0XYZ")), "RAVIZ C\r\n");
}

TEST(TcpLines, IrSendFrameBecomes69CharactersWhateverItsLength) {
  const Bytes block = Block(0x10, 29);
  const std::optional<std::string> line = FrameToLine(IrSendFrame(block));
  ASSERT_TRUE(line);
  EXPECT_EQ(line->size(), 69u);
  EXPECT_EQ(*line, "RAVIZ S53" + BytesToHexText(block) + "\r\n");

  // A data text of 10 bytes, and a raw 'S' of one byte, still give 29 pairs.
  EXPECT_EQ(FrameToLine(IrSendFrame(Block(0xA0, 10))),
            "RAVIZ S53" + BytesToHexText(Block(0xA0, 10)) + std::string(38, '0') + "\r\n");
  EXPECT_EQ(FrameToLine(B("S")), "RAVIZ S53" + std::string(58, '0') + "\r\n");
  // Bytes beyond 29 are not carried.
  Bytes longer = IrSendFrame(block);
  longer.push_back(0xEE);
  EXPECT_EQ(FrameToLine(longer), line);
}

TEST(TcpLines, OtherFramesAndThePreambleHaveNoLine) {
  EXPECT_FALSE(FrameToLine(OutputFrame(3, 0xFF)));
  EXPECT_FALSE(FrameToLine(InputFrame(0x12)));
  EXPECT_FALSE(FrameToLine(InputDataRequestFrame()));
  EXPECT_FALSE(FrameToLine(Bytes{0x01, 0x02}));
  EXPECT_FALSE(FrameToLine(Bytes(kPreamble.begin(), kPreamble.end())));
  EXPECT_FALSE(FrameToLine(B("L")));
  EXPECT_FALSE(FrameToLine(B("L1")));
  EXPECT_FALSE(FrameToLine(Bytes{}));
}

TEST(TcpReplies, DispatchOnTheFirstCharacter) {
  ReplyBuffer reply;
  reply.bytes[0] = 0x33;
  reply.count = 3;
  EXPECT_EQ(RewriteTcpReply("ERROR 85\r\n", reply), TcpReplyAction::kShowText);
  EXPECT_EQ(RewriteTcpReply("MOK\r\n", reply), TcpReplyAction::kShowMessage);
  EXPECT_EQ(RewriteTcpReply("xyz", reply), TcpReplyAction::kIgnore);
  EXPECT_EQ(RewriteTcpReply("", reply), TcpReplyAction::kIgnore);
  EXPECT_EQ(RewriteTcpReply(std::string_view("\0RE", 3), reply), TcpReplyAction::kIgnore);
  // None of these touch the reply buffer.
  EXPECT_EQ(reply.bytes[0], 0x33);
  EXPECT_EQ(reply.count, 3);

  // 'R' with another second character parses the buffer as it stands.
  EXPECT_EQ(RewriteTcpReply("RA\r\n", reply), TcpReplyAction::kParse);
  EXPECT_EQ(RewriteTcpReply("R", reply), TcpReplyAction::kParse);
  EXPECT_EQ(reply.bytes[0], 0x33);
  EXPECT_EQ(reply.count, 3);

  EXPECT_EQ(RewriteTcpReply("RE\r\n", reply), TcpReplyAction::kParse);
  EXPECT_EQ(reply.bytes[0], 'E');
  EXPECT_EQ(reply.count, 1);
}

TEST(TcpReplies, RgLineBecomesALearnReplyOf30Bytes) {
  ReplyBuffer reply;
  const Bytes block = Block(0x80, 29);
  ASSERT_EQ(RewriteTcpReply("RG" + BytesToHexText(block) + "\r\n", reply), TcpReplyAction::kParse);
  EXPECT_EQ(reply.count, 30);
  EXPECT_EQ(reply.bytes[0], 'G');
  EXPECT_EQ(Bytes(reply.bytes.begin() + 1, reply.bytes.begin() + 30), block);

  // Lower-case digits are hex digits too.
  RewriteTcpReply("RGab0f", reply);
  EXPECT_EQ(reply.bytes[1], 0xAB);
  EXPECT_EQ(reply.bytes[2], 0x0F);
}

TEST(TcpReplies, ShortRgLineClearsThePositionsItDoesNotSupply) {
  ReplyBuffer reply;
  reply.bytes.fill(0x77);
  RewriteTcpReply("RG" + BytesToHexText(Block(1, 10)) + "\r\n", reply);
  EXPECT_EQ(reply.count, 30);
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(reply.bytes[i], i);
  for (int i = 11; i <= 29; ++i) EXPECT_EQ(reply.bytes[i], 0) << i;

  // Conversion stops at the first pair that is not two hex digits.
  reply.bytes.fill(0x77);
  RewriteTcpReply("RG0A1Z2B", reply);
  EXPECT_EQ(reply.bytes[1], 0x0A);
  EXPECT_EQ(reply.bytes[2], 0);
  EXPECT_EQ(reply.bytes[3], 0);
}

TEST(TcpReplies, OverlongRgLineStaysInsideTheReplyBuffer) {
  ReplyBuffer reply;
  RewriteTcpReply("RG" + std::string(2000, 'F'), reply);
  EXPECT_EQ(reply.count, 30);
  EXPECT_EQ(reply.bytes[255], 0xFF);
}

TEST(TcpReplies, OnlyACutOffReplyLineIsUnfinished) {
  EXPECT_TRUE(IsUnfinishedReplyLine("R"));
  EXPECT_TRUE(IsUnfinishedReplyLine("RG"));
  EXPECT_TRUE(IsUnfinishedReplyLine("RG" + std::string(57, '0')));
  EXPECT_FALSE(IsUnfinishedReplyLine("RG" + std::string(58, '0')));
  EXPECT_FALSE(IsUnfinishedReplyLine("RG0102\r\n"));  // a short line with its end counts
  EXPECT_FALSE(IsUnfinishedReplyLine("RG01 02"));
  EXPECT_FALSE(IsUnfinishedReplyLine("RE"));
  EXPECT_FALSE(IsUnfinishedReplyLine("E"));
  EXPECT_FALSE(IsUnfinishedReplyLine(""));
}

TEST(KeyNames, LearnedPadCodesAreNamedByPageAndKey) {
  EXPECT_EQ(PadLearnComment(145), "P1 VTR CH DOWN");
  EXPECT_EQ(PadLearnComment(226), "P3 EXT 1");
  EXPECT_EQ(PadLearnComment(160), "P2 TV 10");
  EXPECT_EQ(PadLearnComment(101), "P1 TV 1");
  EXPECT_EQ(PadLearnComment(150), "P1 VTR 19");
  EXPECT_EQ(PadLearnComment(151), "P2 TV 1");
  EXPECT_EQ(PadLearnComment(200), "P2 VTR 19");
  EXPECT_EQ(PadLearnComment(201), "P3 TV 1");
  EXPECT_EQ(PadLearnComment(250), "P3 VTR 19");
  EXPECT_EQ(PadLearnComment(100), "");
  EXPECT_EQ(PadLearnComment(251), "");
  EXPECT_EQ(PadLearnComment(0), "");
}

TEST(KeyNames, EveryGroupOfKeys) {
  EXPECT_EQ(PadKeyName(12), "TV 12");
  EXPECT_EQ(PadKeyName(13), "TV CH UP");
  EXPECT_EQ(PadKeyName(16), "TV Mute");
  EXPECT_EQ(PadKeyName(18), "TV VOL DOWN");
  EXPECT_EQ(PadKeyName(19), "VTR REW");
  EXPECT_EQ(PadKeyName(25), "VTR POWER");
  EXPECT_EQ(PadKeyName(26), "EXT 1");
  EXPECT_EQ(PadKeyName(31), "EXT 6");
  EXPECT_EQ(PadKeyName(32), "VTR 1");
  EXPECT_EQ(PadKeyName(43), "VTR 12");
  EXPECT_EQ(PadKeyName(44), "VTR CH UP");
  EXPECT_EQ(PadKeyName(46), "VTR 15");
  EXPECT_EQ(PadKeyName(0), "");
  EXPECT_EQ(PadKeyName(51), "");
}

TEST(CodeTable, SlotsAreCutOnACharacterBoundary) {
  CodeTable table;
  table.SetData(5, std::string(70, 'A'));
  EXPECT_EQ(table.Data(5), std::string(60, 'A'));
  // 19 ASCII bytes and a double-byte character: the character does not fit whole.
  const std::string comment = std::string(19, 'c') + "\x83\x41" + "z";
  table.SetComment(5, comment);
  EXPECT_EQ(table.Comment(5), std::string(19, 'c'));
  table.SetComment(5, std::string(18, 'c') + "\x83\x41" + "z");
  EXPECT_EQ(table.Comment(5), std::string(18, 'c') + "\x83\x41");
}

TEST(CodeTable, CodesOutsideTheTableAreNeitherReadNorWritten) {
  CodeTable table;
  table.SetData(251, "8A1F");
  table.SetData(-1, "8A1F");
  table.SetChanged(251, true);
  EXPECT_EQ(table.Data(251), "");
  EXPECT_FALSE(table.Changed(251));
  EXPECT_FALSE(table.AnyChanged());
  table.SetData(250, "8A1F");
  table.SetComment(250, "x");
  table.SetChanged(250, true);
  EXPECT_TRUE(table.AnyChanged());
  table.ClearDataAndFlags();
  EXPECT_EQ(table.Data(250), "");
  EXPECT_EQ(table.Comment(250), "x");
  EXPECT_FALSE(table.AnyChanged());
}

}  // namespace
}  // namespace kavro
