#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/search_index.h"
#include "archive/sqlite_db.h"

namespace chatterwick::testing {

// What sql gives from the database at path, read-only, with its full-text
// index attached as a reader has it: one text a row, its columns joined by
// "|". A failure to open or prepare fails the test.
inline std::vector<std::string> SqlRows(const std::string& path, const std::string& sql) {
  archive::Database d;
  EXPECT_TRUE(d.Open(path, true).ok()) << path;
  bool attached = false;
  archive::AttachSearchIndex(d, d.FileName(), &attached).IgnoreError();
  archive::Statement st;
  const Status s = st.Prepare(d, sql.c_str());
  EXPECT_TRUE(s.ok()) << sql << ": " << s.message();
  std::vector<std::string> rows;
  bool row = false;
  while (s.ok() && st.Step(&row).ok() && row) {
    std::string text;
    for (int i = 0; i < st.Columns(); ++i) text += (i ? "|" : "") + std::string(st.Text(i));
    rows.push_back(text);
  }
  return rows;
}

}  // namespace chatterwick::testing
