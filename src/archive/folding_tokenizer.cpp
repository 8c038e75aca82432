#include "archive/folding_tokenizer.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

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

// One character as the rules see it.
struct Letter {
  std::string folded;  // what they make of it alone
  bool mark = false;   // a combining mark
  bool latin = false;  // a Latin letter
};

struct Folding {
  ~Folding() {
    if (words_state) words.xDelete(words_state);
  }
  // Asks ICU once a character; null when ICU has no rules to give.
  const Letter* Of(UChar32 c);

  fts5_tokenizer words{};  // unicode61's
  Fts5Tokenizer* words_state = nullptr;
  // Made at the first character outside ASCII: reading the rules costs
  // 10 ms, and a search typed in ASCII never needs them.
  std::unique_ptr<icu::Transliterator> latin_ascii;
  // The characters met so far; a text of every script there is ends a few
  // thousand of them at a time.
  std::unordered_map<UChar32, Letter> letters;
};

const Letter* Folding::Of(UChar32 c) {
  auto it = letters.find(c);
  if (it != letters.end()) return &it->second;
  if (!latin_ascii) latin_ascii = LatinAscii();
  if (!latin_ascii) return nullptr;
  if (letters.size() >= 16384) letters.clear();
  Letter letter;
  icu::UnicodeString one(c);
  latin_ascii->transliterate(one);
  one.toUTF8String(letter.folded);
  // The rules write capitals of their own ("ǅ" is "Dz"), always in ASCII.
  for (char& ch : letter.folded)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  letter.mark = u_charType(c) == U_NON_SPACING_MARK;
  UErrorCode status = U_ZERO_ERROR;
  letter.latin = uscript_getScript(c, &status) == USCRIPT_LATIN;
  return &letters.emplace(c, std::move(letter)).first->second;
}

// One xTokenize call: where its words go, and room to fold them in.
struct Call {
  Folding* folding;
  void* context;
  TokenFn emit;
  std::string folded;
};

bool IsAscii(std::string_view word) {
  for (char c : word)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The word folded a character at a time, as the rules fold it whole: their
// one look at a neighbour drops the combining marks after a Latin letter or
// a digit (unicode61 has taken off all but those newer than its tables).
// ICU sees each character once rather than every word, which took twice as
// long as the rest of a first run over text in Polish. False when ICU has no
// rules to give.
bool FoldLetters(Folding& folding, const char* word, int32_t size, std::string* out) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(word);
  bool after_latin = false;
  for (int32_t i = 0; i < size;) {
    const int32_t at = i;
    UChar32 c;
    U8_NEXT(bytes, i, size, c);
    if (c < 0x80) {  // ASCII, or not UTF-8
      out->append(word + at, static_cast<size_t>(i - at));
      after_latin = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      continue;
    }
    const Letter* letter = folding.Of(c);
    if (!letter) return false;
    if (letter->mark && after_latin) continue;
    out->append(letter->folded);
    if (!letter->mark) after_latin = letter->latin;
  }
  return true;
}

// Hands on one of unicode61's words, folded, at its place in the text.
int FoldWord(void* call_ptr, int flags, const char* word, int size, int start, int end) {
  auto* call = static_cast<Call*>(call_ptr);
  // unicode61 has already folded every ASCII letter, and most words are ASCII.
  if (IsAscii(std::string_view(word, static_cast<size_t>(size))))
    return call->emit(call->context, flags, word, size, start, end);
  std::string& folded = call->folded;
  try {
    folded.clear();
    if (!FoldLetters(*call->folding, word, size, &folded)) return SQLITE_ERROR;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  // A word the rules take away altogether is kept as it was.
  if (folded.empty()) return call->emit(call->context, flags, word, size, start, end);
  return call->emit(call->context, flags, folded.data(), static_cast<int>(folded.size()), start,
                    end);
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
  *out = reinterpret_cast<Fts5Tokenizer*>(folding.release());
  return SQLITE_OK;
}

void Delete(Fts5Tokenizer* tokenizer) { delete reinterpret_cast<Folding*>(tokenizer); }

int Tokenize(Fts5Tokenizer* tokenizer, void* context, int flags, const char* text, int size,
             TokenFn emit) {
  auto* folding = reinterpret_cast<Folding*>(tokenizer);
  Call call{folding, context, emit, {}};
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
