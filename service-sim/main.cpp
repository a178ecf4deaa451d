// attestra-sim: prints the port it listens on as its first line, serves until SIGTERM/SIGINT.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

#include "service-sim/options.h"
#include "service-sim/server.h"

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

int main(int argc, char** argv) {
  sim::Options options;
  try {
    options = sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "attestra-sim: " << e.what() << "\n" << sim::Usage();
    return 2;
  }
  if (options.help) {
    std::cout << sim::Usage();
    return 0;
  }

  // Blocked before any thread starts, so that only the waiting thread below receives them.
  sigset_t stops = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the process

  try {
    sim::SimServer server(options);
    std::printf("%d\n", server.Port());
    std::fflush(stdout);

    std::thread waiter([&server, stops] {
      int received = 0;
      sigwait(&stops, &received);
      server.Stop();
    });
    bool ok = server.Run();
    // Run also ends when serving fails: wake the waiter so it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "attestra-sim: " << e.what() << "\n";
    return 1;
  }
}
