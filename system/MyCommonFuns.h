// The system helpers the installer and uninstaller sequences call: registry
// entries, shortcuts, file removal, process launch and registry values.
#pragma once

#include "Process.h"
#include "Registry.h"
#include "Registration.h"
#include "Removal.h"
#include "Shortcuts.h"
