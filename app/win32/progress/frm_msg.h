// frmMsg on Windows: the small window that says a sweep is running. It is
// made when a sweep first shows it and destroyed (unloaded) when the sweep
// ends; a new one starts from its design settings (app/form_designs.h):
// caption "Form1", the background picture drawn from its top left corner,
// and lblMessage, centred bold italic text over it.
#ifndef MDBCARE_APP_WIN32_PROGRESS_FRM_MSG_H_
#define MDBCARE_APP_WIN32_PROGRESS_FRM_MSG_H_

#include <windows.h>

#include <string>

namespace app::win32 {

class frmMsg {
 public:
  explicit frmMsg(HINSTANCE instance);
  ~frmMsg();
  frmMsg(const frmMsg&) = delete;
  frmMsg& operator=(const frmMsg&) = delete;

  // Puts `message` on the label, shows the window (modeless, with no
  // owner) and lets the pending window messages run once so that it is
  // painted. Nothing it meets is reported.
  void DisplayWithDoEvents(const std::wstring& message);

  HWND hwnd() const { return hwnd_; }
  HWND lblMessage = nullptr;

  // The window's messages (ObjectWindowProc).
  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  void LayOut(UINT dpi);
  void Paint();

  HWND hwnd_ = nullptr;
  HBITMAP background_ = nullptr;
  HFONT font_ = nullptr;
  HFONT label_font_ = nullptr;
};

}  // namespace app::win32

#endif  // MDBCARE_APP_WIN32_PROGRESS_FRM_MSG_H_
