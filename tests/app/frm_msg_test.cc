// The progress notice's design settings, its one operation and its fonts.
#include "app/progress/frm_msg.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QPixmap>
#include <QScreen>

#include "app/screen_units.h"
#include "tests/app/qt_application.h"

namespace {

TEST(FrmMsgTest, DesignSettingsAndDisplayWithDoEvents) {
  testing_support::StartTestApplication();
  app::frmMsg notice;
  const double dpi = notice.screen()->logicalDotsPerInchY();
  auto px = [dpi](int t) { return qRound(t * dpi / 1440.0); };
  EXPECT_EQ(notice.windowTitle(), "Form1");
  EXPECT_EQ(QPixmap(":/mdbcare/frmmsg.gif").size(), QSize(336, 67));
  EXPECT_EQ(notice.size(), QSize(px(4920), px(870)));
  EXPECT_EQ(notice.lblMessage->geometry(),
            QRect(px(60), px(270), px(4815), px(435)));
  EXPECT_EQ(notice.lblMessage->text(), "엑셀 시트 생성중....");
  EXPECT_EQ(notice.lblMessage->alignment(), Qt::AlignCenter);
  const QFont label = notice.lblMessage->font();
  EXPECT_EQ(label.family(), app::KoreanFontFamily());
  EXPECT_DOUBLE_EQ(label.pointSizeF(), 14.25);
  EXPECT_EQ(label.weight(), QFont::Bold);
  EXPECT_TRUE(label.italic());
  EXPECT_DOUBLE_EQ(notice.font().pointSizeF(), 11.25);
  EXPECT_EQ(notice.font().weight(), QFont::Normal);
  EXPECT_EQ(notice.parentWidget(), nullptr);  // no owner window
  EXPECT_FALSE(notice.isVisible());

  notice.DisplayWithDoEvents("스페이스 제거중...");
  EXPECT_TRUE(notice.isVisible());
  EXPECT_FALSE(notice.isModal());
  EXPECT_EQ(notice.lblMessage->text(), "스페이스 제거중...");
  // Centred as a whole; the frame, known only once shown, may shift it.
  const QRect frame = notice.frameGeometry();
  const QPoint off =
      frame.center() - notice.screen()->availableGeometry().center();
  const int slack = 1 + std::max(frame.width() - notice.width(),
                                 frame.height() - notice.height());
  EXPECT_LE(std::abs(off.x()), slack);
  EXPECT_LE(std::abs(off.y()), slack);
}

TEST(FrmMsgTest, FontIsGulimCheThenNanumGothicCodingThenTheSystems) {
  testing_support::StartTestApplication();
  const QStringList families = QFontDatabase::families();
  const QString expected =
      families.contains("굴림체") ? QString("굴림체")
      : families.contains("NanumGothicCoding")
          ? QString("NanumGothicCoding")
          : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  EXPECT_EQ(app::KoreanFontFamily(), expected);
}

}  // namespace
