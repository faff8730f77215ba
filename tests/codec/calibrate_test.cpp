#include "codec/calibrate.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec/encode.h"
#include "tests/codec/codec_test_blocks.h"

namespace kavro::codec {
namespace {

SignalBlock Encoded(const EncodeRequest& request, double unit_ns) {
  const auto block = Encode(request, {unit_ns});
  EXPECT_TRUE(block) << block.reason();
  return block ? *block : SignalBlock();
}

std::vector<SignalBlock> Mix(double nec_unit_ns, double sony_unit_ns) {
  return {Encoded({"NEC1", 4, -1, 8}, nec_unit_ns), Encoded({"NEC1", 4, -1, 9}, nec_unit_ns),
          Encoded({"NEC2", 32, -1, 2}, nec_unit_ns), Encoded({"Sony12", 1, -1, 21}, sony_unit_ns),
          Encoded({"Sony15", 80, -1, 3}, sony_unit_ns)};
}

TEST(Calibrate, RecoversTheUnitOfNecAndSonyCodes) {
  std::vector<SignalBlock> blocks = Mix(17300, 17300);
  blocks.push_back(test::MakeBlock({210, 30, 0, false, {{480, 240, 33}}, "20DF"}));  // unknown
  const auto fit = Calibrate(blocks);
  ASSERT_TRUE(fit) << fit.reason();
  EXPECT_NEAR(fit->unit_ns, 17300, 173);
  EXPECT_EQ(fit->supporting, 5);
  ASSERT_EQ(fit->families.size(), 2u);
  EXPECT_EQ(fit->families[0].family, "NEC");
  EXPECT_EQ(fit->families[0].codes, 3);
  EXPECT_EQ(fit->families[1].family, "Sony");
  EXPECT_NEAR(fit->families[1].unit_ns, 17300, 173);
  EXPECT_LT(fit->spread_percent, 2);
  EXPECT_TRUE(fit->warnings.empty());
}

// Counts exactly proportional to the nominal durations give the unit exactly: 564/32 us.
TEST(Calibrate, PublishedNecBlock) {
  const std::vector<SignalBlock> blocks{
      test::FromHex("6020000200430000000000000000000000000020DF10EF000000000000")};
  const auto fit = Calibrate(blocks);
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->unit_ns, 17625, 0.5);
  EXPECT_EQ(fit->spread_percent, 0);
}

TEST(Calibrate, WarnsWhenFamiliesDisagree) {
  const auto fit = Calibrate(Mix(17000, 19000));
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->unit_ns, 17000, 170);  // the median is a NEC code's
  ASSERT_EQ(fit->warnings.size(), 1u);
  EXPECT_EQ(fit->warnings[0].substr(0, 26), "NEC and Sony disagree by 1");  // about 11.8 %
  EXPECT_GT(fit->spread_percent, 10);
}

TEST(Calibrate, RefusedWhenNothingDecodesConfidently) {
  const std::vector<SignalBlock> blocks{
      test::MakeBlock({210, 30, 0, false, {{480, 240, 33}}, "20DF"}),
      test::MakeBlock({80, 40, 0, true, {{160, 40, 12}}, "A90"}),  // one Sony frame: unsure
      SignalBlock()};
  const auto fit = Calibrate(blocks);
  ASSERT_FALSE(fit);
  EXPECT_EQ(fit.reason(),
            "no code decodes confidently, so there is nothing to find the time unit from");
  EXPECT_FALSE(Calibrate({}));
}

}  // namespace
}  // namespace kavro::codec
