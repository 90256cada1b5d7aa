// Who VelaOrin is to hosts, in every format: the texts, numbers and identifiers that the VST 2
// adapter, the LV2 bundle and its Turtle, the tools and the next formats read from here. Hosts
// store sessions, presets and banks by these: none of them ever changes.
#pragma once

#include <cstdint>

#include "VelaVersion.h"  // kVersion, the release ("1.11"), from the build

namespace vela::identity {

inline constexpr char kName[] = "VelaOrin";
inline constexpr char kVendor[] = "Dravnik";
inline constexpr char kProduct[] = "Vela First Synth";
// The VST 2 vendor version: the number hosts compare to tell releases apart.
inline constexpr int32_t kVendorVersion = 1;

// The four-character identifier, in the VST 2 unique id and in our bank and program files.
inline constexpr char kIdentifier[] = "VelV";
inline constexpr int32_t kIdentifierCode =
    kIdentifier[0] << 24 | kIdentifier[1] << 16 | kIdentifier[2] << 8 | kIdentifier[3];
static_assert(kIdentifierCode == 0x56656C56);

// LV2: the plug-in's URI (ours for good; it claims no domain) and its version. Release versions
// are even (an odd minor or micro marks a development build; hosts may hide a minor version of 0).
inline constexpr char kLv2Uri[] = "urn:velaorin:VelaOrin";
inline constexpr int32_t kLv2MinorVersion = 2;
inline constexpr int32_t kLv2MicroVersion = 0;

}  // namespace vela::identity
