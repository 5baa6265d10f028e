// With automation off the programs get the real windows. A timer plays the user's hand on
// whatever modal window comes up, so these paths run in tests too.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QColorDialog>
#include <QDateTime>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWindow>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "classlib/forms/dialogs.h"
#include "classlib/forms/forms.h"
#include "classlib/forms/shell.h"
#include "classlib/forms/stdctrls.h"
#include "forms/fixture.h"

namespace {

class RealWindowsTest : public FormsTest {
protected:
  void SetUp() override {
    FormsTest::SetUp();
    TAutomation::SetActive(false);
  }
  void TearDown() override {
    EXPECT_FALSE(gaveUp) << "the hand waited for a window that never showed";
    EXPECT_FALSE(leftOpen) << "a window stayed open after the hand acted on it";
    TAutomation::SetActive(true);
    FormsTest::TearDown();
  }

  // Acts on the first modal window that shows; gives up after five seconds without one.
  void Hand(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    auto started = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, started, this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && modal->isVisible()) {
        timer->stop();
        timer->deleteLater();
        act(modal);
        CloseIfLeftOpen(modal);
      } else if (++*started > 500) {
        timer->stop();
        timer->deleteLater();
        gaveUp = true;
      }
    });
    timer->start(10);
  }
  bool gaveUp = false;

  // A window the hand's action did not close (or one it raised on top) is closed after a
  // while and the test fails, instead of the whole run waiting on it for ever.
  void CloseIfLeftOpen(QWidget* acted) {
    QPointer<QWidget> window(acted);
    QTimer::singleShot(3000, qApp, [window, this] {
      if (window.isNull() || !window->isVisible()) return;
      leftOpen = true;
      QWidget* top = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QDialog*>(top != nullptr ? top : window.data())) {
        dialog->reject();
      } else {
        window->close();
      }
      CloseIfLeftOpen(window.data());
    });
  }
  bool leftOpen = false;
};

TEST_F(RealWindowsTest, ModalFormEndsWithItsButtonsAndKeys) {
  TForm dialog(nullptr);
  dialog.SetCaption("パレットの設定");
  auto* ok = new TBitBtn(&dialog);
  ok->SetKind(bkOK);
  auto* cancel = new TButton(&dialog);
  cancel->Cancel = true;
  cancel->ModalResult = mrCancel;

  Hand([ok](QWidget*) { UserClick(ok); });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  Hand([](QWidget* window) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window, &escape);
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_FALSE(dialog.Visible());
}

TEST_F(RealWindowsTest, MessageBoxShowsCaptionTextAndTheFlagsButtons) {
  std::string title;
  int buttons = 0;
  Hand([&](QWidget* modal) {
    title = modal->windowTitle().toStdString();
    const QList<QPushButton*> found = modal->findChildren<QPushButton*>();
    buttons = static_cast<int>(found.size());
    for (QPushButton* button : found)
      if (button->isDefault()) button->click();
  });
  EXPECT_EQ(Application->MessageBox("消しますか", "確認の題", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(title, "確認の題");
  EXPECT_EQ(buttons, 2);

  Hand([](QWidget* modal) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(modal, &escape);
  });
  EXPECT_EQ(MessageDlg("ファイルをリスト上から削除します。よろしいですか？", mtConfirmation, {mbYes, mbNo}), mrNo);
}

// A message naming a path nested to nearly the 4,096 bytes Linux allows is taller than the
// screen: the box stays inside the screen's free area with its OK button inside it, and
// shows the message itself, not a copy with breaks put in.
TEST_F(RealWindowsTest, ErrorBoxOfALongPathFitsTheScreen) {
  std::string path;
  while (path.size() < 3980) path += "/folder" + std::to_string(path.size());
  const std::string message = "ファイル " + path + "/a.png は開けません";
  QRect area, box;
  bool buttonInside = false;
  std::string text;
  Hand([&](QWidget* modal) {
    area = modal->screen()->availableGeometry();
    box = modal->frameGeometry();
    auto* ok = modal->findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    buttonInside = ok->isVisible() && modal->rect().contains(QRect(ok->mapTo(modal, QPoint(0, 0)), ok->size()));
    if (auto* shown = modal->findChild<QTextEdit*>()) text = shown->toPlainText().toStdString();
    ok->click();
  });
  Application->ShowException(message);
  EXPECT_GE(message.size(), 4000u);
  EXPECT_TRUE(area.contains(box)) << box.width() << "x" << box.height() << " on " << area.width() << "x"
                                  << area.height();
  EXPECT_TRUE(buttonInside);
  EXPECT_GE(box.width(), std::min(area.width() / 2, 500)) << "a long text takes half the screen, up to 500 pixels";
  EXPECT_TRUE(text == message + ".") << "the box shows another text";
}

TEST_F(RealWindowsTest, SaveDialogReturnsTheNameWithItsDefaultExtensionAndFilter) {
  TSaveDialog sd(nullptr);
  sd.Filter = "ビットマップ (*.bmp)|*.bmp|PortableNetworkGraphic　（*.png)|*.png";
  sd.DefaultExt = "*.png";
  const std::string folder = TEST_BUILD_DIR;
  Hand([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->nameFilters().size(), 2);
    dialog->selectNameFilter(dialog->nameFilters().at(1));
    // Typed, as the user does: selectFile leaves the name field alone while it has the
    // focus, as it has whenever the dialog became the active window.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(folder + "/sheet"));
    static_cast<QDialog*>(dialog)->accept();
  });
  ASSERT_TRUE(sd.Execute());
  EXPECT_EQ(sd.FileName, folder + "/sheet.png");
  EXPECT_EQ(sd.FilterIndex, 2);
}

// The file dialogs write sizes and dates in Japanese whatever the session's locale (ctest
// runs this once more under LANG=C), and every column shows its text whole, beside a
// vertical scroll bar too.
TEST_F(RealWindowsTest, FileDialogsShowJapaneseSizesAndDatesWhole) {
  QTemporaryDir folder;
  const auto dated = [](const QString& path) {
    const qint64 afternoon = QDateTime(QDate(2025, 5, 9), QTime(14, 56)).toSecsSinceEpoch();
    const std::chrono::sys_seconds when{std::chrono::seconds(afternoon)};
    std::filesystem::last_write_time(path.toStdString(), std::chrono::file_clock::from_sys(when));
  };
  for (const auto& [name, bytes] : {std::pair{"a.png", 361}, std::pair{"b.bmp", 2000}}) {
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
    file.close();
    dated(file.fileName());
  }
  // Enough folders for a scroll bar in the folder browser as well.
  for (int i = 0; i < 24; ++i) ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("素材%1").arg(i)));
  dated(folder.filePath("素材0"));

  TOpenDialog od(nullptr);
  TSaveDialog sd(nullptr);
  BROWSEINFOA browse;
  struct Row {
    const char* name;
    std::function<void()> show;
    int entries;
  };
  for (const Row& row : {Row{"open", [&] { od.Execute(); }, 26}, Row{"save", [&] { sd.Execute(); }, 26},
                         Row{"folder", [&] { CoTaskMemFree(SHBrowseForFolderA(&browse)); }, 24}}) {
    SCOPED_TRACE(row.name);
    std::map<std::string, std::string> shown;
    std::vector<std::string> cut;
    bool scrolls = false;
    Hand([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      dialog->setDirectory(folder.path());
      auto* view = dialog->findChild<QTreeView*>();
      ASSERT_NE(view, nullptr);
      const QAbstractItemModel* model = view->model();
      for (int i = 0; i < 500 && model->rowCount(view->rootIndex()) < row.entries; ++i) {
        Application->ProcessMessages();
        QThread::msleep(10);
      }
      // The header fits its columns on a later turn of the loop.
      for (int i = 0; i < 10; ++i) Application->ProcessMessages();
      scrolls = view->verticalScrollBar()->isVisible();
      for (int r = 0; r < model->rowCount(view->rootIndex()); ++r) {
        const QModelIndex entry = model->index(r, 0, view->rootIndex());
        const auto text = [&](int column) { return entry.siblingAtColumn(column).data().toString().toStdString(); };
        shown[text(0)] = text(1) + " | " + text(3);
        for (int column = 1; column <= 3; ++column) {
          const int needs = view->sizeHintForIndex(entry.siblingAtColumn(column)).width();
          const int start = view->header()->sectionViewportPosition(column);
          if (view->header()->sectionSize(column) < needs || start + needs > view->viewport()->width())
            cut.push_back(text(column));
        }
      }
      dialog->reject();
    });
    row.show();
    EXPECT_TRUE(scrolls);
    EXPECT_EQ(cut, std::vector<std::string>{});
    EXPECT_EQ(shown["素材0"], " | 2025/05/09 14:56");
    if (row.entries > 24) {
      EXPECT_EQ(shown["a.png"], "361 バイト | 2025/05/09 14:56");
      EXPECT_EQ(shown["b.bmp"], "1.95 KiB | 2025/05/09 14:56");
    }
  }
}

TEST_F(RealWindowsTest, ColourDialogReturnsTheChosenColourAsBlueGreenRed) {
  TColorDialog cd(nullptr);
  cd.Color = clFuchsia;
  QColor startedAt;
  Hand([&](QWidget* modal) {
    auto* dialog = qobject_cast<QColorDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    startedAt = dialog->currentColor();
    dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
    dialog->accept();
  });
  ASSERT_TRUE(cd.Execute());
  EXPECT_EQ(startedAt, QColor(255, 0, 255));
  EXPECT_EQ(cd.Color, 0x563412);
}

// A drag whose source proposes a move, as a file manager's does by default, through the
// desktop's drag protocol into a list that takes files: the answer is a copy, so the source
// keeps its files. A source that can only move is refused. The drag needs the desktop's
// own drag handling, so this runs under a virtual X server (its own ctest entry).
TEST_F(RealWindowsTest, DroppedFilesAreCopiedWhateverTheSourceProposes) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
  class DropTarget : public TForm {
  public:
    using TForm::TForm;
    void WMDropFiles(TWMDropFiles& message) override {
      Received += DragQueryFileA(message.Drop, 0xFFFFFFFFu, nullptr, 0);
      DragFinish(message.Drop);
    }
    UINT Received = 0;
  };
  DropTarget form(nullptr);
  form.SetClientWidth(240);
  form.SetClientHeight(160);
  auto* list = new TListBox(&form);
  list->SetBounds(8, 8, 224, 144);
  form.Show();
  DragAcceptFiles(list->Handle(), true);
  QWidget* viewport = static_cast<QAbstractScrollArea*>(list->Widget())->viewport();
  for (int i = 0; i < 50 && !form.Widget()->windowHandle()->isExposed(); ++i) Application->ProcessMessages();

  struct Row {
    Qt::DropActions offered;
    Qt::DropAction answered;
    UINT received;
  };
  for (const Row& row : {Row{Qt::CopyAction | Qt::MoveAction, Qt::CopyAction, 1}, Row{Qt::MoveAction, Qt::IgnoreAction, 0}}) {
    form.Received = 0;
    const QPoint over = viewport->mapToGlobal(viewport->rect().center());
    QCursor::setPos(over);
    Application->ProcessMessages();
    auto* drag = new QDrag(form.Widget());
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile("/home/user/original.png")});
    drag->setMimeData(data);
    // The hand lets go of the button over the list once the drag has entered it.
    QTimer::singleShot(200, qApp, [&form, over] {
      QWindow* window = form.Widget()->windowHandle();
      QMouseEvent release(QEvent::MouseButtonRelease, window->mapFromGlobal(over), over, Qt::LeftButton,
                          Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(window, &release);
    });
    EXPECT_EQ(drag->exec(row.offered, Qt::MoveAction), row.answered);
    EXPECT_EQ(form.Received, row.received);
  }
}

}  // namespace
