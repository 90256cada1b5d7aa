// Vendor-specific calls between VelaOrin.so and hosts of our own (the player), through
// audioMasterVendorSpecific. Other hosts answer 0 to them, which means "nothing to say".
#pragma once

#include <cstdint>

// index 'VOsc': the scale at which the host needs the panel, in hundredths from 100 to 300
// (150 = 1.5), binding because its window cannot follow another size; 0: the host has no word.
constexpr int32_t kHostScaleQuestion = 0x564F7363;
