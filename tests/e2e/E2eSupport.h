#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Whole-program runs: the real program and simulated panels, each in a network namespace of
// its own on one private bridge, so that each has its own address and its own port 2201.
// Needs root (as CI is); where namespaces cannot be made, tests skip and say why.

// A small LAN: a bridge in the root namespace holding 10.231.N.254/24, and hosts on it.
class TTestLan {
 public:
  // Nothing when namespaces or bridges cannot be made here; `why` then says what failed.
  static std::unique_ptr<TTestLan> create(std::string& why);
  ~TTestLan();

  // A host: a namespace with lo and eth0 holding the address 10.231.N.<hostNumber>/24.
  // Returns the namespace name, or nothing on failure.
  std::optional<std::string> addHost(int hostNumber);
  // A namespace with nothing but its loopback: a machine without a network.
  std::optional<std::string> addIsolatedHost(int hostNumber);
  std::string address(int hostNumber) const;
  std::string bridgeAddress() const { return address(254); }

 private:
  TTestLan() = default;
  int m_subnet = 0;
  std::string m_bridge;
  std::vector<std::string> m_namespaces;
  std::vector<std::string> m_links;
};

// A child process, optionally inside a namespace, with its output kept in files.
class TChild {
 public:
  TChild(std::vector<std::string> argv, std::map<std::string, std::string> env,
         const std::string& netns, const std::string& outputPrefix);
  ~TChild();
  bool running();
  // SIGTERM, then SIGKILL after the grace period. Returns the exit status (or -signal).
  int terminate(std::chrono::milliseconds grace = std::chrono::seconds(5));
  // Waits for the process to end by itself.
  std::optional<int> waitExit(std::chrono::milliseconds deadline);
  std::string output() const;
  std::string errors() const;
  pid_t pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
  std::optional<int> m_status;
  std::string m_out, m_err;
};

// The program under test with a home, settings and temporary folder of its own.
class TProgramRun {
 public:
  explicit TProgramRun(std::string home);
  // Writes the settings store before start: values as regedit lines (name -> "\"text\"" or
  // "dword:0000000a").
  void writeSettings(const std::map<std::string, std::string>& values);
  void start(const std::string& netns);
  TChild& child() { return *m_child; }
  std::string log() const;
  // Waits until the log holds the text (deadline only bounds failures).
  bool waitForLog(const std::string& text,
                  std::chrono::milliseconds deadline = std::chrono::seconds(15)) const;
  bool waitForErrors(const std::string& text,
                     std::chrono::milliseconds deadline = std::chrono::seconds(15)) const;
  const std::string& home() const { return m_home; }

 private:
  std::string m_home;
  std::unique_ptr<TChild> m_child;
};

// Runs a command to its end and returns its stdout; status in `status`.
std::string runCommand(const std::vector<std::string>& argv, int* status = nullptr,
                       const std::string& netns = "");

std::string programPath();
std::string panelSimPath();
