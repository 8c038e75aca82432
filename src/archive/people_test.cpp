#include "archive/people.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_lock.h"
#include "archive/people_choices.h"
#include "archive/people_table.h"
#include "archive/reader.h"
#include "archive/schema.h"
#include "archive/sqlite_db.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/sql_rows.h"
#include "testing/temp_tree.h"

// People rather than handles: names from the logs, "me", the groups made
// where they are certain, and the user's word, which outlives every run.
namespace chatterwick::archive {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(PeopleNamesTest, SendersAndHandles) {
  const std::pair<const char*, const char*> senders[] = {
      {"Bob Jones <AUTO-REPLY>", "Bob Jones"},
      {" [francois]", "[francois]"},
      {"ivan|away <AUTO-REPLY> ", "ivan|away"},
      {"<AUTO-REPLY>", "<AUTO-REPLY>"},
  };
  for (const auto& [written, name] : senders) EXPECT_EQ(SenderName(written), name) << written;

  struct Case {
    const char *name, *handle;
    bool more;
  };
  const Case cases[] = {
      {"Bob Jones", "100000000", true},
      {"bob", "bob", false},
      {"Mallory", "mallory", false},
      {"sip:bob@example.org", "sip:bob@example.org", false},
      {"Bob", "sip:bob@example.org", false},
      {"Carol", "carol@jabber.de", false},
      {"alice.work@corp.example.net/Work", "alice.work@corp.example.net", false},
      {"ZOË", "zoë@example.org", false},
      {"Zoë Ødegård", "zoë@example.org", true},
      {"Дмитрий", "dmitry", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MoreThanHandle(c.name, c.handle), c.more) << c.name << " / " << c.handle;
}

// A contact of account (protocol "p" + account), with senders as name:count,
// each in every one of its conversations.
ContactSenders Contact(int64_t id, int64_t account, const std::string& protocol,
                       const std::string& handle,
                       std::vector<std::pair<std::string, int64_t>> senders,
                       int64_t conversations = 2) {
  ContactSenders c;
  c.id = id;
  c.account_id = account;
  c.protocol = protocol;
  c.account = "me" + std::to_string(account) + "@example.org";
  c.handle = handle;
  c.handle_text = HandleText(protocol, c.account, handle);
  c.room = handle.ends_with(".chat");
  c.conversations = conversations;
  for (auto& [name, count] : senders) c.senders.push_back({name, count, conversations});
  return c;
}

const std::vector<ContactSenders> kContacts = {
    Contact(1, 1, "jabber", "bob@example.org", {{"Bob Jones", 10}, {"Alice", 9}}),
    Contact(2, 1, "jabber", "cs@example.org", {{"Carol", 5}, {"Alice", 5}}),
    Contact(3, 1, "jabber", "room.chat", {{"Bob Jones", 3}, {"alice", 4}, {"Judy", 2}}),
    Contact(4, 2, "jabber", "bob@example.org", {{"Bobby", 3}, {"alice@b", 3}}, 1),
    Contact(5, 3, "icq", "100", {{"Bob Jones", 4}, {"Alice S.", 4}}),
    Contact(6, 3, "icq", "200", {{"Carol", 2}, {"Alice S.", 2}}),
    Contact(7, 4, "irc", "bob", {{"bob", 5}, {"alice", 5}}),
    Contact(8, 4, "irc", "erin_", {{"Erin", 5}, {"alice", 5}}),
    // One contact alone on its account: the user is who they are elsewhere.
    Contact(9, 5, "aim", "dmitry", {{"Дмитрий", 5}, {"Alice", 2}}, 1),
};

// Each person as "name: contact ids".
Strings Persons(const People& people) {
  Strings out;
  for (const Person& p : people.persons) {
    std::string line = p.name + ":";
    std::vector<int64_t> ids = p.contacts;
    std::sort(ids.begin(), ids.end());
    for (int64_t id : ids) line += " " + std::to_string(id);
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(GroupPeopleTest, OnlyWhatIsCertainIsJoined) {
  const People people = GroupPeople(kContacts, {});
  EXPECT_EQ(people.me.at(1), (std::set<std::string>{"Alice", "alice"}));
  EXPECT_EQ(people.me.at(3), (std::set<std::string>{"Alice S."}));
  EXPECT_EQ(people.me.at(4), (std::set<std::string>{"alice"}));
  EXPECT_EQ(people.me.at(5), (std::set<std::string>{"Alice"}));
  EXPECT_EQ(people.known_names.at(1), "Bob Jones");
  EXPECT_EQ(people.known_names.count(7), 0u);  // "bob" says no more than its handle
  // One handle on two jabber accounts, and one full name across protocols;
  // "Carol" is too short a name to join two handles, and rooms are nobody.
  EXPECT_EQ(Persons(people), (Strings{"Bob Jones: 1 4 5", "Carol (icq): 6", "Carol: 2", "Erin: 8",
                                      "bob: 7", "Дмитрий: 9"}));
  const auto bob = std::find_if(people.persons.begin(), people.persons.end(),
                                [](const Person& p) { return p.name == "Bob Jones"; });
  EXPECT_NE(bob->why.find("messages signed \"Bob Jones\""), std::string::npos) << bob->why;
  EXPECT_NE(bob->why.find("the same handle, bob@example.org, on two jabber accounts"),
            std::string::npos)
      << bob->why;
}

TEST(GroupPeopleTest, TheUsersWordWins) {
  using Kind = PersonChoice::Kind;
  const std::string irc_bob = kContacts[6].handle_text, icq_bob = kContacts[4].handle_text;
  const struct {
    const char* what;
    std::vector<PersonChoice> choices;
    Strings persons;
  } cases[] = {
      {"merge into a grouped person",
       {{Kind::kMerge, irc_bob, "Bob Jones"}},
       {"Bob Jones: 1 4 5 7", "Carol (icq): 6", "Carol: 2", "Erin: 8", "Дмитрий: 9"}},
      {"merge into a new person",
       {{Kind::kMerge, kContacts[1].handle_text, "Carol Smith"},
        {Kind::kMerge, kContacts[5].handle_text, "Carol Smith"}},
       {"Bob Jones: 1 4 5", "Carol Smith: 2 6", "Erin: 8", "bob: 7", "Дмитрий: 9"}},
      {"split out: the name it would share gets its protocol",
       {{Kind::kSplit, icq_bob, ""}},
       {"Bob Jones (icq): 5", "Bob Jones: 1 4", "Carol (icq): 6", "Carol: 2", "Erin: 8", "bob: 7",
        "Дмитрий: 9"}},
      {"rename",
       {{Kind::kRename, "Bob Jones", "Robert"}},
       {"Carol (icq): 6", "Carol: 2", "Erin: 8", "Robert: 1 4 5", "bob: 7", "Дмитрий: 9"}},
      {"merge into a person the grouping made",
       {{Kind::kMerge, irc_bob, "Erin"}},
       {"Bob Jones: 1 4 5", "Carol (icq): 6", "Carol: 2", "Erin: 7 8", "Дмитрий: 9"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Persons(GroupPeople(kContacts, c.choices)), c.persons) << c.what;
}

class PeopleArchiveTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");

  ArchiveResult Run(const Strings& roots) {
    return RunArchive(*PosixEnv(), roots, db, kArchiveMask, nullptr, {});
  }
  Strings Rows(const std::string& sql) { return testing::SqlRows(db, sql); }
  // Every handle of person, as on the disk.
  Strings HandlesOf(const std::string& person) {
    return Rows(
        "SELECT p.name || '/' || a.name || '/' || c.name FROM contact c "
        "JOIN account a ON a.id = c.account_id JOIN protocol p ON p.id = a.protocol_id "
        "JOIN contact_person cp ON cp.contact_id = c.id JOIN person pe ON pe.id = "
        "cp.person_id WHERE pe.name = '" +
        person + "' ORDER BY 1");
  }
  Statistics Stats() {
    std::unique_ptr<ArchiveReader> reader;
    Statistics stats;
    EXPECT_TRUE(ArchiveReader::Open(db, &reader).ok());
    EXPECT_TRUE(reader->Stats({}, &stats).ok());
    return stats;
  }
};

const Strings kBobJones = {"icq/123456789/100000000",
                           "jabber/alice.work@corp.example.net/bob@example.org",
                           "jabber/alice@example.com/bob@example.org"};

TEST_F(PeopleArchiveTest, FixtureHandlesOfOneNameAreOnePersonInEitherFormat) {
  SKIP_WITHOUT_FIXTURES();
  SKIP_WITHOUT(testing::TextFixtureRoot());
  for (const fs::path& tree :
       {testing::FixtureRoot() / "real-logs-b", testing::TextFixtureRoot() / "txt-logs-b"}) {
    fs::remove(db);
    ASSERT_EQ(Run({tree.string()}).outcome, ArchiveOutcome::kDone) << tree;
    EXPECT_EQ(HandlesOf("Bob Jones"), kBobJones) << tree;
    // IRC's "bob" and a contact known only by its handle stand alone.
    EXPECT_EQ(HandlesOf("bob (irc)"), Strings{"irc/alice@irc.libera.chat/bob"}) << tree;
    EXPECT_EQ(HandlesOf("sip:bob@example.org"),
              Strings{"simple/alice@example.com/sip%3abob@example.org"});
    EXPECT_EQ(Rows("SELECT count(*) FROM contact c LEFT JOIN contact_person cp ON cp.contact_id = "
                   "c.id WHERE c.name LIKE '%.chat' AND cp.person_id IS NOT NULL"),
              Strings{"0"});
    // The user is one sender, "me", whatever name they wrote under.
    const Statistics stats = Stats();
    Strings senders;
    for (const NamedCount& sender : stats.per_sender) senders.push_back(sender.name);
    for (const char* mine : {"Alice", "alice", "Alice Smith84", "Alice S.", "alice@example.com",
                             "alice.work@corp.example.net/Work"})
      EXPECT_EQ(std::count(senders.begin(), senders.end(), mine), 0) << mine << " in " << tree;
    EXPECT_EQ(std::count(senders.begin(), senders.end(), "me"), 1);
    EXPECT_EQ(std::count_if(senders.begin(), senders.end(),
                            [](const std::string& s) { return s.find("AUTO-REPLY") != s.npos; }),
              0);
    EXPECT_GT(stats.sent, 800);
    EXPECT_EQ(stats.sent + stats.received,
              std::accumulate(stats.per_sender.begin(), stats.per_sender.end(), int64_t{0},
                              [](int64_t n, const NamedCount& p) { return n + p.messages; }));
  }
}

TEST_F(PeopleArchiveTest, ChoicesOutliveLaterRunsAndSources) {
  SKIP_WITHOUT_FIXTURES();
  ASSERT_EQ(Run({(testing::FixtureRoot() / "real-logs-b").string()}).outcome,
            ArchiveOutcome::kDone);
  Env& env = *PosixEnv();
  ASSERT_TRUE(MergeIntoPerson(env, db, "Bob Jones", {"aim/alicesmith84/bob"}).ok());
  ASSERT_TRUE(SplitFromPerson(env, db, "icq/123456789/100000000").ok());
  ASSERT_TRUE(RenamePerson(env, db, "Bob Jones", "Robert Jones").ok());
  ASSERT_TRUE(
      MergeIntoPerson(env, db, "Grace", {"grace_", "irc/alice@irc.libera.chat/mallory"}).ok());
  const Strings robert = {"aim/alicesmith84/bob",
                          "jabber/alice.work@corp.example.net/bob@example.org",
                          "jabber/alice@example.com/bob@example.org"};
  EXPECT_EQ(HandlesOf("Robert Jones"), robert);
  Strings others = {(testing::FixtureRoot() / "real-logs-b").string()};
  if (fs::exists(testing::TextFixtureRoot()))
    others.push_back((testing::TextFixtureRoot() / "txt-logs-b").string());
  ASSERT_EQ(Run(others).outcome, ArchiveOutcome::kDone);
  ASSERT_EQ(Run({}).outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(HandlesOf("Robert Jones"), robert);
  EXPECT_EQ(HandlesOf("Bob Jones"), Strings{"icq/123456789/100000000"});
  EXPECT_EQ(HandlesOf("Grace"),
            (Strings{"irc/alice@irc.libera.chat/grace_", "irc/alice@irc.libera.chat/mallory"}));
}

// A choice that cannot be made says why and changes nothing.
TEST_F(PeopleArchiveTest, BadChoicesAreRefusedWhole) {
  SKIP_WITHOUT_FIXTURES();
  ASSERT_EQ(Run({(testing::FixtureRoot() / "real-logs-b").string()}).outcome,
            ArchiveOutcome::kDone);
  Env& env = *PosixEnv();
  const Strings before = Rows("SELECT name, why FROM person ORDER BY 1");
  const struct {
    std::function<Status()> choose;
    const char* says;
  } cases[] = {
      {[&] { return MergeIntoPerson(env, db, " \t ", {"grace_"}); }, "empty or only blanks"},
      {[&] {
         return MergeIntoPerson(env, db, "Grace", {"grace_", "irc/nobody/x"});
       },
       "no contact is called \"irc/nobody/x\""},
      {[&] { return MergeIntoPerson(env, db, "Grace", {"bob"}); },
       "\"bob\" names 2 contacts; name one of them:\n  aim/alicesmith84/bob\n  "
       "irc/alice@irc.libera.chat/bob"},
      {[&] {
         return MergeIntoPerson(env, db, "Grace", {"irc/alice@irc.libera.chat/#ubuntu.chat"});
       },
       "is a chat room, not a person"},
      {[&] { return SplitFromPerson(env, db, "nobody"); }, "no contact is called"},
      {[&] { return RenamePerson(env, db, "Nobody", "Somebody"); },
       "no person is called \"Nobody\""},
      {[&] { return RenamePerson(env, db, "Bob Jones", "Niaj"); },
       "a person is called \"Niaj\" already"},
      {[&] { return RenamePerson(env, db, "Bob Jones", ""); }, "empty or only blanks"},
  };
  for (const auto& c : cases) {
    const Status s = c.choose();
    EXPECT_TRUE(s.IsInvalidData()) << c.says;
    EXPECT_NE(s.message().find(c.says), std::string::npos) << s.message();
  }
  EXPECT_EQ(Rows("SELECT count(*) FROM person_choice"), Strings{"0"});
  EXPECT_EQ(Rows("SELECT name, why FROM person ORDER BY 1"), before);
  // A run that holds the archive keeps every choice out until it is done.
  LockedArchive running;
  ASSERT_TRUE(OpenLockedArchive(env, db, false, &running).ok());
  EXPECT_TRUE(MergeIntoPerson(env, db, "Grace", {"grace_"}).IsBusy());
}

// Names come from counts kept as messages go in: after a log grows, they
// are what counting every message again gives, and an archive of the
// version before them gets them on its upgrade.
TEST_F(PeopleArchiveTest, SenderCountsKeepInStepAndComeWithAnUpgrade) {
  const std::string log = "logs/jabber/me@x/bob@y/2022-09-01.100000+0000UTC.html";
  auto line = [](int minute, const std::string& sender) {
    return "<font size=\"2\">(10:" + std::to_string(10 + minute) + ":00)</font> <b>" + sender +
           ":</b> hi " + std::to_string(minute) + "<br/>\n";
  };
  std::string text = "<h3>Conversation with bob@y at 2022-09-01 on me@x (jabber)</h3>\n";
  for (int m = 0; m < 4; ++m) text += line(m, m % 2 ? "Bob Jones" : "Me");
  t.File(log, text);
  t.File("logs/jabber/me@x/carol@y/2022-09-02.100000+0000UTC.html",
         "<h3>Conversation with carol@y at 2022-09-02 on me@x (jabber)</h3>\n" + line(1, "Me") +
             line(2, "Carol"));
  ASSERT_EQ(Run({t.Path("logs")}).outcome, ArchiveOutcome::kDone);
  t.File(log, text + line(5, "Bob Jones &lt;AUTO-REPLY&gt;") + line(6, " Bob Jones"));
  ASSERT_EQ(Run({}).outcome, ArchiveOutcome::kDone);
  const std::string recount =
      "SELECT conversation_id, trim(replace(sender, ' <AUTO-REPLY>', '')), count(*) FROM "
      "message_text "
      "WHERE kind IN ('chat', 'action') GROUP BY 1, 2 ORDER BY 1, 2";
  const Strings counted =
      Rows("SELECT conversation_id, sender, messages FROM sender_tally ORDER BY 1, 2");
  EXPECT_EQ(counted, Rows(recount));
  EXPECT_EQ(counted, (Strings{"1|Bob Jones|4", "1|Me|2", "2|Carol|1", "2|Me|1"}));
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    ASSERT_TRUE(d.Exec((std::string(kLayoutOfVersion6) + kChatViewOfVersion6 + kDropPeopleTables +
                        "PRAGMA user_version = 4;")
                           .c_str())
                    .ok());
  }
  ASSERT_EQ(Run({}).outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(Rows("PRAGMA user_version"), Strings{std::to_string(kSchemaVersion)});
  EXPECT_EQ(Rows("SELECT conversation_id, sender, messages FROM sender_tally ORDER BY 1, 2"),
            counted);
  EXPECT_EQ(Rows("SELECT name FROM person ORDER BY 1"), (Strings{"Bob Jones", "carol@y"}));
  EXPECT_EQ(Rows("SELECT sender FROM me_name"), Strings{"Me"});
}

// A whisper's sender is the name without the blank the client puts before
// it; the client's own error is a status line, nobody's message; an archive
// of the version before keeps them mended after its upgrade.
TEST_F(PeopleArchiveTest, SendersAreNamesAndTheClientsErrorsAreNobodys) {
  t.File("logs/jabber/me@x/bob@y/2022-09-01.100000+0000UTC.html",
         "<h3>Conversation with bob@y at 2022-09-01 on me@x (jabber)</h3>\n"
         "<span style=\"color: #6C2585\"><span style=\"font-size: smaller\">(10:00:00)</span>"
         "<b> Bob Jones:</b></span> psst<br>\n"
         "<span style=\"color: #FF0000\"><span style=\"font-size: smaller\">(10:01:00)</span>"
         "<b> Message could not be sent because the user is offline:</b></span><br>\n"
         "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(10:02:00)</span> "
         "<b>Bob Jones:</b></span> hi<br>\n");
  ASSERT_EQ(Run({t.Path("logs")}).outcome, ArchiveOutcome::kDone);
  const std::string rows = "SELECT kind, sender, body FROM message_text ORDER BY line_number";
  const Strings mended = {"chat|Bob Jones| psst",
                          "status||Message could not be sent because the user is offline",
                          "chat|Bob Jones| hi"};
  EXPECT_EQ(Rows(rows), mended);
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    d.TrustSchema();  // the full-text index's triggers run
    ASSERT_TRUE(d.Exec((std::string(kLayoutOfVersion6) + kChatViewOfVersion6 + kDropPeopleTables +
                        "UPDATE message SET sender = ' Bob Jones' WHERE body = ' psst'; "
                        "UPDATE message SET kind = 'chat', sender = ' ' || body, body = '' "
                        "WHERE kind = 'status'; PRAGMA user_version = 4;")
                           .c_str())
                    .ok());
  }
  ASSERT_EQ(Run({}).outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(Rows(rows), mended);
  EXPECT_EQ(Rows("SELECT sender, messages FROM sender_tally"), Strings{"Bob Jones|2"});
  // The full-text index follows: the error's words are found as a status line.
  EXPECT_EQ(Rows("SELECT kind FROM message_text WHERE id IN (SELECT rowid FROM message_fts WHERE "
                 "message_fts MATCH 'offline')"),
            Strings{"status"});
}

}  // namespace
}  // namespace chatterwick::archive
