// What the maintenance operations need from whoever runs them: the main
// window, the command line or a test. The operations call these in the
// order their walk sets; each implementation decides how they look.
#ifndef MDBCARE_MAINTENANCE_USER_INTERFACE_H_
#define MDBCARE_MAINTENANCE_USER_INTERFACE_H_

#include <string>

namespace maintenance {

enum class MousePointer {
  kArrow,      // the normal pointer
  kHourglass,  // busy
};

// How an operation ended, for callers that report an exit status.
enum class Outcome {
  kCancelled,  // no file was chosen; nothing happened
  kCompleted,  // the operation ran to its end
  kRefused,    // the operation did not start (the database is open)
  kFailed,     // an engine or file system error stopped it (and was shown)
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // The file-open step every operation starts with: asks for a database
  // file under the dialog title `title`, starting in "c:\" (or the user's
  // home folder where there is no such folder) with an empty file name and
  // the filter "(*.mdb)|*.mdb". Returns the chosen file's full path, or ""
  // when the user cancelled.
  virtual std::string ChooseDatabaseFile(const std::string& title) = 0;

  // A message box: `text`, an OK button, no icon, the program's title as
  // caption; returns when the user has closed it.
  virtual void ShowMessage(const std::string& text) = 0;

  // Shows the progress notice with `message` (creating it when it is not
  // on screen) and lets pending window events run once so that it is
  // painted. Never fails.
  virtual void DisplayWithDoEvents(const std::string& message) = 0;

  // Removes the progress notice; nothing happens when it is not shown.
  virtual void UnloadProgressNotice() = 0;

  virtual void SetMousePointer(MousePointer pointer) = 0;
};

}  // namespace maintenance

#endif  // MDBCARE_MAINTENANCE_USER_INTERFACE_H_
