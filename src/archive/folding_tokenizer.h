#pragma once

#include <sqlite3.h>

#include "core/status.h"

// The words of the full-text index as people type them. unicode61 finds the
// words and folds letter case and the accents that come off a letter (é is
// e); ICU's Latin-ASCII rules then write what is left of the Latin letters
// in plain ASCII (ø is o, ß is ss, ł is l, æ is ae, þ is th), so that
// "oresund" finds "Øresund". The stored text and the query go through the
// same steps, so both meet whatever the rules make of a word. A word stays
// one word whatever it becomes ("½" is " 1/2"), at its place in the text:
// highlight() marks the letters as written.
namespace chatterwick::archive {

// The tokenizer's name in the tokenize option of an FTS5 table.
inline constexpr const char* kFoldingTokenizer = "chatterwick_folding";

// Makes the tokenizer known to FTS5 on the connection db, for the tables
// that name it; it takes no arguments.
Status RegisterFoldingTokenizer(sqlite3* db);

}  // namespace chatterwick::archive
