#include "app/win32/progress/frm_msg.h"

#include "app/form_designs.h"
#include "app/win32/resource_ids.h"
#include "app/win32/screen_units.h"
#include "jet/base/win32_text.h"

namespace app::win32 {

namespace {

constexpr wchar_t kClassName[] = L"frmMsg";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION;

}  // namespace

frmMsg::frmMsg(HINSTANCE instance) {
  static const bool registered = [instance] {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = &ObjectWindowProc<frmMsg>;
    window_class.hInstance = instance;
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(MDBCARE_ICON));
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kClassName;
    return ::RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
  background_ = static_cast<HBITMAP>(
      ::LoadImageW(instance, MAKEINTRESOURCEW(MDBCARE_FRMMSG_BITMAP),
                   IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  // No owner: the notice is a window of its own beside Form1.
  hwnd_ = ::CreateWindowExW(
      0, kClassName, jet::Widen(frm_msg::kCaption).c_str(), kStyle,
      CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
  lblMessage = ::CreateWindowExW(
      0, L"STATIC", jet::Widen(frm_msg::kLblMessageDesignCaption).c_str(),
      WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, 0,
      0, hwnd_, nullptr, instance, nullptr);
  LayOut(WindowDpi(hwnd_));
}

frmMsg::~frmMsg() {
  if (hwnd_) ::DestroyWindow(hwnd_);
  if (background_) ::DeleteObject(background_);
  if (font_) ::DeleteObject(font_);
  if (label_font_) ::DeleteObject(label_font_);
}

void frmMsg::LayOut(UINT dpi) {
  if (font_) ::DeleteObject(font_);
  if (label_font_) ::DeleteObject(label_font_);
  font_ = CreateKoreanFont(frm_msg::kFontPoints, dpi);
  label_font_ = CreateKoreanFont(frm_msg::kLblMessagePoints, dpi, true, true);
  ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  ::SendMessageW(lblMessage, WM_SETFONT, reinterpret_cast<WPARAM>(label_font_),
                 FALSE);
  const RECT label = TwipsRect(frm_msg::kLblMessage, dpi);
  ::MoveWindow(lblMessage, label.left, label.top, label.right - label.left,
               label.bottom - label.top, FALSE);
}

void frmMsg::DisplayWithDoEvents(const std::wstring& message) {
  // The notice is a courtesy: whatever goes wrong here must not stop the
  // sweep that shows it.
  try {
    ::SetWindowTextW(lblMessage, message.c_str());
    ::RedrawWindow(hwnd_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  } catch (...) {
  }
  try {
    if (!::IsWindowVisible(hwnd_)) {
      const UINT dpi = WindowDpi(hwnd_);
      const RECT place =
          CentredWindowRect(hwnd_, Twips(frm_msg::kClientWidth, dpi),
                            Twips(frm_msg::kClientHeight, dpi), kStyle, 0, dpi);
      ::SetWindowPos(hwnd_, nullptr, place.left, place.top,
                     place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    ::UpdateWindow(hwnd_);
  } catch (...) {
  }
  try {
    MSG pending;
    while (::PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) {
      if (pending.message == WM_QUIT) {
        // Left for the program's own message loop to end on.
        ::PostQuitMessage(static_cast<int>(pending.wParam));
        break;
      }
      DispatchWindowMessage(pending);
    }
  } catch (...) {
  }
}

LRESULT frmMsg::Handle(HWND window, UINT message, WPARAM wparam,
                       LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      break;
    case WM_CTLCOLORSTATIC: {
      // The label's text stands on the picture.
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    case WM_SETCURSOR:
      if (ApplyScreenPointer(lparam)) return TRUE;
      break;
    case WM_DPICHANGED: {
      LayOut(HIWORD(wparam));
      MoveToSuggestedRect(window, lparam);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void frmMsg::Paint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(hwnd_, &paint);
  if (background_) {
    // Drawn from the top left corner at its own size, as the design has it.
    BITMAP size;
    ::GetObjectW(background_, sizeof size, &size);
    HDC picture = ::CreateCompatibleDC(dc);
    HGDIOBJ before = ::SelectObject(picture, background_);
    ::BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, picture, 0, 0, SRCCOPY);
    ::SelectObject(picture, before);
    ::DeleteDC(picture);
  }
  ::EndPaint(hwnd_, &paint);
}

}  // namespace app::win32
