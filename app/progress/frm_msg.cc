#include "app/progress/frm_msg.h"

#include <QCoreApplication>
#include <QPixmap>

#include "app/screen_units.h"

namespace app {

frmMsg::frmMsg() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("frmMsg"));
  setWindowTitle(QStringLiteral("Form1"));
  setFixedSize(Twips(4920, this), Twips(870, this));
  setFont(KoreanFont(11.25, QFont::Normal));

  background_ = new QLabel(this);
  background_->setPixmap(QPixmap(QStringLiteral(":/mdbcare/frmmsg.gif")));
  background_->setGeometry(0, 0, background_->pixmap().width(),
                           background_->pixmap().height());

  lblMessage = new QLabel(QStringLiteral("엑셀 시트 생성중...."), this);
  lblMessage->setObjectName(QStringLiteral("lblMessage"));
  lblMessage->setGeometry(TwipsRect(60, 270, 4815, 435, this));
  lblMessage->setAlignment(Qt::AlignCenter);
  lblMessage->setTextFormat(Qt::PlainText);
  lblMessage->setFont(KoreanFont(14.25, QFont::Bold, true));
}

void frmMsg::DisplayWithDoEvents(const QString& message) {
  // The notice is a courtesy: whatever goes wrong here must not stop the
  // sweep that shows it.
  try {
    lblMessage->setText(message);
  } catch (...) {
  }
  try {
    if (!isVisible()) CenterOnScreen(this);
    show();
  } catch (...) {
  }
  try {
    QCoreApplication::processEvents();
  } catch (...) {
  }
}

}  // namespace app
