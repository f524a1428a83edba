#pragma once

#include "knowledge/KnowledgeBase.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo {

// rustup's toolchains and downloads, cargo's registry and git caches and the programs `cargo
// install` put in ~/.cargo/bin, read from the folders and the files rustup and cargo keep there;
// neither is started.
class RustAdapter final : public ManagerAdapter {
public:
    RustAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
        KnowledgeBase kb, std::string home);

    ManagerKind kind() const override { return ManagerKind::rust; }
    // ~/.rustup or ~/.cargo is there.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;
    // Keeps the toolchains a project's rust-toolchain(.toml) names, resolved as rustup resolves them.
    void keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const override;
    // The channel a toolchain file names: [toolchain] channel, or the older file's one line.
    static std::optional<std::string> pinnedChannel(std::string_view file);

    // A settings or install record larger than this is not one rustup or cargo wrote.
    static constexpr std::size_t fileLimit = 4 * 1024 * 1024;

    // What rustup's settings.toml says: the default toolchain, the host it installs for, and each
    // override (folder, toolchain) in file order.
    struct Settings {
        std::optional<std::string> defaultToolchain;
        std::optional<std::string> defaultHost;
        std::vector<std::pair<std::string, std::string>> overrides;
    };
    static Settings parseSettings(std::string_view text);

    // The installed toolchain folder rustup uses for `name`: the folder of that name, else the
    // channel completed with the host ("nightly" -> "nightly-x86_64-unknown-linux-gnu").
    static std::optional<std::string> resolveToolchain(
        std::string_view name, std::string_view host, const std::vector<std::string>& installed);
    // The host rustup was built for, as this build of Kelvo is.
    static std::string_view buildHost();

    // A program cargo installed: its crate, version and the commands it put in ~/.cargo/bin.
    struct Installed {
        std::string crate;
        std::optional<std::string> version;
        std::vector<std::string> bins;
    };
    // From .crates2.json; absent when it is not such a record (then .crates.toml is read).
    static std::optional<std::vector<Installed>> parseCrates2(std::string_view text);
    static std::vector<Installed> parseCratesToml(std::string_view text);

    // rustup's own proxies in ~/.cargo/bin: rustup's, never a crate's.
    static bool isProxy(std::string_view name);

    static constexpr const char* rustupItself = "rustup itself";

private:
    std::shared_ptr<const DirectorySizing> sizer_;
    std::shared_ptr<const FileAccessProbing> prober_;
    KnowledgeBase kb_;
    std::string home_;
};

} // namespace kelvo
