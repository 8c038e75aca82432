#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// People rather than handles: the name a contact's messages carry, the
// names the account's user writes under ("me"), and which contacts are one
// person, from what the logs say and what the user chose. No SQL here.
namespace chatterwick::archive {

// A sender as the grouping counts it: without the client's " <AUTO-REPLY>"
// mark and the blanks around it.
std::string SenderName(std::string_view written);

// "PROTOCOL/ACCOUNT/CONTACT": how the user names one handle.
std::string HandleText(const std::string& protocol, const std::string& account,
                       const std::string& contact);

// True when name says more than the handle does: not the handle itself,
// nor its part before "@", nor it without a "sip:"-like scheme or a
// "/resource", letter case and accents aside.
bool MoreThanHandle(const std::string& name, const std::string& handle);

// One contact as the grouping sees it: its names and who wrote how much.
struct ContactSenders {
  struct Sender {
    std::string name;  // as SenderName gives it
    int64_t messages = 0, conversations = 0;
  };
  int64_t id = 0, account_id = 0;
  std::string protocol, account, handle;  // as people know them
  std::string handle_text;                // HandleText of the names on the disk
  bool room = false;                      // a chat room: never a person
  int64_t conversations = 0;
  std::vector<Sender> senders;
};

// What the user said about people, kept by handle and name so that it
// outlives every regrouping: a handle merged into a person, a handle split
// out to stand alone, a person renamed (subject: the old name).
struct PersonChoice {
  enum class Kind { kMerge, kSplit, kRename };
  Kind kind = Kind::kMerge;
  std::string subject, person;
};

struct Person {
  std::string name;
  std::string why;  // why its contacts are one person; empty for one contact
  std::vector<int64_t> contacts;
};

struct People {
  std::map<int64_t, std::string> known_names;   // contact -> name its messages carry
  std::map<int64_t, std::set<std::string>> me;  // account -> its user's sender names
  std::vector<Person> persons;                  // every contact but the rooms, once
};

// Finds names and "me", groups the contacts where that is certain (one
// handle on several accounts of a protocol; one full name that is more
// than a handle), then applies the choices, which always win. Person names
// are unique; a name the user chose is never changed to make them so.
People GroupPeople(const std::vector<ContactSenders>& contacts,
                   const std::vector<PersonChoice>& choices);

}  // namespace chatterwick::archive
