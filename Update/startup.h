// startup: brings the library modules the launcher uses up before its window
// runs and down again afterwards, in a fixed order.
#ifndef UPDATE_STARTUP_H
#define UPDATE_STARTUP_H

// Initialises the modules in order, stopping at the first failure, which is
// shown as "<MODULE> failed" in a message box without owner captioned
// "Error". Returns true when all came up; on failure the modules already up
// are left as they are (the process ends).
bool startup_modules();

// Deinitialises the modules in reverse order, memory last (its leak report
// goes to the dormant diagnostics). Results are ignored; answers the number
// of tracked blocks still allocated when memory went down (0 when nothing
// leaked), for tests.
int shutdown_modules();

#endif
