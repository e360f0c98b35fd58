#include "app/screen_units.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtMath>

namespace app {

namespace {

constexpr double kTwipsPerInch = 1440.0;

}  // namespace

int Twips(int twips, const QWidget* widget) {
  const QScreen* screen = widget && widget->screen()
                              ? widget->screen()
                              : QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
  return qRound(twips * dpi / kTwipsPerInch);
}

QRect TwipsRect(const TwipsPlace& place, const QWidget* widget) {
  return QRect(Twips(place.left, widget), Twips(place.top, widget),
               Twips(place.width, widget), Twips(place.height, widget));
}

QString KoreanFontFamily() {
  const QStringList families = QFontDatabase::families();
  for (const QString& wanted :
       {QString::fromUtf8(kKoreanFontFace), QStringLiteral("GulimChe"),
        QStringLiteral("NanumGothicCoding")}) {
    if (families.contains(wanted, Qt::CaseInsensitive)) return wanted;
  }
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont KoreanFont(double point_size, int weight, bool italic) {
  QFont font(KoreanFontFamily());
  font.setPointSizeF(point_size);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(italic);
  return font;
}

void CenterOnScreen(QWidget* window) {
  const QScreen* screen =
      window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

}  // namespace app
