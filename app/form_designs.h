// The designs of the program's two windows, shared by the Qt front end
// (app/) and the Win32 one (app/win32/). Places and sizes are in twips:
// 1440 per logical inch, so 15 twips are one pixel at 96 dpi, and each
// front end turns them into pixels at its screen's DPI.
#ifndef MDBCARE_APP_FORM_DESIGNS_H_
#define MDBCARE_APP_FORM_DESIGNS_H_

#include <array>
#include <cstdint>

namespace app {

struct TwipsPlace {
  int left, top, width, height;
};

// The file dialog's fixed settings.
inline constexpr const char kDatabaseFileFilter[] = "(*.mdb)|*.mdb";
inline constexpr const char kInitialFolder[] = "c:\\";

// The fixed-width Korean font of both windows.
inline constexpr const char kKoreanFontFace[] = "굴림체";

// Form1: client area 7095 x 5895; Image1 and Label1 lie within Picture1.
// The buttons stand 0, 2, 1 from top to bottom; the tab order follows the
// index (0, 1, 2).
namespace form1 {
inline constexpr int kClientWidth = 7095;
inline constexpr int kClientHeight = 5895;
inline constexpr double kFontPoints = 9;
inline constexpr TwipsPlace kPicture1 = {30, 30, 7035, 3975};
inline constexpr TwipsPlace kImage1 = {30, 90, 1920, 3840};
inline constexpr TwipsPlace kLabel1 = {2100, 120, 4845, 3765};
struct ButtonDesign {
  const char* caption;
  TwipsPlace place;
};
inline constexpr std::array<ButtonDesign, 3> kCommand1 = {{
    {"Null값 데이타 제거", {1470, 4200, 3975, 435}},
    {"좌우 스페이스(특수문자)제거", {1470, 5220, 3975, 435}},
    {"데이타베이스 압축(속도증가)", {1470, 4710, 3975, 435}},
}};
}  // namespace form1

// frmMsg: client area 4920 x 870, its design caption never changed; the
// label's design caption is replaced before the window is ever shown.
namespace frm_msg {
inline constexpr int kClientWidth = 4920;
inline constexpr int kClientHeight = 870;
inline constexpr const char kCaption[] = "Form1";
inline constexpr double kFontPoints = 11.25;
inline constexpr TwipsPlace kLblMessage = {60, 270, 4815, 435};
inline constexpr const char kLblMessageDesignCaption[] = "엑셀 시트 생성중....";
inline constexpr double kLblMessagePoints = 14.25;
}  // namespace frm_msg

}  // namespace app

#endif  // MDBCARE_APP_FORM_DESIGNS_H_
