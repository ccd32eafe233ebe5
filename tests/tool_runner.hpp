#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

inline constexpr std::size_t kHeadBytes = 4096;
inline constexpr std::size_t kSizeLimit = 4096;
// The most of each stream a run keeps: the largest text a test compares
// (n = 20, 215 MB), and messages. A child that writes more fails the test
// at once, with the size, rather than fill the memory or the disk.
inline constexpr std::size_t kOutLimit = std::size_t{256} << 20;
inline constexpr std::size_t kErrLimit = std::size_t{64} << 10;

// Where the child's standard output goes.
enum class Sink {
    File,          // a temporary file, read back into ToolRun::out
    DevFull,       // /dev/full: every write fails with ENOSPC (Linux only)
    SizeLimit,     // a file under a kSizeLimit-byte RLIMIT_FSIZE, SIGXFSZ
                   // ignored: writes past it fail with EFBIG, on any POSIX
    Closed,        // descriptor 1 closed: every write fails with EBADF
    PipeNoReader,  // a pipe whose read end is gone, SIGPIPE ignored: EPIPE
    Pipe,          // a pipe read to its end, into ToolRun::out
    PipeHead,      // a pipe read for its first kHeadBytes, then closed, as by
                   // `| head -c`; SIGPIPE at its default, as under a shell
    Socket,        // a stream socket read to its end, into ToolRun::out, as
                   // a service manager or `nc` hands one over
    // Pipe, Socket and a pseudo-terminal (raw, so that no line feed becomes
    // CR LF), each with O_NONBLOCK set on the tool's end and read slowly
    // (kSlowRead bytes at most, a millisecond apart), so that writes often
    // find it full, as under a CI log streamer or an event loop.
    NonBlockingPipe,
    NonBlockingSocket,
    NonBlockingTerminal,
};
inline constexpr std::size_t kSlowRead = 16 << 10;

// The sink's name, for test names.
inline void PrintTo(Sink sink, std::ostream* os) {
    constexpr const char* kNames[] = {"file",
                                      "full device",
                                      "size limit",
                                      "closed",
                                      "pipe with no reader",
                                      "pipe",
                                      "pipe read in part",
                                      "socket",
                                      "non-blocking pipe",
                                      "non-blocking socket",
                                      "non-blocking terminal"};
    *os << kNames[static_cast<int>(sink)];
}

// Why `sink` cannot be had on this machine, or nullptr where it can.
const char* missingSink(Sink sink);

// What the child finds on standard input, which the tool never reads but
// must not mistake for its output either.
enum class Input {
    Inherited,   // this process's own
    Closed,      // descriptor 0 closed
    SilentPipe,  // a pipe's read end that nothing is ever written to
};

inline void PrintTo(Input input, std::ostream* os) {
    constexpr const char* kNames[] = {"inherited input", "input closed", "silent input pipe"};
    *os << kNames[static_cast<int>(input)];
}

struct ToolRun {
    int exitStatus = -1;  // -1 unless the child exited normally
    int signal = 0;       // the signal that ended the child, if one did
    bool timedOut = false;
    std::string out;
    std::string err;
    std::vector<std::size_t> writes;  // the test build's write calls: the bytes each was given
    // From start to end, and the CPU time (user and system) the child spent.
    std::chrono::microseconds wallTime{0};
    std::chrono::microseconds cpuTime{0};
};

// Runs `program` with `args`, waits at most `timeout`, and collects what it
// wrote. A child still running at the timeout is killed and reported.
ToolRun runProgram(const std::string& program, const std::vector<std::string>& args,
                   Sink sink = Sink::File, std::chrono::seconds timeout = std::chrono::seconds(120),
                   Input input = Input::Inherited);

// runProgram on the built powerfacts binary, through the emulator that runs
// the tests where they were cross-built.
ToolRun runTool(const std::vector<std::string>& args, Sink sink = Sink::File,
                std::chrono::seconds timeout = std::chrono::seconds(120),
                Input input = Input::Inherited);

// runTool on the tool's test build, with the faults named in `faults`
// ("" for none; see injected_faults.cpp), its write calls recorded, and,
// where `drain` gives a modelled reader's rates, its clock that reader's.
ToolRun runToolWithFault(const std::string& faults, const std::vector<std::string>& args,
                         Sink sink = Sink::File, const std::string& drain = "");

// The sizes of the write calls a run of the writer makes in this process
// (the test build's calls, linked into the tests): while this lives, each
// write adds a line to a log of its own.
class WriteLog {
public:
    WriteLog();
    ~WriteLog();
    WriteLog(const WriteLog&) = delete;
    WriteLog& operator=(const WriteLog&) = delete;
    std::vector<std::size_t> sizes() const;

private:
    std::string path_;
};

// The words that start a built binary: its path, after the emulator's.
std::vector<std::string> toolCommand(const char* binary = POWERFACTS_BINARY);

// Calls `body` with descriptor 1 redirected to a temporary file and returns
// what it wrote there, for calling the writer in this process. The file is
// read before stdout is flushed: what `body` left in stdout's buffer is lost.
template <typename Body>
std::string captureStdout(Body body);

// Reads a file, at most `limit` bytes of it; fails the current test if it
// cannot.
std::string readFile(const std::string& path, std::size_t limit = kOutLimit);

// A temporary file that is removed when this goes out of scope.
class TempFile {
public:
    TempFile();
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Implementation details of captureStdout.
int redirectStdoutTo(int fd);
void restoreStdout(int saved);

template <typename Body>
std::string captureStdout(Body body) {
    TempFile file;
    const int saved = redirectStdoutTo(file.fd());
    body();
    std::string written = readFile(file.path());
    restoreStdout(saved);
    return written;
}
