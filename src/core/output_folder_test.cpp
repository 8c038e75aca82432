#include "core/output_folder.h"

#include <gtest/gtest.h>

#include "testing/mem_env.h"

namespace chatterwick {
namespace {

TEST(OutputFolderTest, BesideTheProgramWhenItMayWriteThereElseTheUsersDataFolder) {
  struct Case {
    const char* what;
    bool output_exists, output_writable, app_writable;
    const char* xdg;  // nullptr: not set
    const char* want;
  };
  const Case cases[] = {
      {"a folder beside it", true, true, true, nullptr, "/opt/cw/output/"},
      {"made there when needed", false, false, true, nullptr, "/opt/cw/output/"},
      {"installed read-only", true, false, false, "/home/ann/.data",
       "/home/ann/.data/chatterwick/output/"},
      {"no output, program folder read-only", false, false, false, nullptr,
       "/home/ann/.local/share/chatterwick/output/"},
      {"a relative XDG_DATA_HOME is ignored", true, false, false, "data",
       "/home/ann/.local/share/chatterwick/output/"},
      {"an empty XDG_DATA_HOME is ignored", true, false, false, "",
       "/home/ann/.local/share/chatterwick/output/"},
  };
  for (const Case& c : cases) {
    MemEnv env;
    env.SetApplicationFolder("/opt/cw");
    env.PutFolder("/opt/cw");
    env.SetVariable("HOME", "/home/ann");
    if (c.xdg) env.SetVariable("XDG_DATA_HOME", c.xdg);
    if (c.output_exists) env.PutFolder("/opt/cw/output");
    if (!c.output_writable) env.SetReadOnly("/opt/cw/output");
    if (!c.app_writable) env.SetReadOnly("/opt/cw");
    EXPECT_EQ(OutputFolder(env), c.want) << c.what;
  }
}

}  // namespace
}  // namespace chatterwick
