#include "archive/export_manifest.h"

#include <nlohmann/json.hpp>

#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

using nlohmann::json;

// Reads a manifest as it is parsed, without a tree of it in between: the
// manifest of a large export has an entry for each of its files.
class ManifestReader : public nlohmann::json_sax<json> {
 public:
  explicit ManifestReader(Manifest* m) : m_(m) {}
  bool has_files = false;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t n) override {
    if (depth_ != 3 || !in_files_) return true;
    ManifestEntry& e = m_->files[name_];
    if (key_ == "conversation") e.conversation = n;
    else if (key_ == "size") e.stamp.size = static_cast<uint64_t>(n);
    else if (key_ == "mtime") e.stamp.modified = n;
    else if (key_ == "ctime") e.stamp.changed = n;
    else if (key_ == "inode") e.stamp.inode = static_cast<uint64_t>(n);
    return true;
  }
  bool number_unsigned(number_unsigned_t n) override {
    return number_integer(static_cast<number_integer_t>(n));
  }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t& text) override {
    if (depth_ == 1 && key_ == "options") m_->options = std::move(text);
    else if (depth_ == 3 && in_files_ && key_ == "signature")
      m_->files[name_].signature = std::move(text);
    else if (depth_ == 3 && in_files_ && key_ == "options")
      m_->files[name_].options = std::move(text);
    else if (depth_ == 3 && in_files_ && key_ == "first_sent_at") Sent().first = std::move(text);
    else if (depth_ == 3 && in_files_ && key_ == "last_sent_at") Sent().last = std::move(text);
    return true;
  }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    ++depth_;
    // Only the top level's "files" object holds entries.
    if (depth_ == 2) {
      in_files_ = outer_ == "files";
      has_files = has_files || in_files_;
    }
    if (depth_ == 3 && in_files_) m_->files[name_];  // an entry, though it may say nothing
    return true;
  }
  bool end_object() override {
    if (--depth_ < 2) in_files_ = false;
    key_.clear();
    return true;
  }
  bool start_array(std::size_t) override {
    if (++depth_ == 2) in_files_ = false;
    return true;
  }
  bool end_array() override {
    if (--depth_ < 2) in_files_ = false;
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
  SentSpan& Sent() {
    std::optional<SentSpan>& sent = m_->files[name_].sent;
    if (!sent) sent.emplace();
    return *sent;
  }

  Manifest* m_;
  int depth_ = 0;
  bool in_files_ = false;
  std::string outer_, name_, key_;
};

}  // namespace

Manifest ReadManifest(Env& env, const std::string& path,
                      const std::function<bool(const std::string&)>& place_ok,
                      std::vector<std::string>* passed_over) {
  Manifest m;
  std::string text;
  if (!ReadFileToString(env, path, &text).ok()) return m;
  ManifestReader reader(&m);
  if (!json::sax_parse(text, &reader) || !reader.has_files) return Manifest();
  std::erase_if(m.files, [&](const auto& entry) {
    if (place_ok(entry.first)) return false;
    passed_over->push_back(entry.first);
    return true;
  });
  return m;
}

std::vector<std::string> ReadJournal(Env& env, const std::string& path) {
  std::string text;
  std::vector<std::string> places;
  if (!ReadFileToString(env, path, &text).ok()) return places;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) break;  // a line cut short by a kill names nothing
    if (end > start) places.push_back(text.substr(start, end - start));
  }
  return places;
}

Status WriteManifest(Env& env, const std::string& path, const Manifest& m) {
  json files = json::object();
  for (const auto& [name, e] : m.files) {
    json& entry = files[name] = {{"conversation", e.conversation}, {"signature", e.signature},
                                 {"options", e.options},           {"size", e.stamp.size},
                                 {"mtime", e.stamp.modified},      {"ctime", e.stamp.changed},
                                 {"inode", e.stamp.inode}};
    if (e.sent) {
      entry["first_sent_at"] = e.sent->first;
      entry["last_sent_at"] = e.sent->last;
    }
  }
  const std::string text = json{{"options", m.options}, {"files", files}}.dump(
                               1, ' ', false, json::error_handler_t::replace) +
                           "\n";
  SavingFile file(env, FileAccess::kOwnerOnly);
  Status s = file.Open(path);
  if (s.ok()) s = file.Append(text);
  return s.ok() ? file.Commit() : s;
}

}  // namespace chatterwick::archive
