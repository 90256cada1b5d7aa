// A failure the renderer reports to the user as one line and a non-zero exit.
#pragma once

#include <stdexcept>
#include <string>

class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// A command line that asks for something impossible, found only once files are looked at (an
// output extension no format has, say): exit code 2, like any other usage error.
class UsageError : public ToolError {
 public:
  using ToolError::ToolError;
};
