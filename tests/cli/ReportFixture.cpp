#include "ReportFixture.h"

namespace kelvo::test {

namespace {

DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier) {
    DependencyItem out;
    out.id = Uuid::random();
    out.name = std::move(name);
    out.bytes = bytes;
    out.tier = tier;
    return out;
}

} // namespace

ScanResult fixtureResult() {
    ScanResult result;
    result.scannedAt = 1733500000.25;

    ManagerReport brew{ManagerKind::homebrew, true, "4.2.0", {}, {}};
    auto openssl = item("openssl@3", 45'000'000, Tier::signalOnly);
    openssl.version = "3.2.1";
    openssl.identity = "Cryptography library";
    openssl.path = "/opt/homebrew/Cellar/openssl@3";
    auto wget = item("wget", 4'000'000, Tier::orphanCandidate);
    wget.version = "1.21.4";
    wget.evidence = {Evidence::noDependents(), Evidence::lastUsed(1700000000.5)};
    wget.reclaimCommand = "brew uninstall wget";
    auto evil = item(escName, 2'000'000, Tier::orphanCandidate);
    evil.version = escName; // equal to the name: not shown twice
    evil.reclaimCommand = "brew uninstall '" + escName + "'";
    brew.items = {openssl, wget, evil};
    brew.quickWins = {QuickWin{Uuid::random(), "Remove unused dependencies", "brew autoremove",
                               "Removes formulae that were only installed as dependencies."}};

    ManagerReport npm{ManagerKind::npm, true, "10.2.4", {}, {}};
    auto cache = item("npm cache", 900'000'000, Tier::safeByDesign);
    cache.evidence = {Evidence::managerDefinesPrunable()};
    cache.reclaimCommand = "npm cache clean --force";
    cache.path = "/home/u/.npm/_cacache";
    auto pad = item(newlineName, std::nullopt, Tier::orphanCandidate);
    pad.identity = "identity with \u2066isolate\u2069 and \u0085";
    auto bidi = item(bidiName, 0, Tier::signalOnly);
    bidi.version = "1.0.0\r";
    npm.items = {cache, bidi, pad};
    npm.quickWins = {QuickWin{Uuid::random(), "Clean the npm cache", "npm cache clean --force",
                              "npm re-downloads what it needs."}};

    ManagerReport nvm{ManagerKind::nvm, true, std::nullopt, {}, {}};
    auto v20 = item("v20.11.0", 300'000'000, Tier::signalOnly);
    auto v18a = item("v18.17.0", 100'000'000, Tier::orphanCandidate);
    v18a.evidence = {Evidence::notDefaultVersion("v20.11.0"), Evidence::supersededPatch("v18.19.1")};
    v18a.reclaimCommand = "nvm uninstall v18.17.0";
    auto v18b = item("v18.19.1", 110'000'000, Tier::orphanCandidate);
    auto v18c = item("v18.18.2", std::nullopt, Tier::orphanCandidate);
    auto system = item("system", std::nullopt, Tier::signalOnly);
    nvm.items = {v20, v18b, v18a, v18c, system};

    ManagerReport bun{ManagerKind::bun, true, "1.0.25", {}, {}};
    auto bad = item(invalidName, 5'000, Tier::orphanCandidate);
    bad.path = "/home/u/.bun/install/global/node_modules/" + invalidName;
    bad.version = std::string("1.\xff");
    bad.identity = "a package\x1b[2J";
    bad.reclaimCommand = "bun remove -g '" + invalidName + "'";
    bun.items = {bad};

    result.managers = {brew, npm, ManagerReport::notDetected(ManagerKind::pnpm), nvm, bun};
    return result;
}

} // namespace kelvo::test
