// Replays a fuzz target's inputs in the normal build, without libFuzzer: every
// file of the target's seeds and regressions folders (the inputs that once
// broke it), then a few thousand seeded random inputs. A broken check aborts
// the test with the file's name printed first.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputFiles() {
    std::vector<fs::path> files;
    for (const char* folder : {SKYFAULT_FUZZ_SEEDS, SKYFAULT_FUZZ_REGRESSIONS}) {
        if (!fs::is_directory(folder)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void Replay(const std::vector<std::uint8_t>& bytes) {
    LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
}

TEST(FuzzReplay, SeedsAndRegressions) {
    const auto files = InputFiles();
    ASSERT_FALSE(files.empty()) << "no inputs in " << SKYFAULT_FUZZ_SEEDS;
    for (const fs::path& file : files) {
        std::fprintf(stderr, "replaying %s\n", file.string().c_str());
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                              std::istreambuf_iterator<char>());
        Replay(bytes);
    }
    Replay({});
}

// Random inputs, and random changes of the seeds.
TEST(FuzzReplay, SeededRandomInputs) {
    std::mt19937 random(7);
    std::vector<std::vector<std::uint8_t>> seeds;
    for (const fs::path& file : InputFiles()) {
        std::ifstream in(file, std::ios::binary);
        seeds.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes;
        if (!seeds.empty() && round % 2 == 0) {
            bytes = seeds[random() % seeds.size()];
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
        Replay(bytes);
    }
}

}  // namespace
