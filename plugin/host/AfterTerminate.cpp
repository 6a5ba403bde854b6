// In the bundle a Terminate ends the host process, as the effect was
// written to do on the broken preconditions of its own code.
#include "alerts/Alerts.h"
#include "common/commonprocs.h"

void AfterTerminate() { ExitToShell(); }
