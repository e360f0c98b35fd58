#include "app/win32/progress/frm_msg.h"

#include <cstring>

#include "app/form_designs.h"
#include "app/win32/resource_ids.h"
#include "app/win32/screen_units.h"
#include "jet/base/win32_text.h"

namespace app::win32 {

namespace {

constexpr wchar_t kClassName[] = L"frmMsg";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION;
constexpr int kHimetricPerInch = 2540;

// The GIF from the program's resources, decoded by the system's picture
// loader; null where it cannot be had.
IPicture* LoadBackground(HINSTANCE instance) {
  HRSRC found = ::FindResourceW(
      instance, MAKEINTRESOURCEW(MDBCARE_FRMMSG_GIF), MAKEINTRESOURCEW(10));
  HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = found ? ::SizeofResource(instance, found) : 0;
  if (!bytes || size == 0) return nullptr;
  HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
  if (!copy) return nullptr;
  std::memcpy(::GlobalLock(copy), bytes, size);
  ::GlobalUnlock(copy);
  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
    ::GlobalFree(copy);
    return nullptr;
  }
  IPicture* picture = nullptr;
  if (FAILED(::OleLoadPicture(stream, static_cast<LONG>(size), FALSE,
                              IID_IPicture,
                              reinterpret_cast<void**>(&picture)))) {
    picture = nullptr;
  }
  stream->Release();
  return picture;
}

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
  background_ = LoadBackground(instance);
  // No owner: the notice is a window of its own beside Form1.
  hwnd_ = ::CreateWindowExW(0, kClassName,
                            jet::Widen(frm_msg::kCaption).c_str(), kStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                            nullptr, instance, this);
  lblMessage = ::CreateWindowExW(
      0, L"STATIC", jet::Widen(frm_msg::kLblMessageDesignCaption).c_str(),
      WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0,
      0, 0, hwnd_, nullptr, instance, nullptr);
  LayOut(WindowDpi(hwnd_));
}

frmMsg::~frmMsg() {
  if (hwnd_) ::DestroyWindow(hwnd_);
  if (background_) background_->Release();
  if (font_) ::DeleteObject(font_);
  if (label_font_) ::DeleteObject(label_font_);
}

void frmMsg::LayOut(UINT dpi) {
  if (font_) ::DeleteObject(font_);
  if (label_font_) ::DeleteObject(label_font_);
  font_ = CreateKoreanFont(frm_msg::kFontPoints, dpi);
  label_font_ =
      CreateKoreanFont(frm_msg::kLblMessagePoints, dpi, true, true);
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
      const RECT place = CentredWindowRect(
          hwnd_, Twips(frm_msg::kClientWidth, dpi),
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
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left,
                     suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
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
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    background_->get_Width(&width);
    background_->get_Height(&height);
    const int dpi = static_cast<int>(WindowDpi(hwnd_));
    background_->Render(dc, 0, 0, ::MulDiv(width, dpi, kHimetricPerInch),
                        ::MulDiv(height, dpi, kHimetricPerInch), 0, height,
                        width, -height, nullptr);
  }
  ::EndPaint(hwnd_, &paint);
}

}  // namespace app::win32
