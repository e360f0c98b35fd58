#include "app/win32/form1.h"

#include <commdlg.h>

#include <vector>

#include "app/command1.h"
#include "app/form_designs.h"
#include "app/help_text.h"
#include "app/program_title.h"
#include "app/win32/resource_ids.h"
#include "app/win32/screen_units.h"
#include "jet/base/win32_text.h"

namespace app::win32 {

namespace {

constexpr wchar_t kClassName[] = L"Form1";
constexpr wchar_t kPictureClassName[] = L"PictureBox";
constexpr DWORD kStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr int kFirstButtonId = 100;  // Command1(i) is control 100 + i
// The longest path the file dialog hands back (a long path's limit).
constexpr DWORD kLongestPath = 32768;

// A picture box: a white panel with a sunken border whose labels and
// images stand on white too.
LRESULT CALLBACK PictureBoxProc(HWND window, UINT message, WPARAM wparam,
                                LPARAM lparam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetBkColor(dc, RGB(255, 255, 255));
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    case WM_SETCURSOR:
      if (ApplyScreenPointer(lparam)) return TRUE;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void RegisterClasses(HINSTANCE instance) {
  static const bool registered = [instance] {
    WNDCLASSEXW form = {};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &ObjectWindowProc<Form1>;
    form.hInstance = instance;
    form.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    form.lpszClassName = kClassName;
    WNDCLASSEXW picture = {};
    picture.cbSize = sizeof picture;
    picture.lpfnWndProc = &PictureBoxProc;
    picture.hInstance = instance;
    picture.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    picture.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    picture.lpszClassName = kPictureClassName;
    return ::RegisterClassExW(&form) != 0 && ::RegisterClassExW(&picture) != 0;
  }();
  (void)registered;
}

void Place(HWND control, const RECT& r) {
  ::MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top,
               TRUE);
}

void SetFont(HWND control, HFONT font) {
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

Form1::Form1(HINSTANCE instance) : instance_(instance) {
  RegisterClasses(instance);
  hwnd_ = ::CreateWindowExW(
      kExStyle, kClassName, jet::Widen(kProgramTitle).c_str(), kStyle,
      CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
  // The icon of 16, 32 and 48 pixels: the system picks the size it shows.
  icon_ = static_cast<HICON>(::LoadImageW(
      instance, MAKEINTRESOURCEW(MDBCARE_ICON), IMAGE_ICON,
      ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
  small_icon_ = static_cast<HICON>(::LoadImageW(
      instance, MAKEINTRESOURCEW(MDBCARE_ICON), IMAGE_ICON,
      ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(small_icon_));

  // Made in index order: the tab order. Picture1 (tab index 3) after them.
  for (int16_t index = 0; index < 3; ++index) {
    Command1[index] = ::CreateWindowExW(
        0, L"BUTTON", jet::Widen(form1::kCommand1[index].caption).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + index)),
        instance, nullptr);
  }
  Picture1 = ::CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT,
                               kPictureClassName, L"",
                               WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                               0, hwnd_, nullptr, instance, nullptr);
  Image1 = ::CreateWindowExW(
      0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_REALSIZEIMAGE,
      0, 0, 0, 0, Picture1, nullptr, instance, nullptr);
  image_ = static_cast<HBITMAP>(
      ::LoadImageW(instance, MAKEINTRESOURCEW(MDBCARE_IMAGE1_BITMAP),
                   IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  ::SendMessageW(Image1, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(image_));
  Label1 = ::CreateWindowExW(0, L"STATIC", L"Label1",
                             WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0,
                             0, 0, 0, Picture1, nullptr, instance, nullptr);
  focus_ = Command1[0];
  Form_Load();
}

Form1::~Form1() {
  notice_.reset();
  if (hwnd_) ::DestroyWindow(hwnd_);
  for (HGDIOBJ object :
       {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(label_font_),
        static_cast<HGDIOBJ>(image_)}) {
    if (object) ::DeleteObject(object);
  }
  if (icon_) ::DestroyIcon(icon_);
  if (small_icon_) ::DestroyIcon(small_icon_);
}

void Form1::Form_Load() {
  ::SetWindowTextW(Label1, jet::Widen(HelpText()).c_str());
  LayOut(WindowDpi(hwnd_));
}

void Form1::Show(int show_command) {
  const UINT dpi = WindowDpi(hwnd_);
  const RECT place = CentredWindowRect(hwnd_, Twips(form1::kClientWidth, dpi),
                                       Twips(form1::kClientHeight, dpi), kStyle,
                                       kExStyle, dpi);
  ::SetWindowPos(hwnd_, nullptr, place.left, place.top,
                 place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(hwnd_, show_command);
  ::UpdateWindow(hwnd_);
  ::SetFocus(Command1[0]);
}

void Form1::LayOut(UINT dpi) {
  if (font_) ::DeleteObject(font_);
  font_ = CreateKoreanFont(form1::kFontPoints, dpi);
  for (int16_t index = 0; index < 3; ++index) {
    Place(Command1[index], TwipsRect(form1::kCommand1[index].place, dpi));
    SetFont(Command1[index], font_);
  }
  Place(Picture1, TwipsRect(form1::kPicture1, dpi));
  Place(Image1, TwipsRect(form1::kImage1, dpi));
  Place(Label1, TwipsRect(form1::kLabel1, dpi));
  FitHelpTextFont(dpi);
}

void Form1::FitHelpTextFont(UINT dpi) {
  RECT room;
  ::GetClientRect(Label1, &room);
  const std::vector<std::string>& lines = HelpTextLines();
  HDC dc = ::GetDC(Label1);
  const double points = FitHelpTextPoints(form1::kFontPoints, [&](double p) {
    HFONT font = CreateKoreanFont(p, dpi);
    HGDIOBJ before = ::SelectObject(dc, font);
    bool fits = true;
    for (size_t i = 0; i < kHelpTextLaidOutLines && i < lines.size(); ++i) {
      const std::wstring line = jet::Widen(lines[i]);
      SIZE size;
      if (::GetTextExtentPoint32W(dc, line.c_str(),
                                  static_cast<int>(line.size()), &size) &&
          size.cx > room.right) {
        fits = false;
      }
    }
    ::SelectObject(dc, before);
    ::DeleteObject(font);
    return fits;
  });
  ::ReleaseDC(Label1, dc);
  if (label_font_) ::DeleteObject(label_font_);
  label_font_ = CreateKoreanFont(points, dpi);
  SetFont(Label1, label_font_);
}

void Form1::Command1_Click(int16_t Index) {
  RunCommand1(*this, Index, running_);
}

std::string Form1::ChooseDatabaseFile(const std::string& title) {
  // "description|pattern" as the dialog takes it: NUL-separated pairs,
  // closed by an empty one.
  std::wstring filter = jet::Widen(kDatabaseFileFilter);
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.push_back(L'\0');
  const std::wstring dialog_title = jet::Widen(title);
  const std::wstring folder = jet::Widen(kInitialFolder);
  // A fresh dialog every time: it starts at the start folder with an
  // empty file name, whatever was chosen before.
  std::vector<wchar_t> file_name(kLongestPath, L'\0');
  OPENFILENAMEW CommonDialog1 = {};
  CommonDialog1.lStructSize = sizeof CommonDialog1;
  CommonDialog1.hwndOwner = hwnd_;
  CommonDialog1.lpstrFilter = filter.c_str();
  CommonDialog1.nFilterIndex = 1;
  CommonDialog1.lpstrFile = file_name.data();
  CommonDialog1.nMaxFile = kLongestPath;
  CommonDialog1.lpstrInitialDir = folder.c_str();
  CommonDialog1.lpstrTitle = dialog_title.c_str();
  CommonDialog1.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                        OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                        OFN_DONTADDTORECENT;
  if (!::GetOpenFileNameW(&CommonDialog1)) return std::string();
  return jet::Narrow(file_name.data());
}

void Form1::ShowMessage(const std::string& text) {
  ::MessageBoxW(hwnd_, jet::Widen(text).c_str(),
                jet::Widen(kProgramTitle).c_str(), MB_OK);
}

void Form1::DisplayWithDoEvents(const std::string& message) {
  try {
    if (!notice_) notice_ = std::make_unique<frmMsg>(instance_);
    notice_->DisplayWithDoEvents(jet::Widen(message));
  } catch (...) {
    // The notice is a courtesy; the sweep goes on without it.
  }
}

void Form1::UnloadProgressNotice() { notice_.reset(); }

void Form1::SetMousePointer(maintenance::MousePointer pointer) {
  SetScreenPointer(pointer == maintenance::MousePointer::kHourglass);
}

LRESULT Form1::Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (HIWORD(wparam) == BN_CLICKED && id >= kFirstButtonId &&
          id < kFirstButtonId + 3) {
        Command1_Click(static_cast<int16_t>(id - kFirstButtonId));
        return 0;
      }
      // Enter, through the dialog keys: the focused button's click.
      if (id == IDOK) {
        for (int16_t index = 0; index < 3; ++index) {
          if (::GetFocus() == Command1[index]) Command1_Click(index);
        }
        return 0;
      }
      break;
    }
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(window, focus)) focus_ = focus;
      } else if (focus_) {
        ::SetFocus(focus_);
      }
      return 0;
    case WM_SETCURSOR:
      if (ApplyScreenPointer(lparam)) return TRUE;
      break;
    case WM_DPICHANGED: {
      LayOut(HIWORD(wparam));
      MoveToSuggestedRect(window, lparam);
      return 0;
    }
    case WM_DESTROY:
      hwnd_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace app::win32
