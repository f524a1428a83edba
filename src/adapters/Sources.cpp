#include "adapters/Sources.h"

namespace kelvo {

const SourceDescriptor& descriptor(ManagerKind kind) {
    switch (kind) {
#define KELVO_SOURCE(kind, Name)                                                                                       \
    case ManagerKind::kind:                                                                                            \
        return Name##Source();
#include "model/Sources.def"
#undef KELVO_SOURCE
    }
    return descriptor(allManagerKinds.front());
}

std::vector<std::shared_ptr<const ManagerAdapter>> makeAdapters(const AdapterServices& services) {
    return {
#define KELVO_SOURCE(kind, Name) make##Name##Adapter(services),
#include "model/Sources.def"
#undef KELVO_SOURCE
    };
}

bool isPackageManager(ManagerKind kind) { return descriptor(kind).type == SourceType::packageManager; }

std::size_t packageManagerCount() {
    std::size_t count = 0;
    for (ManagerKind kind : allManagerKinds) {
        count += isPackageManager(kind) ? 1 : 0;
    }
    return count;
}

std::string packageManagerNames() {
    std::string names;
    for (ManagerKind kind : allManagerKinds) {
        if (isPackageManager(kind)) {
            names += (names.empty() ? "" : ", ") + std::string(descriptor(kind).displayName);
        }
    }
    return names;
}

std::string startedPrograms() {
    std::vector<std::string_view> programs;
    for (ManagerKind kind : allManagerKinds) {
        programs.insert(programs.end(), descriptor(kind).programs.begin(), descriptor(kind).programs.end());
    }
    std::string text;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == programs.size() ? " and " : ", ") + std::string(programs[i]);
    }
    return text;
}

} // namespace kelvo
