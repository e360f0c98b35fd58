// Takes the README's pictures of the window and of the progress notice on
// a real X display (see resources/take_screenshots.sh): shows each, waits
// for the window manager to frame it, and saves the framed window from the
// screen as PNG.
//
//   app_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/form1.h"
#include "app/screen_units.h"

namespace {

void Save(QWidget* window, const QString& path) {
  const QRect frame = window->frameGeometry();
  QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(),
                                              frame.width(), frame.height());
  shot.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) return 2;
  const QDir out(QString::fromLocal8Bit(argv[1]));
  app::Form1 form;
  app::CenterOnScreen(&form);
  form.show();
  QTimer::singleShot(1500, [&] {
    Save(&form, out.filePath(QStringLiteral("form1.png")));
    form.DisplayWithDoEvents("Null데이타 제거중...");
    QTimer::singleShot(1500, [&] {
      Save(form.notice(), out.filePath(QStringLiteral("frmmsg.png")));
      form.UnloadProgressNotice();
      application.quit();
    });
  });
  return application.exec();
}
