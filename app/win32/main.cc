// mdbcare.exe: the maintenance program's window on Windows.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <objbase.h>

#include "app/win32/form1.h"
#include "app/win32/screen_units.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  // The file dialog uses COM (the shell's folders) on this thread.
  const HRESULT com = ::CoInitializeEx(
      nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int status = 0;
  {
    app::win32::Form1 form(instance);
    form.Show(show_command);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      app::win32::DispatchWindowMessage(message);
    }
    status = static_cast<int>(message.wParam);
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return status;
}
