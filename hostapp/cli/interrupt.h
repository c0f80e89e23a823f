// Stop requests inside the worker process: the supervisor passes on the first SIGINT,
// SIGTERM or SIGHUP it receives, and the frame loop stops at the next frame.
#ifndef FFGLHOST_CLI_INTERRUPT_H
#define FFGLHOST_CLI_INTERRUPT_H

void InstallInterruptHandler();
bool Interrupted();

#endif  // FFGLHOST_CLI_INTERRUPT_H
