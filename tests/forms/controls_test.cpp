// The controls as the programs' forms use them: events in the class library's order, lists
// that follow their items, images that show and size to their pictures, dropped files.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

#include <cstring>
#include <memory>
#include <ostream>

#include "classlib/core_test_support.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/menus.h"
#include "classlib/forms/shell.h"
#include "classlib/forms/stdctrls.h"
#include "forms/fixture.h"
#include "forms/swatch.h"

namespace {

// Most cases build their controls on one plain form.
class ControlsTest : public FormsTest {
protected:
  TForm form{nullptr};
};

// ---------------------------------------------------------------- the notebook

struct TurnCase {
  const char* name;
  std::function<void(TTabbedNotebook*)> turn;
  friend void PrintTo(const TurnCase& c, std::ostream* out) { *out << c.name; }
};

class NotebookTest : public ControlsTest, public ::testing::WithParamInterface<TurnCase> {
protected:
  void SetUp() override {
    ControlsTest::SetUp();
    notebook = new TTabbedNotebook(&form);
    notebook->SetBounds(8, 8, 400, 300);
    for (const char* caption : {"バラチップ", "キャラチップ", "塗りつぶし"}) notebook->AddPage(caption);
    notebook->OnChange = [this](TObject*, int newTab, bool& allow) {
      log.push_back("change " + std::to_string(newTab) + " on " + std::to_string(notebook->PageIndex()));
      if (refuse) allow = false;
      if (fail) throw EConvertError("no");
    };
    notebook->OnClick = [this](TObject*) { log.push_back("click on " + std::to_string(notebook->PageIndex())); };
  }
  TTabbedNotebook* notebook = nullptr;
  std::vector<std::string> log;
  bool refuse = false;
  bool fail = false;
};

TEST_P(NotebookTest, ReportsTheNewPageBeforeTurningAndClicksAfter) {
  EXPECT_EQ(notebook->PageIndex(), 0);
  GetParam().turn(notebook);
  EXPECT_EQ(notebook->PageIndex(), 1);
  EXPECT_EQ(notebook->ActivePage(), "キャラチップ");
  EXPECT_EQ(log, (std::vector<std::string>{"change 1 on 0", "click on 1"}));
}

TEST_P(NotebookTest, ARefusedTurnKeepsThePage) {
  refuse = true;
  GetParam().turn(notebook);
  EXPECT_EQ(notebook->PageIndex(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"change 1 on 0"}));
}

TEST_P(NotebookTest, AFailingChangeShowsTheErrorAndKeepsThePage) {
  fail = true;
  TAutomation::Push(TModalAnswer::Ok());
  GetParam().turn(notebook);
  EXPECT_EQ(notebook->PageIndex(), 0);
  EXPECT_EQ(TAutomation::TakeShown().at(0).Text, "no.");
}

INSTANTIATE_TEST_SUITE_P(Hands, NotebookTest,
                         ::testing::Values(TurnCase{"Mouse", [](TTabbedNotebook* n) { UserSelectTab(n, 1); }},
                                           TurnCase{"Keyboard", [](TTabbedNotebook* n) { UserTabKey(n, +1); }}),
                         CaseName());

TEST_F(ControlsTest, NotebookTurnedByCodeRaisesNothing) {
  auto* notebook = new TTabbedNotebook(&form);
  notebook->AddPage("a");
  notebook->AddPage("b");
  int events = 0;
  notebook->OnChange = [&](TObject*, int, bool&) { ++events; };
  notebook->OnClick = [&](TObject*) { ++events; };
  notebook->SetActivePage("b");
  EXPECT_EQ(notebook->PageIndex(), 1);
  notebook->SetPageIndex(0);
  EXPECT_EQ(notebook->PageIndex(), 0);
  EXPECT_EQ(events, 0);
  // The pages hold their controls: a button on page 1 lies on page 1.
  auto* button = new TButton(notebook->Page(1));
  EXPECT_EQ(button->Parent(), notebook->Page(1));
  EXPECT_EQ(GetParentForm(button), &form);
}

// ---------------------------------------------------------------- check and radio buttons

// A caption wider than its box shows whole where the parent has room, and never reaches
// past the parent's right edge.
TEST_F(ControlsTest, CheckAndRadioCaptionsGrowWithinTheirParent) {
  form.SetClientWidth(300);
  const std::string caption = "256色で自動減色（MedianCut）";
  auto* radio = new TRadioButton(&form);
  radio->SetBounds(16, 8, 60, 17);
  radio->SetCaption(caption);
  auto* check = new TCheckBox(&form);
  check->SetCaption(caption);
  check->SetBounds(250, 40, 30, 17);
  EXPECT_GT(radio->Width(), 60);
  EXPECT_LE(radio->Left() + radio->Width(), 300);
  EXPECT_EQ(check->Left() + check->Width(), 300);
}

TEST_F(ControlsTest, RadioButtonsOfOneParentAreExclusive) {
  std::vector<TRadioButton*> radios;
  std::vector<int> clicks(4, 0);
  for (int i = 0; i < 3; ++i) radios.push_back(new TRadioButton(&form));
  auto* group = new TGroupBox(&form);
  radios.push_back(new TRadioButton(group));
  for (int i = 0; i < 4; ++i) {
    radios[i]->SetBounds(8, 8 + 24 * i, 150, 17);
    radios[i]->OnClick = [&clicks, i](TObject*) { ++clicks[i]; };
  }
  radios[0]->SetChecked(true);
  radios[3]->SetChecked(true);
  auto checked = [&] {
    std::vector<bool> state;
    for (TRadioButton* radio : radios) state.push_back(radio->Checked());
    return state;
  };

  UserClick(radios[1]);
  EXPECT_EQ(checked(), (std::vector<bool>{false, true, false, true}));
  UserClick(radios[1]);  // already checked: stays, reports nothing
  EXPECT_EQ(checked(), (std::vector<bool>{false, true, false, true}));
  radios[2]->SetChecked(true);
  EXPECT_EQ(checked(), (std::vector<bool>{false, false, true, true}));
  radios[2]->SetChecked(false);  // unchecking reports nothing
  EXPECT_EQ(checked(), (std::vector<bool>{false, false, false, true}));
  EXPECT_EQ(clicks, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(ControlsTest, CheckBoxReportsEveryChangeOfState) {
  auto* box = new TCheckBox(&form);
  box->SetBounds(8, 8, 100, 17);
  box->SetCaption("色の置き換え");
  auto* group = new TGroupBox(&form);
  group->SetVisible(false);
  box->OnClick = [&](TObject*) { group->SetVisible(box->Checked()); };
  UserClick(box);
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(group->Visible());
  box->SetChecked(false);
  EXPECT_FALSE(group->Visible());
  box->SetChecked(false);
  EXPECT_FALSE(group->Visible());
}

// ---------------------------------------------------------------- list and combo boxes

std::vector<std::string> Rows(TListBox* list) {
  auto* widget = static_cast<QListWidget*>(list->Widget());
  std::vector<std::string> rows;
  for (int i = 0; i < widget->count(); ++i) rows.push_back(widget->item(i)->text().toStdString());
  return rows;
}

TEST_F(ControlsTest, SortedListInsertsInPlaceAndSearchesWithoutCase) {
  auto* list = new TListBox(&form);
  list->SetSorted(true);
  for (const char* name : {"/d/b.bmp", "/d/A.PNG", "/d/c.png", "/d/B2.bmp"}) list->Items()->Add(name);
  const std::vector<std::string> sorted{"/d/A.PNG", "/d/b.bmp", "/d/B2.bmp", "/d/c.png"};
  EXPECT_EQ(core_test::Items(*list->Items()), sorted);
  EXPECT_EQ(Rows(list), sorted);
  EXPECT_EQ(list->Items()->IndexOf("/D/a.png"), 0);
  EXPECT_EQ(list->Items()->IndexOf("/d/a.gif"), -1);
}

TEST_F(ControlsTest, ListIndexErrorsNameTheIndex) {
  auto* list = new TListBox(&form);
  list->Items()->Add("Black");
  for (int index : {-1, 1}) {
    try {
      list->Selected(index);
      ADD_FAILURE() << "no error for " << index;
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message, Format(SListIndexError, {index}));
    }
    EXPECT_THROW(list->Items()->Strings(index), EListError);
  }
  EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(ControlsTest, SelectedEntriesSurviveTheRemovalOfOthers) {
  auto* list = new TListBox(&form);
  list->SetBounds(8, 8, 300, 137);
  list->SetMultiSelect(true);
  list->SetSorted(true);
  for (const char* name : {"a", "b", "c", "d", "e"}) list->Items()->Add(name);
  int clicks = 0;
  list->OnClick = [&](TObject*) { ++clicks; };
  UserClickItem(list, 1);
  UserClickItem(list, 3, {ssCtrl});
  // A right press opens the context menu on the selection; it selects nothing itself.
  const QRect first = static_cast<QListWidget*>(list->Widget())->visualItemRect(
      static_cast<QListWidget*>(list->Widget())->item(0));
  const QPoint inList = static_cast<QListWidget*>(list->Widget())->viewport()->mapTo(list->Widget(), first.center());
  UserMouse(list, mbRight, {}, inList.x(), inList.y());
  EXPECT_FALSE(list->Selected(0));
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(list->ItemIndex(), 3);
  EXPECT_EQ(list->SelCount(), 2);
  // Removing the selected entries from the end must not lose the selection of the others.
  for (int i = list->Items()->Count() - 1; i >= 0; --i) {
    if (list->Selected(i)) list->Items()->Delete(i);
  }
  EXPECT_EQ(core_test::Items(*list->Items()), (std::vector<std::string>{"a", "c", "e"}));
  EXPECT_EQ(Rows(list), core_test::Items(*list->Items()));
  EXPECT_EQ(list->SelCount(), 0);
}

TEST_F(ControlsTest, ContextMenuOfAListOpensWithoutWaitingAndRunsTheChosenEntry) {
  form.Show();
  auto* list = new TListBox(&form);
  list->SetBounds(8, 8, 200, 100);
  list->Items()->Add("a.png");
  auto* popup = new TPopupMenu(&form);
  auto* remove = new TMenuItem(&form);
  remove->SetCaption("選択したファイルをリストから削除(&D)");
  popup->Items()->Add(remove);
  list->SetPopupMenu(popup);
  int removals = 0;
  remove->OnClick = [&](TObject*) { ++removals; };
  QWidget* viewport = static_cast<QListWidget*>(list->Widget())->viewport();
  QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(10, 10), viewport->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(viewport, &request);
  EXPECT_TRUE(popup->Menu()->isVisible());
  UserChooseMenu(remove);
  EXPECT_EQ(removals, 1);
  popup->Menu()->hide();
  form.Hide();
}

TEST_F(ControlsTest, ComboBoxReportsOnlyTheUsersChoiceAndForgetsItOnReload) {
  auto* combo = new TComboBox(&form);
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  TStringList names;
  for (const char* name : {"Black", "Pink", "Navy"}) names.Add(name);
  combo->Items()->AddStrings(&names);
  EXPECT_EQ(combo->ItemIndex(), -1);
  UserChoose(combo, 1);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  combo->SetItemIndex(2);
  EXPECT_EQ(changes, 1);
  combo->Items()->Clear();
  combo->Items()->AddStrings(&names);
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(changes, 1);
}

// ---------------------------------------------------------------- images

TEST_F(ControlsTest, ImageSizesItselfOnlyToANonEmptyPicture) {
  auto* image = new TImage(&form);
  image->SetBounds(0, 0, 9, 9);
  image->SetAutoSize(true);
  TBitmap empty;
  empty.SetPixelFormat(pf24bit);
  image->Picture()->SetGraphic(&empty);
  EXPECT_EQ(image->Width(), 9);
  EXPECT_EQ(image->Height(), 9);
  TBitmap sheet;
  sheet.SetPixelFormat(pf24bit);
  sheet.SetSize(48, 32);
  image->Picture()->Assign(&sheet);
  EXPECT_EQ(image->Width(), 48);
  EXPECT_EQ(image->Height(), 32);
  image->Picture()->SetGraphic(nullptr);
  EXPECT_EQ(image->Width(), 48);
}

TEST_F(ControlsTest, ImageCanvasIsABlankBitmapOrRefusesOtherGraphics) {
  auto* image = new TImage(&form);
  image->SetBounds(0, 0, 9, 9);
  TCanvas* canvas = image->Canvas();
  ASSERT_NE(dynamic_cast<TBitmap*>(image->Picture()->Graphic()), nullptr);
  EXPECT_EQ(image->Picture()->Width(), 9);
  EXPECT_EQ(image->Picture()->Height(), 9);
  EXPECT_EQ(canvas->Pixels(4, 4), clWhite);

  TSwatch swatch;
  swatch.W = 4;
  swatch.H = 4;
  image->Picture()->SetGraphic(&swatch);
  try {
    image->Canvas();
    ADD_FAILURE() << "a non-bitmap graphic gave a canvas";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message, "ビットマップを持っている時のみイメージの変更が可能です");
  }
}

// A 4×2 picture whose rows differ, so that one shown upside down or mirrored shows.
bool RedAt(int x, int y) { return (x < 2) == (y == 0); }

std::unique_ptr<TBitmap> Quadrants(TPixelFormat format) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(4, 2);
  if (format == pf8bit) bitmap->SetPalette(core_test::MakePalette({{255, 0, 0, 0}, {0, 0, 255, 0}}));
  for (int y = 0; y < 2; ++y) {
    auto* row = core_test::Row(*bitmap, y);
    for (int x = 0; x < 4; ++x) {
      if (format == pf8bit) {
        row[x] = RedAt(x, y) ? 0 : 1;
      } else {
        row[3 * x] = RedAt(x, y) ? 0 : 255;
        row[3 * x + 2] = RedAt(x, y) ? 255 : 0;
      }
    }
  }
  return bitmap;
}

struct ShowCase {
  const char* name;
  std::function<void(TImage*)> fill;
  friend void PrintTo(const ShowCase& c, std::ostream* out) { *out << c.name; }
};

class ImageShowTest : public ControlsTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ImageShowTest, ShowsThePictureTopDownInItsColours) {
  auto* image = new TImage(&form);
  image->SetBounds(0, 0, 6, 3);
  GetParam().fill(image);
  const QImage shown = image->Widget()->grab().toImage();
  ASSERT_GE(shown.width(), 4);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(QColor(shown.pixel(x, y)), RedAt(x, y) ? QColor(255, 0, 0) : QColor(0, 0, 255)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ImageShowTest,
    ::testing::Values(ShowCase{"Bits24", [](TImage* image) { image->Picture()->Assign(Quadrants(pf24bit).get()); }},
                      ShowCase{"Bits8", [](TImage* image) { image->Picture()->Assign(Quadrants(pf8bit).get()); }},
                      ShowCase{"OtherGraphic",
                               [](TImage* image) {
                                 TSwatch swatch;
                                 swatch.W = 4;
                                 swatch.H = 2;
                                 image->Picture()->SetGraphic(&swatch);
                                 // Drawn on the canvas after the picture was set: the view follows.
                                 TBitmap* bitmap = image->Picture()->Bitmap();
                                 bitmap->SetPixelFormat(pf24bit);
                                 bitmap->SetSize(4, 2);
                                 for (int y = 0; y < 2; ++y)
                                   for (int x = 0; x < 4; ++x) {
                                     image->Canvas()->Brush()->Color = RedAt(x, y) ? clRed : clBlue;
                                     image->Canvas()->FillRect(Rect(x, y, x + 1, y + 1));
                                   }
                               }}), CaseName());

TEST_F(ControlsTest, ImageReportsEachButtonAndClicksOnlyForTheLeft) {
  auto* image = new TImage(&form);
  image->SetBounds(0, 0, 50, 50);
  std::vector<std::string> log;
  image->OnMouseDown = [&](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
    EXPECT_EQ(sender, image);
    log.push_back("down " + std::to_string(button) + " " + std::to_string(x) + "," + std::to_string(y) +
                  (shift.Contains(ssShift) ? " shift" : ""));
  };
  image->OnClick = [&](TObject*) { log.push_back("click"); };
  UserMouse(image, mbRight, {}, 3, 4);
  UserMouse(image, mbMiddle, {}, 5, 6);
  UserMouse(image, mbLeft, {ssShift}, 23, 16);
  EXPECT_EQ(log, (std::vector<std::string>{"down 1 3,4", "down 2 5,6", "down 0 23,16 shift", "click"}));
  // A double click: two presses, one click.
  log.clear();
  image->OnMouseDown = [&](TObject*, TMouseButton, TShiftState shift, int, int) {
    log.push_back(shift.Contains(ssDouble) ? "double" : "down");
  };
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease}) {
    const bool release = type == QEvent::MouseButtonRelease;
    QMouseEvent event(type, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, release ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(image->Widget(), &event);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"down", "click", "double"}));
}

TEST_F(ControlsTest, ScrollBoxReachesItsLargestChildAndClicksOnItsFreeArea) {
  auto* box = new TScrollBox(&form);
  box->SetBounds(8, 48, 292, 260);
  auto* image = new TImage(box);
  image->SetBounds(0, 0, 9, 9);
  image->SetAutoSize(true);
  std::vector<std::string> log;
  box->OnClick = [&](TObject*) { log.push_back("box"); };
  image->OnClick = [&](TObject*) { log.push_back("image"); };
  TBitmap big;
  big.SetPixelFormat(pf24bit);
  big.SetSize(600, 400);
  image->Picture()->Assign(&big);
  EXPECT_GE(box->ClientWidget()->width(), 600);
  EXPECT_GE(box->ClientWidget()->height(), 400);
  UserClick(image);
  big.SetSize(100, 50);
  image->Picture()->Assign(&big);
  EXPECT_EQ(box->ClientWidget()->width(), 288);
  EXPECT_EQ(box->ClientWidget()->height(), 256);
  UserMouse(box, mbLeft, {}, 200, 200);
  UserMouse(box, mbLeft, {}, 50, 20);  // on the image
  EXPECT_EQ(log, (std::vector<std::string>{"image", "box", "image"}));
}

// ---------------------------------------------------------------- panels, labels, edits, menus

TEST_F(ControlsTest, PanelFrameInsetsItsChildrenAndAlignedPanelsFollowTheirParent) {
  form.SetClientWidth(300);
  form.SetClientHeight(200);
  auto* framed = new TPanel(&form);
  framed->SetBorderStyle(bsSingle);
  framed->SetBevelOuter(bvNone);
  framed->SetBounds(5, 13, 484, 260);
  auto* image = new TImage(framed);
  image->SetBounds(0, 0, 480, 256);
  EXPECT_EQ(framed->ClientWidth(), 480);
  EXPECT_EQ(framed->ClientHeight(), 256);
  EXPECT_EQ(image->Widget()->mapTo(framed->Widget(), QPoint(0, 0)), QPoint(2, 2));

  auto* cover = new TPanel(&form);
  cover->SetVisible(false);
  cover->SetAlign(alClient);
  EXPECT_EQ(cover->BoundsRect(), Rect(0, 0, 300, 200));
  form.SetClientWidth(565);
  form.SetClientHeight(342);
  EXPECT_EQ(cover->BoundsRect(), Rect(0, 0, 565, 342));
  int clicks = 0;
  cover->OnClick = [&](TObject*) { ++clicks; };
  cover->SetVisible(true);
  UserClick(cover);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, LabelBreaksLinesAtCarriageReturnsAndKeepsItsWidthWhenWrapping) {
  auto* label = new TLabel(&form);
  label->SetBounds(520, 16, 161, 20);
  label->SetWordWrap(true);
  label->SetCaption("first\r\rsecond\r\nthird");
  EXPECT_EQ(static_cast<QLabel*>(label->Widget())->text(), QString("first\n\nsecond\nthird"));
  EXPECT_EQ(label->Width(), 161);
  EXPECT_GT(label->Height(), 20);
}

TEST_F(ControlsTest, LabeledEditKeepsItsLabelAboveAndFollowsTyping) {
  auto* edit = new TLabeledEdit(&form);
  edit->EditLabel()->SetCaption("保存先(&P)：");
  edit->SetBounds(352, 168, 177, 20);
  EXPECT_EQ(edit->EditLabel()->Top() + edit->EditLabel()->Height() + 3, 168);
  EXPECT_EQ(edit->EditLabel()->Left(), 352);
  UserType(edit, "/home/出力");
  EXPECT_EQ(edit->Text(), "/home/出力");
  edit->SetText("/tmp");
  EXPECT_EQ(edit->Text(), "/tmp");
  UserType(edit, "/srv");
  EXPECT_EQ(edit->Text(), "/srv");
}

TEST_F(ControlsTest, MenuEntriesRunTheirHandlersInsideTheGuard) {
  auto* menu = new TMainMenu(&form);
  auto* file = new TMenuItem(&form);
  file->SetCaption("ファイル(&F)");
  menu->Items()->Add(file);
  auto* open = new TMenuItem(&form);
  open->SetCaption("開く(&O)...");
  auto* line = new TMenuItem(&form);
  line->SetCaption("-");
  auto* exit = new TMenuItem(&form);
  exit->SetCaption("終了(&X)");
  for (TMenuItem* item : {open, line, exit}) file->Add(item);
  EXPECT_EQ(file->Count(), 3);
  EXPECT_TRUE(line->IsLine());
  EXPECT_TRUE(line->Action()->isSeparator());
  EXPECT_TRUE(line->Action()->text().isEmpty()) << "a separator with text shows it";
  int opens = 0;
  open->OnClick = [&](TObject*) {
    ++opens;
    throw EInvalidGraphic(Format(SUnknownExtension, {"jpg"}));
  };
  TAutomation::Push(TModalAnswer::Ok());
  UserChooseMenu(open);
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(TAutomation::TakeShown().at(0).Text, "拡張子 .jpg の画像形式は処理できません.");
  delete exit;
  EXPECT_EQ(file->Count(), 2);
}

// Every glyph shows a picture on a button and on a menu entry, from the icon theme or the
// style's fallback; taking it off leaves none.
TEST_F(ControlsTest, EveryGlyphShowsAPictureOnButtonsAndMenuEntries) {
  auto* button = new TBitBtn(&form);
  auto* entry = new TMenuItem(&form);
  auto* pushButton = static_cast<QPushButton*>(button->Widget());
  for (int g = static_cast<int>(TGlyph::Open); g <= static_cast<int>(TGlyph::BatchProgram); ++g) {
    button->SetGlyph(static_cast<TGlyph>(g));
    entry->SetGlyph(static_cast<TGlyph>(g));
    EXPECT_FALSE(pushButton->icon().isNull()) << "glyph " << g;
    EXPECT_FALSE(entry->Action()->icon().isNull()) << "glyph " << g;
  }
  button->SetGlyph(TGlyph::None);
  EXPECT_TRUE(pushButton->icon().isNull());
}

// ---------------------------------------------------------------- dropped files

class DropForm : public TForm {
public:
  explicit DropForm(TComponent* owner) : TForm(owner) { list = new TListBox(this); }
  void WMDropFiles(TWMDropFiles& message) override {
    LastDrop = message.Drop;
    if (AbortFirst) throw EAbort("");
    const UINT count = DragQueryFileA(message.Drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      char buffer[16];
      std::memset(buffer, 'x', sizeof buffer);
      const UINT copied = DragQueryFileA(message.Drop, i, buffer, sizeof buffer);
      EXPECT_EQ(copied, std::strlen(buffer));
      Lengths.push_back(DragQueryFileA(message.Drop, i, nullptr, 0));
      Names.push_back(buffer);
    }
    EXPECT_EQ(DragQueryFileA(message.Drop, count, nullptr, 0), 0u);
    DragFinish(message.Drop);
    EXPECT_EQ(DragQueryFileA(message.Drop, 0xFFFFFFFF, nullptr, 0), 0u);
  }
  TListBox* list;
  HDROP LastDrop = 0;
  bool AbortFirst = false;
  std::vector<std::string> Names;
  std::vector<UINT> Lengths;
};

TEST_F(FormsTest, DroppedNamesAreCutToTheBufferWithoutSplittingACharacter) {
  DropForm form(nullptr);
  UserDropFiles(form.list, {"/a/b.png"});
  EXPECT_TRUE(form.Names.empty()) << "a control that does not accept files took a drop";

  DragAcceptFiles(form.list->Handle(), 1);
  // 15 bytes fit beside the terminator; "画" takes bytes 13 to 15 of the last name.
  UserDropFiles(form.list, {"/a/b.png", "/abcdefghij.png", "/abcdefghijk.png", "/abcdefghijkl画.png"});
  EXPECT_EQ(form.Names,
            (std::vector<std::string>{"/a/b.png", "/abcdefghij.png", "/abcdefghijk.pn", "/abcdefghijkl"}));
  EXPECT_EQ(form.Lengths, (std::vector<UINT>{8, 15, 16, 20}));
  // A handler that throws before its DragFinish leaves no record behind.
  form.AbortFirst = true;
  UserDropFiles(form.list, {"/a/b.png"});
  EXPECT_EQ(DragQueryFileA(form.LastDrop, 0xFFFFFFFF, nullptr, 0), 0u);
  form.AbortFirst = false;

  DragAcceptFiles(form.list->Handle(), 0);
  form.Names.clear();
  UserDropFiles(form.list, {"/a/b.png"});
  EXPECT_TRUE(form.Names.empty());
  EXPECT_EQ(DragQueryFileA(0, 0xFFFFFFFF, nullptr, 0), 0u);
}

TEST_F(FormsTest, StaleWindowHandlesNameNoControl) {
  HWND handle = 0;
  {
    TForm form(nullptr);
    auto* list = new TListBox(&form);
    handle = list->Handle();
    EXPECT_EQ(FindControl(handle), list);
  }
  EXPECT_EQ(FindControl(handle), nullptr);
  DragAcceptFiles(handle, 1);  // must not touch the freed control
}

}  // namespace
