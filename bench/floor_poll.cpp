// The floor the reader is measured against: the simplest blocking poll loop there is.
// Open the port, write a query, read a reply of the length it is told, repeat. No
// time-outs, no recovery, no learning: it only works on a clean line whose reply
// length it knows, which is all a floor needs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: floor_poll DEVICE COUNT [REPLY_BYTES]\n");
        return 2;
    }
    const size_t length = argc == 4 ? static_cast<size_t>(std::atol(argv[3])) : 6;
    if (length < 6 || length > 64) {
        std::fprintf(stderr, "floor_poll: REPLY_BYTES must be 6 to 64\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B19200);
    tio.c_cflag |= PARENB | CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIOFLUSH);

    const long count = std::atol(argv[2]);
    const char query[] = "S00;MSV?;";
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    long sum = 0;
    for (long i = 0; i < count; ++i) {
        if (::write(fd, query, sizeof query - 1) != sizeof query - 1)
            return 1;
        unsigned char reply[64];
        for (size_t got = 0; got < length;) {
            const ssize_t n = ::read(fd, reply + got, length - got);
            if (n <= 0)
                return 1;
            got += static_cast<size_t>(n);
        }
        sum += reply[0];
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("%ld %.6f %.6f\n", count, seconds, cpuSeconds);
    return sum < 0; // keeps the reads from being optimised away
}
