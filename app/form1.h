// Form1: the program's one working window. A help text and a picture on a
// white panel, and the Command1 button array: one handler, switching on the
// button's index, runs the maintenance operation of that button inside the
// click. The window is also the operations' user interface: file choice,
// message boxes, the progress notice and the mouse pointer.
//
// The layout in twips is app/form_designs.h's, shared with the Win32
// front end. The tab order follows the index (0, 1, 2), not the places on
// screen.
#ifndef MDBCARE_APP_FORM1_H_
#define MDBCARE_APP_FORM1_H_

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/progress/frm_msg.h"
#include "maintenance/user_interface.h"

namespace app {

// "description|pattern|description|pattern..." as Qt's name filters
// ("description (pattern)"); a description that already ends with its
// pattern in parentheses stands as it is: "(*.mdb)|*.mdb" -> "(*.mdb)".
QStringList QtNameFilters(const QString& filter);

// `folder` where it is an absolute path to an existing folder (so "c:\" on
// Windows), else the user's home folder.
QString StartFolder(const QString& folder);

class Form1 : public QWidget, public maintenance::UserInterface {
  Q_OBJECT

 public:
  Form1();
  ~Form1() override;

  QFrame* Picture1;
  QLabel* Image1;
  QLabel* Label1;
  std::array<QPushButton*, 3> Command1;

  // The notice while a sweep shows it, else null.
  frmMsg* notice() const { return notice_.get(); }

  // maintenance::UserInterface
  std::string ChooseDatabaseFile(const std::string& title) override;
  void ShowMessage(const std::string& text) override;
  void DisplayWithDoEvents(const std::string& message) override;
  void UnloadProgressNotice() override;
  void SetMousePointer(maintenance::MousePointer pointer) override;

 public slots:
  // Runs the operation of button `Index` (RunCommand1).
  void Command1_Click(int16_t Index);

 private:
  void Form_Load();

  std::unique_ptr<frmMsg> notice_;
  bool running_ = false;
};

}  // namespace app

#endif  // MDBCARE_APP_FORM1_H_
