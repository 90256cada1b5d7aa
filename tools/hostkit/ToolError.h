// A failure the tools report to the user as one line and a non-zero exit.
#pragma once

#include <stdexcept>
#include <string>

class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// A command line that asks for something impossible, found only once files or the plug-in are
// looked at (an output extension no format has, a parameter the plug-in lacks): the renderer
// exits with 2 for it, like for any other usage error; the player, as for any ToolError, with 1.
class UsageError : public ToolError {
 public:
  using ToolError::ToolError;
};
