// Lets SIGTERM and SIGINT (a session logout, Ctrl+C in a terminal) end the viewer through its
// event loop, so that windows close and the settings are written as on a normal quit.
// Call once, on the GUI thread, after the application object exists.
#pragma once

void quitOnTerminationSignals();

// Whether such a signal has arrived (start-up checks it after the splash).
bool terminationRequested();
