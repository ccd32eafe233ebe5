// Times a command for bench/run, portably: the best wall time of RUNS runs
// and the peak resident memory of the largest process it started. It stands
// in for GNU time's -f and date's %N, which macOS lacks. The command's own
// standard output goes to /dev/null; a pipeline runs as `sh -c '...'`.
//
//   measure RUNS PROGRAM [ARGS...]   prints "SECONDS PEAK_KIB"
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3 || std::atoi(argv[1]) < 1) {
        std::fputs("usage: measure RUNS PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "measure: %s failed\n", argv[2]);
            return 1;
        }
        if (run == 0 || took.count() < best) {
            best = took.count();
        }
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
#ifdef __APPLE__
    const long peakKiB = usage.ru_maxrss / 1024;  // bytes there
#else
    const long peakKiB = usage.ru_maxrss;
#endif
    std::printf("%.6f %ld\n", best, peakKiB);
    return 0;
}
