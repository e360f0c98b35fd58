// Form1 on Windows: the program's one working window, made of the
// system's own controls. A help text and a picture on a white panel, and
// the Command1 button array: one handler, switching on the button's index,
// runs the maintenance operation of that button inside the click. The
// window is also the operations' user interface: the common file-open
// dialog, message boxes, the progress notice and the mouse pointer.
//
// The layout in twips is app/form_designs.h's, laid out in pixels at the
// window's DPI. The buttons are made in index order, so that the tab order
// is 0, 1, 2 though they stand 0, 2, 1 from top to bottom.
#ifndef MDBCARE_APP_WIN32_FORM1_H_
#define MDBCARE_APP_WIN32_FORM1_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/win32/progress/frm_msg.h"
#include "maintenance/user_interface.h"

namespace app::win32 {

class Form1 : public maintenance::UserInterface {
 public:
  // Makes the window, hidden; Show puts it on screen.
  explicit Form1(HINSTANCE instance);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Shows the window centred on the screen, Command1(0) focused.
  void Show(int show_command);

  HWND hwnd() const { return hwnd_; }
  HWND Picture1 = nullptr;
  HWND Image1 = nullptr;
  HWND Label1 = nullptr;
  std::array<HWND, 3> Command1 = {};

  // The notice while a sweep shows it, else null.
  frmMsg* notice() const { return notice_.get(); }

  // maintenance::UserInterface
  std::string ChooseDatabaseFile(const std::string& title) override;
  void ShowMessage(const std::string& text) override;
  void DisplayWithDoEvents(const std::string& message) override;
  void UnloadProgressNotice() override;
  void SetMousePointer(maintenance::MousePointer pointer) override;

  // Runs the operation of button `Index` (RunCommand1).
  void Command1_Click(int16_t Index);

  // The window's messages (ObjectWindowProc).
  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  void Form_Load();
  // Places the controls and makes the fonts for `dpi`.
  void LayOut(UINT dpi);
  void FitHelpTextFont(UINT dpi);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND focus_ = nullptr;  // the control to focus when the window is active
  HFONT font_ = nullptr;
  HFONT label_font_ = nullptr;
  HBITMAP image_ = nullptr;
  HICON icon_ = nullptr;
  HICON small_icon_ = nullptr;
  std::unique_ptr<frmMsg> notice_;
  bool running_ = false;
};

}  // namespace app::win32

#endif  // MDBCARE_APP_WIN32_FORM1_H_
