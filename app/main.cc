// mdbcare: the maintenance program's window.
#include <QApplication>

#include "app/form1.h"
#include "app/qt_translations.h"
#include "app/screen_units.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::InstallKoreanQtTranslations(&application);
  app::Form1 form;
  application.setWindowIcon(form.windowIcon());
  app::CenterOnScreen(&form);
  form.show();
  return application.exec();
}
