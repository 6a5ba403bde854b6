// The end of the process, in a file of its own: only what links it (the
// bundle) can end its host; a guest that does not (the frei0r filter)
// carries no call that could.
#include <cstdio>
#include <cstdlib>

#include "alerts/Alerts.h"

void ExitToShell() {
  std::fflush(nullptr);
  std::_Exit(EXIT_FAILURE);
}
