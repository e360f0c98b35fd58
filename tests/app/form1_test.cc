// The real main window on the offscreen platform: its layout, its dialogs
// and message boxes, the notice during the sweeps, and what a click does.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/program_title.h"
#include "jet/base/error.h"
#include "jet/database/database.h"
#include "tests/app/modal_driver.h"
#include "tests/app/qt_application.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CorpusDir;
using testing_support::ModalDriver;
using testing_support::Notices;
using testing_support::TempDir;

QString Q(const fs::path& path) {
  return QString::fromStdString(path.string());
}

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::StartTestApplication();
    form_ = std::make_unique<app::Form1>();
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }

  QRect Twips(int left, int top, int width, int height) const {
    const double dpi = form_->screen()->logicalDotsPerInchY();
    auto px = [dpi](int t) { return qRound(t * dpi / 1440.0); };
    return QRect(px(left), px(top), px(width), px(height));
  }
  void Click(int index) {
    QTest::mouseClick(form_->Command1[index], Qt::LeftButton);
  }

  std::unique_ptr<app::Form1> form_;
};

TEST_F(Form1Test, CaptionsPlacesAndTabOrder) {
  EXPECT_EQ(form_->windowTitle(), QString(app::kProgramTitle));
  EXPECT_EQ(form_->Command1[0]->text(), "Null값 데이타 제거");
  EXPECT_EQ(form_->Command1[1]->text(), "좌우 스페이스(특수문자)제거");
  EXPECT_EQ(form_->Command1[2]->text(), "데이타베이스 압축(속도증가)");
  EXPECT_EQ(form_->rect(), Twips(0, 0, 7095, 5895));
  EXPECT_EQ(form_->Command1[0]->geometry(), Twips(1470, 4200, 3975, 435));
  EXPECT_EQ(form_->Command1[2]->geometry(), Twips(1470, 4710, 3975, 435));
  EXPECT_EQ(form_->Command1[1]->geometry(), Twips(1470, 5220, 3975, 435));
  EXPECT_EQ(form_->Picture1->geometry(), Twips(30, 30, 7035, 3975));
  const QPoint inside = form_->Picture1->contentsRect().topLeft();
  EXPECT_EQ(form_->Image1->geometry(),
            Twips(30, 90, 1920, 3840).translated(inside));
  EXPECT_EQ(form_->Label1->geometry(),
            Twips(2100, 120, 4845, 3765).translated(inside));
  if (form_->screen()->logicalDotsPerInchY() == 96) {
    EXPECT_EQ(form_->Command1[1]->geometry(), QRect(98, 348, 265, 29));
  }
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  form_->Command1[0]->setFocus();
  for (int expected : {1, 2, 0}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form_->Command1[expected]);
  }
}

TEST_F(Form1Test, PicturesIconAndHelpText) {
  EXPECT_EQ(form_->Picture1->palette().color(QPalette::Window),
            QColor(255, 255, 255));
  EXPECT_EQ(form_->Label1->palette().color(QPalette::Window),
            QColor(255, 255, 255));
  EXPECT_EQ(form_->Image1->pixmap().size(), QSize(128, 256));
  QFile bitmap(":/mdbcare/image1.bmp");
  ASSERT_TRUE(bitmap.open(QIODevice::ReadOnly));
  EXPECT_EQ(bitmap.read(30).at(28), 24);  // bits per pixel
  for (int size : {16, 32, 48}) {
    EXPECT_TRUE(
        form_->windowIcon().availableSizes().contains(QSize(size, size)));
  }
  const QString text = form_->Label1->text();
  const QString closing = text.section("\r\n", 12);
  EXPECT_FALSE(closing.isEmpty());
  EXPECT_FALSE(closing.contains('\n'));
  EXPECT_EQ(text,
            "1. Null값 데이타제거는 엑셀 가져오기등 데이타에\r\n"
            "   관련된 작업을 하다가 문제가 발생한 경우에 사용\r\n"
            "   프로그램에서 Null데이타가 잘못 사용되었다고 나올때\r\n\r\n"
            "2. 데이타베이스 압축은 갑자기 PC가 멈추거나 바이러스\r\n"
            "   감염시 정지된 후 프로그램이 작동되지 않을때 사용\r\n\r\n"
            "3. 좌우 스페이스(특수문자)제거는 선택된 파일의 스페이스\r\n"
            "   를 지우고 특수문자를 지워줍니다.\r\n\r\n"
            "* 기번적으로 데이타는 c: 드라이브의 프로그램명\\데이타 폴더에 "
            "있습니다.\r\n\r\n" +
                closing);
}

TEST_F(Form1Test, CancellingAnyDialogDoesNothingAndEveryDialogStartsFresh) {
  ModalDriver driver;  // cancels every dialog
  driver.on_dialog = [](QFileDialog* d) {
    // What a user typed last time must not come back.
    if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit"))
      edit->setText("x.mdb");
  };
  for (int round = 0; round < 2; ++round) {
    for (int index : {0, 1, 2}) Click(index);
  }
  const QStringList titles = {"Null을 제거할 데이타베이스 화일열기",
                              "스페이스를 제거할 데이타베이스 화일열기",
                              "압축될 데이타베이스 화일열기"};
  ASSERT_EQ(driver.dialogs.size(), 6u);
  for (size_t k = 0; k < driver.dialogs.size(); ++k) {
    EXPECT_EQ(driver.dialogs[k].title, titles[k % 3]);
    EXPECT_EQ(driver.dialogs[k].filters, QStringList{"(*.mdb)"});
    EXPECT_EQ(driver.dialogs[k].folder,
              QDir(app::StartFolder("c:\\")).absolutePath());
    EXPECT_EQ(driver.dialogs[k].file_name, "");
  }
  EXPECT_TRUE(driver.messages.empty());
  EXPECT_TRUE(Notices().empty());
}

// Each sweep's messages come while its notice is up; the notice is gone
// afterwards, and a second sweep brings it back with its own text.
TEST_F(Form1Test, SweepsReportUnderTheirNoticeThenRemoveIt) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path copy = dir.Copy(CorpusDir() / "korean" / "phoneServerCustomers.mdb");
  ModalDriver driver;
  driver.choose = [&](size_t) { return Q(copy); };
  Click(0);
  Click(1);
  const QString none = "'" + Q(copy) + "' 에는 Null데이타가 없습니다.";
  ASSERT_EQ(driver.messages.size(), 3u);  // TB_CUSTOMER, TB_MANAGELIST; trim
  for (size_t k = 0; k < 3; ++k) {
    const auto& m = driver.messages[k];
    EXPECT_EQ(
        m.text,
        k < 2 ? none : "'" + Q(copy) + "' 의 스페이스를 모두 제거하였습니다");
    EXPECT_EQ(m.notice, k < 2 ? "Null데이타 제거중..." : "스페이스 제거중...");
    EXPECT_EQ(m.title, QString(app::kProgramTitle));
    EXPECT_TRUE(m.one_ok_button_no_icon_plain_text);
    EXPECT_FALSE(m.busy_pointer);
  }
  EXPECT_TRUE(Notices().empty());
  EXPECT_EQ(form_->notice(), nullptr);
}

TEST_F(Form1Test, EngineErrorStopsTheSweepAndTheWindowGoesOn) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path copy = dir.Copy(CorpusDir() / "jet4" / "testV2000.mdb");
  fs::resize_file(copy, 5000);
  QString expected;
  try {
    jet::Database::Open(copy.string());
  } catch (const jet::Error& e) {
    expected = QString("오류 %1: %2").arg(e.number()).arg(e.description());
  }
  ModalDriver driver;
  driver.choose = [&](size_t n) { return n <= 2 ? Q(copy) : QString(); };
  Click(0);
  Click(1);
  ASSERT_EQ(driver.messages.size(), 2u);
  for (const auto& m : driver.messages) {
    EXPECT_EQ(m.text, expected);
    EXPECT_EQ(m.notice, "");  // removed before the message
  }
  Click(2);  // the window still takes clicks
  EXPECT_EQ(driver.dialogs.size(), 3u);
}

TEST_F(Form1Test, ClickQueuedDuringASweepDoesNotStartAnotherOperation) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path copy = dir.Copy(CorpusDir() / "jet4" / "noPasswordV2000.mdb");
  ModalDriver driver;
  driver.choose = [&](size_t) { return Q(copy); };
  driver.on_dialog = [&](QFileDialog*) {
    if (driver.dialogs.size() > 1) return;
    // Delivered by the notice's event pump, inside the sweep.
    QMetaObject::invokeMethod(form_->Command1[1], "click",
                              Qt::QueuedConnection);
    QMetaObject::invokeMethod(form_->Command1[2], "click",
                              Qt::QueuedConnection);
  };
  Click(0);
  QApplication::processEvents();
  EXPECT_EQ(driver.dialogs.size(), 1u);
  EXPECT_EQ(driver.messages.size(), 1u);
  Click(1);  // after the sweep a click works again
  EXPECT_EQ(driver.dialogs.size(), 2u);
}

// The lock message leaves the pointer alone; a failed compaction shows the
// description with the arrow back. Neither shows the notice.
TEST_F(Form1Test, CompactionMessagesAndPointer) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", dir.path() / "a.MDB");
  fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", dir.path() / "b.mdb");
  std::ofstream(dir.path() / "a.ldb") << "lock";
  std::ofstream(dir.path() / "b.mdb_") << "earlier run";
  ModalDriver driver;
  driver.choose = [&](size_t n) {
    return Q(dir.path() / (n == 1 ? "a.MDB" : "b.mdb"));
  };
  Click(2);
  Click(2);
  ASSERT_EQ(driver.messages.size(), 2u);
  EXPECT_EQ(driver.messages[0].text,
            "데이타베이스가 열려있으면 실행이 안됩니다.");
  EXPECT_NE(driver.messages[1].text, "작업이 완료 되었습니다");
  for (const auto& m : driver.messages) {
    EXPECT_FALSE(m.busy_pointer);
    EXPECT_EQ(m.notice, "");
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(Form1HelpersTest, FilterAndStartFolder) {
  EXPECT_EQ(app::QtNameFilters("(*.mdb)|*.mdb"), QStringList{"(*.mdb)"});
  EXPECT_EQ(app::QtNameFilters("데이타베이스|*.mdb;*.mde|모든 파일|*.*"),
            (QStringList{"데이타베이스 (*.mdb *.mde)", "모든 파일 (*.*)"}));
  TempDir dir;
  EXPECT_EQ(app::StartFolder(Q(dir.path())), Q(dir.path()));
  EXPECT_EQ(app::StartFolder(Q(dir.path() / "none")), QDir::homePath());
#ifndef Q_OS_WIN
  EXPECT_EQ(app::StartFolder("c:\\"), QDir::homePath());
#endif
}

}  // namespace
