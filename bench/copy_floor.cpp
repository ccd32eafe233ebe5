// The copy floor for the fact writer: the least work any writer of the same
// bytes can do, copying them from a prepared block of fact text into a
// buffer and writing the buffer out. Built with the same flags as
// powerfacts; bench/run takes the better of two buffer sizes.
//
//   copy_floor BYTES BUFFER_BYTES
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: copy_floor BYTES BUFFER_BYTES\n", stderr);
        return 2;
    }
    unsigned long long left = std::strtoull(argv[1], nullptr, 10);
    const std::size_t bufferSize = std::strtoull(argv[2], nullptr, 10);
    // A MiB of real-looking lines, more than the buffer, so that the copies
    // do not all come from the same few cache lines. Made with to_chars, as
    // cheaply as the tool starts: a short run into a pipe is timed whole.
    constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    static char block[kBlockSize + 64];
    std::size_t made = 0;
    for (unsigned i = 1'000'000; made < kBlockSize; ++i) {
        char* out = block + made;
        out = std::copy_n("powerSet(", 9, out);
        out = std::to_chars(out, out + 10, i).ptr;
        *out++ = ',';
        out = std::to_chars(out, out + 10, i % 31 + 1).ptr;
        out = std::copy_n(").\n", 3, out);
        made = static_cast<std::size_t>(out - block);
    }
    if (bufferSize == 0 || bufferSize > kBlockSize) {
        std::fputs("copy_floor: BUFFER_BYTES must lie in 1..1 MiB\n", stderr);
        return 2;
    }
    auto* buffer = static_cast<char*>(std::malloc(bufferSize));
    std::size_t from = 0;
    while (left > 0) {
        const std::size_t size = left < bufferSize ? static_cast<std::size_t>(left) : bufferSize;
        if (from + size > kBlockSize) {
            from = 0;
        }
        std::memcpy(buffer, block + from, size);
        from += size;
        for (std::size_t done = 0; done < size;) {
            const ssize_t wrote = write(STDOUT_FILENO, buffer + done, size - done);
            if (wrote <= 0) {
                std::perror("copy_floor: write");
                return 1;
            }
            done += static_cast<std::size_t>(wrote);
        }
        left -= size;
    }
    std::free(buffer);
    return 0;
}
