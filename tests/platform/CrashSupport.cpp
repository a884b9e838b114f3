#include "CrashSupport.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

int crashRounds() {
  const char* rounds = std::getenv("OSTREL_CRASH_ROUNDS");
  return rounds && std::atoi(rounds) > 0 ? std::atoi(rounds) : 60;
}

std::string killWriterMidLoop(const std::string& helper, const std::vector<std::string>& args,
                              unsigned delayMicros) {
  std::vector<char*> argv{const_cast<char*>(helper.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execv(helper.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string failure;
  // Wait until it has finished one write of its own, so the kill lands inside the loop.
  pollfd p{out[0], POLLIN, 0};
  char c = 0;
  if (poll(&p, 1, 30000) != 1 || read(out[0], &c, 1) != 1) failure = "helper never wrote";
  // The instant of the kill is what the tests vary; nothing is awaited here.
  if (failure.empty()) usleep(delayMicros);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  close(out[0]);
  if (failure.empty() && !WIFSIGNALED(status))
    failure = "helper stopped on its own, status " + std::to_string(status);
  return failure;
}
