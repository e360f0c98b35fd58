#include "app/win32/screen_units.h"

#include <cmath>

#include "jet/base/win32_text.h"

namespace app::win32 {

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr UINT kDefaultDpi = 96;

bool screen_busy = false;

// GetDpiForWindow and AdjustWindowRectExForDpi came with Windows 10
// (1607); on older systems every window has the system's DPI.
template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Function>(
                      reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                : nullptr;
}

}  // namespace

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window =
      User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (window && get_dpi_for_window) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int Twips(int twips, UINT dpi) {
  return static_cast<int>(
      std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

RECT TwipsRect(const TwipsPlace& place, UINT dpi) {
  const int left = Twips(place.left, dpi);
  const int top = Twips(place.top, dpi);
  return RECT{left, top, left + Twips(place.width, dpi),
              top + Twips(place.height, dpi)};
}

RECT CentredWindowRect(HWND window, int width, int height, DWORD style,
                       DWORD ex_style, UINT dpi) {
  using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi =
      User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
  RECT frame = {0, 0, width, height};
  if (!adjust_for_dpi || !adjust_for_dpi(&frame, style, FALSE, ex_style, dpi)) {
    ::AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  }
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  HMONITOR on = window
                    ? ::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY)
                    : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  ::GetMonitorInfoW(on, &monitor);
  const RECT& work = monitor.rcWork;
  const int frame_width = frame.right - frame.left;
  const int frame_height = frame.bottom - frame.top;
  const int left = work.left + (work.right - work.left - frame_width) / 2;
  const int top = work.top + (work.bottom - work.top - frame_height) / 2;
  return RECT{left, top, left + frame_width, top + frame_height};
}

HFONT CreateKoreanFont(double points, UINT dpi, bool bold, bool italic) {
  const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
  return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                       italic ? TRUE : FALSE, FALSE, FALSE, HANGEUL_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FIXED_PITCH | FF_MODERN,
                       jet::Widen(kKoreanFontFace).c_str());
}

void MoveToSuggestedRect(HWND window, LPARAM suggested_rect) {
  const RECT* r = reinterpret_cast<const RECT*>(suggested_rect);
  ::SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left,
                 r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetScreenPointer(bool busy) {
  screen_busy = busy;
  ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool ApplyScreenPointer(LPARAM hit_test_and_message) {
  if (!screen_busy || LOWORD(hit_test_and_message) != HTCLIENT) return false;
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

void DispatchWindowMessage(MSG& message) {
  HWND top = message.hwnd ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (top && ::IsDialogMessageW(top, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

}  // namespace app::win32
