#include "model/ScanModel.h"

#include "model/Utf8.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

#include <locale.h>
#include <time.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

#include <nlohmann/json.hpp>

namespace kelvo {

std::string_view rawValue(ManagerKind kind) {
    static constexpr std::string_view names[] = {
#define KELVO_SOURCE(kind, Name) #kind,
#include "model/Sources.def"
#undef KELVO_SOURCE
    };
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(names) ? names[index] : std::string_view();
}

std::optional<ManagerKind> managerKindFromRaw(std::string_view raw) {
    for (ManagerKind kind : allManagerKinds) {
        if (rawValue(kind) == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

void to_json(nlohmann::json& json, ManagerKind kind) { json = std::string(rawValue(kind)); }

void from_json(const nlohmann::json& json, ManagerKind& kind) {
    if (!json.is_string()) {
        throw nlohmann::json::type_error::create(
            302, std::string("type must be string for ManagerKind, but is ") + json.type_name(), &json);
    }
    const auto& text = json.get_ref<const std::string&>();
    const std::optional<ManagerKind> decoded = managerKindFromRaw(text);
    if (!decoded) {
        throw nlohmann::json::type_error::create(302, "unknown ManagerKind \"" + text + "\"", &json);
    }
    kind = *decoded;
}

std::string_view rawValue(Tier tier) {
    switch (tier) {
    case Tier::safeByDesign: return "safeByDesign";
    case Tier::orphanCandidate: return "orphanCandidate";
    case Tier::signalOnly: return "signalOnly";
    }
    return {};
}

std::string_view rawValue(Evidence::Kind kind) {
    switch (kind) {
    case Evidence::Kind::lastUsed: return "lastUsed";
    case Evidence::Kind::notDefaultVersion: return "notDefaultVersion";
    case Evidence::Kind::supersededPatch: return "supersededPatch";
    case Evidence::Kind::noDependents: return "noDependents";
    case Evidence::Kind::managerDefinesPrunable: return "managerDefinesPrunable";
    case Evidence::Kind::notUsedSinceInstall: return "notUsedSinceInstall";
    case Evidence::Kind::oldStoreVersion: return "oldStoreVersion";
    case Evidence::Kind::oldGlobalFolder: return "oldGlobalFolder";
    case Evidence::Kind::projectUntouched: return "projectUntouched";
    case Evidence::Kind::projectActive: return "projectActive";
    case Evidence::Kind::noLockfile: return "noLockfile";
    case Evidence::Kind::commandWithheld: return "commandWithheld";
    case Evidence::Kind::projectGone: return "projectGone";
    case Evidence::Kind::markedAsCache: return "markedAsCache";
    case Evidence::Kind::notDefaultToolchain: return "notDefaultToolchain";
    case Evidence::Kind::notGlobalVersion: return "notGlobalVersion";
    case Evidence::Kind::usedByVirtualenv: return "usedByVirtualenv";
    case Evidence::Kind::pinnedByProject: return "pinnedByProject";
    }
    return {};
}

namespace {

// The one "formatter": the user's LC_TIME locale, made once on first use (thread-safe static
// initialisation) and only read afterwards. strftime_l and localtime_r are safe to call from
// several threads with it.
struct MonthYearFormatter {
    locale_t locale = nullptr;

    MonthYearFormatter() {
        ::tzset();
        locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
        if (locale == nullptr) {
            locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
        }
    }
    ~MonthYearFormatter() {
        if (locale != nullptr) {
            ::freelocale(locale);
        }
    }
    MonthYearFormatter(const MonthYearFormatter&) = delete;
    MonthYearFormatter& operator=(const MonthYearFormatter&) = delete;

    std::string format(double secondsSince1970) const {
        if (!std::isfinite(secondsSince1970)) {
            return {};
        }
        const auto whole = static_cast<std::time_t>(std::floor(secondsSince1970));
        std::tm local{};
        if (::localtime_r(&whole, &local) == nullptr) {
            return {};
        }
        char buffer[128];
        std::size_t length = 0;
        if (locale != nullptr) {
            length = ::strftime_l(buffer, sizeof buffer, "%b %Y", &local, locale);
        } else {
            length = std::strftime(buffer, sizeof buffer, "%b %Y", &local);
        }
        return std::string(buffer, length);
    }
};

const MonthYearFormatter& monthYearFormatter() {
    static const MonthYearFormatter formatter;
    return formatter;
}

} // namespace

std::string formatMonthYear(double secondsSince1970) { return monthYearFormatter().format(secondsSince1970); }

std::string homeAbbreviated(std::string_view path, std::string_view home) {
    while (!home.empty() && home.back() == '/') {
        home.remove_suffix(1);
    }
    // Only a whole leading path component counts: /Users/mex is not inside /Users/me, and "~x"
    // would name another user's home. A home of / abbreviates nothing.
    if (!home.empty() && path.starts_with(home) && (path.size() == home.size() || path[home.size()] == '/')) {
        return "~" + std::string(path.substr(home.size()));
    }
    return std::string(path);
}

std::string Evidence::summary() const {
    switch (kind) {
    case Kind::lastUsed: return "Last used " + formatMonthYear(at);
    case Kind::notDefaultVersion: return "Not your default version (" + version + ")";
    case Kind::supersededPatch: return "Superseded by " + version;
    case Kind::noDependents: return "No installed formula depends on this";
    case Kind::managerDefinesPrunable: return "Manager guarantees this is safe to prune";
    case Kind::notUsedSinceInstall: return "Not used since installed " + formatMonthYear(at);
    case Kind::oldStoreVersion: return "Left by an earlier pnpm (store " + version + ")";
    case Kind::oldGlobalFolder: return "Globals of an earlier pnpm (" + version + "), which no pnpm removes now";
    case Kind::projectUntouched: return "Project untouched since " + formatMonthYear(at);
    case Kind::projectActive: return "Project changed " + formatMonthYear(at);
    case Kind::noLockfile: return "No lockfile: reinstalling may pick other versions";
    case Kind::commandWithheld: return "Its name is not valid UTF-8: no command shown here could name it exactly";
    case Kind::projectGone: return "Its project " + version + " is gone";
    case Kind::markedAsCache: return "Its build tool marks it as a cache (CACHEDIR.TAG)";
    case Kind::notDefaultToolchain: return "Not your default toolchain (" + version + ")";
    case Kind::notGlobalVersion: return "Not your global Python (" + version + ")";
    case Kind::usedByVirtualenv: return "The virtualenv " + version + " runs it";
    case Kind::pinnedByProject: return "Pinned by " + version;
    }
    return {};
}

void withholdInexactCommand(DependencyItem& item) {
    if (item.reclaimCommand && !isValidUtf8(*item.reclaimCommand)) {
        item.reclaimCommand.reset();
        item.evidence.push_back(Evidence::commandWithheld());
    }
}

std::int64_t ManagerReport::totalBytes() const {
    if (onceCountedBytes) {
        return *onceCountedBytes;
    }
    std::int64_t total = 0;
    for (const DependencyItem& item : items) {
        if (item.bytes) {
            total += *item.bytes;
        }
    }
    return total;
}

std::int64_t ScanResult::totalBytes() const {
    if (onceCountedBytes) {
        return *onceCountedBytes;
    }
    std::int64_t total = 0;
    for (const ManagerReport& report : managers) {
        total += report.totalBytes();
    }
    return total;
}

std::int64_t ScanResult::totalBytes(const std::set<ManagerKind>& included) const {
    ManagerSet wanted = 0;
    bool everyReport = true;
    for (const ManagerReport& report : managers) {
        if (included.contains(report.kind)) {
            wanted |= managerBit(report.kind);
        } else {
            everyReport = false;
        }
    }
    if (everyReport) {
        return totalBytes();
    }
    std::int64_t total = 0;
    if (onceCountedBytes && !sharedBytes.empty()) {
        for (const SharedBytes& part : sharedBytes) {
            if ((part.managers & wanted) != 0) {
                total += part.bytes;
            }
        }
        return total;
    }
    for (const ManagerReport& report : managers) {
        if ((managerBit(report.kind) & wanted) != 0) {
            total += report.totalBytes();
        }
    }
    return total;
}

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace kelvo
