// Layout units, fonts and the mouse pointer shared by the Win32 windows.
// The designs (app/form_designs.h) are in twips; a window lays itself out
// in pixels at its own DPI (per monitor: the manifest declares the program
// aware of it), 1440 twips to a logical inch.
#ifndef MDBCARE_APP_WIN32_SCREEN_UNITS_H_
#define MDBCARE_APP_WIN32_SCREEN_UNITS_H_

#include <windows.h>

#include "app/form_designs.h"

namespace app::win32 {

// The DPI of the screen `window` is on (96 without per-monitor support, or
// before the window exists).
UINT WindowDpi(HWND window);
int Twips(int twips, UINT dpi);
RECT TwipsRect(const TwipsPlace& place, UINT dpi);

// The window rectangle whose client area is `width` x `height` pixels,
// centred on the work area of the screen `window` is on (or the primary
// screen's).
RECT CentredWindowRect(HWND window, int width, int height, DWORD style,
                       DWORD ex_style, UINT dpi);

// 굴림체 at `points` for `dpi`. The Hangul character set lets Windows
// choose its own Korean fixed-width font where 굴림체 is not installed.
HFONT CreateKoreanFont(double points, UINT dpi, bool bold = false,
                       bool italic = false);

// Moves `window` to the rectangle that WM_DPICHANGED suggests (its lparam),
// after the window has laid itself out for the new DPI.
void MoveToSuggestedRect(HWND window, LPARAM suggested_rect);

// The screen's mouse pointer, for every window of the program: the
// hourglass while `busy`, else the arrow. SetScreenPointer shows it at
// once; windows answer WM_SETCURSOR with ApplyScreenPointer.
void SetScreenPointer(bool busy);
// Handles WM_SETCURSOR while busy (returns true); false lets the window
// show its usual pointer.
bool ApplyScreenPointer(LPARAM hit_test_and_message);

// Gives `message` to the dialog keyboard handling of its top-level window
// (Tab, Space on a button) or else to its window.
void DispatchWindowMessage(MSG& message);

// The window procedure of a class whose windows are C++ objects: the
// object given as CreateWindowExW's last argument is kept with its window
// from WM_NCCREATE to WM_NCDESTROY and handles its messages with
// `LRESULT Handle(HWND, UINT, WPARAM, LPARAM)`.
template <typename Window>
LRESULT CALLBACK ObjectWindowProc(HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self =
      reinterpret_cast<Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(window, message, wparam, lparam);
}

}  // namespace app::win32

#endif  // MDBCARE_APP_WIN32_SCREEN_UNITS_H_
