// rigstation manpage: writes the manual page rigstation(1) from the program's own commands,
// options and help texts, so the page shown by `man` cannot drift from `--help`. The build
// runs it; it is hidden from the command list.
#include <cstdio>
#include <string>

#include "command_registry.h"

namespace {

// Text for a roff line: backslashes escaped, minus signs kept as minus signs (options must
// copy and paste), and a leading dot or quote kept from being read as a request.
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

bool shown(const CLI::App* app) {
  return !app->get_group().empty() && !app->get_name().empty();
}

// The options of one command; those every command has (--help, --home) only at the top.
void print_options(const CLI::App& app, bool top) {
  for (const CLI::Option* opt : app.get_options()) {
    if (opt->get_group().empty()) continue;  // hidden
    if (!top && (opt->check_lname("help") || opt->check_lname("home"))) continue;
    std::string name = opt->nonpositional() ? opt->get_name(false, true) : opt->get_name(true);
    const std::string type = opt->get_type_name();
    std::printf(".TP\n.B %s", roff(name).c_str());
    if (!type.empty() && opt->get_type_size_max() > 0 && opt->get_expected_max() > 0)
      std::printf(" \\fI%s\\fR", roff(type).c_str());
    std::printf("\n%s\n", roff(opt->get_description()).c_str());
  }
}

void print_command(CLI::App& app, const std::string& path) {
  std::printf(".SS \"%s\"\n%s\n", roff(path).c_str(), roff(app.get_description()).c_str());
  print_options(app, false);
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    if (shown(sub)) print_command(*sub, path + " " + sub->get_name());
  }
}

int write_page(CLI::App& root) {
  std::string summary = root.get_description();
  // "rigstation — what it is": the part after the dash is the page's one-line summary.
  if (const auto dash = summary.find(" — "); dash != std::string::npos)
    summary = summary.substr(dash + std::string(" — ").size());
  std::printf(".TH RIGSTATION 1 \"\" \"rigstation %s\" \"User Commands\"\n", RIGCORE_VERSION);
  std::printf(".SH NAME\nrigstation \\- %s\n", roff(summary).c_str());
  std::printf(
      ".SH SYNOPSIS\n.B rigstation\n[\\fIOPTIONS\\fR] [\\fICOMMAND\\fR] [\\fICOMMAND "
      "OPTIONS\\fR]\n");
  std::printf(
      ".SH DESCRIPTION\n\\fBrigstation\\fR is the %s. Each command below is one of its "
      "tools; \\fBrun\\fR is the station itself. Every command takes \\fB\\-\\-home\\fR and "
      "\\fB\\-\\-help\\fR.\n",
      roff(summary).c_str());
  std::printf(".SH OPTIONS\n");
  print_options(root, true);
  std::printf(".SH COMMANDS\n");
  for (CLI::App* sub : root.get_subcommands([](CLI::App*) { return true; })) {
    if (shown(sub)) print_command(*sub, "rigstation " + sub->get_name());
  }
  std::printf(
      ".SH ENVIRONMENT\n.TP\n.B RIGCORE_HOME\nThe station home folder when \\fB\\-\\-home\\fR "
      "is not given.\n");
  std::printf(
      ".SH FILES\n.TP\n.I /var/lib/rigstation\nThe home of the station run by the service "
      "\\fBrigstation.service\\fR: settings, parameter table, state file, journals and "
      "recordings.\n.TP\n.I /usr/share/doc/rigstation\nThe station's manual pages in "
      "Markdown, one per file format and subsystem.\n");
  std::printf(".SH SEE ALSO\n.BR systemctl (1),\n.BR journalctl (1)\n");
  return 0;
}

void add_manpage(CLI::App& app, rigstation::CommandContext&) {
  CLI::App* cmd = app.add_subcommand("manpage", "Write the manual page rigstation(1) to stdout");
  cmd->group("");  // a build step, not an operator's tool
  cmd->callback([&app] { std::exit(write_page(app)); });
}

}  // namespace

RIGSTATION_COMMAND("manpage", add_manpage);
