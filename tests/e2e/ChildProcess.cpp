#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {
void DrainInto(int fd, std::string& into) {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return;
        into.append(buf, static_cast<size_t>(n));
    }
}
}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extraEnv) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const auto& e : extraEnv) env.push_back(e);
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    ::fcntl(m_out, F_SETFL, O_NONBLOCK);
    ::fcntl(m_err, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    Terminate();
    for (int fd : {m_in, m_out, m_err}) {
        if (fd >= 0) ::close(fd);
    }
}

void ChildProcess::WriteLine(const std::string& line) {
    std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = ::write(m_in, text.data(), text.size());
}

std::string ChildProcess::ReadLine(int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        size_t nl = m_outBuffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_outBuffer.substr(0, nl);
            m_outBuffer.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return {};
        pollfd p{m_out, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return {};
        size_t before = m_outBuffer.size();
        DrainInto(m_out, m_outBuffer);
        if (m_outBuffer.size() == before && (p.revents & POLLHUP)) return {};
    }
}

int ChildProcess::Wait(int ms) {
    if (m_pid <= 0) return -1;
    if (m_in >= 0) {
        ::close(m_in);
        m_in = -1;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // Woken by the exit itself (a pidfd) or by output to drain, so a short run costs no polling
    // interval; without pidfds, a 5 ms poll.
    const int exited = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    for (;;) {
        DrainInto(m_out, m_outBuffer);
        DrainInto(m_err, m_errBuffer);
        int status = 0;
        pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            DrainInto(m_out, m_outBuffer);
            DrainInto(m_err, m_errBuffer);
            if (exited >= 0) ::close(exited);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            if (exited >= 0) ::close(exited);
            return -1;
        }
        pollfd p[3] = {{exited, POLLIN, 0}, {m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        // An output pipe the child has closed stays readable: leave it out, or the wait spins.
        for (int i = 1; i < 3; ++i)
            if (p[i].fd >= 0 && (::poll(&p[i], 1, 0) > 0) && (p[i].revents & POLLHUP)) p[i].fd = -1;
        ::poll(p, 3, static_cast<int>(exited >= 0 ? left : std::min<long long>(left, 5)));
    }
}

int ChildProcess::Terminate(int waitMs) {
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, SIGTERM);
    const int status = Wait(waitMs);
    if (status < 0 && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    return status;
}

const std::string& ChildProcess::Stderr() {
    DrainInto(m_err, m_errBuffer);
    return m_errBuffer;
}

ChildProcess::Result ChildProcess::Run(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& extraEnv, int timeoutMs) {
    ChildProcess child(argv, extraEnv);
    Result result;
    result.status = child.Wait(timeoutMs);
    result.out = child.m_outBuffer;
    result.err = child.m_errBuffer;
    return result;
}
