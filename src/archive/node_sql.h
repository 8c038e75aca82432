#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/sqlite_db.h"
#include "core/status.h"

// A place in the archive's tree, and the SQL of what lies below it.
namespace chatterwick::archive {

// A protocol, an account, a contact or a person, or the whole archive.
struct NodeRef {
  enum class Level { kEverything, kProtocol, kAccount, kContact, kPerson };
  Level level = Level::kEverything;
  int64_t id = 0;  // of the protocol, account, contact or person
};

// The conversations below a node, as SQL over "conversation v" (and the
// parameter it binds as ?1).
std::string BelowNode(const NodeRef& node);

// Runs sql, binding node's id as ?1, and calls row for each result row.
template <typename Row>
Status ForEachRow(Database& db, const std::string& sql, const NodeRef& node, Row&& row) {
  Statement st;
  Status s = st.Prepare(db, sql.c_str());
  if (!s.ok()) return s;
  if (st.Parameters() > 0) st.Bind(1, node.id);
  bool more = false;
  while ((s = st.Step(&more)).ok() && more) row(st);
  return s;
}

}  // namespace chatterwick::archive
