// frmMsg: the small window that says a sweep is running. It is made when a
// sweep first shows it and destroyed (unloaded) when the sweep ends; a new
// one starts from its design settings.
//
//   client area 4920 x 870 twips, centred on the screen, caption "Form1";
//   background: a 336 x 67 picture drawn from its top left corner;
//   lblMessage at 60, 270, 4815 x 435 twips, centred text, bold italic.
#ifndef MDBCARE_APP_PROGRESS_FRM_MSG_H_
#define MDBCARE_APP_PROGRESS_FRM_MSG_H_

#include <QLabel>
#include <QWidget>

namespace app {

class frmMsg : public QWidget {
  Q_OBJECT

 public:
  frmMsg();

  // Puts `message` on the label, shows the window (modeless, with no
  // owner) and lets the pending window events run once so that it is
  // painted. Nothing it meets is reported.
  void DisplayWithDoEvents(const QString& message);

  QLabel* lblMessage;

 private:
  QLabel* background_;
};

}  // namespace app

#endif  // MDBCARE_APP_PROGRESS_FRM_MSG_H_
