// pak: lists, unpacks, builds, edits and checks the engine's pak archives.
#include <CLI/CLI.hpp>
#include <cstring>
#include <iostream>
#include <sstream>

#include "CommandSupport.h"
#include "Escape.h"
#include "PakCommands.h"
#include "PakEngineVersion.h"

namespace {

const char* const kCommands[] = {"list", "cat", "extract", "create", "add", "remove", "verify"};

}  // namespace

int main(int argc, char** argv) {
    // A word where the command goes that names none: say so, rather than that one is missing.
    if (argc > 1 && argv[1][0] != '-' &&
        std::none_of(std::begin(kCommands), std::end(kCommands),
                     [&](const char* command) { return strcmp(command, argv[1]) == 0; })) {
        CommandSupport::Complain(std::string("unknown command '") + argv[1] + "'");
        CommandSupport::Complain(
            "the commands are list, cat, extract, create, add, remove and verify (pak --help)");
        return PakCommands::kFailed;
    }

    CLI::App app{"Lists, unpacks, builds, edits and checks pak archives.", "pak"};
    app.set_version_flag("--version", "pak " PAKENGINE_VERSION_STRING);
    app.require_subcommand(1);

    std::string archive;
    std::vector<std::string> names;

    bool longFormat = false;
    bool json = false;
    bool nul = false;
    CLI::App* list = app.add_subcommand("list", "Show each entry's name, size and offset.");
    list->add_option("ARCHIVE", archive, "The archive to read.")->required();
    CLI::Option* longOption = list->add_flag("-l,--long", longFormat,
                                             "A header row, and where each file was packed from.");
    CLI::Option* jsonOption = list->add_flag(
        "--json", json, "One JSON array of {name, size, offset, source}, names as stored.");
    list->add_flag("-0", nul, "Only the names, as stored, each followed by a NUL byte.")
        ->excludes(longOption)
        ->excludes(jsonOption);
    jsonOption->excludes(longOption);
    list->footer(
        "Names show '/' between folders, whichever separator is stored; other bytes that are not "
        "safe to show, a backslash included, are escaped (\\t, \\n, \\\\, \\033).");

    CLI::App* cat = app.add_subcommand("cat", "Write entries' bytes to standard output.");
    cat->add_option("ARCHIVE", archive, "The archive to read.")->required();
    cat->add_option("NAME", names, "Entries to write, in this order (names or patterns).")
        ->required();

    std::string dest = "extracted/";
    CLI::App* extract = app.add_subcommand("extract", "Unpack entries into a folder.");
    extract->add_option("ARCHIVE", archive, "The archive to read.")->required();
    extract->add_option("NAME", names, "Entries to unpack (all when none are named).");
    extract->add_option("-C,--directory", dest, "Folder to unpack into.")->capture_default_str();
    extract->footer(
        "A NAME takes '/' or '\\' between folders. '*' and '?' match within one folder level; "
        "a NAME ending in a separator selects everything below that folder. A NAME that "
        "matches nothing is an error (status 1); the entries that did match are still written.");

    std::string folder;
    PakCommands::CreateOptions createOptions;
    CLI::App* create = app.add_subcommand("create", "Pack every file below a folder.");
    create->add_option("FOLDER", folder, "The folder to pack.")->required();
    create->add_option("ARCHIVE", archive, "The archive to write (replaced if it exists).")
        ->required();
    create->add_flag("--flat", createOptions.Flat,
                     "Store bare file names; two files of one name are then an error.");
    create->add_option("-p,--prefix", createOptions.Prefix,
                       "Store names as PREFIX\\path below the folder.");
    create->footer("Names are stored with '\\' between folders, as paths below FOLDER.");

    std::vector<std::string> paths;
    std::string storedAs;
    CLI::App* add = app.add_subcommand(
        "add", "Add files and folders, replacing entries of the same name where they stand.");
    add->add_option("ARCHIVE", archive, "The archive to change (made if missing).")->required();
    add->add_option("PATH", paths, "Files, or folders whose files to add, stored by these paths.")
        ->required();
    CLI::Option* asOption =
        add->add_option("--as", storedAs, "Store the one PATH under this name instead.");

    CLI::App* remove = app.add_subcommand("remove", "Remove entries.");
    remove->add_option("ARCHIVE", archive, "The archive to change.")->required();
    remove->add_option("NAME", names, "Entries to remove (names or patterns, as for extract).")
        ->required();

    CLI::App* verify = app.add_subcommand(
        "verify",
        "Check an archive's structure; print a line per problem, exit 1 if any. The format "
        "has no checksums: changed bytes inside an entry cannot be detected.");
    verify->add_option("ARCHIVE", archive, "The archive to check.")->required();
    verify->footer(
        "Checks: the entry count against the file's size (an empty file included), every "
        "record (terminated fields, data inside the file and below 2 GiB, names that stay "
        "inside the folder they are unpacked into), offsets stored in the table, entries "
        "whose data overlap by them, duplicate names (exact, and equal without case), and "
        "bytes after the last entry's data.");

    for (CLI::App* command : {create, add, remove}) {
        command->footer(command->get_footer() + (command->get_footer().empty() ? "" : " ") +
                        "The archive is written beside the old one and replaces it only when "
                        "complete.");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Usage errors quote the arguments, which may hold anything: escape them line by
        // line. Help and version are successes; every usage error has the same status.
        std::ostringstream err;
        const int status = app.exit(e, std::cout, err);
        std::istringstream lines(err.str());
        for (std::string line; std::getline(lines, line);) {
            std::cerr << Printable(line) << '\n';
        }
        return status == 0 ? 0 : PakCommands::kFailed;
    }

    using PakCommands::ListFormat;
    if (list->parsed()) {
        return PakCommands::List(archive, nul          ? ListFormat::Nul
                                          : json       ? ListFormat::Json
                                          : longFormat ? ListFormat::Long
                                                       : ListFormat::Plain);
    }
    if (cat->parsed()) return PakCommands::Cat(archive, names);
    if (extract->parsed())
        return PakCommands::Extract(archive, names, dest, extract->count("-C") > 0);
    if (create->parsed()) return PakCommands::Create(folder, archive, createOptions);
    if (add->parsed()) {
        return PakCommands::Add(
            archive, paths,
            asOption->count() ? std::optional<std::string>(storedAs) : std::nullopt);
    }
    if (remove->parsed()) return PakCommands::Remove(archive, names);
    return PakCommands::Verify(archive);
}
