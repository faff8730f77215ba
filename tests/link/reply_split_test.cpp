// Replies arrive in pieces, cut anywhere: the parser must give the same outcome as for the whole
// reply wherever the reply's own meaning does not change with the cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/link/link_fixture.h"

namespace kavro::test {
namespace {

using Messages = std::vector<std::string>;

class ReplySplitTest : public LinkTest {
 protected:
  void StartLearn(int key) {
    if (!link.LearnMode()) link.LearnL1Click();
    link.Send(key);
    ui.Take();
  }
  // Delivers `reply` in pieces that end at the given cut points.
  void DeliverCut(const Bytes& reply, const std::vector<std::size_t>& cuts) {
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      serial.Deliver(Bytes(reply.begin() + from, reply.begin() + cut));
      from = cut;
    }
    serial.Deliver(Bytes(reply.begin() + from, reply.end()));
  }
};

TEST_F(ReplySplitTest, LearnReplyCutAnywhereStoresTheSameCode) {
  const std::vector<Bytes> prefixes = {{}, {'A'}, {'C'}, {'A', 'C', 'A'}};
  for (const Bytes& prefix : prefixes) {
    Bytes reply = prefix;
    const Bytes whole = LearnReply(OneFrameBlock());
    reply.insert(reply.end(), whole.begin(), whole.end());
    for (std::size_t cut = 1; cut < reply.size(); ++cut) {
      SCOPED_TRACE("prefix " + std::to_string(prefix.size()) + ", cut at " + std::to_string(cut));
      codes.SetData(101, "");
      StartLearn(1);
      DeliverCut(reply, {cut});
      EXPECT_EQ(codes.Data(101), BytesToHexText(OneFrameBlock()));
      EXPECT_EQ(ui.Take(), Messages{"Learn OK!"});
      EXPECT_EQ(link.State(), kIdle);
    }
  }
}

TEST_F(ReplySplitTest, LearnReplyByteByByte) {
  Bytes reply{'C', 'A'};
  const Bytes whole = LearnReply(OneFrameBlock());
  reply.insert(reply.end(), whole.begin(), whole.end());
  StartLearn(2);
  std::vector<std::size_t> cuts;
  for (std::size_t i = 1; i < reply.size(); ++i) cuts.push_back(i);
  DeliverCut(reply, cuts);
  EXPECT_EQ(codes.Data(102), BytesToHexText(OneFrameBlock()));
  EXPECT_EQ(ui.Take(), Messages{"Learn OK!"});
}

TEST_F(ReplySplitTest, SkippedBytesAloneLeaveTheLearnWaiting) {
  StartLearn(1);
  serial.Deliver({'C'});
  EXPECT_EQ(link.State(), kLearning);
  EXPECT_EQ(link.ReplyCount(), 0);
  serial.Deliver({'A', 'A'});
  EXPECT_EQ(link.State(), kLearning);
  EXPECT_TRUE(ui.Take().empty());
  EXPECT_TRUE(ticks.enabled);
}

TEST_F(ReplySplitTest, LearnErrorAfterSkippedBytes) {
  StartLearn(1);
  DeliverCut({'A', 'N'}, {1});
  EXPECT_EQ(ui.Take(), Messages{"Learn error!"});
  StartLearn(1);
  serial.Deliver({'C', 'N', 'G'});
  EXPECT_EQ(ui.Take(), Messages{"Learn error!"});
  EXPECT_EQ(link.ReplyCount(), 0);  // the rest is dropped with the exchange
}

TEST_F(ReplySplitTest, InputReadTakesTheFirstByteOfTheFirstPiece) {
  ui.page = LinkPage::kIo;
  link.InData();
  ui.Take();
  serial.Deliver({0x5A, 0x77});
  EXPECT_EQ(ui.Take(), Messages{" R:5A"});
  EXPECT_EQ(link.State(), kIdle);

  link.InPort("10");
  ui.Take();
  DeliverCut({0x01, 0x02}, {1});
  // The first piece ends the read; the second arrives unasked.
  EXPECT_EQ(ui.Take(), (Messages{" R:01", " R:02"}));
}

TEST_F(ReplySplitTest, IrSendAnswerCutAfterItsFirstByte) {
  Load(101, OneFrameBlock());
  link.Send(1);
  ui.Take();
  DeliverCut({'E', 0x78}, {1});
  // 'E' ends the send; the late byte is shown as unasked.
  EXPECT_EQ(ui.Take(), Messages{" R:78"});

  link.Send(1);
  ui.Take();
  DeliverCut({0x85, 'E'}, {1});
  EXPECT_EQ(ui.Take(), (Messages{"IR Data Error! (0x85)", " R:45"}));
}

TEST_F(ReplySplitTest, UnaskedBytesGiveOneLinePerArrival) {
  link.OutPort("0", "0");
  serial.TakeWritten();
  DeliverCut({0x01, 0x02, 0x03}, {2});
  EXPECT_EQ(ui.Take(), (Messages{"OutPort 00,00", " R:0102", " R:03"}));
}

TEST_F(ReplySplitTest, TcpReplyLinesCutAnywhere) {
  link.SetPortChoice(kTcpPort);
  const std::string learned = "RG" + BytesToHexText(OneFrameBlock()) + "\r\n";
  for (std::size_t cut = 1; cut < learned.size(); ++cut) {
    SCOPED_TRACE("RG cut at " + std::to_string(cut));
    codes.SetData(101, "");
    StartLearn(1);
    if (!tcp.connected) tcp.Connect();
    tcp.TakeSent();
    tcp.Deliver(learned.substr(0, cut));
    tcp.Deliver(learned.substr(cut));
    EXPECT_EQ(codes.Data(101), BytesToHexText(OneFrameBlock()));
    EXPECT_EQ(ui.Take(), Messages{"Learn OK!"});
    EXPECT_EQ(tcp.TakeSent(), std::vector<std::string>{"RAVIZ D\r\n"});
  }

  Load(101, OneFrameBlock());
  const std::string done = "RE\r\n";
  for (std::size_t cut = 1; cut < done.size(); ++cut) {
    SCOPED_TRACE("RE cut at " + std::to_string(cut));
    link.Send(1);
    tcp.Deliver(done.substr(0, cut));
    tcp.Deliver(done.substr(cut));
    EXPECT_EQ(link.State(), kIdle);
    EXPECT_EQ(ui.Take(), Messages{"Send(101)"});
  }
}

}  // namespace
}  // namespace kavro::test
