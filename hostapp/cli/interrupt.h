// Ctrl-C and SIGTERM during a render: the first one asks the frame loop to stop, so
// partial outputs are removed; a second one ends the program at once.
#ifndef FFGLHOST_CLI_INTERRUPT_H
#define FFGLHOST_CLI_INTERRUPT_H

void InstallInterruptHandler();
bool Interrupted();

#endif  // FFGLHOST_CLI_INTERRUPT_H
