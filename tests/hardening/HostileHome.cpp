#include "hardening/HostileHome.h"

#include "adapters/BunAdapter.h"
#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "knowledge/KnowledgeBase.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace kelvo::test {

namespace {

constexpr int deepLevels = 10'000;
constexpr int wideEntries = 100'000;

void symlinkTo(const std::string& target, const std::string& link) {
    if (::symlink(target.c_str(), link.c_str()) != 0 && errno != EEXIST) {
        throw std::runtime_error("symlink failed: " + link + ": " + std::strerror(errno));
    }
}

// A chain of `levels` nested directories "d/d/d/...", made relative to each parent so that no
// path longer than the system allows is ever needed.
bool makeDeepChain(const std::string& top, int levels) {
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < levels; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0 && errno != EEXIST) {
            ::close(fd);
            return false;
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0) {
        return false;
    }
    const int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool written = file >= 0 && ::write(file, "bottom", 6) == 6;
    if (file >= 0) {
        ::close(file);
    }
    ::close(fd);
    return written;
}

bool makeWideDirectory(const std::string& directory, int entries) {
    makeDirs(directory);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    for (int i = 0; ok && i < entries; ++i) {
        const std::string name = "e" + std::to_string(i);
        const int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ok = file >= 0;
        if (ok) {
            ::close(file);
        }
    }
    ::close(fd);
    return ok;
}

std::string nestedArrays(int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
}

} // namespace

const std::vector<std::string>& hostileNames() {
    static const std::vector<std::string> names{
        "with space",
        "it's",
        "dq\"uote",
        "semi;colon",
        "pipe|cat",
        "amp&bg",
        "$(touch PWNED)",
        "`touch PWNED`",
        "star*",
        "glob?[ab]",
        "-rf",
        "--help",
        "new\nline",
        "tab\tbed",
        "cr\rreturn",
        "\x1b[31mred\x1b[0m",
        "\x1b]0;title\x07",
        "rlo\xE2\x80\xAEgnp.exe",
        "isolate\xE2\x81\xA6x\xE2\x81\xA9",
        "invalid\xFF\xFEutf8",
        "overlong\xC0\xAF",
        "nel\xC2\x85line",
        "sep\xE2\x80\xA8line",
        "back\\slash",
        "~tilde",
        "dollar$HOME",
        "lt<gt>",
        "#hash",
        "!bang",
        "brace{a,b}",
        "del\x7f",
        "\xE2\x80\x8Fmark",
    };
    return names;
}

HostileHome::HostileHome(bool huge) : huge_(huge) {
    const std::string& h = dir_.path();

    // Outside every measured tree: what escaping links would add if they were followed.
    makeDirs(bigOutside());
    writeFile(bigOutside() + "/eight-mib", std::string(8 << 20, 'x'));

    // nvm: version folders with hostile names, links out, an oversized alias.
    makeDirs(nvmVersions());
    makeDirs(h + "/.nvm/alias");
    for (const std::string version : {"v20.11.1", "v20.9.0", "v18.19.0", "v21.0.0"}) {
        makeDirs(nvmVersions() + "/" + version + "/bin");
        writeFile(nvmVersions() + "/" + version + "/bin/node", std::string(5000, 'n'));
    }
    escapeLinks(nvmVersions() + "/v20.11.1");
    specialFiles(nvmVersions() + "/v20.9.0");
    for (const auto& name : hostileNames()) {
        makeDirs(nvmVersions() + "/v" + name);
        writeFile(nvmVersions() + "/v" + name + "/file", "x");
        shape(true, "nvm version folder v" + name);
    }
    symlinkTo("/", nvmVersions() + "/v99.0.0");
    symlinkTo("vloop", nvmVersions() + "/vloop");
    shape(true, "version folder that is a link to /");
    writeFile(h + "/.nvm/alias/default", std::string(1 << 20, '2'));
    shape(true, "1 MiB default alias");

    // bun: hostile package names in and out of scopes, broken package.json files, links out.
    makeDirs(bunModules());
    makeDirs(h + "/.bun/bin");
    for (const auto& name : hostileNames()) {
        packageDirectory(bunModules() + "/" + name, R"({"version":"1.0.0","bin":{"cmd":"x","../../../../etc/passwd":"x"}})");
        shape(true, "bun package " + name);
    }
    for (const std::string scope : {"@scope", "@sc ope;|&", "@\x1b[2Jclear"}) {
        for (const auto& name : hostileNames()) {
            packageDirectory(bunModules() + "/" + scope + "/" + name, R"({"version":"2.0.0","bin":"x"})");
        }
        shape(true, "bun scope " + scope);
    }
    packageDirectory(bunModules() + "/truncated", R"({"version":"1.)");
    packageDirectory(bunModules() + "/binary", std::string("\x00\xFF\xFE{\"version\x00", 12) + std::string(4096, '\x80'));
    packageDirectory(bunModules() + "/nested-deep",
                     R"({"version":"3.0.0","bin":{"deep":)" + nestedArrays(10'000) + "}}");
    std::string nestedObjects;
    for (int i = 0; i < 10'000; ++i) {
        nestedObjects += R"({"a":)";
    }
    packageDirectory(bunModules() + "/nested-object", nestedObjects + "1" + std::string(10'000, '}'));
    packageDirectory(bunModules() + "/wrong-shapes", R"({"version":["1"],"bin":{"a":{"b":1}},"name":null})");
    packageDirectory(bunModules() + "/not-object", R"("just a string")");
    if (huge_) {
        packageDirectory(bunModules() + "/huge", "{\"version\":\"" + std::string(17 << 20, '9') + "\"}");
        shape(true, "17 MiB package.json");
    }
    makeDirs(bunModules() + "/fifo-json");
    shape(::mkfifo((bunModules() + "/fifo-json/package.json").c_str(), 0644) == 0, "package.json that is a FIFO");
    makeDirs(bunModules() + "/zero-json");
    symlinkTo("/dev/zero", bunModules() + "/zero-json/package.json");
    makeDirs(bunModules() + "/dir-json/package.json");
    symlinkTo("/", bunModules() + "/@root-scope");
    symlinkTo(bigOutside(), bunModules() + "/@big-scope");
    symlinkTo("/", bunModules() + "/link-to-root");
    symlinkTo(bigOutside(), bunModules() + "/link-to-big");
    escapeLinks(bunModules() + "/truncated");
    specialFiles(bunModules() + "/binary");
    for (const auto& name : hostileNames()) {
        writeFile(h + "/.bun/bin/" + name, "");
    }
    shape(true, "9 broken package.json files");

    makeDirs(bunCache());
    writeFile(bunCache() + "/blob", std::string(100'000, 'b'));
    escapeLinks(bunCache());
    specialFiles(bunCache());
    if (huge_) {
        makeDirs(bunCache() + "/deep");
        shape(makeDeepChain(bunCache() + "/deep", deepLevels), "10,000-level tree");
    }
    makeDirs(bunCache() + "/churn");
    churnDirectories_.push_back(bunCache() + "/churn");

    // pnpm: the store with a huge flat directory, links out and churn.
    makeDirs(pnpmStore() + "/v3/files/00");
    writeFile(pnpmStore() + "/v3/files/00/abc", std::string(20'000, 's'));
    if (::link((pnpmStore() + "/v3/files/00/abc").c_str(), (pnpmStore() + "/v3/files/00/abc-hardlink").c_str()) != 0) {
        throw std::runtime_error("link failed");
    }
    escapeLinks(pnpmStore());
    if (huge_) {
        shape(makeWideDirectory(pnpmStore() + "/v3/wide", wideEntries), "directory of 100,000 entries");
    }
    makeDirs(pnpmStore() + "/churn");
    churnDirectories_.push_back(pnpmStore() + "/churn");

    // npm: a prefix whose packages carry every hostile name, and a cache with traps.
    makeDirs(npmPrefix() + "/lib/node_modules");
    makeDirs(npmPrefix() + "/bin");
    for (const auto& name : hostileNames()) {
        packageDirectory(npmPrefix() + "/lib/node_modules/" + name, R"({"bin":{"tool":"x"}})");
        writeFile(npmPrefix() + "/bin/tool", "");
        shape(true, "npm package " + name);
    }
    escapeLinks(npmPrefix() + "/lib/node_modules/with space");
    symlinkTo(dir_.path(), npmPrefix() + "/lib/node_modules/@linked");
    makeDirs(npmCache() + "/_cacache");
    writeFile(npmCache() + "/_cacache/index", std::string(30'000, 'c'));
    escapeLinks(npmCache());
    specialFiles(npmCache());

    // Homebrew: a Cellar with the hostile formula names.
    makeDirs(cellar());
    for (const auto& name : hostileNames()) {
        makeDirs(cellar() + "/" + name + "/1.0");
        writeFile(cellar() + "/" + name + "/1.0/f", "f");
    }
    escapeLinks(cellar() + "/with space");
    symlinkTo(dir_.path(), cellar() + "/linked");

    // A knowledge base that is valid JSON of the wrong shape (the adapters get the shipped one).
    writeFile(h + "/KnowledgeBase.json", R"({"version":1,"entries":{"match":"x"}})");
    shape(true, "knowledge base of the wrong shape");
}

HostileHome::~HostileHome() {
    stopChurn();
    // The 10,000-level chain is deeper than a path may be long; rm walks it relative to each parent.
    runCapture({"/bin/chmod", "-R", "u+rwx", home()});
    runCapture({"/bin/rm", "-rf", home()});
}

void HostileHome::shape(bool made, const std::string& what) {
    if (made) {
        ++shapes_;
    } else {
        skipped_.push_back(what + ": " + std::strerror(errno));
    }
}

void HostileHome::packageDirectory(const std::string& directory, const std::string& packageJson) {
    makeDirs(directory);
    writeFile(directory + "/package.json", packageJson);
    writeFile(directory + "/index.js", std::string(3000, 'j'));
}

// Links that lead out of the tree, to itself, or nowhere: none may add to its size.
void HostileHome::escapeLinks(const std::string& directory) {
    makeDirs(directory);
    symlinkTo("/", directory + "/to-root");
    symlinkTo(bigOutside(), directory + "/to-big");
    symlinkTo("loop-b", directory + "/loop-a");
    symlinkTo("loop-a", directory + "/loop-b");
    symlinkTo(".", directory + "/to-self");
    symlinkTo("..", directory + "/to-parent");
    symlinkTo("/nonexistent/nowhere", directory + "/dangling");
    shapes_ += 7;
}

// FIFOs, sockets, device nodes and unreadable entries in a measured tree.
void HostileHome::specialFiles(const std::string& directory) {
    makeDirs(directory);
    shape(::mkfifo((directory + "/fifo").c_str(), 0644) == 0, "FIFO in " + directory);

    const std::string socketPath = directory + "/socket";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        shape(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0,
              "socket in " + directory);
        if (fd >= 0) {
            ::close(fd);
        }
    } else {
        errno = ENAMETOOLONG;
        shape(false, "socket in " + directory);
    }

    // Needs privilege; where it is missing the shape is reported as skipped.
    shape(::mknod((directory + "/char-device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0,
          "character device in " + directory);
    shape(::mknod((directory + "/block-device").c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0,
          "block device in " + directory);

    makeDirs(directory + "/unreadable-dir/inner");
    writeFile(directory + "/unreadable-dir/inner/file", std::string(5000, 'u'));
    writeFile(directory + "/unreadable-file", std::string(5000, 'u'));
    shape(::chmod((directory + "/unreadable-dir").c_str(), 0) == 0, "unreadable directory");
    shape(::chmod((directory + "/unreadable-file").c_str(), 0) == 0, "unreadable file");
    if (::geteuid() == 0) {
        skipped_.push_back("unreadable entries in " + directory + ": running as root, they stay readable");
    }
}

std::string HostileHome::npmListJson() const {
    nlohmann::json dependencies = nlohmann::json::object();
    for (const auto& name : hostileNames()) {
        dependencies[name] = {{"version", "1.0.0"}};
    }
    // Names that try to leave the prefix when joined to it, and values of the wrong type.
    for (const std::string& climbing : std::vector<std::string>{"../../../../../../usr", "..", "", "a/../../..", "/etc", "@scope/../../x",
                                       std::string("nul\0byte", 8)}) {
        dependencies[climbing] = {{"version", 7}};
    }
    dependencies["no-object"] = "1.0.0";
    // Through a scope that is a link to the home: the big directory lies behind it.
    dependencies["@linked/big-outside"] = {{"version", "1.0.0"}};
    dependencies["INVALID-UTF8-PLACEHOLDER"] = nullptr;
    std::string text = nlohmann::json{{"dependencies", dependencies}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    const std::string placeholder = "INVALID-UTF8-PLACEHOLDER";
    text.replace(text.find(placeholder), placeholder.size(), "raw\xC3\x28\xFF");
    return text;
}

std::string HostileHome::brewList() const {
    std::string text;
    for (const auto& name : hostileNames()) {
        if (name.find_first_of("\n\r") == std::string::npos) {
            text += name + "\n";
        }
    }
    return text + "../../../../usr\n/usr\n..\nlinked/big-outside\n";
}

void HostileHome::startChurn() {
    churning_ = true;
    churn_ = std::thread([this] {
        unsigned long long round = 0;
        while (churning_) {
            for (const auto& directory : churnDirectories_) {
                const std::string name = directory + "/n" + std::to_string(round % 64);
                if (round % 2 == 0) {
                    ::mkdir(name.c_str(), 0755);
                    const int fd = ::open((name + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                    if (fd >= 0) {
                        [[maybe_unused]] const auto n = ::write(fd, "churn", 5);
                        ::close(fd);
                    }
                } else {
                    const std::string earlier = directory + "/n" + std::to_string((round + 31) % 64);
                    ::unlink((earlier + "/f").c_str());
                    ::rmdir(earlier.c_str());
                }
            }
            ++round;
        }
    });
}

void HostileHome::stopChurn() {
    churning_ = false;
    if (churn_.joinable()) {
        churn_.join();
    }
}

FakeTools::FakeTools() {
    makeDirs(dir_ / "bin");
    makeDirs(dir_ / "calls");
    makeDirs(dir_ / "out");
    for (const std::string tool : {"brew", "npm", "pnpm", "bun"}) {
        makeDirs(dir_ / ("out/" + tool));
        write(tool, "f='" + dir_.path() + "/out/" + tool + "/'\"$*\"\n[ -f \"$f\" ] || exit 3\nexec cat \"$f\"\n");
    }
}

void FakeTools::write(const std::string& tool, const std::string& body) {
    // The call log comes first, whatever the tool does next; one file per process.
    writeScript(path(tool), "printf '%s\\0' \"$@\" > '" + dir_.path() + "/calls/" + tool + ".'$$\n" + body);
}

void FakeTools::replace(const std::string& tool, const std::string& body) { write(tool, body); }

void FakeTools::answer(const std::string& tool, const std::string& joinedArguments, const std::string& output) {
    writeFile(dir_ / ("out/" + tool + "/" + joinedArguments), output);
}

CandidateTable FakeTools::candidates() const {
    CandidateTable table;
    table[static_cast<std::size_t>(CommandTool::brew)] = {{false, path("brew")}};
    table[static_cast<std::size_t>(CommandTool::npm)] = {{false, path("npm")}};
    table[static_cast<std::size_t>(CommandTool::pnpm)] = {{false, path("pnpm")}};
    table[static_cast<std::size_t>(CommandTool::bun)] = {{false, path("bun")}};
    return table;
}

std::vector<std::vector<std::string>> FakeTools::calls() const {
    std::vector<std::vector<std::string>> result;
    DIR* directory = ::opendir((dir_ / "calls").c_str());
    if (directory == nullptr) {
        return result;
    }
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::ifstream in(dir_ / ("calls/" + name), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> argv{name.substr(0, name.find('.'))};
        std::string word;
        for (char c : content) {
            if (c == '\0') {
                argv.push_back(word);
                word.clear();
            } else {
                word.push_back(c);
            }
        }
        result.push_back(std::move(argv));
    }
    ::closedir(directory);
    return result;
}

void FakeTools::answerFor(const HostileHome& home) {
    answer("brew", "--version", "Homebrew 4.2.1\nHomebrew/homebrew-core (git revision 1)\n");
    answer("brew", "--cellar", home.cellar() + "\n");
    answer("brew", "list --formula", home.brewList());
    answer("brew", "leaves", home.brewList());
    answer("npm", "--version", "10.2.4\n");
    answer("npm", "prefix -g", home.npmPrefix() + "\n");
    answer("npm", "ls -g --depth=0 --json", home.npmListJson());
    answer("npm", "config get cache", home.npmCache() + "\n");
    answer("pnpm", "--version", "8.15.0\n");
    answer("bun", "--version", "1.0.25\n");
}

bool isAllowlistedCall(const std::vector<std::string>& argv, const std::string& tool) {
    using Case = ReadOnlyCommand::Case;
    if (argv.empty() || argv.front() != tool) {
        return false;
    }
    const std::vector<std::string> arguments(argv.begin() + 1, argv.end());
    for (int k = 0; k <= static_cast<int>(Case::bunVersion); ++k) {
        const ReadOnlyCommand command{static_cast<Case>(k), {}};
        const auto toolName = [](CommandTool t) {
            switch (t) {
            case CommandTool::brew: return "brew";
            case CommandTool::npm: return "npm";
            case CommandTool::pnpm: return "pnpm";
            case CommandTool::bun: return "bun";
            }
            return "";
        }(toolFor(command));
        if (tool != toolName) {
            continue;
        }
        auto expected = argumentsFor(command);
        if (command.kind == Case::brewUsesInstalled) {
            // The one payload: any single word after the fixed ones.
            if (arguments.size() == 3 && arguments[0] == "uses" && arguments[1] == "--installed") {
                return true;
            }
            continue;
        }
        if (arguments == expected) {
            return true;
        }
    }
    return false;
}

Adapters hostileAdapters(std::shared_ptr<const ReadOnlyCommandRunning> runner, const std::string& home) {
    const KnowledgeBase knowledge = KnowledgeBase::loadShipped();
    const std::shared_ptr<const DirectorySizing> sizer = std::make_shared<FileManagerDirectorySizer>();
    const std::shared_ptr<const FileAccessProbing> prober = std::make_shared<FileManagerFileAccessProber>();
    Adapters adapters;
    adapters.push_back(std::make_shared<HomebrewAdapter>(runner, sizer, knowledge));
    adapters.push_back(std::make_shared<NvmAdapter>(sizer, home));
    adapters.push_back(std::make_shared<PnpmAdapter>(runner, sizer, home));
    adapters.push_back(std::make_shared<NpmAdapter>(runner, sizer, prober, knowledge));
    adapters.push_back(std::make_shared<BunAdapter>(runner, sizer, prober, knowledge, home));
    return adapters;
}

ScanResult scanAll(const Adapters& adapters) {
    std::vector<ManagerReport> reports(adapters.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        threads.emplace_back([&, i] { reports[i] = adapters[i]->scan(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::stable_sort(reports.begin(), reports.end(),
                     [](const ManagerReport& a, const ManagerReport& b) { return a.kind < b.kind; });
    return ScanResult{nowSeconds(), std::move(reports)};
}

int openDescriptorCount() {
    int count = 0;
    DIR* directory = ::opendir("/proc/self/fd");
    if (directory == nullptr) {
        return -1;
    }
    while (const dirent* entry = ::readdir(directory)) {
        count += entry->d_name[0] != '.';
    }
    ::closedir(directory);
    return count - 1; // the listing's own descriptor
}

int zombieChildCount() {
    int zombies = 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return -1;
    }
    const std::string self = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        std::ifstream status(std::string("/proc/") + entry->d_name + "/status");
        std::string line;
        bool zombie = false;
        bool ours = false;
        while (std::getline(status, line)) {
            if (line.rfind("State:", 0) == 0) {
                zombie = line.find('Z') != std::string::npos;
            } else if (line.rfind("PPid:", 0) == 0) {
                ours = line.substr(line.find_first_not_of(" \t", 5)) == self;
            }
        }
        zombies += zombie && ours;
    }
    ::closedir(proc);
    return zombies;
}

namespace {

long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::strlen(field)));
        }
    }
    return -1;
}

} // namespace

long residentKiB() { return statusKiB("VmRSS:"); }
long peakResidentKiB() { return statusKiB("VmHWM:"); }

bool resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

} // namespace kelvo::test
