#include "tests/support/in_process_server.h"

#include <algorithm>

namespace skyfault::test_support {

namespace {

constexpr std::uintptr_t kWindow = 0x5150;
constexpr std::uint32_t kIpcMessage = 0xC100;

}  // namespace

int InProcessServer::Held() const {
    return static_cast<int>(atoms_.size() + views_.size()) + windows_ +
           static_cast<int>(std::count_if(mappings_.begin(), mappings_.end(),
                                          [](const auto& m) { return m.second.open; }));
}

std::vector<Access> InProcessServer::Only(Access::Kind kind) const {
    std::vector<Access> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out),
                 [kind](const Access& a) { return a.kind == kind; });
    return out;
}

std::uintptr_t InProcessServer::FindServerWindow(std::string_view className) {
    windowQueries_.emplace_back(className);
    if (windowClass_.empty() || className != windowClass_) {
        return 0;
    }
    ++windows_;
    return kWindow;
}

void InProcessServer::ReleaseWindow(std::uintptr_t window) {
    windows_ -= window == kWindow ? 1 : 0;
}

std::uint32_t InProcessServer::RegisterMessage(std::string_view name) {
    if (failing_ == Step::kRegister) {
        return 0;
    }
    return name == "FSASMLIB:IPC" ? kIpcMessage : kIpcMessage + 1;
}

std::uint16_t InProcessServer::AddAtom(std::string_view name) {
    lastAtomName_ = name;
    if (failing_ == Step::kAtom) {
        return 0;
    }
    atoms_[nextAtom_] = std::string(name);
    return nextAtom_++;
}

std::uintptr_t InProcessServer::CreateMapping(std::string_view name, std::uint32_t size,
                                              bool& alreadyExisted) {
    alreadyExisted = failing_ == Step::kMappingExists ||
                     std::any_of(mappings_.begin(), mappings_.end(),
                                 [name](const auto& m) { return m.second.name == name; });
    if (failing_ == Step::kMapping) {
        return 0;
    }
    mappings_[nextMapping_] = Mapping{std::string(name), std::vector<std::uint8_t>(size)};
    return nextMapping_++;
}

std::uint8_t* InProcessServer::MapView(std::uintptr_t mapping) {
    const auto it = mappings_.find(mapping);
    if (failing_ == Step::kView || it == mappings_.end() || !it->second.open) {
        return nullptr;
    }
    std::uint8_t* view = it->second.bytes.data();
    views_[view] = mapping;
    return view;
}

void InProcessServer::CloseMapping(std::uintptr_t mapping) {
    // The bytes stay valid while a view is still mapped, as on Windows.
    const auto it = mappings_.find(mapping);
    if (it != mappings_.end()) {
        it->second.open = false;
        it->second.name.clear();
        Forget(it->second.bytes.data());
    }
}

void InProcessServer::Forget(std::uint8_t* bytes) {
    const auto it = std::find_if(mappings_.begin(), mappings_.end(),
                                 [bytes](const auto& m) { return m.second.bytes.data() == bytes; });
    if (it != mappings_.end() && !it->second.open && views_.count(bytes) == 0) {
        mappings_.erase(it);
    }
}

bool InProcessServer::SendMessageTimeout(std::uintptr_t window, std::uint32_t message,
                                         std::int32_t wParam, std::int32_t /*lParam*/,
                                         std::uint32_t timeoutMs, std::uint32_t& answer,
                                         std::uint32_t& lastError) {
    ++sends_;
    lastSend_ = {wParam, timeoutMs, {}};
    answer = 0;
    lastError = 0;
    if (windowClass_.empty() || window != kWindow) {
        lastError = kInvalidWindowError;
        return false;
    }
    if (failuresLeft_ != 0) {
        failuresLeft_ -= failuresLeft_ > 0 ? 1 : 0;
        lastError = failureError_;
        return false;
    }
    if (timeoutsLeft_ > 0) {
        --timeoutsLeft_;
        return false;
    }
    // A window answers 0 to a message it does not know or an atom naming no block.
    const auto atom = atoms_.find(static_cast<std::uint16_t>(wParam));
    const auto mapping = std::find_if(mappings_.begin(), mappings_.end(), [&](const auto& m) {
        return atom != atoms_.end() && m.second.name == atom->second;
    });
    if (message != kIpcMessage || mapping == mappings_.end()) {
        return true;
    }
    std::uint8_t* block = mapping->second.bytes.data();
    lastSend_.request = mapping->second.bytes;
    if (answer_ != 1) {
        answer = answer_;
        return true;
    }
    const int send = sends_;
    answer = sim::ProcessBlock(
        block, space_,
        [&](const sim::WriteRecord& w) {
            log_.push_back({Access::Kind::kWrite, w.offset,
                            static_cast<std::uint32_t>(w.data.size()), w.data, send});
        },
        [&](std::uint32_t offset, std::uint32_t size) {
            Access read{Access::Kind::kRead, offset, size, std::vector<std::uint8_t>(size), send};
            space_.Read(offset, read.bytes.data(), size);
            log_.push_back(std::move(read));
        });
    if (replyHook_) {
        replyHook_(block);
    }
    return true;
}

}  // namespace skyfault::test_support
