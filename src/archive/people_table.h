#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/people.h"
#include "core/status.h"

// The people of an archive as its tables hold them: the SQL of grouping
// again and of listing.
namespace chatterwick::archive {

class Database;

// Finds names, "me" and people again from the sender tallies and the
// user's choices, and writes them in place of the last grouping. The
// caller holds a transaction.
Status Regroup(Database& db);

// One contact with its person, names as people know them.
struct PersonRow {
  std::string person;  // empty for a chat room
  std::string why;     // why its person's contacts are one
  std::string protocol, account, contact, known_name;
  std::string handle;     // HandleText of the names on the disk
  int64_t person_id = 0;  // 0 for a chat room
  int64_t contact_id = 0, conversations = 0, messages = 0;
};

// Every contact, by person, then protocol, account and contact. None for an
// archive made before people were kept.
Status ListPeople(Database& db, std::vector<PersonRow>* rows);

// The contacts typed names: a handle (PROTOCOL/ACCOUNT/CONTACT, as on the
// disk or as people know them) or a contact's name (its known name or its
// handle alone). InvalidData, naming the candidates, when it names none or
// more than one.
Status FindContact(const std::vector<PersonRow>& rows, const std::string& typed, PersonRow* found);

}  // namespace chatterwick::archive
