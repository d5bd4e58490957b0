// pak: lists, unpacks, builds and checks the engine's pak archives.
#include <CLI/CLI.hpp>
#include <iostream>
#include <sstream>

#include "Escape.h"
#include "PakCommands.h"

int main(int argc, char** argv) {
    CLI::App app{"Lists, unpacks, builds and checks pak archives.", "pak"};
    app.set_version_flag("--version", "pak 1.0.0");
    app.require_subcommand(1);

    std::string archive;
    bool longFormat = false;
    CLI::App* list = app.add_subcommand("list", "Show each entry's name, size and offset.");
    list->add_option("ARCHIVE", archive, "The archive to read.")->required();
    list->add_flag("-l,--long", longFormat, "Also show where each file was packed from.");

    std::string dest = "extracted/";
    std::vector<std::string> names;
    CLI::App* extract = app.add_subcommand("extract", "Unpack entries into a folder.");
    extract->add_option("ARCHIVE", archive, "The archive to read.")->required();
    extract->add_option("DEST", dest, "Folder to unpack into.")->capture_default_str();
    extract->add_option("NAME", names, "Entries to unpack (all when none are named).");

    std::string folder;
    std::string prefix;
    CLI::App* create = app.add_subcommand("create", "Pack every file below a folder.");
    create->add_option("FOLDER", folder, "The folder to pack.")->required();
    create->add_option("ARCHIVE", archive, "The archive to write (replaced if it exists).")
        ->required();
    CLI::Option* prefixOption = create->add_option(
        "-p,--prefix", prefix,
        "Store names as PREFIX/path below the folder; without it, bare file names.");

    CLI::App* verify = app.add_subcommand(
        "verify", "Check an archive's structure; print a line per problem, exit 1 if any.");
    verify->add_option("ARCHIVE", archive, "The archive to check.")->required();

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

    if (list->parsed()) return PakCommands::List(archive, longFormat);
    if (extract->parsed()) return PakCommands::Extract(archive, dest, names);
    if (create->parsed()) {
        return PakCommands::Create(folder, archive, prefixOption->count() > 0, prefix);
    }
    return PakCommands::Verify(archive);
}
