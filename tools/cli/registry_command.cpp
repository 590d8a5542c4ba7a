// SPDX-License-Identifier: Apache-2.0
// snmphelper registry: imports a .reg file (as regedit exports it on
// Windows) into the registry, and exports keys in the same form.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "tools/cli/commands.h"
#include "tools/cli/registry_messages.h"

namespace snmphelper::cli {
namespace {

bool ReadWholeFile(const std::string &path, std::string &bytes) {
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    bytes = contents.str();
    return !file.bad();
}

int RunImport(const std::string &path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        std::fprintf(stderr, "registry import: cannot read %s\n", path.c_str());
        return 1;
    }
    std::string problem;
    const std::int32_t code = platform::ImportRegistryText(bytes, problem);
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "registry import: %s: %s\n", path.c_str(),
                     problem.empty() ? DescribeRegistryResult(code).c_str() : problem.c_str());
        return 1;
    }
    std::printf("registry import: merged %s into the registry %s\n", path == "-" ? "standard input" : path.c_str(),
                platform::RegistryLocation().c_str());
    return 0;
}

int RunExport(const std::string &key, const std::string &output) {
    std::string text;
    const std::int32_t code = platform::ExportRegistryText(key.c_str(), text);
    if (code == platform::kRegistryNotFound && key.empty()) {
        std::fprintf(stderr, "registry export: the registry %s does not exist yet\n",
                     platform::RegistryLocation().c_str());
        return 1;
    }
    if (code == platform::kRegistryNotFound) {
        std::fprintf(stderr, "registry export: no key HKEY_LOCAL_MACHINE\\%s in the registry %s\n", key.c_str(),
                     platform::RegistryLocation().c_str());
        return 1;
    }
    if (code != platform::kRegistrySuccess) {
        std::fprintf(stderr, "registry export: %s\n", DescribeRegistryResult(code).c_str());
        return 1;
    }
    if (output.empty() || output == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "registry export: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}

struct ExportOptions {
    std::string key;
    std::string output;
};

}  // namespace

void AddRegistryCommand(Command &app, int &exitCode) {
    Command *registry = app.add_subcommand("registry", "Import or export registry keys as .reg text");
    registry->require_subcommand(1);

    auto file = std::make_shared<std::string>();
    Command *import = registry->add_subcommand(
        "import", "Merge a .reg file (regedit export: version 5 UTF-16LE or UTF-8, or REGEDIT4) into the registry");
    import->add_option("file", *file, "The .reg file, or - for standard input")->required();
    import->callback([file, &exitCode] { exitCode = RunImport(*file); });

    auto options = std::make_shared<ExportOptions>();
    Command *exportCommand =
        registry->add_subcommand("export", "Write keys as \"Windows Registry Editor Version 5.00\" text");
    exportCommand->add_option("key", options->key,
                              "Key below HKEY_LOCAL_MACHINE, e.g. Software\\Brelvin\\Palimar (default: everything)");
    exportCommand->add_option("-o,--output", options->output, "Write to this file instead of standard output");
    exportCommand->callback([options, &exitCode] { exitCode = RunExport(options->key, options->output); });
}

}  // namespace snmphelper::cli
