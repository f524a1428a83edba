#include "adapters/RustAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "model/Utf8.h"
#include "system/Platform.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <tuple>

#include <nlohmann/json.hpp>

namespace kelvo {

RustAdapter::RustAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
    KnowledgeBase kb, std::string home)
    : sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)), home_(std::move(home)) {}

namespace {

// The little TOML that rustup and cargo write: `[table]` lines and `key = value` lines whose key is
// bare or a string and whose value is a string or an array of strings.
void skipBlanks(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A basic ("…", with escapes) or literal ('…') string at the start of `text`, consumed.
std::optional<std::string> takeString(std::string_view& text) {
    if (text.empty() || (text.front() != '"' && text.front() != '\'')) {
        return std::nullopt;
    }
    const char quote = text.front();
    std::string out;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == quote) {
            text.remove_prefix(i + 1);
            return out;
        }
        if (c != '\\' || quote == '\'') {
            out += c;
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        const auto hex = [&](std::size_t digits) -> std::optional<std::uint32_t> {
            if (i + digits >= text.size()) {
                return std::nullopt;
            }
            std::uint32_t code = 0;
            for (std::size_t d = 1; d <= digits; ++d) {
                const char h = text[i + d];
                const int value = h >= '0' && h <= '9'   ? h - '0'
                                  : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                  : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                         : -1;
                if (value < 0) {
                    return std::nullopt;
                }
                code = code * 16 + static_cast<std::uint32_t>(value);
            }
            i += digits;
            return code;
        };
        switch (text[i]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u':
        case 'U': {
            const auto code = hex(text[i] == 'u' ? 4 : 8);
            if (!code || *code > 0x10FFFF || (*code >= 0xD800 && *code <= 0xDFFF)) {
                return std::nullopt;
            }
            appendUtf8(out, *code);
            break;
        }
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

struct TomlLine {
    std::optional<std::string> table; // a [table] line
    std::string key;
    std::string_view value; // what follows "=", blanks skipped
};

// Each meaningful line in order; a line that is neither a table nor key = value is skipped.
template <class Visit>
void forEachTomlLine(std::string_view text, Visit&& visit) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        skipBlanks(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close != std::string_view::npos) {
                std::string_view name = line.substr(1, close - 1);
                skipBlanks(name);
                while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
                    name.remove_suffix(1);
                }
                visit(TomlLine{std::string(name), {}, {}});
            }
            continue;
        }
        std::string key;
        if (auto quoted = takeString(line)) {
            key = std::move(*quoted);
        } else {
            while (!line.empty() && (std::isalnum(static_cast<unsigned char>(line.front())) != 0 ||
                                        line.front() == '_' || line.front() == '-')) {
                key += line.front();
                line.remove_prefix(1);
            }
        }
        skipBlanks(line);
        if (key.empty() || line.empty() || line.front() != '=') {
            continue;
        }
        line.remove_prefix(1);
        skipBlanks(line);
        visit(TomlLine{std::nullopt, std::move(key), line});
    }
}

// A package id as cargo writes it: "ripgrep 14.1.0 (registry+https://…)".
RustAdapter::Installed installedFrom(std::string_view id, std::vector<std::string> bins) {
    RustAdapter::Installed installed;
    const auto space = id.find(' ');
    installed.crate = std::string(id.substr(0, space));
    if (space != std::string_view::npos) {
        const std::string_view rest = id.substr(space + 1);
        if (const std::string_view version = rest.substr(0, rest.find(' ')); !version.empty()) {
            installed.version = std::string(version);
        }
    }
    installed.bins = std::move(bins);
    return installed;
}

} // namespace

RustAdapter::Settings RustAdapter::parseSettings(std::string_view text) {
    Settings settings;
    std::string table;
    forEachTomlLine(text, [&](TomlLine line) {
        if (line.table) {
            table = *line.table;
            return;
        }
        auto value = takeString(line.value);
        if (!value) {
            return;
        }
        if (table.empty() && line.key == "default_toolchain") {
            settings.defaultToolchain = std::move(value);
        } else if (table.empty() && line.key == "default_host_triple") {
            settings.defaultHost = std::move(value);
        } else if (table == "overrides") {
            settings.overrides.emplace_back(std::move(line.key), std::move(*value));
        }
    });
    return settings;
}

std::string_view RustAdapter::buildHost() {
#if defined(__APPLE__) && defined(__aarch64__)
    return "aarch64-apple-darwin";
#elif defined(__APPLE__)
    return "x86_64-apple-darwin";
#elif defined(__aarch64__)
    return "aarch64-unknown-linux-gnu";
#else
    return "x86_64-unknown-linux-gnu";
#endif
}

std::optional<std::string> RustAdapter::resolveToolchain(
    std::string_view name, std::string_view host, const std::vector<std::string>& installed) {
    if (name.empty()) {
        return std::nullopt;
    }
    for (const std::string& candidate : {std::string(name), std::string(name) + "-" + std::string(host)}) {
        if (std::find(installed.begin(), installed.end(), candidate) != installed.end()) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<RustAdapter::Installed>> RustAdapter::parseCrates2(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("installs") || !json["installs"].is_object()) {
        return std::nullopt;
    }
    std::vector<Installed> found;
    for (const auto& [id, entry] : json["installs"].items()) {
        std::vector<std::string> bins;
        if (entry.is_object() && entry.contains("bins") && entry["bins"].is_array()) {
            for (const auto& bin : entry["bins"]) {
                if (bin.is_string()) {
                    bins.push_back(bin.get<std::string>());
                }
            }
        }
        found.push_back(installedFrom(id, std::move(bins)));
    }
    return found;
}

std::vector<RustAdapter::Installed> RustAdapter::parseCratesToml(std::string_view text) {
    std::vector<Installed> found;
    std::string table;
    forEachTomlLine(text, [&](TomlLine line) {
        if (line.table) {
            table = *line.table;
            return;
        }
        if (table != "v1" || line.value.empty() || line.value.front() != '[') {
            return;
        }
        std::string_view rest = line.value.substr(1);
        std::vector<std::string> bins;
        for (;;) {
            skipBlanks(rest);
            auto bin = takeString(rest);
            if (!bin) {
                break;
            }
            bins.push_back(std::move(*bin));
            skipBlanks(rest);
            if (rest.empty() || rest.front() != ',') {
                break;
            }
            rest.remove_prefix(1);
        }
        found.push_back(installedFrom(line.key, std::move(bins)));
    });
    return found;
}

bool RustAdapter::isProxy(std::string_view name) {
    static constexpr std::array<std::string_view, 14> proxies{"cargo", "cargo-clippy", "cargo-fmt", "cargo-miri",
        "clippy-driver", "rls", "rust-analyzer", "rust-gdb", "rust-gdbgui", "rust-lldb", "rustc", "rustdoc", "rustfmt",
        "rustup"};
    return std::find(proxies.begin(), proxies.end(), name) != proxies.end();
}

bool RustAdapter::isInstalled() const {
    try {
        return toolFolder(home_, "/.rustup").has_value() || toolFolder(home_, "/.cargo").has_value();
    } catch (...) {
        return false;
    }
}

namespace {

std::optional<std::string> readText(const std::optional<std::string>& path) {
    auto text = path ? readFile(*path, RustAdapter::fileLimit) : std::nullopt;
    return text && isValidUtf8(*text) ? text : std::nullopt;
}

DependencyItem removableCache(
    std::string name, const std::string& folder, std::string identity, const char* tool, const std::string& home) {
    DependencyItem item = cacheItem(std::move(name), folder, std::nullopt, foundIn(std::move(identity), folder, home));
    // Neither tool has a command of its own for these: the folder goes, and comes back as needed.
    item.reclaimCommand = "rm -rf -- " + shellQuoted(folder);
    item.tool = tool;
    return item;
}

} // namespace

ManagerReport RustAdapter::scan(TallyScopes counted) const {
    ReportDraft draft(ManagerKind::rust);
    bool installed = false;
    draft.step([&] { installed = isInstalled(); });
    if (!installed) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    // Each toolchain: kept when it is the default or an override names it.
    draft.step([&] {
        const auto folder = toolFolder(home_, "/.rustup/toolchains");
        if (!folder) {
            return;
        }
        std::vector<std::string> names;
        for (auto& name : listDirectory(*folder).value_or(std::vector<std::string>())) {
            // A linked toolchain holds nothing here; a file is no toolchain.
            if (isSafeRelativeName(name) && name.find('/') == std::string::npos &&
                isRealDirectory(*folder + "/" + name)) {
                names.push_back(std::move(name));
            }
        }
        std::sort(names.begin(), names.end());
        const Settings settings = parseSettings(readText(toolEntry(home_, "/.rustup/settings.toml")).value_or(""));
        const std::string host = settings.defaultHost.value_or(std::string(buildHost()));
        const auto defaultName = resolveToolchain(settings.defaultToolchain.value_or(""), host, names);
        std::map<std::string, std::string> overridden; // toolchain -> the first folder naming it
        for (const auto& [path, toolchain] : settings.overrides) {
            if (const auto resolved = resolveToolchain(toolchain, host, names)) {
                overridden.emplace(*resolved, path);
            }
        }
        for (const std::string& name : names) {
            DependencyItem item;
            item.id = Uuid::random();
            item.name = name;
            item.path = *folder + "/" + name;
            item.tool = "rustup";
            if (name == defaultName) {
                item.identity = foundIn("Your default toolchain.", *folder, home_);
            } else if (const auto override = overridden.find(name); override != overridden.end()) {
                item.identity = foundIn(
                    "The toolchain rustup uses in " + homeAbbreviated(override->second, home_) + ".", *folder, home_);
            } else {
                item.tier = Tier::orphanCandidate;
                if (defaultName) {
                    item.evidence.push_back(Evidence::notDefaultToolchain(*defaultName));
                }
                item.identity = foundIn("A toolchain rustup installed.", *folder, home_);
                item.reclaimCommand = commandWithOperand("rustup toolchain uninstall", name);
            }
            draft.add(std::move(item), {*folder + "/" + name});
        }
    });
    draft.step([&] {
        const std::vector<std::tuple<const char*, const char*, const char*, const char*>> caches{
            {"rustup downloads", "/.rustup/downloads",
                "What rustup downloaded to install or update toolchains — downloaded again when needed.", "rustup"},
            {"rustup temporary files", "/.rustup/tmp",
                "Files an unfinished rustup install or update left — nothing needs them.", "rustup"},
            {"cargo registry", "/.cargo/registry",
                "The crate index, archives and sources cargo downloaded — downloaded again when a build needs them.",
                "cargo"},
            {"cargo git checkouts", "/.cargo/git",
                "The git repositories cargo fetched for git dependencies — fetched again when a build needs them.",
                "cargo"},
        };
        for (const auto& [name, suffix, identity, tool] : caches) {
            const auto folder = toolFolder(home_, suffix);
            if (folder && !listDirectory(*folder).value_or(std::vector<std::string>()).empty()) {
                draft.add(removableCache(name, *folder, identity, tool, home_), {*folder});
            }
        }
    });
    // What cargo install put in ~/.cargo/bin, judged by the use of its commands.
    draft.step([&] {
        const auto bin = toolFolder(home_, "/.cargo/bin");
        if (!bin) {
            return;
        }
        auto installs = parseCrates2(readText(toolEntry(home_, "/.cargo/.crates2.json")).value_or(""));
        if (!installs) {
            installs = parseCratesToml(readText(toolEntry(home_, "/.cargo/.crates.toml")).value_or(""));
        }
        const UseClock clock{nowSeconds(), prober_->recordsAccessTimes(*bin)};
        for (const Installed& crate : *installs) {
            std::vector<std::string> commands, paths;
            for (const std::string& command : crate.bins) {
                if (isSafeRelativeName(command) && command.find('/') == std::string::npos && !isProxy(command) &&
                    isRegularFile(*bin + "/" + command)) {
                    commands.push_back(command);
                    paths.push_back(*bin + "/" + command);
                }
            }
            DependencyItem item = globalPackageItem(crate.crate, crate.version,
                paths.size() == 1 ? std::optional(paths.front()) : std::nullopt, std::nullopt,
                commandUse(*prober_, commands, {*bin}), clock, kb_, ManagerKind::rust, "cargo uninstall");
            item.tool = "cargo";
            draft.add(std::move(item), std::move(paths));
        }
        // rustup itself and its proxies, hard links of one program.
        std::vector<std::string> proxies;
        for (const auto& name : listDirectory(*bin).value_or(std::vector<std::string>())) {
            if (isProxy(name) && isRegularFile(*bin + "/" + name)) {
                proxies.push_back(*bin + "/" + name);
            }
        }
        if (!proxies.empty()) {
            std::sort(proxies.begin(), proxies.end());
            DependencyItem& item = draft.add(dependenciesItem(rustupItself, std::nullopt,
                                                 "rustup and the commands it answers for (cargo, rustc, …) — they go "
                                                 "when you uninstall rustup."),
                proxies);
            item.tool = "rustup";
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

std::optional<std::string> RustAdapter::pinnedChannel(std::string_view file) {
    std::optional<std::string> channel;
    std::string table;
    bool toml = false;
    forEachTomlLine(file, [&](TomlLine line) {
        toml = true;
        if (line.table) {
            table = *line.table;
        } else if (table == "toolchain" && line.key == "channel" && !channel) {
            channel = takeString(line.value);
        }
    });
    if (toml) {
        return channel;
    }
    // The older form: the toolchain's name alone, on one line.
    std::string_view name = file;
    skipBlanks(name);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0) {
        name.remove_suffix(1);
    }
    if (name.empty() || name.find_first_of("\n\r") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(name);
}

void RustAdapter::keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const {
    const auto own = pinsOf(pins, RustSource().pinFiles);
    const auto folder = toolFolder(home_, "/.rustup/toolchains");
    if (own.empty() || !folder) {
        return;
    }
    std::vector<DependencyItem*> toolchains;
    std::vector<std::string> names;
    for (DependencyItem& item : report.items) {
        if (item.path == *folder + "/" + item.name) {
            toolchains.push_back(&item);
            names.push_back(item.name);
        }
    }
    const Settings settings = parseSettings(readText(toolEntry(home_, "/.rustup/settings.toml")).value_or(""));
    const std::string host = settings.defaultHost.value_or(std::string(buildHost()));
    for (const ProjectPin* pin : own) {
        const auto name = resolveToolchain(pinnedChannel(pin->text).value_or(""), host, names);
        for (DependencyItem* item : toolchains) {
            if (item->name == name) {
                kelvo::keepPinned(*item, pin->folder, home_);
            }
        }
    }
}

const SourceDescriptor& RustSource() {
    static const SourceDescriptor source{.kind = ManagerKind::rust,
        .displayName = "Rust",
        .shortLabel = "rust",
        .ownProgram = "rustup",
        .summary =
            [](const std::vector<DependencyItem>& items) {
                std::int64_t toolchains = 0, programs = 0, caches = 0;
                for (const DependencyItem& item : items) {
                    if (item.tier == Tier::safeByDesign) {
                        ++caches;
                    } else if (item.tool == "rustup" && item.name != RustAdapter::rustupItself) {
                        ++toolchains;
                    } else if (item.tool == "cargo") {
                        ++programs;
                    }
                }
                return countsOf({{toolchains, "toolchain", "toolchains"}, {programs, "program", "programs"},
                    {caches, "cache", "caches"}});
            },
        .pinFiles = {"rust-toolchain", "rust-toolchain.toml"}};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeRustAdapter(const AdapterServices& services) {
    return std::make_shared<RustAdapter>(services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
