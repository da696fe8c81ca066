#include "link/link.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace skyfault::link {

namespace {

constexpr std::string_view kServerClass = "UIPCMAIN";
constexpr std::string_view kWideClientClass = "FS98MAIN";
constexpr std::uint32_t kOffsetFsuipcVersion = 0x3304;
constexpr std::uint32_t kOffsetSimVersion = 0x3308;
constexpr std::int32_t kLowestFsuipcVersion = 0x19980005;
constexpr std::uint32_t kSimVersionMark = 0xFADE;

}  // namespace

std::string BlockName(std::uint32_t processId) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    do {
        hex.insert(hex.begin(), kDigits[processId & 0xFu]);
        processId >>= 4;
    } while (processId != 0);
    return std::string(kMessageName) + ":" + hex + ":1";
}

Link::Link(Transport& transport) : transport_(transport) {}

Link::~Link() {
    LinkClose();
}

bool Link::Fail(std::int32_t code, std::int32_t& result) {
    result = code;
    return false;
}

// Forgets every handle. The link releases what it holds first, so that
// forgetting never leaves an atom, a mapping, a view, a connection or a block
// file behind on any transport; on a closed link there is nothing to release
// and this only clears the fields. The version fields are kept.
void Link::LinkInitialize() {
    LinkClose();
}

void Link::LinkClose() {
    if (serverWindow_ != 0) {
        transport_.ReleaseWindow(serverWindow_);
    }
    serverWindow_ = 0;
    serverLost_ = false;
    messageId_ = 0;
    block_.Attach(nullptr);
    pending_.clear();
    if (mappingAtom_ != 0) {
        transport_.DeleteAtom(static_cast<std::uint16_t>(mappingAtom_));
        mappingAtom_ = 0;
    }
    if (view_ != nullptr) {
        transport_.UnmapView(view_);
        view_ = nullptr;
    }
    if (mappingHandle_ != 0) {
        transport_.CloseMapping(mappingHandle_);
        mappingHandle_ = 0;
    }
}

bool Link::LinkOpen(std::int32_t requestedSim, std::int32_t& result) {
    // An open link keeps its versions: they still describe the server it is
    // linked to.
    if (view_ != nullptr) {
        return Fail(kAlreadyOpen, result);
    }
    fsuipcVersion_ = 0;
    simVersion_ = 0;

    bool wideClient = false;
    serverWindow_ = transport_.FindServerWindow(kServerClass);
    if (serverWindow_ == 0) {
        serverWindow_ = transport_.FindServerWindow(kWideClientClass);
        wideClient = true;
    }
    if (serverWindow_ == 0) {
        return Fail(kNoServer, result);
    }

    messageId_ = transport_.RegisterMessage(kMessageName);
    if (messageId_ == 0) {
        LinkClose();
        return Fail(kRegisterFailed, result);
    }

    const std::string name = BlockName(transport_.CurrentProcessId());
    const std::uint16_t atom = transport_.AddAtom(name);
    if (atom == 0) {
        LinkClose();
        return Fail(kAtomFailed, result);
    }
    mappingAtom_ = static_cast<std::int16_t>(atom);

    bool alreadyExisted = false;
    mappingHandle_ = transport_.CreateMapping(name, kBlockSize, alreadyExisted);
    if (mappingHandle_ == 0 || alreadyExisted) {
        LinkClose();
        return Fail(kMappingFailed, result);
    }

    view_ = transport_.MapView(mappingHandle_);
    if (view_ == nullptr) {
        LinkClose();
        return Fail(kViewFailed, result);
    }
    block_.Attach(view_);
    pending_.clear();

    // The versions arrive as little-endian values, like every other value.
    std::array<std::uint8_t, 4> fsuipcBytes{};
    std::array<std::uint8_t, 4> simBytes{};
    for (int round = 0; round < kVersionRounds && (fsuipcVersion_ == 0 || simVersion_ == 0);
         ++round) {
        std::int32_t code = kOkay;
        if (!LinkRead(kOffsetFsuipcVersion, 4, fsuipcBytes.data(), code) ||
            !LinkRead(kOffsetSimVersion, 4, simBytes.data(), code) || !LinkProcess(code)) {
            LinkClose();
            return Fail(code, result);
        }
        fsuipcVersion_ = static_cast<std::int32_t>(GetLe32(fsuipcBytes.data()));
        simVersion_ = GetLe32(simBytes.data());
        transport_.Sleep(kRetryPauseMs);
    }

    if (fsuipcVersion_ < kLowestFsuipcVersion || (simVersion_ >> 16) != kSimVersionMark) {
        LinkClose();
        return Fail(wideClient ? kWideClientNoServer : kWrongVersion, result);
    }
    simVersion_ &= 0xFFFFu;

    if (requestedSim != 0 && static_cast<std::uint32_t>(requestedSim) != simVersion_) {
        LinkClose();
        return Fail(kWrongSimulator, result);
    }
    result = kOkay;
    return true;
}

bool Link::ServerPresent() {
    if (view_ != nullptr && !serverLost_ && !transport_.WindowExists(serverWindow_)) {
        serverLost_ = true;
    }
    return view_ != nullptr && !serverLost_;
}

bool Link::LinkRead(std::uint32_t offset, std::uint32_t size, void* destination,
                    std::int32_t& result) {
    if (view_ == nullptr) {
        return Fail(kNotOpen, result);
    }
    const auto key = destination != nullptr ? static_cast<std::uint32_t>(pending_.size() + 1) : 0u;
    if (!block_.AppendRead(offset, size, key)) {
        return Fail(kBlockFull, result);
    }
    pending_.push_back({destination, size});
    result = kOkay;
    return true;
}

bool Link::LinkWrite(std::uint32_t offset, std::uint32_t size, const void* source,
                     std::int32_t& result) {
    if (view_ == nullptr) {
        return Fail(kNotOpen, result);
    }
    // There is nothing to copy from a null source: refuse rather than guess.
    if (source == nullptr && size != 0) {
        return Fail(kBadData, result);
    }
    if (!block_.AppendWrite(offset, size, source)) {
        return Fail(kBlockFull, result);
    }
    pending_.push_back({nullptr, size});
    result = kOkay;
    return true;
}

bool Link::LinkProcess(std::int32_t& result) {
    if (view_ == nullptr) {
        return Fail(kNotOpen, result);
    }
    if (block_.Empty()) {
        return Fail(kNothingQueued, result);
    }
    // From here on the queue is empty, whatever the exchange gives.
    block_.Terminate(sent_);
    delivering_.swap(pending_);
    pending_.clear();

    if (serverLost_) {
        return Fail(kSendFailed, result);
    }
    bool answered = false;
    std::uint32_t answer = 0;
    std::uint32_t lastError = 0;
    for (int attempt = 0; attempt < kSendAttempts && !answered; ++attempt) {
        if (attempt > 0) {
            transport_.Sleep(kRetryPauseMs);
        }
        lastError = 0;
        answered = transport_.SendMessageTimeout(serverWindow_, messageId_, mappingAtom_, 0,
                                                 kSendTimeoutMs, answer, lastError);
        // The retries are for a server that is there and busy; one whose
        // window has gone will never answer.
        if (!answered && !transport_.WindowExists(serverWindow_)) {
            serverLost_ = true;
            return Fail(kSendFailed, result);
        }
    }
    if (!answered) {
        return Fail(lastError != 0 ? kSendFailed : kTimedOut, result);
    }
    if (answer != 1) {
        return Fail(kBadData, result);
    }

    const std::vector<PendingRead>& pending = delivering_;
    const auto deliver = [&pending](std::uint32_t key, const std::uint8_t* data,
                                    std::uint32_t size) {
        const std::size_t index = key - 1u;
        if (index < pending.size() && pending[index].address != nullptr) {
            std::memcpy(pending[index].address, data, std::min(size, pending[index].size));
        }
    };
    if (ScanReply(view_, sent_, deliver) != ScanOutcome::kComplete) {
        return Fail(kBadData, result);
    }
    result = kOkay;
    return true;
}

}  // namespace skyfault::link
