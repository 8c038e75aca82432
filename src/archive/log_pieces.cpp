#include "archive/log_pieces.h"

#include <openssl/evp.h>

#include <algorithm>
#include <utility>

#include "archive/archive.h"
#include "core/log_tree.h"
#include "core/name_pattern.h"
#include "core/text.h"
#include "core/text_log.h"

namespace chatterwick::archive {

namespace {

// Lists the tree's logs with what the disk says of each, before any is read.
class LogLister : public LogTreeVisitor {
 public:
  LogLister(Env& env, const UnreadableFolder& unreadable) : env_(env), unreadable_(unreadable) {}

  bool OnFolder(TreeLevel, const std::string& name, int32_t parent_id, int32_t* id) override {
    // Ids here are places in folders_: each folder's names, from its parent's.
    FolderNames names =
        parent_id > 0 ? folders_[static_cast<size_t>(parent_id - 1)] : FolderNames();
    names.push_back(name);
    listing.met.insert(names);
    folders_.push_back(std::move(names));
    *id = static_cast<int32_t>(folders_.size());
    return true;
  }
  void OnLog(LogFileRef&& found, int32_t) override {
    const std::string folder = found.path.substr(0, found.path.size() - found.file_name.size());
    if (!folder_ || folder_->path != folder || folder_->contact != found.contact ||
        folder_->account != found.account || folder_->protocol != found.protocol)
      folder_ = std::make_shared<const LogFolder>(LogFolder{
          std::move(found.protocol), std::move(found.account), std::move(found.contact), folder});
    LogRef ref{folder_, std::move(found.file_name), {}, false};
    ref.stat_ok = env_.GetFileStamp(found.path, &ref.stamp).ok();
    listing.logs.push_back(std::move(ref));
  }
  void OnUnreadable(const std::string& folder, const std::string& entry,
                    const Status& why) override {
    unreadable_(folder + entry, why);
  }
  void OnListedWhole(int depth, const std::string (&names)[3]) override {
    listing.whole.insert(FolderNames(names, names + depth));
  }

  LogListing listing;

 private:
  Env& env_;
  const UnreadableFolder& unreadable_;
  std::shared_ptr<const LogFolder> folder_;
  std::vector<FolderNames> folders_;
};

// A text longer than a message keeps is stored cut at a character's start,
// with a note of what was left out: SQLite would refuse it whole, and then
// the same log on every later run.
void CutToFit(std::string* text) {
  if (text->size() <= kMaxMessageBytes) return;
  const size_t total = text->size();
  const size_t end = text::Utf8CutPoint(*text, kMaxMessageBytes);
  text->resize(end);
  *text += " [cut: " + std::to_string(total - end) + " more bytes not stored]";
}

// A message's line breaks are kept between its visible characters only:
// before the first and after the last they stay the blanks every line break
// was before the archive kept them.
void BlankOuterBreaks(std::string* text) {
  const size_t first = text->find_first_not_of(" \t\n");
  const size_t last = text->find_last_not_of(" \t\n");
  for (size_t i = 0; i < text->size(); ++i)
    if ((*text)[i] == '\n' && (first == std::string::npos || i < first || i > last))
      (*text)[i] = ' ';
}

}  // namespace

bool LogListing::Gone(const std::string& protocol, const std::string& account,
                      const std::string& contact, const std::string& file_name,
                      const std::string& mask) const {
  FolderNames place = {protocol, account, contact};
  if (met.count(place)) return whole.count(place) && MatchMask(mask, file_name);
  // The folder itself is missing from its parent: gone, whatever the mask.
  // A protocol missing from the root says nothing: the root may be another.
  for (place.pop_back(); place.size() > 0; place.pop_back())
    if (met.count(place)) return whole.count(place) > 0;
  return false;
}

LogListing ListLogs(Env& env, const std::string& root, const std::string& mask,
                    const UnreadableFolder& unreadable, StopFlag stop) {
  LogLister lister(env, unreadable);
  WalkLogTree(env, root, mask, lister, stop);
  return std::move(lister.listing);
}

// Reads through the Env it wraps, and hashes every byte the last file
// opened gives: what recognises a log's bytes at another place.
class LogPieces::HashingEnv : public EnvWrapper {
 public:
  explicit HashingEnv(Env* target) : EnvWrapper(target), ctx_(EVP_MD_CTX_new()) {}
  ~HashingEnv() override { EVP_MD_CTX_free(ctx_); }
  HashingEnv(const HashingEnv&) = delete;
  HashingEnv& operator=(const HashingEnv&) = delete;

  Status NewSequentialFile(const std::string& path,
                           std::unique_ptr<SequentialFile>* result) override {
    Status s = EnvWrapper::NewSequentialFile(path, result);
    if (!s.ok()) return s;
    if (!ctx_ || EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) != 1)
      return Status::IOError("cannot hash");
    result->reset(new HashingFile(std::move(*result), ctx_));
    return s;
  }
  // The hash, in hex, of what was read since the file was opened.
  std::string Digest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx_, digest, &size) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
      hex += kHex[digest[i] >> 4];
      hex += kHex[digest[i] & 15];
    }
    return hex;
  }

 private:
  class HashingFile : public SequentialFile {
   public:
    HashingFile(std::unique_ptr<SequentialFile> file, EVP_MD_CTX* ctx)
        : file_(std::move(file)), ctx_(ctx) {}
    Status Read(size_t n, char* scratch, size_t* got) override {
      Status s = file_->Read(n, scratch, got);
      if (s.ok() && *got > 0) EVP_DigestUpdate(ctx_, scratch, *got);
      return s;
    }

   private:
    std::unique_ptr<SequentialFile> file_;
    EVP_MD_CTX* ctx_;
  };

  EVP_MD_CTX* ctx_;
};

LogPieces::LogPieces(Env& env, const std::vector<LogRef>& logs, const std::vector<char>& wanted,
                     StopFlag stop)
    : hashing_(std::make_unique<HashingEnv>(&env)), logs_(logs), wanted_(wanted), stop_(stop) {}

LogPieces::~LogPieces() = default;

bool LogPieces::Begin(LogPiece* piece) {
  while (next_ < logs_.size() && !wanted_[next_]) ++next_;
  if (next_ == logs_.size() || stop_.Requested()) return false;
  const LogRef& log = logs_[next_++];
  reader_.emplace(LineBreaks::kKept);
  Status s = reader_->Open(*hashing_, log.path());
  std::string header;
  if (s.ok() && !reader_->Next(&header)) s = reader_->status();
  if (!s.ok()) {
    piece->last = piece->unreadable = true;
    piece->status = std::move(s);
    reader_.reset();
    return true;
  }
  piece->title = ExtractTitle(header, reader_->format());
  // A title is shown on one line, whatever follows a plain-text header.
  std::replace(piece->title.begin(), piece->title.end(), '\n', ' ');
  clock_.emplace(ParseLogStart(log.file_name));
  text_.emplace();
  line_number_ = 0;
  return true;
}

void LogPieces::End(LogPiece* piece) {
  piece->last = true;
  piece->status = reader_->status();
  piece->hash = hashing_->Digest();
  reader_.reset();
}

bool LogPieces::Next(LogPiece* piece) {
  piece->last = piece->unreadable = piece->stopped = false;
  piece->status = Status::OK();
  piece->title.clear();
  piece->rows.clear();
  piece->unreadable_stamps = 0;
  piece->hash.clear();
  if (!reader_) {
    if (!Begin(piece)) return false;
    if (piece->unreadable) return true;
  }
  size_t bytes = 0;
  for (std::string line; piece->rows.size() < kPieceRows && bytes < kPieceBytes;) {
    if (!reader_->Next(&line)) {
      End(piece);
      return true;
    }
    ++line_number_;
    // A huge log is no reason to make a stop wait.
    if (line_number_ % 4096 == 0 && stop_.Requested()) {
      piece->stopped = piece->last = true;
      reader_.reset();
      return true;
    }
    const LineKind kind = reader_->format() == LogFormat::kText
                              ? text_->Split(line, &rec_)
                              : ParseRawLine(line, &rec_, LineBreaks::kKept);
    if (kind == LineKind::kMarkup) continue;
    const std::optional<int64_t> sent = rec_.Time.empty() ? std::nullopt : clock_->Sent(rec_.Time);
    if (!rec_.Time.empty() && !sent) ++piece->unreadable_stamps;
    ClassifiedLine m = ClassifyLine(kind, rec_);
    BlankOuterBreaks(&m.body);
    PendingRow& row = piece->rows.emplace_back(
        PendingRow{line_number_, rec_.Time, sent, std::move(m.sender), std::move(m.body), m.kind});
    for (std::string* text : {&row.time_text, &row.sender, &row.body}) {
      CutToFit(text);
      bytes += text->size();
    }
  }
  return true;  // more pieces of this log follow
}

}  // namespace chatterwick::archive
