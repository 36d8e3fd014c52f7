#pragma once

#include <string>

// The emulated board's devices in the Wine prefix, put in and taken out as Wine's own HID tests
// do with their test driver: a root-enumerated device ROOT\QD7310SIM\<instance> with the hardware
// ID root\qd7310sim, bound to the test minidriver by its .inf. Instances are "0000", "0001", ...

// Plugs instance `instance` in: creates and registers the device and installs the driver from
// the .inf at infPath (the .sys beside it). A device already present is left as it is. Returns
// an empty string, or what failed.
std::string plugWineBoard(const std::wstring &infPath, const std::wstring &instance);

// Unplugs instance `instance`; a device not present is no error. Returns an empty string, or
// what failed.
std::string unplugWineBoard(const std::wstring &instance);

// The .inf beside the running program, where the build puts the driver.
std::wstring wineBoardInfBesideProgram();
