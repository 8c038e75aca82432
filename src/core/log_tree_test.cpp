#include "core/log_tree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "testing/mem_env.h"

namespace chatterwick {
namespace {

using Events = std::vector<std::string>;

// Writes down every call as one text; refuses the folders named in refuse.
class Recorder : public LogTreeVisitor {
 public:
  bool OnFolder(TreeLevel level, const std::string& name, int32_t parent_id, int32_t* id) override {
    events.push_back("folder " + std::to_string(static_cast<int>(level)) + " " + name + " <" +
                     std::to_string(parent_id));
    for (const std::string& r : refuse)
      if (r == name) return false;
    *id = ++last_id;
    return true;
  }
  void OnLog(LogFileRef&& log, int32_t contact_id) override {
    events.push_back("log " + log.protocol + "|" + log.account + "|" + log.contact + "|" +
                     log.file_name + " " + log.path + " <" + std::to_string(contact_id));
    if (stop_after_logs && --stop_after_logs == 0) stop->store(2);
  }
  void OnUnreadable(const std::string& folder, const std::string& entry,
                    const Status& why) override {
    events.push_back("unreadable " + folder + " [" + entry + "] " + why.message());
  }

  Events events;
  std::vector<std::string> refuse;
  int32_t last_id = 0;
  int stop_after_logs = 0;
  std::atomic<int>* stop = nullptr;
};

TEST(LogTreeTest, EveryFolderOfALevelComesBeforeAnyOfThemIsEntered) {
  MemEnv env;
  for (const char* f : {"/r/q/a/c/2.html", "/r/p/b/c/1.html", "/r/p/a/d/1.html", "/r/p/a/c/1.html",
                        "/r/p/a/c/notes.txt"})
    env.PutFile(f, "<title>t</title>\n");
  Recorder r;
  WalkLogTree(env, "/r/", "*.html", r);
  EXPECT_EQ(r.events, (Events{
                          "folder 0 p <0",
                          "folder 0 q <0",
                          "folder 1 a <1",
                          "folder 1 b <1",
                          "folder 2 c <3",
                          "folder 2 d <3",
                          "log p|a|c|1.html /r/p/a/c/1.html <5",
                          "log p|a|d|1.html /r/p/a/d/1.html <6",
                          "folder 2 c <4",
                          "log p|b|c|1.html /r/p/b/c/1.html <7",
                          "folder 1 a <2",
                          "folder 2 c <8",
                          "log q|a|c|2.html /r/q/a/c/2.html <9",
                      }));
}

TEST(LogTreeTest, AMaskOfSeveralPatternsTakesAFileAnyOfThemMatches) {
  MemEnv env;
  for (const char* f : {"/r/p/a/c/1.html", "/r/p/a/c/1.TXT", "/r/p/a/c/1.htm", "/r/p/a/c/notes"})
    env.PutFile(f, "x");
  Recorder r;
  WalkLogTree(env, "/r/", "*.html;*.txt", r);
  EXPECT_EQ(r.events, (Events{
                          "folder 0 p <0",
                          "folder 1 a <1",
                          "folder 2 c <2",
                          "log p|a|c|1.html /r/p/a/c/1.html <3",
                          "log p|a|c|1.TXT /r/p/a/c/1.TXT <3",
                      }));
}

TEST(LogTreeTest, PassesOverTheClientsOwnFoldersAndWhatTheVisitorRefuses) {
  MemEnv env;
  for (const char* f :
       {"/r/p/Old Chat Logs/c/1.html", "/r/p/a/.system/1.html", "/r/.system/a/c/1.html",
        "/r/p/a/skip/1.html", "/r/p/a/c/1.html", "/r/stray.html"})
    env.PutFile(f, "x");
  Recorder r;
  r.refuse = {"skip"};
  WalkLogTree(env, "/r/", "*", r);
  EXPECT_EQ(r.events, (Events{
                          "folder 0 .system <0",
                          "folder 0 p <0",
                          "folder 1 a <1",
                          "folder 2 c <3",
                          "log .system|a|c|1.html /r/.system/a/c/1.html <4",
                          "folder 1 a <2",
                          "folder 2 c <5",
                          "folder 2 skip <5",
                          "log p|a|c|1.html /r/p/a/c/1.html <6",
                      }));
}

TEST(LogTreeTest, WhatCannotBeListedOrExaminedIsToldAndCountsAsEmpty) {
  MemEnv mem;
  for (const char* f : {"/r/p/a/c/1.html", "/r/p/bad/c/1.html", "/r/p/odd/c/1.html"})
    mem.PutFile(f, "x");
  struct Failing : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    Status ListFolder(const std::string& p, ListKind k, std::vector<std::string>* n) override {
      if (p.find("bad") != std::string::npos) return Status::IOError("Permission denied");
      return EnvWrapper::ListFolder(p, k, n);
    }
    Status GetFileKind(const std::string& p, FileKind* k) override {
      if (p.ends_with("odd")) return Status::IOError("Too many levels of symbolic links");
      if (p.ends_with("gone")) return Status::NotFound("No such file or directory");
      return EnvWrapper::GetFileKind(p, k);
    }
  } env(&mem);
  mem.PutFolder("/r/p/gone");
  Recorder r;
  WalkLogTree(env, "/r/", "*.html", r);
  EXPECT_EQ(r.events, (Events{
                          "folder 0 p <0",
                          "folder 1 a <1",
                          "folder 1 bad <1",
                          "unreadable /r/p/ [gone] No such file or directory",
                          "unreadable /r/p/ [odd] Too many levels of symbolic links",
                          "folder 2 c <2",
                          "log p|a|c|1.html /r/p/a/c/1.html <4",
                          "unreadable /r/p/bad/ [] Permission denied",
                      }));
}

TEST(LogTreeTest, AStopEndsTheWalkBeforeTheNextLog) {
  MemEnv env;
  for (int i = 1; i <= 4; ++i) env.PutFile("/r/p/a/c/" + std::to_string(i) + ".html", "x");
  env.PutFile("/r/q/a/c/1.html", "x");
  std::atomic<int> stop{0};
  Recorder r;
  r.stop = &stop;
  r.stop_after_logs = 2;
  WalkLogTree(env, "/r/", "*.html", r, &stop);
  EXPECT_EQ(r.events.back(), "log p|a|c|2.html /r/p/a/c/2.html <4");
}

TEST(LogTreeTest, TheRootIsCheckedFirst) {
  MemEnv env;
  env.PutFile("/file", "x");
  env.PutFolder("/r");
  const std::pair<const char*, const char*> cases[] = {
      {"/r/", ""},
      {"/nowhere/", "No such file or directory"},
      {"/file/", "Not a directory"},
      {"", "no folder named"},
  };
  for (const auto& [root, why] : cases) EXPECT_EQ(CheckLogRoot(env, root).message(), why) << root;
}

}  // namespace
}  // namespace chatterwick
