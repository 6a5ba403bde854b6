// quorvel-host run as a person runs it, from the tests: its exit status and
// what it printed. QUORVEL_HOST_PATH names the built host.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "TestSupport.h"

struct HostRun {
  int status;
  std::string out, err;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The host with `args`, its settings in `configHome`, after `environment`
// (assignments for the shell, as "QT_QPA_PLATFORM=offscreen").
inline HostRun Host(const std::string& args, const std::string& configHome, const std::string& environment = "") {
  TempDir out;
  std::string cmd = environment + " XDG_CONFIG_HOME=" + Quoted(configHome) + " " + Quoted(QUORVEL_HOST_PATH) + " " +
                    args + " >" + Quoted(out / "out") + " 2>" + Quoted(out / "err");
  int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out / "out"), ReadText(out / "err")};
}
