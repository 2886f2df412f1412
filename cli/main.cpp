#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <tuple>

#include "CarveCommand.h"
#include "ConvertCommand.h"
#include "DemoCommand.h"
#include "ExportCommand.h"
#include "InterruptWatcher.h"
#include "SampleCommand.h"
#include "ScanCommand.h"
#include "SourceListCommand.h"
#include "TimelineCommand.h"
#include "common/SystemLog.h"

int main(int argc, char** argv) {
    CLI::App app{"Vessamo: WhatsApp data from iPhone backups"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "vessamo-cli " VESSAMO_VERSION);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "Echo diagnostic log lines to stderr");

    vessamo::cli::SampleOptions sample;
    auto* sampleCommand = app.add_subcommand("sample", "Write a sample iPhone backup into DIR");
    sampleCommand->add_option("DIR", sample.folder, "Folder to create (must be new or empty)")
        ->required();
    sampleCommand->add_option("--layout", sample.layout, "Catalogue: db (iOS 10+) or mbdb")
        ->check(CLI::IsMember({"db", "mbdb"}));
    sampleCommand->add_option("--ios", sample.iosVersion, "iOS version the backup claims")
        ->capture_default_str();
    sampleCommand->add_option("--name", sample.name, "Device name")->capture_default_str();
    sampleCommand
        ->add_option("--kind", sample.kind,
                     "itunes (a device backup), icloud (an iCloud Drive account below DIR as a "
                     "user folder) or timeline (a Timeline backup)")
        ->check(CLI::IsMember({"itunes", "icloud", "timeline"}))
        ->capture_default_str();
    sampleCommand
        ->add_option("--media", sample.extraMedia, "Extra chat pictures, for a large sample")
        ->check(CLI::Range(size_t{0}, size_t{1'000'000}))
        ->capture_default_str();
    sampleCommand
        ->add_option("--keep-media-every", sample.keepMediaEvery,
                     "Keep the files of one chat media message in N; the others are catalogued "
                     "without their data, as offloaded media are")
        ->check(CLI::Range(size_t{0}, size_t{1'000'000}));
    sampleCommand
        ->add_option("--messages", sample.messages,
                     "WhatsApp messages of a large sample, its chats, people and media scaled "
                     "with it")
        ->check(CLI::Range(size_t{1}, size_t{10'000'000}));
    sampleCommand->add_option("--password-file", sample.passwordFile,
                              "Encrypt the backup with the password in FILE (itunes only)");
    sampleCommand
        ->add_option("--password-rounds", sample.passwordRounds,
                     "PBKDF2-HMAC-SHA256 rounds of an encrypted backup's key bag")
        ->check(CLI::Range(uint32_t{1}, uint32_t{100'000'000}))
        ->capture_default_str();

    bool listJson = false;
    auto* listCommand =
        app.add_subcommand("list", "List the sources found for the user folder (VESSAMO_HOME)");
    listCommand->add_flag("--json", listJson, "Print a JSON array instead of a table");

    vessamo::cli::ScanCommandOptions scan;
    auto* scanCommand = app.add_subcommand(
        "scan", "Scan a backup folder; Ctrl-C stops and prints what was found so far");
    scanCommand->add_option("PATH", scan.folder, "The backup folder")->required();
    scanCommand->add_option("--kind", scan.kind, "itunes, icloud or timeline (default: detected)")
        ->check(CLI::IsMember({"itunes", "icloud", "timeline"}));
    scanCommand->add_flag("--json", scan.json,
                          "Stream the whole result as one JSON object (docs/json-schema.md)");
    scanCommand->add_flag("--deleted", scan.deleted,
                          "Advanced recovery: also carve deleted messages");
    scanCommand->add_option("--password-file", scan.passwordFile,
                            "An encrypted backup's password (else asked for on a terminal)");

    vessamo::cli::ExportOptions exportOptions;
    auto* exportCommand = app.add_subcommand(
        "export", "Scan a backup folder and export what it holds (everything by default)");
    exportCommand->add_option("PATH", exportOptions.folder, "The backup folder")->required();
    exportCommand
        ->add_option("--kind", exportOptions.kind, "itunes, icloud or timeline (default: detected)")
        ->check(CLI::IsMember({"itunes", "icloud", "timeline"}));
    exportCommand->add_option("--to", exportOptions.destination, "Folder to write into")
        ->required();
    exportCommand->add_flag("--html", exportOptions.html, "Chat pages with their media");
    exportCommand->add_flag("--report", exportOptions.report,
                            "A chat report to read, print and keep: index, pages and JSON");
    exportCommand->add_flag("--utc", exportOptions.utc, "The report's times in UTC");
    exportCommand->add_flag("--text", exportOptions.text, "Chats as text files");
    exportCommand->add_flag("--people", exportOptions.people, "vCards of the people of the chats");
    exportCommand->add_flag("--contacts", exportOptions.contacts, "The address book as vCards");
    exportCommand->add_flag("--favorites", exportOptions.favorites, "WhatsApp contacts as vCards");
    exportCommand->add_flag("--calls", exportOptions.calls, "The call log as text");
    exportCommand->add_flag("--chat-media", exportOptions.chatMedia, "Media of the chosen chats");
    auto* allMedia =
        exportCommand->add_flag("--all-media", exportOptions.allMedia, "Every media file");
    for (auto [flag, target, help] :
         {std::tuple{"--photos", &exportOptions.photos, "Photos only"},
          std::tuple{"--videos", &exportOptions.videos, "Videos only"},
          std::tuple{"--audios", &exportOptions.audios, "Voice notes and sounds only"}}) {
        exportCommand->add_flag(flag, *target, help)->excludes(allMedia);
    }
    exportCommand->add_option("--chats", exportOptions.chats, "all, or chat keys: 3,7,12")
        ->capture_default_str();
    exportCommand->add_flag("--deleted", exportOptions.deleted,
                            "Recover deleted messages and export them too");
    exportCommand->add_option("--password-file", exportOptions.passwordFile,
                              "An encrypted backup's password (else asked for on a terminal)");

    std::vector<std::string> voiceNotes;
    auto* convertCommand =
        app.add_subcommand("convert", "Convert WhatsApp voice notes (.opus) to WAV files");
    convertCommand->add_option("FILE", voiceNotes, "Voice notes")->required();

    vessamo::cli::CarveOptions carve;
    auto* carveCommand = app.add_subcommand(
        "carve", "Recover deleted rows of any SQLite database (read only, with its -wal)");
    carveCommand->add_option("DB", carve.database, "The database file")->required();
    carveCommand->add_option("--table", carve.table, "Only this table");
    carveCommand->add_flag("--json", carve.json, "Print the rows as JSON");

    std::string demoDestination = "vessamo-demo";
    vessamo::cli::TimelineOptions timeline;
    auto* timelineCommand = app.add_subcommand("timeline",
                                               "Timeline backups: dated copies of "
                                               "an account's WhatsApp data");
    timelineCommand->require_subcommand(1);
    auto* timelineCreate =
        timelineCommand->add_subcommand("create", "Scan SOURCE and keep it as a Timeline backup");
    timelineCreate->add_option("SOURCE", timeline.source, "The backup folder")->required();
    timelineCreate->add_option("--kind", timeline.kind, "itunes, icloud or timeline")
        ->check(CLI::IsMember({"itunes", "icloud", "timeline"}));
    auto* timelineList = timelineCommand->add_subcommand("list", "List the Timeline backups");

    auto* demoCommand = app.add_subcommand(
        "demo", "Make a sample backup, scan it with recovery and export everything");
    demoCommand->add_option("--to", demoDestination, "Folder for the exports")
        ->capture_default_str();

    CLI11_PARSE(app, argc, argv);
    vessamo::SystemLog::setEchoToStderr(verbose);
    // Scans and exports stop between items and tidy up; the rest end at once.
    const bool stoppable = *scanCommand || *exportCommand || *demoCommand || *timelineCreate;
    const vessamo::cli::InterruptWatcher interrupts(
        stoppable ? vessamo::cli::InterruptWatcher::Mode::stopWork
                  : vessamo::cli::InterruptWatcher::Mode::exitAtOnce);

    if (*sampleCommand) {
        return vessamo::cli::runSample(sample, std::cout, std::cerr);
    }
    if (*carveCommand) {
        return vessamo::cli::runCarve(carve, stdout, std::cerr);
    }
    if (*convertCommand) {
        return vessamo::cli::runConvert(voiceNotes, std::cout, std::cerr);
    }
    if (*demoCommand) {
        return vessamo::cli::runDemo(demoDestination, std::cout, std::cerr);
    }
    if (*exportCommand) {
        return vessamo::cli::runExport(exportOptions, std::cout, std::cerr);
    }
    if (*scanCommand) {
        return vessamo::cli::runScan(scan, stdout, std::cerr);
    }
    if (*timelineCreate) {
        return vessamo::cli::runTimelineCreate(timeline, std::cout, std::cerr);
    }
    if (*timelineList) {
        return vessamo::cli::runTimelineList(std::cout);
    }
    if (*listCommand) {
        return vessamo::cli::runList(listJson, stdout);
    }
    return 0;
}
