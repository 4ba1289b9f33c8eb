#pragma once

#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Starting the programs a benchmark measures or needs, in a folder of their own.
namespace bench {

// Starts `command` (its first word a path) in `folder`, its standard output on `outFd`.
inline pid_t startIn(const std::vector<std::string>& command, const std::string& folder,
                     int outFd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(127);
        }
        ::dup2(outFd, STDOUT_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : command) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// Runs `command` in `folder` to its end; its exit status, or -1 when it did not exit.
inline int runToEnd(const std::vector<std::string>& command, const std::string& folder,
                    int outFd = STDERR_FILENO) {
    const pid_t pid = startIn(command, folder, outFd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace bench
