#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// A program run by a test, with its standard input and output on pipes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    void WriteLine(const std::string& line);
    // One line of standard output, waiting at most ms; empty on time-out or end.
    std::string ReadLine(int ms);
    // Closes standard input and waits for the exit; returns the exit status or -1.
    int Wait(int ms);
    // SIGTERM, then SIGKILL when the program has not ended within 2 s. The exit status, or -1 when
    // it had to be killed.
    int Terminate(int waitMs = 2000);
    const std::string& Stderr();

    // Runs a program to its end and collects its output.
    struct Result {
        int status = -1;
        std::string out;
        std::string err;
    };
    static Result Run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                      int timeoutMs = 10000);

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outBuffer;
    std::string m_errBuffer;
};
