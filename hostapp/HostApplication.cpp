#include "HostApplication.h"

#include "qtstart/QtStart.h"

void EnsureHostApplication() { StartQt("quorvel-host"); }

bool HostHasDisplay() { return QtHasDisplay("quorvel-host"); }
