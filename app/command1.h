// The Command1 button array's one click handler, shared by the Qt and the
// Win32 Form1.
#ifndef MDBCARE_APP_COMMAND1_H_
#define MDBCARE_APP_COMMAND1_H_

#include <cstdint>

#include "maintenance/user_interface.h"

namespace app {

// Runs the operation of button `index` through `ui`: 0 Null-value
// removal, 1 space trimming, 2 compaction. `running` is the window's flag
// against re-entry: a click that arrives while an operation runs (delivered
// by the notice's event pump or a message box's loop) is ignored, so one
// operation never starts inside another. The operations report the
// engine's errors themselves; anything else is shown in a message, the
// notice and the busy pointer are taken away, and the window goes on.
void RunCommand1(maintenance::UserInterface& ui, int16_t index, bool& running);

}  // namespace app

#endif  // MDBCARE_APP_COMMAND1_H_
