#include "platform/FileIo.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/TempDir.hpp"

namespace kkt {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesWhenItGoesAndMovesOwnership) {
    test::TempDir dir;
    ASSERT_TRUE(dir.ok());
    put(dir.file("f"), "x");
    int raw = -1;
    {
        UniqueFd a(::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(a.valid());
        raw = a.get();
        UniqueFd b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_EQ(b.get(), raw);
        UniqueFd c;
        c = std::move(b);
        EXPECT_EQ(c.get(), raw);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));

    UniqueFd d(::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC));
    raw = d.get();
    EXPECT_TRUE(d.close());
    EXPECT_FALSE(d.valid());
    EXPECT_FALSE(isOpen(raw));
    EXPECT_TRUE(d.close());  // nothing left to close
}

// Records are rewritten in place: a positioned write must neither truncate the file nor move
// the file position, and a read must give back exactly what lies at the offset.
TEST(FileIo, PositionedWriteKeepsTheRestOfTheFile) {
    test::TempDir dir;
    ASSERT_TRUE(dir.ok());
    put(dir.file("f"), "0123456789");
    UniqueFd fd(::open(dir.file("f").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    ASSERT_TRUE(writeAllAt(fd.get(), asBytes("ab"), 4));
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 0);
    EXPECT_EQ(contents(dir.file("f")), "0123ab6789");

    std::uint8_t buf[3] = {};
    ASSERT_TRUE(readAllAt(fd.get(), buf, 3));
    EXPECT_EQ(asString(buf), "3ab");

    // Past the end: a write grows the file, leaving a hole of zeros.
    ASSERT_TRUE(writeAllAt(fd.get(), asBytes("Z"), 12));
    EXPECT_EQ(contents(dir.file("f")), std::string("0123ab6789\0\0Z", 13));
}

TEST(FileIo, ReadStopsAtTheEndOfTheFile) {
    test::TempDir dir;
    ASSERT_TRUE(dir.ok());
    put(dir.file("f"), "abc");
    UniqueFd fd(::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    std::uint8_t buf[5] = {};
    EXPECT_EQ(readUpToAt(fd.get(), buf, 1), 2u);
    EXPECT_EQ(asString(std::span(buf, 2)), "bc");
    EXPECT_FALSE(readAllAt(fd.get(), buf, 0));
    EXPECT_EQ(errno, 0);  // an early end, not an error
    EXPECT_EQ(readUpToAt(fd.get(), buf, 10), 0u);
}

TEST(FileIo, FailuresKeepErrno) {
    std::uint8_t buf[1] = {};
    errno = 0;
    EXPECT_FALSE(writeAll(-1, asBytes("x")));
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_FALSE(writeAllAt(-1, asBytes("x"), 0));
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_FALSE(readAllAt(-1, buf, 0));
    EXPECT_EQ(errno, EBADF);
}

// A pipe takes far less than this at once: every short write must be continued.
TEST(FileIo, WriteAllFinishesAfterShortWrites) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    UniqueFd readEnd(p[0]);
    UniqueFd writeEnd(p[1]);
    Bytes data(1 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    Bytes got;
    std::thread reader([&] {
        std::uint8_t buf[4096];
        ssize_t n;
        while ((n = ::read(readEnd.get(), buf, sizeof buf)) > 0)
            got.insert(got.end(), buf, buf + n);
    });
    const bool written = writeAll(writeEnd.get(), data);
    EXPECT_TRUE(writeEnd.close());
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(got, data);
}

TEST(FileIo, ReplaceFileAtomicallyPutsTheNewContentInPlace) {
    test::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.file("state");
    ASSERT_EQ(replaceFileAtomically(path, asBytes("first")), ReplaceResult::Done);
    EXPECT_EQ(contents(path), "first");
    ASSERT_EQ(replaceFileAtomically(path, asBytes("2nd")), ReplaceResult::Done);
    EXPECT_EQ(contents(path), "2nd");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(
        st.st_mode & 0777, 0644u & ~[] {
            const mode_t m = ::umask(0);
            ::umask(m);
            return m;
        }());

    // A name with no folder lands in the working folder.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(replaceFileAtomically("plain", asBytes("here")), ReplaceResult::Done);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(contents(dir.file("plain")), "here");
}

TEST(FileIo, ReplaceFileAtomicallyFailsWithoutLosingTheOldFile) {
    test::TempDir dir;
    ASSERT_TRUE(dir.ok());

    errno = 0;
    EXPECT_EQ(replaceFileAtomically(dir.file("missing/state"), asBytes("x")),
              ReplaceResult::CreateFailed);
    EXPECT_EQ(errno, ENOENT);

    // A folder with something in it cannot be renamed over: it stays, the temporary file goes.
    const std::string path = dir.file("busy");
    std::filesystem::create_directory(path);
    put(path + "/keep", "old");
    errno = 0;
    EXPECT_EQ(replaceFileAtomically(path, asBytes("new")), ReplaceResult::RenameFailed);
    EXPECT_NE(errno, 0);
    EXPECT_EQ(contents(path + "/keep"), "old");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

}  // namespace
}  // namespace kkt
