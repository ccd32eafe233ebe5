#include "tool_runner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

std::string readFile(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::string text(std::min<std::uintmax_t>(limit, std::filesystem::file_size(path)), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
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
        case Sink::Socket:
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

    // Whether this process reads the child's output from a pipe or socket.
    const bool readsPipe = sink == Sink::PipeHead || sink == Sink::Pipe || sink == Sink::Socket;
    int pipeEnds[2] = {-1, -1};
    if (readsPipe || sink == Sink::PipeNoReader) {
        const int made =
            sink == Sink::Socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) : pipe(pipeEnds);
        if (made != 0) {
            ADD_FAILURE() << "pipe or socketpair failed";
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

    // Reads what comes through the pipe and watches both streams' sizes
    // until the child ends, goes past a limit or runs out of time.
    ToolRun run;
    int readEnd = pipeEnds[0];
    std::size_t got = 0;  // of run.out, read so far
    const std::size_t headLimit = sink == Sink::PipeHead ? kHeadBytes : kOutLimit + 1;
    const auto fileSize = [](int fd) {
        struct stat status {};
        return fstat(fd, &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
    };
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (bool ended = false; !ended;) {
        if (readEnd >= 0) {
            pollfd ready{readEnd, POLLIN, 0};
            if (poll(&ready, 1, 5) > 0) {
                if (got == run.out.size()) {
                    run.out.resize(std::min(headLimit, std::max(2 * got, kHeadBytes)));
                }
                const ssize_t n = read(readEnd, run.out.data() + got, run.out.size() - got);
                got += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
                if (n <= 0 || (sink == Sink::PipeHead && got == kHeadBytes)) {
                    close(readEnd);
                    readEnd = -1;
                }
            }
        } else if (waitpid(child, &status, WNOHANG) != 0) {
            ended = true;
            continue;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const std::size_t outBytes = readsPipe ? got : fileSize(out.fd());
        const std::size_t errBytes = fileSize(err.fd());
        const bool tooLong = outBytes > kOutLimit || errBytes > kErrLimit;
        run.timedOut = std::chrono::steady_clock::now() > deadline;
        if (tooLong || run.timedOut) {
            if (tooLong) {
                ADD_FAILURE() << program << " wrote " << outBytes
                              << " bytes to standard output and " << errBytes
                              << " to standard error, past what a test keeps (" << kOutLimit
                              << " and " << kErrLimit << ")";
            }
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ended = true;
        }
    }
    if (readEnd >= 0) {
        close(readEnd);
    }
    run.out.resize(got);
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    if (!readsPipe) {
        run.out = readFile(out.path(), kOutLimit);
    }
    run.err = readFile(err.path(), kErrLimit);
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

ToolRun runToolWithFault(const std::string& faults, const std::vector<std::string>& args, Sink sink,
                         const std::string& drain) {
    const WriteLog log;
    setenv("POWERFACTS_FAULT", faults.c_str(), 1);
    setenv("POWERFACTS_DRAIN", drain.c_str(), 1);
    ToolRun run = runBinary(POWERFACTS_WITH_FAULTS, args, sink, std::chrono::seconds(120));
    unsetenv("POWERFACTS_FAULT");
    unsetenv("POWERFACTS_DRAIN");
    run.writes = log.sizes();
    return run;
}

WriteLog::WriteLog() : path_(TempFile().path()) {
    setenv("POWERFACTS_WRITE_LOG", path_.c_str(), 1);
}

WriteLog::~WriteLog() {
    unsetenv("POWERFACTS_WRITE_LOG");
    unlink(path_.c_str());
}

std::vector<std::size_t> WriteLog::sizes() const {
    std::vector<std::size_t> sizes;
    std::ifstream log(path_);
    for (std::size_t size = 0; log >> size;) {
        sizes.push_back(size);
    }
    return sizes;
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
