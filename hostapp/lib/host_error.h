// The one exception type of the host library: a message a user can act on.
#ifndef FFGLHOST_HOST_ERROR_H
#define FFGLHOST_HOST_ERROR_H

#include <stdexcept>
#include <string>

namespace ffglhost {

class HostError : public std::runtime_error {
  public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace ffglhost

#endif  // FFGLHOST_HOST_ERROR_H
