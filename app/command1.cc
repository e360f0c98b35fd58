#include "app/command1.h"

#include <exception>

#include "maintenance/ks.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"

namespace app {

void RunCommand1(maintenance::UserInterface& ui, int16_t index, bool& running) {
  if (running) return;
  running = true;
  try {
    switch (index) {
      case 0:
        maintenance::RemoveNullValues(ui);
        break;
      case 1:
        maintenance::TrimSpaces(ui);
        break;
      case 2:
        maintenance::CompactChosenDatabase(ui);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    ui.UnloadProgressNotice();
    ui.SetMousePointer(maintenance::MousePointer::kArrow);
    ui.ShowMessage(e.what());
  }
  running = false;
}

}  // namespace app
