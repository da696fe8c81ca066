#pragma once

// A link::Transport whose "window" carries out request blocks against an
// offset space at once, with knobs for a real server's outcomes and a log.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/local_ipc.h"
#include "link/transport.h"
#include "sim/sim_core.h"

namespace skyfault::test_support {

inline constexpr std::string_view kFsuipcClass = "UIPCMAIN";

// The last error of a send to a window that is not there.
inline constexpr std::uint32_t kInvalidWindowError = 1400;

struct Access {
    enum class Kind { kRead, kWrite };
    Kind kind = Kind::kRead;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> bytes;  // the value written, or the value delivered by a read
    int send = 0;                     // 1-based number of the send that carried it
};

class InProcessServer final : public link::Transport {
public:
    // The step of an open that fails (kMappingExists: the block's name is taken).
    enum class Step { kNone, kRegister, kAtom, kMapping, kMappingExists, kView };

    sim::OffsetSpace& Space() { return space_; }
    // The window class present (kFsuipcClass by default; "" for none). A
    // server that comes back, or comes as another class, has a new window,
    // as a simulator started again has.
    void SetWindowClass(std::string_view className) {
        window_ += className != windowClass_ ? 0x10 : 0;
        windowClass_ = className;
    }
    // The answer of every processed send; anything but 1 leaves the block.
    void SetAnswer(std::uint32_t answer) { answer_ = answer; }
    // The next `count` sends time out (false, last error 0).
    void SetTimeoutsBeforeSuccess(int count) { timeoutsLeft_ = count; }
    // The next `count` sends fail with `lastError` (non-zero); -1 = all.
    void SetSendFailure(std::uint32_t lastError, int count = -1) {
        failureError_ = lastError;
        failuresLeft_ = count;
    }
    // Called with the block after the server processed it: for odd replies.
    void SetReplyHook(std::function<void(std::uint8_t* block)> hook) {
        replyHook_ = std::move(hook);
    }
    void Fail(Step step) { failing_ = step; }
    // Called at the start of every send, answered or not.
    void SetSendHook(std::function<void()> hook) { sendHook_ = std::move(hook); }

    int Sends() const { return sends_; }
    // Atoms, mappings, views and windows acquired and not yet released.
    int Held() const {
        return static_cast<int>(atoms_.size() + mappings_.size() + views_.size()) + windows_;
    }
    struct SendRecord {
        std::int32_t wParam = 0;
        std::uint32_t timeoutMs = 0;
        std::vector<std::uint8_t> request;  // the block as the server received it
    };
    const SendRecord& LastSend() const { return lastSend_; }
    const std::string& LastAtomName() const { return lastAtomName_; }
    // The window class names asked for, in order.
    const std::vector<std::string>& WindowQueries() const { return windowQueries_; }

    // Every read and write carried out, in order.
    const std::vector<Access>& Log() const { return log_; }
    std::vector<Access> Reads() const { return Only(Access::Kind::kRead); }
    std::vector<Access> Writes() const { return Only(Access::Kind::kWrite); }
    void ClearLog() { log_.clear(); }

    std::uintptr_t FindServerWindow(std::string_view className) override {
        windowQueries_.emplace_back(className);
        const bool found = !windowClass_.empty() && className == windowClass_;
        windows_ += found ? 1 : 0;
        return found ? window_ : 0;
    }
    void ReleaseWindow(std::uintptr_t window) override { windows_ -= window != 0 ? 1 : 0; }
    bool WindowExists(std::uintptr_t window) override {
        return !windowClass_.empty() && window == window_;
    }
    std::uint32_t RegisterMessage(std::string_view name) override {
        return failing_ == Step::kRegister ? 0 : link::local::MessageNumber(name);
    }
    std::uint32_t CurrentProcessId() override { return 0x1A4; }
    std::uint16_t AddAtom(std::string_view name) override {
        lastAtomName_ = name;
        if (failing_ == Step::kAtom) {
            return 0;
        }
        atoms_[nextAtom_] = std::string(name);
        return nextAtom_++;
    }
    void DeleteAtom(std::uint16_t atom) override { atoms_.erase(atom); }
    std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                 bool& alreadyExisted) override {
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
    std::uint8_t* MapView(std::uintptr_t mapping) override {
        const auto it = mappings_.find(mapping);
        if (failing_ == Step::kView || it == mappings_.end()) {
            return nullptr;
        }
        views_[it->second.second->data()] = it->second.second;
        return it->second.second->data();
    }
    void UnmapView(std::uint8_t* view) override { views_.erase(view); }
    void CloseMapping(std::uintptr_t mapping) override { mappings_.erase(mapping); }
    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t /*lParam*/, std::uint32_t timeoutMs, std::uint32_t& answer,
                            std::uint32_t& lastError) override {
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
        if (message != link::local::MessageNumber("FSASMLIB:IPC") || mapping == mappings_.end()) {
            return true;
        }
        std::uint8_t* block = mapping->second.second->data();
        lastSend_.request = *mapping->second.second;
        if (answer_ != 1) {
            answer = answer_;
            return true;
        }
        const auto record = [this](Access::Kind kind, std::uint32_t offset,
                                   std::vector<std::uint8_t> bytes) {
            const auto size = static_cast<std::uint32_t>(bytes.size());
            log_.push_back({kind, offset, size, std::move(bytes), sends_});
        };
        answer = sim::ProcessBlock(
            block, space_,
            [&](const sim::WriteRecord& w) { record(Access::Kind::kWrite, w.offset, w.data); },
            [&](std::uint32_t offset, std::uint32_t size) {
                std::vector<std::uint8_t> read(size);
                space_.Read(offset, read.data(), size);
                record(Access::Kind::kRead, offset, std::move(read));
            });
        if (replyHook_) {
            replyHook_(block);
        }
        return true;
    }
    void Sleep(std::uint32_t) override {}

private:
    using Bytes = std::shared_ptr<std::vector<std::uint8_t>>;  // alive while mapped or viewed
    std::vector<Access> Only(Access::Kind kind) const {
        std::vector<Access> out;
        std::ranges::copy_if(log_, std::back_inserter(out),
                             [kind](const Access& a) { return a.kind == kind; });
        return out;
    }

    sim::OffsetSpace space_;
    std::string windowClass_{kFsuipcClass};
    std::uintptr_t window_ = 0x5150;
    std::uint32_t answer_ = 1;
    int timeoutsLeft_ = 0;
    std::uint32_t failureError_ = 0;
    int failuresLeft_ = 0;
    std::function<void(std::uint8_t*)> replyHook_;
    std::function<void()> sendHook_;
    Step failing_ = Step::kNone;

    std::map<std::uint16_t, std::string> atoms_;
    std::uint16_t nextAtom_ = 0xC000;
    std::map<std::uintptr_t, std::pair<std::string, Bytes>> mappings_;
    std::map<std::uint8_t*, Bytes> views_;
    int windows_ = 0;

    int sends_ = 0;
    SendRecord lastSend_;
    std::string lastAtomName_;
    std::vector<std::string> windowQueries_;
    std::vector<Access> log_;
};

}  // namespace skyfault::test_support
