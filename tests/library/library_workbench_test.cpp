// The library window's working aids beside its design: giving up a learn, the filter box, undo
// and redo, a resizable window with scaled traces, trace labels, keys and row tool tips.
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QKeySequence>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <utility>

#include "datafile/signal_block.h"
#include "library/signal_image.h"
#include "library/signal_view.h"
#include "library/signal_window.h"
#include "tests/library/library_fixture.h"
#include "tests/library/recording_surface.h"

namespace kavro::test {
namespace {

using Strings = std::vector<std::string>;

// Decodes as NEC1 device 4.251 function 8.
const std::string kNec = "6020000200430088B00200028000000000000020DF10EF000000000000";

// The numbers of the rows the list shows.
Strings ShownNumbers(const QListWidget* list) {
  Strings numbers;
  for (int row = 0; row < list->count(); ++row)
    numbers.push_back(list->item(row)->text().left(4).toStdString());
  return numbers;
}

TEST_F(LibraryTest, AnAwaitedLearnCountsDownAndCanBeGivenUp) {
  WriteFile({"0400=" + DataText() + " vtr"});
  Open();
  const std::pair<const char*, std::function<void()>> ways[] = {
      {"Esc", [&] { QTest::keyClick(window.get(), Qt::Key_Escape); }},
      {"Learn again", [&] { Find<QPushButton>("IrLearn")->click(); }},
  };
  for (const auto& [way, give_up] : ways) {
    SCOPED_TRACE(way);
    SeqNum()->setText("0300");
    IrComm()->setText("tv");
    const int cancels = host.learn_cancels;
    window->IrLearnClick();
    window->LearnCountdown(8);
    EXPECT_EQ(Message(), "Push Controller! 8 s");
    give_up();
    EXPECT_EQ(host.learn_cancels, cancels + 1);
    EXPECT_EQ(host.learn_requests, cancels + 1);
    EXPECT_EQ(Message(), "Learn cancelled");
    EXPECT_TRUE(SeqNum()->isEnabled());
    // A tick and a reply that were on their way change nothing.
    window->LearnCountdown(7);
    window->LearnData(DataText("11"));
    EXPECT_EQ(Message(), "Learn cancelled");
    EXPECT_EQ(Numbers(), Strings{"0400"});
    EXPECT_FALSE(window->Modified());
  }
  QTest::keyClick(window.get(), Qt::Key_Escape);  // nothing awaited: nothing to give up
  EXPECT_EQ(host.learn_cancels, 2);

  // A learn that comes back whole, then one whose code holds no data bits: both are stored, the
  // second with a word to the user.
  window->IrLearnClick();
  window->LearnCountdown(5);
  window->LearnData(DataText("11"));
  EXPECT_EQ(Message(), "Push Controller!");
  window->IrLearnClick();
  window->LearnData("0301");
  EXPECT_EQ(Message(), "learned code looks incomplete: learn again");
  EXPECT_EQ(window->Entries(), (Strings{"0300 " + DataText("11") + " tv", "0310 0301 tv",
                                        "0400 " + DataText() + " vtr"}));
}

TEST_F(LibraryTest, TheFilterNarrowsTheRowsButNeverTheEntriesOrTheSave) {
  const std::string japanese = ToSjis(QStringLiteral("居間 テレビ"));
  WriteFile({"0300=" + kNec + " TV Power", "0310=" + DataText() + " " + japanese,
             "0420=" + DataText("10") + " tv mute"});
  Open();
  const Strings all = window->Entries();
  const std::pair<QString, Strings> filters[] = {
      {"042", {"0420"}},
      {"tv", {"0300", "0420"}},
      {QStringLiteral("テレビ"), {"0310"}},
      {"nec", {"0300"}},
      {" 4.251 ", {"0300"}},
      {"zzz", {}},
      {"", {"0300", "0310", "0420"}},
  };
  QLineEdit* filter = Find<QLineEdit>("Filter");
  for (const auto& [text, rows] : filters) {
    filter->setText(text);
    EXPECT_EQ(ShownNumbers(List()), rows) << text.toStdString();
    EXPECT_EQ(window->Entries(), all);
  }

  // A row of the narrowed list stands for its own entry: a click, its tool tip, the Delete key.
  filter->setText("tv");
  Select(1);
  EXPECT_EQ(SeqNum()->text(), "0420");
  EXPECT_EQ(IrComm()->text(), "tv mute");
  const QPoint at = List()->visualItemRect(List()->item(0)).center();
  QHelpEvent help(QEvent::ToolTip, at, List()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(List()->viewport(), &help);
  EXPECT_EQ(List()->item(0)->toolTip(),
            PlainToolTip(QStringLiteral("0300 TV Power — NEC1 4.251 8")));
  EXPECT_EQ(List()->item(1)->toolTip(), "");  // made when asked for
  QTest::keyClick(List(), Qt::Key_Delete);
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(Numbers(), (Strings{"0300", "0310"}));
  EXPECT_EQ(ShownNumbers(List()), Strings{"0300"});

  // The entry the filter hides is saved all the same.
  window->hide();
  EXPECT_EQ(DataLines(),
            (Strings{"0250 " + kNec + " TV Power", "0251 " + DataText() + " " + japanese}));
}

TEST_F(LibraryTest, UndoAndRedoGiveBackTheExactEntries) {
  WriteFile({"0300=" + DataText() + " tv", "0400=" + DataText("20") + " vtr"});
  Open();
  std::vector<Strings> states{window->Entries()};

  // A learn, an update and a delete; after the first two the new entry is selected and drawn.
  SeqNum()->setText("0500");
  IrComm()->setText("amp");
  window->IrLearnClick();
  window->LearnData(DataText("11"));
  states.push_back(window->Entries());
  EXPECT_EQ(List()->currentRow(), 2);
  EXPECT_EQ(window->View().Record(Trace::kUpper).bytes(),
            SignalBlockFromText(DataText("11")).bytes());
  EXPECT_EQ(SeqNum()->text(), "0510");
  Select(0);
  IrComm()->setText("tv2");
  window->IrUpdateClick();
  states.push_back(window->Entries());
  EXPECT_EQ(List()->currentItem()->text().toStdString(), "0300 " + DataText() + " tv2");
  Select(1);
  window->IrDeleteClick();
  states.push_back(window->Entries());
  ASSERT_EQ(states.back(),
            (Strings{"0300 " + DataText() + " tv2", "0500 " + DataText("11") + " amp"}));

  QAction* undo = Find<QAction>("UndoU1");
  QAction* redo = Find<QAction>("RedoR1");
  auto list_matches = [&] {
    QStringList rows;
    for (int row = 0; row < List()->count(); ++row) rows << List()->item(row)->text();
    QStringList entries;
    for (const std::string& e : window->Entries()) entries << FromSjis(e);
    return rows == entries;
  };
  for (int i = 3; i > 0; --i) {
    undo->trigger();
    EXPECT_EQ(window->Entries(), states[i - 1]) << i;
    EXPECT_TRUE(list_matches());
  }
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(window->Modified());
  EXPECT_EQ(UpdateCaption(), "Update");  // SeqNum reads 0400, there again
  for (int i = 1; i <= 3; ++i) {
    redo->trigger();
    EXPECT_EQ(window->Entries(), states[i]) << i;
  }
  EXPECT_FALSE(redo->isEnabled());
  EXPECT_EQ(UpdateCaption(), "Append");

  // Ctrl+Z in the list undoes the delete; a save then writes what the undo gave back.
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  List()->setFocus();
  QTest::keySequence(List(), QKeySequence::Undo);
  EXPECT_EQ(window->Entries(), states[2]);
  window->hide();
  EXPECT_EQ(DataLines(), (Strings{"0250 " + DataText() + " tv2", "0251 " + DataText("20") + " vtr",
                                  "0252 " + DataText("11") + " amp"}));
  Open();
  EXPECT_FALSE(undo->isEnabled());  // each showing starts afresh
}

// The walk scaled to a wider and taller image: the two-bit code (total 12) at W 748, H 117 has
// u 9, upper high line 9 and low line 49, margin 14 and span 720, so x(t) = 60 t + 14.
TEST_F(LibraryTest, AResizedWindowScalesTheTracesAndLabelsThem) {
  WriteFile({"0300=" + DataText() + " tv"});
  Open();
  const QSize design = window->size();
  EXPECT_EQ(window->minimumSize(), design);
  window->resize(design + QSize(200, 150));
  QApplication::processEvents();
  const QImage& image = window->Image().Image();
  ASSERT_EQ(image.size(), QSize(748, 117));
  EXPECT_EQ(List()->size(), QSize(810, 238 + 100));

  Select(0);
  const std::vector<Point> path{{0, 49},   {14, 49}, {14, 9},   {254, 9},  {254, 49},
                                {374, 49}, {374, 9}, {434, 9},  {434, 49}, {614, 49},
                                {614, 9},  {674, 9}, {674, 49}, {734, 49}, {748, 49}};
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Point a = path[i - 1], b = path[i];
    for (int x = std::min(a.x, b.x); x <= std::min(std::max(a.x, b.x), 747); ++x)
      for (int y = std::min(a.y, b.y); y <= std::max(a.y, b.y); ++y)
        ASSERT_EQ(image.pixelColor(x, y), Qt::black) << Point{x, y};
  }
  EXPECT_EQ(image.pixelColor(186, 30), Qt::white);  // where the design width had its edge
  EXPECT_EQ(image.pixelColor(100, 49), Qt::white);  // no low line under the leader pulse
  // The label "0300 tv" lies under the high line, in the leader pulse.
  int label = 0;
  for (int y = 11; y < 48; ++y)
    for (int x = 17; x < 254; ++x)
      if (image.pixelColor(x, y) != Qt::white) ++label;
  EXPECT_GT(label, 20);

  // Back to the design size: the trace is drawn again as the design has it.
  window->resize(design);
  QApplication::processEvents();
  ASSERT_EQ(window->Image().Image().size(), QSize(548, 67));
  EXPECT_EQ(window->Image().Image().pixelColor(185, 5), Qt::black);
  EXPECT_EQ(window->Image().Image().pixelColor(186, 20), Qt::black);
}

// "Signal…" shows what both traces hold; a double-click shows that entry alone.
TEST_F(LibraryTest, TheSignalWindowShowsTheTracesOrTheEntryDoubleClicked) {
  WriteFile({"0300=" + DataText() + " tv", "0301=" + kNec + " amp"});
  Open();
  Select(0);
  Find<QRadioButton>("Logic2")->click();
  Select(1);
  window->SignalClick();
  const SignalWindow* shown = window->Signals();
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(shown->TraceCount(), 2);
  EXPECT_TRUE(shown->Title(0).startsWith("0300")) << shown->Title(0).toStdString();
  EXPECT_TRUE(shown->Title(1).startsWith("0301")) << shown->Title(1).toStdString();

  const QRect row = List()->visualItemRect(List()->item(1));
  // A view takes a double-click only on the item its press went to.
  QTest::mousePress(List()->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, row.center());
  ASSERT_EQ(shown->TraceCount(), 1);
  EXPECT_TRUE(shown->Title(0).startsWith("0301"));
  EXPECT_TRUE(shown->DecodeText().contains("NEC1"));
}

TEST_F(LibraryTest, ButtonsKeepTheirAccessKeysWhateverTheCaption) {
  WriteFile({"0300=" + DataText() + " tv"});
  Open();
  auto key = [&](const char* name) {
    return Find<QPushButton>(name)->shortcut().toString().toStdString();
  };
  EXPECT_EQ(key("IrLearn"), "Alt+L");
  EXPECT_EQ(key("IrSend"), "Alt+S");
  EXPECT_EQ(key("IrDelete"), "Alt+D");
  // Setting a caption without "&" takes a button's access key away.
  const std::pair<const char*, const char*> updates[] = {
      {"0300", "Alt+U"}, {"0301", "Alt+A"}, {"0300", "Alt+U"}};
  for (const auto& [number, access] : updates) {
    SeqNum()->setText(number);
    EXPECT_EQ(key("IrUpdate"), access) << number;
  }
}

}  // namespace
}  // namespace kavro::test
