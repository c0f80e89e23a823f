// A command line that asks for something impossible: reported as one line with a hint
// to --help, exit status 2.
#ifndef FFGLHOST_CLI_USAGE_ERROR_H
#define FFGLHOST_CLI_USAGE_ERROR_H

#include <string>

#include "lib/host_error.h"

class UsageError : public ffglhost::HostError {
  public:
    explicit UsageError(const std::string& message) : HostError(message) {}
};

#endif  // FFGLHOST_CLI_USAGE_ERROR_H
