#include "tests/support/in_process_server.h"

#include <algorithm>

#include "link/local_ipc.h"

namespace skyfault::test_support {

namespace {

constexpr std::string_view kMessageName = "FSASMLIB:IPC";

}  // namespace

std::vector<Access> InProcessServer::Only(Access::Kind kind) const {
    std::vector<Access> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out),
                 [kind](const Access& a) { return a.kind == kind; });
    return out;
}

void InProcessServer::SetWindowClass(std::string_view className) {
    if (className != windowClass_) {
        windowClass_ = className;
        window_ += 0x10;
    }
}

std::uintptr_t InProcessServer::FindServerWindow(std::string_view className) {
    windowQueries_.emplace_back(className);
    const bool found = !windowClass_.empty() && className == windowClass_;
    windows_ += found ? 1 : 0;
    return found ? window_ : 0;
}

std::uint32_t InProcessServer::RegisterMessage(std::string_view name) {
    return failing_ == Step::kRegister ? 0 : link::local::MessageNumber(name);
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
    alreadyExisted = failing_ == Step::kMappingExists;
    if (failing_ == Step::kMapping) {
        return 0;
    }
    // The bytes stay valid while a view is still mapped, as on Windows.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(size);
    const auto handle = reinterpret_cast<std::uintptr_t>(bytes.get());
    mappings_[handle] = {std::string(name), std::move(bytes)};
    return handle;
}

std::uint8_t* InProcessServer::MapView(std::uintptr_t mapping) {
    const auto it = mappings_.find(mapping);
    if (failing_ == Step::kView || it == mappings_.end()) {
        return nullptr;
    }
    std::uint8_t* view = it->second.second->data();
    views_[view] = it->second.second;
    return view;
}

bool InProcessServer::SendMessageTimeout(std::uintptr_t window, std::uint32_t message,
                                         std::int32_t wParam, std::int32_t /*lParam*/,
                                         std::uint32_t timeoutMs, std::uint32_t& answer,
                                         std::uint32_t& lastError) {
    ++sends_;
    if (sendHook_) {
        sendHook_();
    }
    lastSend_ = {wParam, timeoutMs, {}};
    answer = 0;
    lastError = 0;
    if (!WindowExists(window)) {
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
        return atom != atoms_.end() && m.second.first == atom->second;
    });
    if (message != link::local::MessageNumber(kMessageName) || mapping == mappings_.end()) {
        return true;
    }
    std::uint8_t* block = mapping->second.second->data();
    lastSend_.request = *mapping->second.second;
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
