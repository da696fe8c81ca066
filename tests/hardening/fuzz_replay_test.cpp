// Replays a fuzz target's inputs in the normal build, without libFuzzer: every
// file of the target's seeds and regressions folders (the inputs that once
// broke it), then seeded random changes of them and random bytes. A broken
// check aborts the test with the file's name printed first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(FuzzReplay, SeedsRegressionsAndRandomChanges) {
    std::vector<std::vector<std::uint8_t>> inputs(1);  // the empty one first
    for (const char* folder : {SKYFAULT_FUZZ_SEEDS, SKYFAULT_FUZZ_REGRESSIONS}) {
        std::error_code missing;
        for (const auto& entry : std::filesystem::directory_iterator(folder, missing)) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                std::fprintf(stderr, "replaying %s\n", entry.path().string().c_str());
                std::ifstream in(entry.path(), std::ios::binary);
                inputs.emplace_back(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
                LLVMFuzzerTestOneInput(inputs.back().data(), inputs.back().size());
            }
        }
    }
    ASSERT_GT(inputs.size(), 1u) << "no inputs in " << SKYFAULT_FUZZ_SEEDS;
    std::sort(inputs.begin(), inputs.end());  // the same changes whatever the folder order
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes = inputs[random() % inputs.size()];
        if (round % 2 == 0) {
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0 && !bytes.empty();
                 --flips) {
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
            }
        } else {
            bytes.resize(random() % 300);
            for (auto& b : bytes) {
                b = static_cast<std::uint8_t>(
                    random() % 4 == 0 ? "=,.\r\n0123456789eE"[random() % 17] : random());
            }
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    LLVMFuzzerTestOneInput(nullptr, 0);
}

}  // namespace
