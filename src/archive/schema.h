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

inline constexpr int kSchemaVersion = 3;
// message.sent_order of a stamp (an SQL expression of sent_at's text): its
// seconds since 1970, and for no stamp a time after every other.
inline std::string SentOrderOf(const std::string& sent_at) {
  return "coalesce(unixepoch(" + sent_at + "), 253402300800)";
}

// Every table, index and trigger of a new archive.
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
  UNIQUE (contact_id, file_name)
);
-- sent_order: seconds since 1970 (UTC) of sent_at, and without one a time
-- after every other: the time order, across time zones, that an index can give.
CREATE TABLE message (
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
CREATE INDEX message_conversation ON message(conversation_id, line_number);
CREATE INDEX message_order ON message(sent_order);
CREATE VIRTUAL TABLE message_fts USING fts5(
  body, sender, content='message', content_rowid='id', tokenize='unicode61 remove_diacritics 2',
  columnsize=0
);
CREATE TRIGGER message_fts_delete AFTER DELETE ON message BEGIN
  INSERT INTO message_fts(message_fts, rowid, body, sender)
    VALUES ('delete', old.id, old.body, old.sender);
END;
CREATE TRIGGER message_fts_update AFTER UPDATE ON message BEGIN
  INSERT INTO message_fts(message_fts, rowid, body, sender)
    VALUES ('delete', old.id, old.body, old.sender);
  INSERT INTO message_fts(rowid, body, sender) VALUES (new.id, new.body, new.sender);
END;
)sql";

// The view "chat" is the one way readers see a message with its names: the
// names as on the disk ("protocol", "account", "contact") and as people know
// them ("protocol_display", ...: %XX escapes decoded). Every upgrade makes it
// anew, so that it always reads the tables as they are.
inline constexpr const char* kChatView = R"sql(
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
