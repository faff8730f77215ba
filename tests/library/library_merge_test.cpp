// The library window's whole-section save keeps what another program did to the file while the
// window was shown, unless the window itself changed that record.
#include "library/code_library_window.h"
#include "tests/library/library_fixture.h"

namespace kavro::test {
namespace {

using Strings = std::vector<std::string>;

std::string Record(const std::string& number, const std::string& first,
                   const std::string& comment) {
  return number + "=" + DataText(first) + " " + comment;
}
std::string Line(const std::string& number, const std::string& first, const std::string& comment) {
  return number + " " + DataText(first) + " " + comment;
}

// Another program changes 0300 and 0400, deletes 0500 and adds 0020 and 0600 while the window
// updates 0400: the others' records join the save, the window's update wins at 0400, and the
// deleted record stays as the window shows it.
TEST_F(LibraryTest, ASaveKeepsAnotherProgramsChangesToRecordsTheWindowLeftAlone) {
  WriteFile({Record("0010", "01", "pad"), Record("0300", "03", "tv"), Record("0400", "04", "vtr"),
             Record("0500", "05", "amp")});
  Open();
  Select(2);
  ASSERT_EQ(SeqNum()->text(), "0400");
  IrComm()->setText("vtr2");
  window->IrUpdateClick();

  WriteFile(
      {Record("0010", "01", "pad"), Record("0300", "13", "tv2"), Record("0400", "14", "other")});
  ASSERT_EQ(WriteKeyValue(host.path, "Data", "0600", DataText("06") + " new"), 0);
  ASSERT_EQ(WriteKeyValue(host.path, "Data", "0020", DataText("02") + " slot"), 0);
  window->hide();

  EXPECT_EQ(DataLines(), (Strings{Line("0010", "01", "pad"), Line("0020", "02", "slot"),
                                  Line("0250", "13", "tv2"), Line("0251", "04", "vtr2"),
                                  Line("0252", "05", "amp"), Line("0253", "06", "new")}));
  EXPECT_EQ(Message(), "Kept 3 codes changed by another program");
}

// Another library window's save renumbered the codes this one shows: they are not taken twice.
// A save with nothing of another program's says nothing.
TEST_F(LibraryTest, ASaveTakesARenumberedCopyOfItsOwnCodesForNoNewCode) {
  WriteFile({Record("0300", "03", "tv"), Record("0400", "04", "vtr")});
  Open();
  SeqNum()->setText("1000");
  IrComm()->setText("amp");
  window->IrLearnClick();
  window->LearnData(DataText("05"));
  WriteFile({Record("0250", "03", "tv"), Record("0251", "04", "vtr"), Record("0252", "06", "new")});
  window->hide();
  EXPECT_EQ(DataLines(), (Strings{Line("0250", "06", "new"), Line("0251", "03", "tv"),
                                  Line("0252", "04", "vtr"), Line("0253", "05", "amp")}));
  EXPECT_EQ(Message(), "Kept 1 codes changed by another program");

  Open();
  Select(0);
  window->IrDeleteClick();
  window->hide();
  EXPECT_EQ(DataLines().size(), 3u);
  EXPECT_EQ(Message(), "");
}

}  // namespace
}  // namespace kavro::test
