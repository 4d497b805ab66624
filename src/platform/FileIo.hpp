#pragma once
// Plain file work shared by the settings files, the cashier file and the emulators' state files:
// an owning descriptor, whole-buffer reads and writes that survive EINTR and short transfers, and
// the atomic replace of a small file. On failure errno is left as the failing call set it.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "primitives/Bytes.hpp"

namespace kkt {

// Owns one descriptor and closes it when it goes; -1 means none.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    [[nodiscard]] int release();
    // Closes now and reports whether the close succeeded: it can report a late write error.
    // Closing an empty one succeeds.
    [[nodiscard]] bool close();

  private:
    int fd_ = -1;
};

// Reads from the offset until the buffer is full, the file ends or a read fails; returns how many
// bytes arrived.
[[nodiscard]] std::size_t readUpToAt(int fd, std::span<std::uint8_t> out, off_t offset);
// True when the whole buffer was filled from the offset (false at an early end of file, errno 0).
[[nodiscard]] bool readAllAt(int fd, std::span<std::uint8_t> out, off_t offset);
// Positioned write of all bytes; the file position is left alone.
[[nodiscard]] bool writeAllAt(int fd, ByteView bytes, off_t offset);
// Write of all bytes at the file position.
[[nodiscard]] bool writeAll(int fd, ByteView bytes);

enum class ReplaceResult {
    Done,
    CreateFailed,  // the temporary file could not be made
    WriteFailed,   // writing, syncing or closing the temporary file failed
    RenameFailed,  // the temporary file could not take the file's place
};

// Replaces the file with the bytes so that a power cut leaves either the old or the new content:
// writes "<path>.tmp" in the same folder, syncs it, renames it over the file and syncs the folder.
// A failed step removes the temporary file; errno stays that of the failed step. The folder sync
// is best effort: the new content is in place whatever it answers.
[[nodiscard]] ReplaceResult replaceFileAtomically(const std::string& path, ByteView bytes);

}  // namespace kkt
