#pragma once
// The dBase engine's boxes and panels as the program's own windows: its message
// boxes go through the program's message service, its message and progress panels
// are small frameless windows in front of the active one.

// Installs the engine's window hooks; once, at start-up, on the GUI thread.
void InstallXfEngineWindows();
