// Form1's help text (Label1's caption), and the size its font is given.
#ifndef MDBCARE_APP_HELP_TEXT_H_
#define MDBCARE_APP_HELP_TEXT_H_

#include <functional>
#include <string>
#include <vector>

namespace app {

// The help text's lines; HelpText() joins them with "\r\n".
const std::vector<std::string>& HelpTextLines();
std::string HelpText();

// The numbered paragraphs (the first lines) were laid out line by line for
// a 9-point fixed-width Korean font. Where the font at hand has wider
// glyphs, the font is made smaller, a quarter point at a time, until
// `fits(points)` says that each of those lines fits the label without
// breaking (longer notes after them may still wrap). Returns the size.
inline constexpr size_t kHelpTextLaidOutLines = 9;
double FitHelpTextPoints(double points,
                         const std::function<bool(double)>& fits);

}  // namespace app

#endif  // MDBCARE_APP_HELP_TEXT_H_
