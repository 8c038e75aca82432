#include "core/output_folder.h"

#include <gtest/gtest.h>

#include "testing/mem_env.h"

namespace chatterwick {
namespace {

TEST(OutputFolderTest, BesideABuiltProgramWhenItMayWriteThereElseTheUsersDataFolder) {
  struct Case {
    const char* what;
    bool build_folder, output_exists, output_writable, app_writable;
    const char* xdg;   // nullptr: not set
    const char* home;  // nullptr: not set
    const char* want;
  };
  const Case cases[] = {
      {"a folder beside it", true, true, true, true, nullptr, "/home/ann", "/opt/cw/output/"},
      {"made there when needed", true, false, false, true, nullptr, "/home/ann", "/opt/cw/output/"},
      {"installed, even where it may write (root)", false, true, true, true, nullptr, "/root",
       "/root/.local/share/chatterwick/output/"},
      {"installed read-only", true, true, false, false, "/home/ann/.data", "/home/ann",
       "/home/ann/.data/chatterwick/output/"},
      {"no output, program folder read-only", true, false, false, false, nullptr, "/home/ann/",
       "/home/ann/.local/share/chatterwick/output/"},
      {"a relative XDG_DATA_HOME is ignored", false, true, false, false, "data", "/home/ann",
       "/home/ann/.local/share/chatterwick/output/"},
      {"an empty XDG_DATA_HOME is ignored", false, true, false, false, "", "/home/ann",
       "/home/ann/.local/share/chatterwick/output/"},
      {"no HOME: no place", false, false, false, false, nullptr, nullptr, ""},
      {"an empty HOME: no place", false, false, false, false, nullptr, "", ""},
  };
  for (const Case& c : cases) {
    MemEnv env;
    env.SetApplicationFolder("/opt/cw");
    env.PutFolder("/opt/cw");
    if (c.build_folder) env.PutFile("/opt/cw/CMakeCache.txt", "");
    if (c.home) env.SetVariable("HOME", c.home);
    // Names are matched exactly: these are other variables.
    env.SetVariable("home", "/lower");
    env.SetVariable("xdg_data_home", "/lower");
    if (c.xdg) env.SetVariable("XDG_DATA_HOME", c.xdg);
    if (c.output_exists) env.PutFolder("/opt/cw/output");
    if (!c.output_writable) env.SetReadOnly("/opt/cw/output");
    if (!c.app_writable) env.SetReadOnly("/opt/cw");
    EXPECT_EQ(OutputFolder(env), c.want) << c.what;
  }
}

}  // namespace
}  // namespace chatterwick
