#include "system/ReadOnlyCommand.h"

namespace kelvo {

CommandTool toolFor(const ReadOnlyCommand& command) {
    using Case = ReadOnlyCommand::Case;
    switch (command.kind) {
    case Case::brewUsesInstalled:
    case Case::brewVersion:
    case Case::brewCellarPath:
    case Case::brewListFormula:
    case Case::brewLeaves: return CommandTool::brew;
    case Case::pnpmVersion: return CommandTool::pnpm;
    case Case::npmVersion:
    case Case::npmPrefixGlobal:
    case Case::npmListGlobalJSON:
    case Case::npmCacheDir: return CommandTool::npm;
    case Case::bunVersion: return CommandTool::bun;
    }
    return CommandTool::brew;
}

std::vector<std::string> argumentsFor(const ReadOnlyCommand& command) {
    using Case = ReadOnlyCommand::Case;
    switch (command.kind) {
    case Case::brewUsesInstalled: return {"uses", "--installed", command.formula};
    case Case::brewVersion: return {"--version"};
    case Case::brewCellarPath: return {"--cellar"};
    case Case::brewListFormula: return {"list", "--formula"};
    case Case::brewLeaves: return {"leaves"};
    case Case::pnpmVersion: return {"--version"};
    case Case::npmVersion: return {"--version"};
    case Case::npmPrefixGlobal: return {"prefix", "-g"};
    case Case::npmListGlobalJSON: return {"ls", "-g", "--depth=0", "--json"};
    case Case::npmCacheDir: return {"config", "get", "cache"};
    case Case::bunVersion: return {"--version"};
    }
    return {};
}

std::vector<std::string> childEnvironment(const ReadOnlyCommand& command, const std::string& home) {
    const std::string standIn(homeStandIn);
    switch (toolFor(command)) {
    case CommandTool::npm: {
        // Without the log settings every start writes a debug log into ~/.npm/_logs and checks the
        // registry for a newer npm. logs-max=0 alone is worse: npm then deletes the logs already
        // there, so the log folder points where nothing can be written or removed. A corepack
        // shim must not download either.
        std::vector<std::string> environment{"npm_config_logs_dir=/dev/null", "npm_config_logs_max=0",
            "npm_config_update_notifier=false", "COREPACK_ENABLE_NETWORK=0"};
        if (command.kind == ReadOnlyCommand::Case::npmCacheDir) {
            // What HOME would have told npm, and a corepack shim where its npm is kept.
            environment.push_back("HOME=" + standIn);
            environment.push_back("npm_config_userconfig=" + home + "/.npmrc");
            environment.push_back("COREPACK_HOME=" + home + "/.cache/node/corepack");
        } else {
            environment.push_back("HOME=" + home);
            environment.push_back("npm_config_cache=" + standIn + "/.npm");
        }
        return environment;
    }
    case CommandTool::pnpm: return {"HOME=" + home, "COREPACK_ENABLE_NETWORK=0"};
    case CommandTool::brew: return {"HOME=" + home, "HOMEBREW_NO_AUTO_UPDATE=1", "HOMEBREW_NO_ANALYTICS=1"};
    case CommandTool::bun: return {"HOME=" + home};
    }
    return {"HOME=" + home};
}

std::string answerInHome(const ReadOnlyCommand& command, std::string answer, const std::string& home) {
    if (command.kind == ReadOnlyCommand::Case::npmCacheDir && answer.starts_with(homeStandIn) &&
        (answer.size() == homeStandIn.size() || answer[homeStandIn.size()] == '/')) {
        answer.replace(0, homeStandIn.size(), home);
    }
    return answer;
}

CandidateTable standardCandidateTable() {
    const auto absolute = [](const char* path) { return CandidatePath{false, path}; };
    const auto inHome = [](const char* suffix) { return CandidatePath{true, suffix}; };

    CandidateTable table;
    // The macOS install locations come first and in their order; the usual Linux ones follow.
    table[static_cast<std::size_t>(CommandTool::brew)] = {
        absolute("/opt/homebrew/bin/brew"),
        absolute("/usr/local/bin/brew"),
        absolute("/home/linuxbrew/.linuxbrew/bin/brew"),
        inHome("/.linuxbrew/bin/brew"),
    };
    table[static_cast<std::size_t>(CommandTool::pnpm)] = {
        absolute("/opt/homebrew/bin/pnpm"),
        absolute("/usr/local/bin/pnpm"),
        inHome("/Library/pnpm/pnpm"),
        inHome("/.local/share/pnpm/pnpm"),
        absolute("/usr/bin/pnpm"),
    };
    table[static_cast<std::size_t>(CommandTool::npm)] = {
        absolute("/opt/homebrew/bin/npm"),
        absolute("/usr/local/bin/npm"),
        absolute("/usr/bin/npm"),
    };
    table[static_cast<std::size_t>(CommandTool::bun)] = {
        inHome("/.bun/bin/bun"),
        absolute("/opt/homebrew/bin/bun"),
        absolute("/usr/local/bin/bun"),
        absolute("/usr/bin/bun"),
    };
    return table;
}

} // namespace kelvo
