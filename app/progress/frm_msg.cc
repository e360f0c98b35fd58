#include "app/progress/frm_msg.h"

#include <QCoreApplication>
#include <QPixmap>

#include "app/screen_units.h"

namespace app {

frmMsg::frmMsg() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("frmMsg"));
  setWindowTitle(QString::fromUtf8(frm_msg::kCaption));
  setFixedSize(Twips(frm_msg::kClientWidth, this),
               Twips(frm_msg::kClientHeight, this));
  setFont(KoreanFont(frm_msg::kFontPoints, QFont::Normal));

  background_ = new QLabel(this);
  background_->setPixmap(QPixmap(QStringLiteral(":/mdbcare/frmmsg.gif")));
  background_->setGeometry(0, 0, background_->pixmap().width(),
                           background_->pixmap().height());

  lblMessage =
      new QLabel(QString::fromUtf8(frm_msg::kLblMessageDesignCaption), this);
  lblMessage->setObjectName(QStringLiteral("lblMessage"));
  lblMessage->setGeometry(TwipsRect(frm_msg::kLblMessage, this));
  lblMessage->setAlignment(Qt::AlignCenter);
  lblMessage->setTextFormat(Qt::PlainText);
  lblMessage->setFont(KoreanFont(frm_msg::kLblMessagePoints, QFont::Bold, true));
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
