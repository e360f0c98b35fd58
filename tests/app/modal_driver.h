// Drives the modal windows the real Form1 opens: while a file dialog or a
// message box waits for the user, a timer finds it, writes down what it
// shows (and what else is on screen then) and answers it.
#ifndef MDBCARE_TESTS_APP_MODAL_DRIVER_H_
#define MDBCARE_TESTS_APP_MODAL_DRIVER_H_

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/progress/frm_msg.h"

namespace testing_support {

struct DialogSeen {
  QString title;
  QStringList filters;
  QString folder;
  QString file_name;  // the file name box's text
};

struct MessageSeen {
  QString text;
  QString title;
  bool one_ok_button_no_icon_plain_text = false;
  QString notice;  // the progress notice's text, "" when none is shown
  bool busy_pointer = false;
};

// The progress notice windows that exist now.
inline std::vector<app::frmMsg*> Notices() {
  std::vector<app::frmMsg*> found;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* n = qobject_cast<app::frmMsg*>(w)) found.push_back(n);
  }
  return found;
}

class ModalDriver {
 public:
  // The path to choose in dialog number n (from 1); "" cancels.
  std::function<QString(size_t n)> choose = [](size_t) { return QString(); };
  // Runs while a dialog is open, before it is answered.
  std::function<void(QFileDialog*)> on_dialog;
  std::vector<DialogSeen> dialogs;
  std::vector<MessageSeen> messages;

  ModalDriver() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
  }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* d = qobject_cast<QFileDialog*>(modal)) {
      auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
      dialogs.push_back({d->windowTitle(), d->nameFilters(),
                         d->directory().absolutePath(),
                         edit ? edit->text() : "?"});
      if (on_dialog) on_dialog(d);
      const QString path = choose(dialogs.size());
      if (path.isEmpty()) {
        d->reject();
      } else {
        d->selectFile(path);
        static_cast<QDialog*>(d)->accept();  // QFileDialog's, which checks
      }
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      MessageSeen seen;
      seen.text = box->text();
      seen.title = box->windowTitle();
      seen.one_ok_button_no_icon_plain_text =
          box->buttons().size() == 1 && box->button(QMessageBox::Ok) &&
          box->icon() == QMessageBox::NoIcon &&
          box->textFormat() == Qt::PlainText;
      for (app::frmMsg* n : Notices()) {
        if (n->isVisible()) seen.notice = n->lblMessage->text();
      }
      seen.busy_pointer = QGuiApplication::overrideCursor() != nullptr;
      messages.push_back(seen);
      box->button(QMessageBox::Ok)->click();
    }
  }

  QTimer timer_;
};

}  // namespace testing_support

#endif  // MDBCARE_TESTS_APP_MODAL_DRIVER_H_
