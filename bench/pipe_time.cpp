// Times one run of `WRITER | READER` for bench/run: the wall time from
// starting both to the end of both, with the reader's output and messages
// (dd's closing figures) going to /dev/null. With CPU numbers other than -1, each side is first
// pinned to its CPU (Linux only: elsewhere pinning is refused), so that writer and reader run
// apart, on two CPUs, or together on one, as on a busy or a one-CPU machine. It starts the two
// programs itself, with no shell, so that a run of a few milliseconds is timed without a shell's
// start-up.
//
//   pipe_time WRITER_CPU READER_CPU WRITER [ARGS...] -- READER [ARGS...]
//   prints SECONDS
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool pin(int cpu) {
    if (cpu < 0) {
        return true;
    }
#ifdef __linux__
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
#else
    return false;
#endif
}

// Starts `argv` on `cpu` reading `in` and writing `out`; every other
// descriptor of the pipe is closed in the child, so that the reader sees the
// end once the writer is done.
pid_t start(char** argv, int cpu, int in, int out, int err, const int (&ends)[2]) {
    const pid_t child = fork();
    if (child == 0) {
        if (!pin(cpu)) {
            std::fprintf(stderr, "pipe_time: cannot pin %s to CPU %d\n", argv[0], cpu);
            _exit(126);
        }
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(ends[0]);
        close(ends[1]);
        execvp(argv[0], argv);
        _exit(127);
    }
    return child;
}

}  // namespace

int main(int argc, char** argv) {
    int split = 4;
    while (split < argc && std::strcmp(argv[split], "--") != 0) {
        ++split;
    }
    if (argc < 6 || split >= argc - 1) {
        std::fputs("usage: pipe_time WRITER_CPU READER_CPU WRITER [ARGS...] -- READER [ARGS...]\n",
                   stderr);
        return 2;
    }
    argv[split] = nullptr;
    int ends[2];
    const int null = open("/dev/null", O_RDWR);
    if (null < 0 || pipe(ends) != 0) {
        std::perror("pipe_time");
        return 1;
    }
    const auto begun = std::chrono::steady_clock::now();
    const pid_t writer = start(argv + 3, std::atoi(argv[1]), null, ends[1], STDERR_FILENO, ends);
    const pid_t reader = start(argv + split + 1, std::atoi(argv[2]), ends[0], null, null, ends);
    close(ends[0]);
    close(ends[1]);
    int failed = 0;
    for (const pid_t child : {writer, reader}) {
        int status = 0;
        waitpid(child, &status, 0);
        failed |= !WIFEXITED(status) || WEXITSTATUS(status) != 0 ? 1 : 0;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begun;
    if (failed != 0) {
        std::fputs("pipe_time: writer or reader failed\n", stderr);
        return 1;
    }
    std::printf("%.6f\n", took.count());
    return 0;
}
