#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <optional>
#include <sstream>
#include <string_view>

#include "cli/command.h"
#include "core/output_folder.h"

namespace chatterwick::cli {

namespace {

constexpr const char* kVersion = "chatterwick-cli 0.1.0";
constexpr const char* kNotes =
    "CSV files begin with the UTF-8 byte-order mark and are safe to open in a\n"
    "spreadsheet: a text that would start a formula (= + - @) gets an apostrophe in\n"
    "front. --no-bom leaves out the mark and writes every field as read.\n"
    "\n"
    "Exit status: 0 done, 1 a file or folder could not be read or written (for search:\n"
    "no message matched), 2 wrong arguments, 130 or 143 stopped by Ctrl+C or SIGTERM.\n";
constexpr const char* kDescription = "chatterwick-cli: reads chat logs without a window.";
constexpr const char* kUsage =
    "chatterwick-cli (view | catalogue | export | archive | sources | people | search | "
    "export-archive) "
    "...";

struct Command {
  const char* name;
  const char* summary;
  const char* usage;  // one line, for a usage error
  void (*declare)(CLI::App*, Request&);
  // Throws Usage for what the parser cannot see, such as an empty text.
  void (*check)(CLI::App*, const Request&);
  int (*run)(const Request&, Shell&);
};

const Command kCommands[] = {
    {"view", "Lists one log: its title, then its chat lines.", "chatterwick-cli view LOG",
     &DeclareView, &CheckView, &RunView},
    {"catalogue", "Catalogues a log tree into five CSV files.",
     "chatterwick-cli catalogue ROOT [-m PATTERN] [--no-bom] [-o DIR] [-q] [--one-thread]",
     &DeclareCatalogue, &CheckCatalogue, &RunCatalogue},
    {"export", "Saves one log as CSV or as text.",
     "chatterwick-cli export LOG (--csv FILE [--no-bom] | --text FILE)", &DeclareExport,
     &CheckExport, &RunExport},
    {"archive", "Keeps every log of one or more trees in an SQLite archive.",
     "chatterwick-cli archive [ROOT ...] [--db FILE] [-m PATTERN] [--prune] [-q] [--one-thread]",
     &DeclareArchive, &CheckArchive, &RunArchive},
    {"sources", "Lists, renames or forgets the log folders an archive reads.",
     "chatterwick-cli sources [--db FILE] [ACTION = rename OLD NEW | forget NAME]", &DeclareSources,
     &CheckSources, &RunSources},
    {"people", "Lists the people of an archive; merges, splits or renames them.",
     "chatterwick-cli people [--db FILE] [--csv] [ACTION = merge PERSON HANDLE... | split HANDLE "
     "| rename OLD NEW]",
     &DeclarePeople, &CheckPeople, &RunPeople},
    {"search", "Finds messages in an archive.",
     "chatterwick-cli search [QUERY] [--db FILE] [--fts] [--contact TEXT] [--account TEXT] "
     "[--protocol TEXT] [--sender TEXT] [--person NAME] [--from DATE] [--to DATE] [--limit N] "
     "[--csv] [--present] [--newest-first] "
     "[-- QUERY that begins with -]",
     &DeclareSearch, &CheckSearch, &RunSearch},
    {"export-archive", "Exports conversations from an archive as HTML, text, JSON or CSV.",
     "chatterwick-cli export-archive [--db FILE] --format html|txt|json|jsonl|csv "
     "(--output DIR | --single FILE) [--query TEXT] [--only-matching] [--contact TEXT] "
     "[--account TEXT] [--protocol TEXT] [--sender TEXT] [--person NAME] [--from DATE] [--to DATE] "
     "[--no-bom] "
     "[-q]",
     &DeclareExportArchive, &CheckExportArchive, &RunExportArchive},
};

const Command* Find(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

// Letters to change, add or remove to turn a into b.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The command a mistyped name most likely meant, when one is near enough.
const Command* Suggestion(std::string_view typed) {
  const Command* best = nullptr;
  size_t best_distance = 3;  // more than two letters off is another word
  for (const Command& c : kCommands) {
    const std::string_view name = c.name;
    const size_t d =
        name.starts_with(typed) || typed.starts_with(name) ? 1 : EditDistance(typed, name);
    if (d < best_distance) best = &c, best_distance = d;
  }
  return best;
}

// The program's own help begins with the usage of every command, a line
// each, from the table ("Usage: ...", then "   or: ..."), as a manual page
// reads it; with --help-all, each command follows under a heading of its
// own, its summary, options and notes. A command's own help is as the
// parser makes it.
class ProgramFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent()) return CLI::Formatter::make_usage(app, std::move(name));
    std::string usage;
    for (const Command& c : kCommands)
      usage += std::string(usage.empty() ? "Usage: " : "   or: ") + c.usage + '\n';
    return usage;
  }
  std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
    if (mode != CLI::AppFormatMode::All) return CLI::Formatter::make_subcommands(app, mode);
    std::string text;
    for (const CLI::App* sub : app->get_subcommands({})) {
      // Blank lines part what a manual page must not run together.
      text += "\n" + sub->get_name() + ":\n  " + sub->get_description() + "\n\n";
      for (const CLI::Option* o : sub->get_options())
        if (o != sub->get_help_ptr() && o != sub->get_help_all_ptr())
          text += make_option(o, o->get_positional()) + (o->get_positional() ? "\n" : "");
      if (sub->get_footer() == app->get_footer()) continue;
      std::istringstream notes(sub->get_footer());
      text += '\n';
      for (std::string line; std::getline(notes, line);) text += "  " + line + "\n";
    }
    return text;
  }
};

// The program's parser, each command declared on it.
void DeclareAll(CLI::App& app, Request& rq) {
  app.formatter(std::make_shared<ProgramFormatter>());
  app.set_version_flag("-V,--version", kVersion);
  app.set_help_all_flag("--help-all", "Print every command's help and exit");
  app.require_subcommand(1, 1);
  app.footer(std::string(kNotes) + "\nThe output folder here: " + rq.output_folder + "\n");
  for (const Command& c : kCommands) c.declare(app.add_subcommand(c.name, c.summary), rq);
}

// Parses args into rq; returns the exit status when the parse already
// settled it (help, version, a usage error), nothing when the command is to run.
std::optional<int> Parse(const std::vector<std::string>& args, Request& rq, const Command** cmd,
                         std::ostream& out, std::ostream& err) {
  CLI::App app(kDescription, "chatterwick-cli");
  DeclareAll(app, rq);
  const Command* named = args.empty() ? nullptr : Find(args[0]);
  if (!args.empty() && !named && !args[0].empty() && args[0][0] != '-') {
    const Command* meant = Suggestion(args[0]);
    err << "chatterwick-cli: unknown command \"" << args[0] << "\"";
    if (meant) err << "; did you mean \"" << meant->name << "\"?\n";
    else err << "; usage: " << kUsage << "   (--help for more)\n";
    return 2;
  }
  const std::string prefix =
      std::string("chatterwick-cli") + (named ? " " : "") + (named ? named->name : "") + ": ";
  const char* usage = named ? named->usage : kUsage;
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
    *cmd = Find(app.get_subcommands()[0]->get_name());
    (*cmd)->check(app.get_subcommands()[0], rq);
    return std::nullopt;
  } catch (const CLI::CallForHelp&) {
    CLI::App* sub = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
    out << sub->help(sub == &app ? "" : "chatterwick-cli");
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
  } catch (const CLI::CallForVersion&) {
    out << kVersion << '\n';
  } catch (const CLI::ParseError& e) {
    err << prefix << e.what() << "; usage: " << usage << "   (--help for more)\n";
    return 2;
  } catch (const Usage& u) {
    err << prefix << u.problem << "; usage: " << usage << "   (--help for more)\n";
    return 2;
  }
  return 0;
}

}  // namespace

std::vector<CommandUsage> CommandUsages() {
  Request rq;
  CLI::App app(kDescription, "chatterwick-cli");
  DeclareAll(app, rq);
  std::vector<CommandUsage> usages;
  for (const Command& c : kCommands) {
    CommandUsage& u = usages.emplace_back(CommandUsage{c.name, c.summary, c.usage, {}});
    const CLI::App* sub = app.get_subcommand(c.name);
    for (const CLI::Option* o : sub->get_options()) {
      if (o == sub->get_help_ptr() || o == sub->get_help_all_ptr()) continue;
      std::vector<std::string>& names = u.parsed.emplace_back();
      if (o->get_positional()) names.push_back(o->get_name());
      for (const std::string& s : o->get_snames()) names.push_back("-" + s);
      for (const std::string& l : o->get_lnames()) names.push_back("--" + l);
    }
  }
  return usages;
}

int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal, const std::atomic<int>* stop, bool out_is_terminal,
        BlockSource* blocks) {
  Request rq;
  rq.output_folder = OutputFolder(env);
  const Command* cmd = nullptr;
  if (const std::optional<int> settled = Parse(args, rq, &cmd, out, err)) return *settled;
  Shell shell{env, out, err, err_is_terminal, out_is_terminal, stop, blocks};
  return cmd->run(rq, shell);
}

}  // namespace chatterwick::cli
