// The one error type of plughost's own checks: the message is the whole line the user sees
// after "plughost: error: ", so it names the file, option or plug-in and the problem.
#pragma once

#include <stdexcept>

namespace plughost {

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace plughost
