// rigstation journal remarks|troubles|mud|additives list: prints a journal of the station as
// a table. rigstation journal remarks add TEXT: adds a remark stamped now.
// The journals are the files the station keeps in its home folder (journals/journal_files.h)
// unless --file names another one.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_registry.h"
#include "core/locks.h"
#include "journals/journal_files.h"
#include "journals/mud_additives.h"
#include "journals/mud_log.h"
#include "journals/text_storage.h"
#include "journals/troubles_log.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/options.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"

namespace {

// Exit codes: 0 done; 1 the journal could not be read or saved (see stderr).
constexpr int kExitFailed = 1;

// ---- a plain text table ---------------------------------------------------------------------

std::size_t display_width(const std::string& utf8) {
  std::size_t pos = 0, chars = 0;
  while (pos < utf8.size()) {
    lib::next_utf8_code_point(utf8, pos);
    ++chars;
  }
  return chars;
}

// Columns padded to their widest cell and separated by two blanks; a cell never breaks a
// line, so multi-line text is shown with its escapes.
void print_table(const std::vector<std::string>& titles,
                 const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths(titles.size(), 0);
  auto measure = [&](const std::vector<std::string>& row) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
      widths[c] = std::max(widths[c], display_width(row[c]));
  };
  measure(titles);
  for (const auto& row : rows) measure(row);
  auto print_row = [&](const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const std::string cell = c < row.size() ? row[c] : std::string();
      line += cell;
      if (c + 1 < widths.size()) line += std::string(widths[c] - display_width(cell) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  };
  print_row(titles);
  for (const auto& row : rows) print_row(row);
}

std::string one_line(const std::string& text) {
  return lib::normal_text_to_file(text);
}

std::string date_time_cell(lib::DateTime t) {
  return t.days == 0 ? std::string("-") : lib::format_date_time(t);
}

std::string key_cell(const journals::JournalKey& key) {
  return std::to_string(key.low) + ":" + std::to_string(key.high);
}

// ---- running a command --------------------------------------------------------------------

struct JournalArgs {
  std::string file;  // empty: the station's own journal file
  std::string text;
  int size = text::remarks_format::kDefaultSize;
  std::string colour = "#FFFFFF";
  int kind = 0;
};

// Log lines of the journal go to stderr; `failed` remembers that there were any.
struct StderrLog {
  bool failed = false;
  journals::ErrorSink sink() {
    return [this](const std::string& line) {
      failed = true;
      std::fprintf(stderr, "%s\n", line.c_str());
    };
  }
};

std::string file_of(const JournalArgs& args, const rigstation::CommandContext& context,
                    const char* name) {
  return args.file.empty() ? journals::journal_path(context.home(), name) : args.file;
}

void fail_if(bool failed) {
  if (failed) throw CLI::RuntimeError(kExitFailed);
}

void list_remarks(const JournalArgs& args, const rigstation::CommandContext& context) {
  StderrLog log;
  text::Storage storage(file_lock_obj(), log.sink());
  storage.set_file_name(file_of(args, context, journals::kRemarksFileName));
  storage.load_from_file();
  std::vector<std::vector<std::string>> rows;
  int n = 0;
  for (const auto& r : storage.records()) {
    rows.push_back({std::to_string(++n),
                    lib::format_date_time(lib::to_date_time(lib::LocalTime{r.time, 0})),
                    std::to_string(r.kind), std::to_string(r.size), lib::colour_to_str(r.colour),
                    std::to_string(r.number), one_line(r.text), one_line(r.extra)});
  }
  print_table({"#", "time", "kind", "size", "colour", "number", "text", "extra"}, rows);
  fail_if(log.failed);
}

void add_remark(const JournalArgs& args, const rigstation::CommandContext& context) {
  const auto colour = lib::parse_colour(args.colour);
  if (!colour) {
    std::fprintf(stderr, "journal: colour '%s' is neither #RRGGBB nor a number\n",
                 args.colour.c_str());
    throw CLI::RuntimeError(kExitFailed);
  }
  StderrLog log;
  text::Storage storage(file_lock_obj(), log.sink());
  const std::string path = file_of(args, context, journals::kRemarksFileName);
  storage.set_file_name(path);
  storage.load_from_file();
  // A journal that did not read cleanly is not rewritten from here: the operator looks at
  // it first.
  if (log.failed) {
    std::fprintf(stderr, "journal: %s was not changed\n", path.c_str());
    throw CLI::RuntimeError(kExitFailed);
  }
  text::Record record;
  // The time identifies a remark, so a second remark within the same second takes the next
  // free one.
  record.time = static_cast<std::uint32_t>(lib::get_local_time().seconds);
  while (storage.find_by_tyme(record.time) >= 0) ++record.time;
  record.kind = args.kind;
  record.text = args.text;
  record.size = args.size < 1 ? text::remarks_format::kDefaultSize : args.size;
  record.colour = colour->rgb;
  storage.add_record(record);
  if (!lib::make_dirs(path.substr(0, path.find_last_of('/') + 1))) {
    std::fprintf(stderr, "journal: cannot create the folder of %s\n", path.c_str());
    throw CLI::RuntimeError(kExitFailed);
  }
  fail_if(!storage.save_to_file());
  std::printf("%s  %s\n",
              lib::format_date_time(lib::to_date_time(lib::LocalTime{record.time, 0})).c_str(),
              one_line(record.text).c_str());
}

void list_troubles(const JournalArgs& args, const rigstation::CommandContext& context) {
  StderrLog log;
  journals::TroublesLog troubles(log.sink());
  troubles.set_file_name(file_of(args, context, journals::kTroublesFileName));
  troubles.load();
  const journals::TroublesDict dict = troubles.get_dict();
  std::vector<std::vector<std::string>> rows;
  int n = 0;
  for (const auto& r : troubles.records()) {
    const int type = dict.type_index_of_id(r.type_id);
    rows.push_back(
        {std::to_string(++n), key_cell(r.key),
         type < 0 ? std::to_string(r.type_id) : dict.types[static_cast<std::size_t>(type)].name,
         date_time_cell(r.start), date_time_cell(r.end), lib::float_to_str(r.value1),
         lib::float_to_str(r.value2), lib::float_to_str(r.value3),
         std::to_string(r.second_id) + "/" + std::to_string(r.third_id),
         std::to_string(r.version2_field), one_line(r.text)});
  }
  print_table({"#", "key", "type", "start", "end", "value 1", "value 2", "value 3", "ids",
               "v2 field", "text"},
              rows);
  fail_if(log.failed);
}

void list_mud_log(const JournalArgs& args, const rigstation::CommandContext& context) {
  StderrLog log;
  journals::MudLog mud(log.sink());
  mud.set_file_name(file_of(args, context, journals::kMudLogFileName));
  mud.load();
  std::vector<std::string> titles = {"#", "key", "time", journals::kMudTypeKey};
  for (const auto& m : journals::kMudMeasurements) titles.push_back(m.key);
  std::vector<std::vector<std::string>> rows;
  int n = 0;
  for (const auto& item : mud.items()) {
    std::vector<std::string> row = {std::to_string(++n), key_cell(item.key),
                                    date_time_cell(item.time), one_line(item.mud_type)};
    for (double v : item.values) row.push_back(lib::float_to_str(v));
    rows.push_back(std::move(row));
  }
  print_table(titles, rows);
  fail_if(log.failed);
}

void list_additives(const JournalArgs& args, const rigstation::CommandContext& context) {
  StderrLog log;
  journals::MudAdditives additives(log.sink());
  additives.set_file_name(file_of(args, context, journals::kMudAdditivesFileName));
  additives.load();
  std::vector<std::vector<std::string>> rows;
  int n = 0;
  for (const auto& a : additives.items()) {
    rows.push_back({std::to_string(++n), key_cell(a.key), one_line(a.text),
                    std::to_string(a.number), date_time_cell(a.start), date_time_cell(a.end)});
  }
  print_table({"#", "key", "text", "number", "start", "end"}, rows);
  fail_if(log.failed);
}

using Runner = void (*)(const JournalArgs&, const rigstation::CommandContext&);

CLI::App* add_runner(CLI::App& parent, const char* name, const char* description, Runner run,
                     rigstation::CommandContext& context) {
  auto args = std::make_shared<JournalArgs>();
  CLI::App* cmd = parent.add_subcommand(name, description);
  cmd->add_option("--file", args->file, "Journal file (default: the station's own)");
  cmd->callback([args, run, &context] { run(*args, context); });
  return cmd;
}

void add_journal_command(CLI::App& app, rigstation::CommandContext& context) {
  CLI::App* journal = app.add_subcommand(
      "journal",
      "Show the station's journals, add a remark. Exit code 1: a journal could not "
      "be read or saved (see stderr).");
  journal->require_subcommand(1);

  CLI::App* remarks = journal->add_subcommand("remarks", "The operator's text remarks");
  remarks->require_subcommand(1);
  add_runner(*remarks, "list", "Print the remarks", list_remarks, context);
  {
    auto args = std::make_shared<JournalArgs>();
    CLI::App* add = remarks->add_subcommand("add", "Add a remark stamped now");
    add->add_option("text", args->text, "The remark's text")->required();
    add->add_option("--file", args->file, "Remarks file (default: the station's own)");
    add->add_option("--size", args->size, "Font size")->check(CLI::Range(1, 200));
    add->add_option("--colour", args->colour, "Colour, #RRGGBB");
    add->add_option("--kind", args->kind, "Kind of remark");
    add->callback([args, &context] { add_remark(*args, context); });
  }

  struct Journal {
    const char* name;
    const char* description;
    Runner list;
  };
  const Journal journals_list[] = {
      {"troubles", "The troubles log", list_troubles},
      {"mud", "The mud log", list_mud_log},
      {"additives", "The mud additives", list_additives},
  };
  for (const auto& j : journals_list) {
    CLI::App* sub = journal->add_subcommand(j.name, j.description);
    sub->require_subcommand(1);
    add_runner(*sub, "list", "Print the journal", j.list, context);
  }
}

}  // namespace

RIGSTATION_COMMAND("journal", add_journal_command);
