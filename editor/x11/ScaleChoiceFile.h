// Where the user's choice of scale is kept: $XDG_CONFIG_HOME/velaorin/panel (~/.config/velaorin/
// panel), one line as PanelScale.h formats it. Every panel opened later reads it, in any format
// and in the player.
#pragma once

#include <string>

namespace velax11 {

// Empty when neither XDG_CONFIG_HOME (an absolute path) nor HOME says where.
std::string scaleChoicePath();

struct StoredScaleChoice {
  double choice = 0.0;  // 0: Automatic, also for a file that is missing or ignored
  std::string problem;  // why an existing file was ignored (damaged, unreadable); empty if not
};
StoredScaleChoice readScaleChoice(const std::string& path);

// Replaces the file in one step (a complete new file renamed over the old), making its folders.
// Empty on success, else what went wrong.
std::string writeScaleChoice(const std::string& path, double choice);

}  // namespace velax11
