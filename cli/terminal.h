// What the command line needs of its console: whether a stream is a
// terminal, its width, and Ctrl-C turned into a cancel request.
#pragma once

#include <cstdio>

bool IsTerminal(std::FILE* stream);
// Columns of the terminal on `stream`; 80 when unknown.
int TerminalColumns(std::FILE* stream);

// From now on the first Ctrl-C only sets the cancel flag (the running job
// stops at its next report); a second Ctrl-C ends the program at once.
void InstallInterruptHandler();
bool InterruptRequested();
// Clears the flag (tests).
void ResetInterrupt();
