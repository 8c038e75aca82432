#include "archive/export.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "archive/names.h"
#include "archive/reader.h"
#include "core/path.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

using nlohmann::json;

// What is selected: the conversations, by start, and (for only_matching) the
// messages, their ids sorted.
struct Selection {
  std::vector<int64_t> conversations;
  std::vector<int64_t> contacts;  // of each conversation
  std::vector<int64_t> messages;
  bool every_message = true;
};

bool Filtered(const SearchOptions& s) {
  return !s.query.empty() || !s.protocol.empty() || !s.account.empty() || !s.contact.empty() ||
         !s.sender.empty() || !s.from.empty() || !s.to.empty();
}

Status Select(ArchiveReader& reader, const ArchiveExportOptions& options, Selection* selection) {
  std::vector<std::pair<int64_t, int64_t>> all;  // conversation, contact
  Status s = reader.ConversationIds(&all);
  if (s.ok() && !options.conversations.empty()) {
    const std::set<int64_t> wanted(options.conversations.begin(), options.conversations.end());
    std::erase_if(all, [&](const auto& c) { return !wanted.count(c.first); });
  }
  if (!s.ok() || !Filtered(options.selection)) {
    for (const auto& [id, contact] : all) {
      selection->conversations.push_back(id);
      selection->contacts.push_back(contact);
    }
    return s;
  }
  SearchOptions search = options.selection;
  search.mark_start.clear();
  search.mark_end.clear();
  std::set<int64_t> chosen;
  selection->every_message = !options.only_matching;
  s = reader.Search(search, 0, [&](const SearchHit& hit) {
    chosen.insert(hit.conversation_id);
    if (options.only_matching) selection->messages.push_back(hit.message_id);
    return true;
  });
  std::sort(selection->messages.begin(), selection->messages.end());
  for (const auto& [id, contact] : all)
    if (chosen.count(id)) {
      selection->conversations.push_back(id);
      selection->contacts.push_back(contact);
    }
  return s;
}

// Opens the archive and finds what options select in it.
Status OpenSelection(const std::string& db_path, const ArchiveExportOptions& options,
                     std::unique_ptr<ArchiveReader>* reader, Selection* selection, StopFlag stop) {
  Status s = ArchiveReader::Open(db_path, reader, stop);
  // One read of the whole archive: every file agrees with every other even
  // while a run updates it, and the database is locked once, not per query.
  if (s.ok()) s = (*reader)->HoldSnapshot();
  if (s.ok()) s = (*reader)->CountAllMessages();
  return s.ok() ? Select(**reader, options, selection) : s;
}

// Streams one conversation through writer into sink; false when sink failed
// or stop was asked for. *count gets the messages written. page is scratch
// space, kept from one conversation to the next with its rows' buffers.
Status WriteConversation(ArchiveReader& reader, ExportWriter& writer, const ConversationInfo& c,
                         const Selection& selection, int64_t* count,
                         const std::function<Status(std::string_view)>& sink,
                         std::vector<MessageRow>& page) {
  Status s = sink(writer.BeginConversation(c));
  constexpr int64_t kPage = 2000;
  for (int64_t offset = 0; s.ok(); offset += kPage) {
    s = reader.Messages(c.id, offset, kPage, &page);
    if (!s.ok() || page.empty()) break;
    std::string text;
    for (const MessageRow& m : page) {
      if (!selection.every_message &&
          !std::binary_search(selection.messages.begin(), selection.messages.end(), m.id))
        continue;
      text += writer.Message(c, m);
      ++*count;
    }
    s = sink(text);
  }
  if (s.ok()) s = sink(writer.EndConversation(c));
  return s;
}

// What the manifest keeps of the options: a later run with other options
// rewrites every file.
std::string OptionsKey(const ArchiveExportOptions& o) {
  const SearchOptions& s = o.selection;
  const TranslatedQuery& q = s.query;
  json groups = json::array();
  for (const auto& group : q.groups) {
    json g = json::array();
    for (const QueryTerm& t : group) g.push_back({t.substring, t.text});
    groups.push_back(g);
  }
  return json{{"format", ExportExtension(o.format)},
              {"only_matching", o.only_matching},
              {"conversations", o.conversations},
              {"spreadsheet_safe", o.spreadsheet_safe},
              {"match", q.match},
              {"exclude", q.exclude},
              {"lacks", q.lacks},
              {"groups", groups},
              {"protocol", s.protocol},
              {"account", s.account},
              {"contact", s.contact},
              {"sender", s.sender},
              {"from", s.from},
              {"to", s.to}}
      .dump(-1, ' ', false, json::error_handler_t::replace);
}

// The file's place under the export folder, its parts made safe.
std::string RelativePath(const ConversationInfo& c, ExportFormat format, char sep) {
  std::string start = c.started_at.size() >= 19
                          ? c.started_at.substr(0, 10) + " " + c.started_at.substr(11, 2) + "." +
                                c.started_at.substr(14, 2) + "." + c.started_at.substr(17, 2)
                          : c.file_name;
  const std::string ext = std::string(".") + ExportExtension(format);
  return SafeFileName(c.protocol) + sep + SafeFileName(c.account) + sep + SafeFileName(c.contact) +
         sep + SafeFileName(start, 255 - ext.size() - 8) + ext;
}

struct Manifest {
  std::string options;
  std::map<std::string, std::pair<int64_t, std::string>> files;  // path -> conversation, signature
};

// Reads a manifest as it is parsed, without a tree of it in between: the
// manifest of a large export has an entry for each of its files.
class ManifestReader : public nlohmann::json_sax<json> {
 public:
  explicit ManifestReader(Manifest* m) : m_(m) {}
  bool has_files = false;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t n) override {
    if (depth_ == 3 && in_files_ && key_ == "conversation") m_->files[name_].first = n;
    return true;
  }
  bool number_unsigned(number_unsigned_t n) override {
    return number_integer(static_cast<number_integer_t>(n));
  }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t& text) override {
    if (depth_ == 1 && key_ == "options") m_->options = std::move(text);
    else if (depth_ == 3 && in_files_ && key_ == "signature")
      m_->files[name_].second = std::move(text);
    return true;
  }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    ++depth_;
    if (depth_ == 2 && outer_ == "files") has_files = true;
    if (depth_ == 3 && in_files_) m_->files[name_];  // an entry, though it may say nothing
    in_files_ = depth_ == 2 && outer_ == "files" ? true : (depth_ < 2 ? false : in_files_);
    return true;
  }
  bool end_object() override {
    --depth_;
    key_.clear();
    return true;
  }
  bool start_array(std::size_t) override {
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool key(string_t& k) override {
    if (depth_ == 1) outer_ = k;
    if (depth_ == 2 && in_files_) name_ = k;
    key_ = std::move(k);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  Manifest* m_;
  int depth_ = 0;
  bool in_files_ = false;
  std::string outer_, name_, key_;
};

Manifest ReadManifest(Env& env, const std::string& path) {
  Manifest m;
  std::string text;
  if (!ReadFileToString(env, path, &text).ok()) return m;
  ManifestReader reader(&m);
  // Anything but a whole manifest is none: every file is then written anew.
  if (!json::sax_parse(text, &reader) || !reader.has_files) return Manifest();
  return m;
}

Status WriteManifest(Env& env, const std::string& path, const Manifest& m) {
  json files = json::object();
  for (const auto& [name, entry] : m.files)
    files[name] = {{"conversation", entry.first}, {"signature", entry.second}};
  const std::string text = json{{"options", m.options}, {"files", files}}.dump(
                               1, ' ', false, json::error_handler_t::replace) +
                           "\n";
  return SaveFile(env, path, SaveMode::kReplace, [&](bool) { return text; });
}

}  // namespace

std::string SafeFileName(const std::string& name, size_t max_bytes) {
  std::string out;
  for (unsigned char ch : name)
    out += ch < 0x20 || ch == 0x7f ||
                   std::string_view("/\\<>:\"|?*").find(static_cast<char>(ch)) !=
                       std::string_view::npos
               ? '_'
               : static_cast<char>(ch);
  if (!out.empty() && out[0] == '.') out[0] = '_';
  // Whole characters only: never cut inside a UTF-8 sequence.
  if (out.size() > max_bytes) {
    size_t cut = max_bytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.back() = '_';
  std::string stem = out.substr(0, out.find('.'));
  for (char& ch : stem) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  static const std::set<std::string> kReserved = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
      "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  if (kReserved.count(stem)) out = "_" + out;
  return out.empty() ? "_" : out;
}

namespace {

// Makes folder, rid of what a killed run left in it, ready for this run's files.
Status ReadyFolder(Env& env, const std::string& folder) {
  Status s = env.CreateFolders(folder);
  if (s.ok()) RemoveAbandonedTemps(env, folder, std::string(".*") + kTempMark);
  return s;
}

// Adds target to files, begun with text; *index is its place in the set.
Status AddFile(ReplacementSet& files, const std::string& target, char sep, std::string_view text,
               size_t* index) {
  Status s = files.Add(target, TempPrefixFor(target, sep), index);
  return s.ok() ? files.file(*index).Append(text) : s;
}

// What an export holds in memory before writing it: the files of a folder
// made but not yet written, or one file being made.
constexpr size_t kBatchBytes = size_t{8} << 20;

}  // namespace

ArchiveExportResult ExportArchiveToFolder(Env& env, const std::string& db_path,
                                          const std::string& dir,
                                          const ArchiveExportOptions& options,
                                          RunObserver* observer, StopFlag stop) {
  ArchiveExportResult result;
  std::unique_ptr<ArchiveReader> reader;
  Selection selection;
  Status& s = result.status;
  s = OpenSelection(db_path, options, &reader, &selection, stop);
  if (s.ok()) s = env.CreateFolders(dir);
  if (!s.ok()) return result;
  const char sep = env.Separator();
  const Manifest before = ReadManifest(env, dir + kExportManifest);
  Manifest after;
  after.options = OptionsKey(options);
  const bool same_options = before.options == after.options;
  if (observer) observer->OnTotal(static_cast<int64_t>(selection.conversations.size()), 0);
  std::unique_ptr<ExportWriter> writer = MakeExportWriter(options.format, options.spreadsheet_safe);
  std::vector<MessageRow> page;
  ArchiveExportSummary& sum = result.summary;
  // A contact's files go into their folder together: one sync of the folder
  // for all of them.
  std::vector<size_t> order(selection.conversations.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return selection.contacts[a] < selection.contacts[b];
  });
  struct Pending {
    std::string relative;
    std::pair<int64_t, std::string> entry;
    int64_t messages;
    std::string target, text;
  };
  // A folder's files are made in memory, then written and put in place on a
  // thread of their own while the next folder's are made: creating, syncing
  // and renaming files waits on the file system, not on work.
  std::vector<Pending> pending;
  std::string pending_folder;
  size_t pending_bytes = 0;
  struct Batch {
    std::string folder, failed;
    std::vector<Pending> pending;
    Status status;
    std::thread thread;
  };
  auto write_batch = [&env, sep](Batch* b) {
    Status st = ReadyFolder(env, b->folder);
    if (!st.ok()) {
      b->failed = b->folder;
      return st;
    }
    ReplacementSet files(env, FileAccess::kOwnerOnly);
    for (Pending& p : b->pending) {
      size_t index = 0;
      st = AddFile(files, p.target, sep, p.text, &index);
      if (!st.ok()) {
        b->failed = p.target;
        return st;
      }
      std::string().swap(p.text);
    }
    return files.Commit(b->folder, &b->failed);
  };
  // A few folders at once: the file system then syncs them together.
  constexpr size_t kInFlight = 4;
  std::deque<std::unique_ptr<Batch>> in_flight;
  struct Joiner {
    std::deque<std::unique_ptr<Batch>>& batches;
    ~Joiner() {
      for (auto& b : batches)
        if (b->thread.joinable()) b->thread.join();
    }
  } joiner{in_flight};
  // Files that could not be put in place count as not exported.
  auto not_exported = [&](const std::vector<Pending>& list) {
    for (const Pending& p : list) {
      --sum.conversations;
      sum.messages -= p.messages;
    }
  };
  // Waits for the folder put in place first, then counts its files or says why not.
  auto settle_one = [&]() {
    std::unique_ptr<Batch> done = std::move(in_flight.front());
    in_flight.pop_front();
    done->thread.join();
    if (!done->status.ok()) {
      if (observer) observer->OnProblem({Problem::Kind::kWriteFailed, done->failed, done->status});
      not_exported(done->pending);
      return done->status;
    }
    for (Pending& p : done->pending) {
      after.files[p.relative] = std::move(p.entry);
      ++sum.written;
    }
    return Status::OK();
  };
  auto settle = [&]() {
    Status first;
    while (!in_flight.empty())
      if (Status st = settle_one(); first.ok()) first = st;
    return first;
  };
  auto commit = [&]() {
    if (pending.empty()) return Status::OK();
    if (in_flight.size() >= kInFlight) {
      Status before_it = settle_one();
      if (!before_it.ok()) return before_it;
    }
    auto b = std::make_unique<Batch>();
    b->folder = pending_folder;
    b->pending = std::move(pending);
    pending.clear();
    pending_bytes = 0;
    Batch* raw = b.get();
    raw->thread = std::thread([raw, &write_batch] { raw->status = write_batch(raw); });
    in_flight.push_back(std::move(b));
    return Status::OK();
  };
  for (size_t i = 0; s.ok() && i < order.size(); ++i) {
    const int64_t id = selection.conversations[order[i]];
    if (stop.Requested()) {
      result.stopped = true;
      break;
    }
    ConversationInfo c;
    // The times a header shows are read only for a file to be written.
    s = reader->Conversation(id, &c, false);
    if (!s.ok()) break;
    std::string relative = RelativePath(c, options.format, sep);
    // Two conversations of a contact that began in the same second.
    auto taken = [&](const std::string& r) {
      if (after.files.count(r)) return true;
      for (const Pending& p : pending)
        if (p.relative == r) return true;
      // Read while their threads may run: only the files' texts change.
      for (const auto& b : in_flight)
        for (const Pending& p : b->pending)
          if (p.relative == r) return true;
      return false;
    };
    for (int n = 2; taken(relative); ++n) {
      const size_t dot = relative.rfind('.');
      relative = relative.substr(0, dot) + " (" + std::to_string(n) + ")" + relative.substr(dot);
    }
    const std::string target = dir + relative;
    const auto old = before.files.find(relative);
    FileKind kind = FileKind::kOther;
    int64_t count = 0;
    if (same_options && old != before.files.end() && old->second == std::pair(id, c.signature) &&
        env.GetFileKind(target, &kind).ok() && kind == FileKind::kRegular) {
      after.files[relative] = old->second;
      ++sum.unchanged;
      count = selection.every_message ? c.messages : 0;
    } else {
      s = reader->Conversation(id, &c);
      const std::string folder = path::FolderOf(target, sep);
      if (s.ok() && (folder != pending_folder || pending_bytes >= kBatchBytes)) s = commit();
      pending_folder = folder;
      // A file too long to hold is written as it is made, here, alone.
      std::string text;
      std::unique_ptr<ReplacementSet> alone;
      size_t index = 0;
      auto sink = [&](std::string_view part) {
        if (alone) return alone->file(index).Append(part);
        text.append(part);
        if (text.size() < kBatchBytes) return Status::OK();
        Status st = commit();
        if (Status settled = settle(); st.ok()) st = settled;
        if (st.ok()) st = ReadyFolder(env, folder);
        if (!st.ok()) return st;
        alone = std::make_unique<ReplacementSet>(env, FileAccess::kOwnerOnly);
        st = AddFile(*alone, target, sep, text, &index);
        std::string().swap(text);
        return st;
      };
      if (s.ok()) s = sink(writer->BeginFile());
      if (s.ok()) s = WriteConversation(*reader, *writer, c, selection, &count, sink, page);
      if (s.ok()) s = sink(writer->EndFile());
      std::string failed = target;
      if (s.ok() && alone) s = alone->Commit(folder, &failed);
      if (!s.ok()) {
        if (observer) observer->OnProblem({Problem::Kind::kWriteFailed, failed, s});
        break;
      }
      if (alone) {
        after.files[relative] = {id, c.signature};
        ++sum.written;
      } else {
        pending_bytes += text.size();
        pending.push_back({relative, {id, c.signature}, count, target, std::move(text)});
      }
    }
    ++sum.conversations;
    sum.messages += count;
    if (observer) observer->OnLogDone(0, count);
  }
  // The files made so far are whole, a stop's too: they take their places.
  if (s.ok()) s = commit();
  if (Status last = settle(); s.ok()) s = last;
  not_exported(pending);
  pending.clear();
  // What an earlier run wrote for conversations no longer selected goes, but
  // a run that did not finish keeps what it has not reached.
  for (const auto& [relative, entry] : before.files) {
    if (after.files.count(relative)) continue;
    if (!s.ok() || result.stopped) {
      after.files[relative] = entry;
      continue;
    }
    if (env.DeleteFile(dir + relative).ok()) ++sum.removed;
  }
  // A run that changed nothing leaves the manifest as it was.
  const bool same = after.options == before.options && after.files == before.files;
  if (Status m = same ? Status::OK() : WriteManifest(env, dir + kExportManifest, after); s.ok())
    s = m;
  return result;
}

ArchiveExportResult ExportArchiveToFile(Env& env, const std::string& db_path,
                                        const std::string& path,
                                        const ArchiveExportOptions& options, RunObserver* observer,
                                        StopFlag stop,
                                        const std::function<bool(std::string_view)>& out) {
  ArchiveExportResult result;
  std::unique_ptr<ArchiveReader> reader;
  Selection selection;
  Status& s = result.status;
  s = OpenSelection(db_path, options, &reader, &selection, stop);
  if (!s.ok()) return result;
  ReplacementSet file(env, FileAccess::kOwnerOnly);
  size_t index = 0;
  const std::string folder = path::FolderOf(path, env.Separator());
  if (!out) s = file.Add(path, TempPrefixFor(path, env.Separator()), &index);
  const std::function<Status(std::string_view)> sink = [&](std::string_view text) {
    if (!out) return file.file(index).Append(text);
    return out(text) ? Status::OK() : Status::IOError("could not write to standard output");
  };
  std::unique_ptr<ExportWriter> writer = MakeExportWriter(options.format, options.spreadsheet_safe);
  std::vector<MessageRow> page;
  if (observer) observer->OnTotal(static_cast<int64_t>(selection.conversations.size()), 0);
  if (s.ok()) s = sink(writer->BeginFile());
  for (size_t i = 0; s.ok() && i < selection.conversations.size(); ++i) {
    if (stop.Requested()) {
      result.stopped = true;
      return result;  // the file stays as it was
    }
    ConversationInfo c;
    int64_t count = 0;
    s = reader->Conversation(selection.conversations[i], &c);
    if (s.ok()) s = WriteConversation(*reader, *writer, c, selection, &count, sink, page);
    ++result.summary.conversations;
    result.summary.messages += count;
    if (observer) observer->OnLogDone(0, count);
  }
  if (s.ok()) s = sink(writer->EndFile());
  std::string failed;
  if (s.ok() && !out) s = file.Commit(folder, &failed);
  if (s.ok()) result.summary.written = 1;
  return result;
}

}  // namespace chatterwick::archive
