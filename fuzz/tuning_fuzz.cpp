// libFuzzer target: the Scala readers, the tuning table and the tuning's byte form on arbitrary
// bytes. A refusal names the file; a table built holds only positive finite frequencies; bytes
// decoded encode back to themselves.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Tuning.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte splits the rest into a scale and a keyboard mapping (either may be absent).
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t cut = rest.empty() ? 0 : data[0] % (rest.size() + 1);
  TuningFiles files;
  if ((data[0] & 0x80) == 0) files.scale = ScalaText{"s.scl", rest.substr(0, cut)};
  if ((data[0] & 0x40) == 0 || !files.scale)
    files.keyboardMapping = ScalaText{"m.kbm", rest.substr(cut)};
  TuningTable table;
  std::string error;
  if (!buildTuning(files, table, error)) {
    if (error.rfind("s.scl:", 0) != 0 && error.rfind("m.kbm:", 0) != 0) std::abort();
  } else {
    for (int32_t key = 0; key < kNumNotes; ++key)
      if (table.mapped[key] && !(table.frequency[key] > 0.0 && std::isfinite(table.frequency[key])))
        std::abort();
  }
  TuningFiles decoded;
  if (decodeTuning(data, size, decoded)) {
    const std::vector<uint8_t> again = encodeTuning(decoded);
    if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
  }
  return 0;
}
