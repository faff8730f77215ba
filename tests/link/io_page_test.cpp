// The I/O page's four operations: field checks, messages, frames and their replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/link/link_fixture.h"

namespace kavro::test {
namespace {

using Messages = std::vector<std::string>;

class IoPageTest : public LinkTest {
 protected:
  IoPageTest() { ui.page = LinkPage::kIo; }
};

TEST_F(IoPageTest, TypicalSessionLog) {
  link.OutPort("03", "FF");
  link.InPort("12");
  serial.Deliver({0x5A});
  link.SendData("\"ABC\"0d0a");
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 03,FF", " S:03FF", "InPort 12", " S:12", " R:5A",
                                 "SendData length = 5", " S:4142430D0A"}));
  EXPECT_EQ(serial.TakeWritten(),
            (Bytes{'X', 'X', 'X', 'X', 'X', 0x03, 0xFF, 0x12, 'A', 'B', 'C', 0x0D, 0x0A}));
}

TEST_F(IoPageTest, OutputWriteChecksAndFrame) {
  link.OutPort("f", "1");
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 0F,01", " S:0F01"}));
  EXPECT_EQ(link.State(), kIdle);
  EXPECT_FALSE(ticks.enabled);

  const std::vector<std::pair<std::string, std::string>> bad = {
      {"", "1"}, {"zz", "1"}, {"10", "1"},  {"-1", "1"},
      {"3", ""}, {"3", "g"},  {"3", "100"}, {"3", "-1"}};
  for (const auto& [address, data] : bad) link.OutPort(address, data);
  EXPECT_EQ(ui.Take(), (Messages{"address error!", "address error!", "address error!(0x0-0xf)",
                                 "address error!(0x0-0xf)", "data error!", "data error!",
                                 "data error!(0x00-0xff)", "data error!(0x00-0xff)"}));
  EXPECT_EQ(serial.TakeWritten(), (Bytes{'X', 'X', 'X', 'X', 'X', 0x0F, 0x01}));
}

TEST_F(IoPageTest, FieldsAreReadLikePercentX) {
  link.OutPort("  0x0a", "+7f");
  link.OutPort("0Xb", "ffjunk");
  link.OutPort("0x", "0");  // the "0" is the number
  link.OutPort("99999999999999999999", "0");
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 0A,7F", " S:0A7F", "OutPort 0B,FF", " S:0BFF",
                                 "OutPort 00,00", " S:0000", "address error!(0x0-0xf)"}));
}

TEST_F(IoPageTest, InputReadChecksFrameAndReply) {
  link.InPort("0f");
  link.InPort("20");
  link.InPort("");
  link.InPort("1F");
  EXPECT_EQ(ui.Take(), (Messages{"address error!(0x10-0x1f)", "address error!(0x10-0x1f)",
                                 "address error!", "InPort 1F", " S:1F"}));
  EXPECT_EQ(link.State(), kInputPortRead);
  EXPECT_EQ(link.Countdown(), 5);
  serial.Deliver({0xC3});
  EXPECT_EQ(ui.Take(), Messages{" R:C3"});
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(IoPageTest, InputDataReadAndItsTimeout) {
  link.InData();
  EXPECT_EQ(ui.Take(), (Messages{"InData", " S:40"}));
  EXPECT_EQ(link.State(), kInputDataRead);
  ticks.Tick(5);
  EXPECT_EQ(ui.Take(), Messages{"RS232C timeout!"});
  EXPECT_EQ(link.LinkPort(), kLinkClosed);
}

TEST_F(IoPageTest, RawSendChecks) {
  link.SendData("");
  link.SendData(" ,; 4142");
  link.SendData("414");
  EXPECT_EQ(ui.Take(), (Messages{"data error!", "data error!", "SendData length = 1", " S:41"}));
  EXPECT_EQ(link.Countdown(), 20);
  EXPECT_EQ(link.State(), kIdle);
  serial.Deliver({0x01, 0x02});
  EXPECT_EQ(ui.Take(), Messages{" R:0102"});
  EXPECT_FALSE(ticks.enabled);
}

TEST_F(IoPageTest, LongestRawFrameIsLoggedWhole) {
  // 500 characters typed, an opening quote and 499 bytes: the most the field can give.
  const std::string text = "\"" + std::string(499, 'x');
  link.SendData(text);
  const Messages shown = ui.Take();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "SendData length = 499");
  EXPECT_EQ(shown[1].size(), 3u + 2 * 499);
  EXPECT_EQ(serial.TakeWritten().size(), 5u + 499);
}

TEST_F(IoPageTest, OutputWriteThenInputReadGoesOutAtOnce) {
  link.OutPort("1", "1");
  link.InPort("11");
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 01,01", " S:0101", "InPort 11", " S:11"}));
  EXPECT_EQ(link.State(), kInputPortRead);
}

TEST_F(IoPageTest, InputReadSoonAfterARawSendIsASendError) {
  link.SendData("01");
  link.InPort("12");
  EXPECT_EQ(ui.Take(),
            (Messages{"SendData length = 1", " S:01", "InPort 12", " S:12", "RS232C send error!"}));
  EXPECT_EQ(link.State(), kInputPortRead);
  // The raw send's reply now reads as the input port's value.
  serial.Deliver({0x99});
  EXPECT_EQ(ui.Take(), Messages{" R:99"});
  EXPECT_EQ(link.State(), kIdle);
}

TEST_F(IoPageTest, BusyComesAfterTheOperationsOwnLine) {
  link.InData();
  ui.Take();
  link.OutPort("3", "ff");
  link.InPort("12");
  link.InData();
  link.SendData("41");
  EXPECT_EQ(ui.Take(),
            (Messages{"OutPort 03,FF", "RS232C using!", "InPort 12", "RS232C using!", "InData",
                      "RS232C using!", "SendData length = 1", "RS232C using!"}));
}

TEST_F(IoPageTest, FramesAreLoggedOnlyWhileThePageShows) {
  ui.page = LinkPage::kPad;
  link.OutPort("1", "2");
  EXPECT_EQ(ui.Take(), Messages{"OutPort 01,02"});
}

}  // namespace
}  // namespace kavro::test
