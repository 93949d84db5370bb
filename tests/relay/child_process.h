// A program the test starts (curl, a Python HTTP server) and always ends: the destructor kills
// and reaps it if it is still running.
#ifndef BRINDLE_TESTS_CHILD_PROCESS_H
#define BRINDLE_TESTS_CHILD_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts argv[0] found on PATH, with stdout to `outputPath` when given (else /dev/null).
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath = {},
        const std::string& workingDirectory = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The exit status once the process has ended, without waiting.
    std::optional<int> Poll();
    void Kill();

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Whether a program can be found on PATH.
bool HaveProgram(const std::string& name);

#endif
