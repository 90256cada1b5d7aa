// What the panel needs of the plug-in it edits, in no plug-in format's terms. Indices are the
// host numbering of the parameter table (0..13), values 0..1 as the table defines them.
//
// A gesture is one act of the user on one parameter: a drag from press to release, or a single
// click or step. The panel opens it with beginEdit, writes within it with automate and closes it
// with endEdit; it never writes outside a gesture, never opens a gesture twice and closes every
// gesture it opened, also when the drag is cut short or the panel goes away. Values the panel
// only displays (the host's own changes) are read with value and never written back.
#pragma once

#include <cstdint>

class ParameterLink {
 public:
  virtual ~ParameterLink() = default;

  // [UI thread]
  virtual float value(int32_t index) = 0;
  virtual void automate(int32_t index, float value) = 0;
  virtual void beginEdit(int32_t index) = 0;
  virtual void endEdit(int32_t index) = 0;
};
