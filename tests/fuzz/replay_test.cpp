// Replays the inputs of one fuzz target: its seeds and the inputs it found
// that once broke an invariant. The target aborts with its message when one
// breaks again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs() {
    std::vector<fs::path> out;
    for (const fs::path& dir : {fs::path(TESSALY_SOURCE_DIR) / "fuzz/corpus" / TESSALY_FUZZ_TARGET,
                               fs::path(TESSALY_TEST_DATA) / "fuzz" / TESSALY_FUZZ_TARGET}) {
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

class Replay : public ::testing::TestWithParam<fs::path> {};

TEST_P(Replay, InputKeepsEveryInvariant) {
    std::ifstream in(GetParam(), std::ios::binary);
    ASSERT_TRUE(in) << GetParam();
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size()),
              0);
}

// The target, then where the input comes from: a seed or a found input.
std::string name(const ::testing::TestParamInfo<fs::path>& info) {
    const bool seed = info.param.parent_path().parent_path().filename() == "corpus";
    std::string n = std::string(TESSALY_FUZZ_TARGET) + (seed ? "_seed_" : "_found_");
    for (char c : info.param.filename().string()) {
        n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Replay, ::testing::ValuesIn(inputs()), name);

}  // namespace
