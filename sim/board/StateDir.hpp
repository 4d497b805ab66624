#pragma once
// The state directory of one virtual register: everything that survives a power loss (EEPROM,
// /nv, the FS emulator's state, the paper) and the run-time files of a running board (links to
// the pseudo-terminals, control FIFOs and socket, the USB controller files, the clock stubs).
//
//   eeprom          the 4096-byte I2C EEPROM (created erased, all 0xFF)
//   nv/             the board's /nv
//   fs/state        the FS emulator's state
//   printer/        the paper: text and pictures
//   trace/          fs.trace, printer.trace (the emulators'), host.trace (the host link)
//   log/            clock.log (what date and hwclock were asked), the emulators' and board's logs
//   stdout, stderr  the firmware's output
//   host            link to the host's end of /dev/ttyGS0
//   ready           present while the firmware answers (it answered a 307 request)
//   run/            links/{fs,printer,gadget}, fs.ctl, printer.ctl, control.sock, usb-state,
//                   usb-mode, stubs/{date,hwclock}, board.lock

#include <string>

namespace kkt::sim {

class StateDir {
  public:
    static constexpr std::size_t kEepromSize = 4096;

    explicit StateDir(std::string root);

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    std::string eeprom() const { return path("eeprom"); }
    std::string nv() const { return path("nv"); }
    std::string fsState() const { return path("fs/state"); }
    std::string printerOut() const { return path("printer"); }
    std::string trace(const std::string& name) const { return path("trace/" + name); }
    std::string log(const std::string& name) const { return path("log/" + name); }
    std::string firmwareStdout() const { return path("stdout"); }
    std::string firmwareStderr() const { return path("stderr"); }
    std::string hostLink() const { return path("host"); }
    std::string ready() const { return path("ready"); }
    std::string run() const { return path("run"); }
    std::string link(const std::string& name) const { return path("run/links/" + name); }
    std::string fsControl() const { return path("run/fs.ctl"); }
    std::string printerControl() const { return path("run/printer.ctl"); }
    std::string controlSocket() const { return path("run/control.sock"); }
    std::string usbState() const { return path("run/usb-state"); }
    std::string usbMode() const { return path("run/usb-mode"); }
    std::string stub(const std::string& name) const { return path("run/stubs/" + name); }

    // Makes the folders and files a board needs. `fresh` starts a new register: erased EEPROM,
    // no /nv files, no paper, traces or logs (the FS emulator is told separately). False with
    // a message in `error`.
    [[nodiscard]] bool prepare(bool fresh, std::string& error) const;
    // Takes the directory's lock: one board per state directory. The descriptor stays open
    // for the board's life.
    [[nodiscard]] bool lock(std::string& error);
    // Removes what only a running board has (links, ready, socket, FIFOs).
    void cleanRunFiles() const;

    // Writes the USB controller's state text in place: the file is bound into the view, so it
    // must keep its inode.
    [[nodiscard]] bool setUsbState(bool configured, std::string& error) const;

    // Writes the clock stubs that log their arguments to `logPath` (a path inside the view).
    [[nodiscard]] bool writeStubs(const std::string& logPath, std::string& error) const;

  private:
    std::string root_;
    int lockFd_ = -1;
};

}  // namespace kkt::sim
