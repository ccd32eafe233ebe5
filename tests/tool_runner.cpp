#include "tool_runner.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

TempFile::TempFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/powerfacts-test-XXXXXX";
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) {
        ADD_FAILURE() << "cannot create a temporary file from " << pattern;
    }
    path_ = pattern;
}

TempFile::~TempFile() {
    if (fd_ >= 0) {
        close(fd_);
        unlink(path_.c_str());
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

int redirectStdoutTo(int fd) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    return saved;
}

void restoreStdout(int saved) {
    std::fflush(stdout);
    std::clearerr(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

const char* missingSink(Sink sink) {
    if (sink == Sink::DevFull && access("/dev/full", W_OK) != 0) {
        return "no writable /dev/full on this system";
    }
    return nullptr;
}

namespace {

// In the child, between fork and exec: only async-signal-safe calls. A sink
// that cannot be set up ends the child with status 126 before anything is
// written, never with output going to the runner's own descriptors.
[[noreturn]] void execChild(const std::string& program, std::vector<char*>& argv, Sink sink,
                            int outFd, int errFd, int pipeWriteEnd) {
    dup2(errFd, STDERR_FILENO);
    signal(SIGPIPE, sink == Sink::PipeNoReader ? SIG_IGN : SIG_DFL);
    switch (sink) {
        case Sink::File:
            dup2(outFd, STDOUT_FILENO);
            break;
        case Sink::DevFull: {
            const int full = open("/dev/full", O_WRONLY);
            if (full < 0 || dup2(full, STDOUT_FILENO) < 0) {
                _exit(126);
            }
            break;
        }
        case Sink::SizeLimit: {
            // Standard error is a file too: the limit leaves room for the message.
            const rlimit limit{kSizeLimit, kSizeLimit};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(126);
            }
            dup2(outFd, STDOUT_FILENO);
            break;
        }
        case Sink::Closed:
            close(STDOUT_FILENO);
            break;
        case Sink::PipeNoReader:
        case Sink::PipeHead:
        case Sink::Pipe:
            dup2(pipeWriteEnd, STDOUT_FILENO);
            break;
    }
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ToolRun runProgram(const std::string& program, const std::vector<std::string>& args, Sink sink,
                   std::chrono::seconds timeout) {
    TempFile out;
    TempFile err;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    // Whether this process reads the child's output from a pipe.
    const bool readsPipe = sink == Sink::PipeHead || sink == Sink::Pipe;
    int pipeEnds[2] = {-1, -1};
    if (readsPipe || sink == Sink::PipeNoReader) {
        if (pipe(pipeEnds) != 0) {
            ADD_FAILURE() << "pipe failed";
            return {};
        }
        // Closed before the fork, so that no process ever holds it and the
        // child's first write finds the pipe broken.
        if (sink == Sink::PipeNoReader) {
            close(pipeEnds[0]);
            pipeEnds[0] = -1;
        }
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (pipeEnds[0] >= 0) {
            close(pipeEnds[0]);
        }
        execChild(program, argv, sink, out.fd(), err.fd(), pipeEnds[1]);
    }
    if (pipeEnds[1] >= 0) {
        close(pipeEnds[1]);
    }

    ToolRun run;
    if (pipeEnds[0] >= 0) {
        const std::size_t limit = sink == Sink::PipeHead ? kHeadBytes : SIZE_MAX;
        std::size_t got = 0;
        while (got < limit) {
            run.out.resize(std::min(limit, std::max<std::size_t>(2 * got, kHeadBytes)));
            const ssize_t n = read(pipeEnds[0], run.out.data() + got, run.out.size() - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        run.out.resize(got);
        close(pipeEnds[0]);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            run.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    if (!readsPipe) {
        run.out = readFile(out.path());
    }
    run.err = readFile(err.path());
    return run;
}

namespace {

ToolRun runBinary(const char* binary, const std::vector<std::string>& args, Sink sink,
                  std::chrono::seconds timeout) {
    std::vector<std::string> command = toolCommand(binary);
    const std::string program = command.front();
    command.erase(command.begin());
    command.insert(command.end(), args.begin(), args.end());
    return runProgram(program, command, sink, timeout);
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, Sink sink, std::chrono::seconds timeout) {
    return runBinary(POWERFACTS_BINARY, args, sink, timeout);
}

ToolRun runToolWithFault(const char* fault, const std::vector<std::string>& args, Sink sink) {
    const TempFile log;
    setenv("POWERFACTS_FAULT", fault, 1);
    setenv("POWERFACTS_WRITE_LOG", log.path().c_str(), 1);
    ToolRun run = runBinary(POWERFACTS_WITH_FAULTS, args, sink, std::chrono::seconds(120));
    unsetenv("POWERFACTS_FAULT");
    unsetenv("POWERFACTS_WRITE_LOG");
    std::istringstream sizes(readFile(log.path()));
    for (std::size_t size = 0; sizes >> size;) {
        run.writes.push_back(size);
    }
    return run;
}

std::vector<std::string> toolCommand(const char* binary) {
    // The emulator's words, separated by commas.
    std::vector<std::string> words;
    std::istringstream emulator(POWERFACTS_EMULATOR);
    for (std::string word; std::getline(emulator, word, ',');) {
        if (!word.empty()) {
            words.push_back(word);
        }
    }
    words.emplace_back(binary);
    return words;
}
