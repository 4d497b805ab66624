#include "board/ChildProcess.hpp"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

namespace kkt::sim {

ChildProcess::~ChildProcess() {
    if (running())
        kill();
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& stdoutPath,
                         const std::string& stderrPath, std::string& error, int keepFd) {
    auto openOut = [&](const std::string& path) {
        return path.empty() ? -1
                            : ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    };
    const int out = openOut(stdoutPath);
    const int err = stderrPath == stdoutPath ? out : openOut(stderrPath);
    if ((!stdoutPath.empty() && out < 0) || (!stderrPath.empty() && err < 0)) {
        error = "cannot open the log files " + stdoutPath + ", " + stderrPath + ": " +
                std::strerror(errno);
        if (out >= 0)
            ::close(out);
        if (err >= 0 && err != out)
            ::close(err);
        return false;
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = ::getpid();

    // The child reports a failed exec through this pipe (closed on a successful exec).
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);  // the board died before the prctl
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            ::dup2(devnull, 0);
        if (out >= 0)
            ::dup2(out, 1);
        if (err >= 0)
            ::dup2(err, 2);
        if (keepFd >= 0) {
            const int flags = ::fcntl(keepFd, F_GETFD);
            ::fcntl(keepFd, F_SETFD, flags & ~FD_CLOEXEC);
        }
        ::execv(args[0], args.data());
        const int e = errno;
        [[maybe_unused]] auto n = ::write(pipefd[1], &e, sizeof e);
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // also from the parent, so signal() never races the child's own call
    ::close(pipefd[1]);
    if (out >= 0)
        ::close(out);
    if (err >= 0 && err != out)
        ::close(err);
    int childErrno = 0;
    const auto n = ::read(pipefd[0], &childErrno, sizeof childErrno);
    ::close(pipefd[0]);
    if (n == sizeof childErrno) {
        ::waitpid(pid, nullptr, 0);
        error = "cannot run " + argv[0] + ": " + std::strerror(childErrno);
        return false;
    }
    pid_ = pid;
    return true;
}

std::optional<int> ChildProcess::reap() {
    if (pid_ <= 0)
        return std::nullopt;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return status;
    }
    return std::nullopt;
}

void ChildProcess::signal(int sig) const {
    if (pid_ > 0)
        ::kill(-pid_, sig);
}

std::optional<int> ChildProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0)
        return std::nullopt;
    signal(SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto s = reap())
            return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return kill();
}

std::optional<int> ChildProcess::kill() {
    if (pid_ <= 0)
        return std::nullopt;
    signal(SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

std::string ChildProcess::describe(int status) {
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        return std::string("killed by signal ") + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    }
    return "ended (status " + std::to_string(status) + ")";
}

}  // namespace kkt::sim
