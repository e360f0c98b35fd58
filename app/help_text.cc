#include "app/help_text.h"

namespace app {

const std::vector<std::string>& HelpTextLines() {
  static const std::vector<std::string> lines = {
      "1. Null값 데이타제거는 엑셀 가져오기등 데이타에",
      "   관련된 작업을 하다가 문제가 발생한 경우에 사용",
      "   프로그램에서 Null데이타가 잘못 사용되었다고 나올때",
      "",
      "2. 데이타베이스 압축은 갑자기 PC가 멈추거나 바이러스",
      "   감염시 정지된 후 프로그램이 작동되지 않을때 사용",
      "",
      "3. 좌우 스페이스(특수문자)제거는 선택된 파일의 스페이스",
      "   를 지우고 특수문자를 지워줍니다.",
      "",
      "* 기번적으로 데이타는 c: 드라이브의 프로그램명\\데이타 폴더에 "
      "있습니다.",
      "",
      "* mdbcare 1.0 - 문의는 전산 담당자에게 하십시오.",
  };
  return lines;
}

std::string HelpText() {
  const std::vector<std::string>& lines = HelpTextLines();
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

double FitHelpTextPoints(double points,
                         const std::function<bool(double)>& fits) {
  for (; points > 6; points -= 0.25) {
    if (fits(points)) break;
  }
  return points;
}

}  // namespace app
