#pragma once

// How the table engine and the dataset layer report to a user of the
// windows. The headless commands keep their stderr reports (app/headless.cpp).
namespace app {

// Installs the "Program halted." box (the engine's failures that nobody
// handles: the box, then the end of the program with the error code) and
// the message box for the dataset layer's notices. Called once at start-up,
// before the main window exists. A reporter that must do something before
// the program ends wraps tzboxes::haltBox here.
void installTableReporters();

} // namespace app
