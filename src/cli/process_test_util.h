// Runs the command-line program as a child process, for the tests that
// need signals, links, permissions or a real terminal-less process.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_tree.h"

namespace chatterwick {

struct Process {
  pid_t pid = -1;
  std::string out_path, err_path;
};

// A user with no rights of its own, for what root may always do.
inline constexpr uid_t kNobody = 65534;

// Whether a test that runs the program as kNobody can: not as root, where
// it runs as its own user, or as root where that user exists.
inline bool CanRunAsNobody() { return ::geteuid() != 0 || ::getpwuid(kNobody) != nullptr; }

// The program where kNobody may run it: the build folder may lie in a home
// only its owner may enter (a clone in /root), so a copy goes into a folder
// of its own that anyone may enter, once, and goes with the process.
inline const std::string& ProgramForAnyone() {
  static const struct Copy {
    std::string folder, program;
    Copy() {
      std::string templ = "/tmp/chatterwick-program-XXXXXX";
      if (!::mkdtemp(templ.data())) return;
      folder = templ;
      program = folder + "/chatterwick-cli";
      std::error_code error;
      std::filesystem::copy_file(CHATTERWICK_CLI, program, error);
      if (error || ::chmod(folder.c_str(), 0755) != 0 || ::chmod(program.c_str(), 0755) != 0)
        program.clear();
    }
    ~Copy() {
      std::error_code error;
      if (!folder.empty()) std::filesystem::remove_all(folder, error);
    }
  } copy;
  return copy.program;
}

// Starts the program with stdout and stderr into files under t (or stdout
// onto stdout_path when given); as kNobody when as_nobody and this is root.
inline Process Start(const testing::TempTree& t, const std::vector<std::string>& args,
                     const std::string& stdout_path = "", bool as_nobody = false) {
  static int n = 0;
  Process p;
  p.out_path = stdout_path.empty() ? t.Path("stdout." + std::to_string(++n)) : stdout_path;
  p.err_path = t.Path("stderr." + std::to_string(n));
  const bool other_user = as_nobody && ::geteuid() == 0;
  std::vector<std::string> argv_text = {other_user ? ProgramForAnyone() : CHATTERWICK_CLI};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  p.pid = ::fork();
  if (p.pid == 0) {
    int out = ::open(p.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(p.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (other_user &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(126);
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return p;
}

// The exit status, or 128 + the signal that ended the process.
inline int Wait(const Process& p) {
  int status = 0;
  ::waitpid(p.pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline std::string ReadFile(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

struct Ran {
  int status;
  std::string out, err;
};

inline Ran RunToEnd(const testing::TempTree& t, const std::vector<std::string>& args,
                    bool as_nobody = false) {
  Process p = Start(t, args, "", as_nobody);
  int status = Wait(p);
  return {status, ReadFile(p.out_path), ReadFile(p.err_path)};
}

}  // namespace chatterwick
