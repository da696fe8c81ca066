#pragma once

// A server in the test's own process: a link::Transport whose "window"
// carries out request blocks against a simulator offset space at once, with
// knobs for every outcome a real server can produce and a log of what it
// was asked. Plain C++: builds and runs on every platform.
//
//   skyfault::test_support::InProcessServer server;
//   skyfault::link::Link link(server);
//   server.Space().WriteU32(0x02BC, 150 * 128);
//   ... link.LinkOpen(0, result) ...
//   EXPECT_EQ(server.Reads().size(), 3u);

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/transport.h"
#include "sim/sim_core.h"

namespace skyfault::test_support {

inline constexpr std::string_view kFsuipcClass = "UIPCMAIN";
inline constexpr std::string_view kWideClientClass = "FS98MAIN";
inline constexpr std::string_view kIpcMessageName = "FSASMLIB:IPC";

// Windows' ERROR_INVALID_WINDOW_HANDLE, the last error of a send to a window
// that is not there.
inline constexpr std::uint32_t kInvalidWindowError = 1400;

// One record the server carried out, in the order it did.
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
    InProcessServer();
    ~InProcessServer() override;
    InProcessServer(const InProcessServer&) = delete;
    InProcessServer& operator=(const InProcessServer&) = delete;

    // --- The simulator behind the server.
    sim::OffsetSpace& Space() { return space_; }
    const sim::OffsetSpace& Space() const { return space_; }
    // Offset 0x3304.
    void SetFsuipcVersion(std::uint32_t version);
    // Offset 0x3308 as a whole (mark and simulator code).
    void SetSimVersion(std::uint32_t value);
    // A server that is not the one the client wants: 0x3308 without the
    // 0xFADE mark.
    void SetWrongVersion();

    // --- Behaviour.
    // The window class that is present: kFsuipcClass (the default),
    // kWideClientClass, or "" for no server at all.
    void SetWindowClass(std::string_view className);
    // The answer value of every processed send; anything but 1 means the
    // block is left untouched (a server that refused it).
    void SetAnswer(std::uint32_t answer);
    // The next `count` sends time out (false, last error 0) before sends
    // succeed again.
    void SetTimeoutsBeforeSuccess(int count);
    // The next `count` sends fail with `lastError` (non-zero); -1 = all.
    void SetSendFailure(std::uint32_t lastError, int count = -1);
    // Called with the block after the server processed it, before the
    // client sees it: for odd replies.
    void SetReplyHook(std::function<void(std::uint8_t* block)> hook);
    // Platform failures of the open sequence.
    void FailRegisterMessage(bool fail = true) { failRegister_ = fail; }
    void FailAddAtom(bool fail = true) { failAtom_ = fail; }
    void FailCreateMapping(bool fail = true) { failMapping_ = fail; }
    // The next mapping's name already exists (with a handle, as on Windows).
    void MappingAlreadyExists(bool exists = true) { mappingExists_ = exists; }
    void FailMapView(bool fail = true) { failView_ = fail; }
    void SetProcessId(std::uint32_t processId) { processId_ = processId; }

    // --- What happened.
    int Sends() const { return sends_; }
    int AnsweredSends() const { return answeredSends_; }
    int Sleeps() const { return sleeps_; }
    std::uint64_t SleptMilliseconds() const { return sleptMs_; }
    int AtomsAdded() const { return atomsAdded_; }
    int AtomsDeleted() const { return atomsDeleted_; }
    int MappingsCreated() const { return mappingsCreated_; }
    int MappingsClosed() const { return mappingsClosed_; }
    int ViewsMapped() const { return viewsMapped_; }
    int ViewsUnmapped() const { return viewsUnmapped_; }
    // Atoms, mappings and views acquired and not yet released.
    int LiveAtoms() const { return static_cast<int>(atoms_.size()); }
    int LiveMappings() const { return static_cast<int>(mappings_.size()); }
    int LiveViews() const { return liveViews_; }
    // Everything acquired and not yet released, windows included.
    int Held() const {
        return LiveAtoms() + LiveMappings() + LiveViews() + windowsFound_ - windowsReleased_;
    }
    // The arguments of the last send, and the block as the server received it.
    struct SendRecord {
        std::uintptr_t window = 0;
        std::uint32_t message = 0;
        std::int32_t wParam = 0;
        std::int32_t lParam = -1;
        std::uint32_t timeoutMs = 0;
        std::vector<std::uint8_t> request;
    };
    const SendRecord& LastSend() const { return lastSend_; }
    // The names of the block, as last seen in AddAtom and CreateMapping.
    const std::string& LastAtomName() const { return lastAtomName_; }
    const std::string& LastMappingName() const { return lastMappingName_; }
    // The window class names asked for, in order.
    const std::vector<std::string>& WindowQueries() const { return windowQueries_; }

    // Every read and write carried out, in order.
    const std::vector<Access>& Log() const { return log_; }
    std::vector<Access> Reads() const;
    std::vector<Access> Writes() const;
    void ClearLog() { log_.clear(); }

    // --- link::Transport.
    std::uintptr_t FindServerWindow(std::string_view className) override;
    void ReleaseWindow(std::uintptr_t window) override;
    std::uint32_t RegisterMessage(std::string_view name) override;
    std::uint32_t CurrentProcessId() override { return processId_; }
    std::uint16_t AddAtom(std::string_view name) override;
    void DeleteAtom(std::uint16_t atom) override;
    std::uintptr_t CreateMapping(std::string_view name, std::uint32_t size,
                                 bool& alreadyExisted) override;
    std::uint8_t* MapView(std::uintptr_t mapping) override;
    void UnmapView(std::uint8_t* view) override;
    void CloseMapping(std::uintptr_t mapping) override;
    bool SendMessageTimeout(std::uintptr_t window, std::uint32_t message, std::int32_t wParam,
                            std::int32_t lParam, std::uint32_t timeoutMs, std::uint32_t& answer,
                            std::uint32_t& lastError) override;
    void Sleep(std::uint32_t milliseconds) override;

private:
    struct Mapping {
        std::string name;
        std::vector<std::uint8_t> bytes;
        int views = 0;
    };

    Mapping* FindMappingByName(const std::string& name);

    sim::OffsetSpace space_;
    std::string windowClass_{kFsuipcClass};
    std::uint32_t answer_ = 1;
    int timeoutsLeft_ = 0;
    std::uint32_t failureError_ = 0;
    int failuresLeft_ = 0;
    std::function<void(std::uint8_t*)> replyHook_;
    bool failRegister_ = false;
    bool failAtom_ = false;
    bool failMapping_ = false;
    bool mappingExists_ = false;
    bool failView_ = false;
    std::uint32_t processId_ = 0x1A4;

    std::map<std::string, std::uint32_t> messages_;  // upper-cased name -> number
    std::map<std::uint16_t, std::string> atoms_;
    std::uint16_t nextAtom_ = 0xC000;
    std::map<std::uintptr_t, std::unique_ptr<Mapping>> mappings_;
    std::vector<std::unique_ptr<Mapping>> closedWithViews_;
    std::uintptr_t nextMapping_ = 0x100;
    std::map<std::uint8_t*, std::uintptr_t> views_;

    int sends_ = 0;
    int answeredSends_ = 0;
    int sleeps_ = 0;
    std::uint64_t sleptMs_ = 0;
    int atomsAdded_ = 0;
    int atomsDeleted_ = 0;
    int mappingsCreated_ = 0;
    int mappingsClosed_ = 0;
    int viewsMapped_ = 0;
    int viewsUnmapped_ = 0;
    int liveViews_ = 0;
    int windowsFound_ = 0;
    int windowsReleased_ = 0;
    SendRecord lastSend_;
    std::string lastAtomName_;
    std::string lastMappingName_;
    std::vector<std::string> windowQueries_;
    std::vector<Access> log_;
};

}  // namespace skyfault::test_support
