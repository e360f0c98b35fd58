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
#include <exception>

#include "app/program_title.h"
#include "app/screen_units.h"
#include "maintenance/ks.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"

// Outside any namespace, as Qt's resource initialisation requires.
static void InitResources() { Q_INIT_RESOURCE(mdbcare); }

namespace app {

namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The help text's numbered paragraphs were laid out line by line for a
// 9-point fixed-width Korean font. Where the font at hand has wider glyphs,
// the label's font is made smaller, a quarter point at a time, until every
// line of those paragraphs fits the label without breaking (longer notes
// after them may still wrap).
void FitHelpTextFont(QLabel* label, qsizetype laid_out_lines) {
  const QStringList lines = label->text().split(QStringLiteral("\r\n"));
  QFont font = label->font();
  const int room = label->contentsRect().width();
  for (double size = font.pointSizeF(); size > 6; size -= 0.25) {
    font.setPointSizeF(size);
    const QFontMetrics metrics(font);
    bool fits = true;
    for (qsizetype i = 0; i < laid_out_lines && i < lines.size(); ++i) {
      if (metrics.horizontalAdvance(lines[i]) > room) fits = false;
    }
    if (fits) break;
  }
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

QString HelpText() {
  const QStringList lines = {
      QStringLiteral("1. Null값 데이타제거는 엑셀 가져오기등 데이타에"),
      QStringLiteral("   관련된 작업을 하다가 문제가 발생한 경우에 사용"),
      QStringLiteral("   프로그램에서 Null데이타가 잘못 사용되었다고 나올때"),
      QString(),
      QStringLiteral("2. 데이타베이스 압축은 갑자기 PC가 멈추거나 바이러스"),
      QStringLiteral("   감염시 정지된 후 프로그램이 작동되지 않을때 사용"),
      QString(),
      QStringLiteral("3. 좌우 스페이스(특수문자)제거는 선택된 파일의 스페이스"),
      QStringLiteral("   를 지우고 특수문자를 지워줍니다."),
      QString(),
      QStringLiteral(
          "* 기번적으로 데이타는 c: 드라이브의 프로그램명\\데이타 폴더에 "
          "있습니다."),
      QString(),
      QStringLiteral("* mdbcare 1.0 - 문의는 전산 담당자에게 하십시오."),
  };
  return lines.join(QStringLiteral("\r\n"));
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
  setFixedSize(Twips(7095, this), Twips(5895, this));
  setFont(KoreanFont(9));

  Picture1 = new QFrame(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Picture1->setGeometry(TwipsRect(30, 30, 7035, 3975, this));
  Picture1->setFocusPolicy(Qt::NoFocus);
  SetBackground(Picture1, QColor(255, 255, 255));
  // The children's places are measured from inside Picture1's border.
  const QPoint inside = Picture1->contentsRect().topLeft();

  Image1 = new QLabel(Picture1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(TwipsRect(30, 90, 1920, 3840, this).translated(inside));
  Image1->setPixmap(QPixmap(QStringLiteral(":/mdbcare/image1.bmp")));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  Label1 = new QLabel(QStringLiteral("Label1"), Picture1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(
      TwipsRect(2100, 120, 4845, 3765, this).translated(inside));
  Label1->setTextFormat(Qt::PlainText);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setWordWrap(true);
  SetBackground(Label1, QColor(255, 255, 255));

  struct ButtonDesign {
    const char* caption;
    int top;
  };
  const std::array<ButtonDesign, 3> buttons = {{
      {"Null값 데이타 제거", 4200},
      {"좌우 스페이스(특수문자)제거", 5220},
      {"데이타베이스 압축(속도증가)", 4710},
  }};
  for (int16_t index = 0; index < 3; ++index) {
    QPushButton* button =
        new QPushButton(FromUtf8(buttons[index].caption), this);
    button->setObjectName(QStringLiteral("Command1_%1").arg(index));
    button->setGeometry(TwipsRect(1470, buttons[index].top, 3975, 435, this));
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
  Label1->setText(HelpText());
  FitHelpTextFont(Label1, 9);
}

void Form1::Command1_Click(int16_t Index) {
  if (running_) return;
  running_ = true;
  try {
    switch (Index) {
      case 0:
        maintenance::RemoveNullValues(*this);
        break;
      case 1:
        maintenance::TrimSpaces(*this);
        break;
      case 2:
        maintenance::CompactChosenDatabase(*this);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    // The operations report the engine's errors themselves; anything else
    // is shown here, and the window goes on.
    UnloadProgressNotice();
    SetMousePointer(maintenance::MousePointer::kArrow);
    ShowMessage(e.what());
  }
  running_ = false;
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
