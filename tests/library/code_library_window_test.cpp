// The code library window over a real data file: loading, learning, updating, deleting,
// sending, saving and the list font.
#include "library/code_library_window.h"

#include <QFontDialog>
#include <QFontInfo>
#include <QImage>

#include "gui/conversion_error.h"
#include "gui/error_display.h"
#include "library/signal_image.h"
#include "library/signal_view.h"
#include "tests/library/library_fixture.h"

namespace kavro::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kComment = ToSjis(QStringLiteral("居間 テレビ"));

TEST_F(LibraryTest, ShowingListsEveryRecordInNumberOrder) {
  WriteFile({"1000=" + DataText() + " " + kComment, "12=" + DataText("10") + " tv",
             "0300=" + DataText("20") + " ", "junk line", "0400"});
  Open();
  EXPECT_EQ(window->Entries(),
            (Strings{"0012 " + DataText("10") + " tv", "0300 " + DataText("20") + " ",
                     "1000 " + DataText() + " " + kComment}));
  EXPECT_EQ(List()->item(2)->text(),
            QString::fromStdString("1000 " + DataText()) + QStringLiteral(" 居間 テレビ"));
  EXPECT_EQ(SeqNum()->text(), "1000");
  EXPECT_EQ(UpdateCaption(), "Update");
  EXPECT_TRUE(IrData()->text().isEmpty());
  EXPECT_FALSE(window->Modified());

  SeqNum()->setText("0300");
  EXPECT_EQ(UpdateCaption(), "Update");
  SeqNum()->setText("0301");
  EXPECT_EQ(UpdateCaption(), "Append");
  SeqNum()->setText("12");  // not four characters: the caption stays
  EXPECT_EQ(UpdateCaption(), "Append");
  SeqNum()->setText("0012");
  EXPECT_EQ(UpdateCaption(), "Update");
  SeqNum()->setText("0x12");  // not a number: no entry has it
  EXPECT_EQ(UpdateCaption(), "Append");
}

TEST_F(LibraryTest, LearnChecksNumberCommentAndTheLink) {
  WriteFile({});
  Open();
  SeqNum()->setText("0120");
  IrComm()->setText("tv");
  window->IrLearnClick();
  EXPECT_EQ(Message(), "SeqNum >= 250");
  SeqNum()->setText("0300");
  IrComm()->clear();
  window->IrLearnClick();
  EXPECT_EQ(Message(), "Comment nothing!");
  SeqNum()->setText("12a");
  IrComm()->setText("tv");
  EXPECT_THROW(window->IrLearnClick(), ConversionError);
  EXPECT_EQ(host.learn_requests, 0);

  SeqNum()->setText("0300");
  host.learn_result = 1;
  window->IrLearnClick();
  EXPECT_EQ(Message(), "Already Learning!");
  host.learn_result = 2;
  window->IrLearnClick();
  EXPECT_EQ(Message(), "RS232C using!");
  EXPECT_TRUE(SeqNum()->isEnabled());
  host.learn_result = 0;
  window->IrLearnClick();
  EXPECT_EQ(Message(), "Push Controller!");
  EXPECT_FALSE(SeqNum()->isEnabled());
  EXPECT_EQ(host.learn_requests, 3);

  // A failure of the link arrives as a message: shown, SeqNum usable again, nothing added.
  window->LearnData("RS232C timeout!");
  EXPECT_EQ(Message(), "RS232C timeout!");
  EXPECT_TRUE(SeqNum()->isEnabled());
  EXPECT_TRUE(window->Entries().empty());
  EXPECT_FALSE(window->Modified());
}

TEST_F(LibraryTest, LearningIntoAUsedNumberAddsAnotherEntryAndMovesOnByTen) {
  WriteFile({"0300=" + DataText() + " old"});
  Open();
  SeqNum()->setText("0300");
  IrComm()->setText(QStringLiteral("居間 テレビ"));
  window->IrLearnClick();
  window->LearnData(DataText("11"));
  EXPECT_EQ(SeqNum()->text(), "0310");
  EXPECT_TRUE(SeqNum()->isEnabled());
  EXPECT_EQ(IrData()->text().toStdString(), DataText("11"));
  window->IrLearnClick();
  window->LearnData("22 33\t44");  // white space in a data text becomes "_"
  EXPECT_EQ(window->Entries(),
            (Strings{"0300 " + DataText() + " old", "0300 " + DataText("11") + " " + kComment,
                     "0310 22_33_44 " + kComment}));
  EXPECT_EQ(SeqNum()->text(), "0320");
  EXPECT_EQ(UpdateCaption(), "Append");
  EXPECT_TRUE(window->Modified());
}

TEST_F(LibraryTest, UpdateReplacesTheSelectedEntryAndAppendAdds) {
  WriteFile({"0300=" + DataText() + " " + kComment, "0400=" + DataText("20") + " other"});
  Open();
  Select(0);
  EXPECT_EQ(SeqNum()->text(), "0300");
  EXPECT_EQ(IrData()->text().toStdString(), DataText());
  EXPECT_EQ(IrComm()->text(), QStringLiteral("居間 テレビ"));
  EXPECT_EQ(UpdateCaption(), "Update");

  IrComm()->setText("bedroom");
  window->IrUpdateClick();
  EXPECT_EQ(window->Entries(),
            (Strings{"0300 " + DataText() + " bedroom", "0400 " + DataText("20") + " other"}));
  EXPECT_EQ(SeqNum()->text(), "0310");
  EXPECT_EQ(UpdateCaption(), "Append");
  EXPECT_EQ(Message(), "");
  EXPECT_TRUE(window->Modified());

  Select(0);
  SeqNum()->setText("0305");
  EXPECT_EQ(UpdateCaption(), "Append");
  window->IrUpdateClick();
  EXPECT_EQ(Numbers(), (Strings{"0300", "0305", "0400"}));
}

TEST_F(LibraryTest, UpdateRefusesBadTextBeforeRemovingAnything) {
  WriteFile({"0300=" + DataText() + " tv"});
  Open();
  Select(0);
  const Strings before = window->Entries();

  IrData()->setText(QString::fromStdString(DataText().substr(0, 57)));
  window->IrUpdateClick();
  EXPECT_EQ(Message(), "Data Length Error!");
  std::string spaced = DataText();
  spaced[20] = ' ';
  IrData()->setText(QString::fromStdString(spaced));
  window->IrUpdateClick();
  EXPECT_EQ(Message(), "Data Format Error!");
  // Lower-case hex would be taken for a link message: refused while the button reads Update.
  IrData()->setText(QString::fromStdString("a" + DataText().substr(1)));
  ASSERT_EQ(UpdateCaption(), "Update");
  window->IrUpdateClick();
  EXPECT_EQ(Message(), "Data Format Error!");
  // A number that is not one is refused before the selected entry goes.
  IrData()->setText(QString::fromStdString(DataText()));
  SeqNum()->setText("30a");
  EXPECT_THROW(window->IrUpdateClick(), ConversionError);

  EXPECT_EQ(window->Entries(), before);
  EXPECT_FALSE(window->Modified());
}

TEST_F(LibraryTest, DeleteAsksFirst) {
  WriteFile({"0300=" + DataText() + " tv", "0400=" + DataText() + " vtr"});
  Open();
  window->IrDeleteClick();
  EXPECT_EQ(Message(), "Please Select Data");
  EXPECT_TRUE(prompts.empty());

  Select(0);
  answer = false;
  window->IrDeleteClick();
  EXPECT_EQ(prompts, Strings{QStringLiteral("削除確認|削除してもよろしいですか？").toStdString()});
  EXPECT_EQ(Numbers(), (Strings{"0300", "0400"}));
  EXPECT_FALSE(window->Modified());
  EXPECT_EQ(Message(), "");

  answer = true;
  window->IrDeleteClick();
  EXPECT_EQ(Numbers(), Strings{"0400"});
  EXPECT_EQ(UpdateCaption(), "Append");  // SeqNum still reads 0300, which is gone
  EXPECT_TRUE(window->Modified());
  window->IrDeleteClick();
  EXPECT_EQ(Message(), "Please Select Data");
}

TEST_F(LibraryTest, SaveRenumbersTheLibraryCodesInListOrder) {
  WriteFile({"0010=" + DataText() + " pad", "0420=" + DataText() + " last",
             "0300=" + DataText("10") + " " + kComment});
  Open();
  SeqNum()->setText("0300");
  IrComm()->setText("second");
  window->IrLearnClick();
  window->LearnData(DataText("20"));
  window->hide();

  EXPECT_EQ(prompts, Strings{QStringLiteral("保存確認|変更データを保存しますか？").toStdString()});
  EXPECT_EQ(DataLines(),
            (Strings{"0010 " + DataText() + " pad", "0250 " + DataText("10") + " " + kComment,
                     "0251 " + DataText("20") + " second", "0252 " + DataText() + " last"}));
  EXPECT_NE(FileText().find("[EXT]\r\nmsg11=TV\r\n"), std::string::npos);
  EXPECT_EQ(host.main_shown, 1);

  // Shown again: the list is what was saved, and the flag is clear.
  Open();
  EXPECT_EQ(Numbers(), (Strings{"0010", "0250", "0251", "0252"}));
  EXPECT_FALSE(window->Modified());
}

TEST_F(LibraryTest, HidingWithoutASaveLeavesTheFileAlone) {
  WriteFile({"0300=" + DataText() + " tv", "0400=" + DataText() + " vtr"});
  const std::string original = FileText();
  Open();
  window->hide();  // nothing changed: no question
  EXPECT_TRUE(prompts.empty());

  // Cancel discards the changes; the next showing reloads the file.
  Open();
  Select(0);
  answer = true;
  window->IrDeleteClick();
  answer = false;
  window->hide();
  EXPECT_EQ(prompts.size(), 2u);
  EXPECT_EQ(FileText(), original);
  Open();
  EXPECT_EQ(Numbers(), (Strings{"0300", "0400"}));

  // An empty list is not saved, even when the user agrees.
  answer = true;
  Select(0);
  window->IrDeleteClick();
  Select(0);
  window->IrDeleteClick();
  ASSERT_TRUE(window->Entries().empty());
  window->close();
  EXPECT_EQ(FileText(), original);
  EXPECT_EQ(host.main_shown, 3);
  EXPECT_EQ(host.main_enabled, 1);
}

TEST_F(LibraryTest, SaveBeginsADataFileWhereNoneExists) {
  Open();
  SeqNum()->setText("0500");
  IrComm()->setText("tv");
  window->IrLearnClick();
  window->LearnData(DataText());
  window->hide();
  EXPECT_EQ(DataLines(), Strings{"0250 " + DataText() + " tv"});
}

// A data file that cannot be read is said in the message line, not shown as an empty library;
// entries that cannot be saved are reported, not dropped without a word.
TEST_F(LibraryTest, UnreadableOrUnwritableFileIsSaid) {
  std::filesystem::create_directory(host.path);
  std::vector<QString> errors;
  const ErrorDisplay previous =
      SetErrorDisplay([&](const QString& text) { errors.push_back(text); });
  Open();
  EXPECT_EQ(Message(), "Data file cannot be read: " + host.path + ": not a regular file");
  SeqNum()->setText("0500");
  IrComm()->setText("tv");
  window->IrLearnClick();
  window->LearnData(DataText());
  window->hide();
  SetErrorDisplay(previous);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].endsWith(QString::fromStdString(host.path + ": not a regular file")))
      << errors[0].toStdString();
}

// The selected code's decode shows under the list; Import adds a file's codes as appended ones,
// Export writes every entry in the chosen format.
TEST_F(LibraryTest, DecodeLineImportAndExport) {
  const std::string nec = "6020000200430088B00200028000000000000020DF10EF000000000000";
  WriteFile({"0300=" + nec + " tv"}, "[Signal]\r\nUnitNs=17625\r\n");
  const std::string folder = std::filesystem::path(host.path).parent_path().string();
  const std::string csv = folder + "/lg.csv";
  std::ofstream(csv) << "functionname,protocol,device,subdevice,function\nVOLUME +,NEC1,4,-1,2\n";
  std::optional<TForm3::ChosenFile> chosen;
  Open();
  window->choose_file = [&](QWidget*, bool) { return chosen; };
  Select(0);
  const QString decoded = Find<QLabel>("DecodeInfo")->text();
  EXPECT_TRUE(decoded.startsWith("NEC1  device 4.251  function 8  ")) << decoded.toStdString();
  EXPECT_TRUE(decoded.endsWith(" ms")) << decoded.toStdString();

  chosen = TForm3::ChosenFile{QString::fromStdString(csv)};
  window->ImportClick();
  EXPECT_EQ(Numbers(), (Strings{"0250", "0300"}));
  EXPECT_TRUE(window->Modified());
  EXPECT_EQ(Message(), "Imported 1 codes, 0 refused");

  const std::string out = folder + "/out.ir";
  chosen = TForm3::ChosenFile{QString::fromStdString(out), codec::Format::kFlipper};
  window->ExportClick();
  std::ifstream in(out);
  std::stringstream written;
  written << in.rdbuf();
  EXPECT_TRUE(written.str().starts_with("Filetype: IR signals file")) << written.str();
  EXPECT_NE(written.str().find("address: 04 00 00 00\ncommand: 02 00 00 00"), std::string::npos)
      << written.str();
}

TEST_F(LibraryTest, ListFontIsWrittenAtOnceAndReadWhenShown) {
  WriteFile({"0300=" + DataText() + " tv"});
  Open();
  std::vector<QFont> offered;
  window->choose_font = [&](QFontDialog& dialog) -> std::optional<QFont> {
    offered.push_back(dialog.currentFont());
    QFont chosen(QStringLiteral("IPAGothic"));
    chosen.setPointSize(14);
    return chosen;
  };
  window->FontF1Click();
  EXPECT_EQ(QFontInfo(List()->font()).pointSize(), 14);
  EXPECT_NE(FileText().find("ListFontName=IPAGothic\r\nListFontSize=14\r\n"), std::string::npos);
  EXPECT_FALSE(window->Modified());

  window->choose_font = [&](QFontDialog& dialog) -> std::optional<QFont> {
    offered.push_back(dialog.currentFont());
    return std::nullopt;
  };
  window->FontF1Click();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0].family(), QFontInfo(DesignFont()).family());
  EXPECT_EQ(offered[1].family(), QStringLiteral("IPAGothic"));  // the last choice

  // A later showing takes the stored size; a size that is not a number is ignored.
  window->hide();
  window.reset();
  WriteFile({}, "ListFontName=IPAGothic\r\nListFontSize=17\r\n");
  Open();
  EXPECT_EQ(List()->font().pointSize(), 17);
  window->hide();
  WriteFile({}, "ListFontSize=x9\r\n");
  Open();
  EXPECT_EQ(List()->font().pointSize(), 17);
}

TEST_F(LibraryTest, SendUsesTheSelectedEntryAndWordsTheResult) {
  const std::string too_long = DataText() + "0102";
  WriteFile({"0300=" + too_long + " tv", "0400=" + DataText() + " vtr"});
  Open();
  window->IrSendClick();
  EXPECT_EQ(Message(), "Please Select Data");
  EXPECT_TRUE(host.sent.empty());

  Select(0);
  IrData()->setText("FF");  // the edit field is not what is sent
  std::string shown_while_sending;
  host.on_send = [&] { shown_while_sending = Message(); };
  const std::pair<int, const char*> results[] = {
      {2, "Data Length Error!"}, {1, "None Data!"}, {3, "RS232C using!"}, {0, "Send(0300)"}};
  for (const auto& [result, message] : results) {
    host.send_result = result;
    window->IrSendClick();
    EXPECT_EQ(shown_while_sending, "Send(0300)");
    EXPECT_EQ(Message(), message);
  }
  EXPECT_EQ(host.sent, Strings(4, too_long));
}

TEST_F(LibraryTest, ClickingAnEntryDrawsItsCode) {
  WriteFile({"0300=" + DataText() + " tv", "0310=0301 short"});
  Open();
  Select(0);
  EXPECT_EQ(window->View().Record(Trace::kUpper).bytes()[19], 0x80);
  const QImage& image = window->Image().Image();
  EXPECT_EQ(image.pixelColor(100, 5), Qt::black);   // the leader mark, from x 10 to 186
  EXPECT_EQ(image.pixelColor(100, 40), Qt::white);  // the lower trace is untouched

  // Two bytes of text: the rest of the block is zero, so nothing is drawn.
  Select(1);
  EXPECT_EQ(window->View().Current().bytes()[0], 0x03);
  EXPECT_EQ(window->View().Current().bytes()[1], 0x01);
  EXPECT_EQ(window->View().Current().bytes()[19], 0);
  EXPECT_EQ(image.pixelColor(100, 5), Qt::white);
}

}  // namespace
}  // namespace kavro::test
