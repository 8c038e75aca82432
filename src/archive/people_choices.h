#pragma once

#include <string>
#include <vector>

#include "core/env.h"
#include "core/status.h"

// What the user says about people: kept in person_choice by handle and
// name, so that every later grouping, run, source and upgrade keeps it.
namespace chatterwick::archive {

// Each holds the archive's lock as a run does (Busy while another holds
// it), applies the choice whole or not at all, and groups again.
// InvalidData, saying why, for a name empty or only blanks, a handle that
// names no contact, more than one, or a chat room, or a rename from a
// person that does not exist or onto one that does.

// The contacts handles name join the person called person (made when there
// is none), and its present contacts stay with it.
Status MergeIntoPerson(Env& env, const std::string& db_path, const std::string& person,
                       const std::vector<std::string>& handles);
// The contact handle names stands alone from now on.
Status SplitFromPerson(Env& env, const std::string& db_path, const std::string& handle);
Status RenamePerson(Env& env, const std::string& db_path, const std::string& from,
                    const std::string& to);

}  // namespace chatterwick::archive
