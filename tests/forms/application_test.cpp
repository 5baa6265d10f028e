// The application's exception guard and error box, the message boxes and dialogs, and the
// modal forms, all answered through the automation queue.
#include <QColorDialog>
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

#include <functional>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>

#include "classlib/forms/dialogs.h"
#include "classlib/forms/extctrls.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/shell.h"
#include "classlib/forms/stdctrls.h"
#include "forms/fixture.h"

namespace {

struct ErrorTextCase {
  const char* name;
  const char* message;
  const char* shown;
  friend void PrintTo(const ErrorTextCase& c, std::ostream* out) { *out << c.message; }
};

class ErrorBoxTextTest : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(ErrorBoxTextTest, AddsAPointAfterACharacterAbovePoint) {
  EXPECT_EQ(ErrorBoxText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorBoxTextTest,
    ::testing::Values(ErrorTextCase{"Letter", "Invalid bitmap", "Invalid bitmap."},
                      ErrorTextCase{"Point", "Done.", "Done."}, ErrorTextCase{"Empty", "", ""},
                      ErrorTextCase{"Parenthesis", "(%d)", "(%d)"},
                      ErrorTextCase{"JapaneseParenthesis", "リストのインデックスが範囲を超えています (-1)",
                                    "リストのインデックスが範囲を超えています (-1)"},
                      ErrorTextCase{"Hyphen", "a-", "a-"}, ErrorTextCase{"Exclamation", "a!", "a!"},
                      ErrorTextCase{"Slash", "a/", "a/."}, ErrorTextCase{"Digit", "x 0", "x 0."},
                      // A character of several bytes sorts above "." as a whole.
                      ErrorTextCase{"JapaneseLetter", "ファイル a.bmp は開けません", "ファイル a.bmp は開けません."},
                      ErrorTextCase{"JapanesePoint", "終わりました。", "終わりました。."}), CaseName());

class SampleDialog : public TForm {
public:
  explicit SampleDialog(TComponent* owner) : TForm(owner) {
    SetCaption("見本");
    SetBorderStyle(bsDialog);
    SetBorderIcons({});
    SetClientWidth(277);
    SetClientHeight(120);
    btnOpen = new TButton(this);
    btnOpen->SetBounds(8, 8, 97, 25);
    btnOpen->SetCaption("ピクチャを選択...");
    btnOpen->OnClick = [this](TObject*) {
      if (od->Execute()) Chosen = od->FileName;
    };
    btnOK = new TBitBtn(this);
    btnOK->SetKind(bkOK);
    btnOK->SetBounds(88, 88, 89, 25);
    btnOK->OnClick = [this](TObject*) { ++OkClicks; };
    btnCancel = new TBitBtn(this);
    btnCancel->SetCaption("キャンセル");
    btnCancel->Cancel = true;
    btnCancel->SetBounds(184, 88, 89, 25);
    btnCancel->OnClick = [this](TObject*) { Close(); };
    od = new TOpenDialog(this);
    OnShow = [this](TObject*) { ++Shows; };
    OnClose = [this](TObject*, TCloseAction&) { ++Closes; };
  }

  TButton* btnOpen;
  TBitBtn* btnOK;
  TBitBtn* btnCancel;
  TOpenDialog* od;
  std::string Chosen;
  int OkClicks = 0;
  int Shows = 0;
  int Closes = 0;
};

// ---------------------------------------------------------------- the exception guard

struct GuardCase {
  const char* name;
  std::function<void()> raise;
  bool boxShown;
  const char* text;
  friend void PrintTo(const GuardCase& c, std::ostream* out) { *out << c.name; }
};

class GuardTest : public FormsTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(GuardTest, AHandlerFailureShowsTheErrorBoxOrIsDropped) {
  const GuardCase& c = GetParam();
  auto form = std::make_unique<TForm>(nullptr);
  auto* button = new TButton(form.get());
  bool after = false;
  button->OnClick = [&](TObject*) {
    c.raise();
    after = true;
  };
  if (c.boxShown) TAutomation::Push(TModalAnswer::Ok());
  UserClick(button);
  EXPECT_FALSE(after);
  const auto shown = TAutomation::TakeShown();
  if (!c.boxShown) {
    EXPECT_TRUE(shown.empty());
    return;
  }
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Kind, TModalKind::ErrorBox);
  EXPECT_EQ(shown[0].Caption, Application->Title());
  EXPECT_EQ(shown[0].Text, c.text);
  EXPECT_EQ(shown[0].Flags, MB_OK | MB_ICONSTOP);
}

INSTANTIATE_TEST_SUITE_P(
    Exceptions, GuardTest,
    ::testing::Values(GuardCase{"Abort", [] { throw EAbort("quiet"); }, false, ""},
                      GuardCase{"ClassLibrary", [] { throw EInvalidGraphic("Bad PNG"); }, true, "Bad PNG."},
                      GuardCase{"ListIndex", [] { throw EListError(Format(SListIndexError, {-1})); }, true,
                                "リストのインデックスが範囲を超えています (-1)"},
                      GuardCase{"Standard", [] { throw std::runtime_error("boom"); }, true, "boom."},
                      GuardCase{"Memory", [] { throw std::bad_alloc(); }, true, "メモリが足りません."}), CaseName());

TEST_F(FormsTest, FormCreationRunsOnCreateOnceInsideTheGuard) {
  struct Failing : TForm {
    explicit Failing(TComponent* owner) : TForm(owner) {
      OnCreate = [this](TObject*) {
        ++Creates;
        throw EFOpenError(Format(SFOpenError, {"x.ini"}));
      };
    }
    int Creates = 0;
  };
  TAutomation::Push(TModalAnswer::Ok());
  Failing* form = nullptr;
  Application->CreateForm(form);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Creates, 1);
  EXPECT_EQ(Application->MainForm(), form);
  form->DoCreate();
  EXPECT_EQ(form->Creates, 1);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Text, "ファイル x.ini は開けません.");
  delete form;
  EXPECT_EQ(Application->MainForm(), nullptr);
}

// ---------------------------------------------------------------- message boxes

struct BoxCase {
  const char* name;
  int flags;
  TModalAnswer answer;
  int result;
  friend void PrintTo(const BoxCase& c, std::ostream* out) { *out << c.name; }
};

class MessageBoxTest : public FormsTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(MessageBoxTest, AnswersWithTheButtonsTheFlagsOffer) {
  TAutomation::Push(GetParam().answer);
  EXPECT_EQ(Application->MessageBox("本文", "題", GetParam().flags), GetParam().result);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::MessageBox);
  EXPECT_EQ(shown.Caption, "題");
  EXPECT_EQ(shown.Text, "本文");
  EXPECT_EQ(shown.Flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, MessageBoxTest,
    ::testing::Values(BoxCase{"InformationOk", MB_ICONINFORMATION, TModalAnswer::Ok(), IDOK},
                      BoxCase{"InformationClosed", MB_ICONINFORMATION, TModalAnswer::Cancel(), IDOK},
                      BoxCase{"OkCancelClosed", MB_OKCANCEL, TModalAnswer::Cancel(), IDCANCEL},
                      BoxCase{"YesNoDefault", MB_YESNO, TModalAnswer::Ok(), IDYES},
                      BoxCase{"YesNoSecondDefault", MB_YESNO | MB_DEFBUTTON2, TModalAnswer::Ok(), IDNO},
                      BoxCase{"YesNoPressedNo", MB_YESNO, TModalAnswer::Button(IDNO), IDNO},
                      // A box without a cancel button ends with its last button.
                      BoxCase{"YesNoClosed", MB_YESNO, TModalAnswer::Cancel(), IDNO},
                      BoxCase{"YesNoCancelClosed", MB_YESNOCANCEL, TModalAnswer::Cancel(), IDCANCEL},
                      BoxCase{"AbortRetryIgnorePressedRetry", MB_ABORTRETRYIGNORE, TModalAnswer::Button(IDRETRY),
                              IDRETRY}), CaseName());

struct DlgCase {
  const char* name;
  TMsgDlgType type;
  const char* caption;
  TMsgDlgButtons buttons;
  TModalAnswer answer;
  int result;
  friend void PrintTo(const DlgCase& c, std::ostream* out) { *out << c.name; }
};

class MessageDlgTest : public FormsTest, public ::testing::WithParamInterface<DlgCase> {};

TEST_P(MessageDlgTest, TakesItsCaptionFromItsKind) {
  TAutomation::Push(GetParam().answer);
  EXPECT_EQ(MessageDlg("本文", GetParam().type, GetParam().buttons), GetParam().result);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::MessageDlg);
  EXPECT_EQ(shown.Caption, GetParam().caption);
  EXPECT_EQ(shown.DlgType, GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MessageDlgTest,
    ::testing::Values(DlgCase{"Warning", mtWarning, "警告", {mbOK}, TModalAnswer::Ok(), mrOk},
                      DlgCase{"Error", mtError, "エラー", {mbOK}, TModalAnswer::Ok(), mrOk},
                      DlgCase{"Information", mtInformation, "情報", {mbOK}, TModalAnswer::Ok(), mrOk},
                      DlgCase{"Custom", mtCustom, "FormsTest", {mbOK}, TModalAnswer::Ok(), mrOk},
                      DlgCase{"ConfirmationYes", mtConfirmation, "確認", {mbYes, mbNo}, TModalAnswer::Ok(), mrYes},
                      // Closed without a choice, a question ends with its "no".
                      DlgCase{"ConfirmationClosed", mtConfirmation, "確認", {mbYes, mbNo}, TModalAnswer::Cancel(),
                              mrNo}), CaseName());

TEST_F(FormsTest, WhatQtDrawsItselfSpeaksJapanese) {
  const QColorDialog dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "色を選択");
  // Without touching the session's locale: start-up leaves its variables as they were (ctest
  // runs this once more under LANG=C with the others set empty).
  EXPECT_EQ(LocaleVariables(), LocaleVariablesAtStart);
}

TEST_F(FormsTest, PlainNoticesTakeTheTitle) {
  TAutomation::Push(TModalAnswer::Ok());
  ShowMessage("すべての処理が終わりました。");
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Caption, "FormsTest");
  EXPECT_EQ(shown.Text, "すべての処理が終わりました。");
}

TEST_F(FormsTest, TheScreenCursorOverridesTheDesktopAndIsRecordedWithEachBox) {
  Screen->SetCursor(crHourGlass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  TAutomation::Push(TModalAnswer::Ok());
  Application->MessageBox("a", "b", MB_OK);
  Screen->SetCursor(crCross);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  TAutomation::Push(TModalAnswer::Ok());
  Application->MessageBox("a", "b", MB_OK);
  const auto shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Cursor, crHourGlass);
  EXPECT_EQ(shown[1].Cursor, crDefault);
}

// ---------------------------------------------------------------- an empty queue

TEST_F(FormsTest, AnEmptyQueueFailsAndCancelsInsteadOfWaiting) {
  CollectFailures failures;
  auto dialog = std::make_unique<SampleDialog>(nullptr);
  EXPECT_EQ(Application->MessageBox("a", "b", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_FALSE(dialog->Visible());
  EXPECT_FALSE(dialog->od->Execute());
  TColorDialog colours(nullptr);
  EXPECT_FALSE(colours.Execute());
  BROWSEINFOA info;
  EXPECT_EQ(SHBrowseForFolderA(&info), nullptr);
  EXPECT_EQ(failures.Messages.size(), 5u);
  EXPECT_EQ(TAutomation::TakeShown().size(), 5u);
}

TEST_F(FormsTest, AModalFormLeftWithoutAResultFails) {
  CollectFailures failures;
  SampleDialog dialog(nullptr);
  TAutomation::Push(TModalAnswer::DriveForm([](TForm*) {}));
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  ASSERT_EQ(failures.Messages.size(), 1u);
  EXPECT_NE(failures.Messages[0].find("見本"), std::string::npos);
}

// ---------------------------------------------------------------- modal forms

struct ModalCase {
  const char* name;
  std::function<void(SampleDialog*)> drive;
  int result;
  int okClicks;
  friend void PrintTo(const ModalCase& c, std::ostream* out) { *out << c.name; }
};

class ModalTest : public FormsTest, public ::testing::WithParamInterface<ModalCase> {};

TEST_P(ModalTest, EndsWithTheResultOfTheButtonOrKey) {
  SampleDialog dialog(nullptr);
  TAutomation::Push(TModalAnswer::DriveForm([&](TForm* form) {
    EXPECT_EQ(form, &dialog);
    EXPECT_TRUE(dialog.Visible());
    GetParam().drive(&dialog);
  }));
  EXPECT_EQ(dialog.ShowModal(), GetParam().result);
  EXPECT_FALSE(dialog.Visible());
  EXPECT_FALSE(dialog.Modal());
  EXPECT_EQ(dialog.OkClicks, GetParam().okClicks);
  EXPECT_EQ(dialog.Shows, 1);
  EXPECT_EQ(dialog.Closes, 1);
  const TModalShown shown = OnlyShown();
  EXPECT_EQ(shown.Kind, TModalKind::Form);
  EXPECT_EQ(shown.Caption, "見本");
}

INSTANTIATE_TEST_SUITE_P(
    Hands, ModalTest,
    ::testing::Values(ModalCase{"OkButton", [](SampleDialog* d) { UserClick(d->btnOK); }, mrOk, 1},
                      ModalCase{"Enter", [](SampleDialog* d) { UserPressReturn(d); }, mrOk, 1},
                      ModalCase{"Escape", [](SampleDialog* d) { UserPressEscape(d); }, mrCancel, 0},
                      ModalCase{"CancelButton", [](SampleDialog* d) { UserClick(d->btnCancel); }, mrCancel, 0},
                      ModalCase{"CloseBox", [](SampleDialog* d) { UserCloseWindow(d); }, mrCancel, 0},
                      ModalCase{"DisabledOk",
                                [](SampleDialog* d) {
                                  d->btnOK->SetEnabled(false);
                                  UserPressReturn(d);
                                  UserClick(d->btnOK);
                                  UserPressEscape(d);
                                },
                                mrCancel, 0}), CaseName());

TEST_F(FormsTest, DialogsShownFromAModalFormTakeTheNextAnswers) {
  SampleDialog dialog(nullptr);
  dialog.od->FileName = "start.bmp";
  TAutomation::Push(TModalAnswer::DriveForm([](TForm* form) {
    auto* d = static_cast<SampleDialog*>(form);
    UserClick(d->btnOpen);
    UserClick(d->btnOK);
  }));
  TAutomation::Push(TModalAnswer::File("/pictures/pal.PNG", 4));
  EXPECT_EQ(dialog.RunModal(), mrOk);
  EXPECT_EQ(dialog.Chosen, "/pictures/pal.PNG");
  EXPECT_EQ(dialog.od->FilterIndex, 4);
  const auto shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].Kind, TModalKind::OpenDialog);
  EXPECT_EQ(shown[1].FileName, "start.bmp");
  // Shown again, the form starts over: the result of the last showing does not end it.
  TAutomation::Push(TModalAnswer::DriveForm([](TForm* form) { UserPressEscape(form); }));
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  TAutomation::TakeShown();
}

TEST_F(FormsTest, ClosingTheMainFormEndsTheApplication) {
  struct Main : TForm {
    explicit Main(TComponent* owner) : TForm(owner) {
      OnClose = [this](TObject*, TCloseAction& action) {
        ++Closes;
        if (Refuse) action = caNone;
      };
    }
    int Closes = 0;
    bool Refuse = true;
  };
  Main* form = nullptr;
  Application->CreateForm(form);
  ASSERT_EQ(Application->MainForm(), form);
  form->Show();
  UserCloseWindow(form);
  EXPECT_TRUE(form->Visible());
  EXPECT_FALSE(Application->Terminated());
  form->Refuse = false;
  UserCloseWindow(form);
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(form->Closes, 2);
  delete form;
}

TEST_F(FormsTest, RunShowsTheMainFormAndReturnsWhenItCloses) {
  TForm* form = nullptr;
  Application->CreateForm(form);
  bool shownInLoop = false;
  QTimer::singleShot(0, [&] {
    shownInLoop = form->Visible();
    UserCloseWindow(form);
  });
  bool stuck = false;
  QTimer::singleShot(5000, [&] {
    stuck = true;
    Application->Terminate();
  });
  Application->Run();
  EXPECT_FALSE(stuck);
  EXPECT_TRUE(shownInLoop);
  EXPECT_FALSE(form->Visible());
  delete form;
}

TEST_F(FormsTest, PaintingThatSetsAPictureDoesNotPaintForever) {
  struct Painting : TForm {
    explicit Painting(TComponent* owner) : TForm(owner) {
      SetClientWidth(200);
      SetClientHeight(100);
      auto* panel = new TPanel(this);
      panel->SetBounds(0, 0, 100, 60);
      image = new TImage(panel);
      image->SetAutoSize(true);
      sheet.SetPixelFormat(pf24bit);
      sheet.SetSize(64, 32);
      // As the composers' OnPaint does: a fresh copy of the sheet, framed, every time.
      OnPaint = [this](TObject*) {
        ++Paints;
        image->Picture()->Assign(&sheet);
        image->Canvas()->Rectangle(0, 0, 16, 16);
      };
    }
    TImage* image;
    TBitmap sheet;
    int Paints = 0;
  };
  Painting form(nullptr);
  form.Show();
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  const int settled = form.Paints;
  EXPECT_GT(settled, 0);
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  EXPECT_EQ(form.Paints, settled);
  EXPECT_EQ(form.image->Width(), 64);
  form.Hide();
}

// ---------------------------------------------------------------- common dialogs

TEST_F(FormsTest, FileDialogsKeepTheirFileNameFromRunToRun) {
  TOpenDialog od(nullptr);
  od.Filter = "ビットマップ (*.bmp)|*.bmp|PortableNetworkGraphic　（*.png)|*.png";
  od.FileName = "first.bmp";
  TAutomation::Push(TModalAnswer::File("/data/second.png", 2));
  TAutomation::Push(TModalAnswer::Cancel());
  ASSERT_TRUE(od.Execute());
  EXPECT_FALSE(od.Execute());
  EXPECT_EQ(od.FileName, "/data/second.png");
  EXPECT_EQ(od.FilterIndex, 2);
  const auto shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].FileName, "first.bmp");
  EXPECT_EQ(shown[0].Filter, od.Filter);
  EXPECT_EQ(shown[0].FilterIndex, 1);
  EXPECT_EQ(shown[1].FileName, "/data/second.png");
  EXPECT_EQ(shown[1].FilterIndex, 2);
}

struct ExtCase {
  const char* name;
  const char* defaultExt;
  const char* typed;
  const char* result;
  friend void PrintTo(const ExtCase& c, std::ostream* out) { *out << c.defaultExt << " + " << c.typed; }
};

class DefaultExtTest : public FormsTest, public ::testing::WithParamInterface<ExtCase> {};

TEST_P(DefaultExtTest, IsAppendedOnlyToANameWithoutExtension) {
  TSaveDialog sd(nullptr);
  sd.DefaultExt = GetParam().defaultExt;
  TAutomation::Push(TModalAnswer::File(GetParam().typed));
  ASSERT_TRUE(sd.Execute());
  EXPECT_EQ(sd.FileName, GetParam().result);
  EXPECT_EQ(TAutomation::TakeShown().at(0).Kind, TModalKind::SaveDialog);
}

INSTANTIATE_TEST_SUITE_P(Names, DefaultExtTest,
                         ::testing::Values(ExtCase{"Appended", "*.png", "/out/sheet", "/out/sheet.png"},
                                           ExtCase{"OtherKept", "*.png", "/out/sheet.bmp", "/out/sheet.bmp"},
                                           ExtCase{"OtherCaseKept", "*.png", "/out/sheet.Png", "/out/sheet.Png"},
                                           ExtCase{"PointInFolder", "*.png", "/out.d/sheet", "/out.d/sheet.png"},
                                           ExtCase{"WithoutPattern", "png", "sheet", "sheet.png"},
                                           ExtCase{"NoDefault", "", "/out/sheet", "/out/sheet"}), CaseName());

TEST_F(FormsTest, ColourDialogStartsAtItsColourAndKeepsItOnCancel) {
  TColorDialog cd(nullptr);
  cd.Options = {cdFullOpen};
  cd.Color = clFuchsia;
  TAutomation::Push(TModalAnswer::Cancel());
  TAutomation::Push(TModalAnswer::Colour(0x123456));
  TAutomation::Push(TModalAnswer::Ok());
  EXPECT_FALSE(cd.Execute());
  EXPECT_EQ(cd.Color, clFuchsia);
  EXPECT_TRUE(cd.Execute());
  EXPECT_EQ(cd.Color, 0x123456);
  EXPECT_TRUE(cd.Execute());
  EXPECT_EQ(cd.Color, 0x123456);
  const auto shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].Color, clFuchsia);
  EXPECT_TRUE(shown[0].Flags & (1 << cdFullOpen));
  EXPECT_EQ(shown[2].Color, 0x123456);
}

TEST_F(FormsTest, FolderBrowserGivesAPathThatFitsOrNone) {
  char name[MAX_PATH];
  BROWSEINFOA info;
  info.pszDisplayName = name;
  info.lpszTitle = "フォルダを選んで下さい";
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  TAutomation::Push(TModalAnswer::Folder("/home/user/出力"));
  TAutomation::Push(TModalAnswer::Cancel());
  TAutomation::Push(TModalAnswer::Folder("/" + std::string(300, 'a')));

  PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info);
  ASSERT_NE(list, nullptr);
  char path[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListA(list, path));
  EXPECT_STREQ(path, "/home/user/出力");
  EXPECT_STREQ(name, "出力");
  CoTaskMemFree(list);
  EXPECT_FALSE(SHGetPathFromIDListA(list, path));

  EXPECT_EQ(SHBrowseForFolderA(&info), nullptr);

  list = SHBrowseForFolderA(&info);
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(SHGetPathFromIDListA(list, path));
  EXPECT_STREQ(path, "");
  EXPECT_EQ(PathFromIDList(list), "/" + std::string(300, 'a')) << "whole where the buffer is too small";
  CoTaskMemFree(list);
  EXPECT_EQ(PathFromIDList(list), "");

  const auto shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].Kind, TModalKind::FolderBrowser);
  EXPECT_EQ(shown[0].Caption, "フォルダを選んで下さい");
  EXPECT_EQ(shown[0].Flags, static_cast<int>(BIF_RETURNONLYFSDIRS));
}

TEST_F(FormsTest, ShellOpenerIsRecordedAndAnswered) {
  TAutomation::Push(TModalAnswer::Ok());
  TAutomation::Push(TModalAnswer::Cancel());
  EXPECT_GT(ShellExecuteA(0, "open", "/app/help/index.html", nullptr, nullptr, SW_SHOWNORMAL), 32u);
  EXPECT_LE(ShellExecuteA(0, "open", "/app/help/index.html", nullptr, nullptr, SW_SHOWNORMAL), 32u);
  const auto shown = TAutomation::TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Kind, TModalKind::ShellOpen);
  EXPECT_EQ(shown[0].Verb, "open");
  EXPECT_EQ(shown[0].Text, "/app/help/index.html");
  EXPECT_EQ(shown[0].Flags, SW_SHOWNORMAL);
}

}  // namespace
