#include "archive/people.h"

#include <algorithm>
#include <numeric>
#include <tuple>
#include <unordered_map>

#include "archive/names.h"
#include "core/text.h"

namespace chatterwick::archive {

namespace {

constexpr std::string_view kAutoReply = " <AUTO-REPLY>";

// A word with a letter in it. Characters of two or three UTF-8 bytes are
// taken as letters (accented Latin, Cyrillic, CJK…); four-byte ones are
// mostly emoji, which make no name.
bool HasLetter(std::string_view word) {
  return std::any_of(word.begin(), word.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC2 && c <= 0xEF);
  });
}

// A name full enough to tell a person by: two words or more with letters.
// "Bob Jones" is; "bob", "Carol" and "Victor 🎸" are not.
bool IsFullName(std::string_view name) {
  int words = 0;
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find(' ', start);
    if (end == std::string_view::npos) end = name.size();
    if (HasLetter(name.substr(start, end - start))) ++words;
    start = end + 1;
  }
  return words >= 2;
}

struct SenderTotals {
  std::set<int64_t> contacts;
  int64_t conversations = 0, messages = 0;
  bool a_handle = false;  // no more than the handle of a contact it wrote to
};

// The names the account's user writes under: the sender found under the
// most of its contacts (then one the user is known by on another account,
// then in most conversations), with the variants of that name and of the
// account's own, and any sender in nearly every conversation of the
// account. A sender that is a contact's own handle is that contact.
// elsewhere: the user's names found on other accounts, folded.
std::set<std::string> FindMe(const std::vector<const ContactSenders*>& contacts,
                             const std::set<std::string>& elsewhere) {
  std::map<std::string, SenderTotals> totals;
  int64_t conversations = 0;
  for (const ContactSenders* c : contacts) {
    conversations += c->conversations;
    for (const auto& s : c->senders) {
      SenderTotals& t = totals[s.name];
      t.contacts.insert(c->id);
      t.conversations += s.conversations;
      t.messages += s.messages;
      t.a_handle = t.a_handle || !MoreThanHandle(s.name, c->handle);
    }
  }
  const std::string account = contacts.empty() ? "" : FoldForSearch(contacts[0]->account);
  auto rank = [&](const std::string& name, const SenderTotals& t) {
    const std::string folded = FoldForSearch(name);
    const bool own = folded == account || folded.rfind(account + "/", 0) == 0;
    return std::make_tuple(t.contacts.size(), elsewhere.count(folded) > 0, t.conversations, own,
                           t.messages);
  };
  const std::pair<const std::string, SenderTotals>* best = nullptr;
  for (const auto& entry : totals) {
    if (entry.second.a_handle) continue;
    if (!best || rank(entry.first, entry.second) > rank(best->first, best->second)) best = &entry;
  }
  std::set<std::string> me;
  if (!best) return me;
  const std::string primary = FoldForSearch(best->first);
  for (const auto& [name, t] : totals) {
    const std::string folded = FoldForSearch(name);
    const bool variant = folded == primary || !MoreThanHandle(name, contacts[0]->account);
    const bool everywhere = t.contacts.size() >= 2 && t.conversations * 10 >= conversations * 9;
    if ((variant || everywhere) && !t.a_handle) me.insert(name);
  }
  return me;
}

// The user's names on every account: first where an account has several
// contacts to tell them by, then, knowing those, on the others.
std::map<int64_t, std::set<std::string>> FindMeEverywhere(
    const std::vector<ContactSenders>& contacts) {
  std::map<int64_t, std::vector<const ContactSenders*>> by_account;
  for (const ContactSenders& c : contacts) by_account[c.account_id].push_back(&c);
  std::map<int64_t, std::set<std::string>> me;
  std::set<std::string> known;
  for (const auto& [account, its] : by_account) {
    if (its.size() < 2) continue;
    me[account] = FindMe(its, {});
    for (const std::string& name : me[account]) known.insert(FoldForSearch(name));
  }
  for (const auto& [account, its] : by_account)
    if (its.size() < 2) me[account] = FindMe(its, known);
  return me;
}

// The name a contact's own messages carry most, when it says more than the
// handle; empty otherwise.
std::string KnownName(const ContactSenders& c, const std::set<std::string>& me) {
  const ContactSenders::Sender* best = nullptr;
  for (const auto& s : c.senders)
    if (!me.count(s.name) && !s.name.empty() && (!best || s.messages > best->messages)) best = &s;
  return best && MoreThanHandle(best->name, c.handle) ? best->name : "";
}

// Groups of contact indexes, joined one pair at a time.
class Groups {
 public:
  explicit Groups(size_t n) : parent_(n), why_(n) { std::iota(parent_.begin(), parent_.end(), 0); }
  size_t Root(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void Join(size_t a, size_t b, const std::string& why) {
    a = Root(a);
    b = Root(b);
    if (a == b) return;
    parent_[b] = a;
    why_[a].insert(why);
    why_[a].insert(why_[b].begin(), why_[b].end());
  }
  std::string Why(size_t root) const {
    std::string text;
    for (const std::string& w : why_[root]) text += (text.empty() ? "" : "; ") + w;
    return text;
  }

 private:
  std::vector<size_t> parent_;
  std::vector<std::set<std::string>> why_;
};

// Joins what is certain among the contacts at free: one handle on several
// accounts of its protocol, and one full name that is not the user's.
void JoinCertain(const std::vector<ContactSenders>& contacts, const std::vector<size_t>& free,
                 const People& found, const std::set<std::string>& me_names, Groups& groups) {
  std::map<std::pair<std::string, std::string>, size_t> by_handle;
  std::map<std::string, size_t> by_name;
  for (size_t i : free) {
    const ContactSenders& c = contacts[i];
    const auto [at, fresh] = by_handle.emplace(std::make_pair(c.protocol, c.handle), i);
    if (!fresh && contacts[at->second].account_id != c.account_id)
      groups.Join(at->second, i,
                  "the same handle, " + c.handle + ", on two " + c.protocol + " accounts");
    const auto known = found.known_names.find(c.id);
    if (known == found.known_names.end() || !IsFullName(known->second)) continue;
    const std::string folded = FoldForSearch(known->second);
    if (me_names.count(folded)) continue;
    const auto [named, first] = by_name.emplace(folded, i);
    if (!first) groups.Join(named->second, i, "messages signed \"" + known->second + "\"");
  }
}

std::string ShownName(const ContactSenders& c, const People& found) {
  const auto known = found.known_names.find(c.id);
  return known != found.known_names.end() ? known->second : c.handle;
}

// The name of a group the grouping made: its members' most used known name.
std::string GroupName(const std::vector<ContactSenders>& contacts,
                      const std::vector<size_t>& members, const People& found) {
  std::map<std::string, int64_t> weight;
  for (size_t i : members) {
    int64_t messages = 0;
    for (const auto& s : contacts[i].senders) messages += s.messages;
    weight[ShownName(contacts[i], found)] += messages + 1;
  }
  return std::max_element(weight.begin(), weight.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; })
      ->first;
}

struct Draft {
  std::string name, why;
  std::vector<int64_t> contacts;
  bool chosen = false;  // the user named it
};

// Makes names unique: a chosen name stays; another that is taken gets its
// protocol, then a number.
void MakeNamesUnique(std::vector<Draft>& drafts, const std::vector<std::string>& protocols) {
  std::set<std::string> taken;
  for (const Draft& d : drafts)
    if (d.chosen) taken.insert(d.name);
  for (size_t i = 0; i < drafts.size(); ++i) {
    Draft& d = drafts[i];
    if (d.chosen) continue;
    std::string name = d.name;
    if (taken.count(name)) name = d.name + " (" + protocols[i] + ")";
    for (int n = 2; taken.count(name); ++n) name = d.name + " (" + std::to_string(n) + ")";
    d.name = name;
    taken.insert(name);
  }
}

// The groups among the contacts at free, each as a draft person.
std::vector<Draft> CertainGroups(const std::vector<ContactSenders>& contacts,
                                 const std::vector<size_t>& free, const People& found,
                                 const std::map<std::string, std::string>& renamed) {
  std::set<std::string> me_names;
  for (const auto& [account, names] : found.me)
    for (const std::string& name : names) me_names.insert(FoldForSearch(name));
  Groups groups(contacts.size());
  JoinCertain(contacts, free, found, me_names, groups);
  std::map<size_t, std::vector<size_t>> members;
  for (size_t i : free) members[groups.Root(i)].push_back(i);
  std::vector<Draft> drafts;
  for (const auto& [root, group] : members) {
    Draft d{GroupName(contacts, group, found), groups.Why(root), {}, false};
    // A renamed person may be renamed again: follow the chain, never round.
    for (int hops = 0; hops < 16 && renamed.count(d.name); ++hops) {
      d.name = renamed.at(d.name);
      d.chosen = true;
    }
    for (size_t i : group) d.contacts.push_back(contacts[i].id);
    drafts.push_back(std::move(d));
  }
  return drafts;
}

}  // namespace

People GroupPeople(const std::vector<ContactSenders>& contacts,
                   const std::vector<PersonChoice>& choices) {
  People found;
  found.me = FindMeEverywhere(contacts);
  for (const ContactSenders& c : contacts) {
    if (c.room) continue;
    const std::string known = KnownName(c, found.me[c.account_id]);
    if (!known.empty()) found.known_names[c.id] = known;
  }
  std::map<std::string, std::string> merged, renamed;
  std::set<std::string> split;
  for (const PersonChoice& choice : choices) {
    if (choice.kind == PersonChoice::Kind::kMerge) merged[choice.subject] = choice.person;
    else if (choice.kind == PersonChoice::Kind::kSplit) split.insert(choice.subject);
    else renamed[choice.subject] = choice.person;
  }
  std::vector<size_t> free;
  for (size_t i = 0; i < contacts.size(); ++i)
    if (!contacts[i].room && !merged.count(contacts[i].handle_text) &&
        !split.count(contacts[i].handle_text))
      free.push_back(i);
  std::vector<Draft> drafts = CertainGroups(contacts, free, found, renamed);
  for (const ContactSenders& c : contacts) {
    if (c.room) continue;
    if (split.count(c.handle_text)) drafts.push_back({ShownName(c, found), "", {c.id}, false});
    const auto into = merged.find(c.handle_text);
    if (into == merged.end()) continue;
    auto draft = std::find_if(drafts.begin(), drafts.end(),
                              [&](const Draft& d) { return d.name == into->second; });
    if (draft == drafts.end()) draft = drafts.insert(drafts.end(), {into->second, "", {}, true});
    draft->chosen = true;
    if (draft->why.find("joined by you") == std::string::npos)
      draft->why = draft->why.empty() ? "joined by you" : draft->why + "; joined by you";
    draft->contacts.push_back(c.id);
  }
  std::vector<std::string> protocols;
  std::map<int64_t, const ContactSenders*> by_id;
  for (const ContactSenders& c : contacts) by_id[c.id] = &c;
  for (const Draft& d : drafts) protocols.push_back(by_id.at(d.contacts.front())->protocol);
  MakeNamesUnique(drafts, protocols);
  for (Draft& d : drafts)
    found.persons.push_back({d.name, d.contacts.size() > 1 ? d.why : "", std::move(d.contacts)});
  return found;
}

std::string SenderName(std::string_view written) {
  std::string_view s = text::TrimBlanks(written);
  if (s.size() >= kAutoReply.size() && s.substr(s.size() - kAutoReply.size()) == kAutoReply)
    s = text::TrimBlanks(s.substr(0, s.size() - kAutoReply.size()));
  return std::string(s);
}

std::string HandleText(const std::string& protocol, const std::string& account,
                       const std::string& contact) {
  return protocol + "/" + account + "/" + contact;
}

bool MoreThanHandle(const std::string& name, const std::string& handle) {
  std::string folded = FoldForSearch(name);
  std::string h = FoldForSearch(handle);
  if (folded == h) return false;
  for (std::string* address : {&folded, &h}) {
    const size_t at = address->find('@'), slash = address->find('/', at);
    if (at != std::string::npos && slash != std::string::npos) address->resize(slash);
  }
  const size_t colon = h.find(':');
  if (colon != std::string::npos && h.find('@') != std::string::npos && colon < h.find('@'))
    h.erase(0, colon + 1);
  return folded != h && folded != h.substr(0, h.find('@'));
}

}  // namespace chatterwick::archive
