#include "tests/support/in_process_server.h"

#include <algorithm>
#include <cctype>

namespace skyfault::test_support {

namespace {

constexpr std::uintptr_t kWindow = 0x5150;

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

}  // namespace

InProcessServer::InProcessServer() = default;
InProcessServer::~InProcessServer() = default;

void InProcessServer::SetFsuipcVersion(std::uint32_t version) {
    space_.WriteU32(sim::offsets::kFsuipcVersion, version);
}

void InProcessServer::SetSimVersion(std::uint32_t value) {
    space_.WriteU32(sim::offsets::kSimVersion, value);
}

void InProcessServer::SetWrongVersion() {
    SetSimVersion(0x12340000u | sim::kDefaultSimCode);
}

void InProcessServer::SetWindowClass(std::string_view className) {
    windowClass_ = className;
}

void InProcessServer::SetAnswer(std::uint32_t answer) {
    answer_ = answer;
}

void InProcessServer::SetTimeoutsBeforeSuccess(int count) {
    timeoutsLeft_ = count;
}

void InProcessServer::SetSendFailure(std::uint32_t lastError, int count) {
    failureError_ = lastError;
    failuresLeft_ = count;
}

void InProcessServer::SetReplyHook(std::function<void(std::uint8_t* block)> hook) {
    replyHook_ = std::move(hook);
}

std::vector<Access> InProcessServer::Reads() const {
    std::vector<Access> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out),
                 [](const Access& a) { return a.kind == Access::Kind::kRead; });
    return out;
}

std::vector<Access> InProcessServer::Writes() const {
    std::vector<Access> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out),
                 [](const Access& a) { return a.kind == Access::Kind::kWrite; });
    return out;
}

std::uintptr_t InProcessServer::FindServerWindow(std::string_view className) {
    windowQueries_.emplace_back(className);
    if (windowClass_.empty() || className != windowClass_) {
        return 0;
    }
    ++windowsFound_;
    return kWindow;
}

void InProcessServer::ReleaseWindow(std::uintptr_t window) {
    windowsReleased_ += window == kWindow ? 1 : 0;
}

std::uint32_t InProcessServer::RegisterMessage(std::string_view name) {
    if (failRegister_) {
        return 0;
    }
    const std::string key = Upper(name);
    auto it = messages_.find(key);
    if (it == messages_.end()) {
        it = messages_.emplace(key, 0xC100u + static_cast<std::uint32_t>(messages_.size())).first;
    }
    return it->second;
}

std::uint16_t InProcessServer::AddAtom(std::string_view name) {
    lastAtomName_ = name;
    if (failAtom_) {
        return 0;
    }
    const std::uint16_t atom = nextAtom_++;
    atoms_[atom] = std::string(name);
    ++atomsAdded_;
    return atom;
}

void InProcessServer::DeleteAtom(std::uint16_t atom) {
    if (atoms_.erase(atom) > 0) {
        ++atomsDeleted_;
    }
}

InProcessServer::Mapping* InProcessServer::FindMappingByName(const std::string& name) {
    for (auto& [handle, mapping] : mappings_) {
        if (mapping->name == name) {
            return mapping.get();
        }
    }
    return nullptr;
}

std::uintptr_t InProcessServer::CreateMapping(std::string_view name, std::uint32_t size,
                                              bool& alreadyExisted) {
    lastMappingName_ = name;
    alreadyExisted = false;
    if (failMapping_) {
        return 0;
    }
    const bool exists = mappingExists_ || FindMappingByName(std::string(name)) != nullptr;
    auto mapping = std::make_unique<Mapping>();
    mapping->name = std::string(name);
    mapping->bytes.assign(size, 0);
    const std::uintptr_t handle = nextMapping_++;
    mappings_[handle] = std::move(mapping);
    ++mappingsCreated_;
    alreadyExisted = exists;
    return handle;
}

std::uint8_t* InProcessServer::MapView(std::uintptr_t mapping) {
    const auto it = mappings_.find(mapping);
    if (failView_ || it == mappings_.end() || it->second->bytes.empty()) {
        return nullptr;
    }
    ++viewsMapped_;
    ++liveViews_;
    ++it->second->views;
    std::uint8_t* view = it->second->bytes.data();
    views_[view] = mapping;
    return view;
}

void InProcessServer::UnmapView(std::uint8_t* view) {
    const auto it = views_.find(view);
    if (it == views_.end()) {
        return;
    }
    ++viewsUnmapped_;
    --liveViews_;
    views_.erase(it);
}

void InProcessServer::CloseMapping(std::uintptr_t mapping) {
    const auto it = mappings_.find(mapping);
    if (it == mappings_.end()) {
        return;
    }
    ++mappingsClosed_;
    // The bytes stay valid while a view is still mapped, as on Windows.
    if (it->second->views > 0) {
        it->second->name.clear();
        closedWithViews_.push_back(std::move(it->second));
    }
    mappings_.erase(it);
}

bool InProcessServer::SendMessageTimeout(std::uintptr_t window, std::uint32_t message,
                                         std::int32_t wParam, std::int32_t lParam,
                                         std::uint32_t timeoutMs, std::uint32_t& answer,
                                         std::uint32_t& lastError) {
    ++sends_;
    lastSend_ = {window, message, wParam, lParam, timeoutMs, {}};
    answer = 0;
    lastError = 0;
    if (windowClass_.empty() || window != kWindow) {
        lastError = kInvalidWindowError;
        return false;
    }
    if (failuresLeft_ != 0) {
        if (failuresLeft_ > 0) {
            --failuresLeft_;
        }
        lastError = failureError_;
        return false;
    }
    if (timeoutsLeft_ > 0) {
        --timeoutsLeft_;
        return false;
    }
    ++answeredSends_;
    // A window that does not know the message answers 0.
    const auto registered = messages_.find(Upper(kIpcMessageName));
    if (registered == messages_.end() || registered->second != message) {
        return true;
    }
    // The atom names the mapping; an unknown one leaves nothing to process.
    const auto atom = atoms_.find(static_cast<std::uint16_t>(wParam));
    Mapping* mapping = atom == atoms_.end() ? nullptr : FindMappingByName(atom->second);
    if (mapping == nullptr || mapping->bytes.size() < sim::kBlockSize) {
        return true;
    }
    lastSend_.request = mapping->bytes;
    if (answer_ != 1) {
        answer = answer_;
        return true;
    }
    const int send = sends_;
    answer = sim::ProcessBlock(
        mapping->bytes.data(), space_,
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
        replyHook_(mapping->bytes.data());
    }
    return true;
}

void InProcessServer::Sleep(std::uint32_t milliseconds) {
    ++sleeps_;
    sleptMs_ += milliseconds;
}

}  // namespace skyfault::test_support
