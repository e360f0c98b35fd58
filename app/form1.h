// Form1: the program's one working window. A help text and a picture on a
// white panel, and the Command1 button array: one handler, switching on the
// button's index, runs the maintenance operation of that button inside the
// click. The window is also the operations' user interface: file choice,
// message boxes, the progress notice and the mouse pointer.
//
// Layout in twips (see screen_units.h), client area 7095 x 5895:
//   Picture1     30,   30  7035 x 3975  white, holds Image1 and Label1
//   Image1       30,   90  1920 x 3840  (within Picture1)
//   Label1     2100,  120  4845 x 3765  (within Picture1), the help text
//   Command1(0) 1470, 4200  3975 x 435  Null값 데이타 제거
//   Command1(2) 1470, 4710  3975 x 435  데이타베이스 압축(속도증가)
//   Command1(1) 1470, 5220  3975 x 435  좌우 스페이스(특수문자)제거
// The tab order follows the index (0, 1, 2), not the places on screen.
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

// The file dialog's fixed settings.
inline constexpr const char kDatabaseFileFilter[] = "(*.mdb)|*.mdb";
inline constexpr const char kInitialFolder[] = "c:\\";

// "description|pattern|description|pattern..." as Qt's name filters
// ("description (pattern)"); a description that already ends with its
// pattern in parentheses stands as it is: "(*.mdb)|*.mdb" -> "(*.mdb)".
QStringList QtNameFilters(const QString& filter);

// `folder` where it is an absolute path to an existing folder (so "c:\" on
// Windows), else the user's home folder.
QString StartFolder(const QString& folder);

// The help text, lines joined by "\r\n".
QString HelpText();

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
  // Runs the operation of button `Index`: 0 Null-value removal, 1 space
  // trimming, 2 compaction. A click that arrives while an operation runs
  // (delivered by the notice's event pump or a message box's loop) is
  // ignored, so one operation never starts inside another.
  void Command1_Click(int16_t Index);

 private:
  void Form_Load();

  std::unique_ptr<frmMsg> notice_;
  bool running_ = false;
};

}  // namespace app

#endif  // MDBCARE_APP_FORM1_H_
