// Layout units and fonts shared by the program's windows. Sizes are given
// in twips, as the window layouts are designed: 1440 per logical inch, so
// 15 twips are one pixel at 96 dpi, and the layout grows with the screen's
// logical DPI.
#ifndef MDBCARE_APP_SCREEN_UNITS_H_
#define MDBCARE_APP_SCREEN_UNITS_H_

#include <QFont>
#include <QRect>
#include <QString>

#include "app/form_designs.h"

class QWidget;

namespace app {

// Pixels for `twips` on the screen `widget` is on.
int Twips(int twips, const QWidget* widget);
QRect TwipsRect(const TwipsPlace& place, const QWidget* widget);

// The font family for the program's Korean text: 굴림체 where it is
// installed, else NanumGothicCoding (a Korean font of the same fixed-width
// style), else the system's default family.
QString KoreanFontFamily();
QFont KoreanFont(double point_size, int weight = QFont::Normal,
                 bool italic = false);

// Moves a top-level window so that it stands in the middle of its screen.
void CenterOnScreen(QWidget* window);

}  // namespace app

#endif  // MDBCARE_APP_SCREEN_UNITS_H_
