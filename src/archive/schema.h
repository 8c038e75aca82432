#pragma once

#include <cstdint>
#include <string>

#include "core/status.h"

// The archive's tables, as a new database gets them, and how a database
// becomes one: checked, then made or brought up to this version in place.
// PRAGMA user_version holds kSchemaVersion; a database with a higher one is
// left alone.
namespace chatterwick::archive {

class Database;
class Statement;

inline constexpr int kSchemaVersion = 7;
// The time order of the messages of alias ("m."), as message_order indexes
// it: the same seconds as the sent_order of versions 3 to 6, and for no
// stamp a time after every other.
inline std::string TimeOrderOf(const std::string& alias) {
  return "coalesce(" + alias + "sent >> 12, 253402300800)";
}

// A message's stamp in a column of st's row, as text: an archive of a
// version before 7 gives it so (sent_at); since, its number (sent) is
// written out here, faster than SQL writes it. Empty for none.
std::string StampText(const Statement& st, int column, int64_t version);

// The sent of sent_at's text (an SQL expression), as SentOf gives it.
inline std::string SentOfText(const std::string& sent_at) {
  const std::string epoch = "unixepoch(" + sent_at + ")";
  return "CASE WHEN " + epoch + " IS NOT NULL THEN " + epoch + " * 4096 + CASE WHEN length(" +
         sent_at + ") = 25 THEN (CASE substr(" + sent_at +
         ", 20, 1) WHEN '-' THEN -1 ELSE 1 END) * (CAST(substr(" + sent_at +
         ", 21, 2) AS INTEGER) * 60 + CAST(substr(" + sent_at +
         ", 24, 2) AS INTEGER)) + 2048 ELSE 4095 END END";
}

// Sets messages, first_sent_at and last_sent_at of the conversations the SQL
// condition "which" picks (it may name conversation.id) from their messages,
// in the time order of the SQL expression "order" (of m.sent_at, or
// m.sent_order where that is filled in); also_set ("present = 1, ") sets
// more at once. messages is the table or view that has sent_at.
inline std::string ConversationTotalsSql(const std::string& which, const std::string& order,
                                         const std::string& also_set = "",
                                         const std::string& messages = "message") {
  const std::string of = " FROM " + messages + " m WHERE m.conversation_id = conversation.id";
  // A bare column beside min() or max() comes from the row that gave it.
  auto at = [&](const char* end) {
    return "(SELECT sent_at FROM (SELECT m.sent_at, " + std::string(end) + "(" + order + ")" + of +
           " AND m.sent_at IS NOT NULL))";
  };
  return "UPDATE conversation SET " + also_set + "messages = (SELECT count(*)" + of +
         "), first_sent_at = " + at("min") + ", last_sent_at = " + at("max") + " WHERE " + which;
}

// The names and conversations of a new archive.
inline constexpr const char* kTables = R"sql(
CREATE TABLE protocol (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  display_name TEXT
);
CREATE TABLE account (
  id INTEGER PRIMARY KEY,
  protocol_id INTEGER NOT NULL REFERENCES protocol(id),
  name TEXT NOT NULL,
  display_name TEXT,
  UNIQUE (protocol_id, name)
);
CREATE TABLE contact (
  id INTEGER PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES account(id),
  name TEXT NOT NULL,
  display_name TEXT,
  UNIQUE (account_id, name)
);
-- One conversation, whichever sources hold copies of its log: file_stem is
-- the log's file name without its extension, the same in every copy;
-- file_name is the name of the copy read first. messages, first_sent_at and
-- last_sent_at are kept in step with its messages by every run. present is
-- 0 when every copy was seen gone. file_size to content_hash describe the
-- copy read first, for readers of earlier versions; copy has each copy's own.
CREATE TABLE conversation (
  id INTEGER PRIMARY KEY,
  contact_id INTEGER NOT NULL REFERENCES contact(id),
  file_name TEXT NOT NULL,
  title TEXT NOT NULL,
  started_at TEXT,
  file_size INTEGER NOT NULL,
  file_mtime INTEGER NOT NULL,
  present INTEGER NOT NULL DEFAULT 1,
  file_ctime INTEGER NOT NULL DEFAULT 0,
  file_inode INTEGER NOT NULL DEFAULT 0,
  content_hash BLOB,
  file_stem TEXT,
  messages INTEGER NOT NULL DEFAULT 0,
  first_sent_at TEXT,
  last_sent_at TEXT,
  UNIQUE (contact_id, file_name)
);
CREATE UNIQUE INDEX conversation_stem ON conversation(contact_id, file_stem);
)sql";

// The senders and messages of a new archive, and of the upgrade to version 7.
inline constexpr const char* kMessageTables = R"sql(
-- A sender's name as written, kept once for all the messages it wrote.
CREATE TABLE sender (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE
);
-- sent: the full stamp in one number (stamps.h): seconds since 1970 (UTC)
-- times 4096 plus the offset's code; none without a full stamp. The view
-- message_text gives it as sent_at's text. kind: 0 chat, 1 action, 2
-- status, 3 unparsed. Ids only grow (AUTOINCREMENT): the full-text index
-- takes what is above the last it has.
CREATE TABLE message (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  conversation_id INTEGER NOT NULL REFERENCES conversation(id) ON DELETE CASCADE,
  line_number INTEGER NOT NULL,
  time_text TEXT NOT NULL,
  sent INTEGER,
  sender_id INTEGER NOT NULL REFERENCES sender(id),
  body TEXT NOT NULL,
  kind INTEGER NOT NULL CHECK (kind BETWEEN 0 AND 3)
);
-- The full-text index is a file of its own (search_index.h), which names
-- this archive by token. A message changed or deleted is written here as
-- it was, for the index to take out what it had of it.
CREATE TABLE search_index (token TEXT NOT NULL);
INSERT INTO search_index VALUES (lower(hex(randomblob(16))));
CREATE TABLE index_change (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  id INTEGER NOT NULL,
  body TEXT NOT NULL,
  sender TEXT NOT NULL
);
)sql";

// The indexes of messages: a first run makes them at its end.
inline constexpr const char* kMessageIndexes = R"sql(
CREATE INDEX message_conversation ON message(conversation_id, line_number);
CREATE INDEX message_order ON message(coalesce(sent >> 12, 253402300800));
)sql";

// What tells the full-text index of a changed or deleted message, and the
// view of a message with its texts, which the index reads.
inline constexpr const char* kMessageCode = R"sql(
CREATE TRIGGER message_deleted AFTER DELETE ON message BEGIN
  INSERT INTO index_change(id, body, sender)
    VALUES (old.id, old.body, (SELECT name FROM sender WHERE id = old.sender_id));
END;
CREATE TRIGGER message_changed AFTER UPDATE OF body, sender_id ON message BEGIN
  INSERT INTO index_change(id, body, sender)
    VALUES (old.id, old.body, (SELECT name FROM sender WHERE id = old.sender_id));
END;
CREATE VIEW message_text AS
  SELECT m.id, m.conversation_id, m.line_number, m.time_text,
         CASE WHEN m.sent IS NOT NULL THEN
           strftime('%Y-%m-%dT%H:%M:%S', (m.sent >> 12) + CASE (m.sent & 4095) WHEN 4095 THEN 0
             ELSE ((m.sent & 4095) - 2048) * 60 END, 'unixepoch') ||
           CASE (m.sent & 4095) WHEN 4095 THEN '' ELSE
             printf('%s%02d:%02d', CASE WHEN (m.sent & 4095) < 2048 THEN '-' ELSE '+' END,
                    abs((m.sent & 4095) - 2048) / 60, abs((m.sent & 4095) - 2048) % 60) END
         END AS sent_at,
         s.name AS sender, m.body,
         CASE m.kind WHEN 0 THEN 'chat' WHEN 1 THEN 'action' WHEN 2 THEN 'status'
           ELSE 'unparsed' END AS kind,
         m.sent
  FROM message m LEFT JOIN sender s ON s.id = m.sender_id;
)sql";

// The full-text index, in a file of its own (search_index.h) and keeping no
// texts: its words folded by the program's own tokenizer (see
// folding_tokenizer.h), which every connection has.
inline constexpr const char* kContentlessFullTextTable = R"sql(
CREATE VIRTUAL TABLE message_fts USING fts5(
  body, sender, content='', tokenize='chatterwick_folding', columnsize=0
);
)sql";

// What makes the full-text index of an archive of this version one of
// version 5, whose words unicode61 alone folded: for tests and tools that
// make an archive of an earlier version from a new one.
inline constexpr const char* kFullTextOfVersion5 = R"sql(
DROP TABLE message_fts;
CREATE VIRTUAL TABLE message_fts USING fts5(
  body, sender, content='message', content_rowid='id', tokenize='unicode61 remove_diacritics 2',
  columnsize=0
);
INSERT INTO message_fts(message_fts) VALUES ('rebuild');
)sql";

// The tables of where logs are read: a new archive's, and those the upgrade
// to version 4 adds.
inline constexpr const char* kSourceTables = R"sql(
-- A log folder the archive reads: path is where it was found, in full with
-- its final separator ('' for the folder an archive of an earlier version
-- was made from, until a run names it again); name is the user's for it.
-- read_at is when a run last read it whole, logs how many logs it held then.
CREATE TABLE source (
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL UNIQUE,
  read_at TEXT,
  logs INTEGER NOT NULL DEFAULT 0
);
-- A source's copy of a conversation's log, at protocol/account/contact/
-- file_name below the source's path, with what told a change on the last
-- read (size, times, inode) and the hash of its bytes. present is 0 once a
-- whole read of its source no longer found it.
CREATE TABLE copy (
  id INTEGER PRIMARY KEY,
  conversation_id INTEGER NOT NULL REFERENCES conversation(id) ON DELETE CASCADE,
  source_id INTEGER NOT NULL REFERENCES source(id) ON DELETE CASCADE,
  file_name TEXT NOT NULL,
  file_size INTEGER NOT NULL,
  file_mtime INTEGER NOT NULL,
  file_ctime INTEGER NOT NULL,
  file_inode INTEGER NOT NULL,
  content_hash BLOB,
  present INTEGER NOT NULL DEFAULT 1,
  UNIQUE (source_id, conversation_id, file_name)
);
CREATE INDEX copy_conversation ON copy(conversation_id);
CREATE INDEX copy_hash ON copy(content_hash);
)sql";

// The tables of people: a new archive's, and those the upgrade to version 5
// adds. person, contact_person and me_name are made anew by every
// grouping; person_choice is the user's, and only the user changes it.
inline constexpr const char* kPeopleTables = R"sql(
-- How many chat lines and actions each sender wrote in a conversation, the
-- sender without the client's auto-reply mark and the blanks around it.
CREATE TABLE sender_tally (
  conversation_id INTEGER NOT NULL REFERENCES conversation(id) ON DELETE CASCADE,
  sender TEXT NOT NULL,
  messages INTEGER NOT NULL,
  PRIMARY KEY (conversation_id, sender)
) WITHOUT ROWID;
-- A person: a named group of contacts; why says what made them one.
CREATE TABLE person (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  why TEXT NOT NULL DEFAULT ''
);
-- The person a contact is (none for a chat room), and the name its
-- messages carry when that is more than its handle.
CREATE TABLE contact_person (
  contact_id INTEGER PRIMARY KEY REFERENCES contact(id) ON DELETE CASCADE,
  person_id INTEGER REFERENCES person(id) ON DELETE SET NULL,
  known_name TEXT
);
CREATE INDEX contact_person_person ON contact_person(person_id);
-- What the user said: a handle (PROTOCOL/ACCOUNT/CONTACT as on the disk)
-- merged into the person named person, or split out to stand alone; or a
-- person renamed (subject: its old name).
CREATE TABLE person_choice (
  kind TEXT NOT NULL CHECK (kind IN ('merge', 'split', 'rename')),
  subject TEXT NOT NULL,
  person TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (kind, subject)
) WITHOUT ROWID;
-- The sender names an account's user writes under.
CREATE TABLE me_name (
  account_id INTEGER NOT NULL REFERENCES account(id) ON DELETE CASCADE,
  sender TEXT NOT NULL,
  PRIMARY KEY (account_id, sender)
) WITHOUT ROWID;
)sql";

// What an archive of this version holds beyond one of version 4: for tests
// and tools that make an archive of an earlier version from a new one.
inline constexpr const char* kDropPeopleTables =
    "DROP TABLE sender_tally; DROP TABLE contact_person; DROP TABLE person_choice; "
    "DROP TABLE me_name; DROP TABLE person;";

// What version 6 kept of messages: their texts in the row, the full-text
// index reading them there. CheckSchema compares an archive of an earlier
// version with a new one made so, and tests make such archives with it.
inline constexpr const char* kLayoutOfVersion6 = R"sql(
CREATE TABLE message_6 (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  conversation_id INTEGER NOT NULL REFERENCES conversation(id) ON DELETE CASCADE,
  line_number INTEGER NOT NULL,
  time_text TEXT NOT NULL,
  sent_at TEXT,
  sender TEXT NOT NULL,
  body TEXT NOT NULL,
  kind TEXT NOT NULL CHECK (kind IN ('chat', 'action', 'status', 'unparsed')),
  sent_order INTEGER
);
INSERT INTO message_6 SELECT id, conversation_id, line_number, time_text, sent_at, sender, body,
  kind, coalesce(sent >> 12, 253402300800) FROM message_text;
DROP VIEW chat;
DROP VIEW message_text;
DROP TABLE search_index;
DROP TABLE index_change;
DELETE FROM sqlite_sequence WHERE name = 'message_6';
UPDATE sqlite_sequence SET name = 'message_6' WHERE name = 'message';
DROP TABLE message;
DROP TABLE sender;
ALTER TABLE message_6 RENAME TO message;
CREATE INDEX message_conversation ON message(conversation_id, line_number);
CREATE INDEX message_order ON message(sent_order);
CREATE TRIGGER message_fts_delete AFTER DELETE ON message BEGIN
  INSERT INTO message_fts(message_fts, rowid, body, sender)
    VALUES ('delete', old.id, old.body, old.sender);
END;
CREATE TRIGGER message_fts_update AFTER UPDATE ON message BEGIN
  INSERT INTO message_fts(message_fts, rowid, body, sender)
    VALUES ('delete', old.id, old.body, old.sender);
  INSERT INTO message_fts(rowid, body, sender) VALUES (new.id, new.body, new.sender);
END;
CREATE VIRTUAL TABLE message_fts USING fts5(
  body, sender, content='message', content_rowid='id', tokenize='chatterwick_folding',
  columnsize=0
);
INSERT INTO message_fts(message_fts) VALUES ('rebuild');
)sql";

// The view "chat" of versions 2 to 6.
inline constexpr const char* kChatViewOfVersion6 = R"sql(
CREATE VIEW chat AS
  SELECT m.id, p.name AS protocol, a.name AS account, c.name AS contact,
         v.file_name, v.title, v.started_at, m.line_number, m.time_text, m.sent_at,
         m.sender, m.body, m.kind,
         p.display_name AS protocol_display, a.display_name AS account_display,
         c.display_name AS contact_display, m.conversation_id
  FROM message m
  JOIN conversation v ON v.id = m.conversation_id
  JOIN contact c ON c.id = v.contact_id
  JOIN account a ON a.id = c.account_id
  JOIN protocol p ON p.id = a.protocol_id;
)sql";

// The view "chat" is the one way readers see a message with its names: the
// names as on the disk ("protocol", "account", "contact") and as people know
// them ("protocol_display", ...: %XX escapes decoded). Every upgrade makes it
// anew, so that it always reads the tables as they are. Since version 7 it
// ends with the stamp as the archive keeps it (sent).
inline constexpr const char* kChatView = R"sql(
CREATE VIEW chat AS
  SELECT m.id, p.name AS protocol, a.name AS account, c.name AS contact,
         v.file_name, v.title, v.started_at, m.line_number, m.time_text, m.sent_at,
         m.sender, m.body, m.kind,
         p.display_name AS protocol_display, a.display_name AS account_display,
         c.display_name AS contact_display, m.conversation_id, m.sent
  FROM message_text m
  JOIN conversation v ON v.id = m.conversation_id
  JOIN contact c ON c.id = v.contact_id
  JOIN account a ON a.id = c.account_id
  JOIN protocol p ON p.id = a.protocol_id;
)sql";

// Whether db can be an archive of this program's: *version is its schema, 0
// for an empty database. InvalidData, saying why, for a database that is
// not one, one of a newer schema, or one whose triggers or views this
// program did not make: a reader and a writer alike make this check before
// anything else. Nothing is changed.
Status CheckSchema(Database& db, int64_t* version);

// Opens the archive at path for a run that writes it (created when missing,
// as an empty file is read): refused, with every byte kept, when it is no
// archive, one of a newer schema, or one whose triggers or views this
// program did not make; otherwise set up for writing and brought to
// kSchemaVersion in place.
Status OpenArchiveForWriting(Database& db, const std::string& path);

}  // namespace chatterwick::archive
