// Runs a command and prints its wall time, CPU time and peak memory, for the
// benchmark script; the command's own output is discarded. Usage: measure_run FLOOR_MS EXCHANGES command [args...]
// With EXCHANGES 0 the figures are printed without the targets of the worked
// example (for the large-file figure).
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FLOOR_MS EXCHANGES command [args...]\n", argv[0]);
    return 2;
  }
  const double floorMs = std::atof(argv[1]);
  const int exchanges = std::atoi(argv[2]);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    // The measured command's own output would mix with the figures.
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) {
    std::perror("measure_run");
    return 2;
  }
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const double cpuMs = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                       usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;

  std::printf("exit status           %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::printf("wall time             %.1f ms (floor of the fixed waits: %.0f ms)\n", wallMs, floorMs);
  if (exchanges == 0) {
    std::printf("overhead              %.1f ms over the fixed waits\n", wallMs - floorMs);
    std::printf("CPU time              %.1f ms\n", cpuMs);
    std::printf("peak memory           %.2f MB\n", usage.ru_maxrss / 1024.0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  }
  std::printf("overhead per exchange %.2f ms over %d exchanges (target < 5 ms)\n",
              (wallMs - floorMs) / exchanges, exchanges);
  std::printf("CPU time              %.1f ms (target < 50 ms)\n", cpuMs);
  std::printf("peak memory           %.2f MB (target < 8 MB)\n", usage.ru_maxrss / 1024.0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
