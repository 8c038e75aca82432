#include "archive/node_sql.h"

namespace chatterwick::archive {

std::string BelowNode(const NodeRef& node) {
  switch (node.level) {
    case NodeRef::Level::kContact:
      return "v.contact_id = ?1";
    case NodeRef::Level::kAccount:
      return "v.contact_id IN (SELECT id FROM contact WHERE account_id = ?1)";
    case NodeRef::Level::kProtocol:
      return "v.contact_id IN (SELECT c.id FROM contact c JOIN account a ON a.id = c.account_id "
             "WHERE a.protocol_id = ?1)";
    case NodeRef::Level::kPerson:
      return "v.contact_id IN (SELECT contact_id FROM contact_person WHERE person_id = ?1)";
    case NodeRef::Level::kEverything:
      break;
  }
  return "?1 = ?1";
}

}  // namespace chatterwick::archive
