#pragma once
// What a command worker borrows for one transaction: the two drivers, the shared record store,
// the cashier table, the register settings, the EEPROM and the platform seams. The core worker
// owns all of them for the life of the process; workers never delete anything they borrow.

#include "platform/Clock.hpp"
#include "platform/Shell.hpp"

namespace kkt {

class CashierTable;
class CoreState;
class EepromStore;
class FrSettings;
class FsDriver;
class PrinterDriver;

struct WorkerContext {
    // A missing driver is reported by the commands that need it (976, 1534).
    PrinterDriver* printer = nullptr;
    FsDriver* fs = nullptr;
    // Required: every worker reads the shared records, checks operators and settings.
    CoreState* state = nullptr;
    CashierTable* cashiers = nullptr;
    FrSettings* settings = nullptr;
    EepromStore* eeprom = nullptr;
    // Missing seams are the board's own (realClock, realShell).
    Clock* clock = nullptr;
    Shell* shell = nullptr;
};

}  // namespace kkt
