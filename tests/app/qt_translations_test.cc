// Qt's own words in the file dialog and the message box are Korean.
#include "app/qt_translations.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>

#include "tests/app/qt_application.h"

namespace {

bool HasHangul(const QString& text) {
  for (QChar c : text) {
    if (c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3) return true;
  }
  return false;
}

TEST(QtTranslationsTest, FileDialogAndButtonsSpeakKorean) {
  testing_support::StartTestApplication();
  ASSERT_TRUE(app::InstallKoreanQtTranslations(qApp))
      << "Qt's Korean translations (qt6-translations-l10n) are not installed";
  const std::pair<const char*, const char*> words[] = {
      {"QFileDialog", "Look in:"},       {"QFileDialog", "File &name:"},
      {"QFileDialog", "Files of type:"}, {"QFileDialog", "&Open"},
      {"QPlatformTheme", "Cancel"},      {"QPlatformTheme", "OK"},
  };
  for (const auto& [context, source] : words) {
    const QString text = QCoreApplication::translate(context, source);
    EXPECT_TRUE(HasHangul(text))
        << context << " " << source << ": " << text.toStdString();
  }
  // The dialog Form1 opens: Qt's own, not the desktop's.
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
    const QLabel* label = dialog.findChild<QLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_TRUE(HasHangul(label->text()))
        << name << ": " << label->text().toStdString();
  }
}

}  // namespace
