#include <CLI/CLI.hpp>

#include <iostream>

#include "SampleCommand.h"
#include "ScanCommand.h"
#include "SourceListCommand.h"
#include "common/SystemLog.h"

int main(int argc, char** argv) {
    CLI::App app{"Vessamo: WhatsApp data from iPhone backups"};
    app.require_subcommand(1);
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
        ->add_option("--media", sample.extraMedia, "Extra chat pictures, for a large sample")
        ->capture_default_str();

    bool listJson = false;
    auto* listCommand =
        app.add_subcommand("list", "List the sources found for the user folder (VESSAMO_HOME)");
    listCommand->add_flag("--json", listJson, "Print a JSON array instead of a table");

    vessamo::cli::ScanOptions scan;
    auto* scanCommand = app.add_subcommand(
        "scan", "Scan a backup folder; Ctrl-C stops and prints what was found so far");
    scanCommand->add_option("PATH", scan.folder, "The backup folder")->required();
    scanCommand->add_flag("--json", scan.json, "Print the whole result as one JSON object");
    scanCommand->add_flag("--deleted", scan.deleted,
                          "Advanced recovery: also carve deleted messages");

    CLI11_PARSE(app, argc, argv);
    vessamo::SystemLog::setEchoToStderr(verbose);

    if (*sampleCommand) {
        return vessamo::cli::runSample(sample, std::cout, std::cerr);
    }
    if (*scanCommand) {
        return vessamo::cli::runScan(scan, std::cout, std::cerr);
    }
    if (*listCommand) {
        return vessamo::cli::runList(listJson, std::cout, std::cerr);
    }
    return 0;
}
