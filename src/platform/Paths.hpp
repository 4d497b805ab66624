#pragma once
// The board's fixed paths. The production binary always uses these; every class that opens one
// takes its path from its constructor (defaulting to the value here), so tests point it at a
// pseudo-terminal or a temporary file, and the virtual board gives the unmodified binary a
// private file-system view in which these paths exist.

namespace kkt::paths {

inline constexpr const char* kHostPort = "/dev/ttyGS0";
inline constexpr const char* kFsPort = "/dev/ttyS1";
inline constexpr const char* kPrinterPort = "/dev/ttyS0";

inline constexpr const char* kEeprom = "/sys/bus/i2c/devices/0-0050/eeprom";

inline constexpr const char* kCashiers = "/nv/CASHIERS";
inline constexpr const char* kFrSettings = "/nv/FR_SETTINGS";
inline constexpr const char* kPrinterSettings = "/nv/PRINTER_SETTINGS";

// The USB device controller of the host port.
inline constexpr const char* kUdcState = "/sys/class/udc/musb-hdrc.1.auto/state";
inline constexpr const char* kUdcMode = "/sys/class/udc/musb-hdrc.1.auto/device/mode";

}  // namespace kkt::paths
