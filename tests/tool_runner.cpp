#include "tool_runner.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
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

namespace {

// A pseudo-terminal in raw mode: its reading end in ends[0], the terminal
// the child writes to in ends[1]. Returns whether it could be had.
bool openTerminal(int (&ends)[2]) {
    ends[0] = posix_openpt(O_RDWR | O_NOCTTY);
    if (ends[0] < 0 || grantpt(ends[0]) != 0 || unlockpt(ends[0]) != 0) {
        return false;
    }
    const char* name = ptsname(ends[0]);
    ends[1] = name != nullptr ? open(name, O_RDWR | O_NOCTTY) : -1;
    termios mode{};
    if (ends[1] < 0 || tcgetattr(ends[1], &mode) != 0) {
        return false;
    }
    cfmakeraw(&mode);
    return tcsetattr(ends[1], TCSANOW, &mode) == 0;
}

void closeEnds(const int (&ends)[2]) {
    for (const int end : ends) {
        if (end >= 0) {
            close(end);
        }
    }
}

}  // namespace

const char* missingSink(Sink sink) {
    if (sink == Sink::DevFull && access("/dev/full", W_OK) != 0) {
        return "no writable /dev/full on this system";
    }
    if (sink == Sink::NonBlockingTerminal) {
        int ends[2] = {-1, -1};
        const bool opened = openTerminal(ends);
        closeEnds(ends);
        if (!opened) {
            return "no pseudo-terminal can be opened here (no /dev/ptmx or /dev/pts)";
        }
    }
    return nullptr;
}

namespace {

// In the child, between fork and exec: only async-signal-safe calls. A sink
// that cannot be set up ends the child with status 126 before anything is
// written, never with output going to the runner's own descriptors.
[[noreturn]] void execChild(const std::string& program, std::vector<char*>& argv, Sink sink,
                            int outFd, int errFd, int pipeWriteEnd, Input input, int inputFd) {
    dup2(errFd, STDERR_FILENO);
    if (input == Input::Closed) {
        close(STDIN_FILENO);
    } else if (input == Input::SilentPipe) {
        if (dup2(inputFd, STDIN_FILENO) < 0) {
            _exit(126);
        }
        close(inputFd);
    }
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
        case Sink::NonBlockingPipe:
        case Sink::NonBlockingSocket:
        case Sink::NonBlockingTerminal: {
            const int flags = fcntl(pipeWriteEnd, F_GETFL);
            if (flags < 0 || fcntl(pipeWriteEnd, F_SETFL, flags | O_NONBLOCK) != 0 ||
                dup2(pipeWriteEnd, STDOUT_FILENO) < 0) {
                _exit(126);
            }
            break;
        }
    }
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ToolRun runProgram(const std::string& program, const std::vector<std::string>& args, Sink sink,
                   std::chrono::seconds timeout, Input input) {
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

    const bool slow = sink == Sink::NonBlockingPipe || sink == Sink::NonBlockingSocket ||
                      sink == Sink::NonBlockingTerminal;
    // Whether this process reads the child's output from a pipe, socket or
    // terminal.
    const bool readsPipe =
        slow || sink == Sink::PipeHead || sink == Sink::Pipe || sink == Sink::Socket;
    int pipeEnds[2] = {-1, -1};
    if (readsPipe || sink == Sink::PipeNoReader) {
        const bool socket = sink == Sink::Socket || sink == Sink::NonBlockingSocket;
        const bool made =
            sink == Sink::NonBlockingTerminal
                ? openTerminal(pipeEnds)
                : (socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) : pipe(pipeEnds)) == 0;
        if (!made) {
            ADD_FAILURE() << "cannot make the " << testing::PrintToString(sink);
            closeEnds(pipeEnds);
            return {};
        }
        // Closed before the fork, so that no process ever holds it and the
        // child's first write finds the pipe broken.
        if (sink == Sink::PipeNoReader) {
            close(pipeEnds[0]);
            pipeEnds[0] = -1;
        }
    }
    // The silent input's write end stays open here, unwritten, until the
    // child is gone: the read end never has anything to read, nor an end.
    int inputEnds[2] = {-1, -1};
    if (input == Input::SilentPipe && pipe(inputEnds) != 0) {
        ADD_FAILURE() << "cannot make the " << testing::PrintToString(input);
        closeEnds(pipeEnds);
        return {};
    }
    std::fflush(nullptr);
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (pipeEnds[0] >= 0) {
            close(pipeEnds[0]);
        }
        if (inputEnds[1] >= 0) {
            close(inputEnds[1]);
        }
        execChild(program, argv, sink, out.fd(), err.fd(), pipeEnds[1], input, inputEnds[0]);
    }
    if (pipeEnds[1] >= 0) {
        close(pipeEnds[1]);
    }
    if (inputEnds[0] >= 0) {
        close(inputEnds[0]);
    }

    // Reads what comes through the pipe and watches both streams' sizes
    // until the child ends, goes past a limit or runs out of time.
    ToolRun run;
    int readEnd = pipeEnds[0];
    std::size_t got = 0;  // of run.out, read so far
    const std::size_t headLimit = sink == Sink::PipeHead ? kHeadBytes : kOutLimit + 1;
    const std::size_t readLimit = slow ? kSlowRead : SIZE_MAX;
    const auto fileSize = [](int fd) {
        struct stat status {};
        return fstat(fd, &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
    };
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (bool ended = false; !ended;) {
        if (readEnd >= 0) {
            // select(2), not poll(2): Darwin's poll answers POLLNVAL for the
            // pseudo-terminal, and a read that then blocks would outlast the
            // timeout.
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(readEnd, &readable);
            timeval wait{0, 5000};
            if (select(readEnd + 1, &readable, nullptr, nullptr, &wait) > 0) {
                if (got == run.out.size()) {
                    run.out.resize(std::min(headLimit, std::max(2 * got, kHeadBytes)));
                }
                const ssize_t n =
                    read(readEnd, run.out.data() + got, std::min(readLimit, run.out.size() - got));
                got += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
                // A terminal whose writer has gone answers EIO, not 0.
                if (n <= 0 || (sink == Sink::PipeHead && got == kHeadBytes)) {
                    close(readEnd);
                    readEnd = -1;
                } else if (slow) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
    // Only this child has been waited for since `before`: what the
    // children's CPU time grew by is its own.
    run.wallTime = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const auto cpu = [](const rusage& usage) {
        return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    };
    run.cpuTime = cpu(after) - cpu(before);
    if (readEnd >= 0) {
        close(readEnd);
    }
    if (inputEnds[1] >= 0) {
        close(inputEnds[1]);
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
                  std::chrono::seconds timeout, Input input = Input::Inherited) {
    std::vector<std::string> command = toolCommand(binary);
    const std::string program = command.front();
    command.erase(command.begin());
    command.insert(command.end(), args.begin(), args.end());
    return runProgram(program, command, sink, timeout, input);
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, Sink sink, std::chrono::seconds timeout,
                Input input) {
    return runBinary(POWERFACTS_BINARY, args, sink, timeout, input);
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
