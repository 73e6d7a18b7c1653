// rigstation journal remarks|troubles|mud|additives list: prints a journal of the station as
// a table. rigstation journal remarks add TEXT: adds a remark stamped now.
// The journals are the files the station keeps in its home folder (journals/journal_files.h)
// unless --file names another one.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_registry.h"
#include "core/locks.h"
#include "journals/journal_commands.h"
#include "journals/journal_files.h"
#include "journals/remarks_format.h"
#include "lib/date_time.h"
#include "lib/options.h"
#include "lib/str_utils.h"

namespace {

// Exit codes: 0 done; 1 the journal could not be read or saved (see stderr).
constexpr int kExitFailed = 1;

std::string one_line(const std::string& text) {
  return lib::normal_text_to_file(text);
}

void print_table(const journals::JournalTable& table) {
  std::fputs(journals::format_table(table).c_str(), stdout);
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
                    journals::JournalKind kind) {
  return args.file.empty()
             ? journals::journal_path(context.home(), journals::journal_file_name(kind))
             : args.file;
}

void fail_if(bool failed) {
  if (failed) throw CLI::RuntimeError(kExitFailed);
}

void list(journals::JournalKind kind, const JournalArgs& args,
          const rigstation::CommandContext& context) {
  StderrLog log;
  print_table(journals::list_journal(kind, file_of(args, context, kind), lib::posix_file_system(),
                                     log.sink()));
  fail_if(log.failed);
}

void add_remark(const JournalArgs& args, const rigstation::CommandContext& context) {
  const auto colour = lib::parse_colour(args.colour);
  if (!colour) {
    std::fprintf(stderr, "journal: colour '%s' is neither #RRGGBB nor a number\n",
                 args.colour.c_str());
    throw CLI::RuntimeError(kExitFailed);
  }
  text::Record record;
  record.time = static_cast<std::uint32_t>(lib::get_local_time(lib::system_clock()).seconds);
  record.kind = args.kind;
  record.text = args.text;
  record.size = args.size < 1 ? text::remarks_format::kDefaultSize : args.size;
  record.colour = colour->rgb;
  StderrLog log;
  const auto added =
      journals::add_remark(file_of(args, context, journals::JournalKind::kRemarks), record,
                           file_lock_obj(), lib::posix_file_system(), log.sink());
  fail_if(!added);
  std::printf("%s  %s\n",
              lib::format_date_time(lib::to_date_time(lib::LocalTime{added->time, 0})).c_str(),
              one_line(added->text).c_str());
}

CLI::App* add_list(CLI::App& parent, const char* description, journals::JournalKind kind,
                   rigstation::CommandContext& context) {
  auto args = std::make_shared<JournalArgs>();
  CLI::App* cmd = parent.add_subcommand("list", description);
  cmd->add_option("--file", args->file, "Journal file (default: the station's own)");
  cmd->callback([args, kind, &context] { list(kind, *args, context); });
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
  add_list(*remarks, "Print the remarks", journals::JournalKind::kRemarks, context);
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
    journals::JournalKind kind;
  };
  const Journal journals_list[] = {
      {"troubles", "The troubles log", journals::JournalKind::kTroubles},
      {"mud", "The mud log", journals::JournalKind::kMudLog},
      {"additives", "The mud additives", journals::JournalKind::kMudAdditives},
  };
  for (const auto& j : journals_list) {
    CLI::App* sub = journal->add_subcommand(j.name, j.description);
    sub->require_subcommand(1);
    add_list(*sub, "Print the journal", j.kind, context);
  }
}

}  // namespace

RIGSTATION_COMMAND("journal", add_journal_command);
