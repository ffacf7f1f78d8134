// How the program ends when it crashes: a fault that nothing handled, on any
// of its threads, or an exception that nothing caught. It ends with an exit
// code of its own, never with one that reads as an outcome, and leaves a last
// line in the log when one is open.
#pragma once

// Installs the handlers for the whole process; first thing at start-up.
void endCrashesWithOwnCode();
