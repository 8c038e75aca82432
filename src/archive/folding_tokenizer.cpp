#include "archive/folding_tokenizer.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

namespace chatterwick::archive {

namespace {

using TokenFn = int (*)(void*, int, const char*, int, int, int);

// A copy of ICU's Latin-ASCII rules for one tokenizer; null when ICU cannot
// give them. The rules are read once. A transliterator may not be used by
// two threads at once, and a window's reader and a run's writer each have a
// connection with a tokenizer of its own, so each gets a copy.
std::unique_ptr<icu::Transliterator> LatinAscii() {
  static std::mutex copying;
  static const icu::Transliterator* const rules = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(
        icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
    return U_SUCCESS(status) ? made.release() : nullptr;
  }();
  if (!rules) return nullptr;
  const std::lock_guard<std::mutex> lock(copying);
  return std::unique_ptr<icu::Transliterator>(rules->clone());
}

struct Folding {
  ~Folding() {
    if (words_state) words.xDelete(words_state);
  }
  fts5_tokenizer words{};  // unicode61's
  Fts5Tokenizer* words_state = nullptr;
  std::unique_ptr<icu::Transliterator> latin_ascii;
};

// One xTokenize call: where its words go, and room to fold them in.
struct Call {
  Folding* folding;
  void* context;
  TokenFn emit;
  icu::UnicodeString wide;
  std::string folded;
};

bool IsAscii(std::string_view word) {
  for (char c : word)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Hands on one of unicode61's words, folded, at its place in the text.
int FoldWord(void* call_ptr, int flags, const char* word, int size, int start, int end) {
  auto* call = static_cast<Call*>(call_ptr);
  // unicode61 has already folded every ASCII letter, and most words are ASCII.
  if (IsAscii(std::string_view(word, static_cast<size_t>(size))))
    return call->emit(call->context, flags, word, size, start, end);
  try {
    call->wide = icu::UnicodeString::fromUTF8(icu::StringPiece(word, size));
    call->folding->latin_ascii->transliterate(call->wide);
    call->folded.clear();
    call->wide.toUTF8String(call->folded);
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  // The rules write capitals of their own ("ǅ" is "Dz"), always in ASCII.
  for (char& c : call->folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // A word the rules take away altogether is kept as it was.
  if (call->folded.empty()) return call->emit(call->context, flags, word, size, start, end);
  return call->emit(call->context, flags, call->folded.data(),
                    static_cast<int>(call->folded.size()), start, end);
}

int Create(void* api_ptr, const char** /*args*/, int arg_count, Fts5Tokenizer** out) {
  *out = nullptr;
  // Its steps are fixed: a table that asks for others asks for another tokenizer.
  if (arg_count != 0) return SQLITE_ERROR;
  auto* api = static_cast<fts5_api*>(api_ptr);
  std::unique_ptr<Folding> folding(new (std::nothrow) Folding);
  if (!folding) return SQLITE_NOMEM;
  void* words_context = nullptr;
  int rc = api->xFindTokenizer(api, "unicode61", &words_context, &folding->words);
  const char* options[] = {"remove_diacritics", "2"};
  if (rc == SQLITE_OK)
    rc = folding->words.xCreate(words_context, options, 2, &folding->words_state);
  if (rc != SQLITE_OK) return rc;
  folding->latin_ascii = LatinAscii();
  if (!folding->latin_ascii) return SQLITE_ERROR;
  *out = reinterpret_cast<Fts5Tokenizer*>(folding.release());
  return SQLITE_OK;
}

void Delete(Fts5Tokenizer* tokenizer) { delete reinterpret_cast<Folding*>(tokenizer); }

int Tokenize(Fts5Tokenizer* tokenizer, void* context, int flags, const char* text, int size,
             TokenFn emit) {
  auto* folding = reinterpret_cast<Folding*>(tokenizer);
  Call call{folding, context, emit, {}, {}};
  return folding->words.xTokenize(folding->words_state, &call, flags, text, size, &FoldWord);
}

}  // namespace

Status RegisterFoldingTokenizer(sqlite3* db) {
  // FTS5 hands out its interface only through SQL, as a pointer bound to a
  // statement.
  fts5_api* api = nullptr;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_pointer(st, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
    sqlite3_step(st);
  }
  sqlite3_finalize(st);
  if (!api || api->iVersion < 2) return Status::IOError("this SQLite has no full-text search");
  static fts5_tokenizer methods = {&Create, &Delete, &Tokenize};
  if (api->xCreateTokenizer(api, kFoldingTokenizer, api, &methods, nullptr) != SQLITE_OK)
    return Status::IOError(sqlite3_errmsg(db));
  return Status::OK();
}

}  // namespace chatterwick::archive
