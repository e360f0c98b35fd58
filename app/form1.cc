#include "app/form1.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>

#include "app/command1.h"
#include "app/form_designs.h"
#include "app/help_text.h"
#include "app/program_title.h"
#include "app/screen_units.h"

// Outside any namespace, as Qt's resource initialisation requires.
static void InitResources() { Q_INIT_RESOURCE(mdbcare); }

namespace app {

namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Makes the label's font as large as the help text's laid-out lines allow
// (FitHelpTextPoints).
void FitHelpTextFont(QLabel* label) {
  const QStringList lines = label->text().split(QStringLiteral("\r\n"));
  QFont font = label->font();
  const int room = label->contentsRect().width();
  font.setPointSizeF(FitHelpTextPoints(font.pointSizeF(), [&](double points) {
    font.setPointSizeF(points);
    const QFontMetrics metrics(font);
    for (qsizetype i = 0;
         i < static_cast<qsizetype>(kHelpTextLaidOutLines) && i < lines.size();
         ++i) {
      if (metrics.horizontalAdvance(lines[i]) > room) return false;
    }
    return true;
  }));
  label->setFont(font);
}

// A panel of the given colour whose own background is painted.
void SetBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

QStringList QtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString patterns =
        QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString suffix = QStringLiteral("(") + patterns + QStringLiteral(")");
    filters << (description.endsWith(suffix)
                    ? description
                    : description + QStringLiteral(" ") + suffix);
  }
  return filters;
}

QString StartFolder(const QString& folder) {
  const QFileInfo info(folder);
  if (QDir::isAbsolutePath(folder) && info.isDir()) return folder;
  return QDir::homePath();
}

Form1::Form1() : QWidget(nullptr) {
  InitResources();
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(FromUtf8(kProgramTitle));
  QIcon icon;
  for (int size : {16, 32, 48}) {
    icon.addFile(QStringLiteral(":/mdbcare/icon%1.png").arg(size),
                 QSize(size, size));
  }
  setWindowIcon(icon);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setFixedSize(Twips(form1::kClientWidth, this),
               Twips(form1::kClientHeight, this));
  setFont(KoreanFont(form1::kFontPoints));

  Picture1 = new QFrame(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Picture1->setGeometry(TwipsRect(form1::kPicture1, this));
  Picture1->setFocusPolicy(Qt::NoFocus);
  SetBackground(Picture1, QColor(255, 255, 255));
  // The children's places are measured from inside Picture1's border.
  const QPoint inside = Picture1->contentsRect().topLeft();

  Image1 = new QLabel(Picture1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(TwipsRect(form1::kImage1, this).translated(inside));
  Image1->setPixmap(QPixmap(QStringLiteral(":/mdbcare/image1.bmp")));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  Label1 = new QLabel(QStringLiteral("Label1"), Picture1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(TwipsRect(form1::kLabel1, this).translated(inside));
  Label1->setTextFormat(Qt::PlainText);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setWordWrap(true);
  SetBackground(Label1, QColor(255, 255, 255));

  for (int16_t index = 0; index < 3; ++index) {
    const form1::ButtonDesign& design = form1::kCommand1[index];
    QPushButton* button = new QPushButton(FromUtf8(design.caption), this);
    button->setObjectName(QStringLiteral("Command1_%1").arg(index));
    button->setGeometry(TwipsRect(design.place, this));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this,
            [this, index] { Command1_Click(index); });
    Command1[index] = button;
  }
  setTabOrder(Command1[0], Command1[1]);
  setTabOrder(Command1[1], Command1[2]);
  setTabOrder(Command1[2], Picture1);

  Form_Load();
}

Form1::~Form1() = default;

void Form1::Form_Load() {
  Label1->setText(FromUtf8(HelpText()));
  FitHelpTextFont(Label1);
}

void Form1::Command1_Click(int16_t Index) {
  RunCommand1(*this, Index, running_);
}

std::string Form1::ChooseDatabaseFile(const std::string& title) {
  // A dialog of its own for every choice: each starts at the start folder
  // with an empty file name, whatever was chosen before.
  QFileDialog CommonDialog1(this);
  CommonDialog1.setObjectName(QStringLiteral("CommonDialog1"));
  CommonDialog1.setWindowTitle(FromUtf8(title));
  CommonDialog1.setNameFilters(QtNameFilters(FromUtf8(kDatabaseFileFilter)));
  CommonDialog1.setDirectory(StartFolder(FromUtf8(kInitialFolder)));
  CommonDialog1.selectFile(QString());
  CommonDialog1.setAcceptMode(QFileDialog::AcceptOpen);
  CommonDialog1.setFileMode(QFileDialog::ExistingFile);
  if (CommonDialog1.exec() != QDialog::Accepted) return std::string();
  const QStringList chosen = CommonDialog1.selectedFiles();
  if (chosen.isEmpty()) return std::string();
  return chosen.first().toStdString();
}

void Form1::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, FromUtf8(kProgramTitle), FromUtf8(text),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void Form1::DisplayWithDoEvents(const std::string& message) {
  if (!notice_) notice_ = std::make_unique<frmMsg>();
  notice_->DisplayWithDoEvents(FromUtf8(message));
}

void Form1::UnloadProgressNotice() { notice_.reset(); }

void Form1::SetMousePointer(maintenance::MousePointer pointer) {
  if (pointer == maintenance::MousePointer::kHourglass) {
    if (!QGuiApplication::overrideCursor()) {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    return;
  }
  while (QGuiApplication::overrideCursor()) {
    QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace app
